// CUE sheets through quillet-cli, against a reference cutter: an image cut
// at CD-frame times that are no whole milliseconds, with an INDEX 00
// pregap, must give each track exactly the samples shnsplit gives it when it
// cuts at cuebreakpoints; sheets inside FLAC and WavPack files likewise; and
// playing the sheet must write the image itself to SDL's disk driver.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "ACS_Classes.h"
#include "cut_recording.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

struct Result {
    int status = -1;
    std::string out, err;
};

Result Cli(const std::string& args, const std::string& env = {}) {
    const std::string errFile = TmpRoot() + "/cli-cue.stderr";
    Result r;
    FILE* p = popen((env + " " QUILLET_CLI " " + args + " 2>" + errFile).c_str(), "r");
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    r.status = WEXITSTATUS(pclose(p));
    const Bytes e = ReadFile(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

// The PCM of a WAV file: its "data" chunk.
Bytes WavData(const Bytes& wav) {
    for (size_t at = 12; at + 8 <= wav.size();) {
        const uint32_t size =
            wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 | wav[at + 7] << 24;
        if (std::memcmp(&wav[at], "data", 4) == 0)
            return Bytes(wav.begin() + at + 8, wav.begin() + std::min(wav.size(), at + 8 + size));
        at += 8 + size + (size & 1);
    }
    return {};
}

// INDEX 01 of tracks 2..4 at 2.146 s, 4.013 s and 5.986 s; track 2 has a
// pregap from 1.493 s, which ends track 1.
constexpr char kSheet[] =
    "REM REPLAYGAIN_ALBUM_GAIN -6.00 dB\n"
    "PERFORMER \"Cutters\"\n"
    "TITLE \"Cut\"\n"
    "FILE \"img.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 00 00:01:37\n    INDEX 01 00:02:11\n"
    "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:04:01\n"
    "  TRACK 04 AUDIO\n    TITLE \"Four\"\n    INDEX 01 00:05:74\n";
constexpr int kTracks = 4;

class CliCue : public ::testing::Test {
  protected:
    // A 7 s noise image as `ext` at `rate`, its sheet (naming img.wav, which
    // for FLAC does not exist: the sheet finds img.flac), the reference
    // tracks split-track0N.wav, and the image's PCM.
    void MakeImage(const std::string& ext, uint32_t rate) {
        Dir = TmpRoot() + "/cue-" + ext + std::to_string(rate) + "/";
        ASSERT_TRUE(Shell("rm -rf '" + Dir + "' && mkdir -p '" + Dir + "ref'"));
        const std::string wav = Dir + "img.wav";
        ASSERT_TRUE(Shell("sox -R -n -r " + std::to_string(rate) + " -c 2 -b 16 '" + wav +
                          "' synth 7 whitenoise vol 0.6"));
        Pcm = WavData(ReadFile(wav));
        Image = Dir + "img." + ext;
        if (ext == "flac") {
            ASSERT_TRUE(Shell("flac -s -f -o '" + Image + "' '" + wav + "'"));
        }
        Sheet = Dir + "img.cue";
        WriteFile(Sheet, Bytes(kSheet, kSheet + sizeof kSheet - 1));
        // shntool reads m:ss.ff at CD quality only; elsewhere the same points
        // go in as byte offsets (a frame is rate/75 samples of 4 bytes).
        const std::string points = rate == 44100
                                       ? "cuebreakpoints '" + Sheet + "'"
                                       : "cuebreakpoints '" + Sheet +
                                             "' | awk -F'[:.]' '{print (($1*60+$2)*75+$3)*" +
                                             std::to_string(rate / 75 * 4) + "}'";
        ASSERT_TRUE(Shell(points + " | shnsplit -q -O always -d '" + Dir + "ref' -o wav '" +
                          (ext == "flac" ? Image : wav) + "'"));
        if (ext == "flac") std::remove(wav.c_str());
    }
    Bytes Reference(int track) const {
        return WavData(ReadFile(Dir + "ref/split-track0" + std::to_string(track) + ".wav"));
    }
    // Each track decoded from `source` equals the reference's; the listing
    // gives the same sample ranges.
    void ExpectTracksMatch(const std::string& source) {
        Result list = Cli("playlist '" + source + "'");
        EXPECT_EQ(list.status, 0) << list.err;
        std::istringstream lines(list.out);
        std::string line;
        std::getline(lines, line);  // the format
        size_t first = 0;
        for (int n = 1; n <= kTracks; ++n) {
            SCOPED_TRACE(n);
            const Bytes ref = Reference(n);
            ASSERT_FALSE(ref.empty());
            const std::string out = Dir + "track.wav";
            const Result r =
                Cli("decode --track " + std::to_string(n) + " '" + source + "' '" + out + "'");
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(WavData(ReadFile(out)) == ref);
            ASSERT_TRUE(std::getline(lines, line));
            const std::string range =
                std::to_string(first / 4) + ".." + std::to_string((first + ref.size()) / 4);
            EXPECT_EQ(line.substr(line.rfind('\t') + 1), range) << line;
            first += ref.size();
        }
        EXPECT_EQ(first, Pcm.size());  // the tracks tile the image
    }
    // Plays `source`'s tracks on SDL's disk driver: the device gets the image.
    void ExpectPlaysTheImage(const std::string& source) {
        const std::string disk = Dir + "disk.raw";
        const Result r = Cli("play --replaygain off '" + source + "'",
                             std::string("SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=") +
                                 DiskDriverDelayMs() + " SDL_DISKAUDIOFILE=" + disk);
        ASSERT_EQ(r.status, 0) << r.err;
        CutRecording image;
        image.joined = Pcm;
        std::string why;
        EXPECT_TRUE(PlaysJoined(ReadFile(disk), image, why)) << why;
    }
    std::string Dir, Image, Sheet;
    Bytes Pcm;
};

TEST_F(CliCue, SheetTracksEqualTheReferenceCutAndPlayAsTheImage) {
    for (const auto& [ext, rate] : {std::pair<std::string, uint32_t>{"wav", 44100},
                                    {"wav", 48000},
                                    {"flac", 44100},
                                    {"flac", 48000}}) {
        SCOPED_TRACE(ext + " " + std::to_string(rate));
        MakeImage(ext, rate);
        ExpectTracksMatch(Sheet);
        if (ext == "wav" && rate == 44100) {
            const Result r = Cli("playlist '" + Sheet + "'");
            EXPECT_EQ(r.out.substr(0, r.out.find("\t")), "CUE Sheet\nCutters - One");
        }
        if (rate == 48000) ExpectPlaysTheImage(Sheet);
    }
}

// The same sheet carried by the file: a FLAC CUESHEET block (sample
// positions), a CUESHEET comment, a WavPack APEv2 item, an Ogg comment.
TEST_F(CliCue, EmbeddedSheetsGiveTheSameTracks) {
    MakeImage("flac", 44100);
    const std::string block = Dir + "block.flac", comment = Dir + "comment.flac";
    ASSERT_TRUE(Shell("cp '" + Image + "' '" + block +
                      "' && metaflac --set-tag=ARTIST=Tagger "
                      "--import-cuesheet-from='" +
                      Sheet + "' '" + block + "'"));
    ASSERT_TRUE(Shell("cp '" + Image + "' '" + comment +
                      "' && metaflac --set-tag=ALBUM=Tagged --set-tag-from-file=CUESHEET='" +
                      Sheet + "' '" + comment + "'"));
    ExpectTracksMatch(block);
    ExpectTracksMatch(comment);
    ExpectPlaysTheImage(block);
    Result r = Cli("playlist '" + block + "'");
    // The block has no titles: the file's own tags fill in.
    EXPECT_EQ(r.out.substr(0, r.out.find('\t')), "Sound file\nTagger - Track 01");

    const std::string wv = Dir + "img.wv", ogg = Dir + "img.ogg";
    ASSERT_TRUE(Shell("flac -s -d -f -o '" + Dir + "x.wav' '" + Image +
                      "' && wavpack -q -y -w 'Cuesheet=@" + Sheet + "' '" + Dir + "x.wav' -o '" +
                      wv + "' && oggenc -Q -c \"CUESHEET=$(cat '" + Sheet + "')\" -o '" + ogg +
                      "' '" + Dir + "x.wav'"));
    r = Cli("decode --track 3 '" + wv + "' '" + Dir + "t3.wav'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(WavData(ReadFile(Dir + "t3.wav")) == Reference(3));
    r = Cli("playlist '" + ogg + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Cutters - Four\t" + ogg + "\t264012..308700\n"), std::string::npos)
        << r.out;
}

// A track the file does not reach is an error of its own, everywhere; the
// tracks before it still play.
TEST_F(CliCue, TrackPastTheEndIsReported) {
    MakeImage("wav", 44100);
    const std::string sheet = Dir + "long.cue";
    WriteFile(sheet, Bytes(kSheet, kSheet + sizeof kSheet - 1));
    ASSERT_TRUE(Shell("printf '  TRACK 05 AUDIO\\n    INDEX 01 00:09:00\\n' >> '" + sheet + "'"));
    Result r = Cli("playlist '" + sheet + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, sheet + ": track 5: starts past the end of the file (308700 samples)\n");
    EXPECT_NE(r.out.find("Cutters - Four\t" + Dir + "img.wav\t264012..308700\n"),
              std::string::npos);
    r = Cli("decode --track 5 '" + sheet + "' '" + Dir + "t5.wav'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string(kTrackPastEnd) + "\n");
    // To a pipe, the header gives the last track's exact length.
    r = Cli("decode --track 4 '" + sheet + "' -");
    const Bytes piped(r.out.begin(), r.out.end());
    ASSERT_GE(piped.size(), 44u);
    EXPECT_TRUE(WavData(piped) == Reference(4));
    EXPECT_EQ(piped[40] | piped[41] << 8 | piped[42] << 16 | piped[43] << 24,
              static_cast<int>(Reference(4).size()));
    r = Cli("decode --track 6 '" + sheet + "' '" + Dir + "t6.wav'");
    EXPECT_EQ(r.err, sheet + ": no track 6\n");
    r = Cli("play --replaygain off '" + sheet + "'",
            "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + Dir + "disk.raw");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(kTrackPastEnd), std::string::npos) << r.err;
}

// Sheets as rippers write them, each against the reference cut: a bad
// PREGAP line, a TRACK line left out, a FILE under a name no input claims,
// and one file per track marked by INDEX 00 alone.
TEST_F(CliCue, SheetsAsRippersWriteThem) {
    MakeImage("wav", 44100);
    const auto write = [&](const std::string& name, const std::string& text) {
        WriteFile(Dir + name, Bytes(text.begin(), text.end()));
        return Dir + name;
    };
    const auto track = [&](const std::string& sheet, int n) {
        const std::string out = Dir + "track.wav";
        const Result r =
            Cli("decode --track " + std::to_string(n) + " '" + sheet + "' '" + out + "'");
        EXPECT_EQ(r.status, 0) << sheet << " " << n << ": " << r.err;
        return WavData(ReadFile(out));
    };
    const std::string good(kSheet);

    std::string text = good;
    text.insert(text.find("    INDEX 01 00:04:01"), "    PREGAP 00:99:00\n");
    const std::string pregap = write("pregap.cue", text);
    Result r = Cli("playlist '" + pregap + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, pregap + ": note: track 3: bad PREGAP time, ignored\n");
    for (int n = 1; n <= kTracks; ++n) EXPECT_TRUE(track(pregap, n) == Reference(n)) << n;

    // Track 3 keeps its first INDEX 01 and runs on over what was track 4.
    text = good;
    text.erase(text.find("  TRACK 04"), std::string("  TRACK 04 AUDIO\n").size());
    const std::string lost = write("lost.cue", text);
    Bytes joined = Reference(3);
    const Bytes four = Reference(4);
    joined.insert(joined.end(), four.begin(), four.end());
    EXPECT_TRUE(track(lost, 3) == joined);
    EXPECT_TRUE(track(lost, 2) == Reference(2));

    ASSERT_TRUE(Shell("cp '" + Dir + "img.wav' '" + Dir + "img.dummy' && flac -s -f -o '" + Dir +
                      "img.bin' '" + Dir + "img.wav'"));
    for (const std::string name : {"img.dummy", "img.bin"}) {
        text = good;
        text.replace(text.find("img.wav"), 7, name);
        const std::string sheet = write(name + ".cue", text);
        for (int n : {1, 4}) EXPECT_TRUE(track(sheet, n) == Reference(n)) << name << " " << n;
    }

    text = "PERFORMER \"Cutters\"\n";
    for (int n = 1; n <= kTracks; ++n) {
        const std::string file = "split-track0" + std::to_string(n) + ".wav";
        text += "FILE \"ref/" + file + "\" WAVE\n  TRACK 0" + std::to_string(n) +
                " AUDIO\n    INDEX 00 00:00:00\n";
    }
    const std::string perFile = write("per-file.cue", text);
    for (int n = 1; n <= kTracks; ++n) EXPECT_TRUE(track(perFile, n) == Reference(n)) << n;
}

}  // namespace
}  // namespace quillet
