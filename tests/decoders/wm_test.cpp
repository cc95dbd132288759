// TWMIn/TMP3In against the reference decoder: PCM, length, tags, seeking, the
// output-format choice and the two properties, and files that are not what
// their extension says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "ACS_Classes.h"
#include "ACS_WinMedia.h"
#include "ACS_smpeg.h"
#include "ffmpeg_lib.h"
#include "input_table.h"
#include "lib_loader.h"
#include "wm_fixture.h"

namespace quillet::test::wm {
namespace {

// Largest difference between two 16-bit PCM byte strings of equal length.
int MaxDiff16(const Bytes& a, const Bytes& b) {
    const auto x = AsInt16(a), y = AsInt16(b);
    int worst = 0;
    for (size_t i = 0; i < std::min(x.size(), y.size()); ++i)
        worst = std::max(worst, std::abs(x[i] - y[i]));
    return worst;
}

Bytes Prefix(const Bytes& b, size_t n) {
    return Bytes(b.begin(), b.begin() + std::min(n, b.size()));
}

class WmDecode : public ::testing::TestWithParam<TWmFixture> {};

// The whole decode, exactly as long as ffmpeg's (encoder delay and padding
// removed as FFmpeg reports them, so LAME albums join without a click).
TEST_P(WmDecode, MatchesTheReferenceWholeAndGapless) {
    const std::string path = MakeFixture(GetParam());
    ASSERT_FALSE(path.empty()) << "fixture tools missing";
    const Bytes ref = Reference(path);
    ASSERT_FALSE(ref.empty());

    TWMIn in;
    in.SetFileName(path);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetChannels(), static_cast<uint32_t>(GetParam().Channels));
    EXPECT_EQ(in.GetSampleRate(), static_cast<uint32_t>(GetParam().Rate));
    EXPECT_EQ(in.GetBitsPerSample(), 16u);
    EXPECT_GT(in.Hundredths(), 250);
    EXPECT_LT(in.Hundredths(), 350);
    EXPECT_EQ(in.SizeIsEstimate(), GetParam().Estimated);
    if (!GetParam().Estimated) {
        // An exact count is what plays: LAME's end padding is not in it.
        EXPECT_EQ(in.DataSize(), static_cast<int64_t>(ref.size()));
    }

    // An odd request size: blocks need not line up with anything.
    const Bytes got = DecodeAll(in, 7000);
    ASSERT_EQ(got.size(), ref.size());
    EXPECT_LE(MaxDiff16(got, ref), 1);
}

INSTANTIATE_TEST_SUITE_P(Files, WmDecode, ::testing::ValuesIn(kWmFixtures), [](const auto& info) {
    std::string n = info.param.Name;
    std::replace(n.begin(), n.end(), '.', '_');
    return n;
});

TEST(WmDecode, ReadsThroughAGivenStreamAndRewindsIt) {
    const std::string path = MakeFixture(kWmFixtures[1]);
    ASSERT_FALSE(path.empty());
    TMemoryStream stream(ReadFile(path));
    TMP3In in;
    in.SetStream(&stream);
    const Bytes got = DecodeAll(in);
    const Bytes ref = Reference(path);
    ASSERT_EQ(got.size(), ref.size());
    EXPECT_LE(MaxDiff16(got, ref), 1);
    EXPECT_EQ(stream.Position(), 0);
}

// Runs of seven attributes: ID3v2 (MP3), ASF metadata (WMA), and the
// general input's containers (Vorbis comments, MP4 atoms, APEv2).
TEST(WmTags, SevenFieldsFromEveryContainer) {
    const std::string mp3 =
        Made("tagged.mp3", "cp '" + MakeFixture(kWmFixtures[0]) +
                               "' \"$OUT\" && mid3v2 -t Abcd -a 'Ärtist' -A Album "
                               "-g Genre -T 3/12 -y 2001 --TCOP 'Copy right' \"$OUT\"");
    auto tagged = [](const char* name, const char* format) {
        return Made(name, "ffmpeg -v error -i '" + SourceWav(44100, 2) +
                              "' -t 1 -metadata title=Abcd -metadata 'artist=Ärtist' -metadata "
                              "album=Album -metadata genre=Genre -metadata track=3/12 -metadata "
                              "date=2001 -metadata 'copyright=Copy right' -f " +
                              format + " \"$OUT\"");
    };
    const std::pair<std::string, TInputKind> files[] = {
        {mp3, TInputKind::ikMP3},
        {tagged("tagged.wma", "asf -c:a wmav2"), TInputKind::ikWM},
        {tagged("tagged.opus", "opus"), TInputKind::ikFFmpeg},
        {tagged("tagged.m4a", "ipod"), TInputKind::ikFFmpeg},
        {tagged("tagged.wv", "wv"), TInputKind::ikFFmpeg},
    };
    for (const auto& [path, kind] : files) {
        SCOPED_TRACE(path);
        ASSERT_FALSE(path.empty());
        Owned<TAuFileIn> input(CreateInput(kind, nullptr));
        auto& in = dynamic_cast<TWMIn&>(*input);
        in.SetFileName(path);
        ASSERT_TRUE(in.IsValid());
        TId3v2Tags& t = in.Id3v2Tags();
        // Four characters exactly: no terminator carried over.
        EXPECT_EQ(t.Title(), u"Abcd");
        EXPECT_EQ(t.Artist(), u"Ärtist");
        EXPECT_EQ(t.Album(), u"Album");
        EXPECT_EQ(t.Genre(), u"Genre");
        EXPECT_EQ(t.Track(), "3/12");
        EXPECT_EQ(t.Year(), "2001");
        EXPECT_EQ(t.Comment(), u"Copy right");
        EXPECT_TRUE(t.Composer().empty());  // not one of the seven
    }
}

TEST(WmTags, AbsentAttributesOverwriteThePreviousFile) {
    const std::string tagged =
        Made("tagged2.mp3",
             "cp '" + MakeFixture(kWmFixtures[3]) + "' \"$OUT\" && mid3v2 -t Old -a Old \"$OUT\"");
    TMP3In in;
    in.SetFileName(tagged);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.Id3v2Tags().Title(), u"Old");
    in.SetFileName(MakeFixture(kWmFixtures[0]));
    ASSERT_TRUE(in.IsValid());
    // Written, as empty values, so the set is no longer empty.
    EXPECT_EQ(in.Id3v2Tags().Title(), u"");
    EXPECT_EQ(in.Id3v2Tags().Artist(), u"");
    EXPECT_EQ(in.Id3v2Tags().GetValue("TIT2").Kind(), TTagValue::TKind::Wide);
}

// The first `frames` frames after positioning at `target` (`active`: during
// a run; otherwise as the run's start).
Bytes AfterSeek(TWMIn& in, int64_t target, bool active, size_t frames) {
    const size_t fb = in.GetChannels() * 2;
    if (!active) in.SetStartSample(target);
    in.BeginRead();
    uint8_t* p = nullptr;
    uint32_t n = 4096;
    if (active) {
        in.GetBlock(p, n);
        EXPECT_TRUE(in.GoToSample(target));
    }
    EXPECT_EQ(in.Delivered(), active ? target * static_cast<int64_t>(fb) : 0);
    Bytes got;
    while (got.size() < frames * fb) {
        n = static_cast<uint32_t>(frames * fb - got.size());
        in.GetBlock(p, n);
        if (n == 0) break;
        Append(got, p, n);
    }
    in.EndRead();
    return got;
}

// Where `got` sits in `ref`: the offset within `span` frames of `target`
// where every sample is within 1 LSB; -1 when there is none.
int64_t Landing(const Bytes& got, const Bytes& ref, size_t channels, int64_t target, int64_t span) {
    const auto w = AsInt16(got), r = AsInt16(ref);
    for (int64_t at = std::max<int64_t>(target - span, 0); at <= target + span; ++at) {
        const size_t off = static_cast<size_t>(at) * channels;
        if (off + w.size() > r.size()) break;
        size_t i = 0;
        while (i < w.size() && std::abs(w[i] - r[off + i]) <= 1) ++i;
        if (i == w.size()) return at;
    }
    return -1;
}

// A seek lands on the very frame asked for (WMA: within one codec frame, its
// time stamps are whole milliseconds), and the first samples after it are
// right: decoding starts a few codec frames earlier, so MP3's bit reservoir
// and the transform overlap are there (straight to the target, the first
// ~50 ms came out as zeros and clicks).
TEST(WmSeek, LandsOnTheFrameWithTheFirstSamplesRight) {
    for (const TWmFixture& f :
         {kWmFixtures[0], kWmFixtures[1], kWmFixtures[2], kWmFixtures[3], kWmFixtures[6]}) {
        const std::string path = MakeFixture(f);
        ASSERT_FALSE(path.empty());
        const Bytes ref = Reference(path);
        const bool wma = std::string(f.Name).ends_with(".wma");
        for (bool active : {true, false}) {
            for (const int64_t target : {int64_t{1}, int64_t{f.Rate} * 3 / 2 + 333}) {
                SCOPED_TRACE(std::string(f.Name) + (active ? " active " : " start ") +
                             std::to_string(target));
                TMP3In in;
                in.SetFileName(path);
                const Bytes got = AfterSeek(in, target, active, 4096);
                ASSERT_EQ(got.size(), 4096u * f.Channels * 2);
                const int64_t landed = Landing(got, ref, f.Channels, target, wma ? 2048 : 0);
                EXPECT_NE(landed, -1);
            }
        }
    }
}

// A VBR MP3 of `first` seconds of `a` then `second` of `b` (sox synth
// arguments), without a Xing/Info header: FFmpeg's length is a bit-rate
// estimate from the first frames.
std::string HeaderlessVbr(const std::string& name, int first, const std::string& a, int second,
                          const std::string& b) {
    return Made(name, "sox -R -n -r 44100 -c 2 -b 16 \"$OUT\".a.wav synth " +
                          std::to_string(first) + " " + a +
                          " && sox -R -n -r 44100 -c 2 -b 16 \"$OUT\".b.wav synth " +
                          std::to_string(second) + " " + b +
                          " && sox \"$OUT\".a.wav \"$OUT\".b.wav \"$OUT\".wav && lame --quiet "
                          "-V 6 -t \"$OUT\".wav \"$OUT\".mp3 && mv \"$OUT\".mp3 \"$OUT\"; rm -f "
                          "\"$OUT\".*.wav \"$OUT\".wav");
}

// Positions during a run; true when the next block still comes from near
// where the run was (a refused seek never ends the run).
bool SeekRefusedAndPlayingOn(TMP3In& in, int64_t target) {
    in.BeginRead();
    uint8_t* p = nullptr;
    uint32_t n = 4096;
    in.GetBlock(p, n);
    const bool refused = !in.GoToSample(target);
    n = 4096;
    in.GetBlock(p, n);
    const bool playing = n > 0 && in.Delivered() <= 4096 * 2;
    in.EndRead();
    return refused && playing;
}

// Every frame of a headerless VBR MP3 plays whatever the estimate says: the
// issue's 60 s file (loud noise first: the estimate is half the length), and
// the other way round (the estimate is far too long). Seeks inside the audio
// land exactly; past it they report failure and the run goes on.
TEST(WmLength, HeaderlessVbrPlaysWholeAndSeeksOnlyWhereThereIsAudio) {
    const std::string shortGuess =
        HeaderlessVbr("noise_sine60.mp3", 3, "whitenoise vol 0.9", 57, "sine 440 vol 0.05");
    const std::string longGuess =
        HeaderlessVbr("sine_noise20.mp3", 17, "sine 440 vol 0.05", 3, "whitenoise vol 0.9");
    for (const std::string& path : {shortGuess, longGuess}) {
        SCOPED_TRACE(path);
        ASSERT_FALSE(path.empty());
        const Bytes ref = Reference(path);
        TMP3In in;
        in.SetFileName(path);
        ASSERT_TRUE(in.IsValid());
        EXPECT_TRUE(in.SizeIsEstimate());
        const Bytes got = DecodeAll(in);
        ASSERT_EQ(got.size(), ref.size());
        EXPECT_LE(MaxDiff16(got, ref), 1);

        const int64_t inside = 10 * 44100 + 7, frames = static_cast<int64_t>(ref.size() / 4);
        EXPECT_EQ(Landing(AfterSeek(in, inside, true, 2048), ref, 2, inside, 0), inside);
        if (path == shortGuess) {
            EXPECT_LT(in.DataSize(), static_cast<int64_t>(ref.size()));
            EXPECT_GT(frames, 59 * 44100);
            EXPECT_TRUE(SeekRefusedAndPlayingOn(in, 50 * 44100));  // beyond the estimate
        } else {
            // Past the audio, inside the estimate.
            const int64_t estimate = in.DataSize() / 4;
            ASSERT_GT(estimate, frames + 4410);
            EXPECT_TRUE(SeekRefusedAndPlayingOn(in, (frames + estimate) / 2));
        }
    }
}

// WMA files whose header duration is zero, short, or marked absent (the
// broadcast flag) play every packet, as ffmpeg decodes them.
TEST(WmLength, AsfHeaderDurationIsOnlyAnEstimate) {
    const Bytes wma = ReadFile(MakeFixture(kWmFixtures[6]));
    const Bytes ref = Reference(MakeFixture(kWmFixtures[6]));
    // The File Properties object: play duration at +64, flags at +88.
    static constexpr uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                    0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    const auto it =
        std::search(wma.begin(), wma.end(), std::begin(kFileProperties), std::end(kFileProperties));
    ASSERT_NE(it, wma.end());
    const size_t at = static_cast<size_t>(it - wma.begin());
    struct TCase {
        const char* Name;
        uint64_t Duration;
        uint8_t Flags;
    };
    for (const TCase& c :
         {TCase{"zero", 0, 2}, TCase{"short", 2000000, 2}, TCase{"absent", 0, 1}}) {
        SCOPED_TRACE(c.Name);
        Bytes b = wma;
        for (int i = 0; i < 8; ++i) b[at + 64 + i] = static_cast<uint8_t>(c.Duration >> (8 * i));
        b[at + 88] = c.Flags;
        const std::string path = WmDir() + "/duration_" + c.Name + ".wma";
        WriteFile(path, b);
        TWMIn in;
        in.SetFileName(path);
        ASSERT_TRUE(in.IsValid());
        const Bytes got = DecodeAll(in);
        EXPECT_EQ(got.size(),
                  ReadFile(Made(std::string("duration_") + c.Name + ".s16",
                                "ffmpeg -v error -i '" + path + "' -f s16le -y \"$OUT\""))
                      .size());
        EXPECT_EQ(got.size(), ref.size());
    }
}

TEST(WmReader, DurationArithmetic) {
    TWMReader r;
    r.Duration = 1800000000;  // 180 s
    EXPECT_EQ(WMGetDuration(r), 18000);
    r.Duration = 150000;  // 1.5 hundredths: halves go to even
    EXPECT_EQ(WMGetDuration(r), 2);
    r.Duration = 250000;
    EXPECT_EQ(WMGetDuration(r), 2);
    r.Duration = 250001;
    EXPECT_EQ(WMGetDuration(r), 3);
}

TEST(WmReader, AdapterShowsTheStreamFromItsOrigin) {
    RequireFfmpeg();
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    TMemoryStream s(data);
    TAudioStream a(s);
    ASSERT_NE(a.Open(30), nullptr);
    uint8_t b[4];
    ASSERT_EQ(a.Read(b, 4), 4);
    EXPECT_EQ(b[0], 30);
    EXPECT_EQ(a.Seek(0, AVSEEK_SIZE), 70);
    EXPECT_EQ(a.Seek(-10, SEEK_END), 60);
    EXPECT_EQ(a.Seek(5, SEEK_CUR), 65);
    EXPECT_LT(a.Seek(-1, SEEK_SET), 0);
    EXPECT_EQ(a.Seek(70, SEEK_SET), 70);
    EXPECT_LT(a.Read(b, 4), 0);  // at the end: EOF, not 0
}

TEST(WmFormats, ChannelChoiceAndProperties) {
    const std::string path = MakeFixture(kWmFixtures[0]);
    ASSERT_FALSE(path.empty());
    TMP3In in;
    in.SetFileName(path);
    EXPECT_FALSE(in.HighPrecision());
    EXPECT_EQ(in.OutputChannels(), cnMonoOrStereo);
    ASSERT_TRUE(in.IsValid());

    // 5.1 on a stereo file: open, but no format chosen.
    in.SetOutputChannels(cn5dot1);
    EXPECT_TRUE(in.HighPrecision());
    EXPECT_FALSE(in.IsValid());
    EXPECT_EQ(in.GetChannels(), 0u);
    EXPECT_EQ(in.DataSize(), 0);
    EXPECT_TRUE(DecodeAll(in).empty());

    // 7.1 turns HighPrecision on, and it stays until cnMonoOrStereo returns.
    in.SetOutputChannels(cn7dot1);
    in.SetHighPrecision(false);
    EXPECT_TRUE(in.HighPrecision());
    in.SetOutputChannels(cnMaxAvailable);
    ASSERT_TRUE(in.IsValid());  // the largest format: 24 bits
    EXPECT_EQ(in.GetBitsPerSample(), 24u);
    EXPECT_EQ(in.GetChannels(), 2u);
    const Bytes wide = DecodeAll(in);

    in.SetOutputChannels(cnMonoOrStereo);
    EXPECT_TRUE(in.HighPrecision());
    EXPECT_EQ(in.GetBitsPerSample(), 24u);  // native channels, discrete output
    in.SetHighPrecision(false);             // now taken, and the source reopened
    EXPECT_FALSE(in.HighPrecision());
    EXPECT_EQ(in.GetBitsPerSample(), 16u);
    const Bytes narrow = DecodeAll(in);

    // The same audio at both widths.
    ASSERT_EQ(wide.size() / 3, narrow.size() / 2);
    const auto n16 = AsInt16(narrow);
    for (size_t i = 0; i < n16.size(); ++i) {
        const int32_t s24 = static_cast<int32_t>(static_cast<uint32_t>(wide[3 * i]) << 8 |
                                                 static_cast<uint32_t>(wide[3 * i + 1]) << 16 |
                                                 static_cast<uint32_t>(wide[3 * i + 2]) << 24) >>
                            8;
        ASSERT_LE(std::abs((s24 >> 8) - n16[i]), 1) << "sample " << i;
    }
}

TEST(WmFormats, PropertiesIgnoredWhileActive) {
    TMP3In in;
    in.SetFileName(MakeFixture(kWmFixtures[0]));
    in.BeginRead();
    in.SetOutputChannels(cn5dot1);
    in.SetHighPrecision(true);
    EXPECT_EQ(in.OutputChannels(), cnMonoOrStereo);
    EXPECT_FALSE(in.HighPrecision());
    EXPECT_EQ(in.GetBitsPerSample(), 16u);
    in.EndRead();
}

TEST(WmErrors, FileNameNotAssignedAndMissingLibrary) {
    TWMIn none;
    try {
        none.GetChannels();
        ADD_FAILURE() << "no error";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "File name is not assigned");
    }

    TMP3In in;
    in.SetFileName(MakeFixture(kWmFixtures[0]));
    FailLibraryLoadForTesting("libavformat.so.59", true);
    try {
        in.BeginRead();
        ADD_FAILURE() << "no error";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libavformat.so.59 library could not be loaded.");
    }
    in.Reset();
    FailLibraryLoadForTesting("libavformat.so.59", false);
    EXPECT_TRUE(in.IsValid());
}

// Files that are not what they claim: nothing crashes or hangs, and what can
// be decoded matches the reference.
TEST(WmHostile, RandomTruncatedAndBrokenFiles) {
    const std::string random = WmDir() + "/random.mp3";
    WriteFile(random, NoiseBytes(20000, 99));
    {
        TMP3In in;
        in.SetFileName(random);
        in.IsValid();  // may or may not find something: it must only not crash
        DecodeAll(in);
    }

    const Bytes whole = ReadFile(MakeFixture(kWmFixtures[1]));
    const std::string cut = WmDir() + "/truncated.mp3";
    WriteFile(cut, Prefix(whole, whole.size() / 2 + 77));
    {
        TMP3In in;
        in.SetFileName(cut);
        ASSERT_TRUE(in.IsValid());
        const Bytes got = DecodeAll(in);
        const Bytes ref = ReadFile(
            Made("truncated.s16", "ffmpeg -v error -i '" + cut + "' -f s16le -y \"$OUT\""));
        ASSERT_GT(got.size(), 0u);
        EXPECT_EQ(got.size(), ref.size());
        EXPECT_LE(MaxDiff16(got, ref), 1);
    }

    Bytes wma = ReadFile(MakeFixture(kWmFixtures[6]));
    ASSERT_GT(wma.size(), 400u);
    for (size_t i = 30; i < 400; i += 3) wma[i] ^= 0x5A;  // the header's objects
    const std::string broken = WmDir() + "/broken.wma";
    WriteFile(broken, wma);
    {
        TWMIn in;
        in.SetFileName(broken);
        in.IsValid();
        DecodeAll(in);
    }
    // An empty file.
    const std::string empty = WmDir() + "/empty.wma";
    WriteFile(empty, {});
    TWMIn in;
    in.SetFileName(empty);
    EXPECT_FALSE(in.IsValid());
    EXPECT_EQ(in.GetChannels(), 0u);
    EXPECT_TRUE(DecodeAll(in).empty());
}

}  // namespace
}  // namespace quillet::test::wm
