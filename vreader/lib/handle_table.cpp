#include "lib/handle_table.h"

#include <map>
#include <mutex>

namespace vreader::lib {

namespace {

std::mutex gTableMutex;
std::map<std::int16_t, std::shared_ptr<ReaderSession>> gSessionsByHandle;

}  // namespace

std::int16_t AddSession(std::shared_ptr<ReaderSession> session) {
    std::lock_guard lock(gTableMutex);
    std::int16_t handle = 0;
    while (gSessionsByHandle.count(handle) != 0) {
        ++handle;
    }
    gSessionsByHandle[handle] = std::move(session);
    return handle;
}

std::shared_ptr<ReaderSession> FindSession(std::int16_t handle) {
    std::lock_guard lock(gTableMutex);
    auto found = gSessionsByHandle.find(handle);
    return found == gSessionsByHandle.end() ? nullptr : found->second;
}

void RemoveSession(std::int16_t handle) {
    std::lock_guard lock(gTableMutex);
    gSessionsByHandle.erase(handle);
}

}  // namespace vreader::lib
