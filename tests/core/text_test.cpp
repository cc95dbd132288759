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

// What a hostile tag or station title may carry: colour, a window title, a
// clipboard write (OSC 52), line breaks, C1 controls raw and in UTF-8.
TEST(Text, EscapeControlsShowsEveryControlAndKeepsTheRest) {
    EXPECT_EQ(EscapeControls("\x1b[31mRed\x1b[0m"), "\\x1b[31mRed\\x1b[0m");
    EXPECT_EQ(EscapeControls("\x1b]52;c;SGk=\x07 \x1b]0;t\x1b\\"),
              "\\x1b]52;c;SGk=\\x07 \\x1b]0;t\\x1b\\");
    EXPECT_EQ(EscapeControls("a\r\nb\tc\x7f"), "a\\r\\nb\\tc\\x7f");
    EXPECT_EQ(EscapeControls(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(EscapeControls("\xc2\x9b"
                             "2J \xc2\x85"),
              "\\u009b2J \\u0085");
    EXPECT_EQ(EscapeControls("\x9b"
                             "2J \x80"),
              "\\x9b2J \\x80");
    // Letters, a no-break space, the euro sign (a continuation byte 0x82),
    // Latin-1 bytes and a backslash go through as they are.
    for (const std::string& kept :
         {std::string("plain text"),
          std::string("caf\xc3\xa9\xc2\xa0\xe2\x82\xac \xf0\x9f\x8e\xb5"),
          std::string("caf\xe9 \xff"), std::string("C:\\music\\x1b.mp3"), std::string()})
        EXPECT_EQ(EscapeControls(kept), kept);
    // No byte, alone or after any lead byte, leaves a control in the output.
    for (int lead : {-1, 0xC2, 0xE2, 0xF0})
        for (int b = 0; b < 256; ++b) {
            std::string in = "x";
            if (lead >= 0) in += static_cast<char>(lead);
            in += static_cast<char>(b);
            const std::string out = EscapeControls(in + "y");
            for (const char c : out) EXPECT_FALSE(static_cast<uint8_t>(c) < 0x20 || c == 0x7F) << b;
            for (int c1 = 0x80; c1 <= 0x9F; ++c1)
                EXPECT_EQ(out.find(std::string("\xc2") + static_cast<char>(c1)), std::string::npos);
            if (lead < 0 && b >= 0x80 && b <= 0x9F) {
                EXPECT_EQ(out.find(static_cast<char>(b)), std::string::npos);
            }
        }
}
