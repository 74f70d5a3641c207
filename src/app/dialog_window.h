#pragma once
// The window operations the main dialog's logic needs, addressed by control id.
// Each front end (Qt, Win32, the tests' recorder) implements them with the Win32
// dialog's observable behaviour as the contract:
//   - setting a text from the program raises no change notification;
//   - the multi-line notice edit hands out and counts line breaks as CR LF (2);
//   - a limit set by LimitText refuses user input beyond it, not program text;
//   - the reader list keeps itself sorted, ignoring letter case;
//   - ShowMessageBox is modal but posted monitor messages are still handled meanwhile.

#include <cstdint>
#include <string>
#include <string_view>

#include "errors/show_error.h"

class IMessagePoster;

namespace app {

class IDialogWindow : public IMessageBoxOwner {
public:
    virtual void SetText(int id, std::u16string_view text) = 0;
    // 8-bit text, decoded with the system ANSI code page (the stored notice).
    virtual void SetAnsiText(int id, std::string_view bytes) = 0;
    // The whole text; empty for a control that does not exist.
    virtual std::u16string GetText(int id) = 0;
    // Length in UTF-16 units, a line break of the notice edit counting 2.
    virtual unsigned GetTextLength(int id) = 0;
    virtual void Enable(int id, bool enable) = 0;
    // Paints the control now rather than at the next idle moment.
    virtual void Repaint(int id) = 0;
    virtual void SetFocus(int id) = 0;
    // Characters the user may enter; 0 lifts the limit.
    virtual void LimitText(int id, unsigned limit) = 0;

    virtual void ListAdd(int id, std::u16string_view text) = 0;
    // An index outside the list leaves nothing selected.
    virtual void ListSelect(int id, int index) = 0;
    // -1 when nothing is selected.
    virtual int ListSelection(int id) = 0;
    virtual std::u16string ListText(int id, int index) = 0;

    virtual void CenterWindow() = 0;
    virtual void EndDialog(int result) = 0;
    // Shows that the program is working (busy cursor) while a card command blocks
    // the window thread.
    virtual void SetBusy(bool busy) = 0;

    // Where the presence monitor posts its messages; they come back to the
    // logic's dispatch on the window thread.
    virtual IMessagePoster* MessageTarget() = 0;

protected:
    ~IDialogWindow() = default;
};

}  // namespace app
