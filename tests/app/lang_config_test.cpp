// Where the language choice is read and written, without a window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "lang_config.h"
#include "textfile.h"

namespace quillet::test {
namespace {

class LangConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Dir = std::string(std::getenv("QUILLET_TEST_TMP")) + "/" + info->name() + "/";
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir + "prog");
        User = Dir + "config/quillet/";
        Program = Dir + "prog/";
    }
    void Write(const std::string& path, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    std::string NameIn(const std::string& content) {
        Write(Dir + "probe.cfg", content);
        return ReadLanguageName(Dir + "probe.cfg");
    }
    std::string Dir, User, Program;
};

TEST_F(LangConfigTest, TheUsersFileComesFirstThenTheInstalledOne) {
    // Neither: the installed one is named, and reading it says what is wrong.
    EXPECT_EQ(LangCfgPath(User, Program), Program + "lang.cfg");
    try {
        ReadLanguageChoice(User, Program);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    Write(Program + "lang.cfg", "de\r\n");
    EXPECT_EQ(ReadLanguageChoice(User, Program), "de");
    EXPECT_EQ(LangCfgPath("", Program), Program + "lang.cfg");  // no home folder

    Write(User + "lang.cfg", "fr\r\n");
    EXPECT_EQ(ReadLanguageChoice(User, Program), "fr");

    // A user's file that cannot be read is reported, not hidden by the default.
    std::filesystem::remove(User + "lang.cfg");
    std::filesystem::create_directories(User + "lang.cfg");
    EXPECT_EQ(LangCfgPath(User, Program), User + "lang.cfg");
    EXPECT_THROW(ReadLanguageName(User + "lang.cfg"), EInOutError);

    // A file where the settings folder should be is no settings folder.
    std::filesystem::remove_all(Dir + "config");
    Write(Dir + "config", "x");
    EXPECT_EQ(LangCfgPath(User, Program), Program + "lang.cfg");
}

TEST_F(LangConfigTest, OnlyALineThatCanNameALanguageFileCounts) {
    EXPECT_EQ(NameIn("fr\r\nsecond line\r\n"), "fr");
    EXPECT_EQ(NameIn("fr"), "fr");
    EXPECT_EQ(NameIn("fran\xC3\xA7"
                     "ais\n"),
              "fran\xC3\xA7"
              "ais");
    EXPECT_EQ(NameIn(""), "");
    EXPECT_EQ(NameIn("\r\nfr\r\n"), "");
    EXPECT_EQ(NameIn(std::string("fr\0\x01\xfe", 5)), "");  // binary
    EXPECT_EQ(NameIn("../../etc/x\n"), "");
    EXPECT_EQ(NameIn("a\tb\n"), "");
    // The longest name that leaves room for ".ini" in a file name, and one more.
    EXPECT_EQ(NameIn(std::string(251, 'n') + "\r\n"), std::string(251, 'n'));
    EXPECT_EQ(NameIn(std::string(252, 'n') + "\r\n"), "");
    // A huge file of one line: only its head is read.
    EXPECT_EQ(NameIn(std::string(8 << 20, 'n')), "");
}

TEST_F(LangConfigTest, TheChoiceIsWrittenToTheUsersFolder) {
    Write(Program + "lang.cfg", "en\r\n");
    WriteLanguageName(User, "de");  // makes config/quillet/
    EXPECT_EQ(ReadFileText(User + "lang.cfg"), "de\r\n");
    EXPECT_EQ(ReadLanguageChoice(User, Program), "de");
    EXPECT_EQ(ReadFileText(Program + "lang.cfg"), "en\r\n");

    EXPECT_THROW(WriteLanguageName("", "de"), EInOutError);
    Write(Dir + "blocked", "x");
    EXPECT_THROW(WriteLanguageName(Dir + "blocked/quillet/", "de"), EInOutError);
}

}  // namespace
}  // namespace quillet::test
