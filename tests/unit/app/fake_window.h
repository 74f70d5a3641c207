#pragma once
// A window that remembers what the dialog logic did to it, and a card object that
// does what a test tells it. Both write into one log, so a test sees the order of
// window steps and card calls, which is what the window's behaviour is.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/card_session.h"
#include "app/control_ids.h"
#include "app/dialog_window.h"
#include "monitor/message_poster.h"
#include "platform/code_page.h"

namespace app::testing {

using Log = std::vector<std::string>;

inline std::string Narrow(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}

// The notice edit shows a lone CR or LF as a line break and hands it out as CR LF.
inline std::u16string WithCrLf(std::u16string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            out += u"\r\n";
            i += text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n' ? 1 : 0;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct Control {
    std::u16string text;
    bool enabled = true;
    unsigned limit = 0;
};

struct Box {
    std::u16string text, caption;
    std::uint32_t style;
    bool busyWhenShown;
};

class FakeWindow : public IDialogWindow, public IMessagePoster {
public:
    explicit FakeWindow(Log& log) : log_(log) {
        controls[IDC_DISCONNECT].enabled = false;
        controls[IDC_USAGE].text = u"16384 / 16384";  // the template's placeholder
    }
    void SetText(int id, std::u16string_view text) override {
        Note("text", id, "=" + Narrow(text));
        controls[id].text = id == IDC_NOTICE ? WithCrLf(text) : std::u16string(text);
    }
    void SetAnsiText(int id, std::string_view bytes) override {
        Note("ansi", id);
        controls[id].text = WithCrLf(platform::FromAnsi(bytes));
    }
    std::u16string GetText(int id) override { return controls[id].text; }
    unsigned GetTextLength(int id) override { return unsigned(controls[id].text.size()); }
    void Enable(int id, bool on) override {
        Note(on ? "enable" : "disable", id);
        controls[id].enabled = on;
    }
    void Repaint(int id) override { Note("repaint", id); }
    void SetFocus(int id) override {
        Note("focus", id);
        focus = id;
    }
    void LimitText(int id, unsigned limit) override {
        Note("limit", id, "=" + std::to_string(limit));
        controls[id].limit = limit;
    }
    // Not sorted: the logic must not rely on the order it added the names in.
    void ListAdd(int, std::u16string_view text) override { list.emplace_back(text); }
    void ListSelect(int, int index) override {
        selection = index >= 0 && index < static_cast<int>(list.size()) ? index : -1;
    }
    int ListSelection(int) override { return selection; }
    std::u16string ListText(int, int index) override { return list.at(std::size_t(index)); }
    void CenterWindow() override { log_.push_back("center"); }
    void EndDialog(int result) override { endResult = result; }
    void SetBusy(bool on) override {
        log_.push_back(on ? "busy" : "idle");
        busy = on;
    }
    IMessagePoster* MessageTarget() override { return this; }
    void Post(std::uint32_t, std::uintptr_t) override {}
    int ShowMessageBox(std::u16string_view text, std::u16string_view caption,
                       std::uint32_t style) override {
        log_.push_back("box " + Narrow(text));
        boxes.push_back(Box{std::u16string(text), std::u16string(caption), style, busy});
        if (whileBoxOpen) {
            whileBoxOpen();  // as the box's own message loop would dispatch
        }
        return (style & kMbButtons) == kMbYesNo ? yesNoAnswer : kIdOk;
    }

    std::map<int, Control> controls;
    std::vector<std::u16string> list;
    int selection = -1;
    int focus = 0;
    bool busy = false;
    std::optional<int> endResult;
    std::vector<Box> boxes;
    std::function<void()> whileBoxOpen;
    int yesNoAnswer = kIdNo;  // what the user answers a Yes/No box

private:
    void Note(const std::string& what, int id, const std::string& rest = "") {
        log_.push_back(what + " " + std::to_string(id) + rest);
    }
    Log& log_;
};

class FakeCard : public ICardSession {
public:
    explicit FakeCard(Log& log) : log_(log) {}
    ~FakeCard() override { log_.push_back("card destroyed"); }

    void SetReaderName(const char16_t* name) override { Step("SetReaderName " + Narrow(name)); }
    void Connect() override {
        Step("Connect");
        connected = true;
    }
    void StartMonitor(IMessagePoster*, std::uint32_t message) override {
        Step("StartMonitor " + std::to_string(message));
    }
    void Disconnect() override {
        connected = false;
        Step("Disconnect");
    }
    bool IsConnected() const override { return connected; }
    notice::NoticeContent ReadNotice(std::u16string_view key) override {
        Step("ReadNotice " + Narrow(key));
        return notice;
    }
    void WriteNotice(std::u16string_view key, std::u16string_view text) override {
        Step("WriteNotice " + Narrow(key) + "|" + Narrow(text));
    }
    void WriteNoticeBytes(std::u16string_view key, std::string_view bytes) override {
        Step("WriteNoticeBytes " + Narrow(key) + "|" + std::string(bytes));
    }
    void EraseNotice(std::u16string_view key) override { Step("EraseNotice " + Narrow(key)); }
    void ChangeAccessKey(const std::function<std::u16string()>& currentKey,
                         std::u16string_view newKey) override {
        log_.push_back("card selected");
        Step("ChangeAccessKey " + Narrow(currentKey()) + "->" + Narrow(newKey));
    }
    const SelectedTag& SelectedCard() const override { return selected; }
    SelectedTag IdentifyCard() override {
        Step("IdentifyCard");
        return selected;
    }

    // Call name -> what it throws instead of working.
    std::map<std::string, std::function<void()>> faults;
    bool connected = false;
    notice::NoticeContent notice{"", 750};
    SelectedTag selected{kCardTypeMifare1K, 0, {1, 2, 3, 4}, 4};

private:
    void Step(const std::string& call) {
        log_.push_back("card " + call);
        if (auto it = faults.find(call.substr(0, call.find(' '))); it != faults.end()) {
            it->second();
        }
    }
    Log& log_;
};

}  // namespace app::testing
