#include "monitor/mon_thread.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "errors/atl_exception.h"
#include "errors/coded_exception.h"
#include "monitor/message_poster.h"
#include "reader/acr120_base.h"
#include "reader/reader_error.h"

namespace {

// Room for the serial numbers of a serial listing (16 x 10 bytes); a USB
// listing fills the first 4 x 10 and leaves the rest zero.
constexpr std::size_t kSnapshotSize =
    static_cast<std::size_t>(acr120::kSerialListMaxTags) * acr120::kSerialNumberSize;

}  // namespace

struct CMonThread::Listing {
    std::uint8_t count = 0;
    std::array<std::uint8_t, acr120::kMaxTagTypes> tagTypes{};
    std::array<std::uint8_t, kSnapshotSize> snapshot{};
};

// Lives on the thread's stack, so every start begins from an empty field.
struct CMonThread::State {
    std::uint8_t count = 0;
    std::array<std::uint8_t, kSnapshotSize> snapshot{};
};

std::uint32_t CMonThread::Run() {
    State state;
    const auto interval = static_cast<std::uint32_t>(pollInterval_.count());
    for (;;) {
        {
            // A forced end of this thread unwinds through here (from a library
            // call that never returns), and the holder releases the lock. That
            // is why nothing below catches everything.
            ReaderLockHolder hold(reader_.GetReaderLock());
            if (!reader_.cardConnected_) {
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

void CMonThread::List(Listing& listing) {
    const std::int16_t handle = reader_.readerHandle_;
    switch (reader_.portKind_) {
        case PortKind::Serial: {
            std::uint32_t typeFlag = 0;
            CheckReaderResult(reader_.serialDll_->ListTag(handle, reader_.station_, &listing.count,
                                                          &typeFlag, listing.tagTypes.data(),
                                                          listing.snapshot.data()));
            break;
        }
        case PortKind::Usb: {
            std::array<std::uint8_t, acr120::kUsbListMaxTags> lengths{};
            std::array<std::uint8_t, acr120::kUsbListMaxTags * acr120::kSerialNumberSize> serials{};
            CheckReaderResult(reader_.usbDll_->ACR120_ListTags(
                handle, &listing.count, listing.tagTypes.data(), lengths.data(), serials.data()));
            // The library may report more tags than it has room to describe;
            // only the entries that exist are looked at.
            const std::size_t listed =
                std::min<std::size_t>(listing.count, acr120::kUsbListMaxTags);
            for (std::size_t i = 0; i < acr120::kUsbListMaxTags; ++i) {
                // Bytes past a serial number's length are whatever the library
                // left there; cleared so that they cannot fake a new card.
                const std::size_t keep = i < listed ? std::min<std::size_t>(
                                                          lengths[i], acr120::kSerialNumberSize)
                                                    : 0;
                std::uint8_t* serial = serials.data() + i * acr120::kSerialNumberSize;
                std::fill(serial + keep, serial + acr120::kSerialNumberSize, std::uint8_t{0});
            }
            std::copy(serials.begin(), serials.end(), listing.snapshot.begin());
            break;
        }
        default:
            throw CCodedException(kErrReaderTypeNotSupported, kSourceReaderBase);
    }
}

void CMonThread::Poll(State& state) {
    Listing listing;
    List(listing);
    const std::uint16_t cardType = CardTypeFromTagType(listing.tagTypes[0]);

    if (listing.count == 0) {
        if (state.count != 0) {
            Post(kCardGone);
        }
    } else if (state.count == 0) {
        Post(CardPresent(cardType));
    } else if (listing.count != state.count || listing.snapshot != state.snapshot) {
        // Another card, or one more: the window first forgets the old card.
        Post(kCardGone);
        Post(CardPresent(cardType));
    }
    state.count = listing.count;
    state.snapshot = listing.snapshot;
}

void CMonThread::Post(std::uintptr_t wParam) {
    if (window_ != nullptr) {
        window_->Post(message_, wParam);
    }
}
