#pragma once
// Control of the virtual reader's field, for tests and the tagquill-vreader tool.
//
// The virtual reader keeps all its state in one folder (TAGQUILL_VREADER_DIR, by
// default $XDG_STATE_HOME/tagquill/vreader). Each reader is a subfolder COM1..COM8 or
// USB1..USB8; the card images in it are the cards in its field. Cards outside every
// field live in the "cards" subfolder. Everything here works on those files, so a test
// process, the CLI and the reader libraries loaded by the program all see one state.
//
// Every operation throws vreader::ControlError on failure and changes nothing then.

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vreader {

using Bytes = std::vector<std::uint8_t>;

enum class ErrorKind {
    kBadArgument,  // malformed name, UID, function name, count...
    kNotFound,     // no such reader or card
    kExists,       // the reader or card is already there
    kBadImage,     // an image of no card's size
    kBadFormat,    // a dump file whose text cannot be read (bad hex, missing blocks...)
    kIo,           // the file system refused
};

class ControlError : public std::runtime_error {
public:
    ControlError(ErrorKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    ErrorKind Kind() const { return kind_; }

private:
    ErrorKind kind_;
};

// The error for a folder where a card image was named (kBadArgument).
ControlError FolderIsNoCard(const std::string& name);

enum class CardKind {
    kClassic1K,     // 1024-byte image, tag type 2
    kClassic4K,     // 4096-byte image, tag type 3
    kSevenByteUid,  // 64-byte image (16 pages of 4 bytes), tag type 5
};

// Image size and library tag type of a card kind.
std::size_t ImageSize(CardKind kind);
std::uint8_t TagType(CardKind kind);
// The kind an image of this size is; nullopt for any other size.
std::optional<CardKind> KindOfImageSize(std::size_t size);
// The UID an image carries: 4 bytes of block 0 for Classic cards, 7 bytes for the
// 7-byte tag. Throws kBadImage for a size that is no card.
Bytes UidOfImage(const Bytes& image);

// A card in the transport configuration: every key FF FF FF FF FF FF, access bytes
// FF 07 80 69, data blocks zero, and a manufacturer block with the UID, its BCC and
// manufacturer bytes. Without a UID a random one is drawn. The UID must have 4 bytes
// for Classic cards and 7 for the 7-byte tag (kBadArgument otherwise).
Bytes MakeBlankCard(CardKind kind, const std::optional<Bytes>& uid = std::nullopt);

// Where the state lives when TAGQUILL_VREADER_DIR is not set.
std::filesystem::path DefaultStateDir();
// TAGQUILL_VREADER_DIR if set and not empty, else DefaultStateDir().
std::filesystem::path StateDirFromEnvironment();

struct CardInfo {
    std::string name;            // file name inside the folder
    std::filesystem::path path;  // full path of the image
    CardKind kind;
    Bytes uid;
};

// One line of a reader's call log: "Read handle=0 station=1 block=4 -> 0".
struct CallRecord {
    std::string function;   // exported name without the "ACR120_" prefix, e.g. "ListTag"
    std::string arguments;  // the arguments and outputs, as written
    int result = 0;         // the status returned (meaningless when blocked)
    bool blocked = false;   // the call has started to wait on a "block" fault
};

class VirtualField {
public:
    // Works on `stateDir`; nothing is created until asked.
    explicit VirtualField(std::filesystem::path stateDir = StateDirFromEnvironment());

    const std::filesystem::path& Dir() const { return dir_; }
    std::filesystem::path ReaderDir(const std::string& reader) const;  // checks the name only
    std::filesystem::path CardsDir() const;                            // cards outside every field

    // Creates the state folder with readers COM1 and USB1 (existing ones are kept).
    void Init();

    // Readers: names COM1..COM8, USB1..USB8, any letter case (stored upper case).
    void AddReader(const std::string& reader, std::uint8_t station = 1);  // kExists if there
    void RemoveReader(const std::string& reader);  // with the cards in its field
    bool HasReader(const std::string& reader) const;
    std::vector<std::string> Readers() const;  // COM1..COM8 then USB1..USB8

    // Cards in a reader's field, in the order the reader lists them (file name order).
    // Image files are those named *.mfd, *.bin or *.dump with a card's size.
    std::vector<CardInfo> Field(const std::string& reader) const;
    std::vector<CardInfo> OffFieldCards() const;

    // Puts a new blank card into the field; the name defaults to "card-<UID hex>.mfd".
    // Returns the image's path.
    std::filesystem::path NewCard(const std::string& reader, CardKind kind,
                                  const std::optional<Bytes>& uid = std::nullopt,
                                  const std::string& name = {});
    // Puts the given raw image into the field as `name` (kExists if taken).
    std::filesystem::path PlaceImage(const std::string& reader, const Bytes& image,
                                     const std::string& name);
    // Moves a card from the "cards" folder into the field.
    std::filesystem::path PlaceCard(const std::string& card, const std::string& reader);
    // Takes a card out of the field into the "cards" folder (a numbered name if that
    // name is taken there) and returns where it went. An empty name takes the first card.
    std::filesystem::path RemoveCard(const std::string& reader, const std::string& name = {});

    // Reads an image: "READER/name" in a field, a name in the "cards" folder, or a path.
    Bytes ReadCard(const std::string& card) const;
    // Replaces an image in a field atomically.
    void WriteCard(const std::string& reader, const std::string& name, const Bytes& image);

    // Per-reader memory: station id, the EEPROM registers, the 32-slot key store.
    // A station file that holds no station reads as the default, as the libraries read
    // it; `problem`, when given, then says what is wrong with it.
    std::uint8_t Station(const std::string& reader, std::string* problem = nullptr) const;
    void SetStation(const std::string& reader, std::uint8_t station);
    std::uint8_t Eeprom(const std::string& reader, std::uint8_t reg) const;
    void SetEeprom(const std::string& reader, std::uint8_t reg, std::uint8_t value);
    std::array<std::uint8_t, 6> StoredKey(const std::string& reader, int slot) const;
    void SetStoredKey(const std::string& reader, int slot, const std::array<std::uint8_t, 6>& key);

    // Faults. `function` is an exported name with or without "ACR120_" (ListTag, ListTags,
    // Login...) or "*" for every function; `nth` counts from 1, from the next call on.
    // While the fault file holds a line that is no fault (one written by hand), every
    // change but ClearFaults fails with kBadFormat and leaves the file as it is.
    //
    // The nth call of `function` returns `code` without doing anything, and so do the
    // following `times - 1` calls (times 0: every call from the nth on).
    void FailCall(const std::string& reader, const std::string& function, int nth,
                  std::int16_t code, int times = 1);
    // After the nth call of `function` has done its work, the selected card (else the
    // first card in the field) leaves the field into the "cards" folder.
    void RemoveCardAfter(const std::string& reader, const std::string& function, int nth);
    // Every call of `function` waits (cancellable) until Release.
    void Block(const std::string& reader, const std::string& function);
    void Release(const std::string& reader, const std::string& function);
    // Waits until a call of `function` is waiting on a Block; false on time-out.
    bool WaitUntilBlocked(const std::string& reader, const std::string& function,
                          std::chrono::milliseconds timeout) const;
    // Listings report `count` tags (the count only; the lists stay within their room).
    void ReportTagCount(const std::string& reader, int count);
    // Serial ListTag reports its type flag as 0.
    void SetTypeFlagZero(const std::string& reader, bool on = true);
    // GetID reports a station count of 0.
    void SetStationCountZero(const std::string& reader, bool on = true);
    // Every call takes at least this long (0: none).
    void SetLatency(const std::string& reader, std::chrono::milliseconds latency);
    void ClearFaults(const std::string& reader);
    // The fault file's faults, one a line as stored. Lines that are no fault are passed
    // over, as the libraries pass them over; `problems`, when given, gets a message for
    // each (the file, the line number, what is wrong and what a fault looks like).
    std::vector<std::string> FaultLines(const std::string& reader,
                                        std::vector<std::string>* problems = nullptr) const;

    // The calls made on the reader, oldest first.
    std::vector<CallRecord> CallLog(const std::string& reader) const;
    // Completed calls of `function` ("ACR120_" prefix optional).
    int CountCalls(const std::string& reader, const std::string& function) const;
    void ClearCallLog(const std::string& reader);

private:
    std::filesystem::path dir_;
};

// A fresh, empty state folder for one test: created under the system's temporary
// folder, named in TAGQUILL_VREADER_DIR while the object lives, removed with
// everything in it at the end (the previous value of the variable is restored).
// Readers COM1 and USB1 exist from the start. The USB library leaves the PC/SC
// readers out while it lives (TAGQUILL_PCSC=off), so a test sees its own readers
// only, whatever pcscd serves, unless it asks for them.
enum class PcscReaders { kLeftOut, kServed };

class ScopedVirtualField : public VirtualField {
public:
    explicit ScopedVirtualField(PcscReaders pcsc = PcscReaders::kLeftOut);
    ~ScopedVirtualField();
    ScopedVirtualField(const ScopedVirtualField&) = delete;
    ScopedVirtualField& operator=(const ScopedVirtualField&) = delete;

private:
    std::optional<std::string> previous_;
    std::optional<std::string> previousPcsc_;
};

}  // namespace vreader
