#include "pcsc/card/storage_card_responder.h"

#include <algorithm>

#include "reader/acr120_api.h"

namespace vpcd {

namespace card_model = vreader::card_model;
namespace lib = vreader::lib;

namespace {

constexpr std::uint16_t kOk = 0x9000;
constexpr std::uint16_t kWrongLength = 0x6700;
constexpr std::uint16_t kFailed = 0x6300;
constexpr std::uint16_t kNotSatisfied = 0x6982;
constexpr std::uint16_t kNotAllowed = 0x6986;
constexpr std::uint16_t kWrongParameters = 0x6B00;
constexpr std::uint16_t kUnknownInstruction = 0x6D00;
constexpr std::uint16_t kUnknownClass = 0x6E00;

Bytes Status(std::uint16_t sw, Bytes data = {}) {
    data.push_back(static_cast<std::uint8_t>(sw >> 8));
    data.push_back(static_cast<std::uint8_t>(sw & 0xFF));
    return data;
}

}  // namespace

StorageCardResponder::StorageCardResponder(Bytes image) : image_(std::move(image)) {}

Bytes StorageCardResponder::Atr() const {
    // TS T0 TD1 TD2, then the historical bytes: category 80, application identifier
    // 4F 0C with the PC/SC RID, standard 03 (ISO 14443 A part 3), the card name and
    // four bytes RFU; TCK last.
    const std::uint8_t name = image_.size() == card_model::k4KSize ? 0x02 : 0x01;
    Bytes atr{0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
              0x03, 0x06, 0x03, 0x00, name, 0x00, 0x00, 0x00, 0x00};
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i) {
        check ^= atr[i];
    }
    atr.push_back(check);
    return atr;
}

void StorageCardResponder::Reset() {
    session_.Deselect();
    volatileKey_.reset();
    halted_ = false;
}

Bytes StorageCardResponder::Respond(std::span<const std::uint8_t> command) {
    if (command.size() < 5) {
        return Status(kWrongLength);
    }
    if (command[0] != 0xFF) {
        return Status(kUnknownClass);
    }
    const std::uint8_t ins = command[1];
    ++commands_[ins];
    const std::uint8_t p2 = command[3];
    const std::size_t lc = command[4];
    const auto data = command.subspan(5);
    if (halted_ && (ins == 0x86 || ins == 0xB0 || ins == 0xD6)) {
        // The reader's frame to a halted card gets no answer: it reports a failure.
        return Status(kFailed);
    }
    switch (ins) {
        case 0xCA:  // Get Data: the UID
            return command[2] == 0x00 ? Status(kOk, card_model::UidOf(image_))
                                      : Status(kWrongParameters);
        case 0x82:  // Load Keys, into the one volatile location
            if (lc != card_model::kKeySize || data.size() != lc) {
                return Status(kWrongLength);
            }
            if (p2 != 0x00) {
                return Status(kWrongParameters);
            }
            volatileKey_.emplace();
            std::copy(data.begin(), data.end(), volatileKey_->begin());
            return Status(kOk);
        case 0x86:  // General Authenticate
            return lc == 5 && data.size() == 5 ? Authenticate(data) : Status(kWrongLength);
        case 0xB0:  // Read Binary
            return lc == card_model::kBlockSize ? ReadBinary(p2) : Status(kWrongLength);
        case 0xD6:  // Update Binary
            return lc == card_model::kBlockSize && data.size() == lc ? UpdateBinary(p2, data)
                                                                     : Status(kWrongLength);
        default:
            return Status(kUnknownInstruction);
    }
}

Bytes StorageCardResponder::Authenticate(std::span<const std::uint8_t> data) {
    const int block = data[2];
    const std::uint8_t keyType = data[3];
    if (data[0] != 0x01 || data[1] != 0x00 || (keyType != 0x60 && keyType != 0x61) ||
        data[4] != 0x00) {
        return Status(kWrongParameters);
    }
    if (!volatileKey_) {
        return Status(kNotAllowed);
    }
    session_.Deselect();
    if (block >= card_model::BlockCount(image_.size())) {
        halted_ = true;
        return Status(kFailed);
    }
    const int sector = card_model::SectorOfBlock(block);
    const auto key = keyType == 0x60 ? card_model::Key::kA : card_model::Key::kB;
    if (!lib::CardAcceptsKey(image_, sector, key, *volatileKey_)) {
        halted_ = true;
        return Status(kFailed);
    }
    session_.authenticatedSector = sector;
    session_.authenticatedKey = key;
    return Status(kOk);
}

Bytes StorageCardResponder::ReadBinary(int block) {
    int condition = 0;
    Bytes out(card_model::kBlockSize);
    if (lib::ReachBlock(session_, image_, block, &condition) != acr120::rc::kOk ||
        lib::ReadClassicBlock(image_, block, condition, session_.authenticatedKey, out.data()) !=
            acr120::rc::kOk) {
        return Status(kNotSatisfied);
    }
    return Status(kOk, out);
}

Bytes StorageCardResponder::UpdateBinary(int block, std::span<const std::uint8_t> data) {
    int condition = 0;
    if (block == 0 || lib::ReachBlock(session_, image_, block, &condition) != acr120::rc::kOk) {
        return Status(kNotSatisfied);
    }
    const auto target = std::span(image_).subspan(
        static_cast<std::size_t>(block) * card_model::kBlockSize, card_model::kBlockSize);
    if (card_model::IsTrailer(block)) {
        if (!lib::WriteTrailer(target, data.data(), condition, session_.authenticatedKey)) {
            return Status(kNotSatisfied);
        }
    } else if (card_model::DataWrite(condition, session_.authenticatedKey)) {
        std::copy(data.begin(), data.end(), target.begin());
    } else {
        return Status(kNotSatisfied);
    }
    ++writes_;
    return Status(kOk);
}

}  // namespace vpcd
