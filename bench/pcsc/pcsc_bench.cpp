// What Load, Save and Change ! of a full notice, and a wrong key before a Load,
// cost over a PC/SC reader of the USB library: the reader calls the card layer
// makes, the command APDUs that reach the card for them, and time, on 1K and 4K cards in the vpcd
// reader of a real pcscd (started here when none serves it, which needs root). Within one held card
// session the library reads the UID once and loads a key once, so a selection or a login costs
// fewer APDUs than calls. Prints figures; checks none.
//
//   tagquill-bench-pcsc [rounds=3]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "card/access_key_change.h"
#include "card/acr120_mifare.h"
#include "card/notice_file.h"
#include "card/notice_text.h"
#include "control/virtual_field.h"
#include "errors/com_srv_exception.h"
#include "monitor/mon_thread.h"
#include "pcsc/card/pcsc_daemon.h"
#include "pcsc/card/vpcd_card.h"
#include "platform/code_page.h"
#include "reader/reader_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;
using vreader::Bytes;
using vreader::CardKind;

// "Wrong key": a Load with a wrong key, then the Load with the right one in the same
// session; the card halts at the refused login and is woken by a reset.
enum class Operation { kLoad, kSave, kChange, kWrongKeyLoad };
const char* const kOperationNames[] = {"Load", "Save", "Change !", "Wrong key"};

std::u16string FullText(CardKind kind) {
    const std::size_t capacity =
        notice_text::Capacity(kind == CardKind::kClassic1K ? kCardTypeMifare1K : kCardTypeMifare4K);
    std::u16string text;
    for (std::size_t i = 0; i < capacity; ++i) {
        text.push_back(static_cast<char16_t>(u'a' + i % 26));
    }
    return text;
}

struct Row {
    int calls = 0;
    std::map<std::uint8_t, int> apdus;
    double ms = 0;
};

// The connection's port, counting the reader calls that go through it.
class CountingPort final : public IReaderPort {
public:
    CountingPort(std::unique_ptr<IReaderPort> port, int& calls)
        : port_(std::move(port)), calls_(calls) {}

    PortKind Kind() const override { return port_->Kind(); }
    std::int16_t Handle() const override { return port_->Handle(); }
    std::uint8_t Station() const override { return port_->Station(); }
    std::int16_t ListTags(TagListing& listing) override {
        ++calls_;
        return port_->ListTags(listing);
    }
    std::int16_t SelectFirst(TagListing& listing, SelectedTag& tag) override {
        ++calls_;
        return port_->SelectFirst(listing, tag);
    }
    std::int16_t Reselect(const SelectedTag& tag) override {
        ++calls_;
        return port_->Reselect(tag);
    }
    std::int16_t StoreReaderKey(std::uint8_t keySlot, std::uint8_t* key) override {
        ++calls_;
        return port_->StoreReaderKey(keySlot, key);
    }
    std::int16_t Login(std::uint8_t loginSector, bool keyB, std::int32_t keySlot,
                       std::uint8_t* key) override {
        ++calls_;
        return port_->Login(loginSector, keyB, keySlot, key);
    }
    std::int16_t ReadBlock(std::uint8_t block, std::uint8_t* data) override {
        ++calls_;
        return port_->ReadBlock(block, data);
    }
    std::int16_t WriteBlock(std::uint8_t block, std::uint8_t* data) override {
        ++calls_;
        return port_->WriteBlock(block, data);
    }
    bool IsTrailerReadBackError(std::int16_t result) const override {
        return port_->IsTrailerReadBackError(result);
    }
    void Close() override { port_->Close(); }

private:
    std::unique_ptr<IReaderPort> port_;
    int& calls_;
};

class CountedCard final : public CACR120Mifare {
public:
    CountedCard() : CACR120Mifare(&CMonThread::Create) {}
    // After Connect: from now on the calls count.
    void CountCalls() { port_ = std::make_unique<CountingPort>(std::move(port_), calls_); }
    int Calls() const { return calls_; }

private:
    int calls_ = 0;
};

bool Measure(Operation op, CardKind kind, std::uint16_t port, Row& row) {
    vpcd::VpcdCard vpcd(port);
    Bytes image = vreader::MakeBlankCard(kind, Bytes{0x01, 0x02, 0x03, 0x04});
    // The libraries beside the benchmark; the field's virtual USB1 comes first, so
    // the vpcd reader is USB2.
    CountedCard card;
    card.SetReaderName(u"USB2");
    card.Connect();
    card.CountCalls();
    if (op == Operation::kLoad || op == Operation::kWrongKeyLoad) {
        vpcd.Place(image);
        if (!vpcd::PcscDaemon::WaitForCard(true)) {
            return false;
        }
        notice::WriteNotice(card, u"", FullText(kind));
        image = vpcd.Image();
        vpcd.TakeAway();
        vpcd::PcscDaemon::WaitForCard(false);
    }
    vpcd.Place(image);
    if (!vpcd::PcscDaemon::WaitForCard(true)) {
        return false;
    }
    const auto before = vpcd.Commands();
    const int callsBefore = card.Calls();
    const auto start = Clock::now();
    switch (op) {
        case Operation::kLoad:
            notice::ReadNotice(card, u"");
            break;
        case Operation::kSave:
            notice::WriteNotice(card, u"", FullText(kind));
            break;
        case Operation::kChange:
            notice::ChangeAccessKey(
                card, [] { return std::u16string(); }, u"bench");
            break;
        case Operation::kWrongKeyLoad:
            try {
                notice::ReadNotice(card, u"wrong");
            } catch (const CSrvExceptionBase&) {
                // refused, as meant
            }
            notice::ReadNotice(card, u"");
            break;
    }
    row.ms = Ms(Clock::now() - start).count();
    row.calls = card.Calls() - callsBefore;
    row.apdus = vpcd.Commands();
    for (const auto& [ins, count] : before) {
        row.apdus[ins] -= count;
    }
    vpcd.TakeAway();
    vpcd::PcscDaemon::WaitForCard(false);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    platform::SetAnsiCodePageOverride(1252);
    const vreader::ScopedVirtualField field(vreader::PcscReaders::kServed);
    vpcd::PcscDaemon daemon;
    if (const auto reason = daemon.Start()) {
        std::fprintf(stderr, "tagquill-bench-pcsc: pcscd with the vpcd reader: %s\n",
                     reason->c_str());
        return 1;
    }
    // APDUs by instruction: Get Data (the UID), Load Keys, General Authenticate,
    // Read Binary, Update Binary. "unheld": what the same calls cost without a held
    // session, a UID read for every listing and selection and a key load for every
    // login.
    std::printf("%-4s %-9s %6s %6s %7s %6s %6s %6s %6s %6s %10s %10s\n", "card", "operation",
                "calls", "apdus", "unheld", "getuid", "keys", "auth", "read", "write", "ms (best)",
                "ms/apdu");
    for (const CardKind kind : {CardKind::kClassic1K, CardKind::kClassic4K}) {
        for (const Operation op :
             {Operation::kLoad, Operation::kSave, Operation::kChange, Operation::kWrongKeyLoad}) {
            Row best;
            for (int round = 0; round < rounds; ++round) {
                Row row;
                if (!Measure(op, kind, daemon.Port(), row)) {
                    std::fprintf(stderr, "tagquill-bench-pcsc: the card did not show up\n");
                    return 1;
                }
                if (round == 0 || row.ms < best.ms) {
                    best = row;
                }
            }
            const int getUid = best.apdus[0xCA];
            const int keys = best.apdus[0x82];
            const int auth = best.apdus[0x86];
            const int reads = best.apdus[0xB0];
            const int writes = best.apdus[0xD6];
            const int apdus = getUid + keys + auth + reads + writes;
            const int unheld = best.calls + auth;
            std::printf("%-4s %-9s %6d %6d %7d %6d %6d %6d %6d %6d %10.1f %10.2f\n",
                        kind == CardKind::kClassic1K ? "1K" : "4K",
                        kOperationNames[static_cast<int>(op)], best.calls, apdus, unheld, getUid,
                        keys, auth, reads, writes, best.ms, best.ms / std::max(apdus, 1));
        }
    }
    return 0;
}
