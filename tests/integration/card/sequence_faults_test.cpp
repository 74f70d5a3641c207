// Save, clear and the access key change interrupted at every reader call: the card
// taken away after the call, the call failing, or (for the key change) a write that
// the reader answers as a forgiven trailer write without making it. Whatever the
// point, the error reaches the caller and the card is released, and what the card
// holds is judged by what a user may rely on, not by the calls the sequence makes,
// so that another safe order passes too:
//   - Save leaves the old, an empty or the new notice, and changes no block outside
//     the new record; Save again stores the new one;
//   - clear leaves the beginning of the old notice or nothing, changes only the old
//     record's blocks, to zeros; clear again empties it;
//   - Change ! leaves each trailer old or new, changes only the old record's blocks,
//     to zeros, leaves none of the old notice in a sector on the new key, says
//     "interrupted" (with the cause) once a trailer has changed, and the same change
//     again finishes the card, also when that re-run is itself cut at any call.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>

#include "card/access_key_change.h"
#include "card/key_change_interrupted.h"
#include "card/notice_file.h"
#include "card_test_support.h"
#include "errors/mifare_exception.h"
#include "errors/show_error.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

enum class Shape {
    kSaveOneBlock,
    kSaveTwoBlocks,
    kSaveGrowing,
    kSaveShrinking,
    kSaveFull,
    kSaveEmpty,
    kClear,
    kChange,
    kChangeEqualKeys,
    kChangeShorterKey,
};
enum class Fault { kCardTakenAway, kCallFails, kForgivenWrite };

using FaultCase = std::tuple<Variant, CardKind, Shape, Fault>;

constexpr std::int16_t kInjected = -3030;
using Key = std::array<std::uint8_t, 6>;

// Every call of the sweep, or with TAGQUILL_FAULT_SWEEP_STRIDE=n every nth (from the
// call TAGQUILL_FAULT_SWEEP_OFFSET gives) and the last: under Wine each reader call
// costs a few wineserver round trips. Sanitizer builds, which look for memory and
// thread faults rather than for a call the plain build's whole sweep misses, cut
// every 7th call from the fourth on: 7 shares no factor with the 3-, 5- and 17-call
// patterns repeated per sector, so every kind of call still gets its turn.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kDefaultStride = 7;
constexpr std::size_t kDefaultOffset = 3;
#else
constexpr std::size_t kDefaultStride = 1;
constexpr std::size_t kDefaultOffset = 0;
#endif

struct SweepSample {
    std::size_t stride = 1;
    std::size_t offset = 0;

    bool Takes(std::size_t index, std::size_t calls) const {
        return index + 1 == calls || (index >= offset && (index - offset) % stride == 0);
    }
};

SweepSample SampleFromEnvironment() {
    const auto number = [](const char* name) {
        const char* text = std::getenv(name);
        const int n = text != nullptr ? std::atoi(text) : 0;
        return n > 0 ? static_cast<std::size_t>(n) : std::size_t{0};
    };
    const std::size_t stride = number("TAGQUILL_FAULT_SWEEP_STRIDE");
    if (stride == 0) {
        return SweepSample{kDefaultStride, kDefaultOffset};
    }
    return SweepSample{stride, stride > 1 ? number("TAGQUILL_FAULT_SWEEP_OFFSET") % stride : 0};
}

Key KeyOf(const std::string& text) {
    Key key;
    key.fill(0xFF);
    std::copy(text.begin(), text.end(), key.begin());
    return key;
}

bool AllZero(const Bytes& image, int block) {
    return std::all_of(image.begin() + block * 16, image.begin() + block * 16 + 16,
                       [](std::uint8_t b) { return b == 0; });
}
bool SameBlock(const Bytes& a, const Bytes& b, int block) {
    return std::equal(a.begin() + block * 16, a.begin() + block * 16 + 16, b.begin() + block * 16);
}
int SectorOf(int block) {
    return block < 128 ? block / 4 : block / 16 + 24;
}

struct Outcome {
    bool failed = false;
    bool interrupted = false;
    std::u16string text;  // the error as the window shows it
};

class SequenceFaults : public testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override { platform::SetAnsiCodePageOverride(1252); }
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }

    const Variant& Library() const { return std::get<0>(GetParam()); }
    CardKind Kind() const { return std::get<1>(GetParam()); }
    Shape GetShape() const { return std::get<2>(GetParam()); }
    Fault GetFault() const { return std::get<3>(GetParam()); }
    bool Is1K() const { return Kind() == CardKind::kClassic1K; }
    bool IsSave() const { return GetShape() < Shape::kClear; }
    bool IsChange() const { return GetShape() >= Shape::kChange; }
    std::size_t Capacity() const { return DataAreaSize(Kind()) - 2; }

    std::size_t OldLength() const {
        switch (GetShape()) {
            case Shape::kSaveOneBlock:
            case Shape::kSaveTwoBlocks:
            case Shape::kSaveEmpty:
                return 40;
            case Shape::kSaveGrowing:
                return 30;
            case Shape::kSaveShrinking:
            case Shape::kSaveFull:
                return 200;
            default:
                // A 4K notice reaches the 16-block sectors.
                return Is1K() ? 100 : 2000;
        }
    }
    std::size_t NewLength() const {
        switch (GetShape()) {
            case Shape::kSaveOneBlock:
                return 10;
            case Shape::kSaveTwoBlocks:
                return 20;
            case Shape::kSaveGrowing:
                return Is1K() ? 100 : 2000;
            case Shape::kSaveShrinking:
                return 50;
            case Shape::kSaveFull:
                return Capacity();
            default:
                return 0;
        }
    }
    std::string CurrentKey() const {
        return GetShape() == Shape::kChangeShorterKey ? "Longer" : "";
    }
    std::string NewKey() const {
        switch (GetShape()) {
            case Shape::kChangeEqualKeys:
                return "";
            case Shape::kChangeShorterKey:
                return "k1";
            default:
                return "NewKey";
        }
    }

    std::string OldText() const { return std::string(OldLength(), 'o'); }
    std::string NewText() const { return std::string(NewLength(), 'q'); }
    Bytes Original() const {
        Bytes image = CardWithNotice(Kind(), OldText());
        for (int s = 0; s < SectorCount(Kind()); ++s) {
            if (!CurrentKey().empty())
                image = WithBlock(image, TrailerOfSector(s), TransportTrailer(KeyOf(CurrentKey())));
        }
        return image;
    }
    std::vector<int> RecordBlocks(std::size_t length) const {
        const std::vector<int> blocks = DataBlocks(Kind());
        return std::vector<int>(blocks.begin(), blocks.begin() + (length + 2 + 15) / 16);
    }

    Outcome Run(CACR120Mifare& card) const {
        Outcome outcome;
        try {
            if (IsSave()) {
                notice::WriteNotice(card, u"", platform::FromAnsi(NewText()));
            } else if (IsChange()) {
                const std::u16string current = platform::FromAnsi(CurrentKey());
                notice::ChangeAccessKey(
                    card, [&] { return current; }, platform::FromAnsi(NewKey()));
            } else {
                notice::EraseNotice(card, u"");
            }
        } catch (const CKeyChangeInterrupted& e) {
            outcome = Outcome{true, true, FormatError(e)};
            EXPECT_FALSE(e.CauseText().empty());
        } catch (const ICOMSrvException& e) {
            outcome = Outcome{true, false, FormatError(e)};
        }
        return outcome;
    }

    // Runs the sequence on `image` with the fault at call `index` of `calls`.
    std::pair<Outcome, Bytes> RunWithFault(const Bytes& image,
                                           const std::vector<std::string>& calls,
                                           std::size_t index) const {
        ReaderWithCard r(Library(), image);
        const std::string& function = calls[index];
        const int nth =
            static_cast<int>(std::count(calls.begin(), calls.begin() + index + 1, function));
        switch (GetFault()) {
            case Fault::kCardTakenAway:
                r.Field().RemoveCardAfter(r.Reader(), function, nth);
                break;
            case Fault::kCallFails:
                r.Field().FailCall(r.Reader(), function, nth, kInjected);
                break;
            case Fault::kForgivenWrite:
                r.Field().FailCall(r.Reader(), function, nth, r.Reader() == "COM1" ? -3010 : -3040);
                break;
        }
        const Outcome outcome = Run(r.Card());
        r.ExpectReleased();
        return {outcome, r.Image()};
    }

    std::pair<Outcome, Bytes> RunPlain(const Bytes& image, std::vector<std::string>* calls) const {
        ReaderWithCard r(Library(), image);
        const Outcome outcome = Run(r.Card());
        if (calls != nullptr)
            *calls = r.TakeFunctions();
        return {outcome, r.Image()};
    }

    std::string NoticeOf(const Bytes& image) const {
        ReaderWithCard r(Library(), image);
        return notice::ReadNotice(r.Card(), platform::FromAnsi(IsChange() ? NewKey() : ""))
            .storedText;
    }

    // The card a finished change leaves: every trailer new, the old record zero.
    Bytes Finished() const {
        Bytes image = Original();
        for (int s = 0; s < SectorCount(Kind()); ++s)
            image = WithBlock(image, TrailerOfSector(s), TransportTrailer(KeyOf(NewKey())));
        for (int block : RecordBlocks(OldLength()))
            image = WithBlock(image, block, Bytes(16, 0));
        return image;
    }

    // What the card may hold after a run that failed (or not) and that started on
    // `start`, itself left by this sequence.
    void ExpectSafe(const Bytes& start, const Outcome& outcome, const Bytes& image) const {
        const Bytes original = Original();
        for (int s = 0; s < SectorCount(Kind()); ++s) {
            const int trailer = TrailerOfSector(s);
            EXPECT_TRUE(SameBlock(image, original, trailer) ||
                        (IsChange() && SameBlock(image, Finished(), trailer)))
                << "trailer of sector " << s;
        }
        const std::vector<int> mayChange = RecordBlocks(IsSave() ? NewLength() : OldLength());
        for (int block : DataBlocks(Kind())) {
            const bool inRecord =
                std::find(mayChange.begin(), mayChange.end(), block) != mayChange.end();
            if (!inRecord) {
                EXPECT_TRUE(SameBlock(image, original, block)) << "block " << block;
            } else if (!IsSave()) {
                EXPECT_TRUE(SameBlock(image, original, block) || AllZero(image, block))
                    << "block " << block;
            }
        }
        if (IsSave()) {
            const std::string notice = NoticeOf(image);
            EXPECT_TRUE(notice == OldText() || notice.empty() || notice == NewText())
                << "a mixed notice of " << notice.size() << " bytes";
            EXPECT_TRUE(outcome.failed || notice == NewText());
            return;
        }
        if (!IsChange()) {
            const std::string notice = NoticeOf(image);
            EXPECT_EQ(notice, OldText().substr(0, notice.size()));
            EXPECT_TRUE(outcome.failed || notice.empty());
            return;
        }
        // No old text in a sector this run moved to the new key; a run that wrote
        // and failed says the change can be finished.
        for (int s = 0; s < SectorCount(Kind()); ++s) {
            const bool moved = SameBlock(image, Finished(), TrailerOfSector(s)) &&
                               !SameBlock(start, Finished(), TrailerOfSector(s));
            for (int block : RecordBlocks(OldLength())) {
                if (moved && SectorOf(block) == s) {
                    EXPECT_TRUE(AllZero(image, block)) << "old text in block " << block;
                }
            }
        }
        if (!outcome.failed) {
            EXPECT_TRUE(SameImage(image, Finished()));
        } else if (image != start) {
            EXPECT_TRUE(outcome.interrupted) << platform::Utf16ToUtf8(outcome.text);
        }
    }

    // The sequence run again, with no fault, finishes what the cut left.
    void ExpectFinishable(const Bytes& image) const {
        const auto [outcome, finished] = RunPlain(image, nullptr);
        ASSERT_FALSE(outcome.failed) << platform::Utf16ToUtf8(outcome.text);
        if (IsChange()) {
            EXPECT_TRUE(SameImage(finished, Finished()));
        } else if (IsSave()) {
            EXPECT_EQ(NoticeOf(finished), NewText());
        } else {
            for (int block : RecordBlocks(OldLength())) {
                EXPECT_TRUE(AllZero(finished, block)) << "old text in block " << block;
            }
        }
    }
};

TEST_P(SequenceFaults, ACutAtAnyCallLeavesACardTheSameSequenceFinishes) {
    std::vector<std::string> calls;
    {
        const auto [outcome, image] = RunPlain(Original(), &calls);
        ASSERT_FALSE(outcome.failed) << platform::Utf16ToUtf8(outcome.text);
        ExpectSafe(Original(), outcome, image);
    }
    const SweepSample sample = SampleFromEnvironment();
    // The re-run is swept too, after cuts at a few points of the first run's writes;
    // a sampled sweep (under Wine, where every call is slow) sweeps 1K re-runs only.
    std::vector<std::size_t> rerunAfter;
    if (sample.stride == 1 && Is1K()) {
        rerunAfter = {calls.size() / 2, calls.size() * 5 / 8, calls.size() * 3 / 4,
                      calls.size() * 7 / 8};
    } else if (sample.stride == 1 || Is1K()) {
        rerunAfter = {calls.size() * 3 / 4};
    }
    std::size_t swept = 0;
    for (std::size_t index = 0; index < calls.size(); ++index) {
        const bool rerunSwept =
            std::find(rerunAfter.begin(), rerunAfter.end(), index) != rerunAfter.end();
        if ((!sample.Takes(index, calls.size()) && !rerunSwept) ||
            (GetFault() == Fault::kForgivenWrite && calls[index] != "Write")) {
            continue;
        }
        SCOPED_TRACE("call " + std::to_string(index + 1) + ": " + calls[index]);
        const auto [outcome, image] = RunWithFault(Original(), calls, index);
        const bool cardGoneAfterLast =
            GetFault() == Fault::kCardTakenAway && index + 1 == calls.size();
        EXPECT_EQ(outcome.failed, !cardGoneAfterLast) << "a fault that went unnoticed";
        ExpectSafe(Original(), outcome, image);
        ExpectFinishable(image);

        if (!IsChange() || GetFault() == Fault::kForgivenWrite || image == Original() ||
            !rerunSwept) {
            continue;
        }
        std::vector<std::string> rerunCalls;
        RunPlain(image, &rerunCalls);
        for (std::size_t again = 0; again < rerunCalls.size(); ++again) {
            if (!sample.Takes(again, rerunCalls.size()))
                continue;
            SCOPED_TRACE("re-run call " + std::to_string(again + 1) + ": " + rerunCalls[again]);
            const auto [rerun, left] = RunWithFault(image, rerunCalls, again);
            ExpectSafe(image, rerun, left);
            // The first sector's logins tell the re-run that the card holds both keys.
            const std::size_t failing = again + (GetFault() == Fault::kCardTakenAway ? 1 : 0);
            if (rerun.failed && image != Finished() && failing >= 6 && CurrentKey() != NewKey() &&
                !SameBlock(image, Original(), TrailerOfSector(SectorCount(Kind()) - 1))) {
                EXPECT_TRUE(rerun.interrupted) << platform::Utf16ToUtf8(rerun.text);
            }
            ExpectFinishable(left);
            ++swept;
        }
    }
    if (IsChange() && GetFault() != Fault::kForgivenWrite && !rerunAfter.empty()) {
        EXPECT_GT(swept, 0u);
    }
}

std::string CaseName(const testing::TestParamInfo<FaultCase>& info) {
    const auto& [variant, kind, shape, fault] = info.param;
    static const char* kShapes[] = {
        "SaveOneBlock", "SaveTwoBlocks", "SaveGrowing", "SaveShrinking",   "SaveFull",
        "SaveEmpty",    "Clear",         "Change",      "ChangeEqualKeys", "ChangeShorterKey"};
    static const char* kFaults[] = {"CardTakenAway", "CallFails", "ForgivenWrite"};
    return Name(variant) + Name(kind) + kShapes[static_cast<int>(shape)] +
           kFaults[static_cast<int>(fault)];
}

// Both libraries and card sizes for the sequences' main shapes; the other shapes
// on the serial library, where they differ only in the record's extent.
INSTANTIATE_TEST_SUITE_P(
    Main, SequenceFaults,
    testing::Combine(testing::Values(kSerial, kUsb),
                     testing::Values(CardKind::kClassic1K, CardKind::kClassic4K),
                     testing::Values(Shape::kSaveGrowing, Shape::kClear, Shape::kChange),
                     testing::Values(Fault::kCardTakenAway, Fault::kCallFails)),
    CaseName);
INSTANTIATE_TEST_SUITE_P(
    Shapes, SequenceFaults,
    testing::Combine(testing::Values(kSerial), testing::Values(CardKind::kClassic1K),
                     testing::Values(Shape::kSaveOneBlock, Shape::kSaveTwoBlocks,
                                     Shape::kSaveShrinking, Shape::kSaveFull, Shape::kSaveEmpty,
                                     Shape::kChangeEqualKeys, Shape::kChangeShorterKey),
                     testing::Values(Fault::kCardTakenAway, Fault::kCallFails)),
    CaseName);
INSTANTIATE_TEST_SUITE_P(
    ForgivenTrailerWrites, SequenceFaults,
    testing::Combine(testing::Values(kSerial, kUsb),
                     testing::Values(CardKind::kClassic1K, CardKind::kClassic4K),
                     testing::Values(Shape::kChange), testing::Values(Fault::kForgivenWrite)),
    CaseName);

}  // namespace
}  // namespace cardtest
