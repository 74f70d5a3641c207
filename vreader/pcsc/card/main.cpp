// tagquill-vpcd-card IMAGE [PORT] [--leave-at N [--back-after MS]]: lays the card
// image in the field of the vpcd reader until Enter is pressed, then writes the
// card back to the file. With --leave-at the card leaves the field at the Nth
// command APDU (carried out, never answered); with --back-after it comes back MS
// milliseconds later, as it was left, and stays until Enter; without, the program
// writes the card back and ends as soon as it has left.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "pcsc/card/vpcd_card.h"

namespace {

int Usage() {
    std::cerr << "usage: tagquill-vpcd-card IMAGE [PORT] [--leave-at N [--back-after MS]]\n";
    return 2;
}

std::optional<int> Number(const std::string& text, int lowest, int highest) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < lowest || value > highest) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> imageFile;
    std::optional<int> port;
    std::optional<int> leaveAt;
    std::optional<int> backAfter;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--leave-at" || arg == "--back-after") && i + 1 < argc) {
            const auto value = Number(argv[++i], arg == "--leave-at" ? 1 : 0, 3600000);
            if (!value) {
                return Usage();
            }
            (arg == "--leave-at" ? leaveAt : backAfter) = value;
        } else if (!imageFile) {
            imageFile = arg;
        } else if (!port) {
            port = Number(arg, 1, 65535);
            if (!port) {
                return Usage();
            }
        } else {
            return Usage();
        }
    }
    if (!imageFile || (backAfter && !leaveAt)) {
        return Usage();
    }
    std::ifstream in(*imageFile, std::ios::binary);
    const vpcd::Bytes image{std::istreambuf_iterator<char>(in), {}};
    if (image.size() != 1024 && image.size() != 4096) {
        std::cerr << *imageFile << ": not a 1K or 4K card image\n";
        return 5;
    }
    vpcd::VpcdCard card(static_cast<std::uint16_t>(port.value_or(vpcd::kDefaultPort)));
    card.Place(image);
    if (leaveAt) {
        card.LeaveAtCommand(*leaveAt);
    }
    std::cout << "The card is in the vpcd reader's field; press Enter to take it away.\n";
    if (leaveAt) {
        card.WaitUntilGone();
        std::cout << "The card left the field at command APDU " << *leaveAt << ".\n";
        if (backAfter) {
            std::this_thread::sleep_for(std::chrono::milliseconds(*backAfter));
            card.Place(card.Image());
            std::cout << "The card is back; press Enter to take it away.\n";
        }
    }
    if (!leaveAt || backAfter) {
        std::string line;
        std::getline(std::cin, line);
        card.TakeAway();
    }
    const vpcd::Bytes written = card.Image();
    std::ofstream out(*imageFile, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(written.data()),
              static_cast<std::streamsize>(written.size()));
    return out ? 0 : 1;
}
