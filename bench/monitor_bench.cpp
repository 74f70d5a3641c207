// How quickly the presence monitor tells the window about a card, how long
// Disconnect waits for it, and what it costs while nothing happens. Runs over
// the virtual reader in a temporary state folder; prints figures, checks none.
//
//   tagquill-bench-monitor [trials=50] [idle-seconds=20]

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "control/virtual_field.h"
#include "monitor/message_poster.h"
#include "monitor/mon_thread.h"
#include "reader/acr120_base.h"

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

namespace {

class TimingPoster final : public IMessagePoster {
public:
    void Post(std::uint32_t, std::uintptr_t wParam) override {
        std::lock_guard<std::mutex> hold(mutex_);
        arrivals_.push_back({wParam, Clock::now()});
        changed_.notify_all();
    }
    // Waits for message number `index` (from 0) and gives its arrival time.
    bool WaitFor(std::size_t index, std::uintptr_t& wParam, Clock::time_point& when) {
        std::unique_lock<std::mutex> hold(mutex_);
        if (!changed_.wait_for(hold, std::chrono::seconds(5),
                               [&] { return arrivals_.size() > index; })) {
            return false;
        }
        wParam = arrivals_[index].wParam;
        when = arrivals_[index].when;
        return true;
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> hold(mutex_);
        return arrivals_.size();
    }

private:
    struct Arrival {
        std::uintptr_t wParam;
        Clock::time_point when;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Arrival> arrivals_;
};

double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank =
        static_cast<std::size_t>(p / 100.0 * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(rank, samples.size() - 1)];
}

void PlacedToMessage(vreader::VirtualField& field, const char* reader, const char16_t* name,
                     int trials, std::mt19937& random) {
    CACR120Base connection(&CMonThread::Create);
    TimingPoster poster;
    connection.SetReaderName(name);
    connection.Connect();
    connection.StartMonitor(&poster, kMonitorMessage);
    std::uniform_int_distribution<int> pause(0, 499);

    std::vector<double> arrive;
    std::vector<double> leave;
    for (int i = 0; i < trials; ++i) {
        // A random pause puts the change at a random point of the poll cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        const std::size_t next = poster.Count();
        const auto placed = Clock::now();
        field.NewCard(reader, vreader::CardKind::kClassic1K, std::nullopt, "card.mfd");
        std::uintptr_t wParam = 0;
        Clock::time_point when;
        if (!poster.WaitFor(next, wParam, when)) {
            std::printf("  trial %d: no message for a placed card\n", i);
            break;
        }
        arrive.push_back(Ms(when - placed).count());

        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        const auto removed = Clock::now();
        field.RemoveCard(reader, "card.mfd");
        if (!poster.WaitFor(next + 1, wParam, when)) {
            std::printf("  trial %d: no message for a removed card\n", i);
            break;
        }
        leave.push_back(Ms(when - removed).count());
        // The removed card goes to the "cards" folder; drop it so names stay free.
        std::filesystem::remove_all(field.CardsDir());
    }
    connection.Disconnect();
    std::printf("%s card placed -> message: p50 %.1f ms, p95 %.1f ms, max %.1f ms (%zu trials)\n",
                reader, Percentile(arrive, 50), Percentile(arrive, 95), Percentile(arrive, 100),
                arrive.size());
    std::printf("%s card removed -> message: p50 %.1f ms, p95 %.1f ms, max %.1f ms (%zu trials)\n",
                reader, Percentile(leave, 50), Percentile(leave, 95), Percentile(leave, 100),
                leave.size());
}

void DisconnectLatency(const char* reader, const char16_t* name, int trials, std::mt19937& random) {
    CACR120Base connection(&CMonThread::Create);
    TimingPoster poster;
    connection.SetReaderName(name);
    std::uniform_int_distribution<int> pause(0, 999);
    std::vector<double> samples;
    for (int i = 0; i < trials; ++i) {
        connection.Connect();
        connection.StartMonitor(&poster, kMonitorMessage);
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        const auto start = Clock::now();
        connection.Disconnect();
        samples.push_back(Ms(Clock::now() - start).count());
    }
    std::printf(
        "%s Disconnect with the monitor running: p50 %.2f ms, p95 %.2f ms, max %.2f ms "
        "(%d trials)\n",
        reader, Percentile(samples, 50), Percentile(samples, 95), Percentile(samples, 100), trials);
}

void IdleCost(const char* reader, const char16_t* name, int seconds) {
    CACR120Base connection(&CMonThread::Create);
    TimingPoster poster;
    connection.SetReaderName(name);
    connection.Connect();
    connection.StartMonitor(&poster, kMonitorMessage);
    // This thread only sleeps: the process's CPU time is the monitor's.
    const std::clock_t before = std::clock();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const std::clock_t after = std::clock();
    connection.Disconnect();
    const double cpuMs = 1000.0 * static_cast<double>(after - before) / CLOCKS_PER_SEC;
    std::printf("%s idle field: monitor CPU %.1f ms per minute (%.1f ms over %d s)\n", reader,
                cpuMs * 60.0 / seconds, cpuMs, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const int trials = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    vreader::ScopedVirtualField field;
    std::mt19937 random(20240611);

    struct {
        const char* reader;
        const char16_t* name;
    } const variants[] = {{"COM1", u"COM1"}, {"USB1", u"USB1"}};
    for (const auto& v : variants) {
        PlacedToMessage(field, v.reader, v.name, trials, random);
        DisconnectLatency(v.reader, v.name, 20, random);
        IdleCost(v.reader, v.name, idleSeconds);
    }
    return 0;
}
