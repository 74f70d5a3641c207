#pragma once
// The reader names offered in the window's reader list: serial ports whose name
// the reader connection can open ("COM1".."COM8", any letter case, listed as
// the system spells them), then "USB1", "USB2" ... for each ACR120 USB reader.
// Our own reader libraries (not the maker's) also say which ports they serve;
// those are added, each serial one after the system's serial ports and each
// USB one after the system's USB readers, unless the system named it already.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/library.h"

// What discovery asks the system. Both lists come in the system's order.
class IReaderDeviceSource {
public:
    virtual std::vector<std::u16string> SerialPortNames() = 0;
    // Device instance identifiers: "USB\VID_vvvv&PID_pppp\<instance>".
    virtual std::vector<std::u16string> UsbInstanceIds() = 0;

protected:
    ~IReaderDeviceSource() = default;
};

// The running system's devices, described under `root` (tests pass a fake tree).
class CSystemReaderDeviceSource final : public IReaderDeviceSource {
public:
    CSystemReaderDeviceSource();
    explicit CSystemReaderDeviceSource(std::filesystem::path root) : root_(std::move(root)) {}

    std::vector<std::u16string> SerialPortNames() override;
    std::vector<std::u16string> UsbInstanceIds() override;

private:
    std::filesystem::path root_;
};

// Empties `readers` and fills it. Only running out of memory fails
// (CAtlException 0x8007000E); a source that cannot be read adds no names.
void EnumReaders(std::vector<std::u16string>& readers);
// The system's names alone.
void EnumReaders(std::vector<std::u16string>& readers, IReaderDeviceSource& source);
// With the ports the reader libraries beside `libraries` serve.
void EnumReaders(std::vector<std::u16string>& readers, IReaderDeviceSource& source,
                 const platform::ModuleRef& libraries);

struct LibraryReaderNames {
    std::vector<std::u16string> serial;  // "COM1".."COM8"
    std::vector<std::u16string> usb;     // "USB1".."USB8"
};
// Asks the serial and the USB reader library beside `libraries` for the ports
// they serve. A library that is missing, cannot be loaded or lacks the export
// (the maker's) adds nothing; neither does one that reports a failure.
LibraryReaderNames ServedReaderNames(const platform::ModuleRef& libraries);
