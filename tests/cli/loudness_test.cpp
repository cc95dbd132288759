// Loudness correction end to end: the gains each tag format carries, read by
// the input that plays the file; `quillet-cli decode --replaygain`; and
// `quillet-cli loudness` next to FFmpeg's EBU R128 meter.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "content_sniff.h"
#include "gain.h"
#include "input_table.h"
#include "loudness_cache.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

// Runs a shell command; its standard output, and its status in `status`.
std::string Output(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 65536> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) out.append(buf.data(), n);
    const int rc = WEXITSTATUS(pclose(p));
    if (status) *status = rc;
    return out;
}

std::string Fixtures() {
    const std::string dir = TmpRoot() + "/loudness";
    std::filesystem::create_directories(dir);
    return dir;
}

// Tags written by the encoders' own options or by mutagen, as taggers do.
TEST(ReplayGainTags, EachFormatsInputTellsTheGainsItsTagsGive) {
    const std::string dir = Fixtures(), src = dir + "/src.wav";
    ASSERT_TRUE(Shell("sox -R -n -r 44100 -c 2 -b 16 " + src + " synth 0.5 sine 440 vol 0.3"));
    const std::string py = "/usr/bin/python3 -c ";
    struct Case {
        const char* name;
        std::string make;  // writes $F
        TReplayGain gains;
    };
    const TGainInfo track{-7.25, 0.5}, album{-8, 0};
    // An APEv2 tag with the album gain, appended to the file as taggers do.
    const std::string apeAlbum =
        py +
        "'import sys; from mutagen.apev2 import APEv2; t = APEv2(); "
        "t[\"REPLAYGAIN_ALBUM_GAIN\"] = \"-8.00 dB\"; t.save(sys.argv[1])' $F";
    const std::vector<Case> cases = {
        {"vorbis.flac",
         "flac -s -f --tag='REPLAYGAIN_TRACK_GAIN=-7.25 dB' --tag=REPLAYGAIN_TRACK_PEAK=0.5 "
         "--tag='replaygain_album_gain=-8.00 dB' -o $F " +
             src,
         {track, album}},
        {"vorbis.ogg",
         "oggenc -Q -c 'REPLAYGAIN_TRACK_GAIN=-7.25 dB' -c REPLAYGAIN_TRACK_PEAK=0.500 -o $F " +
             src,
         {track, {}}},
        {"ape.mpc", "mpcenc --silent --overwrite " + src + " $F && " + apeAlbum, {{}, album}},
        {"txxx.mp3",
         "lame --quiet " + src + " $F && " + py +
             "'import sys; from mutagen.id3 import ID3, TXXX; t = ID3(); "
             "t.add(TXXX(encoding=3, desc=\"REPLAYGAIN_TRACK_GAIN\", text=[\"-7.25 dB\"])); "
             "t.add(TXXX(encoding=3, desc=\"REPLAYGAIN_TRACK_PEAK\", text=[\"0.5\"])); "
             "t.save(sys.argv[1])' $F",
         {track, {}}},
        {"ape.mp3", "lame --quiet " + src + " $F && " + apeAlbum, {{}, album}},
        {"r128.opus",
         "ffmpeg -v error -y -i " + src + " -c:a libopus $F && " + py +
             "'import sys; from mutagen.oggopus import OggOpus; t = OggOpus(sys.argv[1]); "
             "t[\"R128_TRACK_GAIN\"] = \"-1280\"; t[\"R128_ALBUM_GAIN\"] = \"256\"; t.save()' $F",
         {TGainInfo{0, 0}, TGainInfo{6, 0}}},
        {"ape.wv",
         "wavpack -q -y -w 'REPLAYGAIN_TRACK_GAIN=-7.25 dB' " + src + " -o $F",
         {TGainInfo{-7.25, 0}, {}}},
        {"garbage.flac",
         "flac -s -f --tag=REPLAYGAIN_TRACK_GAIN=1e999 --tag='REPLAYGAIN_ALBUM_GAIN=+60 dB' "
         "--tag=REPLAYGAIN_ALBUM_PEAK=0.9 -o $F " +
             src,
         {{}, TGainInfo{24, 0.9}}},
        {"plain.wav", "cp " + src + " $F", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f = dir + "/" + c.name;
        ASSERT_TRUE(Shell("F=" + f + "; " + c.make));
        Owned<TAuFileIn> input(CreateInput(*InputKindFor(f), nullptr));
        input->SetFileName(f);
        EXPECT_EQ(input->ReplayGain(), c.gains);
    }
}

// The decoded PCM is the file's own unless a gain is asked for; then it is
// the same multiply the output makes.
TEST(ReplayGainTags, DecodeAppliesTheGainOnlyWhenAsked) {
    const std::string dir = Fixtures(), f = dir + "/decode.flac";
    ASSERT_TRUE(
        Shell("sox -R -n -r 48000 -c 2 -b 24 " + dir + "/d.wav synth 0.7 sine 300 vol 0.6"));
    ASSERT_TRUE(
        Shell("flac -s -f --tag='REPLAYGAIN_TRACK_GAIN=+6.00 dB' "
              "--tag=REPLAYGAIN_TRACK_PEAK=0.6 --tag='REPLAYGAIN_ALBUM_GAIN=-3.00 dB' -o " +
              f + " " + dir + "/d.wav"));
    const std::string cli = QUILLET_CLI " decode --raw ";
    const std::string plain = Output(cli + f + " -");
    ASSERT_EQ(plain.size(), 48000u * 7 / 10 * 6);
    EXPECT_EQ(Output(cli + "--replaygain off " + f + " -"), plain);
    struct Case {
        const char* mode;
        double factor;
    };
    for (const Case& c : {Case{"track", 1 / 0.6}, Case{"album", std::pow(10, -3.0 / 20)}}) {
        std::string want = plain;
        ApplyGain(reinterpret_cast<uint8_t*>(want.data()), want.size() / 3, 3, c.factor);
        EXPECT_TRUE(Output(cli + "--replaygain " + c.mode + " " + f + " -") == want) << c.mode;
    }
    int status = 0;
    Output(cli + "--replaygain loud " + f + " - 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}

// "key: value" lines of one block of the loudness output, by file.
}  // namespace
// Readable failures.
void PrintTo(const TReplayGain& g, std::ostream* os) {
    for (const auto& [name, info] : {std::pair{"track", g.Track}, std::pair{"album", g.Album}})
        if (info)
            *os << name << " " << info->GainDb << " dB peak " << info->Peak << "; ";
        else
            *os << name << " none; ";
}
namespace {

std::map<std::string, std::map<std::string, std::string>> Blocks(const std::string& out) {
    std::map<std::string, std::map<std::string, std::string>> blocks;
    std::string file = "album";
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon), value = line.substr(colon + 2);
        if (key == "file")
            file = value;
        else if (key.rfind("album_", 0) == 0)
            blocks["album"][key.substr(6)] = value;
        else
            blocks[file][key] = value;
    }
    return blocks;
}

// FFmpeg's summary, integrated loudness and true peak to a tenth, of what
// `filter` (the chain before the meter; "" for one input) makes of `inputs`.
std::pair<double, double> FfmpegMeter(const std::string& inputs, const std::string& filter = "") {
    const std::string out =
        Output("ffmpeg -nostats -hide_banner " + inputs +
               (filter.empty() ? " -af ebur128=peak=true"
                               : " -filter_complex '" + filter + ",ebur128=peak=true'") +
               " -f null - 2>&1");
    // The last summary: a graph FFmpeg set up and dropped prints one too.
    const std::string summary = out.substr(std::min(out.rfind("Summary:"), out.size()));
    auto after = [&](const std::string& label) {
        const size_t at = summary.find(label);
        EXPECT_NE(at, std::string::npos) << out;
        return at == std::string::npos ? NAN
                                       : std::strtod(summary.c_str() + at + label.size(), nullptr);
    };
    return {after("I:"), after("Peak:")};
}

// Tones, sweeps, noise, gated pauses, five formats, 44.1 to 96 kHz, one to
// six channels: within 0.1 LU and 0.1 dB of FFmpeg's meter, file by file and
// for two files taken as one programme.
TEST(Loudness, AgreesWithFfmpegFileByFileAndForTheSet) {
    const std::string dir = Fixtures();
    const std::string mix = " synth 5 sine 200-4000 sine 523 pinknoise vol 0.4";
    const std::vector<std::pair<std::string, std::string>> recipes = {
        {"mix.wav", "sox -R -n -r 44100 -c 2 -b 16 $F" + mix},
        {"mix.mp3",
         "sox -R -n -r 44100 -c 2 -b 16 $F.wav" + mix + " && lame --quiet -V2 $F.wav $F"},
        {"mix.ogg", "sox -R -n -r 44100 -c 2 -b 16 $F.wav" + mix + " && oggenc -Q -o $F $F.wav"},
        {"pink.flac", "sox -R -n -r 48000 -c 1 -b 24 $F synth 4 pinknoise vol 0.5 lowpass 12000"},
        {"hr.flac", "sox -R -n -r 96000 -c 2 -b 24 $F synth 4 sine 200-9000 sine 523 vol 0.7"},
        {"six.wav",
         "sox -R -n -r 48000 -c 6 -b 16 $F synth 4 sine 200-4000 sine 523 pinknoise "
         "sine 330 sine 60 pinknoise vol 0.3 lowpass 12000"},
        {"gated.mpc",
         "sox -R -n -r 44100 -c 2 -b 16 $F.wav synth 3 sine 1000 vol 0.5 pad 0 3 && "
         "mpcenc --silent --overwrite $F.wav $F"},
        // Full-scale tones through a lossy codec: the decoder's peaks lie
        // above full scale, where 16-bit samples would clip them.
        {"full.m4a",
         "sox -R -n -r 44100 -c 2 -b 16 $F.wav synth 4 sine 997 gain -0.01 && "
         "ffmpeg -v error -y -i $F.wav -c:a aac -b:a 128k $F"},
        {"full.ogg",
         "sox -R -n -r 44100 -c 2 -b 16 $F.wav synth 4 sine 997 gain -0.01 && "
         "oggenc -Q -q 3 -o $F $F.wav"},
    };
    std::string files;
    for (const auto& [name, recipe] : recipes) {
        ASSERT_TRUE(Shell("F=" + dir + "/" + name + "; " + recipe)) << name;
        files += " " + dir + "/" + name;
    }
    int status = -1;
    const auto blocks = Blocks(Output(QUILLET_CLI " loudness" + files, &status));
    EXPECT_EQ(status, 0);
    for (const auto& [name, recipe] : recipes) {
        SCOPED_TRACE(name);
        const std::string f = dir + "/" + name;
        ASSERT_TRUE(blocks.count(f));
        const auto& b = blocks.at(f);
        const auto [integrated, peak] = FfmpegMeter("-i " + f);
        EXPECT_NEAR(std::stod(b.at("integrated")), integrated, 0.1);
        EXPECT_NEAR(std::stod(b.at("true_peak")), peak, 0.1);
        // The ReplayGain 2.0 gain and peak follow from the figures.
        EXPECT_NEAR(std::stod(b.at("track_gain")), -18 - std::stod(b.at("integrated")), 0.011);
        EXPECT_NEAR(20 * std::log10(std::stod(b.at("track_peak"))), std::stod(b.at("true_peak")),
                    0.01);
    }
    EXPECT_EQ(blocks.at("album").at("files"), std::to_string(recipes.size()));

    // Two files of one layout as one programme: what FFmpeg measures of them
    // joined.
    const std::string a = dir + "/mix.mp3", b = dir + "/gated.mpc";
    const auto album = Blocks(Output(QUILLET_CLI " loudness " + a + " " + b)).at("album");
    const auto [integrated, peak] =
        FfmpegMeter("-i " + a + " -i " + b, "[0:a][1:a]concat=n=2:v=0:a=1");
    EXPECT_NEAR(std::stod(album.at("integrated")), integrated, 0.1);
    EXPECT_NEAR(std::stod(album.at("true_peak")), peak, 0.1);
}

// A file that fails halfway (an Ogg chain whose second stream changes the
// format) or cannot be opened says why, and the set is measured without it.
TEST(Loudness, AFileThatFailsIsReportedAndLeftOutOfTheSet) {
    const std::string dir = Fixtures();
    ASSERT_TRUE(Shell("sox -R -n -r 44100 -c 2 -b 16 " + dir + "/a.wav synth 3 sine 500 vol 0.3"));
    ASSERT_TRUE(Shell("sox -R -n -r 22050 -c 1 -b 16 " + dir + "/b.wav synth 1 sine 300 vol 0.9"));
    ASSERT_TRUE(Shell("cd " + dir + " && oggenc -Q a.wav b.wav && cat a.ogg b.ogg > chain.ogg"));
    ASSERT_TRUE(
        Shell("sox -R -n -r 44100 -c 2 -b 16 " + dir + "/quiet.wav synth 2 sine 700 vol 0.05"));
    const std::string good = dir + "/a.wav " + dir + "/quiet.wav";
    int status = -1;
    const std::string out =
        Output(QUILLET_CLI " loudness " + dir + "/a.wav " + dir + "/chain.ogg " + dir +
                   "/missing.flac " + dir + "/quiet.wav 2>/dev/null",
               &status);
    EXPECT_EQ(status, 1);
    const auto blocks = Blocks(out);
    EXPECT_EQ(blocks.at(dir + "/chain.ogg").at("error"),
              "The stream changes its channels or sample rate; it ends there");
    EXPECT_EQ(blocks.at(dir + "/chain.ogg").count("integrated"), 0u);
    EXPECT_NE(blocks.at(dir + "/missing.flac").at("error"), "");
    EXPECT_EQ(blocks.at("album"), Blocks(Output(QUILLET_CLI " loudness " + good)).at("album"));
    // The order given is kept, whatever order the threads finish in.
    EXPECT_LT(out.find("a.wav"), out.find("chain.ogg"));
    EXPECT_LT(out.find("missing.flac"), out.find("quiet.wav"));
}

// --write-cache keeps the figures where the player looks for them. Two
// untagged files of one album, 20 LU apart: `play --replaygain auto` plays
// both at one level, `smart` keeps their difference (the album's gain).
TEST(Loudness, WrittenCacheServesPlayAutoAndSmart) {
    const std::string dir = Fixtures() + "/auto";
    std::filesystem::create_directories(dir);
    for (const auto& [name, volume] : {std::pair{"a", "0.03"}, std::pair{"b", "0.3"}})
        ASSERT_TRUE(Shell(std::string("sox -R -n -r 44100 -c 2 -b 16 ") + dir + "/" + name +
                          ".wav synth 1.5 pinknoise vol " + volume +
                          " && flac -s -f -T ALBUM=One " + "-o " + dir + "/" + name + ".flac " +
                          dir + "/" + name + ".wav"));
    const std::string env = "XDG_CACHE_HOME=" + dir + "/cache ";
    const std::string files = " " + dir + "/a.flac " + dir + "/b.flac";
    int status = -1;
    Output(env + QUILLET_CLI " loudness --write-cache" + files, &status);
    ASSERT_EQ(status, 0);
    TLoudnessCache cache;
    cache.Load(dir + "/cache/quillet/loudness.txt");
    EXPECT_EQ(cache.Count(), 2u);

    for (const auto& [mode, apart] : {std::pair{"auto", 0.0}, std::pair{"smart", 20.0}}) {
        SCOPED_TRACE(mode);
        const std::string disk = dir + "/played.raw";
        Output(env + "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=75 SDL_DISKAUDIOFILE=" + disk + " " +
                   QUILLET_CLI " play --replaygain " + mode + files + " 2>/dev/null",
               &status);
        ASSERT_EQ(status, 0);
        const Bytes played = ReadFile(disk);
        // The device may have played silence before the ring started.
        const size_t at = static_cast<size_t>(std::find_if(played.begin(), played.end(),
                                                           [](uint8_t b) { return b != 0; }) -
                                              played.begin()) /
                          4 * 4;
        const size_t track = 44100 * 3 / 2 * 4;
        ASSERT_GE(played.size(), at + 2 * track);
        WriteFile(dir + "/a.raw", Bytes(played.begin() + at, played.begin() + at + track));
        WriteFile(dir + "/b.raw",
                  Bytes(played.begin() + at + track, played.begin() + at + 2 * track));
        const auto [first, p1] = FfmpegMeter("-f s16le -ar 44100 -ac 2 -i " + dir + "/a.raw");
        const auto [second, p2] = FfmpegMeter("-f s16le -ar 44100 -ac 2 -i " + dir + "/b.raw");
        EXPECT_NEAR(second, -18, 0.5);
        EXPECT_NEAR(second - first, apart, 0.5);
    }
    Output(QUILLET_CLI " play --replaygain loud" + files + " 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace quillet
