#include "wave_ffmpeg.h"

#include <algorithm>
#include <memory>

#include "ACS_Wave.h"
#include "WaveConverter.h"
#include "ffmpeg_lib.h"
#include "libwma1.h"

namespace quillet {
namespace {
// Only FFmpeg's WAV demuxer: the file has already been walked as RIFF/WAVE.
const TWMReaderProfile kWaveProfile{"wav", true, false};

// FFmpeg's WAV demuxer allocates a chunk's (or an INFO item's) claimed size
// before it reads it, so a 150-byte file can ask for gigabytes. It therefore
// sees the file only up to the end of its last whole chunk (a torn "data"
// chunk, whose sound is still there, is kept to the file's end); an INFO item
// is bounded by its LIST chunk.
int64_t WholeChunksEnd(TStream& s) {
    const int64_t size = s.Size();
    int64_t at = 12;  // past "RIFF", its size and "WAVE"
    if (size < at) return size;
    for (int chunks = 0; chunks < 4096 && size - at >= 8; ++chunks) {
        uint8_t chunk[8];
        s.SetPosition(at);
        if (ReadUpTo(s, chunk, 8) != 8) break;
        const int64_t bytes = GetLE32(chunk + 4);
        if (bytes > size - at - 8) return SameChunkId(chunk, "data") ? size : at;
        at += 8 + bytes;
        // An odd chunk's pad byte, where the writer put one.
        uint8_t next = 0;
        if ((bytes & 1) && at < size) {
            s.SetPosition(at);
            if (ReadUpTo(s, &next, 1) == 1 && (next < 0x20 || next > 0x7E)) ++at;
        }
    }
    return size;
}

// The first `end` bytes of a stream, read-only.
class TPrefixStream : public TStream {
  public:
    TPrefixStream(TStream& whole, int64_t end) : FWhole(whole), FEnd(end) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t at = FWhole.Position();
        if (at < 0 || count <= 0) return 0;
        return FWhole.Read(buffer, std::min(count, std::max<int64_t>(FEnd - at, 0)));
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        int64_t target = offset;
        if (origin == TSeekOrigin::soCurrent) target += FWhole.Position();
        if (origin == TSeekOrigin::soEnd) target += FEnd;
        if (target < 0 || target > FEnd) return -1;
        return FWhole.Seek(target, TSeekOrigin::soBeginning);
    }
    int64_t Size() override { return FEnd; }

  private:
    TStream& FWhole;
    const int64_t FEnd;
};
}  // namespace

int64_t WaveThroughFfmpegLimit(int64_t fileBytes) {
    const int64_t byRatio = fileBytes > kMaxWaveThroughFfmpegBytes / kMaxWaveExpansion
                                ? kMaxWaveThroughFfmpegBytes
                                : std::max<int64_t>(fileBytes, 0) * kMaxWaveExpansion;
    return std::min(kMaxWaveThroughFfmpegBytes, std::max(kMinWaveThroughFfmpegBytes, byRatio));
}

bool DecodeWaveThroughFfmpeg(TStream& source, TStream& pcmWave) {
    RequireFfmpeg();
    const int64_t limit = WaveThroughFfmpegLimit(source.Size());
    TPrefixStream whole(source, WholeChunksEnd(source));
    whole.SetPosition(0);
    TWMReader reader;
    reader.Profile = &kWaveProfile;
    WMOpen(reader, whole, false, 0);
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
        if (pcm.Size() + bytes > limit) {
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
