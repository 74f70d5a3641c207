// Save and the access key change interrupted at every reader call: the card
// taken away after the call, or the call failing. Whatever the point, the error
// reaches the caller, the card is released, and the card holds exactly the
// blocks written before the interruption, in the order the sequence writes them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "card/notice_file.h"
#include "card_test_support.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

enum class Sequence { kSave, kChange };
enum class Fault { kCardTakenAway, kCallFails };

struct FaultCase {
    Variant variant;
    CardKind kind;
    Sequence sequence;
    Fault fault;
};

std::string Name(const FaultCase& c) {
    return std::string(c.variant.reader == "COM1" ? "Serial" : "Usb") +
           (c.kind == CardKind::kClassic1K ? "1K" : "4K") +
           (c.sequence == Sequence::kSave ? "Save" : "Change") +
           (c.fault == Fault::kCardTakenAway ? "CardTakenAway" : "CallFails");
}
void PrintTo(const FaultCase& c, std::ostream* os) { *os << Name(c); }
std::string PrintCase(const testing::TestParamInfo<FaultCase>& info) { return Name(info.param); }

constexpr std::int16_t kInjected = -3030;
const std::array<std::uint8_t, 6> kNewKey{'N', 'e', 'w', 'K', 'e', 'y'};

int SectorOf(int block) { return block < 128 ? block / 4 : block / 16 + 24; }

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

    const FaultCase& Case() const { return GetParam(); }
    std::string ListFunction() const { return Case().variant.reader == "USB1" ? "ListTags" : "ListTag"; }

    // Crosses sector borders and ends inside a block, so the last block is read first.
    std::string NoticeText() const {
        return std::string(Case().kind == CardKind::kClassic1K ? 100 : 2000, 'q');
    }

    Bytes Original() const { return CardWithNotice(Case().kind, "an older notice"); }

    Plan SavePlan() const {
        Plan plan;
        plan.calls = {ListFunction(), "MultiTagSelect", "MultiTagSelect", "Login"};
        const Bytes record = Record(NoticeText());
        const std::vector<int> blocks = DataBlocks(Case().kind);
        const std::size_t count = (record.size() + 15) / 16;
        int sector = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int block = blocks[i];
            if (SectorOf(block) != sector) {
                sector = SectorOf(block);
                plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login"});
            }
            if (i + 1 == count && record.size() % 16 != 0) {
                plan.calls.push_back("Read");
            }
            plan.calls.push_back("Write");
            plan.writes.push_back(block);
        }
        plan.finalImage = WithData(Original(), Case().kind, 0, record);
        return plan;
    }

    Plan ChangePlan() const {
        Plan plan;
        plan.calls = {ListFunction(), "MultiTagSelect"};
        const int sectors = SectorCount(Case().kind);
        for (int s = 0; s < sectors; ++s) {
            plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login"});
        }
        Bytes image = Original();
        for (int s = 0; s < sectors; ++s) {
            plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login", "Write"});
            plan.writes.push_back(TrailerOfSector(s));
            image = WithBlock(image, TrailerOfSector(s), Trailer(kNewKey, {0xFF, 0x07, 0x80}, kTransportKey));
        }
        plan.calls.insert(plan.calls.end(), {"MultiTagSelect", "Login", "Read", "Write"});
        plan.writes.push_back(1);
        plan.finalImage = WithData(image, Case().kind, 0, Bytes{0, 0});
        return plan;
    }

    Plan SequencePlan() const { return Case().sequence == Sequence::kSave ? SavePlan() : ChangePlan(); }

    void Run(CACR120Mifare& card) const {
        if (Case().sequence == Sequence::kSave) {
            WriteNotice(card, u"", platform::FromAnsi(NoticeText()));
        } else {
            ChangeAccessKey(card, [] { return std::u16string(); }, u"NewKey");
        }
    }

    // The original with the first `written` writes of the plan done.
    Bytes PartialImage(const Plan& plan, std::size_t written) const {
        Bytes image = Original();
        for (std::size_t i = 0; i < written; ++i) {
            image = WithBlock(image, plan.writes[i], BlockOf(plan.finalImage, plan.writes[i]));
        }
        return image;
    }
};

TEST_P(SequenceFaults, InterruptedAtEveryCallLeavesWhatWasWrittenBeforeIt) {
    const Plan plan = SequencePlan();
    {
        ReaderWithCard r(Case().variant, Original());
        Run(r.Card());
        ASSERT_EQ(r.TakeFunctions(), plan.calls) << "an uninterrupted run makes other calls";
        ASSERT_TRUE(SameImage(r.Image(), plan.finalImage));
    }

    for (std::size_t index = 0; index < plan.calls.size(); ++index) {
        const std::string& function = plan.calls[index];
        const int nth = static_cast<int>(std::count(plan.calls.begin(), plan.calls.begin() + index + 1, function));
        SCOPED_TRACE("call " + std::to_string(index + 1) + ": " + function + " #" + std::to_string(nth));

        ReaderWithCard r(Case().variant, Original());
        const bool takenAway = Case().fault == Fault::kCardTakenAway;
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
            if (!takenAway) {
                EXPECT_EQ(e.GetReturnCode(), kInjected);
            }
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

std::vector<FaultCase> AllCases() {
    std::vector<FaultCase> cases;
    for (const Variant& variant : {kSerial, kUsb}) {
        for (CardKind kind : {CardKind::kClassic1K, CardKind::kClassic4K}) {
            for (Sequence sequence : {Sequence::kSave, Sequence::kChange}) {
                for (Fault fault : {Fault::kCardTakenAway, Fault::kCallFails}) {
                    cases.push_back({variant, kind, sequence, fault});
                }
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryCall, SequenceFaults, testing::ValuesIn(AllCases()), PrintCase);

}  // namespace
}  // namespace cardtest
