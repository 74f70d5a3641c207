// Proxmark3 JSON dumps: see dump_round_trip.h.

#include "dump_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FuzzDump(data, size, vreader::DumpFormat::kJson);
}
