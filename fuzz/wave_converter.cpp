// Fuzzes TWaveConverter's LoadWave (the byte-by-byte chunk search) and
// StoreWave of what it loaded.
#include <cstddef>
#include <cstdint>

#include "WaveConverter.h"

// Where the checksum goes, so the decoding cannot be optimised away.
volatile uint32_t g_wave_converter_checksum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quillet::TMemoryStream stream(data, size);
    quillet::TWaveConverter converter;
    converter.LoadWave(stream);
    converter.TargetFormat.SetFormatTag(quillet::kWaveFormatPcm);
    uint32_t sum = static_cast<uint32_t>(converter.SuggestFormat());
    for (uint8_t b : converter.SourceFormat.Bytes) sum = sum * 31 + b;
    quillet::TMemoryStream out;
    sum += static_cast<uint32_t>(converter.StoreWave(out));
    for (uint8_t b : out.Data()) sum = sum * 31 + b;
    g_wave_converter_checksum = sum;
    return 0;
}
