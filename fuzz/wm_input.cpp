// The MP3/WMA source on arbitrary bytes: open, read every block (up to a cap),
// jump to the middle and read on. The PCM is folded into a checksum so none
// of the work can be optimised away.
#include <cstddef>
#include <cstdint>

#include "ACS_smpeg.h"

namespace {
volatile uint64_t g_sink;

uint64_t Drain(quillet::TAuInput& in, uint64_t sum, int maxBlocks) {
    for (int i = 0; i < maxBlocks; ++i) {
        uint8_t* p = nullptr;
        uint32_t n = 8192;
        in.GetBlock(p, n);
        if (n == 0 || !p) break;
        for (uint32_t k = 0; k < n; k += 7) sum = sum * 31 + p[k];
    }
    return sum;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quillet::TMemoryStream stream(data, size);
    quillet::TMP3In in;
    in.SetStream(&stream);
    if (size > 0 && (data[0] & 1)) in.SetHighPrecision(true);
    uint64_t sum = in.IsValid() + in.GetChannels() * 7 + in.GetSampleRate();
    in.BeginRead();
    sum = Drain(in, sum, 64);
    in.GoToSample(in.GetSampleCount() / 2);
    sum = Drain(in, sum, 16);
    in.EndRead();
    for (const auto& f : in.Id3v2Tags().ListFields()) sum += f.Value.size();
    g_sink = sum;
    return 0;
}
