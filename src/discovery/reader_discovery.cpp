#include "discovery/reader_discovery.h"

#include <new>
#include <string_view>

#include "errors/atl_exception.h"
#include "platform/device_list.h"

namespace {

// The ACR120 USB reader: the reader maker's vendor id and the reader's product.
constexpr std::u16string_view kAcr120UsbPrefix = u"USB\\VID_072F&PID_8003";

bool IsAsciiCaseInsensitiveEqual(char16_t a, char16_t b) {
    const auto lower = [](char16_t c) -> char16_t {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    return lower(a) == lower(b);
}

// Only the first four characters decide: longer names (COM12) are listed
// although the connection will refuse them, so the user sees the port exists.
bool IsUsableSerialPort(std::u16string_view name) {
    return name.size() >= 4 && IsAsciiCaseInsensitiveEqual(name[0], u'C') &&
           IsAsciiCaseInsensitiveEqual(name[1], u'O') &&
           IsAsciiCaseInsensitiveEqual(name[2], u'M') && name[3] >= u'1' && name[3] <= u'8';
}

bool IsAcr120UsbReader(std::u16string_view instanceId) {
    return instanceId.substr(0, kAcr120UsbPrefix.size()) == kAcr120UsbPrefix;
}

}  // namespace

CSystemReaderDeviceSource::CSystemReaderDeviceSource() : root_(platform::DefaultDeviceTreeRoot()) {}

std::vector<std::u16string> CSystemReaderDeviceSource::SerialPortNames() {
    return platform::SerialPortNames(root_);
}

std::vector<std::u16string> CSystemReaderDeviceSource::UsbInstanceIds() {
    return platform::UsbInstanceIds(root_);
}

void EnumReaders(std::vector<std::u16string>& readers) {
    CSystemReaderDeviceSource source;
    EnumReaders(readers, source);
}

void EnumReaders(std::vector<std::u16string>& readers, IReaderDeviceSource& source) {
    readers.clear();
    try {
        for (const std::u16string& port : source.SerialPortNames()) {
            if (IsUsableSerialPort(port)) {
                readers.push_back(port);
            }
        }
        // Numbered densely: USBn is the n-th ACR120 reader, whatever else is
        // plugged in between.
        unsigned number = 1;
        for (const std::u16string& id : source.UsbInstanceIds()) {
            if (IsAcr120UsbReader(id)) {
                const std::string name = "USB" + std::to_string(number++);
                readers.emplace_back(name.begin(), name.end());
            }
        }
    } catch (const std::bad_alloc&) {
        AtlThrow(kEOutOfMemory);
    }
}
