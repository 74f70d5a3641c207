#include "reader/acr120_dll.h"

#include <filesystem>
#include <new>

#include "platform/code_page.h"
#include "platform/file_append.h"
#include "platform/last_error.h"

std::string CACR120Dll::FileName() {
    return platform::SharedLibraryFileName("acr120");
}

bool CACR120Dll::WriteTraceLine(std::u16string_view callText) {
    if (traceFileName.empty()) {
        return true;
    }
    std::string bytes;
    std::filesystem::path path;
    try {
        const reader_trace::Stamp stamp = reader_trace::CurrentStamp();
        bytes =
            platform::ToAnsi(reader_trace::FormatLine(stamp.time, stamp.threadId, callText)).bytes;
        path = std::filesystem::path(traceFileName);
    } catch (const std::bad_alloc&) {
        platform::SetLastErrorValue(platform::kErrorNotEnoughMemory);
        return false;
    } catch (const platform::CodePageUnavailable&) {
        // A trace line is not worth failing the reader call it describes.
        return false;
    }
    return platform::AppendToFile(path, bytes);
}
