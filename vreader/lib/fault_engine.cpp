#include "lib/fault_engine.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "lib/cancellation.h"

namespace vreader::lib {

namespace fs = std::filesystem;
using FaultType = state::Fault::Type;

CallPlan CountDownFaults(const fs::path& readerDir, const char* function) {
    CallPlan plan;
    auto counted = [&](const state::Fault& fault) {
        return (fault.type == FaultType::kFail || fault.type == FaultType::kRemove) &&
               fault.Matches(function);
    };
    const auto faults = state::ReadFaults(readerDir);
    if (std::none_of(faults.begin(), faults.end(), counted)) {
        return plan;
    }
    state::FieldLock lock(readerDir);
    const state::FaultFile file = state::ReadFaultFile(readerDir);  // again, under the lock
    std::vector<state::Fault> kept;
    for (auto fault : file.faults) {
        if (!counted(fault)) {
            kept.push_back(fault);
            continue;
        }
        if (fault.at > 1) {
            --fault.at;
            kept.push_back(fault);
            continue;
        }
        if (fault.type == FaultType::kRemove) {
            plan.removeCardAfter = true;
            continue;  // spent
        }
        if (!plan.failWith) {
            plan.failWith = static_cast<std::int16_t>(fault.code);
        }
        if (fault.times == 0) {
            kept.push_back(fault);
        } else if (fault.times > 1) {
            --fault.times;
            kept.push_back(fault);
        }
    }
    state::WriteFaults(readerDir, kept, file.badLines);
    return plan;
}

bool HasFault(const fs::path& readerDir, FaultType type, const char* function) {
    for (const auto& fault : state::ReadFaults(readerDir)) {
        if (fault.type == type && (function == nullptr || fault.Matches(function))) {
            return true;
        }
    }
    return false;
}

int FaultCount(const fs::path& readerDir, FaultType type) {
    for (const auto& fault : state::ReadFaults(readerDir)) {
        if (fault.type == type) {
            return fault.count;
        }
    }
    return -1;
}

void DelayCall(const fs::path& readerDir, const char* function, const std::string& arguments) {
    const int latency = FaultCount(readerDir, FaultType::kLatency);
    if (latency > 0) {
        CancellableSleep(latency);
    }
    if (HasFault(readerDir, FaultType::kBlock, function)) {
        state::AppendCallLog(readerDir, std::string(function) + " " + arguments + " -> blocked");
        // The program ends a monitor thread that hangs here by cancelling it.
        while (HasFault(readerDir, FaultType::kBlock, function)) {
            WaitForFaultChange(readerDir);
        }
    }
}

void TakeCardAway(ReaderSession& session) {
    fs::path image;
    {
        std::lock_guard lock(session.mutex);
        if (session.cardSelected) {
            image = session.readerDir / session.cardFileName;
        }
    }
    state::FieldLock lock(session.readerDir);
    std::error_code error;
    if (image.empty() || !fs::exists(image, error)) {
        auto cards = state::ListCards(session.readerDir);
        if (cards.empty()) {
            return;
        }
        image = cards.front().path;
    }
    state::MoveToCards(session.stateDir, image);
}

}  // namespace vreader::lib
