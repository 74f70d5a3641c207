#pragma once
// What the presence monitor remembers of the field between two listings, and the
// messages a new listing gives against it: a card came, went, or the cards changed
// (another card, one more, one less), which the window hears as "gone" then "present".

#include <array>
#include <cstddef>
#include <cstdint>

#include "reader/reader_port.h"

class CFieldSnapshot {
public:
    // wParam of the monitor message.
    static constexpr std::uintptr_t kCardGone = 0;
    static constexpr std::uintptr_t CardPresent(std::uint16_t cardType) {
        return (static_cast<std::uintptr_t>(cardType) << 16) | 1u;
    }

    // At most "gone" then "present".
    struct Messages {
        std::array<std::uintptr_t, 2> wParams{};
        std::size_t count = 0;
    };

    // The messages `listing` gives; it becomes the remembered field.
    Messages Update(const TagListing& listing);

private:
    std::uint8_t count_ = 0;
    std::array<std::uint8_t, TagListing::kSerialRoom> serials_{};
};
