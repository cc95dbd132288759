#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <utility>

#include "PlayList.h"
#include "playlist_fixture.h"
#include "textfile.h"

namespace quillet {
namespace {

namespace fmt = playlist_format;
using Pairs = std::vector<std::pair<std::string, std::string>>;  // title, path

class PlaylistRead : public test::TempFolder {
  protected:
    // Reads `content` stored under `name`; fails the test when the result differs.
    Pairs Read(const std::string& name, const std::string& content, bool expectKnown = true) {
        std::vector<std::string> titles{"stale"}, paths{"stale", "lists"};
        EXPECT_EQ(ReadPlaylist(Write(name, content), titles, paths), expectKnown) << name;
        EXPECT_EQ(titles.size(), paths.size());
        Pairs out;
        for (size_t i = 0; i < titles.size() && i < paths.size(); ++i)
            out.emplace_back(titles[i], paths[i]);
        return out;
    }
};

TEST_F(PlaylistRead, DetectsContentBeforeExtension) {
    struct Case {
        const char* name;
        const char* content;
        std::string_view format;
    };
    const Case cases[] = {
        {"a.m3u", "", fmt::M3U},
        {"a.txt", "", fmt::Unknown},
        {"noext", "#EXTM3U\n", fmt::M3U},
        {"a.pls", "\r\n  \t\r\n  #EXTM3U  \r\n[playlist]\r\n", fmt::M3U},
        {"a.txt", "[playlist]\nFile1=x\n", fmt::Unknown},
        {"a.PLS", "[playlist]\nFile1=x\n", fmt::PLS},
        {"a.m3u", "BSPLxyz\n", fmt::BSPlayerCrypted},
        {"a.bsl", " BSPL leading blank counts\n", fmt::BSPlayer},
        {"a.txt", "bspl\n", fmt::Unknown},
        {"a.txt", "MPCPLAYLIST\r\n1,type,0\r\n", fmt::MPC},
        {"a.txt", "<Asx version=\"3.0\">\n", fmt::ASX},
        {"a.txt", " <asx>\n", fmt::Unknown},
        {"a.txt", "#extm3u\n", fmt::Unknown},
        {"a.MpcPl", "x\n", fmt::MPC},
        {"a.lap", "x\n", fmt::LightAlloy},
        {"a.ASX", "x\n", fmt::ASX},
        {"dir.m3u/a", "x\n", fmt::Unknown},
    };
    std::filesystem::create_directories(Dir / "dir.m3u");
    for (const Case& c : cases)
        EXPECT_EQ(DetectPlaylistFormat(Write(c.name, c.content)), c.format)
            << c.name << " / " << c.content;
    EXPECT_EQ(DetectPlaylistFormat(PathOf("missing.m3u")), fmt::Unknown);
    EXPECT_EQ(DetectPlaylistFormat(PathOf("dir.m3u")), fmt::Unknown);  // a folder
}

TEST_F(PlaylistRead, UnknownAndMissingGiveFalseAndEmptyLists) {
    EXPECT_TRUE(Read("a.txt", "song.mp3\n", false).empty());
    std::vector<std::string> titles{"x"}, paths{"y"};
    EXPECT_FALSE(ReadPlaylist(PathOf("missing.m3u"), titles, paths));
    EXPECT_TRUE(titles.empty() && paths.empty());
    EXPECT_TRUE(Read("empty.m3u", "").empty());
    EXPECT_TRUE(Read("crypted.txt", "BSPL\x01\x02\x03\nC:\\a.mp3\n").empty());
}

TEST_F(PlaylistRead, ExtendedM3UFromWindowsAndLinux) {
    EXPECT_EQ(Read("win.m3u",
                   "#EXTM3U\r\n"
                   "#EXTINF:215,Simon, Garfunkel - Mrs. Robinson\r\n"
                   "C:\\Music\\mrs robinson.mp3\r\n"
                   "#extinf:10,lower case\r\n"
                   "..\\rel\\b.ogg\r\n"
                   "#EXTINF:no comma\r\n"
                   "\r\n"
                   "#EXTM3U\r\n"
                   "  plain.flac  \r\n"
                   "#comment line\r\n"
                   "\r\n"
                   "#EXTINF,comma right after the tag\r\n"
                   "x.wav\r\n"
                   "#EXTINF:1,Ünïcødé 日本\n"
                   "/home/u/m\xC3\xBCsik/a.mp3\n"
                   "cr\rinside\n"
                   "#EXTINF:5,at end of file"),
              (Pairs{{"Simon, Garfunkel - Mrs. Robinson", "C:\\Music\\mrs robinson.mp3"},
                     {"lower case", "..\\rel\\b.ogg"},
                     {"", ""},
                     {"plain.flac", "plain.flac"},
                     {"#comment line", "#comment line"},
                     {"", ""},
                     {"comma right after the tag", "x.wav"},
                     {"Ünïcødé 日本", "/home/u/m\xC3\xBCsik/a.mp3"},
                     {"cr\rinside", "cr\rinside"},
                     {"at end of file", ""}}));
    // The path line after #EXTINF is taken as it stands.
    EXPECT_EQ(Read("raw.m3u", "#EXTINF:1,t\n  spaced.mp3 \n"), (Pairs{{"t", "  spaced.mp3 "}}));
    // The blank line after the header is an entry of its own.
    EXPECT_EQ(Read("hdr.m3u", "#EXTM3U\n\nsong.mp3\n"),
              (Pairs{{"", ""}, {"song.mp3", "song.mp3"}}));
}

TEST_F(PlaylistRead, BSPlayerLightAlloyAndMPC) {
    EXPECT_EQ(Read("a.bsl", "C:\\a\\one.mp3\r\n\r\n  /m/two.ogg \r\n"),
              (Pairs{{"one.mp3", "C:\\a\\one.mp3"}, {"", ""}, {"two.ogg", "/m/two.ogg"}}));
    EXPECT_EQ(Read("a.lap",
                   "\r\n"
                   "C:\\a\\one.mp3\r\n"
                   ">N First Song\r\n"
                   "  \r\n"
                   "two.mp3\r\n"
                   "ab\r\n"
                   "three.mp3\r\n"
                   "\xC3\xA9\xC3\xA9\xC3\xA9Name\r\n"
                   "last.mp3"),
              (Pairs{{"First Song", "C:\\a\\one.mp3"},
                     {"", "two.mp3"},
                     {"Name", "three.mp3"},
                     {"", "last.mp3"}}));
    EXPECT_EQ(Read("a.mpcpl",
                   "MPCPLAYLIST\r\n"
                   "1,type,0\r\n"
                   "1,filename,C:\\Music\\a,b.mp3\r\n"
                   "2,type,0\r\n"
                   "2,FILENAME,ignored.mp3\r\n"
                   "3,filename,rel\\c.ogg\r\n"),
              (Pairs{{"a,b.mp3", "C:\\Music\\a,b.mp3"}, {"c.ogg", "rel\\c.ogg"}}));
}

TEST_F(PlaylistRead, PlsTakesFileLinesInLineOrder) {
    EXPECT_EQ(Read("a.pls",
                   "[playlist]\r\n"
                   "File2=C:\\b.mp3\r\n"
                   "Title2=ignored title\r\n"
                   "Length2=60\r\n"
                   "file1=/m/a=b.mp3\r\n"
                   "FILE3\r\n"
                   "NumberOfEntries=1\r\n"
                   "Version=2\r\n"),
              (Pairs{{"b.mp3", "C:\\b.mp3"}, {"a=b.mp3", "/m/a=b.mp3"}, {"", ""}}));
}

TEST_F(PlaylistRead, AsxTakesOneLineEntries) {
    EXPECT_EQ(Read("a.asx",
                   "<ASX version=\"3.0\">\r\n"
                   "  <Entry><Ref href=\"http://radio.example/a.mp3\"/></Entry>\r\n"
                   "<ENTRY><ref href=\"C:\\m\\b.wma\" /></ENTRY>\r\n"
                   "<entry>\r\n"
                   "  <ref href=\"c.mp3\"/>\r\n"
                   "</entry>\r\n"
                   "<entry><ref href=\"unterminated.mp3\r\n"
                   "</ASX>\r\n"),
              (Pairs{{"a.mp3", "http://radio.example/a.mp3"},
                     {"b.wma", "C:\\m\\b.wma"},
                     {"", ""},
                     {"unterminated.mp3", "unterminated.mp3"}}));
}

TEST_F(PlaylistRead, OpenResolvesCutsAndDropsEmptyPaths) {
    const std::string title200(200, 't');
    std::string utf8Title;
    for (int i = 0; i < 160; ++i) utf8Title += "\xC3\xA9";
    const std::string file = Write("list.m3u",
                                   "#EXTM3U\r\n"
                                   "\r\n"
                                   "#EXTINF:60," +
                                       title200 +
                                       "\r\n"
                                       "sub\\dir\\a.mp3\r\n"
                                       "#EXTINF:60," +
                                       utf8Title +
                                       "\r\n"
                                       "D:\\music\\b.mp3\r\n"
                                       "/abs/c.flac\r\n"
                                       "\\rooted\\d.mp3\r\n");
    std::vector<TPlaylistEntry> entries{{"stale", "stale"}};
    std::string format;
    ASSERT_TRUE(OpenPlaylistEntries(file, entries, &format));
    EXPECT_EQ(format, fmt::M3U);
    const std::string folder = Dir.string() + "/";
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0], (TPlaylistEntry{std::string(150, 't'), folder + "sub/dir/a.mp3"}));
    EXPECT_EQ(entries[1].Title, utf8Title.substr(0, 300));
    EXPECT_EQ(entries[1].FilePath, "D:\\music\\b.mp3");
    EXPECT_EQ(entries[2], (TPlaylistEntry{"c.flac", "/abs/c.flac"}));
    EXPECT_EQ(entries[3], (TPlaylistEntry{"d.mp3", folder + "/rooted/d.mp3"}));

    EXPECT_FALSE(OpenPlaylistEntries(Write("x.txt", "a.mp3\n"), entries, &format));
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(format, fmt::Unknown);
}

TEST_F(PlaylistRead, AddressesStayAsWrittenInEveryFormat) {
    // Each format's own way of naming an entry, with an address in it.
    const std::vector<std::pair<std::string, std::string>> lists = {
        {"l.m3u", "#EXTM3U\r\n#EXTINF:-1,Radio\r\n%s\r\n"},
        {"l.pls", "[playlist]\r\nFile1=%s\r\nLength1=-1\r\nNumberOfEntries=1\r\n"},
        {"l.asx", "<asx version=\"3.0\">\r\n<entry><ref href=\"%s\"/></entry>\r\n</asx>\r\n"},
        {"l.bsl", "%s\r\n"},
        {"l.mpcpl", "MPCPLAYLIST\r\n1,type,0\r\n1,filename,%s\r\n"},
        {"l.lap", "%s\r\n>N Radio\r\n"},
    };
    for (const std::string url : {"http://radio.example:8000/live", "ICY://radio.example/a b",
                                  "file:///etc/passwd", "https://radio.example/x\\y.mp3"}) {
        for (const auto& [name, layout] : lists) {
            std::string text = layout;
            text.replace(text.find("%s"), 2, url);
            std::vector<TPlaylistEntry> entries;
            ASSERT_TRUE(OpenPlaylistEntries(Write(name, text), entries)) << name;
            ASSERT_EQ(entries.size(), 1u) << name;
            EXPECT_EQ(entries[0].FilePath, url) << name;  // never put under the list's folder
        }
    }
}

// Bytes this process has read so far; -1 when the kernel does not say.
int64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

TEST_F(PlaylistRead, HugeFilesAreDetectedFromTheirStartAndRefusedWhole) {
    constexpr off_t kSize = off_t{300} << 20;  // sparse: over the cap, no disk used
    struct Case {
        const char* name;
        const char* start;
        std::string_view format;
    } cases[] = {
        {"big.bin", "#EXTM3U\r\n", fmt::M3U},
        {"big.txt", "not a playlist\n", fmt::Unknown},
        {"big.pls", "\r\n \n[playlist]\n", fmt::PLS},
    };
    for (const Case& c : cases) {
        const std::string file = Write(c.name, c.start);
        ASSERT_EQ(truncate(file.c_str(), kSize), 0);
        const int64_t before = BytesRead();
        EXPECT_EQ(DetectPlaylistFormat(file), c.format) << c.name;
        std::vector<std::string> titles, paths;
        if (c.format == fmt::Unknown) {
            EXPECT_FALSE(ReadPlaylist(file, titles, paths));
        } else {
            try {
                ReadPlaylist(file, titles, paths);
                ADD_FAILURE() << c.name << " was read";
            } catch (const EInOutError& e) {
                EXPECT_STREQ(e.what(), "File too large");
            }
        }
        if (before >= 0) {
            EXPECT_LT(BytesRead() - before, 1 << 20) << c.name;
        }
    }
}

// A huge file with no line break (of blanks: NULs, spaces) is detected from a
// bounded head, not read through its whole first line; so is one whose first
// line that is not blank starts past the head.
TEST_F(PlaylistRead, DetectionReadsABoundedHead) {
    constexpr off_t kSize = off_t{300} << 20;
    struct Case {
        const char* name;
        std::string start;
        std::string_view format;
    } cases[] = {
        {"zeros.txt", "", fmt::Unknown},
        {"zeros.m3u", "", fmt::M3U},
        {"spaces.pls", std::string(1 << 20, ' '), fmt::PLS},
        {"late.txt", std::string(kPlaylistDetectBytes, '\n') + "#EXTM3U\n", fmt::Unknown},
        {"early.txt", std::string(kPlaylistDetectBytes - 100, '\n') + "#EXTM3U\n", fmt::M3U},
    };
    for (const Case& c : cases) {
        const std::string file = Write(c.name, c.start);
        if (c.start.size() < 100000) {
            ASSERT_EQ(truncate(file.c_str(), kSize), 0);
        }
        const int64_t before = BytesRead();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DetectPlaylistFormat(file), c.format) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200))
            << c.name;
        if (before >= 0) {
            EXPECT_LE(BytesRead() - before, kPlaylistDetectBytes + 4096) << c.name;  // and /proc
        }
    }
}

TEST_F(PlaylistRead, UnreadableFileRaisesTheFileError) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    const std::string file = Write("locked.m3u", "a.mp3\n");
    std::filesystem::permissions(file, std::filesystem::perms::none);
    std::vector<std::string> titles, paths;
    try {
        ReadPlaylist(file, titles, paths);
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
    // Saving over a PLS that cannot be read must not replace it.
    EXPECT_THROW(WritePlsPlaylist(file, {{"t", "/p.mp3"}}), Exception);
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    EXPECT_EQ(Slurp(file), "a.mp3\n");
}

}  // namespace
}  // namespace quillet
