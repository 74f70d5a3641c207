#pragma once
// Binding of the USB reader library (libacr120u.so / ACR120U.dll). USB calls
// go straight to these entry points and are never traced.

#include <string>

#include "platform/library.h"
#include "reader/acr120_api.h"

class CACR120UDll {
public:
    CACR120UDll() = default;
    ~CACR120UDll();
    CACR120UDll(const CACR120UDll&) = delete;
    CACR120UDll& operator=(const CACR120UDll&) = delete;

    bool Load(const platform::ModuleRef& module);
    void Unload();

    bool IsLoaded() const { return module_ != nullptr; }

    static std::string FileName();

    acr120::usb::Open ACR120_Open = nullptr;
    acr120::usb::Close ACR120_Close = nullptr;
    acr120::usb::ListTags ACR120_ListTags = nullptr;
    acr120::usb::MultiTagSelect ACR120_MultiTagSelect = nullptr;
    acr120::usb::Select ACR120_Select = nullptr;
    acr120::usb::WriteMasterKey ACR120_WriteMasterKey = nullptr;
    acr120::usb::Login ACR120_Login = nullptr;
    acr120::usb::Read ACR120_Read = nullptr;
    acr120::usb::Write ACR120_Write = nullptr;
    acr120::usb::ReadValue ACR120_ReadValue = nullptr;
    acr120::usb::WriteValue ACR120_WriteValue = nullptr;
    acr120::usb::Inc ACR120_Inc = nullptr;
    acr120::usb::Dec ACR120_Dec = nullptr;
    acr120::usb::ReadEEPROM ACR120_ReadEEPROM = nullptr;
    acr120::usb::WriteEEPROM ACR120_WriteEEPROM = nullptr;

private:
    void ClearEntryPoints();

    platform::LibraryHandle module_ = nullptr;
};
