#include "card/notice_file.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "card/acr120_mifare.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"

namespace {

// Key B of the card's published transport configuration. The program never
// logs in with key B; it only keeps the trailer in that well-known form.
constexpr MifareKey kTransportKeyB{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Access conditions written with a new key: data groups 0, 0, 0 and trailer 1,
// the transport configuration (FF 07 80).
constexpr std::uint8_t kDataCondition = 0;
constexpr std::uint8_t kTrailerCondition = 1;

constexpr std::uint32_t kLengthFieldSize = 2;

// Text the code page cannot hold would be stored with '?' in its place: a
// notice silently corrupted, or different key texts giving the same key.
// Every sequence converts its key text before it logs in or writes, so a code
// page the system cannot open stops it before the card is touched.
std::string ToStorableAnsi(std::u16string_view text) {
    platform::AnsiConversion converted;
    try {
        converted = platform::ToAnsi(text);
    } catch (const platform::CodePageUnavailable& error) {
        throw CMifareException(kMifareCodePageUnavailable, kSourceMifare, error.CodePage());
    }
    if (converted.replaced) {
        throw CMifareException(kMifareTextNotStorable, kSourceMifare);
    }
    return std::move(converted.bytes);
}

// Releases the card on every way out of a sequence; DisconnectCard never fails.
class CardSelection {
public:
    explicit CardSelection(CACR120Mifare& card) : card_(card) { card_.ConnectCard(); }
    ~CardSelection() { card_.DisconnectCard(); }
    CardSelection(const CardSelection&) = delete;
    CardSelection& operator=(const CardSelection&) = delete;

private:
    CACR120Mifare& card_;
};

void LoginSectorZero(CACR120Mifare& card, const MifareKey& key) {
    card.StoreKey(false, kKeyTypeA, 0, key.data());
    card.Login(0, false, kKeyTypeA, 0);
}

std::uint16_t Capacity(const CACR120Mifare& card) {
    return static_cast<std::uint16_t>(card.GetDataBlockCount() * 16 - kLengthFieldSize);
}

}  // namespace

MifareKey KeyFromText(std::u16string_view keyText) {
    const std::string bytes = ToStorableAnsi(keyText);
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
    std::uint16_t length = static_cast<std::uint16_t>(buffer[0] | buffer[1] << 8);
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

void WriteNotice(CACR120Mifare& card, std::u16string_view keyText, std::u16string_view noticeText) {
    CardSelection selection(card);
    LoginSectorZero(card, KeyFromText(keyText));

    const std::string text = ToStorableAnsi(noticeText);
    // Too long for any card; the range check below refuses what is too long for
    // this one, before anything is written.
    if (text.size() > std::numeric_limits<std::uint32_t>::max() - kLengthFieldSize) {
        throw CCodedException(kErrInvalidParameter, kSourceMifare);
    }
    std::vector<std::uint8_t> record(text.size() + kLengthFieldSize);
    record[0] = static_cast<std::uint8_t>(text.size() & 0xFF);
    record[1] = static_cast<std::uint8_t>((text.size() >> 8) & 0xFF);
    std::copy(text.begin(), text.end(), record.begin() + kLengthFieldSize);
    card.WriteData(nullptr, 0, 0, record.data(), static_cast<std::uint32_t>(record.size()));
}

void ChangeAccessKey(CACR120Mifare& card, const std::function<std::u16string()>& currentKeyText,
                     std::u16string_view newKeyText) {
    CardSelection selection(card);
    const MifareKey current = KeyFromText(currentKeyText());
    const MifareKey next = KeyFromText(newKeyText);
    card.StoreKey(false, kKeyTypeA, 0, current.data());

    const std::uint8_t sectorCount = card.GetSectorCount();
    // Prove the current key opens every sector before any trailer changes, so a
    // wrong key or a foreign sector leaves the card as it was.
    for (std::uint8_t sector = 0; sector < sectorCount; ++sector) {
        card.Login(sector, false, kKeyTypeA, 0);
    }
    for (std::uint8_t sector = 0; sector < sectorCount; ++sector) {
        card.Login(sector, false, kKeyTypeA, 0);
        card.WriteTrailer(sector, next.data(), kTransportKeyB.data(), kDataCondition,
                          kDataCondition, kDataCondition, kTrailerCondition);
    }

    card.StoreKey(false, kKeyTypeA, 0, next.data());
    // The reader answers every trailer write with an error that is forgiven (its
    // read-back meets the blanked key), so a write that never happened looks
    // like one that did. Only a login with the new key tells; last to first, so
    // the notice below needs no login of its own.
    for (std::uint8_t sector = sectorCount; sector-- > 0;) {
        card.Login(sector, false, kKeyTypeA, 0);
    }
    // A notice saved under the old key is not handed on to the holders of the new one.
    const std::uint8_t emptyRecord[kLengthFieldSize] = {0, 0};
    card.WriteData(nullptr, 0, 0, emptyRecord, kLengthFieldSize);
}
