#pragma once
// What the main window does with its one card object: the connection calls and
// the three notice sequences. The window holds it through this interface so that
// its logic can be exercised without a reader library; the program's own
// implementation owns a CACR120Mifare.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "card/notice_file.h"
#include "platform/library.h"

class IMessagePoster;

namespace app {

class ICardSession {
public:
    virtual ~ICardSession() = default;

    virtual void SetReaderName(const char16_t* name) = 0;
    virtual void Connect() = 0;
    // Fails (and closes the reader) when the monitor cannot start.
    virtual void StartMonitor(IMessagePoster* window, std::uint32_t message) = 0;
    virtual void Disconnect() = 0;
    virtual bool IsConnected() const = 0;

    virtual notice::NoticeContent ReadNotice(std::u16string_view keyText) = 0;
    virtual void WriteNotice(std::u16string_view keyText, std::u16string_view noticeText) = 0;
    virtual void WriteNoticeBytes(std::u16string_view keyText, std::string_view bytes) = 0;
    virtual void EraseNotice(std::u16string_view keyText) = 0;
    virtual void ChangeAccessKey(const std::function<std::u16string()>& currentKeyText,
                                 std::u16string_view newKeyText) = 0;

    // The card the last selection chose (serial number cleared when none was).
    virtual const SelectedTag& SelectedCard() const = 0;
    // Selects the card in the field and releases it at once, to learn which card
    // it is; touches nothing on the card.
    virtual SelectedTag IdentifyCard() = 0;
};

// Creating the card object loads both reader libraries, so it can fail.
using CardFactory = std::function<std::unique_ptr<ICardSession>()>;
using ReaderEnumerator = std::function<void(std::vector<std::u16string>&)>;

// The card object over the reader libraries that lie beside `module`.
// The window loads both libraries at once; the command-line tool only the one of
// the reader it opens.
std::unique_ptr<ICardSession> MakeMifareCardSession(
    const platform::ModuleRef& module,
    LibraryLoading loading = LibraryLoading::kBothAtConstruction);
CardFactory MifareCardFactory(platform::ModuleRef module);

}  // namespace app
