#pragma once
// Binding of the serial reader library (libacr120.so / ACR120.dll): loads the
// file that lies beside a given module and keeps one typed entry point per
// exported function. The program calls the serial library through the traced
// operations declared below, which forward to these entry points and, when a
// trace file is named, append one line per call.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/library.h"
#include "reader/acr120_api.h"

class CACR120Dll {
public:
    CACR120Dll() = default;
    ~CACR120Dll();
    CACR120Dll(const CACR120Dll&) = delete;
    CACR120Dll& operator=(const CACR120Dll&) = delete;

    // True only when the file is loaded and every entry point was found. A
    // missing function leaves the file loaded (last error 127) until Unload.
    bool Load(const platform::ModuleRef& module);
    // Frees the file; when the system refuses, nothing changes.
    void Unload();

    bool IsLoaded() const { return module_ != nullptr; }

    static std::string FileName();

    // Entry points, in binding order.
    acr120::serial::Open ACR120_Open = nullptr;
    acr120::serial::Close ACR120_Close = nullptr;
    acr120::serial::GetID ACR120_GetID = nullptr;
    acr120::serial::ListTag ACR120_ListTag = nullptr;
    acr120::serial::Select ACR120_Select = nullptr;
    acr120::serial::MultiTagSelect ACR120_MultiTagSelect = nullptr;
    acr120::serial::WriteMasterKey ACR120_WriteMasterKey = nullptr;
    acr120::serial::Login ACR120_Login = nullptr;
    acr120::serial::Read ACR120_Read = nullptr;
    acr120::serial::Write ACR120_Write = nullptr;
    acr120::serial::ReadValue ACR120_ReadValue = nullptr;
    acr120::serial::WriteValue ACR120_WriteValue = nullptr;
    acr120::serial::Inc ACR120_Inc = nullptr;
    acr120::serial::Dec ACR120_Dec = nullptr;
    acr120::serial::ReadEEPROM ACR120_ReadEEPROM = nullptr;
    acr120::serial::WriteEEPROM ACR120_WriteEEPROM = nullptr;

    // Traced operations (acr120_trace.cpp): each forwards to its entry point
    // with the arguments unchanged, appends one line to the trace file when
    // traceFileName is set, and returns the library's result unchanged.
    std::int16_t Open(std::int16_t portIndex, std::int16_t option);
    std::int16_t Close(std::int16_t handle);
    std::int16_t GetID(std::int16_t handle, std::uint8_t* count, std::uint8_t* stationList);
    std::int16_t ListTag(std::int16_t handle, std::uint8_t station, std::uint8_t* count,
                         std::uint32_t* typeFlag, std::uint8_t* tagTypes, std::uint8_t* serials);
    std::int16_t MultiTagSelect(std::int16_t handle, std::uint8_t station,
                                std::uint8_t* serialToSelect, std::uint32_t* value,
                                std::uint8_t* tagType, std::uint8_t* serialOut);
    std::int16_t WriteMasterKey(std::int16_t handle, std::uint8_t station, std::uint8_t keySlot,
                                std::uint8_t* key);
    std::int16_t Login(std::int16_t handle, std::uint8_t station, std::uint8_t sector,
                       std::uint8_t keyMode, std::int32_t keySlot, std::uint8_t* key);
    std::int16_t Read(std::int16_t handle, std::uint8_t station, std::uint8_t block,
                      std::uint8_t* data);
    std::int16_t Write(std::int16_t handle, std::uint8_t station, std::uint8_t block,
                       std::uint8_t* data);
    std::int16_t ReadEEPROM(std::int16_t handle, std::uint8_t station, std::uint8_t reg,
                            std::uint8_t* value);
    std::int16_t WriteEEPROM(std::int16_t handle, std::uint8_t station, std::uint8_t reg,
                             std::uint8_t value);

    // Appends one time-stamped line to the trace file. True when written, or at
    // once when no trace is set; on failure the thread's last error tells why.
    bool WriteTraceLine(std::u16string_view callText);

private:
    void ClearEntryPoints();
    // Builds the call text only when a trace is set, and never lets a failure
    // to trace reach the caller.
    template <typename BuildText>
    void Trace(BuildText&& buildText);

    platform::LibraryHandle module_ = nullptr;

public:
    // Path of the call trace; empty means no trace. Set from TAGQUILL_TRACE.
    std::u16string traceFileName;
};
