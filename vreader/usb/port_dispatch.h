#pragma once
// One USB numbering over the engines of the library. The virtual readers keep the
// numbers of their folders (USB1 is port 0); the PC/SC readers follow on the
// numbers after the highest virtual one, up to USB8, so a virtual reader added in
// a gap renames none of them. Handles are the library's own: each call goes to the
// engine that opened the reader, with that engine's handle.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "usb/usb_engine.h"

namespace vreader::usb {

inline constexpr int kPortCount = 8;

// The engines that serve ports now; either may be null.
struct Engines {
    const UsbEngine* virtualReaders;
    const UsbEngine* pcscReaders;
};

class PortDispatch {
public:
    std::int16_t ListPorts(const Engines& engines, std::uint8_t* portIndexes, std::uint8_t room);
    std::int16_t Open(const Engines& engines, std::int16_t portIndex);
    std::int16_t Close(std::int16_t handle);

    // The engine's call for an open handle, given that engine's handle.
    template <typename Function, typename... Args>
    std::int16_t Call(std::int16_t handle, Function UsbEngine::*function, Args... args) {
        const auto target = Find(handle);
        if (!target) {
            return acr120::rc::kInvalidHandle;
        }
        return (target->engine->*function)(target->handle, args...);
    }

private:
    struct Target {
        const UsbEngine* engine;
        std::int16_t handle;
        bool closing = false;
    };

    std::optional<Target> Find(std::int16_t handle);

    std::mutex mutex_;
    std::map<std::int16_t, Target> targets_;
};

}  // namespace vreader::usb
