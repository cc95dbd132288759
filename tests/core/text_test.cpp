#include <gtest/gtest.h>

#include "text.h"
#include "text_encoding.h"

using namespace quillet;

TEST(Text, Utf8Utf16RoundTripsIncludingSurrogatePairs) {
    const std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5";  // a é € 🎵
    const std::u16string w = Utf8ToUtf16(s);
    EXPECT_EQ(w, (std::u16string{u'a', 0xE9, 0x20AC, 0xD83C, 0xDFB5}));
    EXPECT_EQ(Utf16ToUtf8(w), s);
}

TEST(Text, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("\xFF"
                          "a\xC3"),
              (std::u16string{0xFFFD, u'a', 0xFFFD}));
    EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800}), "\xEF\xBF\xBD");        // lone surrogate
}

TEST(Text, Latin1ConversionsAndQuestionMarks) {
    EXPECT_EQ(Latin1ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(Utf8ToLatin1("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 ?");
    // Text of no stated encoding: UTF-8 when it is that throughout.
    EXPECT_EQ(Utf8OrLatin1("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(Utf8OrLatin1("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(Utf8OrLatin1("\xC3\xA9\xE9"),
              "\xC3\x83\xC2\xA9\xC3\xA9");      // one bad byte: all Latin-1
    EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD"));   // U+FFFD written out
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF0\x9F\x8E"));  // cut short
}

TEST(Text, LengthsCountCharactersAndCutsNeverSplitOne) {
    const std::string s = "\xC3\xA9t\xC3\xA9";  // été
    EXPECT_EQ(Utf8Length(s), 3u);
    EXPECT_EQ(Utf8Left(s, 1), "\xC3\xA9");
    EXPECT_EQ(Utf8Left(s, 2), "\xC3\xA9t");
    EXPECT_EQ(Utf8Left(s, 10), s);
}

TEST(Text, CaseFoldingAndTrim) {
    EXPECT_TRUE(SameTextAscii("TITLE", "title"));
    EXPECT_FALSE(SameTextAscii("TITLE", "titles"));
    EXPECT_LT(CompareTextAscii("album", "Artist"), 0);
    EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
    EXPECT_EQ(Trim("   "), "");
}
