// A reader's folder as a user or another program may leave it: any station, eeprom, keys
// and faults file, and card files of any name and size. The readers never fail on them:
// a station is a number or the default, memory files are used only at their size, a
// fault read back is the same fault written again, and the listing holds exactly the
// card files, in name order.
//
// Input: parts separated by "\n--\n": station, eeprom, keys, faults, then card files as
// "name\n" followed by the image.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/mifare.h"
#include "core/state.h"

namespace {

namespace fs = std::filesystem;
namespace state = vreader::state;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "state folder: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> Parts(const std::string& input) {
    static const std::string kSeparator = "\n--\n";
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t next; (next = input.find(kSeparator, at)) != std::string::npos;
         at = next + kSeparator.size()) {
        parts.push_back(input.substr(at, next - at));
    }
    parts.push_back(input.substr(at));
    return parts;
}

void Put(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

const fs::path& Folder() {
    static const fs::path folder = [] {
        const fs::path shm = "/dev/shm";
        const fs::path base = fs::is_directory(shm) ? shm : fs::temp_directory_path();
        return base / ("tagquill-fuzz-state-" + std::to_string(::getpid()));
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& dir = Folder();
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::vector<std::string> parts =
        Parts(std::string(reinterpret_cast<const char*>(data), size));
    const char* files[] = {state::kStationFile, state::kEepromFile, state::kKeysFile,
                           state::kFaultsFile};
    for (std::size_t i = 0; i < 4 && i < parts.size(); ++i) {
        Put(dir / files[i], parts[i]);
    }
    std::vector<std::string> cardNames;
    for (std::size_t i = 4; i < parts.size(); ++i) {
        const auto newline = parts[i].find('\n');
        const std::string name = parts[i].substr(0, newline);
        // Only names a file system can hold, each once.
        constexpr std::size_t kLongestName = 200;
        if (newline == std::string::npos || name.empty() || name.size() > kLongestName ||
            name.find_first_of(std::string("/\0", 2)) != std::string::npos || name == "." ||
            name == ".." || fs::exists(dir / name)) {
            continue;
        }
        const std::string image = parts[i].substr(newline + 1);
        Put(dir / name, image);
        if (fs::is_regular_file(dir / name) && state::IsCardFileName(name) &&
            vreader::card_model::TagTypeOfSize(image.size()) != 0) {
            cardNames.push_back(name);
        }
    }

    (void)state::ReadStation(dir);
    const auto eeprom = state::ReadEeprom(dir);
    Check(parts.size() < 2 || parts[1].size() != eeprom.size() ||
              std::equal(eeprom.begin(), eeprom.end(), parts[1].begin(),
                         [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }),
          "an eeprom file of 256 bytes not taken as it is");
    (void)state::ReadKeys(dir);

    const std::vector<state::Fault> faults = state::ReadFaults(dir);
    for (const state::Fault& fault : faults) {
        const std::string line = state::FormatFault(fault);
        const auto again = state::ParseFault(line);
        Check(again && state::FormatFault(*again) == line, "a fault does not read back");
    }
    Check(state::WriteFaults(dir, faults), "the faults cannot be written back");
    Check(state::ReadFaults(dir).size() == faults.size(), "faults lost on the way back");

    std::sort(cardNames.begin(), cardNames.end());
    std::vector<std::string> listed;
    for (const auto& card : state::ListCards(dir)) {
        listed.push_back(card.name);
    }
    Check(listed == cardNames, "the listing is not the card files in name order");
    return 0;
}
