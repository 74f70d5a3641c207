#pragma once
// What every PC/SC test program shares: a pcscd of its own with the vpcd reader,
// started before the first test and stopped after the last (pcsc_test_environment.cpp,
// built into each program), and the fixture base of a test that puts our card
// program in that reader.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "card_test_support.h"
#include "pcsc/card/pcsc_daemon.h"
#include "pcsc/card/vpcd_card.h"
#include "platform/code_page.h"

namespace pcsctest {

vpcd::PcscDaemon& Daemon();
// Why there is no pcscd with the vpcd reader; nothing when there is one.
const std::optional<std::string>& NoDaemon();
// Starts the daemon again after a test stopped it; as NoDaemon.
const std::optional<std::string>& RestartDaemon();

// CI installs and starts everything; there a skip would hide a failure.
void SkipOutsideCi(const std::string& reason);

// Skipped (failed in CI) without a daemon; the ANSI code page is 1252 throughout,
// and a card left in the vpcd reader is taken away at the end.
template <typename Fixture = testing::Test>
class VpcdTest : public Fixture {
protected:
    void SetUp() override {
        if (NoDaemon()) {
            SkipOutsideCi("pcscd with the vpcd reader: " + *NoDaemon());
            return;
        }
        platform::SetAnsiCodePageOverride(1252);
    }
    void TearDown() override {
        platform::SetAnsiCodePageOverride(std::nullopt);
        if (vpcd_.InField()) {
            TakeAway();
        }
    }

    // Both return once pcscd has seen the card come or go.
    void Place(const cardtest::Bytes& image) {
        vpcd_.Place(image);
        ASSERT_TRUE(vpcd::PcscDaemon::WaitForCard(true));
    }
    void TakeAway() {
        vpcd_.TakeAway();
        ASSERT_TRUE(vpcd::PcscDaemon::WaitForCard(false));
    }

    vpcd::VpcdCard vpcd_{Daemon().Port()};
};

}  // namespace pcsctest
