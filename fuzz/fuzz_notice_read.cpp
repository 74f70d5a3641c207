// Load on a card whose blocks hold anything: the stored length, the text bytes, a failing
// call anywhere, any code page. The notice read must stay inside the card and the logged-in
// sector, never exceed the card's capacity, read exactly the stored text when nothing
// failed, and leave the card released with the reader lock free.
//
// Input: flags (bit 0 USB, bit 1 4K, bit 2 the tag type from the next byte), tag type, code
// page, the failing call's number and code, then the card image from block 0 on.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "card/notice_file.h"
#include "card/notice_text.h"
#include "errors/atl_exception.h"
#include "errors/com_srv_exception.h"
#include "fake_reader.h"
#include "fuzz_code_pages.h"
#include "platform/code_page.h"

namespace {

constexpr std::size_t kHeader = 5;

// The stored notice as the card's bytes say it: length field, capped, cut at a zero.
std::string ExpectedNotice(const std::vector<std::uint8_t>& image, std::size_t capacity) {
    std::vector<std::uint8_t> area;
    for (std::size_t block = 1; block * 16 < image.size(); ++block) {
        const bool trailer = block < 128 ? block % 4 == 3 : block % 16 == 15;
        if (!trailer) {
            area.insert(area.end(), image.begin() + static_cast<long>(block * 16),
                        image.begin() + static_cast<long>(block * 16 + 16));
        }
    }
    std::size_t length = static_cast<std::size_t>(area[0] | area[1] << 8);
    if (length > capacity) {
        length = 0;
    }
    const auto begin = area.begin() + 2;
    return std::string(begin, std::find(begin, begin + static_cast<long>(length), 0));
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "notice read: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Card card;
    if (size < kHeader) {
        return 0;
    }
    const bool usb = (data[0] & 1) != 0;
    fuzz::Library& library = fuzz::TheLibrary();
    library = fuzz::Library{};
    library.tagType = (data[0] & 4) != 0 ? data[1] : ((data[0] & 2) != 0 ? 3 : 2);
    // The card is what the library says it is.
    const bool large = library.tagType == 3;
    platform::SetAnsiCodePageOverride(fuzz::CodePageFromByte(data[2]));
    library.failAt = data[3];
    library.failCode = fuzz::StatusFromByte(static_cast<std::uint8_t>(data[4] | 0xF0));
    library.image.assign(large ? 4096 : 1024, 0);
    std::copy_n(data + kHeader, std::min(size - kHeader, library.image.size()),
                library.image.begin());

    card.Open(usb);
    try {
        const notice::NoticeContent notice = notice::ReadNotice(card, u"");
        Check(
            notice.capacity == notice_text::Capacity(large ? kCardTypeMifare4K : kCardTypeMifare1K),
            "capacity of another card");
        Check(notice.storedText.size() <= notice.capacity, "a notice beyond the capacity");
        // Every call answered success (perhaps an odd one): the card's bytes decide.
        Check(notice.storedText == ExpectedNotice(library.image, notice.capacity),
              "the notice read is not the one stored");
        (void)platform::FromAnsi(notice.storedText);
    } catch (const ICOMSrvException&) {
    } catch (const CAtlException&) {
    }
    Check(!card.IsCardConnected(), "the card is still held");
    Check(card.LockIsFree(), "the reader lock is still held");
    card.Disconnect();
    return 0;
}
