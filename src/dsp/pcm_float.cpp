#include "pcm_float.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ACS_Types.h"

namespace quillet {

namespace {

template <class T>
void Load(const uint8_t* pcm, size_t samples, double scale, double* out) {
    for (size_t i = 0; i < samples; ++i, pcm += sizeof(T)) {
        T v;
        std::memcpy(&v, pcm, sizeof(T));
        out[i] = static_cast<double>(v) * scale;
    }
}

int64_t Rounded(double v, double full) {
    return static_cast<int64_t>(std::nearbyint(std::clamp(v * full, -full, full - 1)));
}

}  // namespace

void PcmToDouble(const uint8_t* pcm, size_t samples, uint32_t bits, double* out) {
    switch (bits) {
        case 8:
            for (size_t i = 0; i < samples; ++i) out[i] = (pcm[i] - 128) / 128.0;
            break;
        case 16:
            Load<int16_t>(pcm, samples, 1.0 / 32768.0, out);
            break;
        case 24:
            for (size_t i = 0; i < samples; ++i, pcm += 3)
                out[i] = (Packed24High(pcm) >> 8) / 8388608.0;
            break;
        case 32:
            Load<int32_t>(pcm, samples, 1.0 / 2147483648.0, out);
            break;
        default:
            break;
    }
}

void DoubleToPcm(const double* in, size_t samples, uint32_t bits, uint8_t* pcm) {
    switch (bits) {
        case 8:
            for (size_t i = 0; i < samples; ++i)
                pcm[i] = static_cast<uint8_t>(128 + Rounded(in[i], 128.0));
            break;
        case 16:
            for (size_t i = 0; i < samples; ++i, pcm += 2) {
                const auto v = static_cast<int16_t>(Rounded(in[i], 32768.0));
                std::memcpy(pcm, &v, 2);
            }
            break;
        case 24:
            for (size_t i = 0; i < samples; ++i, pcm += 3) {
                const auto v = static_cast<int32_t>(Rounded(in[i], 8388608.0));
                pcm[0] = static_cast<uint8_t>(v);
                pcm[1] = static_cast<uint8_t>(v >> 8);
                pcm[2] = static_cast<uint8_t>(v >> 16);
            }
            break;
        case 32:
            for (size_t i = 0; i < samples; ++i, pcm += 4) {
                const auto v = static_cast<int32_t>(Rounded(in[i], 2147483648.0));
                std::memcpy(pcm, &v, 4);
            }
            break;
        default:
            break;
    }
}

}  // namespace quillet
