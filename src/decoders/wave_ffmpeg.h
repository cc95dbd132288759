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
// Nor beyond this many times the file's size (with a floor for small files):
// the lowest-rate speech codecs with silence frames stay well under 100x, so
// a few hundred bytes that claim to hold an hour are refused at once.
inline constexpr int64_t kMaxWaveExpansion = 256;
inline constexpr int64_t kMinWaveThroughFfmpegBytes = int64_t{16} << 20;

// What decoding a `fileBytes`-byte file may hold in memory at most.
int64_t WaveThroughFfmpegLimit(int64_t fileBytes);

// Decodes the WAV in `source` (from its start) into `pcmWave`. Raises
// "<file name> library could not be loaded." when FFmpeg is missing; false
// when FFmpeg cannot decode the file or its PCM would exceed the limit.
bool DecodeWaveThroughFfmpeg(TStream& source, TStream& pcmWave);

}  // namespace quillet
