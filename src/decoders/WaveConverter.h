// TWaveConverter: turns a WAV whose payload is MPEG layer-3 into a plain
// 16-bit PCM WAV held in memory, which the WAV input then reads like any PCM
// file. FFmpeg's MP3 decoder (loaded at run time, ffmpeg_lib.h) does the
// decoding.
//
// Calling order (the WAV input's): create, rewind the source stream,
// LoadWave, TargetFormat's format tag := 1, SuggestFormat, ConvertData,
// StoreWave into a fresh memory stream, release. The caller loads FFmpeg
// (RequireFfmpeg) before ConvertData.
//
// Threads: one thread at a time (the WAV input calls it under its open lock).
#pragma once

#include <array>
#include <cstdint>

#include "ACS_Procs.h"
#include "ACS_Streams.h"

namespace quillet {

// A WAVEFORMATEX record with its extra bytes, as a "fmt " chunk body holds it
// (little-endian): 0 format tag, 2 channels, 4 samples per second, 8 average
// bytes per second, 12 block align, 14 bits per sample, 16 extra size.
struct TWaveFormatRecord {
    static constexpr size_t kSize = 129;
    std::array<uint8_t, kSize> Bytes{};

    uint16_t FormatTag() const { return GetLE16(&Bytes[0]); }
    uint16_t Channels() const { return GetLE16(&Bytes[2]); }
    uint32_t SamplesPerSec() const { return GetLE32(&Bytes[4]); }
    uint32_t AvgBytesPerSec() const { return GetLE32(&Bytes[8]); }
    uint16_t BlockAlign() const { return GetLE16(&Bytes[12]); }
    uint16_t BitsPerSample() const { return GetLE16(&Bytes[14]); }
    uint16_t ExtraSize() const { return GetLE16(&Bytes[16]); }
    void SetFormatTag(uint16_t v) { PutLE16(&Bytes[0], v); }
};

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatMpegLayer3 = 0x55;

// Result codes other than 0.
inline constexpr int32_t kConvertNotPossible = 512;  // no PCM format for this payload
inline constexpr int32_t kConvertNoAudio = 513;      // the payload decoded to nothing
inline constexpr int32_t kStoreWaveFailed = 286;     // writing the WAV failed

// Its content (the stream data) is the payload of the WAV it holds, without
// header.
class TWaveConverter : public TMemoryStream {
  public:
    TWaveConverter() = default;

    // Takes the format and the payload of the WAV in `stream`, read from its
    // current position: a byte-by-byte search for "fmt ", "fact" and "data"
    // windows after a case-sensitive "RIFF"/"WAVE" check (the last "data"
    // window with a non-zero size wins). Nothing is loaded from a stream that
    // does not start that way. Sizes are clamped to what the stream holds.
    // Returns 0.
    int32_t LoadWave(TStream& stream);
    // The format suggestion: fills TargetFormat with 16-bit PCM of
    // SourceFormat's channels and rate. Non-zero when there is no such format
    // (not MPEG layer-3, no channels, more than two, or no rate).
    int32_t SuggestFormat();
    // Decodes the whole payload into TargetFormat's PCM, which then becomes
    // the content, and copies TargetFormat over SourceFormat. 0 on success;
    // otherwise an error code and the content is unchanged.
    int32_t ConvertData();
    // Writes the content as a canonical 44-byte-header WAV to `stream`.
    // Returns 0, or kStoreWaveFailed when writing failed.
    int32_t StoreWave(TStream& stream);

    TWaveFormatRecord SourceFormat;  // describes the current content
    TWaveFormatRecord TargetFormat;  // what ConvertData produces

  private:
    void SetContent(std::vector<uint8_t> bytes);
};

}  // namespace quillet
