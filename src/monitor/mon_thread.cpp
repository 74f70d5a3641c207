#include "monitor/mon_thread.h"

#include <exception>

#include "errors/caught_error.h"
#include "monitor/message_poster.h"
#include "reader/acr120_base.h"
#include "reader/reader_error.h"

std::unique_ptr<IPresenceMonitor> CMonThread::Create(CACR120Base& reader) {
    return std::make_unique<CMonThread>(reader);
}

std::uint32_t CMonThread::Run() {
    // On the thread's stack, so every start begins from an empty field.
    CFieldSnapshot snapshot;
    const auto interval = static_cast<std::uint32_t>(pollInterval_.count());
    for (;;) {
        // A reader that stops answering, or anything else a listing throws, is no
        // news; the thread lives on and tries again later. A forced end of this
        // thread unwinds through here (from a library call that never returns)
        // with an exception of no type caught below, and the holder releases the
        // lock on its way. That is why nothing here catches everything.
        try {
            CatchProgramErrors([&] { PollUnderLock(snapshot); }, [](const CaughtError&) {});
        } catch (const std::exception&) {
        }
        if (WaitForStop(interval) != platform::WaitResult::TimedOut) {
            return 0;
        }
    }
}

void CMonThread::PollUnderLock(CFieldSnapshot& snapshot) {
    ReaderLockHolder hold(reader_.GetReaderLock());
    if (!reader_.IsCardConnected()) {
        Poll(snapshot);
    }
}

void CMonThread::Poll(CFieldSnapshot& snapshot) {
    // The monitor runs only while the reader is connected, so the port exists.
    TagListing listing;
    CheckReaderResult(reader_.Port()->ListTags(listing));
    const CFieldSnapshot::Messages messages = snapshot.Update(listing);
    for (std::size_t i = 0; i < messages.count; ++i) {
        Post(messages.wParams[i]);
    }
}

void CMonThread::Stop(std::uint32_t timeoutMs) {
    CMyThread2::Stop(timeoutMs);
    if (Abandoned()) {
        window_ = nullptr;
    }
}

void CMonThread::Post(std::uintptr_t wParam) {
    if (IMessagePoster* window = window_.load()) {
        window->Post(message_, wParam);
    }
}
