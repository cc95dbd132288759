// Interleaved integer PCM (the sink's formats: unsigned 8-bit, signed 16,
// packed 24 and 32-bit little-endian) to doubles of full scale 1 and back.
// Back means rounded to nearest and saturated at full scale, so the stage
// never wraps a loud sample round to the other sign. Pure: any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

void PcmToDouble(const uint8_t* pcm, size_t samples, uint32_t bits, double* out);
void DoubleToPcm(const double* in, size_t samples, uint32_t bits, uint8_t* pcm);

}  // namespace quillet
