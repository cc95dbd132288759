#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

// A save through a link writes the regular file it leads to and leaves the
// link a link; a link to a FIFO or a device (or the FIFO itself) is refused
// and left exactly as it was, without blocking on the FIFO.
TEST(TextFile, AtomicWriteGoesThroughLinksToRegularFilesOnly) {
    const std::string dir = TempDir();
    const std::string real = dir + "/real.ini", link = dir + "/link.ini";
    unlink(real.c_str());
    unlink(link.c_str());
    WriteFileAtomic(real, "old\r\n");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    WriteFileAtomic(link, [](int fd) { ASSERT_EQ(write(fd, "new\r\n", 5), 5); });
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadTextLines(real), std::vector<std::string>{"new"});

    const std::string fifo = dir + "/fifo", toFifo = dir + "/to-fifo.ini",
                      toDevice = dir + "/to-null.ini";
    for (const std::string& p : {fifo, toFifo, toDevice}) unlink(p.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink(fifo.c_str(), toFifo.c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", toDevice.c_str()), 0);
    for (const std::string& p : {fifo, toFifo, toDevice}) {
        try {
            WriteFileAtomic(p, "session\r\n");
            ADD_FAILURE() << p << " was written";
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), kNotRegularFileText);
        }
    }
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // A failing fill leaves the old content and no temporary file behind.
    EXPECT_THROW(WriteFileAtomic(real, [](int) { throw EInOutError("No space left", ENOSPC); }),
                 EInOutError);
    EXPECT_EQ(ReadTextLines(real), std::vector<std::string>{"new"});
    int temps = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        temps += e.path().extension() == ".tmp";
    EXPECT_EQ(temps, 0);
}
