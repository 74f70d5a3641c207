#include "reader/reader_port.h"

#include "errors/coded_exception.h"
#include "reader/reader_ports.h"

std::uint16_t CardTypeFromTagType(std::uint8_t tagType) {
    switch (tagType) {
        case acr120::kTagMifare1K:
            return kCardTypeMifare1K;
        case acr120::kTagMifare4K:
            return kCardTypeMifare4K;
        case acr120::kTagSevenByteUid:
            return kCardTypeSevenByteUid;
        default:
            return kCardTypeUnknown;
    }
}

std::unique_ptr<IReaderPort> OpenReaderPort(PortKind kind, std::int16_t portIndex,
                                            std::int16_t option, CACR120Dll* serialLibrary,
                                            CACR120UDll* usbLibrary) {
    switch (kind) {
        case PortKind::Serial:
            return OpenSerialReaderPort(*serialLibrary, portIndex, option);
        case PortKind::Usb:
            return OpenUsbReaderPort(*usbLibrary, portIndex);
        default:
            throw CCodedException(kErrReaderTypeNotSupported, kSourceReaderBase);
    }
}
