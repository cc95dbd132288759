// WAV files whose codec the WAV input does not decode itself (GSM 6.10,
// G.72x, other ADPCMs...): FFmpeg's WAV demuxer decodes the whole file into
// a canonical PCM WAV in memory, which the WAV input then reads like any PCM
// file, as it does with MPEG layer-3 payloads.
//
// Threads: one thread at a time (the WAV input calls it under its open lock).
#pragma once

#include <cstdint>

#include "ACS_Streams.h"

namespace quillet {

// Decoded PCM beyond this is not held in memory: the file is refused.
inline constexpr int64_t kMaxWaveThroughFfmpegBytes = int64_t{512} << 20;

// Decodes the WAV in `source` (from its start) into `pcmWave`. Raises
// "<file name> library could not be loaded." when FFmpeg is missing; false
// when FFmpeg cannot decode the file or its PCM would exceed the limit.
bool DecodeWaveThroughFfmpeg(TStream& source, TStream& pcmWave);

}  // namespace quillet
