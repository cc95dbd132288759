// The general FFmpeg input against ffmpeg's own decode and the lossless
// sources; seeking; the demuxer allow-list; content sniffing; the
// extension table's filter and drop list; WAV codecs handed to FFmpeg.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "ACS_Wave.h"
#include "content_sniff.h"
#include "ffmpeg_fixture.h"
#include "ffmpeg_input.h"
#include "input_table.h"
#include "lib_loader.h"
#include "text.h"

namespace quillet::test::ff {
namespace {

using wm::DecodeAll;
using wm::WmDir;
using wm::WriteFile;

// The PCM of a WAV file: what follows its 44-byte canonical header.
Bytes WavPcm(const std::string& path, int bits) {
    return Decoded(path, bits);
}

class FfDecode : public ::testing::TestWithParam<TFfFixture> {};

TEST_P(FfDecode, MatchesFfmpegAndLosslessGivesTheSourceBack) {
    const TFfFixture& f = GetParam();
    const std::string path = MakeFixture(f);
    ASSERT_FALSE(path.empty()) << "fixture tools missing";
    const Bytes ref = Decoded(path, f.Bits);
    ASSERT_FALSE(ref.empty());

    TFFmpegIn in;
    in.SetFileName(path);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetChannels(), static_cast<uint32_t>(f.Channels));
    EXPECT_EQ(in.GetSampleRate(), static_cast<uint32_t>(f.Rate));
    EXPECT_EQ(in.GetBitsPerSample(), static_cast<uint32_t>(f.Bits));
    EXPECT_EQ(in.SizeIsEstimate(), f.Estimated);

    const Bytes got = DecodeAll(in, 5000);
    if (f.EndPadded) {
        // The container's length, trimmed of the encoder's padding that
        // ffmpeg keeps; up to there the same samples.
        ASSERT_EQ(static_cast<int64_t>(got.size()), in.DataSize());
        ASSERT_LT(got.size(), ref.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.begin()));
    } else {
        ASSERT_EQ(got.size(), ref.size());
        EXPECT_TRUE(got == ref);
        if (!f.Estimated) {
            EXPECT_EQ(in.DataSize(), static_cast<int64_t>(ref.size()));
        }
    }
    if (f.Lossless) {
        EXPECT_TRUE(got == WavPcm(Source(f), f.Bits));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FfDecode, ::testing::ValuesIn(kFfFixtures), [](const auto& info) {
    std::string n = info.param.Name;
    std::replace(n.begin(), n.end(), '.', '_');
    return n;
});

// A seek lands on the frame asked for: lossless formats bit-exact from the
// first sample on, lossy ones after the codec's own settling.
TEST(FfSeek, LandsOnTheFrameAskedFor) {
    for (const TFfFixture& f : kFfFixtures) {
        if (f.EndPadded || f.Estimated) continue;
        SCOPED_TRACE(f.Name);
        const std::string path = MakeFixture(f);
        ASSERT_FALSE(path.empty());
        const Bytes ref = Decoded(path, f.Bits);
        const size_t fb = static_cast<size_t>(f.Channels * f.Bits / 8);
        const int64_t target = f.Rate * 2 + 101;
        TFFmpegIn in;
        in.SetFileName(path);
        in.BeginRead();
        uint8_t* p = nullptr;
        uint32_t n = 1000;
        in.GetBlock(p, n);
        ASSERT_TRUE(in.GoToSample(target));
        Bytes got;
        while (got.size() < 4096 * fb) {
            n = static_cast<uint32_t>(4096 * fb - got.size());
            in.GetBlock(p, n);
            if (n == 0) break;
            got.insert(got.end(), p, p + n);
        }
        in.EndRead();
        ASSERT_EQ(got.size(), 4096 * fb);
        const auto at = ref.begin() + static_cast<std::ptrdiff_t>(target * fb);
        if (f.Lossless) {
            EXPECT_TRUE(std::equal(got.begin(), got.end(), at));
        } else {
            // Opus converges within its 80 ms preroll: close, not bit-exact.
            const auto g = wm::AsInt16(got), r = wm::AsInt16(Bytes(at, at + got.size()));
            int worst = 0;
            for (size_t i = 0; i < g.size(); ++i) worst = std::max(worst, std::abs(g[i] - r[i]));
            EXPECT_LE(worst, 64);
        }
    }
}

// Only the allow-listed audio demuxers: a script or playlist that FFmpeg
// would follow to other files, or a container of another input, is refused.
TEST(FfHostile, DemuxersOutsideTheAllowListAreRefused) {
    const std::string wav = wm::SourceWav(44100, 2);
    const std::string dir = WmDir();
    struct TCase {
        const char* Name;
        std::string Content;
    };
    const TCase cases[] = {
        {"concat.m4a", "ffconcat version 1.0\nfile '" + wav + "'\n"},
        {"list.aac", "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXTINF:3,\n" + wav + "\n#EXT-X-ENDLIST\n"},
        {"wave.opus", std::string()},  // a WAV: the WAV input's, not this one's
        {"empty.caf", std::string()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir + "/" + c.Name;
        if (std::string(c.Name) == "wave.opus")
            std::filesystem::copy_file(wav, path,
                                       std::filesystem::copy_options::overwrite_existing);
        else
            WriteFile(path, Bytes(c.Content.begin(), c.Content.end()));
        TFFmpegIn in;
        in.SetFileName(path);
        EXPECT_FALSE(in.IsValid());
        EXPECT_EQ(in.GetChannels(), 0u);
        EXPECT_TRUE(DecodeAll(in).empty());
    }
}

// What real files cannot show: headers cut short or not quite right.
TEST(FfSniff, FirstBytesClassify) {
    // One segment on the first page: the codec's packet at byte 28.
    const std::string ogg = std::string("OggS\0\2", 6) + std::string(20, '\0') + "\1\x1e";
    const std::pair<std::string, TContentKind> cases[] = {
        {std::string("RF64\xff\xff\xff\xffWAVEds64", 16), TContentKind::ckWave},
        {ogg + "\x01vorbis", TContentKind::ckOggVorbis},
        {ogg, TContentKind::ckUnknown},                 // no packet yet
        {"\xff\xfb\xf0\x64", TContentKind::ckUnknown},  // bit rate index 15
        {"\xff\xf1\x50\x80", TContentKind::ckFFmpeg},   // ADTS
        {"", TContentKind::ckUnknown},
    };
    for (const auto& [bytes, kind] : cases) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(SniffContent(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), kind);
    }
}

// The extension's input keeps every file it reads; another input is chosen
// only for content the extension's input cannot read.
TEST(FfSniff, FilesGoToAnInputThatReadsThem) {
    const std::string dir = WmDir();
    auto copy = [&](const std::string& from, const char* name) {
        const std::string to = dir + "/" + name;
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        return to;
    };
    const std::string opus = MakeFixture(kFfFixtures[0]), wav = wm::SourceWav(44100, 2);
    const std::string mp3 = wm::MakeFixture(wm::kWmFixtures[0]);
    const std::string adts = MakeFixture(kFfFixtures[3]);
    const std::string tagged = Made("tagged_flac.flac", "flac -s -f -o \"$OUT\".flac '" + wav +
                                                            "' && mv \"$OUT\".flac \"$OUT\"");
    const std::string id3flac = Made("id3.flac", "cp '" + tagged + "' \"$OUT\"");
    {
        // An ID3v2 tag in front of a FLAC stream.
        Bytes b = ReadFile(id3flac);
        Bytes tag = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
        tag.resize(30, 0);
        b.insert(b.begin(), tag.begin(), tag.end());
        WriteFile(id3flac, b);
    }
    const std::string fifo = dir + "/fifo.ogg";
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct TCase {
        std::string Path;
        TInputKind Kind;
    };
    const TCase cases[] = {
        {copy(opus, "opus_in.ogg"), TInputKind::ikFFmpeg},
        {copy(wav, "wave_in.mp3"), TInputKind::ikWave},
        {copy(mp3, "mp3_in.wav"), TInputKind::ikMP3},
        {copy(adts, "adts_in.mp3"), TInputKind::ikFFmpeg},
        {copy(mp3, "mp3_in.m4a"), TInputKind::ikFFmpeg},  // the general input reads MPEG audio
        {copy(mp3, "plain.mp3"), TInputKind::ikMP3},
        {copy(id3flac, "id3_in.ogg"), TInputKind::ikFLAC},
        {fifo, TInputKind::ikVorbis},                // never read, never waited for
        {dir + "/missing.wav", TInputKind::ikWave},  // the input reports it
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(InputKindFor(c.Path), c.Kind);
    }
    EXPECT_EQ(InputKindFor(dir + "/x.unknown"), std::nullopt);
    std::filesystem::remove(fifo);

    // The chosen input plays them as ffmpeg does.
    for (const auto& [path, ref] : {std::pair{cases[0].Path, Decoded(opus, 16)},
                                    std::pair{cases[1].Path, Decoded(wav, 16)}}) {
        SCOPED_TRACE(path);
        Owned<TAuFileIn> in(CreateInput(*InputKindFor(path), nullptr));
        in->SetFileName(path);
        EXPECT_TRUE(DecodeAll(*in) == ref);
    }
}

TEST(FfTable, FilterAndDropListComeFromTheTable) {
    const std::string& filter = SoundFileFilter();
    EXPECT_EQ(filter.rfind("MP3 Files|*.mp3|Vorbis Files (ogg)|*.ogg|FLAC Files |*.flac|", 0), 0u);
    EXPECT_TRUE(filter.ends_with("|All files|*"));
    for (const char* ext :
         {".opus", ".oga", ".spx", ".m4a", ".m4b", ".mp4", ".aac", ".alac", ".aif",
          ".aiff", ".aifc", ".wv", ".ape", ".mp1", ".mp2", ".mpa", ".tta", ".caf", ".w64", ".au",
          ".snd", ".dsf"}) {
        SCOPED_TRACE(ext);
        const size_t at = filter.find(std::string("*") + ext);
        ASSERT_NE(at, std::string::npos);
        EXPECT_TRUE(std::strchr("|;", filter[at + 1 + std::strlen(ext)]));
        const std::string file = std::string("/m/x") + ext;
        EXPECT_EQ(FindInputKind(file), TInputKind::ikFFmpeg);
        EXPECT_TRUE(IsDropExtension(file));
        EXPECT_FALSE(IsDropExtension(std::string("/m/x") + AsciiUpper(ext)));
    }
    EXPECT_FALSE(IsDropExtension("/m/x.wma"));  // WMA is not taken from a drop
    for (size_t k = 0; k < kInputKindCount; ++k) {
        Owned<TAuFileIn> in(CreateInput(static_cast<TInputKind>(k), nullptr));
        EXPECT_NE(in.get(), nullptr);
    }
}

// Formats FFmpeg decodes that real collections hold: MPEG layer 1, Speex in
// Ogg, and DSD at 5.6 MHz beside 2.8 MHz. Each is chosen by its extension
// and plays exactly as ffmpeg decodes it.
TEST(FfFormats, Mp1SpeexAndDsdAtBothRates) {
    const std::string scripts = std::string(QUILLET_TEST_SOURCE_DIR) + "/decoders/";
    struct Case {
        const char* Name;
        std::string Make;
        uint32_t Rate, Channels;
    };
    const Case cases[] = {
        {"tone.mp1", "python3 '" + scripts + "make_mp1.py' \"$OUT\" 50", 48000, 1},
        {"speex.spx",
         "ffmpeg -v error -i '" + wm::SourceWav(44100, 2) +
             "' -t 1 -ar 16000 -ac 1 -c:a libspeex -f ogg \"$OUT\"",
         16000, 1},
        {"dsd64.dsf", "python3 '" + scripts + "make_dsf.py' \"$OUT\" 2822400 0.1", 352800, 2},
        {"dsd128.dsf", "python3 '" + scripts + "make_dsf.py' \"$OUT\" 5644800 0.1", 705600, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = Made(c.Name, c.Make);
        ASSERT_FALSE(path.empty());
        ASSERT_EQ(InputKindFor(path), TInputKind::ikFFmpeg);
        Owned<TAuFileIn> in(CreateInput(TInputKind::ikFFmpeg, nullptr));
        in->SetFileName(path);
        ASSERT_TRUE(in->IsValid());
        EXPECT_EQ(in->GetSampleRate(), c.Rate);
        EXPECT_EQ(in->GetChannels(), c.Channels);
        const Bytes ref = Decoded(path, 16);
        ASSERT_FALSE(ref.empty());
        EXPECT_TRUE(DecodeAll(*in) == ref);
    }
}

// Format tags the WAV input does not decode itself are decoded by FFmpeg,
// exactly as ffmpeg does; without FFmpeg the library's message.
TEST(FfWave, OtherCodecsGoToFfmpeg) {
    const std::string wav = wm::SourceWav(44100, 2);
    const char* const recipes[][2] = {
        {"gsm.wav",
         "sox '%s' -r 8000 -c 1 -e gsm-full-rate \"$OUT\".wav && mv \"$OUT\".wav \"$OUT\""},
        {"g726.wav", "ffmpeg -v error -i '%s' -ar 8000 -ac 1 -c:a adpcm_g726 -f wav \"$OUT\""},
        {"yamaha.wav", "ffmpeg -v error -i '%s' -c:a adpcm_yamaha -f wav \"$OUT\""},
    };
    for (const auto& r : recipes) {
        SCOPED_TRACE(r[0]);
        std::string cmd = r[1];
        cmd.replace(cmd.find("%s"), 2, wav);
        const std::string path = Made(r[0], cmd);
        ASSERT_FALSE(path.empty());
        TWaveIn in;
        in.SetFileName(path);
        ASSERT_TRUE(in.IsValid());
        EXPECT_TRUE(DecodeAll(in, 3000) == Decoded(path, 16));
    }
    {
        // A torn LIST chunk after the sound claiming 1.7 GB: FFmpeg would
        // allocate that much; the sound before it still plays whole.
        const std::string path = WmDir() + "/g726.wav";
        Bytes torn = wm::ReadFile(path);
        const uint8_t tail[] = {'L', 'I', 'S', 'T', 0x1a, 0,   0,   0xc6, 'I', 'N',
                                'F', 'O', 'I', 0,   0,    'W', 'A', 'V',  'E', 'f'};
        torn.insert(torn.end(), std::begin(tail), std::end(tail));
        wm::WriteFile(WmDir() + "/g726_torn_list.wav", torn);
        TWaveIn in;
        in.SetFileName(WmDir() + "/g726_torn_list.wav");
        ASSERT_TRUE(in.IsValid());
        EXPECT_TRUE(DecodeAll(in, 3000) == Decoded(path, 16));
        rusage use{};
        getrusage(RUSAGE_SELF, &use);
        EXPECT_LT(use.ru_maxrss, 512 * 1024) << "peak KiB";
    }
    TWaveIn in;
    in.SetFileName(WmDir() + "/gsm.wav");
    FailLibraryLoadForTesting("libavcodec.so.59", true);
    std::string message;
    try {
        in.BeginRead();
    } catch (const EAuException& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "libavcodec.so.59 library could not be loaded.");
    in.Reset();
    FailLibraryLoadForTesting("libavcodec.so.59", false);
    EXPECT_TRUE(in.IsValid());
}

}  // namespace
}  // namespace quillet::test::ff
