#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "textfile.h"

using namespace quillet;

namespace {
std::string TempDir() {
    const char* base = std::getenv("QUILLET_TEST_TMP");
    std::string dir = std::string(base ? base : "/tmp") + "/textfile";
    mkdir(base ? base : "/tmp", 0755);
    mkdir(dir.c_str(), 0755);
    return dir;
}
}  // namespace

TEST(TextFile, ReadsLfAndCrLfLines) {
    const std::string p = TempDir() + "/lines.txt";
    std::ofstream(p, std::ios::binary) << "one\r\ntwo\nthree";
    EXPECT_EQ(ReadTextLines(p), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(ReadFirstLine(p), "one");
}

TEST(TextFile, ErrorsUseTheRunTimeLibrarysWords) {
    try {
        ReadTextLines(TempDir() + "/missing.txt");
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(FileErrorText(ENOTDIR), "Path not found");
    try {
        ReadTextLines(TempDir());  // a folder
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
}

TEST(TextFile, AtomicWriteReplacesAndFailureKeepsTheOldFile) {
    const std::string p = TempDir() + "/atomic.txt";
    WriteFileAtomic(p, "old\r\n");
    WriteFileAtomic(p, "new\r\n");
    EXPECT_EQ(ReadTextLines(p), std::vector<std::string>{"new"});
    EXPECT_THROW(WriteFileAtomic(TempDir() + "/no/such/folder/x.txt", "x"), EInOutError);
    if (getuid() != 0) {  // root may write anywhere
        chmod(p.c_str(), 0444);
        EXPECT_THROW(WriteFileAtomic(p, "lost"), EInOutError);
        chmod(p.c_str(), 0644);
    }
    EXPECT_EQ(ReadTextLines(p), std::vector<std::string>{"new"});
}
