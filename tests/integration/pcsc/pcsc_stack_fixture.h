#pragma once
// The program's own stack (bindings, connection, monitor, card layer) over the
// USB library beside the program, a real pcscd and our card program in the vpcd
// reader, with virtual USB readers in the same library: USB1 and USB3 virtual, so
// the first PC/SC reader (the vpcd one, when the daemon has only vpcd readers) is USB4.
// Another PC/SC program on the same reader is played by a second connection of
// this process, which pcscd tells apart from ours as it would another process.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "card_test_support.h"
#include "control/virtual_field.h"
#include "monitor/message_poster.h"
#include "monitor/mon_thread.h"
#include "pcsc/card/pcsc_daemon.h"
#include "pcsc/pcsc_api.h"
#include "pcsc/storage_card.h"
#include "pcsc_test_environment.h"

namespace pcsctest {

using cardtest::Bytes;
using cardtest::CardKind;
using vpcd::PcscDaemon;
using namespace std::chrono_literals;

inline constexpr const char16_t* kPcscReader = u"USB4";
inline constexpr std::uint8_t kPcscPort = 3;

inline std::string Text(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(static_cast<char>('a' + i % 26));
    }
    return text;
}

inline void ExpectReleased(CACR120Mifare& card) {
    EXPECT_FALSE(card.IsCardConnected());
    const bool free = card.GetReaderLock().try_lock();
    EXPECT_TRUE(free) << "the reader lock is still held";
    if (free) {
        card.GetReaderLock().unlock();
    }
}

class RecordingPoster final : public IMessagePoster {
public:
    void Post(std::uint32_t, std::uintptr_t wParam) override { last_ = wParam; }
    // Waits for the monitor to post `wParam` as its latest message.
    bool Reaches(std::uintptr_t wParam) const {
        for (int i = 0; i < 500 && last_ != wParam; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return last_ == wParam;
    }

private:
    std::atomic<std::uintptr_t> last_{~std::uintptr_t{0}};
};

// Another program on the vpcd reader: its own context and shared connection, and
// commands sent one by one with no transaction of its own, as a careless program
// sends them.
class OtherProgram {
public:
    OtherProgram() : api_(*pcsc::LoadApi()) {
        const auto reader = PcscDaemon::VpcdReaderName();
        hasContext_ = reader && api_.establishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr,
                                                      &context_) == SCARD_S_SUCCESS;
        connected_ = hasContext_ && api_.connect(context_, reader->c_str(), SCARD_SHARE_SHARED,
                                                 SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card_,
                                                 &protocol_) == SCARD_S_SUCCESS;
    }
    ~OtherProgram() {
        if (connected_) {
            api_.disconnect(card_, SCARD_LEAVE_CARD);
        }
        if (hasContext_) {
            api_.releaseContext(context_);
        }
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    bool Connected() const { return connected_; }
    // The command's status word; 0 when the service refused to send it.
    std::uint16_t Send(const pcsc::Bytes& command) {
        pcsc::Bytes response(258);
        DWORD size = static_cast<DWORD>(response.size());
        const SCARD_IO_REQUEST request{protocol_, sizeof(SCARD_IO_REQUEST)};
        if (api_.transmit(card_, &request, command.data(), static_cast<DWORD>(command.size()),
                          nullptr, response.data(), &size) != SCARD_S_SUCCESS ||
            size < 2) {
            return 0;
        }
        return static_cast<std::uint16_t>(response[size - 2] << 8 | response[size - 1]);
    }
    // Resets the card for every program on the reader, as it lets it go.
    bool ResetCard() {
        connected_ = false;
        return api_.disconnect(card_, SCARD_RESET_CARD) == SCARD_S_SUCCESS;
    }
    // Logs in to the sector of `block` with `key`; the authentication's status word.
    std::uint16_t Login(std::uint8_t block, const std::uint8_t* key) {
        const auto loaded = Send(pcsc::LoadKeyCommand(key));
        return loaded == 0x9000 ? Send(pcsc::AuthenticateCommand(block, false)) : loaded;
    }

private:
    const pcsc::Api& api_;
    SCARDCONTEXT context_{};
    SCARDHANDLE card_{};
    DWORD protocol_ = 0;
    bool hasContext_ = false;
    bool connected_ = false;
};

template <typename Fixture = testing::Test>
class StackTest : public VpcdTest<Fixture> {
protected:
    void SetUp() override {
        VpcdTest<Fixture>::SetUp();
        if (!testing::Test::IsSkipped()) {
            field_.AddReader("USB3");
        }
    }

    vreader::ScopedVirtualField field_{vreader::PcscReaders::kServed};
    RecordingPoster window_;  // outlives the connection, whose monitor posts to it
    CACR120Mifare card_{
        &CMonThread::Create};  // the libraries beside the test, as beside the program
};

}  // namespace pcsctest
