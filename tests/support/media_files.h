// One short file of every kind the player reads, made once per test binary
// with the tools the set-up installs: PCM, float, IMA and MS ADPCM and
// MP3-in-WAV, MP3, Ogg Vorbis, FLAC, WMA and Musepack. Used by the tests that
// play or damage a file of each format.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "decoders/codec_fixture.h"

namespace quillet::test {

struct MediaFile {
    std::string name;  // file name, also the label in test output
    std::string path;
};

// `seconds` of stereo 44.1 kHz tones, made on first use for each length; the
// files go to FixtureDir("media-<milliseconds>").
inline const std::vector<MediaFile>& MediaFiles(double seconds = 0.3) {
    static std::map<int, std::vector<MediaFile>> made;
    const int ms = static_cast<int>(seconds * 1000);
    auto [it, added] = made.try_emplace(ms);
    if (!added) return it->second;
    it->second = [seconds, ms] {
        const std::string dir = FixtureDir("media-" + std::to_string(ms));
        const std::string wav = "'" + dir + "/source.wav'";
        std::vector<std::pair<std::string, std::string>> recipes = {
            {"pcm16.wav", "cp " + wav + " \"$OUT\""},
            {"float.wav", "sox " + wav + " -e floating-point -b 32 \"$OUT\""},
            {"ima.wav", "sox " + wav + " -e ima-adpcm \"$OUT\""},
            {"msadpcm.wav", "sox " + wav + " -e ms-adpcm \"$OUT\""},
            {"mp3in.wav",
             "ffmpeg -v error -y -i " + wav + " -c:a libmp3lame -b:a 64k -f wav \"$OUT\""},
            {"tone.mp3", "lame --quiet -b 96 " + wav + " \"$OUT\""},
            {"tone.ogg", "oggenc -Q -q 2 -o \"$OUT\" " + wav},
            {"tone.flac", "flac -s -f -o \"$OUT\" " + wav},
            {"tone.wma", "ffmpeg -v error -y -i " + wav + " -c:a wmav2 -b:a 64k -f asf \"$OUT\""},
            {"tone.mpc", "mpcenc --silent --overwrite " + wav + " \"$OUT\""},
        };
        EXPECT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + wav + " synth " + std::to_string(seconds) +
                       " sine 440 sine 660 vol 0.5"));
        std::vector<MediaFile> out;
        for (const auto& [name, recipe] : recipes) {
            const std::string path = dir + "/" + name;
            EXPECT_TRUE(Sh("OUT='" + path + "'; " + recipe)) << name;
            out.push_back({name, path});
        }
        return out;
    }();
    return it->second;
}

}  // namespace quillet::test
