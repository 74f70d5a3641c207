#include "control/virtual_field.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>
#include <thread>

#include "ascii/hex.h"
#include "ascii/reader_name.h"
#include "control/dump_text.h"
#include "core/files.h"
#include "core/mifare.h"
#include "core/state.h"

namespace vreader {

namespace fs = std::filesystem;
namespace st = vreader::state;

namespace {

// Removes a folder and everything in it, trying each entry once; false when something
// stayed. std::filesystem::remove_all under Wine retries a file that a handle still holds
// open (the lock of a reader left open by a thread ended by force) until the process has
// no file handles left.
bool RemoveTree(const fs::path& folder) {
    std::error_code ec;
    std::vector<fs::path> entries;  // parents before their contents
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    bool removedAll = !ec;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        removedAll = fs::remove(*entry, ec) && removedAll;
    }
    return fs::remove(folder, ec) && removedAll;
}

[[noreturn]] void Throw(ErrorKind kind, const std::string& message) {
    throw ControlError(kind, message);
}

std::string CheckedReader(const std::string& reader) {
    auto name = ascii::CanonicalReaderName(reader);
    if (!name) {
        Throw(ErrorKind::kBadArgument,
              "'" + reader + "' is no reader name (COM1..COM8 or USB1..USB8)");
    }
    return *name;
}

std::string CheckedFunction(const std::string& function) {
    std::string name = function.starts_with("ACR120_") ? function.substr(7) : function;
    if (name != "*" && !st::IsKnownFunction(name)) {
        Throw(ErrorKind::kBadArgument, "unknown reader function '" + function + "'");
    }
    return name;
}

void CheckCardName(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        Throw(ErrorKind::kBadArgument, "'" + name + "' is no card file name: a name has no '/'");
    }
    if (!st::IsCardFileName(name)) {
        Throw(ErrorKind::kBadArgument,
              "'" + name + "' is no card file name (a name ending in .mfd, .bin or .dump)");
    }
}

CardInfo InfoOf(const st::CardFile& file) {
    return CardInfo{file.name, file.path, *KindOfImageSize(file.image.size()),
                    UidOfImage(file.image)};
}

// What a reader's fault file holds that is no fault, a message per line.
std::vector<std::string> DescribeBadLines(const fs::path& readerDir,
                                          const std::vector<st::BadFaultLine>& lines) {
    std::vector<std::string> problems;
    for (const auto& line : lines) {
        problems.push_back((readerDir / st::kFaultsFile).string() + " line " +
                           std::to_string(line.number) + ": " + line.problem);
    }
    return problems;
}

}  // namespace

ControlError FolderIsNoCard(const std::string& name) {
    return ControlError(ErrorKind::kBadArgument, name + " is a folder, not a card image");
}

std::size_t ImageSize(CardKind kind) {
    switch (kind) {
        case CardKind::kClassic1K:
            return card_model::k1KSize;
        case CardKind::kClassic4K:
            return card_model::k4KSize;
        case CardKind::kSevenByteUid:
            return card_model::kSevenByteSize;
    }
    return 0;
}

std::uint8_t TagType(CardKind kind) {
    return card_model::TagTypeOfSize(ImageSize(kind));
}

std::optional<CardKind> KindOfImageSize(std::size_t size) {
    switch (size) {
        case card_model::k1KSize:
            return CardKind::kClassic1K;
        case card_model::k4KSize:
            return CardKind::kClassic4K;
        case card_model::kSevenByteSize:
            return CardKind::kSevenByteUid;
        default:
            return std::nullopt;
    }
}

Bytes UidOfImage(const Bytes& image) {
    dump_text::CheckImageSize(image, "the image");
    return card_model::UidOf(image);
}

Bytes MakeBlankCard(CardKind kind, const std::optional<Bytes>& uid) {
    const std::size_t uidSize = kind == CardKind::kSevenByteUid ? 7 : 4;
    Bytes id;
    if (uid) {
        if (uid->size() != uidSize) {
            Throw(ErrorKind::kBadArgument, "this card needs a UID of " + std::to_string(uidSize) +
                                               " bytes, not " + std::to_string(uid->size()));
        }
        id = *uid;
    } else {
        std::random_device random;
        for (std::size_t i = 0; i < uidSize; ++i) {
            id.push_back(static_cast<std::uint8_t>(random()));
        }
        if (kind == CardKind::kSevenByteUid) {
            id[0] = 0x04;  // NXP's manufacturer code
        } else if (id[0] == 0x88) {
            id[0] = 0x08;  // 0x88 is the cascade tag, never a UID's first byte
        }
    }
    return card_model::BlankCard(ImageSize(kind), id);
}

fs::path DefaultStateDir() {
    return st::DefaultStateDir();
}
fs::path StateDirFromEnvironment() {
    return st::StateDir();
}

VirtualField::VirtualField(fs::path stateDir) : dir_(std::move(stateDir)) {}

fs::path VirtualField::ReaderDir(const std::string& reader) const {
    return st::ReaderFolder(dir_, CheckedReader(reader));
}

fs::path VirtualField::CardsDir() const {
    return dir_ / st::kCardsFolder;
}

void VirtualField::Init() {
    for (const char* reader : {"COM1", "USB1"}) {
        if (!HasReader(reader)) {
            AddReader(reader);
        }
    }
}

void VirtualField::AddReader(const std::string& reader, std::uint8_t station) {
    const fs::path folder = ReaderDir(reader);
    std::error_code ec;
    if (fs::exists(folder, ec)) {
        Throw(ErrorKind::kExists, "reader " + folder.filename().string() + " exists already");
    }
    if (!files::MakeFolders(folder)) {
        Throw(ErrorKind::kIo, "cannot create " + folder.string());
    }
    files::MakeFolders(CardsDir());
    Bytes eeprom(st::kEepromSize, 0);
    eeprom[5] = st::kRegister5Default;
    if (!st::WriteTextAtomic(folder / st::kStationFile, std::to_string(station) + "\n") ||
        !st::WriteFileAtomic(folder / st::kEepromFile, eeprom) ||
        !st::WriteFileAtomic(folder / st::kKeysFile, Bytes(st::kKeySlots * 6, 0xFF)) ||
        !st::WriteTextAtomic(folder / st::kFaultsFile, "")) {
        RemoveTree(folder);
        Throw(ErrorKind::kIo, "cannot write the files of reader " + folder.string());
    }
}

void VirtualField::RemoveReader(const std::string& reader) {
    const fs::path folder = ReaderDir(reader);
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + folder.filename().string());
    }
    if (!RemoveTree(folder)) {
        Throw(ErrorKind::kIo, "cannot remove all of " + folder.string());
    }
}

bool VirtualField::HasReader(const std::string& reader) const {
    std::error_code ec;
    return fs::is_directory(ReaderDir(reader), ec);
}

std::vector<std::string> VirtualField::Readers() const {
    std::vector<std::string> names;
    for (const auto kind : {ascii::ReaderKind::Serial, ascii::ReaderKind::Usb}) {
        for (int number = 1; number <= ascii::kMaxReaderNumber; ++number) {
            const std::string name = ascii::ReaderNameText({kind, number});
            if (HasReader(name)) {
                names.push_back(name);
            }
        }
    }
    return names;
}

std::vector<CardInfo> VirtualField::Field(const std::string& reader) const {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    std::vector<CardInfo> cards;
    for (const auto& file : st::ListCards(ReaderDir(reader))) {
        cards.push_back(InfoOf(file));
    }
    return cards;
}

std::vector<CardInfo> VirtualField::OffFieldCards() const {
    std::vector<CardInfo> cards;
    for (const auto& file : st::ListCards(CardsDir())) {
        cards.push_back(InfoOf(file));
    }
    return cards;
}

fs::path VirtualField::NewCard(const std::string& reader, CardKind kind,
                               const std::optional<Bytes>& uid, const std::string& name) {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    const Bytes image = MakeBlankCard(kind, uid);
    const Bytes id = card_model::UidOf(image);
    return PlaceImage(reader, image, name.empty() ? "card-" + ascii::HexText(id) + ".mfd" : name);
}

fs::path VirtualField::PlaceImage(const std::string& reader, const Bytes& image,
                                  const std::string& name) {
    CheckCardName(name);
    dump_text::CheckImageSize(image, "the image");
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    const fs::path folder = ReaderDir(reader);
    const fs::path target = folder / files::Utf8Path(name);
    st::FieldLock lock(folder);
    std::error_code ec;
    if (fs::exists(target, ec)) {
        Throw(ErrorKind::kExists,
              "a card " + name + " is in " + folder.filename().string() + " already");
    }
    if (!st::WriteFileAtomic(target, image)) {
        Throw(ErrorKind::kIo, "cannot write " + target.string());
    }
    return target;
}

fs::path VirtualField::PlaceCard(const std::string& card, const std::string& reader) {
    CheckCardName(card);
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    const fs::path source = CardsDir() / files::Utf8Path(card);
    auto image = st::ReadFileBytes(source);
    std::error_code ec;
    if (!image && fs::is_directory(source, ec)) {
        throw FolderIsNoCard(source.string());
    }
    if (!image) {
        Throw(ErrorKind::kNotFound, "no card " + card + " in " + CardsDir().string());
    }
    dump_text::CheckImageSize(*image, source.string());
    const fs::path folder = ReaderDir(reader);
    const fs::path target = folder / files::Utf8Path(card);
    st::FieldLock lock(folder);
    const files::MoveResult moved = files::MoveNoReplace(source, target);
    if (moved == files::MoveResult::kTargetExists) {
        Throw(ErrorKind::kExists,
              "a card " + card + " is in " + folder.filename().string() + " already");
    }
    if (moved == files::MoveResult::kFailed) {
        Throw(ErrorKind::kIo, "cannot move " + source.string() + " to " + target.string());
    }
    return target;
}

fs::path VirtualField::RemoveCard(const std::string& reader, const std::string& name) {
    const auto cards = Field(reader);
    auto it = name.empty() ? cards.begin()
                           : std::find_if(cards.begin(), cards.end(),
                                          [&](const CardInfo& c) { return c.name == name; });
    if (it == cards.end() && !name.empty() && st::IsCardFileName(name)) {
        // A file the listing passed over: say why rather than that it is not there.
        const fs::path file = ReaderDir(reader) / files::Utf8Path(name);
        std::error_code ec;
        if (fs::is_directory(file, ec)) {
            throw FolderIsNoCard(file.string());
        }
        if (auto image = st::ReadFileBytes(file)) {
            dump_text::CheckImageSize(*image, file.string());
        }
    }
    if (it == cards.end()) {
        Throw(ErrorKind::kNotFound,
              name.empty() ? "no card in the field of " + CheckedReader(reader)
                           : "no card " + name + " in the field of " + CheckedReader(reader));
    }
    st::FieldLock lock(ReaderDir(reader));
    auto moved = st::MoveToCards(dir_, it->path);
    if (!moved) {
        Throw(ErrorKind::kIo, "cannot move " + it->path.string() + " to " + CardsDir().string());
    }
    return *moved;
}

Bytes VirtualField::ReadCard(const std::string& card) const {
    fs::path path;
    const auto slash = card.find('/');
    std::error_code ec;
    if (fs::is_regular_file(files::Utf8Path(card), ec)) {
        path = files::Utf8Path(card);
    } else if (slash != std::string::npos && ascii::CanonicalReaderName(card.substr(0, slash))) {
        path = ReaderDir(card.substr(0, slash)) / files::Utf8Path(card.substr(slash + 1));
    } else {
        path = CardsDir() / files::Utf8Path(card);
    }
    auto image = st::ReadFileBytes(path);
    if (!image && fs::is_directory(path, ec)) {
        throw FolderIsNoCard(path.string());
    }
    if (!image && fs::is_directory(files::Utf8Path(card), ec)) {
        throw FolderIsNoCard(card);
    }
    if (!image) {
        Throw(ErrorKind::kNotFound, "no card " + card + " (looked for " + path.string() + ")");
    }
    dump_text::CheckImageSize(*image, path.string());
    return *image;
}

void VirtualField::WriteCard(const std::string& reader, const std::string& name,
                             const Bytes& image) {
    CheckCardName(name);
    dump_text::CheckImageSize(image, "the image");
    const fs::path folder = ReaderDir(reader);
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + folder.filename().string());
    }
    st::FieldLock lock(folder);
    if (!st::WriteFileAtomic(folder / files::Utf8Path(name), image)) {
        Throw(ErrorKind::kIo, "cannot write " + (folder / files::Utf8Path(name)).string());
    }
}

std::uint8_t VirtualField::Station(const std::string& reader, std::string* problem) const {
    return st::ReadStation(ReaderDir(reader), problem);
}

void VirtualField::SetStation(const std::string& reader, std::uint8_t station) {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    if (!st::WriteTextAtomic(ReaderDir(reader) / st::kStationFile,
                             std::to_string(station) + "\n")) {
        Throw(ErrorKind::kIo, "cannot write the station of " + CheckedReader(reader));
    }
}

std::uint8_t VirtualField::Eeprom(const std::string& reader, std::uint8_t reg) const {
    return st::ReadEeprom(ReaderDir(reader))[reg];
}

void VirtualField::SetEeprom(const std::string& reader, std::uint8_t reg, std::uint8_t value) {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    st::FieldLock lock(ReaderDir(reader));
    auto regs = st::ReadEeprom(ReaderDir(reader));
    regs[reg] = value;
    if (!st::WriteFileAtomic(ReaderDir(reader) / st::kEepromFile,
                             Bytes(regs.begin(), regs.end()))) {
        Throw(ErrorKind::kIo, "cannot write the EEPROM of " + CheckedReader(reader));
    }
}

std::array<std::uint8_t, 6> VirtualField::StoredKey(const std::string& reader, int slot) const {
    if (slot < 0 || slot >= st::kKeySlots) {
        Throw(ErrorKind::kBadArgument, "key slot " + std::to_string(slot) + " is not 0..31");
    }
    const auto keys = st::ReadKeys(ReaderDir(reader));
    std::array<std::uint8_t, 6> key{};
    std::copy_n(keys.begin() + slot * 6, 6, key.begin());
    return key;
}

void VirtualField::SetStoredKey(const std::string& reader, int slot,
                                const std::array<std::uint8_t, 6>& key) {
    if (slot < 0 || slot >= st::kKeySlots) {
        Throw(ErrorKind::kBadArgument, "key slot " + std::to_string(slot) + " is not 0..31");
    }
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    st::FieldLock lock(ReaderDir(reader));
    auto keys = st::ReadKeys(ReaderDir(reader));
    std::copy(key.begin(), key.end(), keys.begin() + slot * 6);
    if (!st::WriteFileAtomic(ReaderDir(reader) / st::kKeysFile, Bytes(keys.begin(), keys.end()))) {
        Throw(ErrorKind::kIo, "cannot write the key store of " + CheckedReader(reader));
    }
}

namespace {

// Read-modify-write of a reader's fault file under its field lock, which the libraries
// take too when they count a fault down. A file with a line that is no fault is left as
// it is: rewritten, the line would go, or would stay unnoticed after a fault was set.
template <typename Change>
void UpdateFaults(const VirtualField& field, const std::string& reader, Change change) {
    if (!field.HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    const fs::path folder = field.ReaderDir(reader);
    st::FieldLock lock(folder);
    st::FaultFile file = st::ReadFaultFile(folder);
    if (!file.badLines.empty()) {
        Throw(ErrorKind::kBadFormat,
              DescribeBadLines(folder, file.badLines).front() +
                  "; nothing changed: correct or delete that line, or clear the faults");
    }
    auto& faults = file.faults;
    change(faults);
    if (!st::WriteFaults(folder, faults)) {
        Throw(ErrorKind::kIo, "cannot write the faults of " + folder.filename().string());
    }
}

// Replaces the one fault of a kind that takes no function (tags, latency, flags).
void SetSingleFault(const VirtualField& field, const std::string& reader, st::Fault::Type type,
                    std::optional<int> count) {
    UpdateFaults(field, reader, [&](std::vector<st::Fault>& faults) {
        std::erase_if(faults, [&](const st::Fault& f) { return f.type == type; });
        if (count) {
            st::Fault fault;
            fault.type = type;
            fault.count = *count;
            faults.push_back(fault);
        }
    });
}

}  // namespace

void VirtualField::FailCall(const std::string& reader, const std::string& function, int nth,
                            std::int16_t code, int times) {
    const std::string fn = CheckedFunction(function);
    if (nth < 1 || times < 0) {
        Throw(ErrorKind::kBadArgument, "the call number counts from 1 and times from 0");
    }
    UpdateFaults(*this, reader, [&](std::vector<st::Fault>& faults) {
        st::Fault fault;
        fault.type = st::Fault::Type::kFail;
        fault.function = fn;
        fault.at = nth;
        fault.code = code;
        fault.times = times;
        faults.push_back(fault);
    });
}

void VirtualField::RemoveCardAfter(const std::string& reader, const std::string& function,
                                   int nth) {
    const std::string fn = CheckedFunction(function);
    if (nth < 1) {
        Throw(ErrorKind::kBadArgument, "the call number counts from 1");
    }
    UpdateFaults(*this, reader, [&](std::vector<st::Fault>& faults) {
        st::Fault fault;
        fault.type = st::Fault::Type::kRemove;
        fault.function = fn;
        fault.at = nth;
        faults.push_back(fault);
    });
}

void VirtualField::Block(const std::string& reader, const std::string& function) {
    const std::string fn = CheckedFunction(function);
    UpdateFaults(*this, reader, [&](std::vector<st::Fault>& faults) {
        std::erase_if(faults, [&](const st::Fault& f) {
            return f.type == st::Fault::Type::kBlock && f.function == fn;
        });
        st::Fault fault;
        fault.type = st::Fault::Type::kBlock;
        fault.function = fn;
        faults.push_back(fault);
    });
}

void VirtualField::Release(const std::string& reader, const std::string& function) {
    const std::string fn = CheckedFunction(function);
    UpdateFaults(*this, reader, [&](std::vector<st::Fault>& faults) {
        std::erase_if(faults, [&](const st::Fault& f) {
            return f.type == st::Fault::Type::kBlock && f.function == fn;
        });
    });
}

bool VirtualField::WaitUntilBlocked(const std::string& reader, const std::string& function,
                                    std::chrono::milliseconds timeout) const {
    const std::string fn = CheckedFunction(function);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const auto& call : CallLog(reader)) {
            if (call.blocked && (fn == "*" || call.function == fn)) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void VirtualField::ReportTagCount(const std::string& reader, int count) {
    if (count < 0 || count > 255) {
        Throw(ErrorKind::kBadArgument, "a tag count is 0..255");
    }
    SetSingleFault(*this, reader, st::Fault::Type::kTags, count);
}

void VirtualField::SetTypeFlagZero(const std::string& reader, bool on) {
    SetSingleFault(*this, reader, st::Fault::Type::kTypeFlagZero,
                   on ? std::optional<int>(0) : std::nullopt);
}

void VirtualField::SetStationCountZero(const std::string& reader, bool on) {
    SetSingleFault(*this, reader, st::Fault::Type::kStationCountZero,
                   on ? std::optional<int>(0) : std::nullopt);
}

void VirtualField::SetLatency(const std::string& reader, std::chrono::milliseconds latency) {
    if (latency.count() < 0 || latency.count() > 600000) {
        Throw(ErrorKind::kBadArgument, "a latency is 0..600000 ms");
    }
    SetSingleFault(*this, reader, st::Fault::Type::kLatency,
                   latency.count() == 0 ? std::nullopt
                                        : std::optional<int>(static_cast<int>(latency.count())));
}

void VirtualField::ClearFaults(const std::string& reader) {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    // Whatever the file holds: clearing is the way out of a file that is no list of faults.
    const fs::path folder = ReaderDir(reader);
    st::FieldLock lock(folder);
    if (!st::WriteFaults(folder, {})) {
        Throw(ErrorKind::kIo, "cannot write the faults of " + folder.filename().string());
    }
}

std::vector<std::string> VirtualField::FaultLines(const std::string& reader,
                                                  std::vector<std::string>* problems) const {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    const st::FaultFile file = st::ReadFaultFile(ReaderDir(reader));
    std::vector<std::string> lines;
    for (const auto& fault : file.faults) {
        lines.push_back(st::FormatFault(fault));
    }
    if (problems != nullptr) {
        *problems = DescribeBadLines(ReaderDir(reader), file.badLines);
    }
    return lines;
}

std::vector<CallRecord> VirtualField::CallLog(const std::string& reader) const {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    std::vector<CallRecord> calls;
    auto data = st::ReadFileBytes(ReaderDir(reader) / st::kCallLogFile);
    if (!data) {
        return calls;
    }
    std::istringstream in(std::string(data->begin(), data->end()));
    std::string line;
    while (std::getline(in, line)) {
        // "<Function> <arguments> -> <result>"
        const auto space = line.find(' ');
        const auto arrow = line.rfind(" -> ");
        if (space == std::string::npos || arrow == std::string::npos || arrow < space) {
            continue;
        }
        CallRecord call;
        call.function = line.substr(0, space);
        call.arguments = line.substr(space + 1, arrow - space - 1);
        const std::string result = line.substr(arrow + 4);
        if (result == "blocked") {
            call.blocked = true;
        } else {
            call.result = std::atoi(result.c_str());
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

int VirtualField::CountCalls(const std::string& reader, const std::string& function) const {
    const std::string fn = CheckedFunction(function);
    int count = 0;
    for (const auto& call : CallLog(reader)) {
        count += !call.blocked && (fn == "*" || call.function == fn) ? 1 : 0;
    }
    return count;
}

void VirtualField::ClearCallLog(const std::string& reader) {
    if (!HasReader(reader)) {
        Throw(ErrorKind::kNotFound, "no reader " + CheckedReader(reader));
    }
    if (!st::WriteTextAtomic(ReaderDir(reader) / st::kCallLogFile, "")) {
        Throw(ErrorKind::kIo, "cannot clear the call log of " + CheckedReader(reader));
    }
}

namespace {
fs::path MakeTempStateDir() {
    fs::path folder = files::MakeTempFolder("tagquill-vreader-");
    if (folder.empty()) {
        Throw(ErrorKind::kIo, "cannot create a temporary folder");
    }
    return folder;
}
}  // namespace

ScopedVirtualField::ScopedVirtualField(PcscReaders pcsc) : VirtualField(MakeTempStateDir()) {
    Init();
    if (const char* old = std::getenv(st::kEnvVar)) {
        previous_ = old;
    }
    if (const char* old = std::getenv(st::kPcscEnvVar)) {
        previousPcsc_ = old;
    }
    files::SetEnvironment(st::kEnvVar, Dir().string());
    files::SetEnvironment(st::kPcscEnvVar, pcsc == PcscReaders::kServed
                                               ? std::nullopt
                                               : std::optional<std::string>("off"));
}

ScopedVirtualField::~ScopedVirtualField() {
    files::SetEnvironment(st::kEnvVar, previous_);
    files::SetEnvironment(st::kPcscEnvVar, previousPcsc_);
    RemoveTree(Dir());
}

}  // namespace vreader
