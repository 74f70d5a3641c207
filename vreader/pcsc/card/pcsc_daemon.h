#pragma once
// A pcscd with the vsmartcard vpcd reader, for tests and benchmarks. As root, a
// daemon of this process's own: its own reader configuration with vpcd on a free
// port pair, and its own socket (pcscd's socket and pid file have fixed paths,
// so the daemon runs in a private mount namespace with its own folder over
// /run/pcscd; PCSCLITE_CSOCK_NAME points this process and its children at that
// socket). So test runs side by side each have their own daemon and card port.
// Without root, or where mount namespaces are not allowed: a daemon that runs
// already and serves vpcd on its usual port, else (as root) one started at the
// system's paths on that port, one such run at a time.

#include <sys/types.h>

#include <cstdint>
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
    // The port our card program connects to (vpcd's first reader; the second is
    // one above); the same across a Stop and a new Start.
    std::uint16_t Port() const { return port_; }

    // How many readers the daemon has (vpcd brings two, for two card programs).
    static std::size_t ReaderCount();
    // The name of the vpcd reader our card program serves; nullopt when no daemon
    // serves it.
    static std::optional<std::string> VpcdReaderName();
    // Waits (SCardGetStatusChange, at most `timeoutMs`) until the vpcd reader
    // has a card (`present`) or none.
    static bool WaitForCard(bool present, unsigned timeoutMs = 10000);

private:
    // Starts pcscd with vpcd; `privateIpc`: in its own mount namespace, with its
    // own socket and a free port pair.
    std::optional<std::string> Launch(bool privateIpc);

    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::filesystem::path folder_;
};

}  // namespace vpcd
