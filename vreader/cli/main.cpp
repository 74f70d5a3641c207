// tagquill-vreader: creates virtual readers and cards, places cards in readers' fields
// and takes them away, shows and converts card images, and sets the faults the virtual
// reader libraries act out.

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "control/card_formats.h"
#include "control/virtual_field.h"
#include "core/mifare.h"
#include "core/state.h"

namespace {

namespace fs = std::filesystem;
using vreader::Bytes;
using vreader::ControlError;
using vreader::ErrorKind;

// Exit codes, for scripts.
enum Exit {
    kOk = 0,
    kFailure = 1,      // the file system refused
    kUsage = 2,        // unknown command or option, missing arguments
    kBadArgument = 3,  // a value that does not parse (UID hex, function name, number)
    kNotFound = 4,     // no such reader or card
    kBadImage = 5,     // an image of no card's size
    kBadFormat = 6,    // a dump whose text cannot be read
    kExists = 7,       // the reader or card is there already
};

constexpr const char* kUsageText = R"(Usage: tagquill-vreader [--dir FOLDER] COMMAND [ARGUMENTS]

The virtual reader keeps its readers and cards in a state folder: --dir, else
$TAGQUILL_VREADER_DIR, else $XDG_STATE_HOME/tagquill/vreader (~/.local/state/...).

Readers
  init                          create the state folder with readers COM1 and USB1
  add-reader READER [--station N]
                                create a reader: COM1..COM8 or USB1..USB8
  remove-reader READER          delete a reader and the cards in its field
  list                          readers, the cards in their fields, and the cards
                                lying outside every field

Cards
  new-card 1k|4k|7b [--uid HEX] [--name NAME] [--reader READER | --out FILE]
                                make a blank card in the transport configuration
                                (keys FFFFFFFFFFFF, access bytes FF078069); it goes
                                to the cards folder, into READER's field, or to FILE
  place CARD READER [--name NAME]
                                put a card into READER's field: a card of the cards
                                folder moves there; a file elsewhere (.mfd, .bin,
                                .dump, .eml, .json, .mct) is copied in as a raw image
  remove READER [CARD]          take CARD (else every card) out of READER's field
                                into the cards folder
  show CARD                     print an image as sectors: keys, access conditions,
                                data in hex and text. CARD is READER/NAME, a name in
                                the cards folder, or a file
  convert IN OUT [--from FMT] [--to FMT]
                                convert between raw (.mfd/.bin/.dump), eml, json
                                (Proxmark3 "mfc v2") and mct; FMT is raw, eml,
                                json or mct when the extension does not tell

Faults (FUNCTION is an exported name such as ListTag, ListTags, Login, Read, or *)
  fault READER fail FUNCTION N CODE [TIMES]
                                the Nth call of FUNCTION from now returns CODE, and
                                so do TIMES-1 more (TIMES 0: all that follow)
  fault READER remove FUNCTION N
                                after the Nth call of FUNCTION the card leaves the field
  fault READER block FUNCTION   calls of FUNCTION wait until released
  fault READER release FUNCTION
  fault READER tags COUNT       listings report COUNT tags
  fault READER type-flag-zero [on|off]
  fault READER station-count-zero [on|off]
  fault READER clear            remove every fault and the latency
  latency READER MS             every call takes at least MS milliseconds
  faults READER                 print the reader's faults
  log READER [--clear]          print (or clear) the reader's call log

Exit codes: 0 done, 1 file system error, 2 usage, 3 bad value, 4 no such reader or
card, 5 wrong image size, 6 unreadable dump file, 7 already exists.
)";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Arguments after the command: positionals and --options (with a value each).
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;

    const std::string& At(std::size_t i, const char* what) const {
        if (i >= positional.size()) {
            throw UsageError(std::string("missing ") + what);
        }
        return positional[i];
    }
    std::optional<std::string> Option(const std::string& name) const {
        auto it = options.find(name);
        return it == options.end() ? std::nullopt : std::optional(it->second);
    }
    void Allow(std::size_t maxPositional, std::initializer_list<const char*> names) const {
        if (positional.size() > maxPositional) {
            throw UsageError("unexpected argument '" + positional[maxPositional] + "'");
        }
        for (const auto& [name, value] : options) {
            bool known = false;
            for (const char* allowed : names) {
                known = known || name == allowed;
            }
            if (!known) {
                throw UsageError("unknown option --" + name);
            }
        }
    }
};

[[noreturn]] void BadValue(const std::string& message) {
    throw ControlError(ErrorKind::kBadArgument, message);
}

long Number(const std::string& text, long low, long high, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        BadValue(std::string(what) + " must be a number " + std::to_string(low) + ".." +
                 std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

Bytes HexArgument(const std::string& text, const char* what) {
    std::string digits;
    for (char c : text) {
        if (c == ':' || c == ' ' || c == '-') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            BadValue(std::string(what) + ": '" + std::string(1, c) + "' is not a hex digit");
        }
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        BadValue(std::string(what) + " needs whole bytes in hex, not '" + text + "'");
    }
    Bytes out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string Reader(const vreader::VirtualField& field, const std::string& name) {
    auto canonical = vreader::state::CanonicalReaderName(name);
    if (!canonical) {
        BadValue("'" + name + "' is no reader name (COM1..COM8 or USB1..USB8)");
    }
    if (!field.HasReader(*canonical)) {
        throw ControlError(ErrorKind::kNotFound,
                           "no reader " + *canonical + " in " + field.Dir().string() +
                               " (create it with: tagquill-vreader add-reader " + *canonical + ")");
    }
    return *canonical;
}

std::string Hex(const Bytes& bytes) { return vreader::state::Hex(bytes.data(), bytes.size()); }

std::string KindName(std::size_t size) {
    switch (size) {
        case vreader::mifare::k1KSize: return "MIFARE Classic 1K";
        case vreader::mifare::k4KSize: return "MIFARE Classic 4K";
        default: return "7-byte UID tag";
    }
}

std::string Text(const std::uint8_t* data, std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
    }
    return out;
}

// Reads the card a user names: a file path, READER/NAME in a field, or a card name in
// the cards folder.
Bytes LoadCard(const vreader::VirtualField& field, const std::string& card) {
    std::error_code ec;
    if (fs::is_regular_file(card, ec)) {
        return vreader::LoadDump(card, vreader::DumpFormatOfPath(card).value_or(vreader::DumpFormat::kRaw));
    }
    return field.ReadCard(card);
}

int Show(const Bytes& image, const std::string& title) {
    namespace m = vreader::mifare;
    const Bytes uid = m::UidOf(image);
    std::cout << title << ": " << KindName(image.size()) << ", UID " << Hex(uid) << "\n";
    if (image.size() == m::kSevenByteSize) {
        for (std::size_t page = 0; page < 16; ++page) {
            const std::uint8_t* p = image.data() + page * 4;
            std::cout << "  page " << (page < 10 ? " " : "") << page << "  "
                      << vreader::state::Hex(p, 4) << "  |" << Text(p, 4) << "|"
                      << (page < 2 ? "  UID" : page == 2 ? "  lock bytes" : page == 3 ? "  OTP" : "")
                      << "\n";
        }
        return kOk;
    }
    if ((image[0] ^ image[1] ^ image[2] ^ image[3]) != image[4]) {
        std::cout << "  warning: the BCC in block 0 does not match the UID\n";
    }
    for (int s = 0; s < m::SectorCount(image.size()); ++s) {
        const int first = m::FirstBlockOfSector(s);
        const int trailerBlock = m::TrailerOfSector(s);
        const std::uint8_t* t = image.data() + trailerBlock * 16;
        std::cout << "Sector " << s << " (blocks " << first << "-" << trailerBlock << ")  key A "
                  << vreader::state::Hex(t, 6) << "  key B " << vreader::state::Hex(t + 10, 6)
                  << "  access " << vreader::state::Hex(t + 6, 4) << "\n";
        const auto access = m::DecodeAccess(std::span(t + 6, 3));
        if (!access) {
            std::cout << "  access bits INVALID (inverted copies disagree): the sector is locked\n";
        } else {
            std::cout << "  trailer: " << m::DescribeTrailerCondition((*access)[3]) << "\n";
        }
        for (int b = first; b <= trailerBlock; ++b) {
            const std::uint8_t* d = image.data() + b * 16;
            std::cout << "  " << (b < 10 ? "  " : b < 100 ? " " : "") << b << "  "
                      << vreader::state::Hex(d, 16) << "  |" << Text(d, 16) << "|";
            if (b == 0) {
                std::cout << "  manufacturer block";
            } else if (b != trailerBlock && access &&
                       (b == first || m::GroupOfBlock(b) != m::GroupOfBlock(b - 1))) {
                std::cout << "  " << m::DescribeDataCondition((*access)[m::GroupOfBlock(b)]);
            }
            std::cout << "\n";
        }
    }
    return kOk;
}

std::string Describe(const vreader::CardInfo& card) {
    return card.name + "  " + KindName(vreader::ImageSize(card.kind)) + "  UID " + Hex(card.uid);
}

int Run(vreader::VirtualField& field, const std::string& command, const Args& args) {
    using vreader::CardKind;
    if (command == "init") {
        args.Allow(0, {});
        field.Init();
        std::cout << "State folder " << field.Dir().string() << " with readers";
        for (const auto& reader : field.Readers()) {
            std::cout << " " << reader;
        }
        std::cout << "\n";
        return kOk;
    }
    if (command == "add-reader") {
        args.Allow(1, {"station"});
        auto name = vreader::state::CanonicalReaderName(args.At(0, "reader name"));
        if (!name) {
            BadValue("'" + args.At(0, "") + "' is no reader name (COM1..COM8 or USB1..USB8)");
        }
        const auto station = args.Option("station");
        field.AddReader(*name, static_cast<std::uint8_t>(station ? Number(*station, 0, 255, "--station") : 1));
        std::cout << "Reader " << *name << " at " << field.ReaderDir(*name).string() << "\n";
        return kOk;
    }
    if (command == "remove-reader") {
        args.Allow(1, {});
        const std::string reader = Reader(field, args.At(0, "reader name"));
        field.RemoveReader(reader);
        return kOk;
    }
    if (command == "list") {
        args.Allow(0, {});
        std::cout << "State folder " << field.Dir().string() << "\n";
        const auto readers = field.Readers();
        if (readers.empty()) {
            std::cout << "No readers (create them with: tagquill-vreader init)\n";
        }
        for (const auto& reader : readers) {
            std::cout << reader;
            if (reader.starts_with("COM")) {
                std::cout << " (station " << static_cast<int>(field.Station(reader)) << ")";
            }
            const auto faults = field.FaultLines(reader);
            if (!faults.empty()) {
                std::cout << " [" << faults.size() << " fault(s)]";
            }
            std::cout << "\n";
            const auto cards = field.Field(reader);
            if (cards.empty()) {
                std::cout << "  (no card in the field)\n";
            }
            for (const auto& card : cards) {
                std::cout << "  " << Describe(card) << "\n";
            }
        }
        const auto away = field.OffFieldCards();
        if (!away.empty()) {
            std::cout << "Cards outside the readers (" << field.CardsDir().string() << ")\n";
            for (const auto& card : away) {
                std::cout << "  " << Describe(card) << "\n";
            }
        }
        return kOk;
    }
    if (command == "new-card") {
        args.Allow(1, {"uid", "name", "reader", "out"});
        const std::string type = args.At(0, "card type (1k, 4k or 7b)");
        CardKind kind;
        if (type == "1k" || type == "1K") {
            kind = CardKind::kClassic1K;
        } else if (type == "4k" || type == "4K") {
            kind = CardKind::kClassic4K;
        } else if (type == "7b" || type == "7B") {
            kind = CardKind::kSevenByteUid;
        } else {
            BadValue("card type is 1k, 4k or 7b, not '" + type + "'");
        }
        std::optional<Bytes> uid;
        if (auto text = args.Option("uid")) {
            uid = HexArgument(*text, "--uid");
        }
        if (args.Option("reader") && args.Option("out")) {
            throw UsageError("--reader and --out exclude each other");
        }
        const Bytes image = vreader::MakeBlankCard(kind, uid);
        const Bytes id = vreader::UidOfImage(image);
        const std::string name = args.Option("name").value_or("card-" + Hex(id) + ".mfd");
        fs::path where;
        if (auto out = args.Option("out")) {
            std::error_code ec;
            if (fs::exists(*out, ec)) {
                throw ControlError(ErrorKind::kExists, *out + " exists already");
            }
            vreader::SaveDump(*out, image);
            where = *out;
        } else if (auto reader = args.Option("reader")) {
            where = field.PlaceImage(Reader(field, *reader), image, name);
        } else {
            if (!vreader::state::IsCardFileName(name) || name.find('/') != std::string::npos) {
                BadValue("'" + name + "' is no card file name (a name ending in .mfd, .bin or .dump)");
            }
            std::error_code ec;
            fs::create_directories(field.CardsDir(), ec);
            where = field.CardsDir() / name;
            if (fs::exists(where, ec)) {
                throw ControlError(ErrorKind::kExists, "a card " + name + " exists already in " +
                                                           field.CardsDir().string());
            }
            vreader::SaveDump(where, image, vreader::DumpFormat::kRaw);
        }
        std::cout << KindName(image.size()) << ", UID " << Hex(id) << ": " << where.string() << "\n";
        return kOk;
    }
    if (command == "place") {
        args.Allow(2, {"name"});
        const std::string card = args.At(0, "card");
        const std::string reader = Reader(field, args.At(1, "reader"));
        std::error_code ec;
        fs::path placed;
        if (fs::is_regular_file(card, ec) && fs::path(card).parent_path() != field.CardsDir()) {
            // A dump from elsewhere: the reader gets a raw copy; the file stays as it is.
            const Bytes image = vreader::LoadDump(card);
            std::string name = args.Option("name").value_or(fs::path(card).stem().string() + ".mfd");
            placed = field.PlaceImage(reader, image, name);
        } else {
            if (args.Option("name")) {
                throw UsageError("--name applies to files only; a card keeps its name");
            }
            placed = field.PlaceCard(fs::path(card).filename().string(), reader);
        }
        std::cout << "In the field of " << reader << ": " << placed.string() << "\n";
        return kOk;
    }
    if (command == "remove") {
        args.Allow(2, {});
        const std::string reader = Reader(field, args.At(0, "reader"));
        if (args.positional.size() > 1) {
            std::cout << "Taken away: " << field.RemoveCard(reader, args.positional[1]).string() << "\n";
            return kOk;
        }
        const auto cards = field.Field(reader);
        if (cards.empty()) {
            throw ControlError(ErrorKind::kNotFound, "no card in the field of " + reader);
        }
        for (const auto& card : cards) {
            std::cout << "Taken away: " << field.RemoveCard(reader, card.name).string() << "\n";
        }
        return kOk;
    }
    if (command == "show") {
        args.Allow(1, {});
        const std::string card = args.At(0, "card");
        return Show(LoadCard(field, card), card);
    }
    if (command == "convert") {
        args.Allow(2, {"from", "to"});
        const fs::path in = args.At(0, "input file");
        const fs::path out = args.At(1, "output file");
        auto format = [](const std::optional<std::string>& name) -> std::optional<vreader::DumpFormat> {
            if (!name) {
                return std::nullopt;
            }
            auto format = vreader::DumpFormatFromName(*name);
            if (!format) {
                BadValue("format is raw, eml, json or mct, not '" + *name + "'");
            }
            return format;
        };
        const auto from = format(args.Option("from"));
        const auto to = format(args.Option("to"));
        const Bytes image = vreader::LoadDump(in, from);
        vreader::SaveDump(out, image, to);
        std::cout << KindName(image.size()) << ", UID " << Hex(vreader::UidOfImage(image)) << ": "
                  << in.string() << " -> " << out.string() << "\n";
        return kOk;
    }
    if (command == "fault") {
        const std::string reader = Reader(field, args.At(0, "reader"));
        const std::string what = args.At(1, "fault (fail, remove, block, release, tags, "
                                            "type-flag-zero, station-count-zero, clear)");
        auto onOff = [&](std::size_t at) {
            args.Allow(at + 1, {});
            if (args.positional.size() <= at || args.positional[at] == "on") {
                return true;
            }
            if (args.positional[at] == "off") {
                return false;
            }
            BadValue("expected on or off, not '" + args.positional[at] + "'");
        };
        if (what == "fail") {
            args.Allow(6, {});
            field.FailCall(reader, args.At(2, "function"),
                           static_cast<int>(Number(args.At(3, "call number"), 1, 1000000, "N")),
                           static_cast<std::int16_t>(Number(args.At(4, "return code"), -32768, 32767, "CODE")),
                           args.positional.size() > 5
                               ? static_cast<int>(Number(args.positional[5], 0, 1000000, "TIMES"))
                               : 1);
        } else if (what == "remove") {
            args.Allow(4, {});
            field.RemoveCardAfter(reader, args.At(2, "function"),
                                  static_cast<int>(Number(args.At(3, "call number"), 1, 1000000, "N")));
        } else if (what == "block") {
            args.Allow(3, {});
            field.Block(reader, args.At(2, "function"));
        } else if (what == "release") {
            args.Allow(3, {});
            field.Release(reader, args.At(2, "function"));
        } else if (what == "tags") {
            args.Allow(3, {});
            field.ReportTagCount(reader, static_cast<int>(Number(args.At(2, "count"), 0, 255, "COUNT")));
        } else if (what == "type-flag-zero") {
            field.SetTypeFlagZero(reader, onOff(2));
        } else if (what == "station-count-zero") {
            field.SetStationCountZero(reader, onOff(2));
        } else if (what == "clear") {
            args.Allow(2, {});
            field.ClearFaults(reader);
        } else {
            throw UsageError("unknown fault '" + what + "'");
        }
        return kOk;
    }
    if (command == "latency") {
        args.Allow(2, {});
        const std::string reader = Reader(field, args.At(0, "reader"));
        field.SetLatency(reader, std::chrono::milliseconds(Number(args.At(1, "milliseconds"), 0, 600000, "MS")));
        return kOk;
    }
    if (command == "faults") {
        args.Allow(1, {});
        for (const auto& line : field.FaultLines(Reader(field, args.At(0, "reader")))) {
            std::cout << line << "\n";
        }
        return kOk;
    }
    if (command == "log") {
        args.Allow(1, {"clear"});
        const std::string reader = Reader(field, args.At(0, "reader"));
        if (args.Option("clear")) {
            field.ClearCallLog(reader);
            return kOk;
        }
        for (const auto& call : field.CallLog(reader)) {
            std::cout << call.function << " " << call.arguments << " -> "
                      << (call.blocked ? std::string("blocked") : std::to_string(call.result)) << "\n";
        }
        return kOk;
    }
    throw UsageError("unknown command '" + command + "'");
}

int ExitFor(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::kBadArgument: return kBadArgument;
        case ErrorKind::kNotFound: return kNotFound;
        case ErrorKind::kExists: return kExists;
        case ErrorKind::kBadImage: return kBadImage;
        case ErrorKind::kBadFormat: return kBadFormat;
        case ErrorKind::kIo: return kFailure;
    }
    return kFailure;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    std::optional<fs::path> dir;
    std::string command;
    Args args;
    try {
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::string& word = words[i];
            if (word == "--help" || word == "-h" || word == "help") {
                std::cout << kUsageText;
                return kOk;
            }
            if (word.starts_with("--")) {
                std::string name = word.substr(2);
                std::string value;
                if (const auto eq = name.find('='); eq != std::string::npos) {
                    value = name.substr(eq + 1);
                    name = name.substr(0, eq);
                } else if (name != "clear") {  // the one option without a value
                    if (i + 1 >= words.size()) {
                        throw UsageError("--" + name + " needs a value");
                    }
                    value = words[++i];
                }
                if (name == "dir" && command.empty()) {
                    dir = value;
                } else {
                    args.options[name] = value;
                }
            } else if (command.empty()) {
                command = word;
            } else {
                args.positional.push_back(word);
            }
        }
        if (command.empty()) {
            throw UsageError("no command given");
        }
        vreader::VirtualField field(dir ? *dir : vreader::StateDirFromEnvironment());
        return Run(field, command, args);
    } catch (const UsageError& error) {
        std::cerr << "tagquill-vreader: " << error.what() << "\n"
                  << "Try 'tagquill-vreader --help'.\n";
        return kUsage;
    } catch (const ControlError& error) {
        std::cerr << "tagquill-vreader: " << error.what() << "\n";
        return ExitFor(error.Kind());
    } catch (const std::exception& error) {
        std::cerr << "tagquill-vreader: " << error.what() << "\n";
        return kFailure;
    }
}
