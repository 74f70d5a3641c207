// Save and the access key change interrupted at every reader call: the card
// taken away after the call, or the call failing. Whatever the point, the error
// reaches the caller, the card is released, and the card holds exactly the
// blocks written before the interruption, in the order the sequence writes them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>

#include "card/notice_file.h"
#include "card_test_support.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

enum class Sequence { kSave, kChange };
enum class Fault { kCardTakenAway, kCallFails };

using FaultCase = std::tuple<Variant, CardKind, Sequence, Fault>;

constexpr std::int16_t kInjected = -3030;
const std::array<std::uint8_t, 6> kNewKey{'N', 'e', 'w', 'K', 'e', 'y'};

// Every call of the sweep, or every nth and the last with TAGQUILL_FAULT_SWEEP_STRIDE=n:
// under Wine each reader call costs a few wineserver round trips, and the whole sweep
// takes 12 minutes there.
std::size_t SweepStride() {
    const char* stride = std::getenv("TAGQUILL_FAULT_SWEEP_STRIDE");
    const int n = stride != nullptr ? std::atoi(stride) : 1;
    return n > 1 ? static_cast<std::size_t>(n) : 1;
}

int SectorOf(int block) {
    return block < 128 ? block / 4 : block / 16 + 24;
}

// What a sequence should do, worked out from the card format alone.
struct Plan {
    std::vector<std::string> calls;  // reader functions in order
    std::vector<int> writes;         // target block of each Write, in order
    Bytes finalImage;
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

    // Crosses sector borders and ends inside a block, so the last block is read first.
    std::string NoticeText() const {
        return std::string(Kind() == CardKind::kClassic1K ? 100 : 2000, 'q');
    }

    Bytes Original() const { return CardWithNotice(Kind(), "an older notice"); }

    Plan SavePlan() const {
        Plan plan;
        plan.calls = {ListFunction(), "MultiTagSelect", "MultiTagSelect", "Login"};
        const Bytes record = Record(NoticeText());
        const std::vector<int> blocks = DataBlocks(Kind());
        const std::size_t count = (record.size() + 15) / 16;
        int sector = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int block = blocks[i];
            if (SectorOf(block) != sector) {
                sector = SectorOf(block);
                plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login"});
            }
            if (i + 1 == count && record.size() % 16 != 0)
                plan.calls.push_back("Read");
            plan.calls.push_back("Write");
            plan.writes.push_back(block);
        }
        plan.finalImage = WithData(Original(), Kind(), 0, record);
        return plan;
    }

    Plan ChangePlan() const {
        Plan plan;
        plan.calls = {ListFunction(), "MultiTagSelect"};
        const int sectors = SectorCount(Kind());
        for (int s = 0; s < sectors; ++s)
            plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login"});
        Bytes image = Original();
        for (int s = 0; s < sectors; ++s) {
            plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login", "Write"});
            plan.writes.push_back(TrailerOfSector(s));
            image = WithBlock(image, TrailerOfSector(s), TransportTrailer(kNewKey));
        }
        // The new key proven on every sector, last to first, ending on sector 0.
        for (int s = sectors; s-- > 0;)
            plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login"});
        plan.calls.insert(plan.calls.end(), {"Read", "Write"});
        plan.writes.push_back(1);
        plan.finalImage = WithData(image, Kind(), 0, Bytes{0, 0});
        return plan;
    }

    Plan SequencePlan() const { return Save() ? SavePlan() : ChangePlan(); }

    void Run(CACR120Mifare& card) const {
        if (Save()) {
            WriteNotice(card, u"", platform::FromAnsi(NoticeText()));
        } else {
            ChangeAccessKey(
                card, [] { return std::u16string(); }, u"NewKey");
        }
    }

    // The original with the first `written` writes of the plan done.
    Bytes PartialImage(const Plan& plan, std::size_t written) const {
        Bytes image = Original();
        for (std::size_t i = 0; i < written; ++i) {
            const auto block = plan.finalImage.begin() + plan.writes[i] * 16;
            image = WithBlock(image, plan.writes[i], Bytes(block, block + 16));
        }
        return image;
    }
};

TEST_P(SequenceFaults, InterruptedAtEveryCallLeavesWhatWasWrittenBeforeIt) {
    const Plan plan = SequencePlan();
    {
        ReaderWithCard r(Library(), Original());
        Run(r.Card());
        ASSERT_EQ(r.TakeFunctions(), plan.calls) << "an uninterrupted run makes other calls";
        ASSERT_TRUE(SameImage(r.Image(), plan.finalImage));
    }

    const std::size_t stride = SweepStride();
    for (std::size_t index = 0; index < plan.calls.size(); ++index) {
        if (index % stride != 0 && index + 1 != plan.calls.size()) {
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

        bool failed = false;
        try {
            Run(r.Card());
        } catch (const CACR120Exception& e) {
            failed = true;
            EXPECT_TRUE(takenAway || e.GetReturnCode() == kInjected) << e.GetReturnCode();
        }
        EXPECT_EQ(failed, expectFailure);
        r.ExpectReleased();

        const auto done = r.TakeFunctions();
        const std::size_t made = std::min(failing + 1, plan.calls.size());
        EXPECT_EQ(done, std::vector<std::string>(plan.calls.begin(), plan.calls.begin() + made))
            << "calls went on after the failure";

        const auto written = static_cast<std::size_t>(
            std::count(plan.calls.begin(), plan.calls.begin() + failing, std::string("Write")));
        ASSERT_TRUE(SameImage(r.Image(), PartialImage(plan, written)));
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
