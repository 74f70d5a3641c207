// The PC/SC readers as an engine of the USB library: the USB variant of the ACR120
// API over any PC/SC contactless reader, port 0 being the first of the service's
// readers in the order of their names, so a reader keeps its port while the set of
// readers stays the same. Value blocks and reader registers have no standard PC/SC
// command: those calls answer "Operation failed". Every call runs under the
// library's C boundary guard (lib/c_boundary.h): a buffer that cannot grow or a
// mutex that fails is an internal error, never an exception in the program. The
// guard also holds thread cancellation off: pcsc-lite holds its own locks inside a
// call, and a thread ended there would leave them taken for the rest of the process.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lib/c_boundary.h"
#include "pcsc/pcsc_api.h"
#include "pcsc/pcsc_reader.h"
#include "reader/acr120_api.h"
#include "usb/usb_engine.h"

namespace vreader::usb {
namespace {

namespace rc = acr120::rc;
using lib::GuardCBoundary;

std::mutex gTableMutex;
std::vector<std::shared_ptr<pcsc::Reader>> gReaders;  // index = handle; null = free

// The readers the service has now, sorted by name; empty without PC/SC, a service
// or readers.
std::vector<std::string> CurrentReaders(const pcsc::Api& api) {
    SCARDCONTEXT context{};
    if (api.establishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        return {};
    }
    auto names = pcsc::ListReaderNames(api, context);
    api.releaseContext(context);
    std::sort(names.begin(), names.end());
    return names;
}

std::shared_ptr<pcsc::Reader> Find(std::int16_t handle) {
    std::lock_guard<std::mutex> hold(gTableMutex);
    if (handle < 0 || static_cast<std::size_t>(handle) >= gReaders.size()) {
        return nullptr;
    }
    return gReaders[static_cast<std::size_t>(handle)];
}

// Runs `operation` on the reader of `handle`, one caller at a time.
template <typename Operation>
std::int16_t OnReader(std::int16_t handle, Operation&& operation) {
    return GuardCBoundary([&]() -> std::int16_t {
        const auto reader = Find(handle);
        if (reader == nullptr) {
            return rc::kInvalidHandle;
        }
        std::lock_guard<std::mutex> hold(reader->Mutex());
        return operation(*reader);
    });
}

std::int16_t Unsupported(std::int16_t handle) {
    return OnReader(handle, [](pcsc::Reader&) { return rc::kOperationFailed; });
}

std::int16_t OpenReader(std::int16_t portIndex) {
    const pcsc::Api* api = pcsc::LoadApi();
    if (api == nullptr || portIndex < 0) {
        return rc::kInvalidPort;
    }
    const auto names = CurrentReaders(*api);
    if (static_cast<std::size_t>(portIndex) >= names.size()) {
        return rc::kInvalidPort;
    }
    const std::string& name = names[static_cast<std::size_t>(portIndex)];
    std::lock_guard<std::mutex> hold(gTableMutex);
    if (std::any_of(gReaders.begin(), gReaders.end(),
                    [&](const auto& reader) { return reader && reader->Name() == name; })) {
        return rc::kPortOccupied;
    }
    auto reader = std::make_shared<pcsc::Reader>(*api, name);
    auto free = std::find(gReaders.begin(), gReaders.end(), nullptr);
    if (free == gReaders.end()) {
        free = gReaders.insert(gReaders.end(), nullptr);
    }
    *free = std::move(reader);
    return static_cast<std::int16_t>(free - gReaders.begin());
}

std::int16_t ACR120_CALL Open(std::int16_t portIndex) {
    return GuardCBoundary([&] { return OpenReader(portIndex); });
}

std::int16_t CloseReader(std::int16_t handle) {
    std::shared_ptr<pcsc::Reader> reader;
    {
        std::lock_guard<std::mutex> hold(gTableMutex);
        if (handle < 0 || static_cast<std::size_t>(handle) >= gReaders.size() ||
            gReaders[static_cast<std::size_t>(handle)] == nullptr) {
            return rc::kInvalidHandle;
        }
        reader.swap(gReaders[static_cast<std::size_t>(handle)]);
    }
    // A call still running on another thread finishes before the reader goes.
    std::lock_guard<std::mutex> hold(reader->Mutex());
    return rc::kOk;
}

std::int16_t ACR120_CALL Close(std::int16_t handle) {
    return GuardCBoundary([&] { return CloseReader(handle); });
}

std::int16_t ACR120_CALL ListTags(std::int16_t handle, std::uint8_t* count, std::uint8_t* tagTypes,
                                  std::uint8_t* lengths, std::uint8_t* serials) {
    return OnReader(handle, [&](pcsc::Reader& reader) {
        return reader.ListTags(count, tagTypes, lengths, serials);
    });
}

std::int16_t ACR120_CALL MultiTagSelect(std::int16_t handle, std::uint8_t length,
                                        std::uint8_t* serial, std::uint8_t* tagTypeOut,
                                        std::uint8_t* lengthOut, std::uint8_t* serialOut) {
    return OnReader(handle, [&](pcsc::Reader& reader) {
        return reader.Select(length, serial, tagTypeOut, lengthOut, serialOut);
    });
}

std::int16_t ACR120_CALL Select(std::int16_t handle, std::uint8_t* tagType, std::uint8_t* tagLength,
                                std::uint8_t* serial) {
    return OnReader(handle, [&](pcsc::Reader& reader) {
        std::uint8_t count = 0;
        std::uint8_t types[acr120::kMaxTagTypes]{};
        std::uint8_t lengths[acr120::kUsbListMaxTags]{};
        std::uint8_t serials[acr120::kUsbListMaxTags * acr120::kSerialNumberSize]{};
        if (const auto code = reader.ListTags(&count, types, lengths, serials); code != rc::kOk) {
            return code;
        }
        if (count == 0) {
            return rc::kNoCard;
        }
        return reader.Select(lengths[0], serials, tagType, tagLength, serial);
    });
}

std::int16_t ACR120_CALL WriteMasterKey(std::int16_t handle, std::uint8_t keySlot,
                                        std::uint8_t* key) {
    return OnReader(handle, [&](pcsc::Reader& reader) { return reader.StoreKey(keySlot, key); });
}

std::int16_t ACR120_CALL Login(std::int16_t handle, std::uint8_t sector, std::uint8_t keyMode,
                               std::int32_t keySlot, std::uint8_t* key) {
    return OnReader(
        handle, [&](pcsc::Reader& reader) { return reader.Login(sector, keyMode, keySlot, key); });
}

std::int16_t ACR120_CALL Read(std::int16_t handle, std::uint8_t block, std::uint8_t* data) {
    return OnReader(handle, [&](pcsc::Reader& reader) { return reader.Read(block, data); });
}

std::int16_t ACR120_CALL Write(std::int16_t handle, std::uint8_t block, std::uint8_t* data) {
    return OnReader(handle, [&](pcsc::Reader& reader) { return reader.Write(block, data); });
}

std::int16_t ACR120_CALL ReadValue(std::int16_t handle, std::uint8_t, std::int32_t*) {
    return Unsupported(handle);
}

std::int16_t ACR120_CALL WriteValue(std::int16_t handle, std::uint8_t, std::int32_t) {
    return Unsupported(handle);
}

std::int16_t ACR120_CALL Inc(std::int16_t handle, std::uint8_t, std::int32_t, std::int32_t*) {
    return Unsupported(handle);
}

std::int16_t ACR120_CALL Dec(std::int16_t handle, std::uint8_t, std::int32_t, std::int32_t*) {
    return Unsupported(handle);
}

std::int16_t ACR120_CALL ReadEEPROM(std::int16_t handle, std::uint8_t, std::uint8_t*) {
    return Unsupported(handle);
}

std::int16_t ACR120_CALL WriteEEPROM(std::int16_t handle, std::uint8_t, std::uint8_t) {
    return Unsupported(handle);
}

std::int16_t ACR120_CALL ListPorts(std::uint8_t* portIndexes, std::uint8_t room) {
    return GuardCBoundary([&] {
        const pcsc::Api* api = pcsc::LoadApi();
        const std::size_t count = api == nullptr ? 0 : CurrentReaders(*api).size();
        for (std::size_t i = 0; i < count && i < room && portIndexes != nullptr; ++i) {
            portIndexes[i] = static_cast<std::uint8_t>(i);
        }
        return static_cast<std::int16_t>(
            std::min<std::size_t>(count, std::numeric_limits<std::int16_t>::max()));
    });
}

}  // namespace

const UsbEngine* PcscEngine() {
    static const UsbEngine engine = VREADER_USB_ENGINE_OF_CALLS_IN_SCOPE;
    return &engine;
}

}  // namespace vreader::usb
