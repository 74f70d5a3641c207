// A dump named by its file: the first line is the file name, whose extension picks the
// format as `tagquill-vreader convert` does, the rest is the file. An image read from it
// converts back to the same bytes in that format, and a raw dump is the file itself.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/card_formats.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "dump detection: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto newline = input.find('\n');
    if (newline == std::string::npos) {
        return 0;
    }
    const auto format = vreader::DumpFormatOfPath(input.substr(0, newline));
    if (!format) {
        return 0;
    }
    const std::string content = input.substr(newline + 1);
    vreader::Bytes image;
    try {
        image = vreader::ParseDump(content, *format);
    } catch (const vreader::ControlError&) {
        return 0;
    }
    const std::string written = vreader::FormatDump(image, *format);
    Check(vreader::ParseDump(written, *format) == image, "an image changed when written back");
    if (*format == vreader::DumpFormat::kRaw) {
        Check(written == content, "a raw dump is not the file itself");
    }
    return 0;
}
