#pragma once
// The faults a reader's folder holds, acted out on the calls that reach that reader:
// countdowns to a failure or to the card leaving the field, latency and blocked calls.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/state.h"
#include "lib/reader_session.h"

namespace vreader::lib {

// What the faults of a reader ask of one call.
struct CallPlan {
    std::optional<std::int16_t> failWith;
    bool removeCardAfter = false;
};

// Counts the call against the countdown faults (fail, remove) of its function.
CallPlan CountDownFaults(const std::filesystem::path& readerDir, const char* function);

// Whether a fault of this type is set, for `function` when one is named.
bool HasFault(const std::filesystem::path& readerDir, state::Fault::Type type,
              const char* function = nullptr);
// The count of the first fault of this type (tags to report, latency in ms); -1 when
// there is none.
int FaultCount(const std::filesystem::path& readerDir, state::Fault::Type type);

// Latency, then a "block" fault: the call waits until the fault is lifted. `arguments`
// go to the call log when the call blocks.
void DelayCall(const std::filesystem::path& readerDir, const char* function,
               const std::string& arguments);

// A "remove" fault come due: the selected card (else the first in the field) leaves for
// the cards folder.
void TakeCardAway(ReaderSession& session);

}  // namespace vreader::lib
