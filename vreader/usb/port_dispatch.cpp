#include "usb/port_dispatch.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

namespace vreader::usb {

namespace rc = acr120::rc;

namespace {

// The virtual readers' ports, and the first port of the PC/SC readers after them.
struct VirtualPorts {
    std::vector<std::int16_t> ports;
    std::int16_t pcscBase = 0;
};

VirtualPorts ListVirtual(const UsbEngine* engine) {
    VirtualPorts result;
    if (engine == nullptr) {
        return result;
    }
    std::array<std::uint8_t, kPortCount> indexes{};
    const int count = std::min<int>(engine->listPorts(indexes.data(), kPortCount), kPortCount);
    for (int i = 0; i < count; ++i) {
        if (indexes[i] < kPortCount) {
            result.ports.push_back(indexes[i]);
        }
    }
    if (!result.ports.empty()) {
        result.pcscBase = static_cast<std::int16_t>(
            *std::max_element(result.ports.begin(), result.ports.end()) + 1);
    }
    return result;
}

}  // namespace

std::int16_t PortDispatch::ListPorts(const Engines& engines, std::uint8_t* portIndexes,
                                     std::uint8_t room) {
    if (portIndexes == nullptr && room != 0) {
        return rc::kInvalidParameter;
    }
    try {
        VirtualPorts listed = ListVirtual(engines.virtualReaders);
        if (engines.pcscReaders != nullptr) {
            const int pcsc = std::max<int>(engines.pcscReaders->listPorts(nullptr, 0), 0);
            for (int port = listed.pcscBase; port < listed.pcscBase + pcsc && port < kPortCount;
                 ++port) {
                listed.ports.push_back(static_cast<std::int16_t>(port));
            }
        }
        const std::size_t written = std::min<std::size_t>(listed.ports.size(), room);
        std::copy_n(listed.ports.begin(), written, portIndexes);
        return static_cast<std::int16_t>(listed.ports.size());
    } catch (const std::bad_alloc&) {
        return rc::kInternalError;
    }
}

std::int16_t PortDispatch::Open(const Engines& engines, std::int16_t portIndex) {
    if (portIndex < 0 || portIndex >= kPortCount) {
        return rc::kInvalidPort;
    }
    try {
        const VirtualPorts listed = ListVirtual(engines.virtualReaders);
        Target target{nullptr, rc::kInvalidPort};
        if (std::find(listed.ports.begin(), listed.ports.end(), portIndex) != listed.ports.end()) {
            target.engine = engines.virtualReaders;
            target.handle = target.engine->open(portIndex);
        } else if (engines.pcscReaders != nullptr && portIndex >= listed.pcscBase) {
            target.engine = engines.pcscReaders;
            target.handle =
                target.engine->open(static_cast<std::int16_t>(portIndex - listed.pcscBase));
        }
        if (target.handle < 0) {
            return target.handle;
        }
        std::lock_guard<std::mutex> hold(mutex_);
        std::int16_t handle = 0;
        while (targets_.count(handle) != 0) {
            ++handle;
        }
        try {
            targets_.emplace(handle, target);
        } catch (const std::bad_alloc&) {
            target.engine->close(target.handle);  // no handle to give out: the reader is free again
            return rc::kInternalError;
        }
        return handle;
    } catch (const std::bad_alloc&) {
        return rc::kInternalError;
    }
}

std::int16_t PortDispatch::Close(std::int16_t handle) {
    Target target{};
    {
        std::lock_guard<std::mutex> hold(mutex_);
        const auto found = targets_.find(handle);
        if (found == targets_.end() || found->second.closing) {
            return rc::kInvalidHandle;
        }
        // A second Close meanwhile must not reach an engine handle given out again.
        found->second.closing = true;
        target = found->second;
    }
    const std::int16_t result = target.engine->close(target.handle);
    std::lock_guard<std::mutex> hold(mutex_);
    if (result == rc::kOk) {
        targets_.erase(handle);
    } else {
        targets_[handle].closing = false;
    }
    return result;
}

std::optional<PortDispatch::Target> PortDispatch::Find(std::int16_t handle) {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto found = targets_.find(handle);
    if (found == targets_.end() || found->second.closing) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace vreader::usb
