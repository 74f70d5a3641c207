#pragma once
// Binding of the USB reader library (libacr120u.so / ACR120U.dll). USB calls
// are never traced.

#include <cstdint>
#include <string>
#include <tuple>

#include "reader/acr120_api.h"
#include "reader/library_binding.h"

namespace acr120::usb {

// The exported functions, in binding order (the library's historical order:
// Select before MultiTagSelect).
struct EntryPoints {
    template <typename Function>
    using Entry = reader_binding::EntryPoint<Function>;

    Entry<Open> open{"ACR120_Open"};
    Entry<Close> close{"ACR120_Close"};
    Entry<ListTags> listTags{"ACR120_ListTags"};
    Entry<Select> select{"ACR120_Select"};
    Entry<MultiTagSelect> multiTagSelect{"ACR120_MultiTagSelect"};
    Entry<WriteMasterKey> writeMasterKey{"ACR120_WriteMasterKey"};
    Entry<Login> login{"ACR120_Login"};
    Entry<Read> read{"ACR120_Read"};
    Entry<Write> write{"ACR120_Write"};
    Entry<ReadValue> readValue{"ACR120_ReadValue"};
    Entry<WriteValue> writeValue{"ACR120_WriteValue"};
    Entry<Inc> inc{"ACR120_Inc"};
    Entry<Dec> dec{"ACR120_Dec"};
    Entry<ReadEEPROM> readEeprom{"ACR120_ReadEEPROM"};
    Entry<WriteEEPROM> writeEeprom{"ACR120_WriteEEPROM"};

    auto All() {
        return std::tie(open, close, listTags, select, multiTagSelect, writeMasterKey, login, read,
                        write, readValue, writeValue, inc, dec, readEeprom, writeEeprom);
    }
};

}  // namespace acr120::usb

class CACR120UDll : public reader_binding::CLibraryBinding<acr120::usb::EntryPoints> {
public:
    using Entries = acr120::usb::EntryPoints;

    CACR120UDll() : CLibraryBinding(FileName()) {}

    static std::string FileName();

    template <typename Function, typename... Arguments>
    std::int16_t Call(reader_binding::EntryPoint<Function> Entries::*entry,
                      Arguments... arguments) {
        return (entries_.*entry).function(arguments...);
    }
};
