// TFLACIn against the reference tool: fixtures are written as WAV by the test,
// encoded with `flac`, and every decode is compared byte for byte with what
// `flac -d` makes of the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "decoders/flac_fixture.h"
#include "lib_loader.h"
#include "text.h"

namespace quillet::test {
namespace {

using namespace flac_fixture;

// ---------------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    uint32_t channels, bits, rate;
    int64_t frames;
    const char* args;
    uint32_t chunk;  // request size while draining
};

class FlacLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FlacLayouts, DecodeEqualsReferenceTool) {
    const LayoutCase& c = GetParam();
    const Fixture& f = MakeFlac(c.name, c.channels, c.bits, c.rate, c.frames, c.args);
    ASSERT_EQ(f.reference.size(), static_cast<size_t>(c.frames) * f.frameBytes);
    TFLACIn in;
    in.SetFileName(f.path);
    EXPECT_EQ(in.GetChannels(), c.channels);
    EXPECT_EQ(in.GetSampleRate(), c.rate);
    EXPECT_EQ(in.GetBitsPerSample(), (c.bits + 7) / 8 * 8);
    EXPECT_EQ(in.GetSampleCount(), c.frames);
    EXPECT_TRUE(in.IsValid());
    const Bytes got = DecodeAll(in, c.chunk);
    EXPECT_EQ(got.size(), f.reference.size());
    EXPECT_TRUE(got == f.reference) << "decoded PCM differs from flac -d";
}

INSTANTIATE_TEST_SUITE_P(Formats, FlacLayouts,
                         ::testing::Values(LayoutCase{"mono16", 1, 16, 22050, 30000, "", 4096},
                                           LayoutCase{"stereo16b", 2, 16, 44100, 25000,
                                                      "--blocksize=1152", 1000},
                                           LayoutCase{"six24", 6, 24, 48000, 12000, "", 1 << 20},
                                           LayoutCase{"stereo8", 2, 8, 8000, 9000, "", 777},
                                           LayoutCase{"three8", 3, 8, 11025, 9000, "", 1 << 20},
                                           LayoutCase{"mono12", 1, 12, 8000, 9000, "", 1 << 20},
                                           LayoutCase{"stereo20", 2, 20, 32000, 9000, "", 5000},
                                           LayoutCase{"stereo32", 2, 32, 96000, 9000, "", 1 << 20}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlacFormat, SampleValuesAndStreamInfo) {
    const fs::path dir = TmpDir();
    struct ValueCase {
        const char* name;
        uint32_t bits;
        std::vector<int32_t> values;
        Bytes expected;
    };
    const ValueCase cases[] = {
        {"v24", 24, {-2, 1}, {0xFE, 0xFF, 0xFF, 0x01, 0x00, 0x00}},
        {"v16", 16, {-1, 256}, {0xFF, 0xFF, 0x00, 0x01}},
        {"v8", 8, {-128, 0, 127}, {0x00, 0x80, 0xFF}},
        {"v12", 12, {-1, 2047}, {0xF0, 0xFF, 0xF0, 0x7F}},
    };
    for (const ValueCase& c : cases) {
        const fs::path wav = dir / (std::string(c.name) + ".wav"),
                       flac = dir / (std::string(c.name) + ".flac");
        WriteFile(wav, MakeWav(1, c.bits, 8000, c.values));
        RunTool("flac -s -f -o '" + flac.string() + "' '" + wav.string() + "'");
        TFLACIn in;
        in.SetFileName(flac.string());
        EXPECT_EQ(DecodeAll(in), c.expected) << c.name;
    }

    // 10 s of stereo 16-bit silence: the size comes from STREAMINFO.
    const fs::path wav = dir / "ten.wav", flac = dir / "ten.flac";
    WriteFile(wav, MakeWav(2, 16, 44100, std::vector<int32_t>(441000 * 2, 0)));
    RunTool("flac -s -f -o '" + flac.string() + "' '" + wav.string() + "'");
    TFLACIn in;
    in.SetFileName(flac.string());
    EXPECT_EQ(in.GetDuration(), 10);
    EXPECT_EQ(in.DataSize(), 1764000);
    EXPECT_EQ(in.GetSampleCount(), 441000);
}

TEST(FlacRange, StartAndEndSampleCutExactly) {
    const Fixture& f = Stereo16();
    const int64_t fb = f.frameBytes;
    TFLACIn in;
    in.SetFileName(f.path);
    in.SetStartSample(1000);
    in.SetEndSample(5999);
    EXPECT_TRUE(DecodeAll(in, 1001) == Slice(f.reference, 1000 * fb, 5000 * fb));
    EXPECT_EQ(in.StartSample(), 0);
    EXPECT_EQ(in.EndSample(), -1);

    // A start inside a later frame, and an end past the file (runs to its end).
    in.SetStartSample(12345);
    in.SetEndSample(1000000);
    EXPECT_TRUE(DecodeAll(in) == Slice(f.reference, 12345 * fb, 1 << 30));

    // GoToSample while idle sets the start of the next run.
    EXPECT_TRUE(in.GoToSample(4096));
    EXPECT_TRUE(DecodeAll(in) == Slice(f.reference, 4096 * fb, 1 << 30));
}

TEST(FlacSeek, DeliveryResumesAtTheRequestedSample) {
    const Fixture& f = Stereo16();  // 4096-sample frames
    const int64_t fb = f.frameBytes, total = static_cast<int64_t>(f.reference.size()) / fb;
    TFLACIn in;
    in.SetFileName(f.path);
    in.SetCheckMD5Signature(true);
    in.BeginRead();
    ASSERT_EQ(ReadBytes(in, 5000 * fb), Slice(f.reference, 0, 5000 * fb));
    for (int64_t target : {int64_t{10000}, int64_t{8192}, int64_t{1}, int64_t{0}, int64_t{20000},
                           int64_t{19990}, int64_t{4095}}) {
        ASSERT_TRUE(in.GoToSample(target)) << target;
        EXPECT_EQ(in.Delivered(), target * fb) << target;
        EXPECT_EQ(ReadBytes(in, 3000 * fb), Slice(f.reference, target * fb, 3000 * fb)) << target;
        EXPECT_EQ(in.Delivered(), (target + 3000) * fb) << target;
    }
    EXPECT_FALSE(in.CheckMD5Signature());
    // The position bar back to the start.
    in.SeekPercent(-200);
    EXPECT_EQ(in.Delivered(), 0);
    EXPECT_EQ(ReadBytes(in, 100 * fb), Slice(f.reference, 0, 100 * fb));
    // The last sample, then the very end: nothing more.
    ASSERT_TRUE(in.GoToSample(total - 1));
    EXPECT_EQ(ReadBytes(in, 1000), Slice(f.reference, (total - 1) * fb, fb));
    in.EndRead();
    in.BeginRead();
    ASSERT_TRUE(in.GoToSample(total));
    EXPECT_TRUE(ReadBytes(in, 1000).empty());
    in.EndRead();

    // Within a range, positions count from its start.
    in.SetStartSample(3000);
    in.SetEndSample(19999);
    in.BeginRead();
    ASSERT_TRUE(in.GoToSample(7000));
    EXPECT_EQ(in.Delivered(), 7000 * fb);
    Bytes rest = ReadBytes(in, 1 << 30);
    EXPECT_TRUE(rest == Slice(f.reference, 10000 * fb, 10000 * fb));
    in.EndRead();
}

TEST(FlacStream, UnknownTotalPlaysToTheEnd) {
    const Fixture& f = Stereo16();
    const fs::path piped = TmpDir() / "piped.flac";
    // Written to a pipe, the encoder cannot go back to fill in the total.
    RunTool("flac -s -d -c --force-raw-format --endian=little --sign=signed '" + f.path +
            "' | flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
            "--sample-rate=44100 - -c > '" +
            piped.string() + "'");
    TFLACIn in;
    in.SetFileName(piped.string());
    EXPECT_EQ(in.GetSampleCount(), -1);
    EXPECT_EQ(in.DataSize(), -1);
    EXPECT_TRUE(DecodeAll(in, 5000) == f.reference);

    in.BeginRead();
    ASSERT_TRUE(in.GoToSample(15000));
    EXPECT_EQ(ReadBytes(in, 2000 * 4), Slice(f.reference, 15000 * 4, 2000 * 4));
    // Without a length, the position bar has nothing to take a percentage of.
    in.SeekPercent(-50);
    EXPECT_EQ(in.Delivered(), 17000 * 4);
    in.EndRead();

    // A caller's range still cuts where asked.
    struct Range {
        int64_t start, end, first, frames;
    } ranges[] = {{-1, 999, 0, 1000}, {10, 99, 10, 90}, {20000, -1, 20000, 0}};
    for (const Range& r : ranges) {
        SCOPED_TRACE(r.start);
        if (r.start >= 0) in.SetStartSample(r.start);
        in.SetEndSample(r.end);
        const Bytes out = DecodeAll(in, 4096);
        const size_t frames = r.frames ? r.frames : f.reference.size() / 4 - r.first;
        EXPECT_TRUE(out == Slice(f.reference, r.first * 4, frames * 4)) << out.size();
    }
}

TEST(FlacTags, FirstCommentWinsAndEveryOpenRefills) {
    const Fixture& f = Stereo16();
    const fs::path dir = TmpDir(), tagged = dir / "tagged.flac", bare = dir / "bare.flac";
    fs::copy_file(f.path, tagged, fs::copy_options::overwrite_existing);
    RunTool(
        "metaflac --remove-all-tags --set-tag=TITLE=A --set-tag=title=B "
        "--set-tag=Artist=Two=Parts --set-tag='ALBUM=Żółw Ёж 歌' --set-tag=TRACKNUMBER=3/12 "
        "--set-tag=DESCRIPTION=x '" +
        tagged.string() + "'");
    fs::copy_file(f.path, bare, fs::copy_options::overwrite_existing);
    RunTool("metaflac --remove --block-type=VORBIS_COMMENT '" + bare.string() + "'");

    TFLACIn in;
    in.SetFileName(tagged.string());
    ASSERT_EQ(in.GetChannels(), 2u);
    const TVorbisTags& t = in.VorbisTags();
    EXPECT_EQ(t.Title(), u"A");
    EXPECT_EQ(t.Artist(), u"Two=Parts");
    EXPECT_EQ(t.Album(), Utf8ToUtf16("Żółw Ёж 歌"));
    EXPECT_EQ(t.Track(), u"3/12");
    EXPECT_EQ(t.Date(), u"");
    EXPECT_FALSE(t.IsEmpty());

    in.SetFileName(bare.string());
    ASSERT_EQ(in.GetChannels(), 2u);
    EXPECT_EQ(in.VorbisTags().Title(), u"");
    EXPECT_TRUE(in.VorbisTags().IsEmpty());
}

// Where each metadata block's header is, walking the length fields.
struct BlockAt {
    size_t At;
    int Type;
    uint32_t Length;
};
std::vector<BlockAt> Blocks(const Bytes& b) {
    std::vector<BlockAt> out;
    for (size_t at = 4; at + 4 <= b.size();) {
        const uint32_t length = b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
        out.push_back({at, b[at] & 0x7F, length});
        if (b[at] & 0x80) break;
        at += 4 + length;
    }
    return out;
}

void SetLength(Bytes& b, size_t at, uint32_t length) {
    b[at + 1] = static_cast<uint8_t>(length >> 16);
    b[at + 2] = static_cast<uint8_t>(length >> 8);
    b[at + 3] = static_cast<uint8_t>(length);
}

// Real files from other writers: a comment or picture block whose length
// field is wrong (too short, or running past the next block) is read by its
// content, as mutagen reads it; of two comment blocks the first wins.
TEST(FlacTags, WrongBlockLengthsAreWalkedByContentAndTheFirstCommentBlockWins) {
    const Fixture& f = Stereo16();
    const fs::path dir = TmpDir(), tagged = dir / "lengths.flac", cover = dir / "cover.png";
    fs::copy_file(f.path, tagged, fs::copy_options::overwrite_existing);
    RunTool("convert -size 8x8 xc:red '" + cover.string() + "' 2>/dev/null || printf '\x89PNG' > '" +
            cover.string() + "'");
    RunTool("metaflac --remove-all-tags --set-tag=TITLE=Tïtle --set-tag=ARTIST=Ärtist "
            "--set-tag=ALBUM=Album --import-picture-from='" + cover.string() + "' '" +
            tagged.string() + "'");
    const Bytes good = ReadFile(tagged);
    const std::vector<BlockAt> blocks = Blocks(good);
    const auto find = [&](int type) {
        const auto it = std::find_if(blocks.begin(), blocks.end(),
                                     [&](const BlockAt& b) { return b.Type == type; });
        EXPECT_NE(it, blocks.end()) << type;
        return it == blocks.end() ? BlockAt{} : *it;
    };
    const BlockAt comments = find(4), picture = find(6);
    ASSERT_GT(comments.Length, 40u);
    ASSERT_GT(picture.Length, 40u);

    struct Case {
        const char* What;
        Bytes File;
    };
    std::vector<Case> cases;
    for (const auto& [what, block, length] :
         {std::tuple{"comments too short", comments, comments.Length - 30},
          std::tuple{"comments past the next block", comments, comments.Length + 40},
          std::tuple{"comments one byte short", comments, comments.Length - 1},
          std::tuple{"picture too short", picture, picture.Length - 20},
          std::tuple{"picture past the next block", picture, picture.Length + 9}}) {
        Bytes b = good;
        SetLength(b, block.At, length);
        cases.push_back({what, std::move(b)});
    }
    // A second comment block, after the first: its values are not taken.
    Bytes second;
    const std::string vendor = "other", entries[] = {"TITLE=Second", "ARTIST=Other"};
    Put(second, static_cast<uint32_t>(vendor.size()), 4);
    second.insert(second.end(), vendor.begin(), vendor.end());
    Put(second, 2, 4);
    for (const std::string& e : entries) {
        Put(second, static_cast<uint32_t>(e.size()), 4);
        second.insert(second.end(), e.begin(), e.end());
    }
    Bytes two(good.begin(), good.begin() + static_cast<ptrdiff_t>(comments.At + 4 + comments.Length));
    two.push_back(4);
    two.push_back(0);
    two.push_back(0);
    two.push_back(static_cast<uint8_t>(second.size()));
    two.insert(two.end(), second.begin(), second.end());
    two.insert(two.end(), good.begin() + static_cast<ptrdiff_t>(comments.At + 4 + comments.Length),
               good.end());
    cases.push_back({"two comment blocks", std::move(two)});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path path = dir / "damaged.flac";
        WriteFile(path, c.File);
        TFLACIn in;
        in.SetFileName(path.string());
        EXPECT_TRUE(in.IsValid());
        EXPECT_EQ(in.VorbisTags().Title(), u"Tïtle");
        EXPECT_EQ(in.VorbisTags().Artist(), u"Ärtist");
        EXPECT_EQ(in.VorbisTags().Album(), u"Album");
        if (in.IsValid()) {
            EXPECT_TRUE(DecodeAll(in, 4096) == f.reference);
        }
    }
    // A length that lands where a block does is believed, even with bytes
    // after the content: nothing is changed in a file that reads right.
    Bytes padded = good;
    padded.insert(padded.begin() + static_cast<ptrdiff_t>(comments.At + 4 + comments.Length), 3, 0);
    SetLength(padded, comments.At, comments.Length + 3);
    WriteFile(dir / "padded.flac", padded);
    TFLACIn in;
    in.SetFileName((dir / "padded.flac").string());
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.VorbisTags().Title(), u"Tïtle");
    EXPECT_TRUE(DecodeAll(in, 4096) == f.reference);
}

TEST(FlacLibrary, MissingLibraryIsReportedOnEveryOpenAndRetried) {
    const Fixture& f = Stereo16();
    TFLACIn in;
    in.SetFileName(f.path);
    FailLibraryLoadForTesting("libFLAC.so.12", true);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            in.BeginRead();
            ADD_FAILURE() << "opened without the library";
        } catch (const EAuException& e) {
            EXPECT_STREQ(e.what(), "libFLAC.so.12 library could not be loaded.");
        }
        in.EndRead();
    }
    FailLibraryLoadForTesting("libFLAC.so.12", false);
    EXPECT_TRUE(DecodeAll(in) == f.reference);
}

TEST(FlacOpen, MessagesOfTheOpen) {
    TFLACIn in;
    try {
        in.GetChannels();
        ADD_FAILURE() << "opened without a name";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "File name is not assigned");
    }
    uint8_t* block = nullptr;
    uint32_t bytes = 100;
    try {
        in.GetBlock(block, bytes);
        ADD_FAILURE() << "read outside a run";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "The Stream is not opened");
    }
}

// A FLAC file seen as the tail of a stream 5 GiB long: every position the
// decoder tells, measures or seeks to lies past 4 GiB, as in a file that big.
class FarStream : public TStream {
  public:
    explicit FarStream(Bytes flac) : FData(std::move(flac)) {}
    static constexpr int64_t kBase = int64_t{5} << 30;
    int64_t Size() override { return kBase + FData.Size(); }
    int64_t Read(void* buffer, int64_t count) override { return FData.Read(buffer, count); }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        if (origin == TSeekOrigin::soCurrent) offset += kBase + FData.Position();
        if (origin == TSeekOrigin::soEnd) offset += Size();
        if (offset < kBase) return -1;
        return kBase + FData.Seek(offset - kBase, TSeekOrigin::soBeginning);
    }

  private:
    TMemoryStream FData;
};

TEST(FlacStream, OffsetsPastFourGiBSeekCorrectly) {
    const Fixture& f = Stereo16();
    FarStream stream(ReadFile(f.path));
    TFLACIn in;
    in.SetStream(&stream);
    in.BeginRead();
    EXPECT_EQ(ReadBytes(in, 1000 * 4), Slice(f.reference, 0, 1000 * 4));
    for (int64_t target : {int64_t{20000}, int64_t{9000}, int64_t{100}}) {
        ASSERT_TRUE(in.GoToSample(target)) << target;
        EXPECT_EQ(ReadBytes(in, 2000 * 4), Slice(f.reference, target * 4, 2000 * 4)) << target;
    }
    in.EndRead();
    in.SetStream(nullptr);
}

}  // namespace
}  // namespace quillet::test
