#include "card/notice_file.h"

#include <algorithm>
#include <vector>

#include "card/acr120_mifare.h"
#include "card/block_maps.h"
#include "card/card_selection.h"
#include "card/notice_record.h"
#include "card/notice_text.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"

namespace notice {

namespace {

using notice_record::Capacity;
using notice_record::kNoticeKeyIndex;
using notice_text::kLengthFieldSize;

void LoginSectorZero(CACR120Mifare& card, const MifareKey& key) {
    card.StoreKey(false, kKeyTypeA, kNoticeKeyIndex, key.data());
    card.Login(0, false, kKeyTypeA, kNoticeKeyIndex);
}

}  // namespace

MifareKey KeyFromText(std::u16string_view keyText) {
    // Text the code page cannot hold would let different key texts give the same
    // key. Every sequence converts its key text before it logs in or writes, so a
    // code page the system cannot open stops it before the card is touched.
    const std::string bytes = notice_text::ToStored(keyText);
    MifareKey key;
    // The limit counts bytes: a double-byte code page fits fewer characters.
    if (bytes.size() > key.size()) {
        throw CCodedException(kErrAccessCodeTooLong, kSourceMifare);
    }
    key.fill(0xFF);
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

NoticeContent ReadNotice(CACR120Mifare& card, std::u16string_view keyText) {
    CardSelection selection(card);
    LoginSectorZero(card, KeyFromText(keyText));

    card.ReadData(nullptr, 0, 0, kLengthFieldSize);
    const std::vector<std::uint8_t>& buffer = card.ReadBuffer();
    std::uint16_t length = notice_text::LengthField(buffer.data());
    const std::uint16_t capacity = Capacity(card);
    // A length no card can hold means the data area holds no notice of ours.
    if (length > capacity) {
        length = 0;
    }
    card.ReadData(nullptr, 0, kLengthFieldSize, length);
    const std::vector<std::uint8_t>& text = card.ReadBuffer();
    const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
    return NoticeContent{std::string(text.begin(), end), capacity};
}

namespace {

void WriteRecordOf(CACR120Mifare& card, const MifareKey& key, std::string_view text) {
    // Refused before any login, so that nothing is written.
    notice_text::CheckFits(text, Capacity(card));
    const std::vector<std::uint8_t> record = notice_text::Record(text);

    card.StoreKey(false, kKeyTypeA, kNoticeKeyIndex, key.data());
    // A sector the key does not open would stop the writes halfway.
    notice_record::ProveSectors(card,
                                notice_record::BlocksOf(static_cast<std::uint32_t>(record.size())));
    notice_record::WriteRecord(card, record);
}

}  // namespace

void WriteNotice(CACR120Mifare& card, std::u16string_view keyText, std::u16string_view noticeText) {
    CardSelection selection(card);
    const MifareKey key = KeyFromText(keyText);
    WriteRecordOf(card, key, notice_text::ToStored(noticeText));
}

void WriteNoticeBytes(CACR120Mifare& card, std::u16string_view keyText, std::string_view bytes) {
    CardSelection selection(card);
    WriteRecordOf(card, KeyFromText(keyText), bytes);
}

void EraseNotice(CACR120Mifare& card, std::u16string_view keyText) {
    CardSelection selection(card);
    LoginSectorZero(card, KeyFromText(keyText));
    const notice_record::StoredRecord record = notice_record::ReadStoredRecord(card);
    const std::vector<std::uint8_t> blocks = notice_record::BlocksToErase(card, record);
    if (blocks.empty()) {
        return;
    }
    // A sector the key does not open fails before anything is written. Proved first
    // to last, so that the erase, last to first, begins where the proof ends.
    const std::uint8_t lastSector = record.LastSector(card);
    for (std::uint8_t sector = 1; sector <= lastSector; ++sector) {
        card.Login(sector, false, kKeyTypeA, kNoticeKeyIndex);
    }
    notice_record::EraseBlocks(card, record, blocks, notice_record::kEverySector);
}

}  // namespace notice
