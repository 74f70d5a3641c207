#include "reader/library_binding.h"

#include <mutex>

namespace reader_binding {
namespace {

std::mutex gFailureMutex;
std::string gLastFailure;

}  // namespace

std::string LastLoadFailure() {
    std::lock_guard<std::mutex> hold(gFailureMutex);
    return gLastFailure;
}

void RecordLoadFailure(const std::string& line) {
    std::lock_guard<std::mutex> hold(gFailureMutex);
    gLastFailure = line;
}

}  // namespace reader_binding
