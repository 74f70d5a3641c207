#pragma once
// Appending to a text file that other programs may be reading at the same time
// (the reader call trace).

#include <filesystem>
#include <string_view>

namespace platform {

// Opens `path` for writing (creating it when absent, never truncating), adds
// `bytes` at its end in one write and closes it again. False on failure, with
// the last-error value of the step that failed (not that of the close).
bool AppendToFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace platform
