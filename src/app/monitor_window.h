#pragma once
// The dialog's message handling, split as the window classes are: a dialog base
// that any front end drives with window messages, and a layer that turns the
// presence monitor's message into two virtual card events.

#include <cstdint>

namespace app {

class CDialogProc {
public:
    virtual ~CDialogProc() = default;
    // Handles one window message; false leaves it to the toolkit's default
    // processing. `result` is what the message returns when handled.
    virtual bool ProcessWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                      std::intptr_t lParam, std::intptr_t& result) = 0;
};

// The end of the chain of message handlers: a message that no class above it
// handles is left to the toolkit's default processing.
class MsgChainEnd : public CDialogProc {
public:
    bool ProcessWindowMessage(std::uint32_t /*message*/, std::uintptr_t /*wParam*/,
                              std::intptr_t /*lParam*/, std::intptr_t& /*result*/) override {
        return false;
    }
};

template <std::uint32_t MonitorMessage>
class CMonitorWindow : public MsgChainEnd {
public:
    static constexpr std::uint32_t kMessage = MonitorMessage;

    virtual void OnCardPresent(std::uint16_t cardType) = 0;
    virtual void OnCardRemoved() = 0;

protected:
    // wParam: 0 when the field emptied; card type * 65536 + 1 for a card.
    bool ProcessMonitorMessage(std::uint32_t message, std::uintptr_t wParam) {
        if (message != MonitorMessage) {
            return false;
        }
        if ((wParam & 0xFF) != 0) {
            OnCardPresent(static_cast<std::uint16_t>((wParam >> 16) & 0xFFFF));
        } else {
            OnCardRemoved();
        }
        return true;
    }
};

}  // namespace app
