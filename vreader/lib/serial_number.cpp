#include "lib/serial_number.h"

#include <algorithm>
#include <cstring>

#include "ascii/hex.h"

namespace vreader::lib {

void PutSerialNumber(const card_model::Bytes& uid, std::uint8_t* serialNumber) {
    std::memset(serialNumber, 0, kSerialNumberSize);
    std::copy(uid.begin(), uid.end(), serialNumber);
}

std::string SerialNumberHex(const card_model::Bytes& uid) {
    card_model::Bytes serialNumber(kSerialNumberSize, 0);
    PutSerialNumber(uid, serialNumber.data());
    return ascii::HexText(serialNumber);
}

}  // namespace vreader::lib
