// Save and the access key change interrupted at every reader call: the card
// taken away after the call, or the call failing. Whatever the point, the error
// reaches the caller, the card is released, the card holds exactly the blocks
// written before the interruption, and the card can be used again: a Save leaves
// the old, an empty or the new notice, and the same Change ! run again finishes
// the change and leaves no byte of the old notice.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "card/notice_file.h"
#include "card_test_support.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

enum class Sequence { kSave, kChange };
enum class Fault { kCardTakenAway, kCallFails };

using FaultCase = std::tuple<Variant, CardKind, Sequence, Fault>;

constexpr std::int16_t kInjected = -3030;
const std::array<std::uint8_t, 6> kNewKey{'N', 'e', 'w', 'K', 'e', 'y'};

// Every call of the sweep, or with TAGQUILL_FAULT_SWEEP_STRIDE=n every nth (from the
// call TAGQUILL_FAULT_SWEEP_OFFSET gives) and the last: under Wine each reader call
// costs a few wineserver round trips.
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
    return SweepSample{stride > 1 ? stride : 1,
                       stride > 1 ? number("TAGQUILL_FAULT_SWEEP_OFFSET") % stride : 0};
}

int SectorOf(int block) {
    return block < 128 ? block / 4 : block / 16 + 24;
}

Bytes BlockOf(const Bytes& image, int block) {
    return Bytes(image.begin() + block * 16, image.begin() + block * 16 + 16);
}

// What a sequence should do, worked out from the card format alone: the reader
// calls in order and the content of each block write.
class Plan {
public:
    explicit Plan(const std::string& listFunction) : calls{listFunction, "MultiTagSelect"} {}

    void Login(int sector) {
        calls.insert(calls.end(), {"MultiTagSelect", "Login"});
        sector_ = sector;
    }
    void Read(int block) {
        Enter(block);
        calls.push_back("Read");
    }
    void Write(int block, Bytes content) {
        Enter(block);
        calls.push_back("Write");
        writes.emplace_back(block, std::move(content));
    }
    // The image after the first `count` writes.
    Bytes After(Bytes image, std::size_t count) const {
        for (std::size_t i = 0; i < count; ++i)
            image = WithBlock(image, writes[i].first, writes[i].second);
        return image;
    }

    std::vector<std::string> calls;
    std::vector<std::pair<int, Bytes>> writes;
    std::size_t firstPassEnd = 0;  // calls before the key change's first trailer login

private:
    void Enter(int block) {
        if (SectorOf(block) != sector_)
            Login(SectorOf(block));
    }
    int sector_ = -1;
};

class SequenceFaults : public testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override { platform::SetAnsiCodePageOverride(1252); }
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }

    const Variant& Library() const { return std::get<0>(GetParam()); }
    CardKind Kind() const { return std::get<1>(GetParam()); }
    bool Save() const { return std::get<2>(GetParam()) == Sequence::kSave; }
    bool TakenAway() const { return std::get<3>(GetParam()) == Fault::kCardTakenAway; }
    std::string ListFunction() const { return Library().reader == "USB1" ? "ListTags" : "ListTag"; }

    // Crosses sector borders and ends inside a block, so the last block is read
    // first. The old notice is longer: a cut that left old text behind the new
    // length would show.
    std::string NewText() const {
        return std::string(Kind() == CardKind::kClassic1K ? 100 : 2000, 'q');
    }
    std::string OldText() const {
        return Save() ? std::string(NewText().size() + 200, 'o') : std::string(100, 'o');
    }
    Bytes Original() const { return CardWithNotice(Kind(), OldText()); }
    std::size_t OldRecordBlocks() const { return (OldText().size() + 2 + 15) / 16; }

    Plan SavePlan() const {
        Plan plan(ListFunction());
        const Bytes record = Record(NewText());
        const std::vector<int> blocks = DataBlocks(Kind());
        const std::size_t count = (record.size() + 15) / 16;
        for (int s = SectorOf(blocks[count - 1]); s >= 0; --s)
            plan.Login(s);
        const Bytes image = WithData(Original(), Kind(), 0, record);
        Bytes first = BlockOf(image, blocks[0]);
        first[0] = first[1] = 0;
        plan.Write(blocks[0], first);
        for (std::size_t i = 1; i < count; ++i) {
            if (i + 1 == count && record.size() % 16 != 0)
                plan.Read(blocks[i]);
            plan.Write(blocks[i], BlockOf(image, blocks[i]));
        }
        plan.Write(blocks[0], BlockOf(image, blocks[0]));
        return plan;
    }

    Plan ChangePlan() const {
        Plan plan(ListFunction());
        const int sectors = SectorCount(Kind());
        for (int s = 0; s < sectors; ++s)
            plan.Login(s);
        plan.firstPassEnd = plan.calls.size();
        for (int s = 0; s < sectors; ++s) {
            plan.Login(s);
            plan.Write(TrailerOfSector(s), TransportTrailer(kNewKey));
        }
        for (int s = sectors; s-- > 0;)
            plan.Login(s);
        // The erase: the old length, then zeros, the first block first.
        const std::vector<int> blocks = DataBlocks(Kind());
        plan.Read(blocks[0]);
        plan.Write(blocks[0], Bytes(16, 0));
        for (std::size_t i = OldRecordBlocks(); i-- > 1;)
            plan.Write(blocks[i], Bytes(16, 0));
        return plan;
    }

    Plan SequencePlan() const { return Save() ? SavePlan() : ChangePlan(); }

    void Run(CACR120Mifare& card) const {
        if (Save()) {
            WriteNotice(card, u"", platform::FromAnsi(NewText()));
        } else {
            ChangeAccessKey(
                card, [] { return std::u16string(); }, u"NewKey");
        }
    }

    // The card put back on a reader after the interruption.
    void ExpectUsable(const Bytes& image) const {
        ReaderWithCard r(Library(), image);
        if (Save()) {
            const std::string loaded = ReadNotice(r.Card(), u"").storedText;
            EXPECT_TRUE(loaded == OldText() || loaded.empty() || loaded == NewText())
                << "a mixed notice of " << loaded.size() << " bytes";
            return;
        }
        ASSERT_NO_THROW(ChangeAccessKey(
            r.Card(), [] { return std::u16string(); }, u"NewKey"))
            << "the same Change ! does not finish the card";
        const Bytes finished = r.Image();
        for (int s = 0; s < SectorCount(Kind()); ++s)
            EXPECT_EQ(BlockOf(finished, TrailerOfSector(s)), TransportTrailer(kNewKey)) << s;
        const Bytes area = DataArea(finished, Kind());
        EXPECT_EQ(Bytes(area.begin(), area.begin() + OldRecordBlocks() * 16),
                  Bytes(OldRecordBlocks() * 16, 0))
            << "the old notice can still be read";
        EXPECT_EQ(BlockOf(finished, 0), BlockOf(image, 0));
    }
};

TEST_P(SequenceFaults, InterruptedAtEveryCallLeavesACardThatCanBeUsedAgain) {
    const Plan plan = SequencePlan();
    const Bytes finalImage = plan.After(Original(), plan.writes.size());
    {
        ReaderWithCard r(Library(), Original());
        Run(r.Card());
        ASSERT_EQ(r.TakeFunctions(), plan.calls) << "an uninterrupted run makes other calls";
        ASSERT_TRUE(SameImage(r.Image(), finalImage));
    }

    const SweepSample sample = SampleFromEnvironment();
    for (std::size_t index = 0; index < plan.calls.size(); ++index) {
        if (!sample.Takes(index, plan.calls.size())) {
            continue;
        }
        const std::string& function = plan.calls[index];
        const int nth = static_cast<int>(
            std::count(plan.calls.begin(), plan.calls.begin() + index + 1, function));
        SCOPED_TRACE("call " + std::to_string(index + 1) + ": " + function + " #" +
                     std::to_string(nth));

        ReaderWithCard r(Library(), Original());
        const bool takenAway = TakenAway();
        if (takenAway) {
            r.Field().RemoveCardAfter(r.Reader(), function, nth);
        } else {
            r.Field().FailCall(r.Reader(), function, nth, kInjected);
        }
        // The call that fails: the interrupted one itself, or the one after the
        // card went. A card taken after the very last call is no failure at all.
        const std::size_t failing = takenAway ? index + 1 : index;
        const bool expectFailure = failing < plan.calls.size();
        // Once a trailer may have changed, the change says it can be finished.
        const bool unfinishedChange = !Save() && failing >= plan.firstPassEnd;

        bool failed = false;
        try {
            Run(r.Card());
        } catch (const CACR120Exception& e) {
            failed = true;
            EXPECT_FALSE(unfinishedChange);
            EXPECT_TRUE(takenAway || e.GetReturnCode() == kInjected) << e.GetReturnCode();
        } catch (const CMifareException& e) {
            failed = true;
            EXPECT_TRUE(unfinishedChange);
            EXPECT_EQ(e.GetCode(), kMifareKeyChangeUnfinished);
        }
        EXPECT_EQ(failed, expectFailure);
        r.ExpectReleased();

        const auto done = r.TakeFunctions();
        const std::size_t made = std::min(failing + 1, plan.calls.size());
        EXPECT_EQ(done, std::vector<std::string>(plan.calls.begin(), plan.calls.begin() + made))
            << "calls went on after the failure";

        const auto written = static_cast<std::size_t>(
            std::count(plan.calls.begin(), plan.calls.begin() + failing, std::string("Write")));
        const Bytes image = r.Image();
        ASSERT_TRUE(SameImage(image, plan.After(Original(), written)));
        ExpectUsable(image);
    }
}

std::string CaseName(const testing::TestParamInfo<FaultCase>& info) {
    const auto& [variant, kind, sequence, fault] = info.param;
    return Name(variant) + Name(kind) + (sequence == Sequence::kSave ? "Save" : "Change") +
           (fault == Fault::kCardTakenAway ? "CardTakenAway" : "CallFails");
}

INSTANTIATE_TEST_SUITE_P(
    EveryCall, SequenceFaults,
    testing::Combine(testing::Values(kSerial, kUsb),
                     testing::Values(CardKind::kClassic1K, CardKind::kClassic4K),
                     testing::Values(Sequence::kSave, Sequence::kChange),
                     testing::Values(Fault::kCardTakenAway, Fault::kCallFails)),
    CaseName);

}  // namespace
}  // namespace cardtest
