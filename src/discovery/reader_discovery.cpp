#include "discovery/reader_discovery.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string_view>

#include "ascii/case_fold.h"
#include "ascii/reader_name.h"
#include "errors/atl_exception.h"
#include "platform/device_list.h"
#include "reader/acr120_api.h"
#include "reader/acr120_dll.h"
#include "reader/acr120u_dll.h"

namespace {

// The ACR120 USB reader: the reader maker's vendor id and the reader's product.
constexpr std::u16string_view kAcr120UsbPrefix = u"USB\\VID_072F&PID_8003";

// Only the first four characters decide: longer names (COM12) are listed
// although the connection will refuse them, so the user sees the port exists.
bool IsUsableSerialPort(std::u16string_view name) {
    const auto parsed = ascii::ParseReaderName(name.substr(0, 4));
    return parsed && parsed->kind == ascii::ReaderKind::Serial;
}

bool IsAcr120UsbReader(std::u16string_view instanceId) {
    return instanceId.substr(0, kAcr120UsbPrefix.size()) == kAcr120UsbPrefix;
}

// The connection opens ports 1 to 8 of either kind, and nothing else.
constexpr int kPortCount = ascii::kMaxReaderNumber;

// Appends the names `readers` does not hold yet, in any letter case.
void AddMissing(std::vector<std::u16string>& readers, const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
        if (std::none_of(readers.begin(), readers.end(), [&](const std::u16string& listed) {
                return ascii::EqualIgnoringCase(listed, name);
            })) {
            readers.push_back(name);
        }
    }
}

std::u16string Numbered(ascii::ReaderKind kind, int number) {
    const std::string name = ascii::ReaderNameText({kind, number});
    return std::u16string(name.begin(), name.end());
}

std::vector<std::u16string> PortsServedBy(const std::filesystem::path& file,
                                          ascii::ReaderKind kind) {
    const platform::LibraryHandle library = platform::LoadLibraryFile(file);
    if (library == nullptr) {
        return {};
    }
    std::vector<std::u16string> names;
    // Function pointers of different types convert only this way.
    const auto listPorts =
        reinterpret_cast<acr120::ListPorts>(platform::FindProc(library, acr120::kListPortsName));
    if (listPorts != nullptr) {
        std::uint8_t indexes[kPortCount] = {};
        const std::int16_t served = listPorts(indexes, kPortCount);
        for (int i = 0; i < std::min<int>(served, kPortCount); ++i) {
            if (indexes[i] < kPortCount) {
                names.push_back(Numbered(kind, indexes[i] + 1));
            }
        }
    }
    platform::FreeLibraryFile(library);
    return names;
}

}  // namespace

LibraryReaderNames ServedReaderNames(const platform::ModuleRef& libraries) {
    return LibraryReaderNames{
        PortsServedBy(platform::LibraryPathBeside(libraries, CACR120Dll::FileName()),
                      ascii::ReaderKind::Serial),
        PortsServedBy(platform::LibraryPathBeside(libraries, CACR120UDll::FileName()),
                      ascii::ReaderKind::Usb)};
}

CSystemReaderDeviceSource::CSystemReaderDeviceSource() : root_(platform::DefaultDeviceTreeRoot()) {}

std::vector<std::u16string> CSystemReaderDeviceSource::SerialPortNames() {
    return platform::SerialPortNames(root_);
}

std::vector<std::u16string> CSystemReaderDeviceSource::UsbInstanceIds() {
    return platform::UsbInstanceIds(root_);
}

namespace {

void EnumReadersFrom(std::vector<std::u16string>& readers, IReaderDeviceSource& source,
                     const platform::ModuleRef* libraries) {
    readers.clear();
    try {
        const LibraryReaderNames served =
            libraries != nullptr ? ServedReaderNames(*libraries) : LibraryReaderNames{};
        for (const std::u16string& port : source.SerialPortNames()) {
            if (IsUsableSerialPort(port)) {
                readers.push_back(port);
            }
        }
        AddMissing(readers, served.serial);
        // Numbered densely: USBn is the n-th ACR120 reader, whatever else is
        // plugged in between.
        int number = 1;
        for (const std::u16string& id : source.UsbInstanceIds()) {
            if (IsAcr120UsbReader(id)) {
                readers.push_back(Numbered(ascii::ReaderKind::Usb, number++));
            }
        }
        AddMissing(readers, served.usb);
    } catch (const std::bad_alloc&) {
        AtlThrow(kEOutOfMemory);
    }
}

}  // namespace

void EnumReaders(std::vector<std::u16string>& readers) {
    CSystemReaderDeviceSource source;
    EnumReaders(readers, source, platform::ProgramModule());
}

void EnumReaders(std::vector<std::u16string>& readers, IReaderDeviceSource& source) {
    EnumReadersFrom(readers, source, nullptr);
}

void EnumReaders(std::vector<std::u16string>& readers, IReaderDeviceSource& source,
                 const platform::ModuleRef& libraries) {
    EnumReadersFrom(readers, source, &libraries);
}
