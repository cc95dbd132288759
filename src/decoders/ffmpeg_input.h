// TFFmpegIn: the source for every container FFmpeg reads for us beyond MP3
// and WMA: Ogg (Opus, FLAC, Speex, Vorbis), MP4/M4A (AAC, ALAC), ADTS AAC,
// AIFF, WavPack, Monkey's Audio, MPEG audio layers 1/2, TTA, CAF, Wave64,
// Sun AU and DSF. It is TWMIn with another reader profile: the same FFmpeg
// binding, stream adapter and reader, an allow-list of audio demuxers of its
// own, and PCM as wide as the source (16 bits, or 24/32 when the source
// carries more, so lossless files come out bit-exact). Tags arrive in the
// ID3v2 set, as for MP3 and WMA.
//
// Threads: as TWMIn.
#pragma once

#include "ACS_WinMedia.h"

namespace quillet {

// The demuxers the general input may use, comma-separated (FFmpeg's names).
extern const char kFFmpegInputDemuxers[];

class TFFmpegIn : public TWMIn {
  public:
    explicit TFFmpegIn(TComponent* owner = nullptr);
    const char* ClassName() const override { return "TFFmpegIn"; }
};

}  // namespace quillet
