#pragma once
// The reader maker's function library, as the program calls it. It comes in two
// variants with the same function names: the serial library (readers on a COM
// port; calls take the station number learnt from ACR120_GetID) and the USB
// library (no station). This header only names the function types; the
// bindings (acr120_dll.h, acr120u_dll.h) hold typed pointers to them, and the
// virtual reader implements them.
//
// Every function returns a 16-bit signed status, negative for an error.

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define ACR120_CALL __stdcall
#else
#define ACR120_CALL
#endif

namespace acr120 {

// Sizes of the buffers callers hand over (the smallest room a caller gives).
inline constexpr int kSerialNumberSize = 10;
inline constexpr int kKeySize = 6;
inline constexpr int kBlockSize = 16;
inline constexpr int kStationListSize = 256;
inline constexpr int kMaxTagTypes = 16;
inline constexpr int kSerialListMaxTags = 16;  // serial ListTag: 16 x 10 bytes
inline constexpr int kUsbListMaxTags = 4;      // USB ListTags: 4 lengths, 4 x 10 bytes

// Tag type codes the library reports.
inline constexpr std::uint8_t kTagMifare1K = 2;
inline constexpr std::uint8_t kTagMifare4K = 3;
inline constexpr std::uint8_t kTagSevenByteUid = 5;

// Key modes of ACR120_Login.
namespace serial_key_mode {
inline constexpr std::uint8_t kKeyA = 0;
inline constexpr std::uint8_t kKeyB = 1;
inline constexpr std::uint8_t kStoredKeyA = 3;
inline constexpr std::uint8_t kStoredKeyB = 4;
}  // namespace serial_key_mode
namespace usb_key_mode {
inline constexpr std::uint8_t kKeyA = 0xAA;
inline constexpr std::uint8_t kKeyB = 0xBB;
inline constexpr std::uint8_t kStoredKeyA = 0xAF;
inline constexpr std::uint8_t kStoredKeyB = 0xBF;
}  // namespace usb_key_mode

// Return codes (the library's own; the texts are in reader_error.cpp).
namespace rc {
inline constexpr std::int16_t kOk = 0;
inline constexpr std::int16_t kInternalError = -1000;
inline constexpr std::int16_t kInvalidPort = -2000;
inline constexpr std::int16_t kPortOccupied = -2010;
inline constexpr std::int16_t kInvalidHandle = -2020;
inline constexpr std::int16_t kInvalidParameter = -2030;
inline constexpr std::int16_t kNoCard = -3000;
inline constexpr std::int16_t kReadFailAfterOperation = -3010;
inline constexpr std::int16_t kInvalidValueBlock = -3020;
inline constexpr std::int16_t kOperationFailed = -3030;
inline constexpr std::int16_t kUnknownReaderError = -3040;
inline constexpr std::int16_t kInvalidStoredKey = -4010;
inline constexpr std::int16_t kLoginFailed = -4011;
inline constexpr std::int16_t kNotAuthorized = -4012;
inline constexpr std::int16_t kReadAfterWriteFailed = -4020;
inline constexpr std::int16_t kDecrementFailure = -4030;
inline constexpr std::int16_t kIncrementOverflow = -4031;
inline constexpr std::int16_t kValueOperationFailure = -4032;
inline constexpr std::int16_t kValueBlockFormat = -4033;
inline constexpr std::int16_t kValueAccessFailure = -4034;
}  // namespace rc

// Serial library (ACR120.dll / libacr120.so): handle, station, then the rest.
namespace serial {
using Open = std::int16_t(ACR120_CALL*)(std::int16_t portIndex, std::int16_t option);
using Close = std::int16_t(ACR120_CALL*)(std::int16_t handle);
using GetID = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t* count,
                                         std::uint8_t* stationList /*256*/);
using ListTag = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                           std::uint8_t* count, std::uint32_t* typeFlag,
                                           std::uint8_t* tagTypes /*16*/,
                                           std::uint8_t* serials /*16 x 10*/);
using Select = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                          std::uint8_t* tagType, std::uint8_t* tagLength,
                                          std::uint8_t* serial /*10*/);
using MultiTagSelect = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                                  std::uint8_t* serialToSelect /*10*/,
                                                  std::uint32_t* value, std::uint8_t* tagType,
                                                  std::uint8_t* serialOut /*10*/);
using WriteMasterKey = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                                  std::uint8_t keySlot, std::uint8_t* key /*6*/);
using Login = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                         std::uint8_t sector, std::uint8_t keyMode,
                                         std::int32_t keySlot, std::uint8_t* key /*6 or null*/);
using Read = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                        std::uint8_t block, std::uint8_t* data /*16*/);
using Write = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                         std::uint8_t block, std::uint8_t* data /*16*/);
using ReadValue = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                             std::uint8_t block, std::int32_t* value);
using WriteValue = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                              std::uint8_t block, std::int32_t value);
using Inc = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                       std::uint8_t block, std::int32_t amount,
                                       std::int32_t* newValue);
using Dec = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                       std::uint8_t block, std::int32_t amount,
                                       std::int32_t* newValue);
using ReadEEPROM = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                              std::uint8_t reg, std::uint8_t* value);
using WriteEEPROM = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t station,
                                               std::uint8_t reg, std::uint8_t value);
}  // namespace serial

// USB library (ACR120U.dll / libacr120u.so): no station, no ACR120_GetID.
namespace usb {
using Open = std::int16_t(ACR120_CALL*)(std::int16_t portIndex);
using Close = std::int16_t(ACR120_CALL*)(std::int16_t handle);
using ListTags = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t* count,
                                            std::uint8_t* tagTypes /*16*/,
                                            std::uint8_t* lengths /*4*/,
                                            std::uint8_t* serials /*4 x 10*/);
using MultiTagSelect = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t length,
                                                  std::uint8_t* serial /*10*/,
                                                  std::uint8_t* tagTypeOut, std::uint8_t* lengthOut,
                                                  std::uint8_t* serialOut /*10*/);
using Select = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t* tagType,
                                          std::uint8_t* tagLength, std::uint8_t* serial /*10*/);
using WriteMasterKey = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t keySlot,
                                                  std::uint8_t* key /*6*/);
using Login = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t sector,
                                         std::uint8_t keyMode, std::int32_t keySlot,
                                         std::uint8_t* key /*6 or null*/);
using Read = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t block,
                                        std::uint8_t* data /*16*/);
using Write = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t block,
                                         std::uint8_t* data /*16*/);
using ReadValue = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t block,
                                             std::int32_t* value);
using WriteValue = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t block,
                                              std::int32_t value);
using Inc = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t block, std::int32_t amount,
                                       std::int32_t* newValue);
using Dec = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t block, std::int32_t amount,
                                       std::int32_t* newValue);
using ReadEEPROM = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t reg,
                                              std::uint8_t* value);
using WriteEEPROM = std::int16_t(ACR120_CALL*)(std::int16_t handle, std::uint8_t reg,
                                               std::uint8_t value);
}  // namespace usb

// Exported by our own reader libraries (the virtual reader, the PC/SC library)
// and not by the maker's: the readers the library can serve. Writes up to `room`
// 0-based port indexes (0 is COM1 in the serial library, USB1 in the USB one),
// in ascending order, and returns how many ports it serves (possibly more than
// `room`), or a negative return code. Looked up on its own, never by a
// binding's Load, so a library without it loads as before.
inline constexpr const char* kListPortsName = "Tagquill_ListPorts";
using ListPorts = std::int16_t(ACR120_CALL*)(std::uint8_t* portIndexes, std::uint8_t room);

}  // namespace acr120
