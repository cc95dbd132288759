// The container's value model, the copies between the four formats, the
// Vorbis comment walks and the APEv2 reader over a memory stream.
#include <gtest/gtest.h>

#include <memory>

#include "ACS_Tags.h"
#include "tag_test_util.h"
#include "tagged_file_in.h"
#include "text.h"

namespace quillet {
namespace {

using test::ApeTag;
using test::Append;
using test::AppendLE32;
using test::Bytes;
using K = TTagValue::TKind;
using I = TTagValue::TIntType;

TEST(TagValues, GettersConvertBetweenNumbersAndTexts) {
    TAPEv2Tags t;
    t.SetYear("2004");
    t.SetTrack("abc");
    t.SetValue("ISBN", TTagValue::Integer(12, I::UInt8));
    t.SetGenre(u"\u00c9t\u00e9");
    EXPECT_EQ(t.GetAsInteger("year"), 2004);
    EXPECT_EQ(t.GetAsInteger("Track"), 0);
    EXPECT_EQ(t.GetAsInteger("Title"), 0);  // empty
    EXPECT_EQ(t.GetAsInteger("nope"), 0);   // undeclared
    EXPECT_EQ(t.GetAsString("ISBN"), "12");
    EXPECT_EQ(t.GetAsWideString("ISBN"), u"12");
    EXPECT_EQ(t.GetAsString("Title"), "");
    EXPECT_EQ(t.GetAsString("Genre"), "\xc3\x89t\xc3\xa9");  // wide handed out as UTF-8
    EXPECT_EQ(t.GetAsWideString("YEAR"), u"2004");
    EXPECT_TRUE(t.GetValue("nope").IsEmpty());
}

TEST(TagValues, SetValueStoresOnlyDifferingValues) {
    TVorbisTags fresh;
    fresh.SetValue("title", TTagValue());  // same as the stored empty value
    EXPECT_FALSE(fresh.Changed());
    EXPECT_TRUE(fresh.IsEmpty());
    fresh.SetValue("undeclared", TTagValue::Narrow("x"));
    EXPECT_FALSE(fresh.Changed());

    TAPEv2Tags t;
    t.SetValue("Year", TTagValue::Integer(12, I::UInt8));
    EXPECT_TRUE(t.Changed());
    EXPECT_FALSE(t.IsEmpty());
    // Text that reads as the same number is the same value: the kind stays.
    t.SetValue("Year", TTagValue::Narrow("12"));
    EXPECT_EQ(t.GetValue("Year").Kind(), K::Integer);
    t.SetValue("Year", TTagValue::Integer(12, I::Int32));  // numbers compare as numbers
    EXPECT_EQ(t.GetValue("Year").IntType(), I::UInt8);
    t.SetValue("Year", TTagValue::Narrow("twelve"));  // not a number: different
    EXPECT_EQ(t.GetValue("Year").Kind(), K::Narrow);

    t.SetValue("Title", TTagValue::Narrow("abc"));
    t.SetValue("Title", TTagValue::Wide(u"abc"));  // same text in the other width
    EXPECT_EQ(t.GetValue("Title").Kind(), K::Narrow);
    t.SetValue("Title", TTagValue::Wide(u"abC"));
    EXPECT_EQ(t.GetValue("Title"), TTagValue::Wide(u"abC"));

    // Empty text is a value, unlike the empty value.
    TVorbisTags v;
    v.SetValue("album", TTagValue::Wide(u""));
    EXPECT_FALSE(v.IsEmpty());
    EXPECT_EQ(v.GetValue("ALBUM").Kind(), K::Wide);
}

TEST(TagValues, FieldListIsSortedCaseInsensitiveAndFixed) {
    TVorbisTags t;
    ASSERT_EQ(t.Count(), 6);
    EXPECT_EQ(t.NameAt(0), "album");
    EXPECT_EQ(t.NameAt(5), "tracknumber");
    EXPECT_EQ(t.NameAt(-1), "");
    EXPECT_EQ(t.NameAt(t.Count()), "");
    EXPECT_FALSE(t.AddField("", TTagValue::Narrow("x")));
    EXPECT_TRUE(t.AddField("ARTIST", TTagValue::Narrow("first")));  // already there
    EXPECT_TRUE(t.GetValue("artist").IsEmpty());
    EXPECT_TRUE(t.AddField("Zed", TTagValue::Narrow("first")));
    EXPECT_TRUE(t.AddField("zed", TTagValue::Narrow("second")));
    EXPECT_EQ(t.GetAsString("ZED"), "first");
    EXPECT_EQ(t.NameAt(6), "Zed");
    EXPECT_FALSE(t.Changed());  // AddField leaves the flags alone

    TAPEv2Tags ape;
    for (int i = 1; i < ape.Count(); ++i)
        EXPECT_LT(CompareTextAscii(ape.NameAt(i - 1), ape.NameAt(i)), 0);
    EXPECT_EQ(TId3v2Tags().Count(), 24);
    EXPECT_EQ(TId3v1Tags().Count(), 7);
}

TEST(TagCopies, CarryFieldsWithTheSameNames) {
    TId3v1Tags v1;
    v1.SetTitle("T");
    v1.SetArtist("A");
    v1.SetAlbum("B");
    v1.SetYear(1999);
    v1.SetComment("C");
    v1.SetTrack(4);  // genre keeps its initial number 12

    TAPEv2Tags ape;
    ape.CopyValuesFrom(&v1);
    EXPECT_EQ(ape.Genre(), u"12");  // a number, not a genre name
    EXPECT_EQ(ape.GetValue("Genre").Kind(), K::Integer);
    EXPECT_EQ(ape.Year(), "1999");
    EXPECT_EQ(ape.Track(), "4");
    EXPECT_EQ(ape.Title(), u"T");
    EXPECT_EQ(ape.Comment(), u"C");

    TVorbisTags vc;
    v1.CopyValuesTo(&vc);
    EXPECT_EQ(vc.Album(), u"B");
    EXPECT_EQ(vc.Artist(), u"A");
    EXPECT_EQ(vc.Genre(), u"12");
    EXPECT_TRUE(vc.Date().empty());
    EXPECT_TRUE(vc.Track().empty());

    // Back from APEv2 to ID3v1: the text year reads as a number again.
    ape.SetYear("2004");
    TId3v1Tags back;
    back.CopyValuesFrom(&ape);
    EXPECT_EQ(back.Year(), 2004);
    EXPECT_EQ(back.Title(), "T");

    // ID3v2 fields are frame ids: nothing matches, and the target is cleared.
    TId3v2Tags v2;
    v2.SetTitle(u"x");
    vc.CopyValuesFrom(&v2);
    EXPECT_TRUE(vc.IsEmpty());
    EXPECT_TRUE(vc.Changed());
    EXPECT_TRUE(vc.Album().empty());

    TId3v2Tags v2b;
    v2b.CopyValuesFrom(&v2);
    EXPECT_EQ(v2b.Title(), u"x");

    // Copying a set onto itself keeps its values.
    v2.CopyValuesFrom(&v2);
    EXPECT_EQ(v2.Title(), u"x");
}

TEST(TagCopies, RefuseObjectsThatAreNotTagSets) {
    TVorbisTags vc;
    vc.SetTitle(u"kept");
    TComponent other;
    try {
        vc.CopyValuesFrom(&other);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TComponent to a TVorbisTags");
    }
    try {
        vc.CopyValuesTo(&other);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TVorbisTags to a TComponent");
    }
    EXPECT_THROW(vc.CopyValuesFrom(nullptr), EConvertError);
    EXPECT_EQ(vc.Title(), u"kept");
}

TEST(Id3v1Set, GenreRules) {
    TId3v1Tags t;
    EXPECT_EQ(t.GenreId(), 12);
    EXPECT_EQ(t.Genre(), "Other");
    t.Clear();
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_TRUE(t.Changed());
    EXPECT_EQ(t.GenreId(), 0);
    EXPECT_EQ(t.Genre(), "Blues");
    t.SetGenre("  hip-hop \t");
    EXPECT_EQ(t.GenreId(), 7);
    t.SetGenre("Polka Metal");  // not in the table
    EXPECT_EQ(t.GenreId(), 7);
    t.SetGenre("SYNTHPOP");
    EXPECT_EQ(t.GenreId(), 147);
    t.SetValue("genre", TTagValue::Integer(200, I::UInt8));
    EXPECT_EQ(t.GenreId(), 12);
    EXPECT_EQ(t.Genre(), "Other");
    t.SetValue("artist", TTagValue::Integer(5, I::Int32));
    EXPECT_EQ(t.Artist(), "");  // artist reads texts only
    t.SetValue("artist", TTagValue::Wide(u"\u00e9"));
    EXPECT_EQ(t.Artist(), "\xc3\xa9");
}

TEST(TagListing, PropertiesInOrderWithTheirNames) {
    TId3v1Tags v1;
    v1.SetTitle("T");
    v1.SetTrack(3);
    EXPECT_EQ(v1.ListFields(),
              (std::vector<TTagFieldText>{{"Title", "T"}, {"Track", "3"}, {"Genre", "Other"}}));

    TId3v2Tags v2;
    v2.SetTitle(u"\u2603");
    v2.SetArtist(u"A");
    v2.SetYear("2001");
    EXPECT_EQ(v2.ListFields(), (std::vector<TTagFieldText>{
                                   {"Artist", "A"}, {"Year", "2001"}, {"Title", "\xe2\x98\x83"}}));

    TAPEv2Tags ape;
    ape.SetBarCode("123");
    ape.SetFile_(u"f");
    ape.SetArtist(u"");  // empty text: nothing to show
    EXPECT_EQ(ape.ListFields(), (std::vector<TTagFieldText>{{"BarCode", "123"}, {"File_", "f"}}));

    TVorbisTags vc;
    vc.SetTrack(u"3/12");
    EXPECT_EQ(vc.ListFields(), (std::vector<TTagFieldText>{{"Track", "3/12"}}));
}

TEST(VorbisComments, OggLastWinsFlacFirstWins) {
    const std::vector<std::string> comments = {"ARTIST=A",
                                               "Title=Two=Parts",
                                               "artist=B",
                                               "DESCRIPTION=x",
                                               "noequals",
                                               "=empty key",
                                               "GENRE=\xce\x9c\xce\xbf\xcf\x85\xcf\x83\xce\xb9"
                                               "\xce\xba\xce\xae",
                                               "TRACKNUMBER=3/12"};
    TVorbisTags ogg;
    FillVorbisTagsOgg(ogg, comments);
    EXPECT_EQ(ogg.Artist(), u"B");
    EXPECT_EQ(ogg.Title(), u"Two=Parts");
    EXPECT_EQ(ogg.Genre(), u"\u039c\u03bf\u03c5\u03c3\u03b9\u03ba\u03ae");
    EXPECT_EQ(ogg.Track(), u"3/12");
    EXPECT_TRUE(ogg.GetValue("album").IsEmpty());  // only keys present change a field

    TVorbisTags flac;
    FillVorbisTagsFlac(flac, comments);
    EXPECT_EQ(flac.Artist(), u"A");
    EXPECT_EQ(flac.Title(), u"Two=Parts");
    EXPECT_EQ(flac.GetValue("album"), TTagValue::Wide(u""));  // missing: empty text

    TVorbisTags unknownOnly;
    FillVorbisTagsOgg(unknownOnly, {"DESCRIPTION=x"});
    EXPECT_TRUE(unknownOnly.IsEmpty());
    EXPECT_TRUE(unknownOnly.Changed());
    FillVorbisTagsFlac(unknownOnly, {"DESCRIPTION=x"});
    EXPECT_FALSE(unknownOnly.IsEmpty());

    // A new file replaces what the previous one left.
    FillVorbisTagsOgg(ogg, {"album=X"});
    EXPECT_TRUE(ogg.Artist().empty());
    EXPECT_EQ(ogg.Album(), u"X");
}

// ---------------------------------------------------------------------------
// APEv2 over a memory stream.

std::unique_ptr<TAPEv2Tags> ReadApe(const Bytes& file) {
    TMemoryStream s(file.data(), file.size());
    auto t = std::make_unique<TAPEv2Tags>();
    ReadAPEv2Tag(s, *t);
    return t;
}

TEST(APEv2Reader, ReadsTheSevenKnownTextItems) {
    Bytes file = test::Audio(100);
    Append(file, ApeTag({{"Artist", "Ar"},
                         {"ARTIST", "capitals"},
                         {"Title", "binary", 2},
                         {"Album", "Al"},
                         {"Year", "2004"},
                         {"Track", "3"},
                         {"Copyright", "C"},
                         {"Composer", "not read"},
                         {"Genre", "\xd0\x9c\xd1\x83\xd0\xb7\xd1\x8b\xd0\xba\xd0\xb0"},
                         {"Title", "Ti"}}));
    auto p = ReadApe(file);
    TAPEv2Tags& t = *p;
    EXPECT_EQ(t.Artist(), u"Ar");  // ARTIST is another key
    EXPECT_EQ(t.Album(), u"Al");
    EXPECT_EQ(t.Title(), u"Ti");  // the binary Title was skipped, later items read
    EXPECT_EQ(t.Copyright(), u"C");
    EXPECT_EQ(t.Genre(), u"\u041c\u0443\u0437\u044b\u043a\u0430");
    EXPECT_EQ(t.GetValue("Year"), TTagValue::Narrow("2004"));
    EXPECT_EQ(t.GetAsInteger("Year"), 2004);
    EXPECT_EQ(t.Track(), "3");
    EXPECT_TRUE(t.Composer().empty());
}

TEST(APEv2Reader, IgnoresForeignOrMisplacedFooters) {
    Bytes v1000 = test::Audio(10);
    Append(v1000, ApeTag({{"Title", "x"}}, 1000));
    EXPECT_TRUE(ReadApe(v1000)->IsEmpty());

    Bytes withId3v1 = test::Audio(10);
    Append(withId3v1, ApeTag({{"Title", "x"}}));
    Bytes v1(128, 0);
    std::copy_n("TAG", 3, v1.begin());
    Append(withId3v1, v1);
    EXPECT_TRUE(ReadApe(withId3v1)->IsEmpty());

    EXPECT_TRUE(ReadApe(Bytes{})->IsEmpty());
    EXPECT_TRUE(ReadApe(Bytes(31, 'A'))->IsEmpty());
}

TEST(APEv2Reader, StopsOnDamageKeepingEarlierItems) {
    const Bytes good = ApeTag({{"Title", "kept"}, {"Artist", "second"}});
    const size_t firstItem = 8 + 6 + 4;  // sizes, "Title\0", "kept"

    // The value size of the second item runs past the end of the stream.
    Bytes hugeValue = good;
    hugeValue[firstItem + 0] = 0xFF;
    hugeValue[firstItem + 3] = 0x7F;
    auto t = ReadApe(hugeValue);
    EXPECT_EQ(t->Title(), u"kept");
    EXPECT_TRUE(t->Artist().empty());

    // A key without its zero byte within 511 bytes.
    Bytes longKey;
    AppendLE32(longKey, 1);
    AppendLE32(longKey, 0);
    Append(longKey, std::string(600, 'K'));
    Bytes footer(good.end() - 32, good.end());
    footer[12] = static_cast<uint8_t>(longKey.size() + 32);
    footer[13] = static_cast<uint8_t>((longKey.size() + 32) >> 8);
    Append(longKey, footer);
    EXPECT_TRUE(ReadApe(longKey)->IsEmpty());

    // An item count far beyond the items: the walk ends at the footer bytes.
    Bytes manyItems = good;
    manyItems[manyItems.size() - 16] = 0xFF;
    manyItems[manyItems.size() - 15] = 0xFF;
    manyItems[manyItems.size() - 14] = 0xFF;
    manyItems[manyItems.size() - 13] = 0x7F;
    EXPECT_EQ(ReadApe(manyItems)->Artist(), u"second");

    // Tag sizes larger than the stream, or negative.
    for (uint32_t size : {0x7FFFFFFFu, 0xFFFFFFF0u, 8u}) {
        Bytes bad = good;
        for (int i = 0; i < 4; ++i)
            bad[bad.size() - 20 + i] = static_cast<uint8_t>(size >> (8 * i));
        EXPECT_TRUE(ReadApe(bad)->IsEmpty()) << size;
    }
}

TEST(APEv2Reader, DoesNotClearTheSet) {
    TAPEv2Tags t;
    t.SetComposer(u"mine");
    Bytes file = ApeTag({{"Title", "x"}});
    TMemoryStream s(file.data(), file.size());
    ReadAPEv2Tag(s, t);
    EXPECT_EQ(t.Composer(), u"mine");
    EXPECT_EQ(t.Title(), u"x");
    EXPECT_EQ(s.Position(), static_cast<int64_t>(file.size() - 32));  // after the last item
}

// ---------------------------------------------------------------------------

class TNullTaggedIn : public TAuTaggedFileIn {
  public:
    ~TNullTaggedIn() override { CloseSource(); }

  protected:
    void OpenSource() override {}
    void CloseSource() override {}
    void ReadBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
        Buffer = nullptr;
        Bytes = 0;
    }
    bool SeekToSample(int64_t&) override { return false; }
};

TEST(TaggedFileIn, OwnsThreeFreshSetsForItsLifetime) {
    TNullTaggedIn in;
    EXPECT_STREQ(in.ClassName(), "TAuTaggedFileIn");
    TId3v1Tags* v1 = &in.Id3v1Tags();
    EXPECT_EQ(in.Id3v1Tags().GenreId(), 12);
    EXPECT_TRUE(in.Id3v2Tags().IsEmpty());
    EXPECT_TRUE(in.APEv2Tags().IsEmpty());
    in.APEv2Tags().SetTitle(u"kept");
    in.SetFileName("/nonexistent.mpc");
    EXPECT_EQ(&in.Id3v1Tags(), v1);
    EXPECT_EQ(in.APEv2Tags().Title(), u"kept");  // nothing here clears the sets
}

}  // namespace
}  // namespace quillet
