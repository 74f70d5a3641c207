// Change !: the old notice erased and a new key A in every sector's trailer.
// A card taken away at any call can be finished by running the same change again:
// each sector opens with the current or the new key, and only sectors still on the
// current key are written. Each of those loses its blocks of the notice record
// before its trailer changes, sector 0 (the record's length) last, so a sector on
// the new key never holds the old notice, and the length that a re-run needs stays
// readable with the current key until the very end.

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "card/access_key_change.h"

#include "card/access_bits.h"
#include "card/acr120_mifare.h"
#include "card/card_selection.h"
#include "card/key_change_interrupted.h"
#include "card/notice_file.h"
#include "card/notice_record.h"
#include "errors/mifare_exception.h"
#include "reader/reader_error.h"

namespace notice {

namespace {

// Key B of the card's published transport configuration. The program never
// logs in with key B; it only keeps the trailer in that well-known form.
constexpr MifareKey kTransportKeyB{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Access conditions written with a new key: data groups 0, 0, 0 and trailer 1,
// the transport configuration (FF 07 80).
constexpr std::uint8_t kDataCondition = 0;
constexpr std::uint8_t kTrailerCondition = 1;
constexpr std::size_t kTrailerGroup = 3;
constexpr std::size_t kAccessBytesOffset = 6;

// Where the two keys wait in the key cache during the change. The notices' key is
// index 0, so it holds the new key once every trailer has it.
using notice_record::kNoticeKeyIndex;
constexpr std::uint8_t kCurrentKeyIndex = 0;
constexpr std::uint8_t kNewKeyIndex = 1;

using Conditions = std::optional<std::array<std::uint8_t, 4>>;

struct SectorSurvey {
    std::vector<bool> onCurrentKey;      // by sector
    std::vector<Conditions> conditions;  // read for sectors on the current key
    std::optional<CACR120Exception> currentKeyRefused;
    bool newKeySeen = false;
    notice_record::StoredRecord record;
};

std::uint8_t OtherKey(std::uint8_t index) {
    return index == kCurrentKeyIndex ? kNewKeyIndex : kCurrentKeyIndex;
}

// The key index that opens `sector`, trying `tryFirst` first. A sector that opens
// with neither fails with the current key's refusal; any other failure (the card
// gone, a reader error) passes on as it is. A refused login halts the card, and the
// next login selects it again.
std::uint8_t OpeningKey(CACR120Mifare& card, std::uint8_t sector, std::uint8_t tryFirst,
                        SectorSurvey& survey) {
    for (const std::uint8_t index : {tryFirst, OtherKey(tryFirst)}) {
        try {
            card.Login(sector, false, kKeyTypeA, index);
            return index;
        } catch (const CACR120Exception& error) {
            if (error.GetReturnCode() != acr120::rc::kLoginFailed) {
                throw;
            }
            if (index == kCurrentKeyIndex) {
                survey.currentKeyRefused = error;
            }
        }
    }
    throw *survey.currentKeyRefused;
}

// Before anything is written: which key opens each sector, what the trailers of the
// sectors to rewrite allow, and the record. Last to first: a change cut short has
// changed the last sectors first, so a re-run learns at once that the card holds
// both keys, and the survey ends on sector 0, where the record begins. The key that
// opened the last sector is tried first: each sector costs one login, the first of
// a run two.
void Survey(CACR120Mifare& card, SectorSurvey& survey) {
    const std::uint8_t sectorCount = card.GetSectorCount();
    survey.onCurrentKey.assign(sectorCount, false);
    survey.conditions.assign(sectorCount, std::nullopt);
    std::uint8_t tryFirst = kCurrentKeyIndex;
    for (std::uint8_t sector = sectorCount; sector-- > 0;) {
        tryFirst = OpeningKey(card, sector, tryFirst, survey);
        if (tryFirst != kCurrentKeyIndex) {
            survey.newKeySeen = true;
            continue;
        }
        survey.onCurrentKey[sector] = true;
        // Key A may read the access bits under every condition.
        card.ReadBlock(mifare::TrailerOfSector(sector));
        survey.conditions[sector] =
            mifare::DecodeAccessBytes(card.ReadBuffer().data() + kAccessBytesOffset);
    }
    survey.record = notice_record::ReadStoredRecord(card);
}

std::size_t GroupOfBlock(std::uint8_t block) {
    const std::uint8_t first = mifare::FirstBlockOfSector(mifare::SectorOfBlock(block));
    return block < mifare::kFirstLargeSectorBlock ? std::size_t{block} - first
                                                  : (std::size_t{block} - first) / 5;
}

// A change that could not be finished is refused before it starts: a trailer whose
// key A key A may not write would be forgiven by the reader and stay as it is, and a
// block of the record key A may not write would stop the erase halfway, both for
// every run of the same change.
void RefuseWhatCannotBeWritten(const SectorSurvey& survey,
                               const std::vector<std::uint8_t>& eraseBlocks) {
    for (std::size_t sector = 0; sector < survey.onCurrentKey.size(); ++sector) {
        const Conditions& conditions = survey.conditions[sector];
        if (survey.onCurrentKey[sector] &&
            (!conditions || !mifare::KeyAMayWriteKeyA((*conditions)[kTrailerGroup]))) {
            throw CMifareException(kMifareSectorNotRewritable, kSourceMifare,
                                   static_cast<long long>(sector));
        }
    }
    for (const std::uint8_t block : eraseBlocks) {
        const std::uint8_t sector = mifare::SectorOfBlock(block);
        if (survey.onCurrentKey[sector] &&
            !mifare::KeyAMayWriteData((*survey.conditions[sector])[GroupOfBlock(block)])) {
            throw CMifareException(kMifareSectorNotRewritable, kSourceMifare,
                                   static_cast<long long>(sector));
        }
    }
}

// Last to first, as the erase goes: sector 0, with the length, changes last.
void EraseAndChangeTrailers(CACR120Mifare& card, const SectorSurvey& survey,
                            const std::vector<std::uint8_t>& eraseBlocks, const MifareKey& next) {
    for (std::size_t sector = survey.onCurrentKey.size(); sector-- > 0;) {
        if (!survey.onCurrentKey[sector]) {
            continue;
        }
        const auto s = static_cast<std::uint8_t>(sector);
        if (card.AuthenticatedSector() != s || card.LastKeyIndex() != kCurrentKeyIndex) {
            card.Login(s, false, kKeyTypeA, kCurrentKeyIndex);
        }
        notice_record::EraseBlocks(card, survey.record, eraseBlocks, s);
        card.WriteTrailer(s, next.data(), kTransportKeyB.data(), kDataCondition, kDataCondition,
                          kDataCondition, kTrailerCondition);
    }
}

// The reader answers every trailer write with an error that is forgiven (its
// read-back meets the blanked key), so a write that never happened looks like one
// that did. Only a login with the new key tells.
void ProveNewKey(CACR120Mifare& card, const SectorSurvey& survey) {
    for (std::size_t sector = 0; sector < survey.onCurrentKey.size(); ++sector) {
        if (survey.onCurrentKey[sector]) {
            card.Login(static_cast<std::uint8_t>(sector), false, kKeyTypeA, kNoticeKeyIndex);
        }
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

    SectorSurvey survey;
    try {
        Survey(card, survey);
    } catch (const ICOMSrvException& error) {
        // A card that holds both keys must be finished, whatever stopped this run.
        if (survey.newKeySeen) {
            throw CKeyChangeInterrupted(error);
        }
        throw;
    }

    const bool anyOnCurrentKey = std::find(survey.onCurrentKey.begin(), survey.onCurrentKey.end(),
                                           true) != survey.onCurrentKey.end();
    if (!anyOnCurrentKey) {
        // Every trailer already changed, so the erase before them was complete: an
        // empty notice is a change finished but for its last check, anything else
        // was saved with the new key since, and is not this change's to erase.
        if (survey.record.Length() != 0) {
            throw survey.currentKeyRefused.value_or(CACR120Exception(acr120::rc::kLoginFailed));
        }
        card.StoreKey(false, kKeyTypeA, kNoticeKeyIndex, next.data());
        return;
    }
    // On a card that holds both keys, sector 0 is still on the current key (it
    // changes last) and the record is the old one; with sector 0 on the new key (a
    // card some other order left), what the new key's holders saved there stays.
    const std::vector<std::uint8_t> eraseBlocks = notice_record::BlocksToErase(card, survey.record);
    RefuseWhatCannotBeWritten(survey, eraseBlocks);

    try {
        EraseAndChangeTrailers(card, survey, eraseBlocks, next);
        card.StoreKey(false, kKeyTypeA, kNoticeKeyIndex, next.data());
        ProveNewKey(card, survey);
    } catch (const ICOMSrvException& error) {
        throw CKeyChangeInterrupted(error);
    }
}

}  // namespace notice
