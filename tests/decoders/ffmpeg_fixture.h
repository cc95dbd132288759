// Fixtures of every format the general FFmpeg input reads, made by ffmpeg,
// sox and wavpack on first use in the MP3/WMA fixture folder, with the
// reference decode of each (`ffmpeg -i F -f s16le|s24le|s32le -`) and the
// source PCM the lossless ones must give back.
#pragma once

#include <string>

#include "wm_fixture.h"

namespace quillet::test::ff {

using wm::Bytes;
using wm::Made;
using wm::ReadFile;

struct TFfFixture {
    const char* Name;
    int Rate;
    int Channels;
    int Bits;            // the width the input gives (the source's precision)
    const char* Encode;  // reads $IN (16 or 24-bit WAV as Bits says), writes $OUT
    bool Lossless;       // decodes to the source's PCM
    bool Estimated;      // the container gives no length, FFmpeg estimates one
    bool EndPadded;      // ffmpeg keeps encoder padding the container trims (AAC in MP4)
};

inline const TFfFixture kFfFixtures[] = {
    {"opus.opus", 48000, 2, 16, "ffmpeg -v error -i \"$IN\" -c:a libopus -b:a 96k -f opus \"$OUT\"",
     false, false, false},
    {"flac.oga", 44100, 2, 16, "ffmpeg -v error -i \"$IN\" -c:a flac -f ogg \"$OUT\"", true, false,
     false},
    {"aac.m4a", 44100, 2, 16, "ffmpeg -v error -i \"$IN\" -c:a aac -b:a 128k -f ipod \"$OUT\"",
     false, false, true},
    {"adts.aac", 44100, 2, 16, "ffmpeg -v error -i \"$IN\" -c:a aac -f adts \"$OUT\"", false, true,
     false},
    {"alac16.m4a", 44100, 2, 16, "ffmpeg -v error -i \"$IN\" -c:a alac -f ipod \"$OUT\"", true,
     false, false},
    {"alac24.m4a", 48000, 2, 24, "ffmpeg -v error -i \"$IN\" -c:a alac -f ipod \"$OUT\"", true,
     false, false},
    {"pcm16.aiff", 44100, 2, 16, "ffmpeg -v error -i \"$IN\" -f aiff \"$OUT\"", true, false, false},
    {"pcm24.aif", 48000, 1, 24, "ffmpeg -v error -i \"$IN\" -c:a pcm_s24be -f aiff \"$OUT\"", true,
     false, false},
    {"wv16.wv", 44100, 2, 16, "wavpack -q -y \"$IN\" -o \"$OUT\".wv && mv \"$OUT\".wv \"$OUT\"",
     true, false, false},
    {"wv24.wv", 48000, 2, 24, "wavpack -q -y -hh \"$IN\" -o \"$OUT\".wv && mv \"$OUT\".wv \"$OUT\"",
     true, false, false},
    {"mp2.mp2", 44100, 2, 16, "ffmpeg -v error -i \"$IN\" -c:a mp2 -b:a 192k -f mp2 \"$OUT\"",
     false, true, false},
    {"tta24.tta", 48000, 2, 24, "ffmpeg -v error -i \"$IN\" -f tta \"$OUT\"", true, false, false},
    {"pcm.caf", 44100, 2, 16, "ffmpeg -v error -i \"$IN\" -f caf \"$OUT\"", true, true, false},
    {"pcm24.w64", 48000, 2, 24, "ffmpeg -v error -i \"$IN\" -c:a pcm_s24le -f w64 \"$OUT\"", true,
     true, false},
    {"pcm.au", 22050, 1, 16, "ffmpeg -v error -i \"$IN\" -f au \"$OUT\"", true, false, false},
};

inline void PrintTo(const TFfFixture& f, std::ostream* os) {
    *os << f.Name;
}

// Three seconds of tones and noise at 24 bits, so the low byte matters.
inline std::string SourceWav24(int rate, int channels) {
    const std::string name =
        "src24_" + std::to_string(rate) + "_" + std::to_string(channels) + ".wav";
    return Made(name, "sox -R -D -n -r " + std::to_string(rate) + " -c " +
                          std::to_string(channels) +
                          " -b 24 -t wavpcm \"$OUT\".wav synth 3 sine 300-2000 sine 523 "
                          "whitenoise vol 0.5 && mv \"$OUT\".wav \"$OUT\"");
}

inline std::string Source(const TFfFixture& f) {
    return f.Bits == 24 ? SourceWav24(f.Rate, f.Channels) : wm::SourceWav(f.Rate, f.Channels);
}

inline std::string MakeFixture(const TFfFixture& f) {
    const std::string in = Source(f);
    if (in.empty()) return {};
    return Made(f.Name, "IN='" + in + "'; " + f.Encode);
}

// `path` decoded by ffmpeg to raw PCM of `bits` bits (16, 24 or 32).
inline Bytes Decoded(const std::string& path, int bits) {
    const std::string fmt = "s" + std::to_string(bits) + "le";
    const std::string name = std::filesystem::path(path).filename().string() + "." + fmt;
    return ReadFile(Made(name, "ffmpeg -v error -i '" + path + "' -f " + fmt + " -y \"$OUT\""));
}

}  // namespace quillet::test::ff
