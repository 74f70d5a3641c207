// The PC/SC library's readings of what a reader answers: the card kind in an ATR,
// the reader return code of a status word and of a PC/SC result.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "pcsc/pcsc_reader.h"
#include "pcsc/storage_card.h"
#include "reader/acr120_api.h"

namespace pcsc {
namespace {

namespace rc = acr120::rc;

// A storage card's ATR, the card name set, TCK left out (nobody checks it).
Bytes StorageAtr(std::uint8_t nameLow, const Bytes& interfaceBytes = {0x8F, 0x80, 0x01}) {
    const std::uint8_t historical[] = {0x80, 0x4F, 0x0C,    0xA0, 0x00, 0x00, 0x03, 0x06,
                                       0x03, 0x00, nameLow, 0x00, 0x00, 0x00, 0x00};
    // Sized once and filled in place: growing a short vector by insert trips a
    // false -Warray-bounds in GCC 12 at -O2.
    Bytes atr(1 + interfaceBytes.size() + sizeof historical);
    atr[0] = 0x3B;
    std::copy(interfaceBytes.begin(), interfaceBytes.end(), atr.begin() + 1);
    std::copy(std::begin(historical), std::end(historical),
              atr.begin() + 1 + static_cast<std::ptrdiff_t>(interfaceBytes.size()));
    return atr;
}

TEST(StorageCardAtr, CardNameGivesTheTagTypeElseTheUidLengthDoes) {
    Bytes truncated = StorageAtr(0x01);
    truncated.resize(10);
    const struct {
        Bytes atr;
        std::size_t uidLength;
        std::uint8_t tagType;
    } cases[] = {
        {StorageAtr(0x01), 4, acr120::kTagMifare1K},
        {StorageAtr(0x02), 4, acr120::kTagMifare4K},
        {StorageAtr(0x01), 7, acr120::kTagMifare1K},
        {StorageAtr(0x03), 7, acr120::kTagSevenByteUid},  // MIFARE Ultralight
        {StorageAtr(0x03), 4, 0},
        // TB1 before TD1: the historical bytes start one byte later.
        {StorageAtr(0x02, {0xAF, 0x00, 0x80, 0x01}), 4, acr120::kTagMifare4K},
        {truncated, 4, 0},
        {{0x3B, 0x02, 0x14, 0x50}, 4, 0},  // a contact card
        {{}, 7, acr120::kTagSevenByteUid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(TagTypeOfCard(c.atr, c.uidLength), c.tagType);
    }
}

TEST(StorageCardResponse, StatusWordsAndPcscResultsGiveTheReaderCodesOfTheSameMeaning) {
    const struct {
        Command command;
        Bytes response;
        std::int16_t code;
    } cases[] = {
        {Command::kRead, {0x01, 0x02, 0x90, 0x00}, rc::kOk},
        {Command::kAuthenticate, {0x63, 0x00}, rc::kLoginFailed},
        {Command::kAuthenticate, {0x69, 0x82}, rc::kLoginFailed},
        {Command::kRead, {0x69, 0x82}, rc::kNotAuthorized},
        {Command::kUpdate, {0x69, 0x86}, rc::kNotAuthorized},
        {Command::kUpdate, {0x63, 0x00}, rc::kOperationFailed},
        {Command::kLoadKey, {0x63, 0x00}, rc::kInvalidStoredKey},
        {Command::kGetUid, {0x6A, 0x81}, rc::kOperationFailed},
        {Command::kRead, {0x6B, 0x00}, rc::kInvalidParameter},
        {Command::kUpdate, {0x6F, 0x00}, rc::kUnknownReaderError},
        {Command::kRead, {0x90}, rc::kUnknownReaderError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(CodeOfResponse(c.command, c.response), c.code);
    }
    const std::pair<LONG, std::int16_t> results[] = {
        {SCARD_E_NO_SMARTCARD, rc::kNoCard},
        {SCARD_W_REMOVED_CARD, rc::kNoCard},
        {SCARD_E_NO_SERVICE, rc::kInvalidPort},
        {SCARD_F_COMM_ERROR, rc::kInvalidPort},
        {SCARD_E_UNKNOWN_READER, rc::kInvalidPort},
        {SCARD_E_SHARING_VIOLATION, rc::kPortOccupied},
        {SCARD_F_INTERNAL_ERROR, rc::kUnknownReaderError},
    };
    for (const auto& [result, code] : results) {
        EXPECT_EQ(CodeOfPcscResult(result), code) << std::hex << result;
    }
}

}  // namespace
}  // namespace pcsc
