#include "pcsc_test_environment.h"

#include <cstdlib>

namespace pcsctest {
namespace {

vpcd::PcscDaemon gDaemon;
std::optional<std::string> gNoDaemon = "not started";

class DaemonEnvironment : public testing::Environment {
public:
    void SetUp() override { gNoDaemon = gDaemon.Start(); }
    void TearDown() override { gDaemon.Stop(); }
};
const auto* const gEnvironment = testing::AddGlobalTestEnvironment(new DaemonEnvironment);

}  // namespace

vpcd::PcscDaemon& Daemon() {
    return gDaemon;
}

const std::optional<std::string>& NoDaemon() {
    return gNoDaemon;
}

const std::optional<std::string>& RestartDaemon() {
    gNoDaemon = gDaemon.Start();
    return gNoDaemon;
}

void SkipOutsideCi(const std::string& reason) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") {
        FAIL() << reason;
    }
    GTEST_SKIP() << reason;
}

}  // namespace pcsctest
