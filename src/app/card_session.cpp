#include "app/card_session.h"

#include "card/acr120_mifare.h"

namespace app {
namespace {

class CMifareCardSession final : public ICardSession {
public:
    explicit CMifareCardSession(const platform::ModuleRef& module) : card_(module) {}

    void SetReaderName(const char16_t* name) override { card_.SetReaderName(name); }
    void Connect() override { card_.Connect(); }
    void StartMonitor(IMessagePoster* window, std::uint32_t message) override {
        card_.StartMonitor(window, message);
    }
    void Disconnect() override { card_.Disconnect(); }
    bool IsConnected() const override { return card_.IsConnected(); }

    NoticeContent ReadNotice(std::u16string_view keyText) override {
        return ::ReadNotice(card_, keyText);
    }
    void WriteNotice(std::u16string_view keyText, std::u16string_view noticeText) override {
        ::WriteNotice(card_, keyText, noticeText);
    }
    void ChangeAccessKey(const std::function<std::u16string()>& currentKeyText,
                         std::u16string_view newKeyText) override {
        ::ChangeAccessKey(card_, currentKeyText, newKeyText);
    }

private:
    CACR120Mifare card_;
};

}  // namespace

std::unique_ptr<ICardSession> MakeMifareCardSession(const platform::ModuleRef& module) {
    return std::make_unique<CMifareCardSession>(module);
}

CardFactory MifareCardFactory(platform::ModuleRef module) {
    return [module = std::move(module)] { return MakeMifareCardSession(module); };
}

}  // namespace app
