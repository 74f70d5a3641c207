// Selecting the card in the field before a card command, and giving it back to
// the presence monitor afterwards.

#include "errors/coded_exception.h"
#include "errors/system_exception.h"
#include "reader/acr120_base.h"
#include "reader/reader_error.h"

void CACR120Base::ConnectCard() {
    if (!connected_) {
        throw CCodedException(kErrReaderNotConnected, kSourceReaderBase);
    }
    {
        ReaderLockHolder hold(*readerLock_);
        cardConnected_ = false;
    }
    // Held through listing and selection, so that no listing of the monitor
    // can come between them.
    ReaderLockHolder hold(*readerLock_);
    card_.serialNumber.fill(0);
    card_.tagType = 0;

    TagListing listing;
    CheckReaderResult(port_->ListTags(listing));
    if (listing.count == 0) {
        throw CACR120Exception(acr120::rc::kNoCard);
    }
    CheckReaderResult(port_->SelectFirst(listing, card_));
    cardConnected_ = true;
}

void CACR120Base::DisconnectCard() {
    try {
        ReaderLockHolder hold(*readerLock_);
        cardConnected_ = false;
        return;
    } catch (const CSystemException&) {
        // A lock the system cannot take is one nobody holds: the monitor, which reads
        // the flag only under it, cannot be reading it now.
    }
    cardConnected_ = false;
}
