// TMPCIn against mpcdec: 16-bit output within one step of the reference tool,
// the float conversion table at every width, carry-over between reads,
// ranges and seeks, the APEv2 tag, and the wrapper's and the input's errors.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "ACS_MPC.h"
#include "decoders/mpc_fixture.h"
#include "lib_loader.h"

namespace quillet::test {
namespace {

using namespace mpc_fixture;

ByteVec DecodeFile(TMPCIn& in, uint32_t chunk) {
    in.BeginRead();
    ByteVec out = DrainRun(in, chunk);
    in.EndRead();
    return out;
}

// Largest difference between two 16-bit little-endian sample streams.
int MaxDiff16(const ByteVec& a, const ByteVec& b) {
    int worst = 0;
    for (size_t i = 0; i + 1 < std::min(a.size(), b.size()); i += 2) {
        const int x = static_cast<int16_t>(a[i] | (a[i + 1] << 8));
        const int y = static_cast<int16_t>(b[i] | (b[i + 1] << 8));
        worst = std::max(worst, std::abs(x - y));
    }
    return worst;
}

int64_t Le(const ByteVec& v, size_t at, int width) {
    uint64_t u = 0;
    for (int b = 0; b < width; ++b) u |= static_cast<uint64_t>(v[at + b]) << (8 * b);
    const int shift = 64 - 8 * width;
    return static_cast<int64_t>(u << shift) >> shift;  // sign-extended
}

TEST(MPCConvert, TableAtEveryWidth) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float in[] = {1.0f, -1.0f, 0.0f, 2.5f, -7.0f, 0.5f, -0.5f, 1e-9f, -1e-9f, nan};
    struct Row {
        uint32_t bits;
        int64_t expect[10];
    };
    const Row rows[] = {
        {8, {255, 0, 128, 255, 0, 192, 64, 128, 127, 0}},
        {16, {32767, -32768, 0, 32767, -32768, 16383, -16384, 0, -1, -32768}},
        {24, {0x7FFFFF, -0x800000, 0, 0x7FFFFF, -0x800000, 0x3FFFFF, -0x400000, 0, -1, -0x800000}},
        {32,
         {2147483647, -2147483648LL, 0, 2147483647, -2147483648LL, 1073741823, -1073741824, 2, -3,
          -2147483648LL}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.bits);
        const int width = static_cast<int>(r.bits / 8);
        ByteVec out(std::size(in) * width + 1, 0xEE);
        ConvertMPCSamples(in, std::size(in), r.bits, out.data());
        EXPECT_EQ(out.back(), 0xEE) << "wrote past its samples";
        for (size_t i = 0; i < std::size(in); ++i) {
            const int64_t got = r.bits == 8 ? out[i] : Le(out, i * width, width);
            EXPECT_EQ(got, r.expect[i]) << "sample " << i;
        }
    }
    // Long runs (the vectorised path) follow the same rule as the reference
    // below, specials included, at every position.
    std::vector<float> many;
    uint32_t seed = 12345;
    for (int i = 0; i < 1001; ++i) {
        seed = seed * 1664525u + 1013904223u;
        many.push_back(static_cast<float>(static_cast<int32_t>(seed)) / 1.5e9f);
    }
    for (size_t i = 0; i < many.size(); i += 37) many[i] = in[(i / 37) % std::size(in)];
    for (uint32_t bits : {8u, 16u}) {
        ByteVec out(many.size() * bits / 8);
        ConvertMPCSamples(many.data(), many.size(), bits, out.data());
        for (size_t i = 0; i < many.size(); ++i) {
            const float x = many[i];
            const double scale = bits == 8 ? 128.0 : 32767.0;
            int64_t want = x >= 1.0f   ? static_cast<int64_t>(scale) - (bits == 16 ? 0 : 1)
                           : x > -1.0f ? static_cast<int64_t>(std::floor(x * scale))
                                       : -static_cast<int64_t>(bits == 8 ? 128 : 32768);
            if (bits == 8) want += 128;
            const int64_t got = bits == 8 ? out[i] : Le(out, i * 2, 2);
            ASSERT_EQ(got, want) << bits << " bits, sample " << i << " = " << x;
        }
    }

    // Just below 1.0 the product needs 55 bits; the floor must still be exact.
    const float nearOne = std::nextafter(1.0f, 0.0f);
    ByteVec out(4);
    ConvertMPCSamples(&nearOne, 1, 32, out.data());
    const __int128 exact = (static_cast<__int128>((1 << 24) - 1) * 2147483647) >> 24;
    EXPECT_EQ(Le(out, 0, 4), static_cast<int64_t>(exact));
}

TEST(MPCDecode, WithinOneStepOfMpcdec) {
    const MpcFixture* fixtures[] = {&Stereo(), &Fixture("mono", 1, 48000, 1.0)};
    for (const MpcFixture* f : fixtures) {
        SCOPED_TRACE(f->path);
        ASSERT_FALSE(f->reference.empty());
        TMPCIn in;
        in.SetFileName(f->path);
        EXPECT_TRUE(in.IsValid());
        EXPECT_EQ(in.GetChannels(), f->channels);
        EXPECT_EQ(in.GetSampleRate(), f->rate);
        EXPECT_EQ(in.GetBitsPerSample(), 16u);
        EXPECT_EQ(in.GetSampleCount(),
                  static_cast<int64_t>(f->reference.size() / (2 * f->channels)));
        const ByteVec out = DecodeFile(in, 1u << 20);
        EXPECT_EQ(out.size(), f->reference.size());
        EXPECT_LE(MaxDiff16(out, f->reference), 1);
        // Reads smaller than a frame, and odd sizes, give the same bytes: the
        // rest of each frame is carried over.
        for (uint32_t chunk : {7u, 1000u, 4609u})
            EXPECT_TRUE(DecodeFile(in, chunk) == out) << chunk;
    }
}

TEST(MPCDecode, WidthsRangesAndSeeks) {
    const MpcFixture& f = Stereo();
    TMPCIn in;
    in.SetFileName(f.path);
    const ByteVec full16 = DecodeFile(in, 1u << 20);
    const int64_t frames = static_cast<int64_t>(full16.size() / 4);

    // The width rounds up to whole bytes and is fixed while a file is open.
    for (auto [asked, got] : {std::pair{12u, 16u}, {0u, 8u}, {40u, 32u}, {17u, 24u}, {8u, 8u}}) {
        in.SetOutBitsPerSample(asked);
        EXPECT_EQ(in.OutBitsPerSample(), got) << asked;
    }
    for (uint32_t bits : {8u, 24u, 32u}) {
        SCOPED_TRACE(bits);
        in.SetOutBitsPerSample(bits);
        in.BeginRead();
        in.SetOutBitsPerSample(16);
        EXPECT_EQ(in.OutBitsPerSample(), bits);
        const ByteVec out = DrainRun(in, 5000);
        in.EndRead();
        const size_t width = bits / 8;
        ASSERT_EQ(out.size(), static_cast<size_t>(frames) * 2 * width);
        // Every width is the same signal: compare with 16 bits at a coarse step.
        for (int64_t s = 0; s < frames * 2; s += 97) {
            const int64_t wide =
                bits == 8 ? (out[s] - 128) * 256
                          : Le(out, s * width, static_cast<int>(width)) >> (8 * width - 16);
            EXPECT_NEAR(static_cast<double>(wide), static_cast<double>(Le(full16, s * 2, 2)),
                        258.0);
        }
    }
    in.SetOutBitsPerSample(16);

    // A range cut inside a frame; a start that needs a seek.
    in.SetStartSample(5000);
    in.SetEndSample(40000);
    const ByteVec range = DecodeFile(in, 3333);
    EXPECT_TRUE(range == Slice(full16, 5000 * 4, (40000 - 5000 + 1) * 4));

    // Seeks during a run drop what was carried over.
    in.BeginRead();
    DrainRun(in, 1001, 30000);
    for (int64_t target : {70000, 1234, 0}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(in.GoToSample(target));
        const ByteVec out = DrainRun(in, 999, 8000);
        EXPECT_TRUE(Slice(out, 0, 8000) == Slice(full16, target * 4, 8000));
    }
    in.EndRead();
}

TEST(MPCTags, ApeTagIsReadAndDecodingStartsAtTheStart) {
    const MpcFixture& plain = Stereo();
    const MpcFixture& tagged =
        Fixture("tagged", 2, 44100, 2.0, "--artist 'An Artist' --title 'Ünïcode' --tag Year=1999");
    TMPCIn in;
    in.SetFileName(tagged.path);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.APEv2Tags().Artist(), u"An Artist");
    EXPECT_EQ(in.APEv2Tags().Title(), u"Ünïcode");
    EXPECT_EQ(in.APEv2Tags().Year(), "1999");
    const ByteVec out = DecodeFile(in, 65536);
    EXPECT_EQ(out.size(), plain.reference.size());
    EXPECT_LE(MaxDiff16(out, tagged.reference), 1);
    // The next file's open clears the set.
    in.SetFileName(plain.path);
    ASSERT_TRUE(in.IsValid());
    EXPECT_TRUE(in.APEv2Tags().Artist().empty());
}

TEST(MPCErrors, LibraryInputAndWrapperMessages) {
    TMPCIn in;
    // No file name at all.
    EXPECT_EQ(MessageOf([&] { in.IsValid(); }), "File name is not assigned");

    // A missing library is named, and tried again at the next open.
    in.SetFileName(Stereo().path);
    FailLibraryLoadForTesting("libmpcdec.so.6", true);
    EXPECT_EQ(MessageOf([&] { in.BeginRead(); }), "libmpcdec.so.6 library could not be loaded.");
    in.Reset();
    FailLibraryLoadForTesting("libmpcdec.so.6", false);
    EXPECT_TRUE(in.IsValid());

    // The wrapper checks the library before every call.
    TMemoryStream stream(ReadAll(Stereo().path));
    TMPCDecoder decoder(&stream);
    std::vector<float> frame(MPCDecodeBufferLength);
    EXPECT_GT(decoder.DecodeFrame(frame.data()), 0);
    FailLibraryLoadForTesting("libmpcdec.so.6", true);
    try {
        decoder.DecodeFrame(frame.data());
        ADD_FAILURE() << "no exception";
    } catch (const EMPCDecException& e) {
        EXPECT_STREQ(e.what(), "MPC decoding library \"libmpcdec.so.6\" not loaded!");
    }
    FailLibraryLoadForTesting("libmpcdec.so.6", false);
    struct TNoLib : TLibrary {
        TNoLib() : TLibrary("libquillet-absent.so") {}
        TLibEntry<void()> mpc_decoder_decode{*this, "mpc_decoder_decode"};
    } absent;
    EXPECT_EQ(MessageOf([&] { CheckMPCFunction(absent.mpc_decoder_decode); }),
              "Function \"mpc_decoder_decode\" not found in MPC decoding library!");

    // Not Musepack: the wrapper's message, through the input as well.
    TMemoryStream noise(ByteVec(4000, 0x33));
    EXPECT_EQ(MessageOf([&] { TMPCDecoder d(&noise); }), "Unable to read stream info!");
    const std::string foreign = Dir() + "/noise.mpc";
    WriteAll(foreign, ByteVec(4000, 0x33));
    in.SetFileName(foreign);
    EXPECT_EQ(MessageOf([&] { in.BeginRead(); }), "Unable to read stream info!");
    in.Reset();
    EXPECT_EQ(MessageOf([&] { in.GetChannels(); }), "Unable to read stream info!");
}

TEST(MPCDamage, TruncatedAndCorruptFilesEndTheData) {
    const MpcFixture& f = Stereo();
    const ByteVec good = ReadAll(f.path);
    TMPCIn in;
    const std::string cut = Dir() + "/cut.mpc";
    for (size_t size :
         {size_t{0}, size_t{3}, size_t{30}, size_t{300}, good.size() / 2, good.size() - 50}) {
        SCOPED_TRACE(size);
        WriteAll(cut, Slice(good, 0, size));
        in.SetFileName(cut);
        if (!MessageOf([&] { in.BeginRead(); }).empty()) {
            in.Reset();
            continue;
        }
        const ByteVec out = DrainRun(in, 4096);
        in.EndRead();
        EXPECT_LE(out.size(), f.reference.size());
    }
    ByteVec bad = good;
    for (size_t i = bad.size() / 3; i < bad.size() / 3 + 900; i += 3) bad[i] ^= 0x6C;
    const std::string damaged = Dir() + "/damaged.mpc";
    WriteAll(damaged, bad);
    in.SetFileName(damaged);
    in.BeginRead();
    const ByteVec out = DrainRun(in, 4096);
    in.EndRead();
    EXPECT_LE(out.size(), f.reference.size());
}

}  // namespace
}  // namespace quillet::test
