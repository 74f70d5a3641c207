#include "lib/selected_card.h"

#include "lib/serial_number.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

namespace rc = acr120::rc;

bool IsClassic(const card_model::Bytes& image) {
    return image.size() == card_model::k1KSize || image.size() == card_model::k4KSize;
}

std::int16_t SelectCard(ReaderSession& session, const state::CardFile& card, std::uint8_t* type,
                        std::uint8_t* uidLength, std::uint8_t* serialNumber) {
    session.Deselect();
    session.cardSelected = true;
    session.cardFileName = card.name;
    session.uid = card_model::UidOf(card.image);
    if (type != nullptr) {
        *type = card_model::TagTypeOfSize(card.image.size());
    }
    if (uidLength != nullptr) {
        *uidLength = static_cast<std::uint8_t>(session.uid.size());
    }
    if (serialNumber != nullptr) {
        PutSerialNumber(session.uid, serialNumber);
    }
    return rc::kOk;
}

std::optional<card_model::Bytes> CurrentImage(ReaderSession& session) {
    if (!session.cardSelected) {
        return std::nullopt;
    }
    auto image = state::ReadFileBytes(session.readerDir / session.cardFileName);
    if (!image || card_model::TagTypeOfSize(image->size()) == 0 ||
        card_model::UidOf(*image) != session.uid) {
        session.Deselect();
        return std::nullopt;
    }
    return image;
}

std::int16_t StoreImage(ReaderSession& session, const card_model::Bytes& image) {
    state::FieldLock lock(session.readerDir);
    const auto path = session.readerDir / session.cardFileName;
    auto now = state::ReadFileBytes(path);
    if (!now || card_model::UidOf(*now) != session.uid) {
        session.Deselect();
        return rc::kNoCard;
    }
    return state::WriteFileAtomic(path, image) ? rc::kOk : rc::kOperationFailed;
}

}  // namespace vreader::lib
