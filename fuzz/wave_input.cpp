// Fuzzes the WAV input: the header walk (RF64's ds64 and odd chunks' pads
// too) and block decoding of every kind (A-law and mu-law too) over an
// in-memory stream, with a reposition halfway.
#include <cstddef>
#include <cstdint>

#include "ACS_Wave.h"

// Where the checksum goes, so the decoding cannot be optimised away.
volatile uint32_t g_wave_input_checksum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quillet::TMemoryStream stream(data, size);
    quillet::TWaveIn in;
    in.SetStream(&stream);
    uint32_t sum = in.GetChannels() + in.GetSampleRate() + in.GetBitsPerSample();
    try {
        in.BeginRead();
        for (int block = 0; block < 4096; ++block) {
            uint8_t* p = nullptr;
            uint32_t n = 7000;
            in.GetBlock(p, n);
            if (n == 0 || !p) break;
            for (uint32_t i = 0; i < n; ++i) sum = sum * 31 + p[i];
            if (block == 1) in.GoToSample(static_cast<int64_t>(sum % 5000));
        }
    } catch (const quillet::EAuException&) {
    }
    in.EndRead();
    in.SetStream(nullptr);
    g_wave_input_checksum = sum;
    return 0;
}
