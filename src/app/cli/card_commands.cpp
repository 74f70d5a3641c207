#include "app/cli/card_commands.h"

#include <algorithm>
#include <new>

#include "app/cli/exit_codes.h"
#include "app/cli/notice_text.h"
#include "card/acr120_mifare.h"
#include "card/mifare_geometry.h"
#include "card/notice_file.h"
#include "errors/atl_exception.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "errors/show_error.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace notice_cli {
namespace {

std::uint32_t CapacityOf(std::uint16_t cardType) {
    const unsigned blocks =
        cardType == kCardTypeMifare4K ? mifare::kDataBlockCount4K : mifare::kDataBlockCount1K;
    return blocks * mifare::kBlockSize - 2;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0xF]);
    }
    return text;
}

// The card the selection chose; nothing when no selection got that far (the
// selection clears the serial number before it lists the field).
void NameSelectedCard(const CACR120Mifare& card, CardReport& report) {
    const SelectedTag& tag = card.SelectedCard();
    const std::size_t length =
        std::min<std::size_t>(tag.serialNumberLength, tag.serialNumber.size());
    bool any = false;
    for (std::size_t i = 0; i < length; ++i) {
        any = any || tag.serialNumber[i] != 0;
    }
    if (any) {
        report.uid = Hex(tag.serialNumber.data(), length);
        report.cardType = tag.cardType;
    }
}

Failure PlainFailure(std::string text, int exit) {
    Failure failure;
    failure.exit = exit;
    failure.text = failure.description = std::move(text);
    return failure;
}

}  // namespace

std::string CardKindName(std::uint16_t cardType) {
    switch (cardType) {
        case kCardTypeMifare1K:
            return "MIFARE Classic 1K";
        case kCardTypeMifare4K:
            return "MIFARE Classic 4K";
        case kCardTypeSevenByteUid:
            return "7-byte UID tag";
        default:
            return "unknown card";
    }
}

void CheckKeys(Command command, const CommandTexts& texts) {
    KeyFromText(texts.key);
    if (command == Command::ChangeKey) {
        KeyFromText(texts.newKey);
    }
}

void CheckNotice(const CommandTexts& texts) {
    const platform::AnsiConversion converted = platform::ToAnsi(texts.notice);
    if (converted.replaced) {
        throw CMifareException(kMifareTextNotStorable, kSourceMifare);
    }
    if (converted.bytes.size() > CapacityOf(kCardTypeMifare4K)) {
        throw CCodedException(kErrInvalidParameter, kSourceMifare);
    }
}

int ExitFor(const ICOMSrvException& error, Stage stage, Command command) {
    switch (stage) {
        case Stage::Reader:
            return kReader;
        case Stage::Keys:
            return kKey;
        case Stage::Text:
            return kTextRefused;
        case Stage::Card:
            break;
    }
    if (const auto* reader = dynamic_cast<const CACR120Exception*>(&error)) {
        const std::int16_t code = reader->GetReturnCode();
        if (code == acr120::rc::kInvalidStoredKey || code == acr120::rc::kLoginFailed ||
            code == acr120::rc::kNotAuthorized) {
            return kKey;
        }
        return code > acr120::rc::kNoCard ? kReader : kCard;
    }
    if (const auto* coded = dynamic_cast<const CCodedException*>(&error)) {
        switch (coded->GetCode()) {
            case kErrReaderNotConnected:
            case kErrReaderConnected:
            case kErrReaderNameNotSet:
            case kErrReaderTypeNotSupported:
            case kErrLibraryMissing:
                return kReader;
            case kErrAccessCodeTooLong:
            case kErrAccessCodeIncorrect:
            case kErrTokenAccessDenied:
                return kKey;
            case kErrInvalidParameter:
                // The write sequence's refusal of a notice longer than the card holds.
                return command == Command::Write ? kTextRefused : kCard;
            default:
                return kCard;
        }
    }
    if (const auto* mifareError = dynamic_cast<const CMifareException*>(&error)) {
        return mifareError->GetCode() == kMifareTextNotStorable ? kTextRefused : kCard;
    }
    return kFailure;
}

Failure FailureOf(const ICOMSrvException& error, int exit) {
    Failure failure;
    failure.exit = exit;
    failure.text = platform::Utf16ToUtf8(FormatError(error));
    failure.status = failure.text.substr(0, 8);
    failure.source = platform::Utf16ToUtf8(error.GetSource());
    failure.description = platform::Utf16ToUtf8(error.GetDescription());
    return failure;
}

CardReport RunCardCommand(CACR120Mifare& card, Command command, const CommandTexts& texts) {
    CardReport report;
    try {
        switch (command) {
            case Command::Read:
            case Command::Info: {
                const NoticeContent content = ReadNotice(card, texts.key);
                report.length = static_cast<std::uint32_t>(content.storedText.size());
                report.capacity = content.capacity;
                if (command == Command::Read) {
                    report.notice = NoticeToUtf8(content.storedText);
                }
                break;
            }
            case Command::Write:
                WriteNotice(card, texts.key, texts.notice);
                report.length =
                    static_cast<std::uint32_t>(platform::ToAnsi(texts.notice).bytes.size());
                break;
            case Command::Clear:
                EraseNotice(card, texts.key);
                report.length = 0;
                break;
            case Command::ChangeKey:
                ChangeAccessKey(
                    card, [&] { return texts.key; }, texts.newKey);
                report.keyChanged = true;
                break;
            case Command::Readers:
                break;
        }
    } catch (const ICOMSrvException& error) {
        report.failure = FailureOf(error, ExitFor(error, Stage::Card, command));
    } catch (const CAtlException& error) {
        report.failure = PlainFailure(platform::Utf16ToUtf8(FormatError(error)), kFailure);
    } catch (const std::bad_alloc&) {
        report.failure = PlainFailure(platform::Utf16ToUtf8(kOutOfMemoryText), kFailure);
    }
    NameSelectedCard(card, report);
    if (report.uid && !report.capacity &&
        (report.cardType == kCardTypeMifare1K || report.cardType == kCardTypeMifare4K)) {
        report.capacity = CapacityOf(report.cardType);
    }
    return report;
}

}  // namespace notice_cli
