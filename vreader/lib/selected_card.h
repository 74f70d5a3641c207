#pragma once
// The card a reader has selected, kept as an image file in the reader's field: the
// selection, the image as it is now, and writing it back.

#include <cstdint>
#include <optional>

#include "core/mifare.h"
#include "core/state.h"
#include "lib/reader_session.h"

namespace vreader::lib {

bool IsClassic(const card_model::Bytes& image);

// Selects the card; the outputs the caller passes (any may be null) get its tag type,
// UID length and serial number.
std::int16_t SelectCard(ReaderSession& session, const state::CardFile& card, std::uint8_t* type,
                        std::uint8_t* uidLength, std::uint8_t* serialNumber);

// The selected card's image as it is now; drops the selection when the card has left
// the field (or another card lies under its name).
std::optional<card_model::Bytes> CurrentImage(ReaderSession& session);

// Writes the image back unless the card has gone meanwhile.
std::int16_t StoreImage(ReaderSession& session, const card_model::Bytes& image);

}  // namespace vreader::lib
