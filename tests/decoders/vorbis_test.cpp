// TVorbisIn against oggdec: bit-exact decoding (mono, stereo, five and six
// channels), sample-exact ranges and seeks, the comment rules, the four
// library checks in order, and files that are not, or no longer, Ogg Vorbis.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ACS_Vorbis.h"
#include "decoders/vorbis_fixture.h"
#include "lib_loader.h"
#include "lying_stream.h"

namespace quillet::test {
namespace {

using namespace vorbis_fixture;

ByteVec DecodeFile(TVorbisIn& in, uint32_t chunk) {
    in.BeginRead();
    ByteVec out = DrainRun(in, chunk);
    in.EndRead();
    return out;
}

// The Ogg page checksum (polynomial 0x04C11DB7, no reflection, initial 0).
uint32_t OggCrc(const uint8_t* p, size_t n) {
    uint32_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= static_cast<uint32_t>(p[i]) << 24;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// Overwrites the first occurrence of `from` with `to` (same length) and
// re-seals the page holding it.
bool PatchOggBytes(ByteVec& file, const std::string& from, const std::string& to) {
    const auto hit = std::search(file.begin(), file.end(), from.begin(), from.end());
    if (hit == file.end() || from.size() != to.size()) return false;
    const size_t at = static_cast<size_t>(hit - file.begin());
    std::memcpy(file.data() + at, to.data(), to.size());
    for (size_t page = 0; page + 27 <= file.size();) {
        const size_t segments = file[page + 26];
        size_t size = 27 + segments;
        for (size_t s = 0; s < segments; ++s) size += file[page + 27 + s];
        if (at < page + size) {
            std::memset(file.data() + page + 22, 0, 4);
            const uint32_t crc = OggCrc(file.data() + page, size);
            for (int b = 0; b < 4; ++b) file[page + 22 + b] = static_cast<uint8_t>(crc >> (8 * b));
            return true;
        }
        page += size;
    }
    return false;
}

// A stream that cannot seek or tell, as a pipe would be.
class PipeStream : public TStream {
  public:
    explicit PipeStream(ByteVec data) : FData(std::move(data)) {}
    int64_t Read(void* buffer, int64_t count) override { return FData.Read(buffer, count); }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, TSeekOrigin) override { return -1; }

  private:
    TMemoryStream FData;
};

TEST(VorbisDecode, MatchesOggdecBitForBit) {
    const OggFixture* fixtures[] = {&Stereo(), &Fixture("mono", 1, 22050, 1.5),
                                    &Fixture("five", 5, 48000, 1.0),
                                    &Fixture("six", 6, 32000, 0.7)};
    for (const OggFixture* f : fixtures) {
        SCOPED_TRACE(f->path);
        ASSERT_FALSE(f->reference.empty());
        TVorbisIn in;
        in.SetFileName(f->path);
        EXPECT_TRUE(in.IsValid());
        EXPECT_EQ(in.GetChannels(), f->channels);
        EXPECT_EQ(in.GetSampleRate(), f->rate);
        EXPECT_EQ(in.GetBitsPerSample(), 16u);
        EXPECT_EQ(in.GetSampleCount(),
                  static_cast<int64_t>(f->reference.size() / (2 * f->channels)));
        // Requests smaller than, equal to and larger than the block store.
        for (uint32_t chunk : {333u, 12288u, 1u << 20}) {
            const ByteVec out = DecodeFile(in, chunk);
            EXPECT_EQ(out.size(), f->reference.size()) << chunk;
            EXPECT_TRUE(out == f->reference) << chunk;
        }
    }
}

TEST(VorbisDecode, RangesAndSeeksAreSampleExact) {
    const OggFixture& f = Stereo();
    const size_t fb = 4;
    TVorbisIn in;
    in.SetFileName(f.path);

    // A range whose end falls inside a decoded chunk.
    in.SetStartSample(10007);
    in.SetEndSample(50001);
    in.BeginRead();
    EXPECT_EQ(in.DataSize(), static_cast<int64_t>((50001 - 10007 + 1) * fb));
    ByteVec out = DrainRun(in, 1000);
    in.EndRead();
    EXPECT_TRUE(out == Slice(f.reference, 10007 * fb, (50001 - 10007 + 1) * fb));

    // Seeks forwards, backwards and to the start during a run.
    in.BeginRead();
    DrainRun(in, 4096, 20000);
    for (int64_t target : {60000, 123, 0, 88199}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(in.GoToSample(target));
        EXPECT_EQ(in.Delivered(), target * static_cast<int64_t>(fb));
        out = DrainRun(in, 777, 9000);
        EXPECT_TRUE(Slice(out, 0, 9000) == Slice(f.reference, target * fb, 9000));
    }
    in.EndRead();

    // A stream the library cannot measure has an unknown size and plays to
    // its end.
    TVorbisIn pipe;
    PipeStream stream(ReadAll(f.path));
    pipe.SetStream(&stream);
    pipe.BeginRead();
    EXPECT_EQ(pipe.DataSize(), -1);
    out = DrainRun(pipe, 5000);
    pipe.EndRead();
    EXPECT_TRUE(out == f.reference);
    pipe.SetStream(nullptr);
}

TEST(VorbisTags, LastCommentWinsAndOnlyKeyedCommentsCount) {
    const OggFixture& f = Stereo();
    ByteVec file = ReadAll(f.path);
    // A comment with no "=" at all, after the real ARTIST ones.
    ASSERT_TRUE(PatchOggBytes(file, "NOKEY=dropped", "ARTISTdropped"));
    const std::string patched = Dir() + "/patched.ogg";
    WriteAll(patched, file);

    TVorbisIn in;
    in.SetFileName(patched);
    ASSERT_TRUE(in.IsValid());
    TVorbisTags& t = in.VorbisTags();
    EXPECT_EQ(t.Artist(), u"Second");
    EXPECT_EQ(t.Title(), u"Two=Parts");
    EXPECT_EQ(t.Album(), u"Al");
    EXPECT_EQ(t.Track(), u"7");
    EXPECT_EQ(t.Genre(), u"Ambient");
    EXPECT_EQ(t.Date(), u"2001");
    EXPECT_TRUE(DecodeFile(in, 8192) == f.reference);

    // A file without comments clears them; a failed open keeps them.
    in.SetFileName(Fixture("mono", 1, 22050, 1.5).path);
    ASSERT_TRUE(in.IsValid());
    EXPECT_TRUE(t.Artist().empty());
    EXPECT_TRUE(t.Title().empty());
    in.SetFileName(patched);
    ASSERT_TRUE(in.IsValid());
    const std::string foreign = Dir() + "/foreign.ogg";
    WriteAll(foreign, ByteVec(5000, 0x41));
    in.SetFileName(foreign);
    EXPECT_NE(MessageOf([&] { in.IsValid(); }), "");
    EXPECT_EQ(t.Artist(), u"Second");
}

TEST(VorbisLibraries, EachMissingLibraryIsNamedInOrderAndRetried) {
    const char* names[] = {"libogg.so.0", "libvorbis.so.0", "libvorbisfile.so.3",
                           "libvorbisenc.so.2"};
    for (const char* n : names) FailLibraryLoadForTesting(n, true);
    TVorbisIn in;
    in.SetFileName(Stereo().path);
    for (const char* n : names) {
        EXPECT_EQ(MessageOf([&] { in.IsValid(); }),
                  std::string(n) + " library could not be loaded.");
        EXPECT_EQ(MessageOf([&] { in.BeginRead(); }),
                  std::string(n) + " library could not be loaded.");
        in.Reset();
        FailLibraryLoadForTesting(n, false);
    }
    // Only the encoder missing still stops every file, though it decodes none.
    FailLibraryLoadForTesting("libvorbisenc.so.2", true);
    EXPECT_EQ(MessageOf([&] { in.GetChannels(); }),
              "libvorbisenc.so.2 library could not be loaded.");
    FailLibraryLoadForTesting("libvorbisenc.so.2", false);
    EXPECT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetChannels(), 2u);
}

TEST(VorbisDamage, ForeignMissingTruncatedAndCorruptFiles) {
    const OggFixture& f = Stereo();
    const ByteVec good = ReadAll(f.path);
    TVorbisIn in;

    // A file that cannot be opened is quietly invalid.
    in.SetFileName(Dir() + "/no such file.ogg");
    EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(in.IsValid()); }), "");

    // Not Ogg at all: the library's code.
    const std::string foreign = Dir() + "/noise.ogg";
    WriteAll(foreign, ByteVec(3000, 0x5A));
    in.SetFileName(foreign);
    EXPECT_EQ(MessageOf([&] { in.IsValid(); }).rfind("Failed to open an ogg file: -", 0), 0u);

    // Cut anywhere: either refused at open or decoded exactly up to the cut.
    const std::string cut = Dir() + "/cut.ogg";
    for (size_t size :
         {size_t{0}, size_t{40}, size_t{200}, size_t{4000}, good.size() / 2, good.size() - 100}) {
        SCOPED_TRACE(size);
        WriteAll(cut, Slice(good, 0, size));
        in.SetFileName(cut);
        const std::string error = MessageOf([&] { in.BeginRead(); });
        if (!error.empty()) {
            EXPECT_EQ(error.rfind("Failed to open an ogg file: ", 0), 0u) << error;
            in.Reset();
            continue;
        }
        const ByteVec out = DrainRun(in, 4096);
        in.EndRead();
        EXPECT_LE(out.size(), f.reference.size());
        EXPECT_TRUE(out == Slice(f.reference, 0, out.size()));
    }

    // Damaged pages in the middle end the data early at worst.
    ByteVec bad = good;
    for (size_t i = bad.size() * 6 / 10; i < bad.size() * 6 / 10 + 400; i += 5) bad[i] ^= 0xA5;
    const std::string damaged = Dir() + "/damaged.ogg";
    WriteAll(damaged, bad);
    in.SetFileName(damaged);
    in.BeginRead();
    const ByteVec out = DrainRun(in, 4096);
    in.EndRead();
    EXPECT_LE(out.size(), f.reference.size() + 12288);
}

// Chained files (links one after another, as radio recordings are): links in
// the run's format play on; a link in another format ends the data before its
// first sample and the run reports it, once.
TEST(VorbisChains, ALinkInAnotherFormatEndsTheRunWithAnError) {
    const OggFixture& f = Stereo();
    // Links of a chain need serial numbers of their own.
    const OggFixture& mono = Fixture("link_mono", 1, 8000, 0.5, "-s 2001");
    const ByteVec first = ReadAll(f.path);
    const OggFixture& other = Fixture("link_stereo", 2, 44100, 0.5, "-s 2002");
    struct Case {
        const char* what;
        ByteVec second;
        bool pipe;
        bool changes;
    } cases[] = {
        {"same format", ReadAll(other.path), false, false},
        {"same format, not seekable", ReadAll(other.path), true, false},
        {"another format", ReadAll(mono.path), false, true},
        {"another format, not seekable", ReadAll(mono.path), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteVec chain = first;
        chain.insert(chain.end(), c.second.begin(), c.second.end());
        TMemoryStream file(chain);
        PipeStream pipe(chain);
        TVorbisIn in;
        in.SetStream(c.pipe ? static_cast<TStream*>(&pipe) : &file);
        in.BeginRead();
        ByteVec out;
        std::string error;
        for (bool more = true; more && error.empty();) {
            error = MessageOf([&] {
                uint8_t* block = nullptr;
                uint32_t bytes = 4096;
                in.GetBlock(block, bytes);
                more = bytes != 0;
                if (more) out.insert(out.end(), block, block + bytes);
            });
        }
        EXPECT_EQ(error, c.changes ? kFormatChanged : "");
        EXPECT_TRUE(DrainRun(in, 4096).empty());
        in.EndRead();
        in.SetStream(nullptr);
        ByteVec want = f.reference;
        if (!c.changes) want.insert(want.end(), other.reference.begin(), other.reference.end());
        EXPECT_TRUE(out == want) << out.size() << " bytes against " << want.size();
    }
}

TEST(VorbisDecode, AStartAtOrPastTheEndGivesNothing) {
    const OggFixture& f = Stereo();
    TVorbisIn in;
    in.SetFileName(f.path);
    for (int64_t start : {int64_t{88200}, int64_t{200000}}) {
        SCOPED_TRACE(start);
        in.SetStartSample(start);
        EXPECT_TRUE(DecodeFile(in, 4096).empty());
    }
}

// A stream claiming an absurd size once sent the library scanning back from
// that end for the last page, for ever. Such a stream is read straight through
// instead; so is one handing out a byte at a time.
TEST(VorbisDamage, StreamsThatLieAboutTheirSizeDecodeStraightThrough) {
    const OggFixture& f = Stereo();
    const ByteVec good = ReadAll(f.path);
    for (uint8_t lie : {uint8_t{64}, uint8_t{1}, uint8_t{64 | 4}}) {
        SCOPED_TRACE(int(lie));
        LyingStream stream(good.data(), good.size(), lie, 0);
        TVorbisIn in;
        in.SetStream(&stream);
        EXPECT_TRUE(DecodeFile(in, 4096) == f.reference);
        in.SetStream(nullptr);
    }
}

}  // namespace
}  // namespace quillet::test
