// A long run of the program's parts together: a connected reader with its presence
// monitor, cards placed, removed and replaced at random moments, Load, Save and Change !
// at random, and random faults (failed calls, a card taken away in the middle of a
// command, latency). After every step it holds the program to what it reported:
//   - no command hangs (a watchdog ends the run after 60 s in one command);
//   - the reader lock is free and no card is held after every command;
//   - Load gives the stored notice; a Save that succeeded reads back from the card
//     image; a failed Save left the old, an empty or the new notice and changed no
//     block outside its record; Change ! left every sector's key new and the old
//     notice's blocks zero on success, only the old and the new key on failure,
//     changed no data block but the old notice's, to zeros, left none of it in a
//     sector on the new key, said "interrupted" (with the cause) whenever it left a
//     new key, and a Change ! cut short is finished by the same Change ! again;
//   - once the faults are lifted, the window's idea of the field (from the monitor's
//     messages) matches the field.
// Prints the counts, the resident memory growth and the open descriptors; exits 1 on
// any violation. Not a test: it runs for minutes.
//
//   tagquill-soak [--minutes N] [--seed S] [--usb]     (10 minutes by default)

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "card/access_key_change.h"
#include "card/acr120_mifare.h"
#include "card/key_change_interrupted.h"
#include "card/notice_file.h"
#include "card_image.h"
#include "control/virtual_field.h"
#include "errors/atl_exception.h"
#include "errors/coded_exception.h"
#include "monitor/message_poster.h"
#include "monitor/mon_thread.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using soak::Bytes;

class SoakCard : public CACR120Mifare {
public:
    SoakCard() : CACR120Mifare(&CMonThread::Create) {}
    void SetPollInterval(std::chrono::milliseconds interval) {
        static_cast<CMonThread&>(*monitor_).SetPollInterval(interval);
    }
    // Free within a while: the monitor holds it for each listing.
    bool LockFreesUp() {
        for (auto end = Clock::now() + 3s; Clock::now() < end; std::this_thread::sleep_for(1ms)) {
            if (std::unique_lock(GetReaderLock(), std::try_to_lock).owns_lock()) {
                return true;
            }
        }
        return false;
    }
};

// The window's idea of the field, from the monitor's messages.
class Window final : public IMessagePoster {
public:
    void Post(std::uint32_t, std::uintptr_t wParam) override {
        std::lock_guard hold(mutex_);
        last_ = wParam;
        ++messages_;
    }
    std::uintptr_t Last() {
        std::lock_guard hold(mutex_);
        return last_;
    }
    long Messages() {
        std::lock_guard hold(mutex_);
        return messages_;
    }

private:
    std::mutex mutex_;
    std::uintptr_t last_ = 0;
    long messages_ = 0;
};

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count - 1;  // the listing's own
}

struct CardModel {
    std::string keyText;
    std::string notice;
};

class Soak {
public:
    Soak(unsigned seed, bool usb) : random_(seed), reader_(usb ? "USB1" : "COM1") {
        platform::SetAnsiCodePageOverride(1252);
        field_.NewCard(reader_, vreader::CardKind::kClassic1K, Bytes{1, 1, 1, 1}, "a.mfd");
        field_.RemoveCard(reader_, "a.mfd");
        field_.NewCard(reader_, vreader::CardKind::kClassic4K, Bytes{2, 2, 2, 2}, "b.mfd");
        field_.RemoveCard(reader_, "b.mfd");
        field_.NewCard(reader_, vreader::CardKind::kClassic1K, Bytes{3, 3, 3, 3}, "c.mfd");
        for (const char* name : {"a.mfd", "b.mfd", "c.mfd"}) {
            models_[name] = CardModel{};
        }
        card_.SetPollInterval(50ms);
        const std::u16string name(reader_.begin(), reader_.end());
        card_.SetReaderName(name.c_str());
        card_.Connect();
        card_.StartMonitor(&window_, kMonitorMessage);
    }

    void Step();
    void Finish() { card_.Disconnect(); }
    int Report(double minutes, long rssStart, long rssMaxGrowth, int fdsBefore);

private:
    std::string InField() {
        const auto cards = field_.Field(reader_);
        return cards.empty() ? std::string() : cards.front().name;
    }
    Bytes ImageOf(const std::string& name) {
        for (const auto& card : field_.Field(reader_)) {
            if (card.name == name) {
                return field_.ReadCard(reader_ + "/" + name);
            }
        }
        return field_.ReadCard(name);
    }
    void PutImage(const std::string& name, const Bytes& image) {
        for (const auto& card : field_.Field(reader_)) {
            if (card.name == name) {
                field_.WriteCard(reader_, name, image);
                return;
            }
        }
        std::ofstream(field_.CardsDir() / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<long>(image.size()));
    }
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    void MoveCards();
    bool InjectFault();
    void Violation(const std::string& what) {
        ++violations_;
        std::fprintf(stderr, "violation: %s\n", what.c_str());
    }
    void Command(int kind, const std::string& cardName, bool faulted);
    void FinishChange(const std::string& name, const std::u16string& key,
                      const std::string& newKeyText, std::size_t oldRecord);
    void CheckWindow();

    std::mt19937 random_;
    std::string reader_;
    vreader::ScopedVirtualField field_;
    SoakCard card_;
    Window window_;
    std::map<std::string, CardModel> models_;
    std::map<std::string, long> counts_;
    long violations_ = 0;
};

void Soak::MoveCards() {
    const std::string present = InField();
    if (!present.empty()) {
        field_.RemoveCard(reader_, present);
        ++counts_["card removed"];
        if (Pick(2) == 0) {
            return;
        }
    }
    const auto away = field_.OffFieldCards();
    if (!away.empty()) {
        field_.PlaceCard(away[static_cast<std::size_t>(Pick(static_cast<int>(away.size())))].name,
                         reader_);
        ++counts_[present.empty() ? "card placed" : "card replaced"];
    }
}

bool Soak::InjectFault() {
    static const char* kFunctions[] = {"MultiTagSelect", "Login", "Read", "Write"};
    const std::string listing = reader_[0] == 'U' ? "ListTags" : "ListTag";
    const std::string function = Pick(5) == 0 ? listing : kFunctions[Pick(4)];
    switch (Pick(4)) {
        case 0: {
            static const std::int16_t kCodes[] = {-3030, -3000, -4011, -1000, -3040};
            field_.FailCall(reader_, function, 1 + Pick(40), kCodes[Pick(5)]);
            ++counts_["fault: failed " + function];
            return true;
        }
        case 1:
            field_.RemoveCardAfter(reader_, function, 1 + Pick(40));
            ++counts_["fault: card taken away after " + function];
            return true;
        case 2:
            field_.SetLatency(reader_, std::chrono::milliseconds(1 + Pick(10)));
            ++counts_["fault: latency"];
            return false;  // slower, but no excuse for a failure
        default:
            return false;
    }
}

void Soak::Command(int kind, const std::string& name, bool faulted) {
    CardModel& model = models_[name];
    const Bytes before = ImageOf(name);
    const bool wrongKey = Pick(10) == 0;
    const std::string keyText = wrongKey ? "wrong" : model.keyText;
    const std::u16string key(keyText.begin(), keyText.end());
    std::string text;
    const std::size_t length = static_cast<std::size_t>(Pick(Pick(8) == 0 ? 3500 : 200));
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char>('a' + Pick(26));
    }
    const std::string newKeyText = std::string(1, static_cast<char>('A' + Pick(26))) + "k";
    static const char* kNames[] = {"Load", "Save", "Change !"};
    const std::string what = kNames[kind];

    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (auto end = Clock::now() + 60s; !done && Clock::now() < end;) {
            std::this_thread::sleep_for(10ms);
        }
        if (!done) {
            std::fprintf(stderr, "violation: %s hangs\n", what.c_str());
            std::_Exit(1);
        }
    });
    std::string error;
    notice::NoticeContent loaded{};
    try {
        if (kind == 0) {
            loaded = notice::ReadNotice(card_, key);
        } else if (kind == 1) {
            notice::WriteNotice(card_, key, std::u16string(text.begin(), text.end()));
        } else {
            notice::ChangeAccessKey(
                card_, [&] { return key; }, std::u16string(newKeyText.begin(), newKeyText.end()));
        }
    } catch (const CKeyChangeInterrupted& e) {
        error = "interrupted: " + platform::Utf16ToUtf8(e.CauseText());
    } catch (const CACR120Exception& e) {
        error = "reader error " + std::to_string(e.GetReturnCode());
    } catch (const CCodedException& e) {
        error = "coded error " + std::to_string(e.GetCode());
    } catch (const ICOMSrvException&) {
        error = "card layer error";
    } catch (const CAtlException&) {
        error = "framework error";
    }
    done = true;
    watchdog.join();
    ++counts_[what + (error.empty() ? " ok" : " failed: " + error)];

    if (!card_.LockFreesUp()) {
        Violation(what + " left the reader lock held");
    }
    if (card_.IsCardConnected()) {
        Violation(what + " left the card held");
    }
    const Bytes after = ImageOf(name);
    const bool expectedToWork =
        !faulted && !wrongKey && (kind != 1 || text.size() <= soak::Capacity(before.size()));
    if (!error.empty() && expectedToWork) {
        Violation(what + " failed without a cause: " + error);
    }
    const auto trailers = soak::Trailers(after.size());
    if (kind == 0) {
        if (error.empty() && loaded.storedText != model.notice) {
            Violation("Load gave another notice than the one stored");
        }
        if (after != before) {
            Violation("Load changed the card");
        }
    } else if (kind == 1) {
        if (error.empty() && soak::Notice(after) != text) {
            Violation("a Save reported done does not read back");
        }
        const std::string left = soak::Notice(after);
        if (!error.empty() && left != soak::Notice(before) && !left.empty() && left != text) {
            Violation(
                "a failed Save left a notice that is neither the old, nor empty, nor the new");
        }
        if (!soak::OnlyFirstBlocksChanged(before, after, (text.size() + 2 + 15) / 16)) {
            Violation("a Save changed blocks outside its record");
        }
        model.notice = soak::Notice(after);
    } else {
        const soak::Key oldKey = soak::KeyOfText(model.keyText);
        const soak::Key newKey = soak::KeyOfText(newKeyText);
        std::size_t changed = 0;
        for (int trailer : trailers) {
            const soak::Key key = soak::KeyA(after, trailer);
            changed += key == newKey;
            if (key != newKey && key != oldKey) {
                Violation("Change ! left a third key");
            }
        }
        const std::size_t oldRecord = soak::RecordBlocks(before);
        if (error.empty() &&
            (changed != trailers.size() || !soak::FirstBlocksZero(after, oldRecord))) {
            Violation("a Change ! reported done left an old key or the old notice");
        }
        if (const std::string broke = soak::ChangeBrokeTheRecord(before, after, newKey);
            !broke.empty()) {
            Violation("a Change ! " + broke);
        }
        if (!error.empty() && changed != 0 && newKey != oldKey &&
            error.rfind("interrupted: ", 0) != 0) {
            Violation("a failed Change ! that left a new key did not say it was interrupted");
        }
        if (!error.empty() && changed != 0) {
            FinishChange(name, key, newKeyText, oldRecord);
        }
        if (error.empty() || changed != 0) {
            model.keyText = newKeyText;
        }
        model.notice = soak::Notice(ImageOf(name));
    }
}

// A Change ! cut short is finished as its user would: the card put back, the same
// Change ! again, with the faults lifted.
void Soak::FinishChange(const std::string& name, const std::u16string& key,
                        const std::string& newKeyText, std::size_t oldRecord) {
    field_.ClearFaults(reader_);
    if (InField() != name) {
        if (!InField().empty()) {
            field_.RemoveCard(reader_, InField());
        }
        field_.PlaceCard(name, reader_);
    }
    try {
        notice::ChangeAccessKey(
            card_, [&] { return key; }, std::u16string(newKeyText.begin(), newKeyText.end()));
    } catch (const ICOMSrvException& e) {
        Violation("the same Change ! did not finish a card it had cut short: " +
                  platform::Utf16ToUtf8(e.GetDescription()));
        return;
    }
    const Bytes after = ImageOf(name);
    const soak::Key newKey = soak::KeyOfText(newKeyText);
    for (int trailer : soak::Trailers(after.size())) {
        if (soak::KeyA(after, trailer) != newKey) {
            Violation("a finished Change ! left a sector on the old key");
            break;
        }
    }
    if (!soak::FirstBlocksZero(after, oldRecord)) {
        Violation("a finished Change ! left the old notice readable");
    }
    ++counts_["cards finished by the same Change !"];
}

void Soak::CheckWindow() {
    const std::string present = InField();
    std::uintptr_t expected = 0;
    if (!present.empty()) {
        expected = ImageOf(present).size() == 1024 ? CMonThread::CardPresent(kCardTypeMifare1K)
                                                   : CMonThread::CardPresent(kCardTypeMifare4K);
    }
    for (auto end = Clock::now() + 3s; Clock::now() < end; std::this_thread::sleep_for(5ms)) {
        if (window_.Last() == expected) {
            return;
        }
    }
    Violation("the window's idea of the field differs from the field");
}

void Soak::Step() {
    if (Pick(4) == 0 || InField().empty()) {
        MoveCards();
    }
    const std::string name = InField();
    if (name.empty()) {
        CheckWindow();
        return;
    }
    const bool faulted = Pick(2) == 0 && InjectFault();
    const int kind = Pick(10) < 4 ? 0 : (Pick(5) < 4 ? 1 : 2);
    Command(kind, name, faulted);
    field_.ClearFaults(reader_);
    ++counts_["commands"];
    CheckWindow();
}

int Soak::Report(double minutes, long rssStart, long rssMaxGrowth, int fdsBefore) {
    std::printf("soak run over %s, %.1f minutes\n", reader_.c_str(), minutes);
    for (const auto& [what, count] : counts_) {
        std::printf("  %-50s %8ld\n", what.c_str(), count);
    }
    std::printf("  %-50s %8ld\n", "monitor messages", window_.Messages());
    std::printf("  %-50s %8ld\n", "violations", violations_);
    std::printf("resident memory: %ld KiB at start, largest growth %ld KiB\n", rssStart,
                rssMaxGrowth);
    std::printf("open descriptors: %d before, %d after\n", fdsBefore, OpenDescriptors());
    return violations_ == 0 && OpenDescriptors() <= fdsBefore ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    double minutes = 10;
    unsigned seed = std::random_device{}();
    bool usb = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--usb") == 0) {
            usb = true;
        } else {
            std::fprintf(stderr, "usage: tagquill-soak [--minutes N] [--seed S] [--usb]\n");
            return 2;
        }
    }
    std::printf("seed %u\n", seed);
    const int fdsBefore = OpenDescriptors();
    long rssStart = 0;
    long rssMaxGrowth = 0;
    int result = 0;
    {
        Soak soak(seed, usb);
        rssStart = ResidentKiB();
        const auto end = Clock::now() + std::chrono::duration<double, std::ratio<60>>(minutes);
        while (Clock::now() < end) {
            soak.Step();
            rssMaxGrowth = std::max(rssMaxGrowth, ResidentKiB() - rssStart);
        }
        soak.Finish();
        result = soak.Report(minutes, rssStart, rssMaxGrowth, fdsBefore);
    }
    return result;
}
