#include "wave_ffmpeg.h"

#include <memory>

#include "ACS_Wave.h"
#include "WaveConverter.h"
#include "ffmpeg_lib.h"
#include "libwma1.h"

namespace quillet {
namespace {
// Only FFmpeg's WAV demuxer: the file has already been walked as RIFF/WAVE.
const TWMReaderProfile kWaveProfile{"wav", true, false};
}  // namespace

bool DecodeWaveThroughFfmpeg(TStream& source, TStream& pcmWave) {
    RequireFfmpeg();
    TWMReader reader;
    reader.Profile = &kWaveProfile;
    WMOpen(reader, source, false, 0);
    const bool opened = reader.HasAudio;
    // The converter's PCM store and WAV writer; its content is what we decode.
    TWaveConverter pcm;
    if (opened) {
        const uint16_t align = static_cast<uint16_t>(reader.Channels * (reader.BitsPerSample / 8));
        TWaveFormatRecord& f = pcm.SourceFormat;
        f.SetFormatTag(kWaveFormatPcm);
        PutLE16(&f.Bytes[2], static_cast<uint16_t>(reader.Channels));
        PutLE32(&f.Bytes[4], reader.SampleRate);
        PutLE32(&f.Bytes[8], reader.SampleRate * align);
        PutLE16(&f.Bytes[12], align);
        PutLE16(&f.Bytes[14], static_cast<uint16_t>(reader.BitsPerSample));
    }
    bool fits = true;
    for (;;) {
        uint8_t* block = nullptr;
        uint32_t bytes = 1u << 20;
        WMRead(reader, block, bytes);
        if (!block || bytes == 0) break;
        if (pcm.Size() + bytes > kMaxWaveThroughFfmpegBytes) {
            fits = false;
            break;
        }
        pcm.Write(block, bytes);
    }
    WMClose(reader);
    source.SetPosition(0);
    return opened && fits && pcm.Size() > 0 && pcm.StoreWave(pcmWave) == 0;
}

}  // namespace quillet

// The WAV input's hook for format tags it does not decode itself; here, so
// that the FFmpeg work stays out of the WAV walk.
namespace quillet {

bool TWaveIn::ParseThroughFfmpeg() {
    if (FConverted) return false;  // a converted file is plain PCM
    auto converted = std::make_unique<TMemoryStream>();
    try {
        if (!DecodeWaveThroughFfmpeg(*FSourceStream, *converted)) return false;
    } catch (...) {
        CloseFileStream();  // the open fails with the library's message
        throw;
    }
    FConverted = std::move(converted);
    FOriginalStream = FSourceStream;
    FOriginalGiven = FStreamGiven;
    FSourceStream = FConverted.get();
    FConverted->SetPosition(0);
    return ParseWaveHeader();
}

}  // namespace quillet
