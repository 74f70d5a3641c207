#include "platform/device_list.h"

#include "platform/win32/steps.h"

namespace platform {

namespace {

constexpr DWORD kValueNameUnits = 128;
constexpr DWORD kValueDataBytes = 16;
constexpr DWORD kInstanceIdUnits = 256;

std::u16string FromWide(const wchar_t* text, std::size_t maxUnits) {
    std::u16string result;
    for (std::size_t i = 0; i < maxUnits && text[i] != L'\0'; ++i) {
        result.push_back(static_cast<char16_t>(text[i]));
    }
    return result;
}

}  // namespace

std::filesystem::path DefaultDeviceTreeRoot() {
    // The registry and the device setup interface take no root.
    return {};
}

std::vector<std::u16string> SerialPortNames(const std::filesystem::path&) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<std::u16string> names = win32::PortNamesInKey(key);
    RegCloseKey(key);
    return names;
}

std::vector<std::u16string> UsbInstanceIds(const std::filesystem::path&) {
    HDEVINFO devices =
        SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::vector<std::u16string> ids = win32::InstanceIdsInSet(devices);
    SetupDiDestroyDeviceInfoList(devices);
    return ids;
}

namespace win32 {

std::vector<std::u16string> PortNamesInKey(HKEY key) {
    std::vector<std::u16string> names;
    // A value that does not fit the buffers ends the listing: the system's
    // port names are short, and a longer one is no reader's.
    for (DWORD index = 0;; ++index) {
        wchar_t name[kValueNameUnits];
        wchar_t data[kValueDataBytes / sizeof(wchar_t)];
        DWORD nameUnits = kValueNameUnits;
        DWORD dataBytes = kValueDataBytes;
        if (RegEnumValueW(key, index, name, &nameUnits, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(data), &dataBytes) != ERROR_SUCCESS) {
            break;
        }
        names.push_back(FromWide(data, dataBytes / sizeof(wchar_t)));
    }
    return names;
}

std::vector<std::u16string> InstanceIdsInSet(HDEVINFO devices) {
    std::vector<std::u16string> ids;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        wchar_t id[kInstanceIdUnits];
        if (SetupDiGetDeviceInstanceIdW(devices, &device, id, kInstanceIdUnits, nullptr)) {
            ids.push_back(FromWide(id, kInstanceIdUnits));
        }
    }
    return ids;
}

}  // namespace win32

}  // namespace platform
