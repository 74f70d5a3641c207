#include "monitor/mon_thread.h"

#include <array>
#include <new>

#include "errors/atl_exception.h"
#include "monitor/message_poster.h"
#include "reader/acr120_base.h"
#include "reader/reader_error.h"

// Lives on the thread's stack, so every start begins from an empty field.
struct CMonThread::State {
    std::uint8_t count = 0;
    std::array<std::uint8_t, TagListing::kSerialRoom> serials{};
};

std::unique_ptr<IPresenceMonitor> CMonThread::Create(CACR120Base& reader) {
    return std::make_unique<CMonThread>(reader);
}

std::uint32_t CMonThread::Run() {
    State state;
    const auto interval = static_cast<std::uint32_t>(pollInterval_.count());
    for (;;) {
        {
            // A forced end of this thread unwinds through here (from a library
            // call that never returns), and the holder releases the lock. That
            // is why nothing below catches everything.
            ReaderLockHolder hold(reader_.GetReaderLock());
            if (!reader_.IsCardConnected()) {
                try {
                    Poll(state);
                } catch (const ICOMSrvException&) {
                    // A reader that stops answering is no news; try again later.
                } catch (const CAtlException&) {
                } catch (const std::bad_alloc&) {
                }
            }
        }
        if (WaitForStop(interval) != platform::WaitResult::TimedOut) {
            return 0;
        }
    }
}

void CMonThread::Poll(State& state) {
    // The monitor runs only while the reader is connected, so the port exists.
    TagListing listing;
    CheckReaderResult(reader_.Port()->ListTags(listing));
    const std::uint16_t cardType = CardTypeFromTagType(listing.tagTypes[0]);

    if (listing.count == 0) {
        if (state.count != 0) {
            Post(kCardGone);
        }
    } else if (state.count == 0) {
        Post(CardPresent(cardType));
    } else if (listing.count != state.count || listing.serials != state.serials) {
        // Another card, or one more: the window first forgets the old card.
        Post(kCardGone);
        Post(CardPresent(cardType));
    }
    state.count = listing.count;
    state.serials = listing.serials;
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
