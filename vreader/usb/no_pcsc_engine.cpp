// Built where pcsc-lite's headers are missing: the library serves the virtual
// readers alone.

#include "usb/usb_engine.h"

namespace vreader::usb {

const UsbEngine* PcscEngine() {
    return nullptr;
}

}  // namespace vreader::usb
