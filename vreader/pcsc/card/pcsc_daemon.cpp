#include "pcsc/card/pcsc_daemon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "pcsc/card/vpcd_card.h"
#include "pcsc/pcsc_api.h"
#include "pcsc/pcsc_reader.h"

namespace vpcd {
namespace {

using namespace std::chrono_literals;

constexpr const char* kDaemon = "/usr/sbin/pcscd";
constexpr const char* kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
constexpr const char* kVpcdReaderPrefix = "Virtual PCD";
constexpr const char* kIpcFolder = "/run/pcscd";

// A port whose successor is free too (vpcd's second reader listens there); 0 for none.
std::uint16_t FreePortPair() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int first = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        const bool bound = first >= 0 &&
                           ::bind(first, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                           ::getsockname(first, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        const std::uint16_t port = bound ? ntohs(address.sin_port) : 0;
        bool pairFree = false;
        if (port != 0 && port < 65535) {
            const int second = ::socket(AF_INET, SOCK_STREAM, 0);
            address.sin_port = htons(static_cast<std::uint16_t>(port + 1));
            pairFree = second >= 0 &&
                       ::bind(second, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            if (second >= 0) {
                ::close(second);
            }
        }
        if (first >= 0) {
            ::close(first);
        }
        if (pairFree) {
            return port;
        }
    }
    return 0;
}

// The daemon's reader list, or nullopt when no daemon answers.
std::optional<std::vector<std::string>> DaemonReaders() {
    const pcsc::Api* api = pcsc::LoadApi();
    SCARDCONTEXT context{};
    if (api == nullptr ||
        api->establishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        return std::nullopt;
    }
    auto names = pcsc::ListReaderNames(*api, context);
    api->releaseContext(context);
    return names;
}

std::optional<std::string> VpcdReader() {
    const auto readers = DaemonReaders();
    if (readers) {
        for (const auto& name : *readers) {
            if (name.rfind(kVpcdReaderPrefix, 0) == 0) {
                return name;
            }
        }
    }
    return std::nullopt;
}

std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether this process may make a mount namespace of its own (root, and a
// container that allows it), tried in a child that ends at once.
bool MountNamespacesWork() {
    const pid_t probe = ::fork();
    if (probe == 0) {
        ::_exit(::unshare(CLONE_NEWNS) == 0 ? 0 : 1);
    }
    int status = 0;
    return probe > 0 && ::waitpid(probe, &status, 0) == probe && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<std::string> PcscDaemon::Start() {
    if (pcsc::LoadApi() == nullptr) {
        return "libpcsclite.so.1 cannot be loaded (package libpcsclite1)";
    }
    const bool root = ::geteuid() == 0;
    const bool installed = std::filesystem::exists(kDaemon) && std::filesystem::exists(kVpcdDriver);
    if (root && installed && MountNamespacesWork()) {
        return Launch(true);
    }
    port_ = kDefaultPort;
    if (VpcdReader()) {
        return std::nullopt;
    }
    if (DaemonReaders()) {
        return "a pcscd without the vpcd reader runs already";
    }
    if (!root) {
        return "no pcscd runs, and starting one needs root";
    }
    if (!installed) {
        return "pcscd or the vpcd driver is not installed (packages pcscd, vsmartcard-vpcd)";
    }
    // No private mount namespace here (a container without CAP_SYS_ADMIN): a daemon
    // at the system's paths and vpcd's usual port, one such run at a time.
    return Launch(false);
}

std::optional<std::string> PcscDaemon::Launch(bool privateIpc) {
    folder_ =
        std::filesystem::temp_directory_path() / ("tagquill-pcscd-" + std::to_string(::getpid()));
    const auto ipc = folder_ / "ipc";
    std::filesystem::create_directories(folder_ / "reader.conf.d");
    std::filesystem::create_directories(ipc);
    std::filesystem::create_directories(kIpcFolder);  // the mount point
    if (privateIpc) {
        // The client library reads the name once, at its first call: before any.
        ::setenv("PCSCLITE_CSOCK_NAME", (ipc / "pcscd.comm").c_str(), 1);
        if (port_ == 0 || port_ == kDefaultPort) {
            port_ = FreePortPair();
        }
    }
    if (port_ == 0) {
        return "no free pair of TCP ports on 127.0.0.1 for vpcd";
    }
    std::ofstream(folder_ / "reader.conf.d" / "vpcd")
        << "FRIENDLYNAME \"" << kVpcdReaderPrefix << "\"\nDEVICENAME /dev/null:" << port_
        << "\nLIBPATH " << kVpcdDriver << "\nCHANNELID " << port_ << "\n";
    const std::string log = (folder_ / "pcscd.log").string();
    const std::string config = (folder_ / "reader.conf.d").string();
    pid_ = ::fork();
    if (pid_ == 0) {
#ifdef __linux__
        // A test that crashes takes its daemon with it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        // Our folder over /run/pcscd, seen by this daemon only: its socket and pid
        // file land in our folder, and another pcscd keeps its own.
        if (privateIpc && (::unshare(CLONE_NEWNS) != 0 ||
                           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                           ::mount(ipc.c_str(), kIpcFolder, nullptr, MS_BIND, nullptr) != 0)) {
            ::perror("private /run/pcscd");
            ::_exit(126);
        }
        ::execl(kDaemon, "pcscd", "--foreground", "--config", config.c_str(), nullptr);
        ::_exit(127);
    }
    // A process start has nothing to wait on but its answer.
    for (auto deadline = std::chrono::steady_clock::now() + 15s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return "pcscd ended at start: " + FileText(log);
        }
        if (VpcdReader()) {
            return std::nullopt;
        }
    }
    Stop();
    return "pcscd did not serve the vpcd reader within 15 s: " + FileText(log);
}

void PcscDaemon::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 250 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    if (::kill(pid_, 0) == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::optional<std::string> PcscDaemon::VpcdReaderName() {
    return VpcdReader();
}

std::size_t PcscDaemon::ReaderCount() {
    return DaemonReaders().value_or(std::vector<std::string>{}).size();
}

bool PcscDaemon::WaitForCard(bool present, unsigned timeoutMs) {
    const pcsc::Api* api = pcsc::LoadApi();
    const auto reader = VpcdReader();
    SCARDCONTEXT context{};
    if (api == nullptr || !reader ||
        api->establishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
        return false;
    }
    pcsc::ReaderState state{};
    state.szReader = reader->c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool reached = false;
    while (!reached && std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const LONG result =
            api->getStatusChange(context, static_cast<DWORD>(left.count()), &state, 1);
        if (result != SCARD_S_SUCCESS && result != SCARD_E_TIMEOUT) {
            break;
        }
        const bool hasCard = (state.dwEventState & SCARD_STATE_PRESENT) != 0 &&
                             (state.dwEventState & SCARD_STATE_MUTE) == 0;
        reached = hasCard == present;
        state.dwCurrentState = state.dwEventState & ~static_cast<DWORD>(SCARD_STATE_CHANGED);
    }
    api->releaseContext(context);
    return reached;
}

}  // namespace vpcd
