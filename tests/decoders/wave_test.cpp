// TWaveIn: the header walk, every kind against a reference decoder, the
// failure cases of hostile headers, and seeking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "ACS_Procs.h"
#include "lib_loader.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

// A source over bytes in memory (the stream stays ours).
struct MemWave {
    explicit MemWave(Bytes b) : Stream(std::move(b)) { In.SetStream(&Stream); }
    ~MemWave() { In.SetStream(nullptr); }
    TMemoryStream Stream;
    TWaveIn In;
};

TEST(WaveHeader, ChunkIdsIgnoreCaseOnly) {
    const auto id = [](const char* s) { return reinterpret_cast<const uint8_t*>(s); };
    EXPECT_TRUE(SameChunkId(id("riff"), "RIFF"));
    EXPECT_TRUE(SameChunkId(id("FmT\0"), "fmt "));  // a space also matches 0x00
    EXPECT_TRUE(SameChunkId(id("fmt@"), "fmt "));
    EXPECT_FALSE(SameChunkId(id("RIFG"), "RIFF"));
    EXPECT_FALSE(SameChunkId(id("dat!"), "data"));

    const Bytes payload = NoiseBytes(400);
    Bytes wav = PcmWav(2, 44100, 16, payload);
    std::memcpy(&wav[0], "riff", 4);
    std::memcpy(&wav[8], "Wave", 4);
    std::memcpy(&wav[12], "FMT ", 4);
    std::memcpy(&wav[36], "DaTa", 4);
    MemWave w(wav);
    EXPECT_EQ(w.In.Kind(), TWaveFormatKind::wkPcm);
    EXPECT_EQ(DecodeAll(w.In), payload);

    std::memcpy(&wav[36], "dbta", 4);  // 'b' - 'a' is 1, not 32
    MemWave bad(wav);
    EXPECT_FALSE(bad.In.IsValid());
    EXPECT_TRUE(DecodeAll(bad.In).empty());
}

TEST(WaveHeader, JunkAndForeignChunksAreSkipped) {
    const Bytes payload = NoiseBytes(1000);
    const Bytes list = Chunk("LIST", Bytes(37, 'x'));
    const Bytes body = Riff({list, Chunk("fmt ", FormatBody(1, 2, 44100, 16, 4, {}, true)),
                             Chunk("LIST", Bytes(10, 'y')), Chunk("data", payload)});
    Bytes wav(100 + body.size(), 0xEE);  // junk before "RIFF"
    std::copy(body.begin(), body.end(), wav.begin() + 100);
    MemWave w(wav);
    EXPECT_EQ(w.In.Kind(), TWaveFormatKind::wkPcm);
    EXPECT_EQ(DecodeAll(w.In), payload);
    EXPECT_EQ(w.In.HeaderSize(), 100 + 12 + list.size() + 24 + 18 + 8);

    // The same junk past the walk's 8192-byte limit hides the file.
    Bytes far(8200 + body.size(), 0xEE);
    std::copy(body.begin(), body.end(), far.begin() + 8200);
    MemWave tooFar(far);
    EXPECT_FALSE(tooFar.In.IsValid());
    EXPECT_EQ(tooFar.In.Kind(), TWaveFormatKind::wkUnknown);
}

TEST(WaveHeader, HostileFormatsAreInvalidNotFatal) {
    const Bytes data = Chunk("data", NoiseBytes(64));
    struct Case {
        const char* what;
        Bytes fmt;
    } cases[] = {
        {"zero channels", FormatBody(1, 0, 44100, 16, 4)},
        {"zero rate", FormatBody(1, 2, 0, 16, 4)},
        {"zero bits", FormatBody(1, 2, 44100, 0, 4)},
        {"zero align", FormatBody(1, 2, 44100, 16, 0)},
        {"odd pcm bits", FormatBody(1, 1, 44100, 12, 2)},
        {"16-bit float", FormatBody(3, 1, 44100, 16, 2)},
        {"unknown tag", FormatBody(0x99, 1, 44100, 16, 2)},
        {"unknown sub-format", FormatBody(0xFFFE, 1, 44100, 16, 2, Bytes(22, 7))},
        {"short body", Bytes{1, 0, 2}},
        {"ima zero samples per block", FormatBody(0x11, 1, 44100, 4, 256, {0, 0})},
        {"ima 3 bits", FormatBody(0x11, 1, 44100, 3, 256, {0xF9, 1})},
        {"ima block smaller than headers", FormatBody(0x11, 2, 44100, 4, 6, {0xF9, 1})},
        {"ms three channels", FormatBody(2, 3, 44100, 4, 512, {0xF4, 1, 0, 0})},
    };
    for (const auto& c : cases) {
        Bytes fact;
        Append32(fact, 1000);
        MemWave w(Riff({Chunk("fmt ", c.fmt), Chunk("fact", fact), data}));
        EXPECT_FALSE(w.In.IsValid()) << c.what;
        EXPECT_FALSE(w.In.IsValid()) << c.what << " (asked again)";
        EXPECT_TRUE(DecodeAll(w.In).empty()) << c.what;
    }
    // A "fmt " body over 4096 bytes, and a chunk size far past the end.
    MemWave big(Riff({Chunk("fmt ", FormatBody(1, 2, 44100, 16, 4, Bytes(5000, 0))), data}));
    EXPECT_FALSE(big.In.IsValid());
    Bytes huge = Riff({Chunk("LIST", {}), Chunk("fmt ", FormatBody(1, 2, 44100, 16, 4)), data});
    std::memcpy(&huge[16], "\xff\xff\xff\xff", 4);
    MemWave h(huge);
    EXPECT_FALSE(h.In.IsValid());
}

TEST(WaveHeader, CompressedKindsNeedFactBeforeData) {
    const Bytes fmt = FormatBody(0x11, 1, 8000, 4, 256, {0xF9, 1});
    Bytes fact;
    Append32(fact, 505);
    const Bytes data = Chunk("data", Bytes(256, 0x11));
    EXPECT_FALSE(MemWave(Riff({Chunk("fmt ", fmt), data})).In.IsValid());
    EXPECT_FALSE(MemWave(Riff({Chunk("fmt ", fmt), data, Chunk("fact", fact)})).In.IsValid());
    MemWave ok(Riff({Chunk("fmt ", fmt), Chunk("LIST", Bytes(4, 'z')), Chunk("fact", fact), data}));
    EXPECT_TRUE(ok.In.IsValid());
    EXPECT_EQ(ok.In.GetSampleCount(), 505);
    EXPECT_EQ(DecodeAll(ok.In).size(), 505u * 2);
}

TEST(WavePcm, EveryWidthMatchesFfmpeg) {
    const std::string dir = TmpRoot();
    struct W {
        uint16_t bits;
        const char* ffFormat;
    } widths[] = {{8, "u8"}, {16, "s16le"}, {24, "s24le"}, {32, "s32le"}};
    std::vector<std::string> files, formats;
    std::vector<Bytes> payloads;
    for (const auto& w : widths)
        for (bool ext : {false, true}) {
            payloads.push_back(NoiseBytes(3 * 4 * 999, w.bits));
            files.push_back(dir + "/pcm" + std::to_string(w.bits) + (ext ? "x" : "") + ".wav");
            formats.push_back(w.ffFormat);
            WriteFile(files.back(), ext ? ExtensibleWav(3, 22050, w.bits, false, payloads.back())
                                        : PcmWav(3, 22050, w.bits, payloads.back()));
        }
    ASSERT_TRUE(FfmpegToRaw(files, "", formats));
    for (size_t i = 0; i < files.size(); ++i) {
        const Bytes ours = DecodeFile(files[i]);
        EXPECT_EQ(ours, ReadFile(files[i] + ".raw")) << files[i];
        EXPECT_EQ(ours, payloads[i]) << files[i];
    }
}

TEST(WavePcm, TruncatedDataCountsWhatIsThere) {
    Bytes wav = PcmWav(2, 44100, 16, NoiseBytes(4000));
    PutLE32(&wav[40], 0xFFFFFFF0);  // a writer that never patched the size
    MemWave w(wav);
    EXPECT_EQ(w.In.GetSampleCount(), 1000);
    EXPECT_EQ(DecodeAll(w.In).size(), 4000u);
}

TEST(WaveFloat, ConversionRuleAndClipping) {
    EXPECT_EQ(FloatToInt32(1.5), 2147483647);
    EXPECT_EQ(FloatToInt32(1.0), 2147483647);
    EXPECT_EQ(FloatToInt32(-1.0), -2147483647 - 1);
    EXPECT_EQ(FloatToInt32(-7.0), -2147483647 - 1);
    EXPECT_EQ(FloatToInt32(0.5), 1073741823);
    EXPECT_EQ(FloatToInt32(-0.5), -1073741824);
    EXPECT_EQ(FloatToInt32(0.0), 0);
    EXPECT_EQ(FloatToInt32(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(FloatToInt32(std::numeric_limits<double>::infinity()), 2147483647);
    EXPECT_EQ(FloatToInt32(-std::numeric_limits<double>::infinity()), -2147483647 - 1);
    // Products a double rounds onto a whole number: the floor must still see
    // the exact value (84 bits at most; long double holds a float's 55).
    for (float f : {-0.99999988f, -0.99999994f, 0.99999994f, -1e-30f, 3e-10f})
        EXPECT_EQ(FloatToInt32(f),
                  static_cast<int32_t>(std::floor(static_cast<long double>(f) * 2147483647.0L)))
            << f;

    // The integer path for 32-bit floats agrees with the double one for
    // every exponent, both signs and mantissas at both ends and between.
    for (uint32_t bits = 0; bits < 512; ++bits)
        for (uint32_t fraction : {0u, 1u, 0x2AAAAAu, 0x400000u, 0x555555u, 0x7FFFFEu, 0x7FFFFFu}) {
            const uint32_t pattern = (bits & 0x100) << 23 | (bits & 0xFF) << 23 | fraction;
            float f;
            std::memcpy(&f, &pattern, 4);
            ASSERT_EQ(SingleToInt32(pattern), FloatToInt32(f)) << std::hex << pattern;
        }

    double d[3] = {0.5, -1.0, 2.0};
    DoublesToInt32(d, sizeof d);
    int32_t packed[3];
    std::memcpy(packed, d, sizeof packed);
    EXPECT_EQ(packed[0], 1073741823);
    EXPECT_EQ(packed[1], -2147483647 - 1);
    EXPECT_EQ(packed[2], 2147483647);
}

TEST(WaveFloat, SingleDoubleAndExtensibleDecodeByTheRule) {
    std::vector<double> values = {1.5, -1.0, 0.5, 0.0, -0.25, std::nan(""), 1e-9, -0.999};
    for (int i = 0; i < 5000; ++i) values.push_back(std::sin(i * 0.01) * 0.9);
    Bytes singles, doubles, expect;
    for (double v : values) {
        const float f = static_cast<float>(v);
        Append(singles, &f, 4);
        Append(doubles, &v, 8);
    }
    for (bool isDouble : {false, true})
        for (bool ext : {false, true}) {
            const Bytes& payload = isDouble ? doubles : singles;
            const uint16_t bits = isDouble ? 64 : 32;
            MemWave w(ext ? ExtensibleWav(2, 48000, bits, true, payload)
                          : PcmWav(2, 48000, bits, payload, 3));
            EXPECT_EQ(w.In.GetBitsPerSample(), 32u);
            const auto out = DecodeAll(w.In);
            ASSERT_EQ(out.size(), values.size() * 4);
            for (size_t i = 0; i < values.size(); ++i) {
                const double v =
                    isDouble ? values[i] : static_cast<double>(static_cast<float>(values[i]));
                int32_t got;
                std::memcpy(&got, &out[4 * i], 4);
                const int32_t want =
                    std::isnan(v) ? 0
                    : v >= 1.0    ? 2147483647
                    : v <= -1.0   ? -2147483647 - 1
                                  : static_cast<int32_t>(
                                      std::floor(static_cast<long double>(v) * 2147483647.0L));
                ASSERT_EQ(got, want) << "sample " << i << (isDouble ? " double" : " single");
            }
        }
    // 800 000 bytes of doubles report 400 000 bytes of 32-bit PCM.
    MemWave big(PcmWav(1, 8000, 64, Bytes(800000, 0), 3));
    EXPECT_EQ(big.In.GetSampleCount(), 100000);
    big.In.BeginRead();
    EXPECT_EQ(big.In.DataSize(), 400000);
    big.In.EndRead();
}

// The data chunk's extent: pads after odd chunks, sizes a writer never
// patched, trailing chunks, and the 64-bit sizes of RF64/BW64.
TEST(WaveHeader, DataExtentPadsAndSixtyFourBitSizes) {
    const Bytes payload = NoiseBytes(4000);
    const Bytes fmt = Chunk("fmt ", FormatBody(1, 2, 44100, 16, 4, {}, true));
    const auto data = [&](uint32_t size) {
        Bytes b;
        AppendId(b, "data");
        Append32(b, size);
        Append(b, payload.data(), payload.size());
        return b;
    };
    const auto ds64 = [](uint64_t dataSize) {
        Bytes b(28, 0);
        std::memcpy(&b[8], &dataSize, 8);
        return Chunk("ds64", b);
    };
    Bytes oddList = Chunk("LIST", Bytes(37, 'x'));
    Bytes padded = oddList;
    padded.push_back(0);
    const Bytes tail = Chunk("LIST", Bytes(20, 'z'));
    Bytes trailing = data(4000);
    Append(trailing, tail.data(), tail.size());
    struct Case {
        const char* what;
        Bytes wav;
        bool estimate;
    } cases[] = {
        {"odd chunk with its pad", Riff({fmt, padded, data(4000)}), false},
        {"odd chunk without a pad", Riff({fmt, oddList, data(4000)}), false},
        {"size 0", Riff({fmt, data(0)}), true},
        {"size past the file", Riff({fmt, data(9000)}), true},
        {"a chunk after the data", Riff({fmt, trailing}), false},
        {"RF64", Riff({ds64(4000), fmt, data(0xFFFFFFFF)}, "RF64"), false},
        {"BW64", Riff({ds64(4000), fmt, data(0xFFFFFFFF)}, "BW64"), false},
        {"RF64 past the file", Riff({ds64(uint64_t{1} << 40), fmt, data(0xFFFFFFFF)}, "RF64"),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemWave w(c.wav);
        ASSERT_TRUE(w.In.IsValid());
        EXPECT_EQ(w.In.GetSampleCount(), 1000);
        EXPECT_EQ(w.In.SizeIsEstimate(), c.estimate);
        EXPECT_EQ(DecodeAll(w.In), payload);
        w.In.SetStartSample(900);  // and after a seek, still only the data
        EXPECT_EQ(DecodeAll(w.In), Bytes(payload.begin() + 3600, payload.end()));
    }
}

// Every A-law and mu-law code, as sox and FFmpeg expand them.
TEST(WaveG711, EveryCodeMatchesSoxAndFfmpeg) {
    Bytes codes(256);
    for (int i = 0; i < 256; ++i) codes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    for (uint16_t tag : {6, 7}) {
        SCOPED_TRACE(tag);
        const std::string path = TmpRoot() + "/g711_" + std::to_string(tag) + ".wav";
        WriteFile(path, PcmWav(1, 8000, 8, codes, tag));
        MemWave w(ReadFile(path));
        EXPECT_EQ(w.In.GetBitsPerSample(), 16u);
        const Bytes ours = DecodeAll(w.In);
        ASSERT_TRUE(FfmpegToRaw({path}, "s16le"));
        EXPECT_EQ(ours, ReadFile(path + ".raw"));
        ASSERT_TRUE(Shell("sox " + path + " -t s16 -e signed -L " + path + ".sox"));
        EXPECT_EQ(ours, ReadFile(path + ".sox"));
    }
}

// IMA ADPCM against sox's decoder (FFmpeg's IMA rounds each step differently).
TEST(WaveIma, MatchesSoxForSeveralLayouts) {
    const std::string dir = TmpRoot();
    struct L {
        int ch, rate;
        const char* extra;
    } layouts[] = {{1, 44100, ""}, {2, 44100, ""}, {1, 8000, ""}, {4, 8000, ""}, {2, 22050, ""}};
    for (const auto& l : layouts) {
        const std::string base = dir + "/ima" + std::to_string(l.ch) + "_" + std::to_string(l.rate);
        ASSERT_TRUE(Shell("sox -n -r " + std::to_string(l.rate) + " -c " + std::to_string(l.ch) +
                          " -b 16 " + base +
                          "_src.wav synth 0.7 sine 300 sine 2000 vol 0.9 && sox " + base +
                          "_src.wav -e ima-adpcm " + base + ".wav && sox " + base +
                          ".wav -t raw -e signed -b 16 " + base + ".raw"));
        const auto ours = AsInt16(DecodeFile(base + ".wav"));
        const auto ref = AsInt16(ReadFile(base + ".raw"));
        ASSERT_FALSE(ours.empty());
        ASSERT_LE(ours.size(), ref.size());
        EXPECT_GE(ours.size() + 4096, ref.size());  // only the last block's padding differs
        size_t diffs = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            if (ours[i] != ref[i] && !(ours[i] == -32767 && ref[i] == -32768)) ++diffs;
        EXPECT_EQ(diffs, 0u) << base;
    }
}

// One IMA block built by hand: the output size per block, the -32767 floor
// and a step index beyond the table.
TEST(WaveIma, BlockSizesClampAndDamagedHeaders) {
    Bytes block;
    Append16(block, static_cast<uint16_t>(-32700));
    block.push_back(200);  // step index past 88: clamped
    block.push_back(0);
    block.resize(256, 0xFF);  // every nibble: the largest negative step
    Bytes fact;
    Append32(fact, 505);
    MemWave w(Riff({Chunk("fmt ", FormatBody(0x11, 1, 8000, 4, 256, {0xF9, 1})),
                    Chunk("fact", fact), Chunk("data", block)}));
    const auto out = AsInt16(DecodeAll(w.In));
    ASSERT_EQ(out.size(), 505u);
    EXPECT_EQ(out[0], -32700);
    EXPECT_EQ(*std::min_element(out.begin(), out.end()), -32767);
    EXPECT_EQ(out[504], -32767);

    // Stereo, block align 512: 505 frames per block.
    Bytes stereo(1024, 0x37);
    Bytes fact2;
    Append32(fact2, 1010);
    MemWave s(Riff({Chunk("fmt ", FormatBody(0x11, 2, 8000, 4, 512, {0xF9, 1})),
                    Chunk("fact", fact2), Chunk("data", stereo)}));
    // Both blocks come in one read (a batch of blocks): 1010 frames.
    s.In.BeginRead();
    uint8_t* p;
    uint32_t n = 1u << 20;
    s.In.GetBlock(p, n);
    EXPECT_EQ(n, 2 * 505u * 4);
    s.In.EndRead();
}

// Counts what the decoder asks of its stream.
class CountingStream : public TMemoryStream {
  public:
    using TMemoryStream::TMemoryStream;
    int64_t Read(void* buffer, int64_t count) override {
        ++Calls;
        return TMemoryStream::Read(buffer, count);
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        ++Calls;
        return TMemoryStream::Seek(offset, origin);
    }
    int64_t Size() override {
        ++Calls;
        return TMemoryStream::Size();
    }
    int64_t Calls = 0;
};

// ADPCM blocks are read many at a time: the stream is asked a few times per
// batch, not three times (size, position, read) per block as it was. The
// sound is the same, whatever the batches.
TEST(WaveAdpcm, BlocksAreReadInBatches) {
    const std::string dir = TmpRoot();
    for (const bool ima : {true, false}) {
        SCOPED_TRACE(ima ? "IMA" : "MS");
        const std::string path = dir + (ima ? "/batch_ima.wav" : "/batch_ms.wav");
        ASSERT_TRUE(Shell(std::string("sox -n -e ") + (ima ? "ima-adpcm" : "ms-adpcm") +
                          " -r 22050 -c 2 " + path + " synth 10 sine 300 whitenoise vol 0.5"));
        const Bytes file = ReadFile(path);
        ASSERT_GT(file.size(), 44u);
        const uint32_t align = file[32] | file[33] << 8;  // the "fmt " chunk's block align
        ASSERT_GT(align, 0u);
        const int64_t blocks = static_cast<int64_t>(file.size() / align);
        CountingStream stream(file);
        TWaveIn in;
        in.SetStream(&stream);
        in.BeginRead();
        const int64_t before = stream.Calls;
        Bytes got;
        for (;;) {
            uint8_t* p = nullptr;
            uint32_t n = 4096;
            in.GetBlock(p, n);
            if (n == 0) break;
            got.insert(got.end(), p, p + n);
        }
        const int64_t calls = stream.Calls - before;
        in.EndRead();
        in.SetStream(nullptr);
        EXPECT_GT(blocks, 100);
        EXPECT_LT(calls, blocks / 4) << blocks << " blocks of " << align << " bytes";
        // The references of the other tests: sox for IMA, FFmpeg for MS.
        if (ima) {
            ASSERT_TRUE(Shell("sox " + path + " -t s16 -e signed -L " + path + ".raw"));
        } else {
            ASSERT_TRUE(FfmpegToRaw({path}, "s16le"));
        }
        // Up to the "fact" count (ten seconds); the references decode the
        // last block whole.
        const Bytes ref = ReadFile(path + ".raw");
        EXPECT_EQ(got.size(), 22050u * 10 * 4);
        ASSERT_GE(ref.size(), got.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.begin()));
    }
}

TEST(WaveMs, MatchesFfmpegForSeveralBlockSizes) {
    const std::string dir = TmpRoot();
    std::string encode =
        "sox -n -r 44100 -c 2 -b 16 " + dir +
        "/ms_src.wav synth 0.6 sine 300 sine 2000 vol 0.9 && ffmpeg -v error -y -i " + dir +
        "/ms_src.wav";
    std::vector<std::string> files;
    for (const auto& [ch, block] : {std::pair{1, 256}, {1, 1024}, {2, 512}, {2, 2048}}) {
        files.push_back(dir + "/ms" + std::to_string(ch) + "_" + std::to_string(block) + ".wav");
        encode += " -ac " + std::to_string(ch) + " -c:a adpcm_ms -block_size " +
                  std::to_string(block) + " " + files.back();
    }
    ASSERT_TRUE(Shell(encode));
    ASSERT_TRUE(FfmpegToRaw(files, "s16le"));
    for (const auto& path : files) {
        const Bytes ours = DecodeFile(path);
        const Bytes ref = ReadFile(path + ".raw");
        ASSERT_FALSE(ours.empty());
        ASSERT_LE(ours.size(), ref.size()) << path;
        EXPECT_TRUE(std::equal(ours.begin(), ours.end(), ref.begin())) << path;
    }
}

Bytes MsFormat(uint16_t ch, uint16_t align, uint16_t spb, uint16_t coefs) {
    Bytes extra;
    Append16(extra, spb);
    Append16(extra, coefs);
    const int16_t table[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                 {240, 0}, {460, -208}, {392, -232}};
    for (int i = 0; i < coefs; ++i) {
        Append16(extra, static_cast<uint16_t>(table[i % 7][0]));
        Append16(extra, static_cast<uint16_t>(table[i % 7][1]));
    }
    return FormatBody(2, ch, 44100, 4, align, extra);
}

TEST(WaveMs, StereoBlockSizeAndDamagedBlocks) {
    Bytes fact;
    Append32(fact, 100000);
    Bytes block(512, 0x5A);
    block[0] = block[1] = 1;  // predictor indexes
    MemWave s(
        Riff({Chunk("fmt ", MsFormat(2, 512, 500, 7)), Chunk("fact", fact), Chunk("data", block)}));
    s.In.BeginRead();
    uint8_t* p;
    uint32_t n = 1u << 20;
    s.In.GetBlock(p, n);
    EXPECT_EQ(n, 2000u);
    s.In.EndRead();

    // A predictor index without coefficients skips that block only.
    Bytes bad = block;
    bad[0] = 7;
    Bytes two = bad;
    two.insert(two.end(), block.begin(), block.end());
    MemWave skip(
        Riff({Chunk("fmt ", MsFormat(2, 512, 500, 7)), Chunk("fact", fact), Chunk("data", two)}));
    EXPECT_EQ(DecodeAll(skip.In).size(), 2000u);

    // Samples per block beyond what the block holds: only what it holds.
    Bytes small(64, 0x12);
    small[0] = 0;
    MemWave big(Riff(
        {Chunk("fmt ", MsFormat(1, 64, 60000, 7)), Chunk("fact", fact), Chunk("data", small)}));
    EXPECT_EQ(DecodeAll(big.In).size(), (2u + 2 * (64 - 7)) * 2);
}

TEST(WaveMpeg, ConvertedPayloadMatchesFfmpegAndLoadFailureIsReported) {
    const std::string dir = TmpRoot();
    const std::string base = dir + "/mp3";
    ASSERT_TRUE(Shell("sox -n -r 44100 -c 2 -b 16 " + base +
                      "_src.wav synth 1 sine 440 sine 660 vol 0.5"
                      " && ffmpeg -v error -y -i " +
                      base + "_src.wav -c:a libmp3lame -b:a 128k " + base +
                      ".wav && ffmpeg -v error -y -i " + base + ".wav -f s16le " + base + ".raw"));
    {
        TWaveIn in;
        in.SetFileName(base + ".wav");
        EXPECT_EQ(in.Kind(), TWaveFormatKind::wkMpegLayer3);
        EXPECT_EQ(in.GetBitsPerSample(), 16u);
        EXPECT_EQ(in.HeaderSize(), 44);
        const auto ours = AsInt16(DecodeAll(in));
        const auto ref = AsInt16(ReadFile(base + ".raw"));
        ASSERT_EQ(ours.size(), ref.size());
        int worst = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            worst = std::max(worst, std::abs(ours[i] - ref[i]));
        EXPECT_LE(worst, 1);
    }
    FailLibraryLoadForTesting("libavcodec.so.59", true);
    TWaveIn in;
    in.SetFileName(base + ".wav");
    try {
        in.BeginRead();
        ADD_FAILURE() << "no error";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libavcodec.so.59 library could not be loaded.");
    }
    in.EndRead();
    FailLibraryLoadForTesting("libavcodec.so.59", false);
    EXPECT_TRUE(in.IsValid());  // the next open tries again
}

TEST(WaveSeek, PositionsForEveryKind) {
    // 16-bit stereo, 44-byte header: sample 1000 is at 44 + 4000.
    const Bytes payload = NoiseBytes(40000);
    MemWave w(PcmWav(2, 44100, 16, payload, 1));
    w.In.BeginRead();
    EXPECT_TRUE(w.In.GoToSample(1000));
    EXPECT_EQ(w.Stream.Position(), 44 + 4000);
    uint8_t* p;
    uint32_t n = 8;
    w.In.GetBlock(p, n);
    EXPECT_TRUE(std::equal(p, p + n, payload.begin() + 4000));
    w.In.EndRead();

    // Float and extensible: the same arithmetic over their stored frames.
    std::vector<float> f(2000);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<float>(i) / 4096.0f;
    Bytes fp(f.size() * 4);
    std::memcpy(fp.data(), f.data(), fp.size());
    MemWave fw(ExtensibleWav(2, 44100, 32, true, fp));
    fw.In.BeginRead();
    EXPECT_TRUE(fw.In.GoToSample(300));
    n = 4;
    fw.In.GetBlock(p, n);
    int32_t v;
    std::memcpy(&v, p, 4);
    EXPECT_EQ(v, FloatToInt32(600.0f / 4096.0f));
    fw.In.EndRead();

    // ADPCM: the start of the block holding the sample.
    Bytes fact;
    Append32(fact, 505 * 4);
    MemWave ima(Riff({Chunk("fmt ", FormatBody(0x11, 1, 8000, 4, 256, {0xF9, 1})),
                      Chunk("fact", fact), Chunk("data", NoiseBytes(1024))}));
    ima.In.BeginRead();
    EXPECT_TRUE(ima.In.GoToSample(1200));
    EXPECT_EQ(ima.Stream.Position(), ima.In.HeaderSize() + 2 * 256);
    ima.In.EndRead();

    // A start sample set while idle applies to the run.
    MemWave r(PcmWav(1, 8000, 8, payload, 1));
    r.In.SetStartSample(100);
    r.In.SetEndSample(199);
    const Bytes range = DecodeAll(r.In);
    EXPECT_EQ(range, Bytes(payload.begin() + 100, payload.begin() + 200));
}

}  // namespace
}  // namespace quillet
