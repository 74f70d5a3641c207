#pragma once
// How both reader libraries export the API: plain C names, visible outside the
// library (everything else is hidden), each of the type the interface header gives it.

#include <type_traits>

#if defined(_WIN32)
#define VREADER_EXPORT extern "C" __declspec(dllexport)
#else
#define VREADER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// ACR120_<name> has the type <api>::<name> (api: acr120::serial or acr120::usb).
#define VREADER_EXPORT_HAS_TYPE(api, name) std::is_same_v<decltype(&ACR120_##name), api::name>

// The functions both variants export under one name, each with its variant's type.
// (GCC names the one that does not.)
#define VREADER_CHECK_SHARED_EXPORTS(api)                                                       \
    static_assert(std::is_same_v<decltype(&Tagquill_ListPorts), acr120::ListPorts>);            \
    static_assert(                                                                              \
        VREADER_EXPORT_HAS_TYPE(api, Open) && VREADER_EXPORT_HAS_TYPE(api, Close) &&            \
        VREADER_EXPORT_HAS_TYPE(api, Select) && VREADER_EXPORT_HAS_TYPE(api, MultiTagSelect) && \
        VREADER_EXPORT_HAS_TYPE(api, WriteMasterKey) && VREADER_EXPORT_HAS_TYPE(api, Login) &&  \
        VREADER_EXPORT_HAS_TYPE(api, Read) && VREADER_EXPORT_HAS_TYPE(api, Write) &&            \
        VREADER_EXPORT_HAS_TYPE(api, ReadValue) && VREADER_EXPORT_HAS_TYPE(api, WriteValue) &&  \
        VREADER_EXPORT_HAS_TYPE(api, Inc) && VREADER_EXPORT_HAS_TYPE(api, Dec) &&               \
        VREADER_EXPORT_HAS_TYPE(api, ReadEEPROM) && VREADER_EXPORT_HAS_TYPE(api, WriteEEPROM))
