#include "reader/acr120_dll.h"

#include "platform/last_error.h"
#include "reader/library_binding.h"

CACR120Dll::~CACR120Dll() { Unload(); }

std::string CACR120Dll::FileName() { return platform::SharedLibraryFileName("acr120"); }

bool CACR120Dll::Load(const platform::ModuleRef& module) {
    Unload();
    module_ = platform::LoadLibraryFile(platform::LibraryPathBeside(module, FileName()));
    if (module_ == nullptr) {
        return false;
    }
    using reader_binding::Bind;
    bool complete = true;
    complete &= Bind(module_, ACR120_Open, "ACR120_Open");
    complete &= Bind(module_, ACR120_Close, "ACR120_Close");
    complete &= Bind(module_, ACR120_GetID, "ACR120_GetID");
    complete &= Bind(module_, ACR120_ListTag, "ACR120_ListTag");
    complete &= Bind(module_, ACR120_Select, "ACR120_Select");
    complete &= Bind(module_, ACR120_MultiTagSelect, "ACR120_MultiTagSelect");
    complete &= Bind(module_, ACR120_WriteMasterKey, "ACR120_WriteMasterKey");
    complete &= Bind(module_, ACR120_Login, "ACR120_Login");
    complete &= Bind(module_, ACR120_Read, "ACR120_Read");
    complete &= Bind(module_, ACR120_Write, "ACR120_Write");
    complete &= Bind(module_, ACR120_ReadValue, "ACR120_ReadValue");
    complete &= Bind(module_, ACR120_WriteValue, "ACR120_WriteValue");
    complete &= Bind(module_, ACR120_Inc, "ACR120_Inc");
    complete &= Bind(module_, ACR120_Dec, "ACR120_Dec");
    complete &= Bind(module_, ACR120_ReadEEPROM, "ACR120_ReadEEPROM");
    complete &= Bind(module_, ACR120_WriteEEPROM, "ACR120_WriteEEPROM");
    if (!complete) {
        platform::SetLastErrorValue(platform::kErrorProcNotFound);
    }
    return complete;
}

void CACR120Dll::Unload() {
    if (module_ == nullptr) {
        return;
    }
    if (!platform::FreeLibraryFile(module_)) {
        return;
    }
    module_ = nullptr;
    ClearEntryPoints();
}

void CACR120Dll::ClearEntryPoints() {
    ACR120_Open = nullptr;
    ACR120_Close = nullptr;
    ACR120_GetID = nullptr;
    ACR120_ListTag = nullptr;
    ACR120_Select = nullptr;
    ACR120_MultiTagSelect = nullptr;
    ACR120_WriteMasterKey = nullptr;
    ACR120_Login = nullptr;
    ACR120_Read = nullptr;
    ACR120_Write = nullptr;
    ACR120_ReadValue = nullptr;
    ACR120_WriteValue = nullptr;
    ACR120_Inc = nullptr;
    ACR120_Dec = nullptr;
    ACR120_ReadEEPROM = nullptr;
    ACR120_WriteEEPROM = nullptr;
}
