// Change !: a new key A in every sector's trailer, then the old notice erased.
// A card taken away at any call can be finished by running the same change again:
// each sector opens with the current or the new key, only sectors still on the
// current key are rewritten, and the erase leaves blocks that it finds again.

#include <optional>
#include <vector>

#include "card/acr120_mifare.h"
#include "card/card_selection.h"
#include "card/notice_file.h"
#include "card/notice_record.h"
#include "errors/mifare_exception.h"
#include "reader/reader_error.h"

namespace {

// Key B of the card's published transport configuration. The program never
// logs in with key B; it only keeps the trailer in that well-known form.
constexpr MifareKey kTransportKeyB{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Access conditions written with a new key: data groups 0, 0, 0 and trailer 1,
// the transport configuration (FF 07 80).
constexpr std::uint8_t kDataCondition = 0;
constexpr std::uint8_t kTrailerCondition = 1;

// Where the two keys wait in the key cache during the change. The notices' key is
// index 0, so it holds the new key once every trailer has it.
constexpr std::uint8_t kNoticeKeyIndex = 0;
constexpr std::uint8_t kCurrentKeyIndex = 0;
constexpr std::uint8_t kNewKeyIndex = 1;

std::uint8_t OtherKey(std::uint8_t index) {
    return index == kCurrentKeyIndex ? kNewKeyIndex : kCurrentKeyIndex;
}

// The key index that opens `sector`, trying `tryFirst` first. A sector that opens
// with neither fails with the current key's refusal; any other failure (the card
// gone, a reader error) passes on as it is.
std::uint8_t OpeningKey(CACR120Mifare& card, std::uint8_t sector, std::uint8_t tryFirst) {
    std::optional<CACR120Exception> currentKeyRefused;
    for (const std::uint8_t index : {tryFirst, OtherKey(tryFirst)}) {
        try {
            card.Login(sector, false, kKeyTypeA, index);
            return index;
        } catch (const CACR120Exception& error) {
            if (error.GetReturnCode() != acr120::rc::kLoginFailed) {
                throw;
            }
            if (index == kCurrentKeyIndex) {
                currentKeyRefused = error;
            }
        }
    }
    throw *currentKeyRefused;
}

// The sectors that still need the new key. Proves before anything is written that
// every sector opens with one of the two keys. A change cut short leaves a run of
// sectors on the new key before the rest, so the key that opened the last sector
// is tried first: each sector then costs one login, the first of a run two.
std::vector<std::uint8_t> SectorsOnCurrentKey(CACR120Mifare& card) {
    std::vector<std::uint8_t> sectors;
    std::uint8_t tryFirst = kCurrentKeyIndex;
    const std::uint8_t sectorCount = card.GetSectorCount();
    for (std::uint8_t sector = 0; sector < sectorCount; ++sector) {
        tryFirst = OpeningKey(card, sector, tryFirst);
        if (tryFirst == kCurrentKeyIndex) {
            sectors.push_back(sector);
        }
    }
    return sectors;
}

void ChangeTrailers(CACR120Mifare& card, const std::vector<std::uint8_t>& sectors,
                    const MifareKey& newKey) {
    for (const std::uint8_t sector : sectors) {
        card.Login(sector, false, kKeyTypeA, kCurrentKeyIndex);
        card.WriteTrailer(sector, newKey.data(), kTransportKeyB.data(), kDataCondition,
                          kDataCondition, kDataCondition, kTrailerCondition);
    }
}

// The reader answers every trailer write with an error that is forgiven (its
// read-back meets the blanked key), so a write that never happened looks like one
// that did. Only a login with the new key tells; last to first, so that the
// erase starts on sector 0 without a login of its own.
void ProveNewKey(CACR120Mifare& card, const MifareKey& newKey) {
    card.StoreKey(false, kKeyTypeA, kNoticeKeyIndex, newKey.data());
    for (std::uint8_t sector = card.GetSectorCount(); sector-- > 0;) {
        card.Login(sector, false, kKeyTypeA, kNoticeKeyIndex);
    }
}

}  // namespace

void ChangeAccessKey(CACR120Mifare& card, const std::function<std::u16string()>& currentKeyText,
                     std::u16string_view newKeyText) {
    CardSelection selection(card);
    const MifareKey current = KeyFromText(currentKeyText());
    const MifareKey next = KeyFromText(newKeyText);
    card.StoreKey(false, kKeyTypeA, kCurrentKeyIndex, current.data());
    card.StoreKey(false, kKeyTypeA, kNewKeyIndex, next.data());

    const std::vector<std::uint8_t> sectors = SectorsOnCurrentKey(card);
    try {
        ChangeTrailers(card, sectors, next);
        ProveNewKey(card, next);
        // A notice saved under the old key is not handed on to the holders of the
        // new one, not even to a tool that reads blocks.
        notice_record::ZeroBlocks(card, notice_record::StoredRecordBlocks(card));
    } catch (const ICOMSrvException&) {
        // What the card holds now is finished by the same change, and the user
        // must hear that rather than only why it stopped.
        throw CMifareException(kMifareKeyChangeUnfinished, kSourceMifare);
    }
}
