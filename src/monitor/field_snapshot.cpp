#include "monitor/field_snapshot.h"

CFieldSnapshot::Messages CFieldSnapshot::Update(const TagListing& listing) {
    Messages messages;
    auto post = [&messages](std::uintptr_t wParam) { messages.wParams[messages.count++] = wParam; };
    const std::uint16_t cardType = CardTypeFromTagType(listing.tagTypes[0]);
    if (listing.count == 0) {
        if (count_ != 0) {
            post(kCardGone);
        }
    } else if (count_ == 0) {
        post(CardPresent(cardType));
    } else if (listing.count != count_ || listing.serials != serials_) {
        // Another card, or one more: the window first forgets the old card.
        post(kCardGone);
        post(CardPresent(cardType));
    }
    count_ = listing.count;
    serials_ = listing.serials;
    return messages;
}
