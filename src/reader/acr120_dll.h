#pragma once
// Binding of the serial reader library (libacr120.so / ACR120.dll). Every call
// goes through Call, which forwards the arguments unchanged and, when a trace
// file is named, appends one line describing the call (acr120_trace.h); the
// entry points themselves are not reachable around it.

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "reader/acr120_api.h"
#include "reader/acr120_trace.h"
#include "reader/library_binding.h"

namespace acr120::serial {

// The exported functions, in binding order.
struct EntryPoints {
    template <typename Function>
    using Entry = reader_binding::EntryPoint<Function>;

    Entry<Open> open{"ACR120_Open"};
    Entry<Close> close{"ACR120_Close"};
    Entry<GetID> getId{"ACR120_GetID"};
    Entry<ListTag> listTag{"ACR120_ListTag"};
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
        return std::tie(open, close, getId, listTag, select, multiTagSelect, writeMasterKey, login,
                        read, write, readValue, writeValue, inc, dec, readEeprom, writeEeprom);
    }
};

}  // namespace acr120::serial

class CACR120Dll : public reader_binding::CLibraryBinding<acr120::serial::EntryPoints> {
public:
    using Entries = acr120::serial::EntryPoints;

    CACR120Dll() : CLibraryBinding(FileName()) {}

    static std::string FileName();

    // Calls one entry point. Arguments are passed as they are, but for the
    // trace wrappers Shown and SerialBytes, which pass their pointer and say how
    // the trace line shows it; a bare pointer shows only its address.
    template <typename Function, typename... Arguments>
    std::int16_t Call(reader_binding::EntryPoint<Function> Entries::*entry,
                      Arguments... arguments) {
        const reader_binding::EntryPoint<Function>& point = entries_.*entry;
        const std::int16_t result = point.function(reader_trace::Pass(arguments)...);
        if (!traceFileName.empty()) {
            Trace([&] { return reader_trace::CallText(point.name, result, arguments...); });
        }
        return result;
    }

    // Appends one time-stamped line to the trace file. True when written, or at
    // once when no trace is set; on failure the thread's last error tells why.
    bool WriteTraceLine(std::u16string_view callText);

    // Path of the call trace; empty means no trace. Set from TAGQUILL_TRACE.
    std::u16string traceFileName;

private:
    // A trace is a diagnostic aid: running out of memory while describing a
    // call must not turn a call that worked (an opened handle, a written block)
    // into a failure the caller would act on.
    template <typename BuildText>
    void Trace(BuildText&& buildText) {
        std::u16string text;
        if (reader_trace::BuildCallText(buildText, text)) {
            WriteTraceLine(text);
        }
    }
};
