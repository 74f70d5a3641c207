#include "app/cli/card_commands.h"

#include <algorithm>
#include <new>

#include "app/card_session.h"
#include "app/cli/exit_codes.h"
#include "app/cli/notice_text.h"
#include "ascii/hex.h"
#include "card/key_change_interrupted.h"
#include "card/notice_error_kind.h"
#include "card/notice_file.h"
#include "card/notice_text.h"
#include "errors/caught_error.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "errors/show_error.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace notice_cli {
namespace {

// The card the selection chose; nothing when no selection got that far (the
// selection clears the tag type before it lists the field).
void NameSelectedCard(const app::ICardSession& card, CardReport& report) {
    const SelectedTag& tag = card.SelectedCard();
    const std::size_t length =
        std::min<std::size_t>(tag.serialNumberLength, tag.serialNumber.size());
    // The tag type is set by a selection only; a UID of zeros is still a UID.
    if (tag.tagType != 0 && length > 0) {
        report.uid = ascii::HexText(tag.serialNumber.data(), length);
        report.cardType = tag.cardType;
    }
}

}  // namespace

Failure PlainFailure(std::string text, int exit) {
    Failure failure;
    failure.exit = exit;
    failure.text = failure.description = std::move(text);
    return failure;
}

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
    notice::KeyFromText(texts.key);
    if (command == Command::ChangeKey) {
        notice::KeyFromText(texts.newKey);
    }
}

void PrepareNotice(CommandTexts& texts) {
    texts.noticeBytes = notice_text::ToStored(texts.notice);
    notice_text::CheckFits(texts.noticeBytes, notice_text::Capacity(kCardTypeMifare4K));
}

int ExitFor(const ICOMSrvException& error, Stage stage) {
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
    switch (KindOfNoticeError(error)) {
        case NoticeErrorKind::kReader:
            return kReader;
        case NoticeErrorKind::kCard:
            return kCard;
        case NoticeErrorKind::kKey:
            return kKey;
        case NoticeErrorKind::kTextRefused:
            return kTextRefused;
        case NoticeErrorKind::kOther:
            break;
    }
    return kFailure;
}

void SayNoticeSizes(Failure& failure, const ICOMSrvException& error, std::size_t noticeBytes,
                    std::uint16_t capacity, bool thisCard) {
    if (dynamic_cast<const notice_text::CNoticeTooLong*>(&error) == nullptr) {
        return;
    }
    const std::string sizes = " (the notice is " + std::to_string(noticeBytes) + " bytes; " +
                              (thisCard ? "this card holds " : "the largest card holds ") +
                              std::to_string(capacity) + ")";
    failure.text += sizes;
    failure.description += sizes;
}

Failure FailureOf(const ICOMSrvException& error, int exit) {
    Failure failure;
    failure.exit = exit;
    failure.text = platform::Utf16ToUtf8(FormatError(error));
    failure.status = failure.text.substr(0, 8);
    failure.source = platform::Utf16ToUtf8(error.GetSource());
    failure.description = platform::Utf16ToUtf8(error.GetDescription());
    if (const auto* interrupted = dynamic_cast<const CKeyChangeInterrupted*>(&error)) {
        const std::string causeText = platform::Utf16ToUtf8(interrupted->CauseText());
        failure.cause = Failure::Cause{causeText, causeText.substr(0, 8),
                                       platform::Utf16ToUtf8(interrupted->CauseSource()),
                                       platform::Utf16ToUtf8(interrupted->CauseDescription())};
    }
    return failure;
}

CardReport RunCardCommand(app::ICardSession& card, Command command, const CommandTexts& texts) {
    CardReport report;
    CatchProgramErrors(
        [&] {
            switch (command) {
                case Command::Read:
                case Command::Info: {
                    const notice::NoticeContent content = card.ReadNotice(texts.key);
                    report.length = static_cast<std::uint32_t>(content.storedText.size());
                    report.capacity = content.capacity;
                    if (command == Command::Read) {
                        report.notice = NoticeToUtf8(content.storedText);
                    }
                    break;
                }
                case Command::Write:
                    card.WriteNoticeBytes(texts.key, texts.noticeBytes);
                    report.length = static_cast<std::uint32_t>(texts.noticeBytes.size());
                    break;
                case Command::Clear:
                    card.EraseNotice(texts.key);
                    report.length = 0;
                    break;
                case Command::ChangeKey:
                    card.ChangeAccessKey([&] { return texts.key; }, texts.newKey);
                    report.keyChanged = true;
                    break;
                case Command::Readers:
                    break;
            }
        },
        [&](const CaughtError& caught) {
            if (caught.Error() == nullptr) {
                report.failure = PlainFailure(platform::Utf16ToUtf8(caught.Text()), kFailure);
                return;
            }
            report.failure = FailureOf(*caught.Error(), ExitFor(*caught.Error(), Stage::Card));
            SayNoticeSizes(*report.failure, *caught.Error(), texts.noticeBytes.size(),
                           notice_text::Capacity(card.SelectedCard().cardType), true);
        });
    NameSelectedCard(card, report);
    if (report.uid && !report.capacity) {
        if (const std::uint16_t capacity = notice_text::Capacity(report.cardType); capacity != 0) {
            report.capacity = capacity;
        }
    }
    return report;
}

}  // namespace notice_cli
