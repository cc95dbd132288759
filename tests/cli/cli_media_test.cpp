// quillet-cli decode, info and play, run as a separate process.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "ACS_Procs.h"
#include "cut_recording.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

struct Result {
    int status = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

Result Cli(const std::string& args, const std::string& env = {}) {
    const std::string errFile = TmpRoot() + "/cli.stderr";
    const std::string cmd = env + " " QUILLET_CLI " " + args + " 2>" + errFile;
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 65536> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) r.out.append(buf.data(), n);
    r.status = WEXITSTATUS(pclose(p));
    const Bytes e = ReadFile(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

std::string Text(const Bytes& b) {
    return {b.begin(), b.end()};
}

class CliMedia : public ::testing::Test {
  protected:
    void SetUp() override {
        Dir = TmpRoot() + "/cli";
        std::filesystem::create_directories(Dir);
        Payload = NoiseBytes(4 * 12000);
        In = Dir + "/in.wav";
        WriteFile(In, PcmWav(2, 48000, 16, Payload));
    }
    std::string Dir, In;
    Bytes Payload;
};

TEST_F(CliMedia, DecodeWritesExactlyTheDeliveredPcm) {
    const std::string out = Dir + "/out.wav";
    Result r = Cli("decode " + In + " " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes wav = ReadFile(out);
    EXPECT_EQ(wav, PcmWav(2, 48000, 16, Payload));  // a canonical 44-byte header

    r = Cli("decode " + In + " -");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Text(wav));
    r = Cli("decode --raw --start 100 --end 199 " + In + " -");
    EXPECT_EQ(r.out, Text(Bytes(Payload.begin() + 400, Payload.begin() + 800)));
    r = Cli("decode --null " + In);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty());

    // The decoded file is read back by ffmpeg as the same PCM.
    ASSERT_TRUE(Shell("ffmpeg -v error -y -i " + out + " -f s16le " + Dir + "/back.raw"));
    EXPECT_EQ(ReadFile(Dir + "/back.raw"), Payload);
}

TEST_F(CliMedia, InfoLines) {
    Result r = Cli("info " + In);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "channels: 2\nrate: 48000\nbits: 16\nsamples: 12000\nduration: 0.250\nvalid: "
              "yes\nlength: exact\n");
    WriteFile(Dir + "/junk.WAV", NoiseBytes(100));
    // What no input reads is told as before, and the status says so.
    r = Cli("info " + Dir + "/junk.WAV");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("valid: no\n"), std::string::npos);
    EXPECT_EQ(r.err, Dir + "/junk.WAV: not a file this input can read\n");
}

// A WAV whose data chunk is empty holds exactly no samples; one whose size
// field is 0 with sound after it is still a writer that never patched it.
TEST_F(CliMedia, InfoOfAnEmptyWavIsZeroSamplesExactly) {
    const std::string empty = Dir + "/empty.wav";
    ASSERT_TRUE(Shell("sox -n -r 44100 -c 2 -b 16 " + empty + " trim 0 0"));
    Result r = Cli("info " + empty);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "channels: 2\nrate: 44100\nbits: 16\nsamples: 0\nduration: 0.000\nvalid: "
              "yes\nlength: exact\n");
    r = Cli("decode --raw " + empty + " -");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    // The same with an IMA ADPCM header (a "fact" count of 0).
    const std::string ima = Dir + "/empty-ima.wav";
    ASSERT_TRUE(Shell("sox -n -r 22050 -c 1 -e ima-adpcm " + ima + " trim 0 0"));
    EXPECT_NE(Cli("info " + ima).out.find("samples: 0\n"), std::string::npos);

    Bytes unpatched = PcmWav(2, 48000, 16, Payload);
    std::fill(unpatched.begin() + 40, unpatched.begin() + 44, 0);  // the data size
    WriteFile(Dir + "/unpatched.wav", unpatched);
    r = Cli("info " + Dir + "/unpatched.wav");
    EXPECT_NE(r.out.find("samples: 12000\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("length: estimated\n"), std::string::npos) << r.out;
}

// The peak memory of one run of quillet-cli, in KiB.
long PeakKiB(const std::string& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl("/bin/sh", "sh", "-c", ("exec " QUILLET_CLI " " + args).c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

// A 100 MB picture in an MP3's tag is read whole by none of the commands:
// each stays below its size, and the words and the sound are still there.
TEST_F(CliMedia, AGiantPictureIsNeverReadWhole) {
    const std::string mp3 = Dir + "/giant.mp3";
    ASSERT_TRUE(Shell("lame --quiet " + In + " " + mp3 +
                      " && /usr/bin/python3 -c 'import sys; from mutagen.id3 import ID3, APIC, "
                      "TIT2; t = ID3(); t.add(APIC(encoding=0, mime=\"image/jpeg\", type=3, "
                      "desc=\"\", data=b\"\\xff\\xd8\\xff\" + bytes(100 << 20))); "
                      "t.add(TIT2(encoding=3, text=\"Giant\")); t.save(sys.argv[1])' " +
                      mp3));
    for (const char* command : {"info", "tags", "art", "decode --null"}) {
        const long peak = PeakKiB(std::string(command) + " " + mp3);
        EXPECT_GT(peak, 0) << command;
        EXPECT_LT(peak, 100 << 10) << command;
    }
    EXPECT_NE(Cli("tags " + mp3).out.find("Giant"), std::string::npos);
    EXPECT_NE(Cli("info " + mp3).out.find("samples: 12000"), std::string::npos);
}

TEST_F(CliMedia, ErrorsAndUsage) {
    Result r = Cli("decode " + Dir + "/x.xyz " + Dir + "/o.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Format not supported\n");
    r = Cli("info " + Dir + "/missing.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;
    // A file its input cannot read is a failed decode, not an empty one.
    WriteFile(Dir + "/noise.wav", NoiseBytes(3000));
    r = Cli("decode --null " + Dir + "/noise.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, Dir + "/noise.wav: not a file this input can read\n");
    EXPECT_EQ(Cli("decode " + In).status, 2);
    EXPECT_EQ(Cli("decode --start x " + In + " o.wav").status, 2);
    EXPECT_EQ(Cli("play").status, 2);
    EXPECT_EQ(Cli("play --replaygain loud " + In).status, 2);
    EXPECT_EQ(Cli("info").status, 2);
    // Asked for, the usage goes to standard output and is no error.
    for (const char* ask : {"--help", "-h", "help"}) {
        r = Cli(ask);
        EXPECT_EQ(r.status, 0) << ask;
        EXPECT_EQ(r.out.rfind("usage:\n", 0), 0u) << ask;
        EXPECT_NE(r.out.find("  quillet-cli info IN|URL\n"), std::string::npos) << ask;
        EXPECT_TRUE(r.err.empty()) << ask;
    }
    r = Cli("--bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command: --bogus"), std::string::npos);
}

// WAV kinds beyond plain PCM, made by the reference tools (and one by hand),
// decoded to standard output: a header with the length when the file gives
// one (all ones when it is only an estimate), then exactly FFmpeg's samples.
TEST_F(CliMedia, DecodeToStdoutMatchesFfmpegForEveryWavKind) {
    const std::string src = Dir + "/src.wav";
    ASSERT_TRUE(Shell("sox -n -r 22050 -c 2 -b 16 " + src + " synth 1.3 whitenoise vol 0.8"));
    const std::string ff = "ffmpeg -v error -y -i " + src;
    struct Case {
        const char* name;
        std::string make;  // writes $F
        bool estimate;
    } cases[] = {
        {"alaw_sox.wav", "sox " + src + " -e a-law $F", false},
        {"ulaw_sox.wav", "sox " + src + " -e u-law $F", false},
        {"alaw_ff.wav", ff + " -c:a pcm_alaw $F", false},
        {"ulaw_ff.wav", ff + " -c:a pcm_mulaw $F", false},
        {"rf64.wav", ff + " -rf64 always $F", false},
        {"bw64.wav", ff + " -rf64 always $F && printf BW64 | dd of=$F conv=notrunc status=none",
         false},
        {"piped.wav", ff + " -f wav - | cat > $F", true},
        {"oddlist.wav", "", false},
    };
    Bytes odd =
        Riff({Chunk("fmt ", FormatBody(1, 2, 22050, 16, 4, {}, true)),
              Chunk("LIST", Bytes(37, 'x')), Bytes{0}, Chunk("data", NoiseBytes(4 * 5000))});
    WriteFile(Dir + "/oddlist.wav", odd);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f = Dir + "/" + c.name;
        if (!c.make.empty()) {
            ASSERT_TRUE(Shell("F=" + f + "; " + c.make));
        }
        ASSERT_TRUE(FfmpegToRaw({f}, "s16le"));
        const Bytes want = ReadFile(f + ".raw");
        const Result r = Cli("decode " + f + " -");
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_GE(r.out.size(), 44u);
        const Bytes header(r.out.begin(), r.out.begin() + 44);
        EXPECT_EQ(GetLE32(&header[40]), c.estimate ? 0xFFFFFFFFu : want.size());
        EXPECT_TRUE(r.out.compare(44, std::string::npos, Text(want)) == 0)
            << r.out.size() - 44 << " bytes against " << want.size();
        EXPECT_NE(Cli("info " + f).out.find(c.estimate ? "length: estimated\n" : "length: exact\n"),
                  std::string::npos);
    }
}

// No rate, no channels or a width no sink plays: invalid for info, and decode
// fails without writing anything.
TEST_F(CliMedia, ImpossibleFormatsAreInvalidEverywhere) {
    const std::string flac = Dir + "/norate.flac";
    ASSERT_TRUE(Shell("flac -s -f -o " + flac + " " + In));
    Bytes bytes = ReadFile(flac);
    bytes[18] = bytes[19] = 0;  // STREAMINFO's 20-bit rate
    bytes[20] &= 0x0F;
    WriteFile(flac, bytes);
    WriteFile(Dir + "/nochannels.wav", PcmWav(0, 48000, 16, Payload));
    WriteFile(Dir + "/norate.wav", PcmWav(2, 0, 16, Payload));
    WriteFile(Dir + "/twelve.wav", PcmWav(1, 48000, 12, Payload));
    for (const char* name : {"norate.flac", "nochannels.wav", "norate.wav", "twelve.wav"}) {
        SCOPED_TRACE(name);
        const std::string f = Dir + "/" + name, out = Dir + "/never.wav";
        EXPECT_NE(Cli("info " + f).out.find("valid: no\n"), std::string::npos);
        std::filesystem::remove(out);
        EXPECT_EQ(Cli("decode " + f + " " + out).status, 1);
        EXPECT_FALSE(std::filesystem::exists(out));
        const Result r = Cli("decode " + f + " -");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
    }
}

// Vorbis comments through tags; names that are not UTF-8 open by their bytes.
TEST_F(CliMedia, TagsListVorbisCommentsAndNamesNeedNotBeUtf8) {
    const std::string latin1 = Dir + "/caf\xe9";
    ASSERT_TRUE(Shell("flac -s -f -T TITLE=Flac -T ARTIST=One -o '" + latin1 + ".flac' " + In));
    ASSERT_TRUE(Shell("oggenc -Q -t Ogg -a Two -o '" + latin1 + ".ogg' " + In));
    std::filesystem::copy_file(In, latin1 + ".wav");
    Result r = Cli("tags '" + latin1 + ".flac'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "vorbis.Artist: One\nvorbis.Title: Flac\n");
    r = Cli("tags '" + latin1 + ".ogg'");
    EXPECT_EQ(r.out, "vorbis.Artist: Two\nvorbis.Title: Ogg\n");
    r = Cli("info '" + latin1 + ".wav'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("valid: yes\n"), std::string::npos);
    r = Cli("decode --raw '" + latin1 + ".wav' -");
    EXPECT_EQ(r.out, Text(Payload));
}

// A tag or a playlist may carry colour, a window title, a clipboard write
// (OSC 52), CR/LF and C1 controls: every command shows them escaped, so no
// control byte but the lines' own reaches the terminal.
TEST_F(CliMedia, TextFromFilesReachesTheTerminalEscaped) {
    const std::string evil =
        "a\x1b[31mRed\x1b]52;c;SGk=\x07\xc2\x9b"
        "2J";
    const std::string shown = "a\\x1b[31mRed\\x1b]52;c;SGk=\\x07\\u009b2J";
    const std::string flac = Dir + "/evil.flac", m3u = Dir + "/evil.m3u";
    // A tag value may hold line breaks; a playlist's line may not.
    WriteFile(Dir + "/evil.txt", Bytes(evil.begin(), evil.end()));
    Shell("printf '\\r\\nX' >> " + Dir + "/evil.txt");
    ASSERT_TRUE(Shell("flac -s -f -o " + flac + " " + In +
                      " && metaflac --set-tag-from-file=TITLE=" + Dir + "/evil.txt " + flac));
    const std::string list = "#EXTM3U\n#EXTINF:1," + evil + "\n" + Dir + "/x\x1b]0;t\x07.wav\n";
    WriteFile(m3u, Bytes(list.begin(), list.end()));
    const std::pair<std::string, std::string> cases[] = {
        {"tags " + flac, shown + "\\r\\nX\n"},
        {"info " + flac, shown + "\\r\\nX\n"},
        {"playlist " + m3u, shown + "\t" + Dir + "/x\\x1b]0;t\\x07.wav\n"}};
    for (const auto& [args, line] : cases) {
        SCOPED_TRACE(args);
        const Result r = Cli(args);
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        for (const char c : r.out + r.err)
            EXPECT_TRUE(static_cast<uint8_t>(c) >= 0x20 || c == '\n' || c == '\t')
                << "control byte " << int(c);
    }
}

// Plays through SDL's disk driver: what reaches the "device" is the decoded
// PCM, with nothing but silence around it.
TEST_F(CliMedia, PlayFeedsTheDeviceTheDecodedPcm) {
    const std::string disk = Dir + "/disk.raw";
    Result r = Cli("play " + In + " " + Dir + "/nope.xyz",
                   "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + disk);
    EXPECT_EQ(r.status, 1);  // the second file has no input
    EXPECT_NE(r.err.find("Format not supported"), std::string::npos) << r.err;
    const Bytes played = ReadFile(disk);
    // The device may have played silence before the ring started.
    ASSERT_NE(Payload[0], 0);
    const size_t at = static_cast<size_t>(
        std::find_if(played.begin(), played.end(), [](uint8_t b) { return b != 0; }) -
        played.begin());
    ASSERT_GE(played.size(), at + Payload.size());
    EXPECT_TRUE(std::equal(Payload.begin(), Payload.end(), played.begin() + at));
    EXPECT_TRUE(std::all_of(played.begin() + at + Payload.size(), played.end(),
                            [](uint8_t b) { return b == 0; }));
}

// One recording cut into four tracks plays back through SDL's disk driver
// (one open device, one file) as the recording itself: no gap, no click.
TEST_F(CliMedia, PlayJoinsTracksWithoutAGap) {
    struct Case {
        const char* format;
        int pieces;
        double seconds;  // each; shorter than a fill of the ring too
    };
    for (const Case& c : {Case{"wav", 4, 1.0}, Case{"flac", 4, 1.0}, Case{"ogg", 4, 1.0},
                          Case{"mp3", 4, 1.0}, Case{"wav", 12, 0.1}}) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.pieces));
        const CutRecording cut = CutInto(c.format, c.pieces, c.seconds);
        std::string files;
        for (const std::string& t : cut.tracks) files += " '" + t + "'";
        const std::string disk = Dir + "/joined.raw";
        Result r = Cli("play" + files, std::string("SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=") +
                                           DiskDriverDelayMs() + " SDL_DISKAUDIOFILE=" + disk);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string why;
        EXPECT_TRUE(PlaysJoined(ReadFile(disk), cut, why)) << why;
    }
}

// A folder plays its files in the order a file manager shows them ("2"
// before "10"), subfolders included, as one gapless run.
TEST_F(CliMedia, PlayFolderPlaysItsFilesInNameOrder) {
    const CutRecording cut = CutInto("wav", 4, 0.5);
    const std::string folder = Dir + "/album";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/10 more");
    const char* names[] = {"/2.wav", "/10 more/1.wav", "/10 more/9.wav", "/11.wav"};
    for (size_t i = 0; i < cut.tracks.size(); ++i)
        std::filesystem::copy_file(cut.tracks[i], folder + names[i]);
    WriteFile(folder + "/notes.txt", Bytes{'x'});  // not a sound file: left out
    const std::string disk = Dir + "/folder.raw";
    const Result r = Cli("play '" + folder + "'", std::string("SDL_AUDIODRIVER=disk ") +
                                                      "SDL_DISKAUDIODELAY=" + DiskDriverDelayMs() +
                                                      " SDL_DISKAUDIOFILE=" + disk);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string why;
    EXPECT_TRUE(PlaysJoined(ReadFile(disk), cut, why)) << why;
    std::filesystem::create_directories(Dir + "/empty");
    EXPECT_EQ(Cli("play " + Dir + "/empty").status, 1);
}

// Each file that fails is told once, in its own words: a FLAC no input
// reads (not the device's refusal of its empty format), a missing file, an
// Ogg chain that changes format after its first song. The rest plays.
TEST_F(CliMedia, PlayTellsEachFailureWithItsFile) {
    const std::string broken = Dir + "/broken.flac", missing = Dir + "/missing.wav";
    WriteFile(broken, Bytes{'f', 'L', 'a', 'C', 0, 0, 0, 0, 'j', 'u', 'n', 'k'});
    ASSERT_TRUE(
        Shell("cd " + Dir + " && sox -R -n -r 44100 -c 2 -b 16 a.wav synth 0.5 sine 500 && " +
              "sox -R -n -r 22050 -c 1 -b 16 b.wav synth 0.5 sine 300 && oggenc -Q a.wav b.wav" +
              " && cat a.ogg b.ogg > chain.ogg"));
    const Result r = Cli("play " + broken + " " + In + " " + missing + " " + Dir + "/chain.ogg",
                         "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(r.status, 1);
    const std::string want[] = {broken + ": The file is not in a format this input reads\n",
                                missing + ": ",
                                Dir +
                                    "/chain.ogg: The stream changes its channels or sample "
                                    "rate; it ends there\n"};
    for (const std::string& line : want) {
        const size_t at = r.err.find(line);
        EXPECT_NE(at, std::string::npos) << line << " in\n" << r.err;
        EXPECT_EQ(r.err.find(line, at + 1), std::string::npos) << "twice: " << line;
    }
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
}

// A process stopped for longer than the ring (a suspend, a debugger) loses
// nothing of what it had queued: SDL's cursor only moves as SDL takes sound.
TEST_F(CliMedia, PlayAfterAStopOfTheProcessLosesNothing) {
    const CutRecording cut = CutInto("wav", 1, 4.0);
    const std::string disk = Dir + "/stopped.raw";
    const std::string play = std::string("env SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=") +
                             DiskDriverDelayMs() + " SDL_DISKAUDIOFILE=" + disk + " " QUILLET_CLI +
                             " play '" + cut.tracks[0] + "'";
    ASSERT_TRUE(Shell(play + " 2>/dev/null & pid=$!; sleep 1; kill -STOP $pid; sleep 2.5; "
                             "kill -CONT $pid; wait $pid"));
    std::string why;
    EXPECT_TRUE(PlaysJoined(ReadFile(disk), cut, why)) << why;
}

// Frames from the first to the last sound in a 16-bit stereo recording.
long SoundFrames(const Bytes& raw) {
    const auto* s = reinterpret_cast<const int16_t*>(raw.data());
    const long n = static_cast<long>(raw.size() / 2);
    long first = 0, last = n - 1;
    while (first < n && s[first] == 0) ++first;
    while (last > first && s[last] == 0) --last;
    return (last - first) / 2 + 1;
}

// --crossfade overlaps two albums' tracks by exactly its length; one album's
// tracks in order still join sample for sample. --eq is taken as a preset.
TEST_F(CliMedia, PlayCrossfadesBetweenAlbumsOnly) {
    for (const char* album : {"A", "B"})
        ASSERT_TRUE(Shell("cd " + Dir + " && sox -R -n -r 44100 -c 2 -b 16 t.wav synth 3 sine " +
                          "440 vol 0.5 && flac -s -f -T ALBUM=" + album + " -T TRACKNUMBER=1 " +
                          "t.wav -o " + album + ".flac && flac -s -f -T ALBUM=A -T TRACKNUMBER=2 " +
                          "t.wav -o A2.flac"));
    const std::string disk = Dir + "/crossfade.raw";
    const std::string env = std::string("SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=") +
                            DiskDriverDelayMs() + " SDL_DISKAUDIOFILE=" + disk;
    Result r = Cli("play --crossfade 1 --eq flat " + Dir + "/A.flac " + Dir + "/B.flac", env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(SoundFrames(ReadFile(disk)), 5 * 44100, 2) << "3 s + 3 s - 1 s";
    r = Cli("play --crossfade 2 " + Dir + "/A.flac " + Dir + "/A2.flac", env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(SoundFrames(ReadFile(disk)), 6 * 44100, 2) << "one album: no crossfade";
    EXPECT_EQ(Cli("play --crossfade 13 " + Dir + "/A.flac").status, 2);
    EXPECT_EQ(Cli("play --eq nonesuch " + Dir + "/A.flac").status, 2);
}


}  // namespace
}  // namespace quillet

