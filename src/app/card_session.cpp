#include "app/card_session.h"

#include "card/access_key_change.h"
#include "card/acr120_mifare.h"
#include "monitor/mon_thread.h"

namespace app {
namespace {

class CMifareCardSession final : public ICardSession {
public:
    CMifareCardSession(const platform::ModuleRef& module, LibraryLoading loading)
        : card_(module, &CMonThread::Create, loading) {}

    void SetReaderName(const char16_t* name) override { card_.SetReaderName(name); }
    void Connect() override { card_.Connect(); }
    void StartMonitor(IMessagePoster* window, std::uint32_t message) override {
        card_.StartMonitor(window, message);
    }
    void Disconnect() override { card_.Disconnect(); }
    bool IsConnected() const override { return card_.IsConnected(); }

    notice::NoticeContent ReadNotice(std::u16string_view keyText) override {
        return notice::ReadNotice(card_, keyText);
    }
    void WriteNotice(std::u16string_view keyText, std::u16string_view noticeText) override {
        notice::WriteNotice(card_, keyText, noticeText);
    }
    void WriteNoticeBytes(std::u16string_view keyText, std::string_view bytes) override {
        notice::WriteNoticeBytes(card_, keyText, bytes);
    }
    void EraseNotice(std::u16string_view keyText) override { notice::EraseNotice(card_, keyText); }
    void ChangeAccessKey(const std::function<std::u16string()>& currentKeyText,
                         std::u16string_view newKeyText) override {
        notice::ChangeAccessKey(card_, currentKeyText, newKeyText);
    }
    const SelectedTag& SelectedCard() const override { return card_.SelectedCard(); }
    SelectedTag IdentifyCard() override {
        card_.ConnectCard();
        card_.DisconnectCard();
        return card_.SelectedCard();
    }

private:
    CACR120Mifare card_;
};

}  // namespace

std::unique_ptr<ICardSession> MakeMifareCardSession(const platform::ModuleRef& module,
                                                    LibraryLoading loading) {
    return std::make_unique<CMifareCardSession>(module, loading);
}

CardFactory MifareCardFactory(platform::ModuleRef module) {
    return [module = std::move(module)] { return MakeMifareCardSession(module); };
}

}  // namespace app
