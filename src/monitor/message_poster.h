#pragma once
// How the presence monitor reaches the window: a posted (never sent) message.
// Windows implements it with PostMessageW, the Qt front end with
// QCoreApplication::postEvent, tests with a recorder. Post may be called from
// any thread and must not block on the window.

#include <cstdint>

class IMessagePoster {
public:
    virtual void Post(std::uint32_t message, std::uintptr_t wParam) = 0;

protected:
    ~IMessagePoster() = default;
};

// The monitor message: wParam 0 when the field became empty, card type * 65536 + 1
// when a card is in it.
inline constexpr std::uint32_t kMonitorMessage = 0x80A5;
