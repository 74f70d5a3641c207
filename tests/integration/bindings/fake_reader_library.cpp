// A stand-in reader library whose functions answer fixed values, so a test can
// tell that a binding reached this very file. Built once per variant, and again
// with one function left out.
#include <cstdint>

#include "reader/acr120_api.h"

#if defined(_WIN32)
#define EXPORT extern "C" __declspec(dllexport)
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

using std::int16_t;
using std::int32_t;
using std::uint32_t;
using std::uint8_t;

#if defined(FAKE_SERIAL)
EXPORT int16_t ACR120_CALL ACR120_Open(int16_t port, int16_t) {
    return static_cast<int16_t>(100 + port);
}
EXPORT int16_t ACR120_CALL ACR120_Close(int16_t) {
    return 0;
}
#ifndef OMIT_ACR120_GetID
EXPORT int16_t ACR120_CALL ACR120_GetID(int16_t, uint8_t* count, uint8_t* list) {
    *count = 1;
    list[0] = 9;
    return 0;
}
#endif
EXPORT int16_t ACR120_CALL ACR120_ListTag(int16_t, uint8_t, uint8_t* count, uint32_t*, uint8_t*,
                                          uint8_t*) {
    *count = 0;
    return 0;
}
EXPORT int16_t ACR120_CALL ACR120_Select(int16_t, uint8_t, uint8_t*, uint8_t*, uint8_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_MultiTagSelect(int16_t, uint8_t, uint8_t*, uint32_t*, uint8_t*,
                                                 uint8_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_WriteMasterKey(int16_t, uint8_t, uint8_t, uint8_t*) {
    return 0;
}
EXPORT int16_t ACR120_CALL ACR120_Login(int16_t, uint8_t, uint8_t, uint8_t, int32_t, uint8_t*) {
    return -4011;
}
EXPORT int16_t ACR120_CALL ACR120_Read(int16_t, uint8_t, uint8_t, uint8_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_Write(int16_t, uint8_t, uint8_t, uint8_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_ReadValue(int16_t, uint8_t, uint8_t, int32_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_WriteValue(int16_t, uint8_t, uint8_t, int32_t) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_Inc(int16_t, uint8_t, uint8_t, int32_t, int32_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_Dec(int16_t, uint8_t, uint8_t, int32_t, int32_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_ReadEEPROM(int16_t, uint8_t, uint8_t, uint8_t* value) {
    *value = 0x42;
    return 0;
}
#ifndef OMIT_ACR120_WriteEEPROM
EXPORT int16_t ACR120_CALL ACR120_WriteEEPROM(int16_t, uint8_t, uint8_t, uint8_t) {
    return 0;
}
#endif
#elif defined(FAKE_USB)
EXPORT int16_t ACR120_CALL ACR120_Open(int16_t port) {
    return static_cast<int16_t>(200 + port);
}
EXPORT int16_t ACR120_CALL ACR120_Close(int16_t) {
    return 0;
}
EXPORT int16_t ACR120_CALL ACR120_ListTags(int16_t, uint8_t* count, uint8_t*, uint8_t*, uint8_t*) {
    *count = 0;
    return 0;
}
EXPORT int16_t ACR120_CALL ACR120_MultiTagSelect(int16_t, uint8_t, uint8_t*, uint8_t*, uint8_t*,
                                                 uint8_t*) {
    return -3000;
}
#ifndef OMIT_ACR120_Select
EXPORT int16_t ACR120_CALL ACR120_Select(int16_t, uint8_t*, uint8_t*, uint8_t*) {
    return -3000;
}
#endif
EXPORT int16_t ACR120_CALL ACR120_WriteMasterKey(int16_t, uint8_t, uint8_t*) {
    return 0;
}
EXPORT int16_t ACR120_CALL ACR120_Login(int16_t, uint8_t, uint8_t, int32_t, uint8_t*) {
    return -4011;
}
EXPORT int16_t ACR120_CALL ACR120_Read(int16_t, uint8_t, uint8_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_Write(int16_t, uint8_t, uint8_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_ReadValue(int16_t, uint8_t, int32_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_WriteValue(int16_t, uint8_t, int32_t) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_Inc(int16_t, uint8_t, int32_t, int32_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_Dec(int16_t, uint8_t, int32_t, int32_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_ReadEEPROM(int16_t, uint8_t, uint8_t*) {
    return -3000;
}
EXPORT int16_t ACR120_CALL ACR120_WriteEEPROM(int16_t, uint8_t, uint8_t) {
    return -3000;
}
#else
#error "choose FAKE_SERIAL or FAKE_USB"
#endif
