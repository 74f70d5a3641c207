#pragma once
// The readers open in this process, by the handle the library gave out for each.

#include <cstdint>
#include <memory>

#include "lib/reader_session.h"

namespace vreader::lib {

// Gives the session the lowest handle not in use, as the reader library does.
std::int16_t AddSession(std::shared_ptr<ReaderSession> session);
// Null when no reader is open under that handle.
std::shared_ptr<ReaderSession> FindSession(std::int16_t handle);
// The session (and its open lock) ends with the last call still using it.
void RemoveSession(std::int16_t handle);

}  // namespace vreader::lib
