#pragma once
// A dump file of another tool in one format (the fuzz_dump_* programs). Reading it either fails
// with the dump errors the CLI reports, or gives an image of a card's size that every format able
// to hold it writes and reads back unchanged.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/card_formats.h"

namespace fuzz {

inline void CheckDump(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "dump: %s\n", what);
        std::abort();
    }
}

inline int FuzzDump(const std::uint8_t* data, std::size_t size, vreader::DumpFormat read) {
    using vreader::DumpFormat;
    const std::string content(reinterpret_cast<const char*>(data), size);
    vreader::Bytes image;
    try {
        image = vreader::ParseDump(content, read);
    } catch (const vreader::ControlError& error) {
        CheckDump(error.Kind() == vreader::ErrorKind::kBadFormat ||
                      error.Kind() == vreader::ErrorKind::kBadImage,
                  "a dump refused with an error of another kind");
        return 0;
    }
    CheckDump(vreader::KindOfImageSize(image.size()).has_value(), "an image of no card's size");
    for (DumpFormat format :
         {DumpFormat::kRaw, DumpFormat::kEml, DumpFormat::kJson, DumpFormat::kMct}) {
        if (format == DumpFormat::kMct && image.size() == 64) {
            continue;  // MCT holds MIFARE Classic cards only
        }
        CheckDump(vreader::ParseDump(vreader::FormatDump(image, format), format) == image,
                  "an image changed on its way through a format");
    }
    return 0;
}

}  // namespace fuzz
