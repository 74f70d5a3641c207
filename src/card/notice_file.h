#pragma once
// The notice file and the access key: the three card sequences the window's
// Load, Save and Change ! commands run. Each selects the card first and releases
// it last, on success and on failure alike.
//
// Record at offset 0 of the data area (default block map): 2-byte length, low
// byte first, then that many bytes of text in the system ANSI code page.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "reader/acr120_base.h"

class CACR120Mifare;

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
// Save.
void WriteNotice(CACR120Mifare& card, std::u16string_view keyText, std::u16string_view noticeText);
// Change !. The current key text is asked for once the card has been selected.
void ChangeAccessKey(CACR120Mifare& card, const std::function<std::u16string()>& currentKeyText,
                     std::u16string_view newKeyText);
