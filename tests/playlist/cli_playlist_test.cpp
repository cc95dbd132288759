// quillet-cli playlist, run as a separate process.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>

#include <cstdio>
#include <string>
#include <vector>

#include "playlist_fixture.h"

namespace quillet {
namespace {

using CliPlaylist = test::TempFolder;

// Runs `quillet-cli playlist` with the arguments (each quoted); returns its
// stdout and sets `status` to its exit code.
std::string RunCli(const std::vector<std::string>& args, int& status) {
    std::string cmd = QUILLET_CLI " playlist";
    for (const std::string& a : args) cmd.append(" '").append(a).append("'");
    cmd.append(" 2>/dev/null");
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    status = WEXITSTATUS(pclose(p));
    return out;
}

TEST_F(CliPlaylist, PrintsFormatAndResolvedEntries) {
    const std::string file = Write("l.pls",
                                   "[playlist]\r\nFile1=sub\\a.mp3\r\nFile2=\r\n"
                                   "File3=/abs/b.ogg\r\n");
    int status = -1;
    EXPECT_EQ(RunCli({file}, status),
              "PLS Playlist\na.mp3\t" + Dir.string() + "/sub/a.mp3\nb.ogg\t/abs/b.ogg\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RunCli({PathOf("missing.m3u")}, status), "Unknown\n");
    EXPECT_EQ(status, 0);
    RunCli({"a", "b"}, status);
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace quillet
