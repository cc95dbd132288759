// TWaveConverter's loading and storing, and the run-time loader pattern.
#include <gtest/gtest.h>

#include "WaveConverter.h"
#include "ffmpeg_lib.h"
#include "lib_loader.h"
#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

TEST(WaveConverterLoad, ShortFormatBodyIsAnEighteenByteRecord) {
    TWaveConverter c;
    c.SourceFormat.Bytes.fill(0xAB);
    TMemoryStream s(Riff({Chunk("fmt ", FormatBody(0x55, 2, 44100, 0, 1, {}, true)),
                          Chunk("data", Bytes{1, 2, 3})}));
    EXPECT_EQ(c.LoadWave(s), 0);
    EXPECT_EQ(c.SourceFormat.FormatTag(), 0x55);
    EXPECT_EQ(c.SourceFormat.Channels(), 2);
    EXPECT_EQ(c.SourceFormat.SamplesPerSec(), 44100u);
    EXPECT_EQ(c.SourceFormat.ExtraSize(), 0);
    EXPECT_EQ(c.SourceFormat.Bytes[18], 0xAB);  // only 18 bytes are set
    EXPECT_EQ(c.Data(), (Bytes{1, 2, 3}));
    EXPECT_EQ(c.Position(), 0);
}

TEST(WaveConverterLoad, SearchSlidesThroughForeignBodiesAndLastDataWins) {
    Bytes list(20, 'x');
    std::memcpy(&list[4], "data", 4);  // "data" letters inside a LIST text
    PutLE32(&list[8], 2);
    list[12] = 9;
    list[13] = 9;
    TWaveConverter c;
    TMemoryStream s(Riff({Chunk("fmt ", FormatBody(0x55, 1, 8000, 0, 1)), Chunk("LIST", list),
                          Chunk("fact", Bytes(4, 0))}));
    c.LoadWave(s);
    EXPECT_EQ(c.Data(), (Bytes{9, 9}));
    TMemoryStream s2(Riff({Chunk("data", Bytes{1}), Chunk("LIST", list), Chunk("data", {}),
                           Chunk("data", Bytes{5, 6, 7})}));
    c.LoadWave(s2);
    EXPECT_EQ(c.Data(), (Bytes{5, 6, 7}));

    // Case matters here, and a size past the end loads what is there.
    TWaveConverter lower;
    TMemoryStream s3(Riff({Chunk("data", Bytes{1})}, "riff"));
    lower.LoadWave(s3);
    EXPECT_TRUE(lower.Data().empty());
    Bytes cut = Riff({Chunk("data", Bytes(10, 4))});
    PutLE32(&cut[16], 1000000);
    TMemoryStream s4(cut);
    lower.LoadWave(s4);
    EXPECT_EQ(lower.Data(), Bytes(10, 4));
}

TEST(WaveConverterStore, CanonicalHeaderAndSizes) {
    TWaveConverter c;
    TMemoryStream src(
        Riff({Chunk("fmt ", FormatBody(1, 2, 44100, 16, 4)), Chunk("data", NoiseBytes(1001))}));
    c.LoadWave(src);
    c.Seek(17, TSeekOrigin::soBeginning);
    TMemoryStream out;
    ASSERT_EQ(c.StoreWave(out), 0);
    const Bytes& b = out.Data();
    ASSERT_EQ(b.size(), 1001u + 44);
    EXPECT_EQ(GetLE32(&b[4]), b.size() - 8);
    EXPECT_EQ(std::memcmp(&b[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(GetLE32(&b[16]), 16u);
    EXPECT_EQ(std::memcmp(&b[20], c.SourceFormat.Bytes.data(), 16), 0);
    EXPECT_EQ(GetLE32(&b[40]), 1001u);
    EXPECT_TRUE(std::equal(b.begin() + 44, b.end(), c.Data().begin()));
    EXPECT_EQ(c.Position(), 17);
}

TEST(WaveConverterSuggest, SixteenBitPcmOfThePayloadsLayout) {
    TWaveConverter c;
    TMemoryStream s(Riff({Chunk("fmt ", FormatBody(0x55, 1, 22050, 0, 1))}));
    c.LoadWave(s);
    c.TargetFormat.SetFormatTag(1);
    ASSERT_EQ(c.SuggestFormat(), 0);
    EXPECT_EQ(c.TargetFormat.Channels(), 1);
    EXPECT_EQ(c.TargetFormat.SamplesPerSec(), 22050u);
    EXPECT_EQ(c.TargetFormat.BitsPerSample(), 16);
    EXPECT_EQ(c.TargetFormat.BlockAlign(), 2);
    // No payload at all: nothing to convert.
    RequireFfmpeg();
    EXPECT_NE(c.ConvertData(), 0);

    TWaveConverter none;
    none.TargetFormat.SetFormatTag(1);
    EXPECT_NE(none.SuggestFormat(), 0);
}

struct TTestLib : TLibrary {
    explicit TTestLib(const char* name) : TLibrary(name) {}
    TLibEntry<double(double)> cos{*this, "cos"};
    TLibEntry<void()> missing{*this, "quillet_no_such_entry"};
};

TEST(LibLoader, TypedEntriesMissingNamesAndRetries) {
    TTestLib m("libm.so.6");
    EXPECT_FALSE(m.Loaded());
    EXPECT_FALSE(m.cos);
    FailLibraryLoadForTesting("libm.so.6", true);
    EXPECT_FALSE(m.Load());
    try {
        RequireLibraries({&m});
        ADD_FAILURE() << "no error";
    } catch (const EAuException& e) {
        EXPECT_STREQ(e.what(), "libm.so.6 library could not be loaded.");
    }
    FailLibraryLoadForTesting("libm.so.6", false);
    ASSERT_TRUE(m.Load());  // retried after the failure
    EXPECT_NO_THROW(RequireLibraries({&m}));
    ASSERT_TRUE(m.cos);
    EXPECT_DOUBLE_EQ(m.cos(0.0), 1.0);
    EXPECT_FALSE(m.missing);

    TTestLib absent("libquillet-absent.so.0");
    EXPECT_FALSE(absent.Load());
    EXPECT_FALSE(absent.Load());
    EXPECT_EQ(absent.LoadErrorMessage(), "libquillet-absent.so.0 library could not be loaded.");
}

}  // namespace
}  // namespace quillet
