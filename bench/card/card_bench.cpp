// What Load, Save, Change ! and clear cost in reader calls and time on 1K and 4K cards,
// over the virtual reader with a fixed latency per call. Each row shows the
// calls made, the fewest calls the sequence's algorithm allows, and what a
// whole-card dump (for Load) or restore (for Save and Change !) would cost.
// Prints figures; checks none.
//
//   tagquill-bench-card [latency-ms=10] [serial|usb]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "card/access_key_change.h"
#include "card/acr120_mifare.h"
#include "card/block_maps.h"
#include "card/mifare_geometry.h"
#include "card/notice_file.h"
#include "card/notice_text.h"
#include "control/virtual_field.h"
#include "monitor/mon_thread.h"
#include "platform/code_page.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;
using vreader::Bytes;
using vreader::CardKind;

enum class Operation { kLoad, kSave, kChange, kClear };

struct Counts {
    int list = 0, select = 0, login = 0, read = 0, write = 0;
    int Total() const { return list + select + login + read + write; }
};

// Blocks of the default map that bytes [offset, offset + length) touch.
std::vector<int> BlocksOf(std::uint16_t cardType, std::size_t offset, std::size_t length) {
    std::vector<int> blocks;
    if (length == 0) {
        return blocks;
    }
    const auto map = mifare::DefaultBlockMap(cardType);
    for (std::size_t i = offset / 16; i <= (offset + length - 1) / 16; ++i) {
        blocks.push_back(map[i]);
    }
    return blocks;
}

// Sector changes along a run of blocks, starting authenticated in `sector`.
int LoginsAlong(const std::vector<int>& blocks, int& sector) {
    int logins = 0;
    for (int block : blocks) {
        if (mifare::SectorOfBlock(block) != sector) {
            sector = mifare::SectorOfBlock(block);
            ++logins;
        }
    }
    return logins;
}

// The fewest calls the sequences allow: one listing and one selection, one
// select-and-login per sector entered, a read only for the length and for a
// block the record ends inside, a write per block changed; and what the care for
// a card taken away adds: Save proves every sector of its record before it writes
// and writes the first block twice (length zero, then the real one), Change ! and
// clear prove every sector before they write, and Change ! erases the old notice
// and checks every trailer before it writes and the new key after.
Counts Least(Operation op, std::uint16_t cardType, std::size_t textLength) {
    Counts c;
    c.list = 1;
    int sector = 0;
    int logins = 1;  // sector 0, where the record begins
    const int sectors = cardType == kCardTypeMifare1K ? 16 : 40;
    switch (op) {
        case Operation::kLoad: {
            const auto length = BlocksOf(cardType, 0, 2);
            const auto text = BlocksOf(cardType, 2, textLength);
            logins += LoginsAlong(text, sector);
            c.read = static_cast<int>(length.size() + text.size());
            break;
        }
        case Operation::kSave: {
            // Proved last to first, written first to last, then sector 0 again.
            const std::size_t record = textLength + 2;
            const auto blocks = BlocksOf(cardType, 0, record);
            const int recordSectors = mifare::SectorOfBlock(blocks.back()) + 1;
            logins = recordSectors > 1 ? 2 * recordSectors : 1;
            c.read = record % 16 != 0 ? 1 : 0;
            c.write = static_cast<int>(blocks.size()) + (blocks.size() > 1 ? 1 : 0);
            break;
        }
        case Operation::kChange: {
            // Every sector proved with the current key and its trailer read, last to
            // first, then the length; every sector logged in again, its blocks of the
            // record zeroed and its trailer written; every sector proved with the new
            // key. A record of zeros needs no erase.
            logins = 3 * sectors;
            c.read = sectors + 1;
            c.write = sectors;
            if (textLength != 0) {
                c.write += static_cast<int>(BlocksOf(cardType, 0, textLength + 2).size());
            }
            break;
        }
        case Operation::kClear: {
            // The length read; the record's sectors proved first to last, then its
            // blocks zeroed last to first, the length last.
            c.read = 1;
            if (textLength == 0) {
                break;
            }
            const auto blocks = BlocksOf(cardType, 0, textLength + 2);
            const int lastSector = mifare::SectorOfBlock(blocks.back());
            logins += 2 * lastSector;
            c.write = static_cast<int>(blocks.size());
            break;
        }
    }
    c.login = logins;
    c.select = 1 + logins;
    return c;
}

Bytes CardWithNotice(CardKind kind, std::uint16_t cardType, std::size_t textLength) {
    Bytes image = vreader::MakeBlankCard(kind, Bytes{0x01, 0x02, 0x03, 0x04});
    if (textLength == 0) {
        return image;
    }
    Bytes record{static_cast<std::uint8_t>(textLength & 0xFF),
                 static_cast<std::uint8_t>(textLength >> 8)};
    for (std::size_t i = 0; i < textLength; ++i) {
        record.push_back(static_cast<std::uint8_t>('a' + i % 26));
    }
    const auto map = mifare::DefaultBlockMap(cardType);
    for (std::size_t i = 0; i < record.size(); ++i) {
        image[static_cast<std::size_t>(map[i / 16]) * 16 + i % 16] = record[i];
    }
    return image;
}

struct Row {
    Counts made;
    double elapsedMs = 0;
};

Row Measure(Operation op, CardKind kind, std::size_t textLength, int latencyMs, bool usb) {
    const std::uint16_t cardType =
        kind == CardKind::kClassic1K ? kCardTypeMifare1K : kCardTypeMifare4K;
    const std::string reader = usb ? "USB1" : "COM1";
    vreader::ScopedVirtualField field;
    field.PlaceImage(reader,
                     CardWithNotice(kind, cardType, op == Operation::kSave ? 0 : textLength),
                     "card.mfd");
    CACR120Mifare card(&CMonThread::Create);
    card.SetReaderName(usb ? u"USB1" : u"COM1");
    card.Connect();
    field.SetLatency(reader, std::chrono::milliseconds(latencyMs));
    field.ClearCallLog(reader);

    const std::u16string text(textLength, u'x');
    const auto start = Clock::now();
    switch (op) {
        case Operation::kLoad:
            notice::ReadNotice(card, u"");
            break;
        case Operation::kSave:
            notice::WriteNotice(card, u"", text);
            break;
        case Operation::kChange:
            notice::ChangeAccessKey(
                card, [] { return std::u16string(); }, u"bench");
            break;
        case Operation::kClear:
            notice::EraseNotice(card, u"");
            break;
    }
    Row row;
    row.elapsedMs = Ms(Clock::now() - start).count();
    for (const auto& call : field.CallLog(reader)) {
        const std::string& f = call.function;
        if (f == "ListTag" || f == "ListTags")
            ++row.made.list;
        else if (f == "MultiTagSelect")
            ++row.made.select;
        else if (f == "Login")
            ++row.made.login;
        else if (f == "Read")
            ++row.made.read;
        else if (f == "Write")
            ++row.made.write;
    }
    return row;
}

std::string Format(const Counts& c) {
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d/%d/%d = %d", c.list, c.select, c.login, c.read,
                  c.write, c.Total());
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int latencyMs = argc > 1 ? std::atoi(argv[1]) : 10;
    const bool usb = argc > 2 && std::string(argv[2]) == "usb";
#ifndef _WIN32
    // The virtual reader syncs every card write to disk; that is no reader's cost.
    std::error_code ec;
    if (std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", ec)) {
        ::setenv("TMPDIR", "/dev/shm", 0);
    }
#endif
    platform::SetAnsiCodePageOverride(1252);

    std::printf(
        "Reader latency %d ms per call, %s library. Calls: list/select/login/read/write = total.\n",
        latencyMs, usb ? "USB" : "serial");
    std::printf(
        "Dump (Load) or restore (Save, Change !, clear): every sector's login and every block, "
        "16 + 64 = 80 calls on 1K, 40 + 256 = 296 on 4K.\n\n");
    std::printf(
        "| Operation | Card | Notice | Calls made | Time (ms) | Fewest allowed | Dump/restore "
        "calls | "
        "Dump/restore (ms) |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    const struct {
        Operation op;
        const char* name;
    } operations[] = {{Operation::kLoad, "Load"},
                      {Operation::kSave, "Save"},
                      {Operation::kChange, "Change !"},
                      {Operation::kClear, "clear"}};
    for (const auto& operation : operations) {
        for (CardKind kind : {CardKind::kClassic1K, CardKind::kClassic4K}) {
            const bool is1K = kind == CardKind::kClassic1K;
            const std::uint16_t cardType = is1K ? kCardTypeMifare1K : kCardTypeMifare4K;
            const std::size_t capacity = notice_text::Capacity(cardType);
            const int wholeCard = is1K ? 16 + 64 : 40 + 256;
            const struct {
                const char* name;
                std::size_t length;
            } notices[] = {{"empty", 0}, {"half", capacity / 2}, {"full", capacity}};
            for (const auto& notice : notices) {
                const Row row = Measure(operation.op, kind, notice.length, latencyMs, usb);
                const Counts least = Least(operation.op, cardType, notice.length);
                std::printf("| %s | %s | %s (%zu) | %s | %.0f | %s | %d | %d |\n", operation.name,
                            is1K ? "1K" : "4K", notice.name, notice.length,
                            Format(row.made).c_str(), row.elapsedMs, Format(least).c_str(),
                            wholeCard, wholeCard * latencyMs);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
