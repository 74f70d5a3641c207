#pragma once
// The access key change: the card sequence the window's Change ! command and the
// command-line tool run. It selects the card first and releases it last.

#include <functional>
#include <string>
#include <string_view>

class CACR120Mifare;

namespace notice {

// Change !. The current key text is asked for once the card has been selected.
// Each sector may open with the current or the new key, so running the same change
// again finishes one that was cut short; once the card may hold both keys, a failure
// says so and why (CKeyChangeInterrupted). The notice record is erased in each
// sector before that sector's key changes; a card wholly on the new key is never
// written: done if its notice is empty, refused as the current key's login otherwise.
void ChangeAccessKey(CACR120Mifare& card, const std::function<std::u16string()>& currentKeyText,
                     std::u16string_view newKeyText);

}  // namespace notice
