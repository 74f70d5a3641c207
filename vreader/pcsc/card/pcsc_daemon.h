#pragma once
// A pcscd with the vsmartcard vpcd reader, for tests and benchmarks: one that runs already
// and serves the vpcd reader, else one started here (as root) with a private
// reader configuration, and stopped again by whoever started it.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace vpcd {

class PcscDaemon {
public:
    ~PcscDaemon() { Stop(); }

    // Empty when the vpcd reader is served; otherwise why it cannot be.
    std::optional<std::string> Start();
    // Ends the daemon that Start started; one that ran before is left alone.
    void Stop();
    bool StartedHere() const { return pid_ > 0; }

    // How many readers the daemon has (vpcd brings two, for two card programs).
    static std::size_t ReaderCount();
    // The name of the vpcd reader our card program serves; nullopt when no daemon
    // serves it.
    static std::optional<std::string> VpcdReaderName();
    // Waits (SCardGetStatusChange, at most `timeoutMs`) until the vpcd reader
    // has a card (`present`) or none.
    static bool WaitForCard(bool present, unsigned timeoutMs = 10000);

private:
    pid_t pid_ = -1;
    std::filesystem::path folder_;
};

}  // namespace vpcd
