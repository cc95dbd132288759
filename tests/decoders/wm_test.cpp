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

TEST_P(WmDecode, MatchesReferenceWithinTheDurationRule) {
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
    // The duration rule: whole frames of the length in hundredths.
    const int64_t hundredths = in.Hundredths();
    EXPECT_GT(hundredths, 250);
    EXPECT_LT(hundredths, 350);
    const int64_t frames = hundredths * GetParam().Rate / 100;
    EXPECT_EQ(in.DataSize(), frames * GetParam().Channels * 2);

    // An odd request size: blocks need not line up with anything.
    const Bytes got = DecodeAll(in, 7000);
    const size_t expected = std::min<size_t>(ref.size(), static_cast<size_t>(in.DataSize()));
    ASSERT_EQ(got.size(), expected);
    EXPECT_LE(MaxDiff16(got, Prefix(ref, expected)), 1);
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
    ASSERT_EQ(got.size(), std::min<size_t>(ref.size(), static_cast<size_t>(in.DataSize())));
    EXPECT_LE(MaxDiff16(got, Prefix(ref, got.size())), 1);
    EXPECT_EQ(stream.Position(), 0);
}

// Runs of seven attributes: ID3v2 (MP3) and ASF metadata (WMA).
TEST(WmTags, SevenFieldsFromId3v2AndAsf) {
    const std::string mp3 =
        Made("tagged.mp3", "cp '" + MakeFixture(kWmFixtures[0]) +
                               "' \"$OUT\" && mid3v2 -t Abcd -a 'Ärtist' -A Album "
                               "-g Genre -T 3/12 -y 2001 --TCOP 'Copy right' \"$OUT\"");
    const std::string wma = Made(
        "tagged.wma",
        "ffmpeg -v error -i '" + SourceWav(44100, 2) +
            "' -c:a wmav2 -metadata title=Abcd -metadata 'artist=Ärtist' -metadata album=Album "
            "-metadata genre=Genre -metadata track=3/12 -metadata date=2001 -metadata "
            "'copyright=Copy right' -f asf \"$OUT\"");
    for (const std::string& path : {mp3, wma}) {
        SCOPED_TRACE(path);
        ASSERT_FALSE(path.empty());
        TMP3In in;
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

// Reads `frames` frames after positioning to the middle (`active`: during a
// run; otherwise as the run's start) and finds where they sit in `ref`.
// `hundredth` receives the first frame of the whole hundredth the seek aims at.
int64_t SeekLanding(const std::string& path, bool active, int64_t& target, int64_t& hundredth) {
    const Bytes ref = Reference(path);
    TMP3In in;
    in.SetFileName(path);
    const uint32_t fb = in.GetChannels() * 2;
    target = in.GetSampleCount() / 2;
    const int64_t h =
        std::llround(static_cast<double>(target) / in.GetSampleCount() * in.Hundredths());
    hundredth = h * in.GetSampleRate() / 100;
    if (!active) in.SetStartSample(target);
    in.BeginRead();
    if (!active) {
        EXPECT_EQ(in.Delivered(), 0);
    }
    uint8_t* p = nullptr;
    uint32_t n = 4096;
    if (active) {
        in.GetBlock(p, n);
        EXPECT_TRUE(in.GoToSample(target));
        EXPECT_EQ(in.Delivered(), target * fb);
    }
    // Skip four codec frames: after a jump the decoder lacks the bit
    // reservoir and the overlap of the frames before.
    Bytes got;
    while (got.size() < static_cast<size_t>(8 * 1152) * fb) {
        n = 65536;
        in.GetBlock(p, n);
        if (n == 0) break;
        Append(got, p, n);
    }
    in.EndRead();
    const size_t warm = 4 * 1152 * fb, probe = 2048 * fb;
    if (got.size() < warm + probe) return -1;
    const Bytes window(got.begin() + static_cast<std::ptrdiff_t>(warm),
                       got.begin() + static_cast<std::ptrdiff_t>(warm + probe));
    // The first offset where every sample is within 1 LSB.
    const auto w = AsInt16(window), r = AsInt16(ref);
    const size_t ch = fb / 2;
    for (int64_t at = target - 3 * 2048; at <= target + 3 * 2048; ++at) {
        const int64_t off = (at + 4 * 1152) * static_cast<int64_t>(ch);
        if (off < 0 || static_cast<size_t>(off) + w.size() > r.size()) continue;
        size_t i = 0;
        while (i < w.size() && std::abs(w[i] - r[static_cast<size_t>(off) + i]) <= 1) ++i;
        if (i == w.size()) return at;
    }
    return -1;
}

TEST(WmSeek, HalfWayLandsWithinOneFrame) {
    for (const TWmFixture& f : {kWmFixtures[0], kWmFixtures[1], kWmFixtures[6]}) {
        for (bool active : {true, false}) {
            SCOPED_TRACE(std::string(f.Name) + (active ? " active" : " start"));
            const std::string path = MakeFixture(f);
            ASSERT_FALSE(path.empty());
            int64_t target = 0, hundredth = 0;
            const int64_t landed = SeekLanding(path, active, target, hundredth);
            ASSERT_GE(landed, 0);
            // One codec frame: 1152 samples in MP3, 2048 in WMA.
            const bool wma = std::string(f.Name).ends_with(".wma");
            EXPECT_LE(std::llabs(landed - target), wma ? 2048 : 1152);
            // MP3 timestamps are exact, so the landing is the hundredth itself.
            if (!wma) {
                EXPECT_EQ(landed, hundredth);
            }
        }
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
        EXPECT_EQ(got.size(), std::min<size_t>(ref.size(), static_cast<size_t>(in.DataSize())));
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
