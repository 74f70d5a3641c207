#include "platform/device_list.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "ascii/case_fold.h"
#include "ascii/hex.h"
#include "platform/code_page.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

// First line of a sysfs attribute, without surrounding blanks.
std::optional<std::string> ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!line.empty() && blank(static_cast<unsigned char>(line.back()))) {
        line.pop_back();
    }
    const auto first = std::find_if_not(
        line.begin(), line.end(), [&](char c) { return blank(static_cast<unsigned char>(c)); });
    line.erase(line.begin(), first);
    return line;
}

std::optional<unsigned> ParsePortNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 4) {
        return std::nullopt;
    }
    unsigned number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

// Four hex digits, as the instance identifier spells them (upper case).
std::optional<std::string> UsbId(const fs::path& file) {
    std::optional<std::string> text = ReadAttribute(file);
    if (!text || text->size() != 4 || !std::all_of(text->begin(), text->end(), ascii::IsHexDigit)) {
        return std::nullopt;
    }
    return ascii::Upper(*text);
}

// A serial number may hold characters that would cut the identifier apart.
bool IsUsableInstance(const std::string& instance) {
    return !instance.empty() && std::all_of(instance.begin(), instance.end(), [](unsigned char c) {
        return c > 0x20 && c < 0x7F && c != '\\';
    });
}

}  // namespace

fs::path DefaultDeviceTreeRoot() {
    return "/sys";
}

std::vector<std::u16string> SerialPortNames(const fs::path& root) {
    std::vector<std::pair<unsigned, std::u16string>> ports;
    std::error_code error;
    for (fs::directory_iterator it(root / "class" / "tty", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("ttyS", 0) != 0) {
            continue;
        }
        const std::optional<unsigned> number = ParsePortNumber(std::string_view(name).substr(4));
        if (!number) {
            continue;
        }
        // The kernel keeps ttyS entries for ports that are not there; those
        // have no device, or a port type of 0 (unknown).
        std::error_code ignored;
        if (!fs::exists(it->path() / "device", ignored)) {
            continue;
        }
        if (std::optional<std::string> type = ReadAttribute(it->path() / "type");
            type && *type == "0") {
            continue;
        }
        ports.emplace_back(*number, AsciiToUtf16("COM" + std::to_string(*number + 1)));
    }
    std::sort(ports.begin(), ports.end());
    std::vector<std::u16string> names;
    names.reserve(ports.size());
    for (auto& port : ports) {
        names.push_back(std::move(port.second));
    }
    return names;
}

std::vector<std::u16string> UsbInstanceIds(const fs::path& root) {
    std::vector<std::string> devices;
    std::error_code error;
    for (fs::directory_iterator it(root / "bus" / "usb" / "devices", error), end;
         !error && it != end; it.increment(error)) {
        devices.push_back(it->path().filename().string());
    }
    // Directory order is arbitrary; bus paths give every start the same order.
    std::sort(devices.begin(), devices.end());

    std::vector<std::u16string> ids;
    for (const std::string& device : devices) {
        const fs::path folder = root / "bus" / "usb" / "devices" / device;
        const std::optional<std::string> vendor = UsbId(folder / "idVendor");
        const std::optional<std::string> product = UsbId(folder / "idProduct");
        if (!vendor || !product) {
            continue;  // an interface, not a device
        }
        std::string instance = ReadAttribute(folder / "serial").value_or(std::string());
        if (!IsUsableInstance(instance)) {
            instance = device;
        }
        ids.push_back(AsciiToUtf16("USB\\VID_" + *vendor + "&PID_" + *product + "\\" + instance));
    }
    return ids;
}

}  // namespace platform
