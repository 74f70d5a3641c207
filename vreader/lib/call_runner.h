#pragma once
// How every call on an open reader runs: the faults of its folder, the work under the
// session's mutex, one line in the call log.

#include <cstdint>
#include <functional>
#include <string>

#include "lib/c_boundary.h"
#include "lib/operations.h"
#include "lib/reader_session.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

using CallWork = std::function<std::int16_t(ReaderSession&)>;
// Formats the arguments and outputs for the log, once the work is done.
using CallDescription = std::function<std::string(std::int16_t result)>;

// kInvalidHandle when no reader is open under `handle`; a station other than the
// reader's gets kInvalidParameter, as no reader answers there.
std::int16_t RunCall(std::int16_t handle, const char* function, Station station,
                     const CallWork& work, const CallDescription& describe);

// The whole of an exported call that is one RunCall: under the C boundary's guard.
inline std::int16_t GuardedCall(std::int16_t handle, const char* function, Station station,
                                const CallWork& work, const CallDescription& describe) {
    return GuardCBoundary([&] { return RunCall(handle, function, station, work, describe); });
}

// The outputs of a call, for the log; formatted only when the call succeeded, since
// the output buffers hold nothing meaningful otherwise.
template <typename Outputs>
std::string OutputsIfOk(std::int16_t result, Outputs outputs) {
    return result == acr120::rc::kOk ? std::string(outputs()) : std::string();
}

// Hex of a buffer the caller passed, "null" for none.
std::string HexOrNull(const std::uint8_t* data, std::size_t size);

}  // namespace vreader::lib
