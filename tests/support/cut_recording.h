// One continuous recording cut into tracks, for the gapless tests: the
// tracks in a format, the PCM they must join into, and a check of what a
// device played against it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillet::test {

// SDL's disk driver writes one file for as long as a device stays open,
// one device buffer (150 ms of sound) per wait. Its pace: twice real time,
// so the ring still spans several of the worker's polls; real time under the
// sanitizers, which slow the decoders down.
inline const char* DiskDriverDelayMs() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return "150";
#else
    return "75";
#endif
}

struct CutRecording {
    std::vector<std::string> tracks;
    std::vector<uint8_t> joined;  // 16-bit stereo 44.1 kHz: what the tracks must play as, in a row
    int tolerance = 0;            // in LSB, for codecs whose reference decoder is not ours
};

// `pieces` tracks of `seconds` each in `format` (wav, flac, ogg or mp3), cut
// at exact sample positions from one recording of a sweep over noise, so
// that no track starts or ends in silence. Lossless tracks must join into
// the recording itself; lossy ones into their reference decodes, one after
// the other (oggdec for Vorbis, ffmpeg for LAME's MP3 with its gapless info).
inline CutRecording CutInto(const std::string& format, int pieces, double seconds) {
    const char* tmp = std::getenv("QUILLET_TEST_TMP");
    const std::string dir = std::string(tmp ? tmp : "/tmp") + "/cut-" + format + "-" +
                            std::to_string(pieces) + "x" +
                            std::to_string(static_cast<int>(seconds * 1000));
    std::filesystem::create_directories(dir);
    auto Sh = [](const std::string& command) { return std::system(command.c_str()) == 0; };
    const std::string rec = dir + "/recording.wav";
    const long frames = static_cast<long>(seconds * 44100);
    EXPECT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 '" + rec + "' synth " +
                   std::to_string(seconds * pieces) +
                   " sine 220-1760 pinknoise remix 1,2 1,2 vol 0.4 2>/dev/null"));
    CutRecording cut;
    for (int i = 0; i < pieces; ++i) {
        const std::string stem = dir + "/track" + std::to_string(i);
        const std::string wav = stem + ".wav";
        EXPECT_TRUE(Sh("sox '" + rec + "' '" + wav + "' trim " + std::to_string(i * frames) + "s " +
                       std::to_string(frames) + "s"));
        std::string track = wav, ref = stem + ".raw";
        if (format == "flac") {
            track = stem + ".flac";
            EXPECT_TRUE(Sh("flac -s -f -o '" + track + "' '" + wav + "'"));
        } else if (format == "ogg") {
            track = stem + ".ogg";
            cut.tolerance = 1;
            EXPECT_TRUE(Sh("oggenc -Q -o '" + track + "' '" + wav + "' && oggdec -Q -R -o '" + ref +
                           "' '" + track + "'"));
        } else if (format == "mp3") {
            track = stem + ".mp3";
            cut.tolerance = 1;
            EXPECT_TRUE(Sh("lame --quiet -V 2 '" + wav + "' '" + track +
                           "' && ffmpeg -v error -y -i '" + track + "' -f s16le '" + ref + "'"));
        }
        if (format == "wav" || format == "flac") {
            EXPECT_TRUE(Sh("sox '" + wav + "' -t raw '" + ref + "'"));
        }
        std::ifstream in(ref, std::ios::binary);
        const std::vector<uint8_t> pcm{std::istreambuf_iterator<char>(in), {}};
        cut.joined.insert(cut.joined.end(), pcm.begin(), pcm.end());
        cut.tracks.push_back(track);
    }
    return cut;
}

// Whether `played` holds `joined` with nothing between the tracks: silence,
// the joined sound (within the tolerance), silence. Describes the first
// difference in `why`.
inline bool PlaysJoined(const std::vector<uint8_t>& played, const CutRecording& cut,
                        std::string& why) {
    auto sample = [](const std::vector<uint8_t>& v, size_t i) {
        return static_cast<int16_t>(v[2 * i] | (v[2 * i + 1] << 8));
    };
    auto loud = [&](const std::vector<uint8_t>& v) {
        size_t i = 0;
        while (2 * i + 1 < v.size() && std::abs(sample(v, i)) < 512) ++i;
        return i;
    };
    const size_t refStart = loud(cut.joined), playStart = loud(played);
    if (playStart < refStart) return why = "sound began too early", false;
    const size_t at = playStart - refStart, count = cut.joined.size() / 2;
    if (2 * (at + count) > played.size()) return why = "the sound was cut short", false;
    for (size_t i = 0; i < at; ++i)
        if (sample(played, i) != 0) return why = "noise before the sound", false;
    for (size_t i = 0; i < count; ++i)
        if (std::abs(sample(played, at + i) - sample(cut.joined, i)) > cut.tolerance)
            return why = "sample " + std::to_string(i) + " of " + std::to_string(count) +
                         " differs (frame " + std::to_string(i / 2) + ")",
                   false;
    for (size_t i = at + count; 2 * i + 1 < played.size(); ++i)
        if (sample(played, i) != 0) return why = "sound after the end", false;
    return true;
}

}  // namespace quillet::test
