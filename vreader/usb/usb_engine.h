#pragma once
// One engine behind the USB reader library: the readers it serves, numbered by
// its own port indexes, and the calls of the USB variant on the handles it gives.
// The library file serves several engines under one numbering (port_dispatch.h).

#include "reader/acr120_api.h"

namespace vreader::usb {

struct UsbEngine {
    acr120::ListPorts listPorts;
    acr120::usb::Open open;
    acr120::usb::Close close;
    acr120::usb::ListTags listTags;
    acr120::usb::MultiTagSelect multiTagSelect;
    acr120::usb::Select select;
    acr120::usb::WriteMasterKey writeMasterKey;
    acr120::usb::Login login;
    acr120::usb::Read read;
    acr120::usb::Write write;
    acr120::usb::ReadValue readValue;
    acr120::usb::WriteValue writeValue;
    acr120::usb::Inc inc;
    acr120::usb::Dec dec;
    acr120::usb::ReadEEPROM readEeprom;
    acr120::usb::WriteEEPROM writeEeprom;
};

// The table of an engine that defines its calls under the API's own names (ListPorts,
// Open, ... WriteEEPROM), as both engines do in an unnamed namespace of their file:
// expanded there, it names that file's calls.
#define VREADER_USB_ENGINE_OF_CALLS_IN_SCOPE                                                  \
    ::vreader::usb::UsbEngine {                                                               \
        .listPorts = ListPorts, .open = Open, .close = Close, .listTags = ListTags,           \
        .multiTagSelect = MultiTagSelect, .select = Select, .writeMasterKey = WriteMasterKey, \
        .login = Login, .read = Read, .write = Write, .readValue = ReadValue,                 \
        .writeValue = WriteValue, .inc = Inc, .dec = Dec, .readEeprom = ReadEEPROM,           \
        .writeEeprom = WriteEEPROM                                                            \
    }

// The virtual readers of the state folder, USB1..USB8 by their folders.
const UsbEngine& VirtualEngine();
// The readers of the PC/SC service, port 0 first in the order of their names;
// null where the library is built without PC/SC.
const UsbEngine* PcscEngine();

}  // namespace vreader::usb
