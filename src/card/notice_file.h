#pragma once
// The notice file and the access key: the card sequences the window's Load, Save
// and Change ! commands and the command-line tool run. Each selects the card first
// and releases it last, on success and on failure alike. A card taken away at any
// reader call leaves the old, an empty or the new notice, never a mix of two.
//
// The record's layout and the text's rules are in notice_text.h.

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/acr120_base.h"

class CACR120Mifare;

namespace notice {

// Six key bytes from an access key text: its ANSI bytes padded with 0xFF.
// Fails with "Access code is too long" beyond 6 bytes, and refuses text the
// code page cannot hold.
MifareKey KeyFromText(std::u16string_view keyText);

struct NoticeContent {
    std::string storedText;  // the notice as the card holds it (ANSI bytes)
    std::uint16_t capacity;  // largest text length of this card: 750 or 3438
};

// Load.
NoticeContent ReadNotice(CACR120Mifare& card, std::u16string_view keyText);
// Save. Proves the key on every sector the record reaches before the first write.
void WriteNotice(CACR120Mifare& card, std::u16string_view keyText, std::u16string_view noticeText);
// Save of a notice already in the card's bytes: one that was checked before the
// card came, or a loaded notice written back unchanged.
void WriteNoticeBytes(CACR120Mifare& card, std::u16string_view keyText, std::string_view bytes);
// Writes zeros over the notice record's blocks, last to first, the length last; of a
// length no card can hold, only the length. Older text behind a shorter record stays.
void EraseNotice(CACR120Mifare& card, std::u16string_view keyText);

}  // namespace notice
