#include <gtest/gtest.h>

#include "ini.h"
#include "playlist_fixture.h"
#include "textfile.h"

namespace quillet {
namespace {

TEST(IniRead, FollowsProfileRules) {
    const TIniFile ini = TIniFile::FromText(
        "orphan=before any section\r\n"
        "[Lang]\r\n"
        "  Play  =  Spielen  \r\n"
        "; comment=not a key\n"
        "no equals sign\r\n"
        "Quoted=\"  padded  \"\r\n"
        "Single='x'\r\n"
        "Unbalanced=\"x'\r\n"
        "Double=\"\"x\"\"\r\n"
        "Empty=\r\n"
        "play=second occurrence\r\n"
        "Eq=a=b\r\n"
        "[LANG]\r\n"
        "Stop=from the second section\r\n");
    EXPECT_EQ(ini.ReadString("lang", "PLAY"), "Spielen");
    EXPECT_EQ(ini.ReadString(" lang ", " play "), "Spielen");
    EXPECT_EQ(ini.ReadString("lang", "Quoted"), "  padded  ");
    EXPECT_EQ(ini.ReadString("lang", "Single"), "x");
    EXPECT_EQ(ini.ReadString("lang", "Unbalanced"), "\"x'");
    EXPECT_EQ(ini.ReadString("lang", "Double"), "\"x\"");
    EXPECT_EQ(ini.ReadString("lang", "Empty", "def"), "");
    EXPECT_EQ(ini.ReadString("lang", "Eq"), "a=b");
    EXPECT_EQ(ini.ReadString("lang", "; comment", "def"), "def");
    EXPECT_EQ(ini.ReadString("lang", "no equals sign", "def"), "def");
    EXPECT_EQ(ini.ReadString("lang", "orphan", "def"), "def");
    // Only the first of two same-named sections is searched.
    EXPECT_EQ(ini.ReadString("lang", "Stop", "def"), "def");
    EXPECT_EQ(ini.ReadString("missing", "Play", "Play  "), "Play");
    EXPECT_TRUE(ini.SectionExists("LaNg"));
    EXPECT_TRUE(ini.KeyExists("lang", "EMPTY"));
    EXPECT_EQ(ini.Keys("lang"), (std::vector<std::string>{"Play", "Quoted", "Single", "Unbalanced",
                                                          "Double", "Empty", "Eq"}));
}

TEST(IniRead, CutsLikeAFixedBuffer) {
    std::string longValue(3000, 'a');
    const TIniFile ini =
        TIniFile::FromText("[s]\nk=" + longValue + "\nu=\xC3\xA9\xC3\xA9\xC3\xA9\n");
    EXPECT_EQ(ini.ReadString("s", "k", {}, 2048).size(), 2047u);
    EXPECT_EQ(ini.ReadString("s", "k").size(), 3000u);
    // Characters, not bytes: never half of "é".
    EXPECT_EQ(ini.ReadString("s", "u", {}, 3), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(ini.ReadString("s", "missing", "abcdef", 4), "abc");
}

TEST(IniWrite, ReplacesInPlaceAppendsAndKeepsTheRest) {
    TIniFile ini = TIniFile::FromText(
        "; header comment\n"
        "[one]\n"
        " Key = old \n"
        "other=1\n"
        "\n"
        "[two]\n"
        "x=y\n");
    ini.WriteString("ONE", "key", "new");
    ini.WriteString("one", "Added", "v");
    ini.WriteString("three", "k", "v");
    ini.DeleteKey("two", "X");
    ini.DeleteKey("two", "absent");
    EXPECT_EQ(ini.Text(),
              "; header comment\r\n"
              "[one]\r\n"
              "Key=new\r\n"
              "other=1\r\n"
              "Added=v\r\n"
              "\r\n"
              "[two]\r\n"
              "[three]\r\n"
              "k=v\r\n");
    EXPECT_EQ(ini.ReadString("one", "added"), "v");
    EXPECT_FALSE(ini.KeyExists("two", "x"));
}

TEST(IniWrite, DeletingRevealsALaterDuplicateAndSurvivesManyDeletes) {
    TIniFile ini = TIniFile::FromText("[s]\nk=1\nk=2\n");
    ini.DeleteKey("s", "k");
    EXPECT_EQ(ini.ReadString("s", "k"), "2");
    for (int i = 0; i < 500; ++i) ini.WriteString("s", std::to_string(i) + "n", "v");
    for (int i = 0; i < 400; ++i) ini.DeleteKey("s", std::to_string(i) + "n");
    ini.WriteString("s", "last", "z");
    EXPECT_EQ(ini.Keys("s").size(), 102u);
    EXPECT_EQ(ini.ReadString("s", "450n"), "v");
    const TIniFile again = TIniFile::FromText(ini.Text());
    EXPECT_EQ(again.Text(), ini.Text());
    EXPECT_EQ(again.Keys("s").back(), "last");
}

using IniFiles = test::TempFolder;

TEST_F(IniFiles, LoadAndSave) {
    EXPECT_FALSE(TIniFile::Load(PathOf("missing.ini")).SectionExists("lang"));
    const std::string path = Write("de.ini", "[lang]\r\nPlay=Spielen\r\n");
    TIniFile ini = TIniFile::Load(path);
    EXPECT_EQ(ini.ReadString("lang", "play"), "Spielen");
    ini.WriteString("lang", "Stop", "Halt");
    ini.Save(path);
    EXPECT_EQ(Slurp(path), "[lang]\r\nPlay=Spielen\r\nStop=Halt\r\n");
    EXPECT_THROW(ini.Save(PathOf("no/such/folder/x.ini")), EInOutError);
}

}  // namespace
}  // namespace quillet
