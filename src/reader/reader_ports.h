#pragma once
// The two kinds of reader port, for OpenReaderPort alone.

#include <cstdint>
#include <memory>

#include "reader/reader_port.h"

// Opens the serial reader, learns its station and switches a reader that came
// up in mode 0x42 to 0x46.
std::unique_ptr<IReaderPort> OpenSerialReaderPort(CACR120Dll& library, std::int16_t portIndex,
                                                  std::int16_t option);
std::unique_ptr<IReaderPort> OpenUsbReaderPort(CACR120UDll& library, std::int16_t portIndex);
