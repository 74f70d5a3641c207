// Card selection and the presence monitor over listings a library might report: any
// count (0..255), tag types, serial-number lengths, type flags and statuses.
//
// A selection either fails with an error of the program's own kinds, leaving no card
// held, or holds a Mifare Classic card with a serial number that fits its field. The
// monitor's messages always leave the window believing what the last listing said, and
// the same cards listed again (whatever a USB library leaves past a serial number's
// length) give no message.
//
// Input: flags (bit 0 USB), then steps: a selector byte, then the library's answers.

#include <cstdio>
#include <cstdlib>

#include "errors/atl_exception.h"
#include "errors/com_srv_exception.h"
#include "fake_reader.h"
#include "monitor/field_snapshot.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "card selection: %s\n", what);
        std::abort();
    }
}

void Select(fuzz::Card& card) {
    try {
        card.ConnectCard();
        const SelectedTag& tag = card.Selected();
        Check(card.IsCardConnected(), "selected, yet no card held");
        Check(tag.cardType == kCardTypeMifare1K || tag.cardType == kCardTypeMifare4K,
              "a card the card layer cannot use was accepted");
        Check(tag.serialNumberLength <= acr120::kSerialNumberSize,
              "a serial number longer than its field");
        card.DisconnectCard();
    } catch (const ICOMSrvException&) {
        Check(!card.IsCardConnected(), "a failed selection holds the card");
    } catch (const CAtlException&) {
        Check(!card.IsCardConnected(), "a failed selection holds the card");
    }
    Check(card.LockIsFree(), "the reader lock is still held");
}

// One poll of the monitor, then the same library answer again with the bytes past each
// serial number's length changed.
void Poll(fuzz::Card& card, fuzz::Input& input, CFieldSnapshot& snapshot, bool& windowHasCard) {
    const std::size_t start = input.Position();
    TagListing listing;
    if (card.Port()->ListTags(listing) < 0) {
        return;
    }
    const CFieldSnapshot::Messages messages = snapshot.Update(listing);
    for (std::size_t i = 0; i < messages.count; ++i) {
        windowHasCard = messages.wParams[i] != CFieldSnapshot::kCardGone;
    }
    Check(windowHasCard == (listing.count != 0), "the window believes another field");

    const std::size_t end = input.Position();
    input.Rewind(start);
    TagListing again;
    fuzz::TheLibrary().scramblePastLengths = true;
    const std::int16_t result = card.Port()->ListTags(again);
    fuzz::TheLibrary().scramblePastLengths = false;
    if (result >= 0) {
        Check(snapshot.Update(again).count == 0, "the same cards listed again gave a message");
    }
    input.Rewind(end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Card card;
    if (size < 1) {
        return 0;
    }
    fuzz::Input input(data + 1, size - 1);
    fuzz::Library& library = fuzz::TheLibrary();
    library = fuzz::Library{};
    card.Open((data[0] & 1) != 0);
    library.input = &input;

    CFieldSnapshot snapshot;
    bool windowHasCard = false;
    while (!input.Empty()) {
        if (input.Byte() % 2 == 0) {
            Select(card);
        } else {
            Poll(card, input, snapshot, windowHasCard);
        }
    }
    library.input = nullptr;
    card.Disconnect();
    return 0;
}
