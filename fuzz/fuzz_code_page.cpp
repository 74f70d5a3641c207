// The conversion between UTF-16 text and every system ANSI code page, both ways. The
// input's first byte picks the code page; the rest is taken once as ANSI bytes and once
// as UTF-16 text. Text the code page holds reads back as it was written; bytes a card
// holds read as text that writes back as the same bytes, in the one-byte code pages. The
// Vietnamese and Hebrew converters join a letter and its combining mark into one
// character ("N" and a combining tilde read as "\u00D1"), which may write back as the
// code page's own byte for it: the same text, other bytes. There the text must survive
// being written and read again.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_code_pages.h"
#include "platform/code_page.h"

namespace {

void Check(bool condition, const char* what, unsigned codePage) {
    if (!condition) {
        std::fprintf(stderr, "code page %u: %s\n", codePage, what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const unsigned codePage = fuzz::CodePageFromByte(data[0]);
    platform::SetAnsiCodePageOverride(codePage);
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::u16string text;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }

    const platform::AnsiConversion written = platform::ToAnsi(text);
    if (!written.replaced) {
        Check(platform::FromAnsi(written.bytes) == text, "stored text reads back otherwise",
              codePage);
    }
    const std::u16string read = platform::FromAnsi(bytes);
    Check(read.size() <= bytes.size(), "more characters than bytes", codePage);
    if (fuzz::IsSingleByte(codePage) && read.find(u'\xFFFD') == std::u16string::npos) {
        const platform::AnsiConversion back = platform::ToAnsi(read);
        Check(!back.replaced, "text read from a card cannot be written back", codePage);
        if (fuzz::JoinsCombiningMarks(codePage)) {
            Check(platform::FromAnsi(back.bytes) == read, "card text changes when written back",
                  codePage);
        } else {
            Check(back.bytes == bytes, "card bytes do not write back", codePage);
        }
    }
    return 0;
}
