#pragma once
// The two questions reader discovery asks the system: which serial ports exist,
// and which USB devices are present. The answers come in the Windows forms the
// naming rules expect: port names like "COM1", and device instance identifiers
// like "USB\VID_072F&PID_8003\<instance>".

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// Where the system describes its devices (POSIX: "/sys"). Tests pass a fake tree.
std::filesystem::path DefaultDeviceTreeRoot();

// Serial ports in port order. POSIX: each kernel ttyS<n> port backed by real
// hardware is named COM<n+1>, as Wine names it, so a name means the same port in
// both builds.
std::vector<std::u16string> SerialPortNames(const std::filesystem::path& root);

// Instance identifiers of the USB devices present, in a stable order. POSIX:
// from idVendor and idProduct, with the device's serial number as instance
// part, else its bus path.
std::vector<std::u16string> UsbInstanceIds(const std::filesystem::path& root);

}  // namespace platform
