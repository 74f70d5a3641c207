#include "lib/call_runner.h"

#include <mutex>

#include "ascii/hex.h"
#include "core/state.h"
#include "lib/fault_engine.h"
#include "lib/handle_table.h"

namespace vreader::lib {

std::int16_t RunCall(std::int16_t handle, const char* function, Station station,
                     const CallWork& work, const CallDescription& describe) {
    auto session = FindSession(handle);
    if (!session) {
        return acr120::rc::kInvalidHandle;
    }
    const std::string stationText =
        station ? "station=" + std::to_string(*station) + " " : std::string();
    const std::string head = "handle=" + std::to_string(handle) + " " + stationText;
    const CallPlan plan = CountDownFaults(session->readerDir, function);
    DelayCall(session->readerDir, function, head + "...");
    std::int16_t result = acr120::rc::kOk;
    if (plan.failWith) {
        result = *plan.failWith;
    } else if (station && *station != state::ReadStation(session->readerDir)) {
        result = acr120::rc::kInvalidParameter;
    } else {
        std::lock_guard lock(session->mutex);
        result = work(*session);
    }
    state::AppendCallLog(session->readerDir, std::string(function) + " " + head + describe(result) +
                                                 " -> " + std::to_string(result));
    if (plan.removeCardAfter) {
        TakeCardAway(*session);
    }
    return result;
}

std::string HexOrNull(const std::uint8_t* data, std::size_t size) {
    return data == nullptr ? std::string("null") : ascii::HexText(data, size);
}

}  // namespace vreader::lib
