// TFLACIn over arbitrary bytes, as a run would play them: open, a few blocks,
// a seek chosen by the input, the rest. Bad input may raise the decoder's
// messages; anything else (a crash, a hang, a leak) is a finding.
#include <cstddef>
#include <cstdint>

#include "ACS_FLAC.h"

namespace {
volatile uint64_t g_sink;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quillet::TMemoryStream stream(data, size);
    quillet::TFLACIn in;
    in.SetStream(&stream);
    uint64_t sum = 0;
    try {
        in.BeginRead();
        sum += in.GetChannels() * 31 + in.GetBitsPerSample() + in.VorbisTags().Title().size();
        for (int i = 0; i < 4096; ++i) {
            uint8_t* block = nullptr;
            uint32_t bytes = 1000 + 4096 * (i % 3);
            in.GetBlock(block, bytes);
            if (bytes == 0 || !block) break;
            for (uint32_t k = 0; k < bytes; k += 7) sum = sum * 131 + block[k];
            if (i == 2 && size > 8) in.GoToSample((data[size - 1] << 8 | data[size - 2]) * 7);
        }
    } catch (const quillet::EAuException&) {
        sum ^= 1;
    }
    in.EndRead();
    in.SetStream(nullptr);
    g_sink = sum;
    return 0;
}
