// Reader discovery: the naming rules over a scripted source, and the POSIX
// source over fake device trees.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "discovery/reader_discovery.h"
#include "platform/device_list.h"

namespace fs = std::filesystem;
using Names = std::vector<std::u16string>;

namespace {

Names Discover(Names ports, Names usb) {
    struct ScriptedSource final : IReaderDeviceSource {
        Names ports, usb;
        Names SerialPortNames() override { return ports; }
        Names UsbInstanceIds() override { return usb; }
    } source;
    source.ports = std::move(ports);
    source.usb = std::move(usb);
    Names readers{u"left over from an earlier call"};
    EnumReaders(readers, source);
    return readers;
}

TEST(ReaderNames, SerialPortsNeedComAndADigitFromOneToEight) {
    EXPECT_EQ(Discover({}, {}), Names{});
    EXPECT_EQ(Discover({u"COM1", u"COM3", u"COM9"}, {}), (Names{u"COM1", u"COM3"}));
    EXPECT_EQ(Discover({u"COM0", u"LPT1", u"CO", u"COMX", u"COM", u"XCOM1"}, {}), Names{});
    // Letter case is free and kept; only the first four characters matter.
    EXPECT_EQ(Discover({u"com2", u"cOm8", u"COM12"}, {}), (Names{u"com2", u"cOm8", u"COM12"}));
}

TEST(ReaderNames, Acr120UsbReadersAreNumberedDenselyAfterTheSerialPorts) {
    const Names usb{
        u"USB\\VID_046D&PID_C52B\\5&1A2B&0&1",  // another vendor
        u"USB\\VID_072F&PID_8003\\ABC123",
        u"usb\\vid_072f&pid_8003\\LOWER",  // the prefix is case-sensitive
        u"USB\\VID_072F&PID_9000\\OTHERPRODUCT",
        u"USB\\VID_072F&PID_8003",  // no instance part still matches
        u"USB\\VID_072F&PID_800",   // too short
    };
    EXPECT_EQ(Discover({u"COM2"}, usb), (Names{u"COM2", u"USB1", u"USB2"}));
}

#ifndef _WIN32
// The kernel's device tree, faked in a scratch folder. (The Win32 sources are
// tested with the platform's tests.)
class FakeDeviceTree : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("tagquill-sysfs-" + std::to_string(std::random_device()()));
    }
    void TearDown() override { fs::remove_all(root_); }

    // Writes `text` and a line end, unless `text` is empty.
    void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        if (!text.empty()) {
            std::ofstream(file) << text << '\n';
        }
    }
    void SerialPort(int n, const std::string& type, bool hasDevice = true) {
        const fs::path port = root_ / "class/tty" / ("ttyS" + std::to_string(n));
        fs::create_directories(hasDevice ? port / "device" : port);
        Write(port / "type", type);
    }
    void UsbDevice(const std::string& busPath, const std::string& vendor,
                   const std::string& product, const std::string& serial = {}) {
        const fs::path device = root_ / "bus/usb/devices" / busPath;
        Write(device / "idVendor", vendor);
        Write(device / "idProduct", product);
        Write(device / "serial", serial);
    }
    Names Discover() {
        CSystemReaderDeviceSource source(root_);
        Names readers;
        EnumReaders(readers, source);
        return readers;
    }

    fs::path root_;
};

TEST_F(FakeDeviceTree, AMissingOrEmptyTreeGivesNoNames) {
    EXPECT_EQ(Discover(), Names{});
    fs::create_directories(root_);
    EXPECT_EQ(Discover(), Names{});
}

TEST_F(FakeDeviceTree, PresentSerialPortsAndUsbDevicesAreNamed) {
    // Serial ports are named COM(n+1), in the order of their names.
    SerialPort(0, "4");
    SerialPort(11, "4");  // sorts before ttyS2 by name, not by number
    SerialPort(2, "4");
    SerialPort(8, "4");
    SerialPort(1, "0");  // the kernel's placeholder for a port that is not there
    SerialPort(3, "4", /*hasDevice=*/false);
    SerialPort(4, "");  // a driver without the type attribute
    fs::create_directories(root_ / "class/tty/ttyUSB0/device");
    fs::create_directories(root_ / "class/tty/ttySx/device");
    // USB devices give instance ids ending in their serial number, else their bus path.
    UsbDevice("usb1", "1d6b", "0002");
    UsbDevice("1-1", "072f", "8003", "ab12");
    UsbDevice("1-2", "046d", "c52b");
    UsbDevice("1-3.4", "072F", "8003");
    UsbDevice("1-4", "072f", "8003", "bad\\serial");
    fs::create_directories(root_ / "bus/usb/devices/1-1:1.0");  // an interface
    Write(root_ / "bus/usb/devices/1-5/idVendor", "zz");        // unreadable ids

    EXPECT_EQ(platform::UsbInstanceIds(root_),
              (Names{u"USB\\VID_072F&PID_8003\\ab12", u"USB\\VID_046D&PID_C52B\\1-2",
                     u"USB\\VID_072F&PID_8003\\1-3.4", u"USB\\VID_072F&PID_8003\\1-4",
                     u"USB\\VID_1D6B&PID_0002\\usb1"}));
    EXPECT_EQ(Discover(), (Names{u"COM1", u"COM3", u"COM5", u"COM12", u"USB1", u"USB2", u"USB3"}));
}
#endif

}  // namespace
