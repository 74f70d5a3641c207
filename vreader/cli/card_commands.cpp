// new-card, place, remove, show, convert.

#include <filesystem>
#include <iostream>
#include <optional>

#include "ascii/hex.h"
#include "cli/card_display.h"
#include "cli/command_handlers.h"
#include "cli/exit_codes.h"
#include "control/card_formats.h"
#include "core/files.h"
#include "core/state.h"

namespace vreader::cli {

namespace fs = std::filesystem;

namespace {

CardKind CardKindArgument(const std::string& type) {
    if (type == "1k" || type == "1K") {
        return CardKind::kClassic1K;
    }
    if (type == "4k" || type == "4K") {
        return CardKind::kClassic4K;
    }
    if (type == "7b" || type == "7B") {
        return CardKind::kSevenByteUid;
    }
    BadValue("card type is 1k, 4k or 7b, not '" + type + "'");
}

std::optional<DumpFormat> FormatOption(const std::optional<std::string>& name) {
    if (!name) {
        return std::nullopt;
    }
    auto format = DumpFormatFromName(*name);
    if (!format) {
        BadValue("format is raw, eml, json or mct, not '" + *name + "'");
    }
    return format;
}

// Reads the card a user names: a file path, READER/NAME in a field, or a card name in
// the cards folder.
Bytes LoadCard(const VirtualField& field, const std::string& card) {
    std::error_code error;
    const fs::path file = files::Utf8Path(card);
    if (fs::exists(file, error) && !fs::is_directory(file, error)) {
        return LoadDump(file);
    }
    return field.ReadCard(card);
}

fs::path SaveToCardsFolder(VirtualField& field, const Bytes& image, const std::string& name) {
    if (name.find('/') != std::string::npos) {
        BadValue("'" + name + "' is no card file name: a name has no '/'");
    }
    if (!state::IsCardFileName(name)) {
        BadValue("'" + name + "' is no card file name (a name ending in .mfd, .bin or .dump)");
    }
    std::error_code error;
    vreader::files::MakeFolders(field.CardsDir());
    const fs::path where = field.CardsDir() / files::Utf8Path(name);
    if (fs::exists(where, error)) {
        throw ControlError(ErrorKind::kExists,
                           "a card " + name + " exists already in " + field.CardsDir().string());
    }
    SaveDump(where, image, DumpFormat::kRaw);
    return where;
}

}  // namespace

int NewCardCommand(VirtualField& field, const Args& args) {
    const CardKind kind = CardKindArgument(args.At(0, "card type (1k, 4k or 7b)"));
    std::optional<Bytes> uid;
    if (auto text = args.Option("uid")) {
        uid = HexArgument(*text, "--uid");
    }
    const auto reader = args.Option("reader");
    const auto out = args.Option("out");
    if (reader && out) {
        throw UsageError("--reader and --out exclude each other");
    }
    const Bytes image = MakeBlankCard(kind, uid);
    const Bytes cardUid = UidOfImage(image);
    const std::string name =
        args.Option("name").value_or("card-" + ascii::HexText(cardUid) + ".mfd");
    fs::path where;
    if (out) {
        std::error_code error;
        where = files::Utf8Path(*out);
        if (fs::exists(where, error)) {
            throw ControlError(ErrorKind::kExists, *out + " exists already");
        }
        SaveDump(where, image);
    } else if (reader) {
        where = field.PlaceImage(ExistingReader(field, *reader), image, name);
    } else {
        where = SaveToCardsFolder(field, image, name);
    }
    std::cout << KindName(image.size()) << ", UID " << ascii::HexText(cardUid) << ": "
              << where.string() << "\n";
    return kOk;
}

int PlaceCommand(VirtualField& field, const Args& args) {
    const std::string card = args.At(0, "card");
    const std::string reader = ExistingReader(field, args.At(1, "reader"));
    std::error_code error;
    fs::path placed;
    const fs::path file = files::Utf8Path(card);
    if (fs::is_regular_file(file, error) && file.parent_path() != field.CardsDir()) {
        // A dump from elsewhere: the reader gets a raw copy; the file stays as it is.
        const Bytes image = LoadDump(file, FormatOption(args.Option("from")));
        const std::string name = args.Option("name").value_or(file.stem().string() + ".mfd");
        placed = field.PlaceImage(reader, image, name);
    } else {
        if (fs::is_directory(file, error) &&
            !fs::is_regular_file(field.CardsDir() / file.filename(), error)) {
            throw FolderIsNoCard(card);
        }
        if (args.Option("name") || args.Option("from")) {
            throw UsageError("--name and --from apply to files only; a card keeps its name");
        }
        placed = field.PlaceCard(file.filename().string(), reader);
    }
    std::cout << "In the field of " << reader << ": " << placed.string() << "\n";
    return kOk;
}

int RemoveCommand(VirtualField& field, const Args& args) {
    const std::string reader = ExistingReader(field, args.At(0, "reader"));
    if (args.positional.size() > 1) {
        // Taken away first: a card that is not there prints nothing but the error.
        const fs::path moved = field.RemoveCard(reader, args.positional[1]);
        std::cout << "Taken away: " << moved.string() << "\n";
        return kOk;
    }
    const auto cards = field.Field(reader);
    if (cards.empty()) {
        throw ControlError(ErrorKind::kNotFound, "no card in the field of " + reader);
    }
    for (const auto& card : cards) {
        const fs::path moved = field.RemoveCard(reader, card.name);
        std::cout << "Taken away: " << moved.string() << "\n";
    }
    return kOk;
}

int ShowCommand(VirtualField& field, const Args& args) {
    const std::string card = args.At(0, "card");
    ShowImage(LoadCard(field, card), card);
    return kOk;
}

int ConvertCommand(VirtualField&, const Args& args) {
    const fs::path in = files::Utf8Path(args.At(0, "input file"));
    const fs::path out = files::Utf8Path(args.At(1, "output file"));
    const auto from = FormatOption(args.Option("from"));
    const auto to = FormatOption(args.Option("to"));
    const Bytes image = LoadDump(in, from);
    SaveDump(out, image, to);
    std::cout << KindName(image.size()) << ", UID " << ascii::HexText(UidOfImage(image)) << ": "
              << in.string() << " -> " << out.string() << "\n";
    return kOk;
}

}  // namespace vreader::cli
