#pragma once
// The connection owns a presence monitor but does not know how it watches the
// field: the monitor lives beside this layer and reaches the connection only
// through its public members (the port, the reader lock, the card-connected
// flag).

#include <cstdint>
#include <memory>

class CACR120Base;
class IMessagePoster;

class IPresenceMonitor {
public:
    virtual ~IPresenceMonitor() = default;

    // Where the messages go; called while the monitor does not run.
    virtual void SetTarget(IMessagePoster* window, std::uint32_t message) = 0;
    // Starts watching the connected reader; the start result.
    virtual bool Start() = 0;
    // Asks the monitor to stop, waits up to timeoutMs, then ends it by force.
    // Safe when it does not run.
    virtual void Stop(std::uint32_t timeoutMs) = 0;
    // True when even a forced end did not end its thread: the thread runs on and
    // may still use the monitor and the connection's lock, port and libraries.
    virtual bool Abandoned() const = 0;
    // True when the last Stop had to end the thread by force (whether or not that
    // ended it): it was cut off wherever it was, perhaps inside a library call.
    virtual bool EndedByForce() const = 0;
};

// Makes the monitor of a connection; called once, while the connection is built.
using PresenceMonitorFactory = std::unique_ptr<IPresenceMonitor> (*)(CACR120Base& reader);
