#pragma once
// Makes the multi-line notice edit refuse what the card cannot hold, counted as
// the card counts: in bytes of the code page (two for a double-byte or a long
// UTF-8 character), a line break two, as the Qt editor does. The edit's own limit
// counts characters, and at one character below it Enter would store half a line
// break (a lone CR).

#include <windows.h>

#include <string_view>

namespace app::win32 {

class NoticeByteLimit {
public:
    NoticeByteLimit() = default;
    NoticeByteLimit(const NoticeByteLimit&) = delete;
    NoticeByteLimit& operator=(const NoticeByteLimit&) = delete;
    ~NoticeByteLimit();

    // Watches what the user types and pastes into `edit`; 0 is no limit.
    void Attach(HWND edit);
    void SetLimit(unsigned bytes) { limit_ = bytes; }

private:
    static LRESULT CALLBACK Proc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR self);
    // Whether the text with the selection replaced by `inserted` fits the card.
    bool Fits(std::u16string_view inserted) const;

    HWND edit_ = nullptr;
    unsigned limit_ = 0;
};

}  // namespace app::win32
