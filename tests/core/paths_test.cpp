#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "paths.h"

using namespace quillet;

TEST(Paths, FileNamePartAndExtension) {
    EXPECT_EQ(FileNamePart("/music/a.b/song.MP3"), "song.MP3");
    EXPECT_EQ(FileNamePart("C:\\Music\\song.ogg"), "song.ogg");
    EXPECT_EQ(ExtractExtension("/music/a.b/song"), "");  // the dot is in a folder
    EXPECT_EQ(ExtractExtension("/music/song.tar.flac"), ".flac");
    EXPECT_EQ(ExtractExtension("song."), ".");
    EXPECT_EQ(ExtractFilePath("/a/b/c.m3u"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("c.m3u"), "");
    // "\" is part of a local name, never a separator of its folder.
    EXPECT_EQ(ExtractFilePath("/m/AC\\DC/x\\y.m3u"), "/m/AC\\DC/");
    EXPECT_EQ(ExtractFilePath("x\\y.m3u"), "");
}

TEST(Paths, NamesSortAsPeopleSortThem) {
    // Every pair in order, none equal: a total order std::sort may rely on.
    const std::vector<std::string> sorted = {"",
                                             "1 intro.flac",
                                             "01 intro.flac",
                                             "2.mp3",
                                             "10.mp3",
                                             "A.wav",
                                             "a.wav",
                                             "a1",
                                             "a01",
                                             "a2b",
                                             "a10",
                                             "B.ogg",
                                             "track9",
                                             "Track10",
                                             "z",
                                             "\xc3\xa9t\xc3\xa9.mp3"};
    for (size_t i = 0; i < sorted.size(); ++i)
        for (size_t j = 0; j < sorted.size(); ++j)
            EXPECT_EQ(NameLess(sorted[i], sorted[j]), i < j) << sorted[i] << " / " << sorted[j];
}

TEST(Paths, PlaylistEntriesResolveAgainstTheListsFolder) {
    EXPECT_EQ(ResolveEntryPath("/lists/", "sub\\song.mp3"), "/lists/sub/song.mp3");
    EXPECT_EQ(ResolveEntryPath("/lists", "song.mp3"), "/lists/song.mp3");
    EXPECT_EQ(ResolveEntryPath("/lists/", "/abs/song.mp3"), "/abs/song.mp3");
    EXPECT_EQ(ResolveEntryPath("/lists/", "D:\\Music\\x.mp3"), "D:\\Music\\x.mp3");
}

TEST(Paths, AddressesAreToldFromPathsAndNeverResolved) {
    for (const char* url : {"http://x/", "HTTPS://x:8000/a b", "icy://x", "IcyX://x/s", "file:///a",
                            "ftp://x/y.mp3", "a+b.c-d://x"}) {
        EXPECT_TRUE(IsUrl(url)) << url;
        EXPECT_EQ(ResolveEntryPath("/lists/", url), url);
    }
    for (const char* path : {"C:\\music\\a.mp3", "C://x", "/abs/http://x", "://x", "1http://x",
                             "ht tp://x", "song.mp3", "dir/a:b//c"})
        EXPECT_FALSE(IsUrl(path)) << path;
    EXPECT_EQ(ResolveEntryPath("/lists/", "C://x"), "C://x");  // a drive, as before
    EXPECT_TRUE(IsStreamUrl("Http://radio.example/"));
    EXPECT_TRUE(IsStreamUrl("icyx://radio.example/"));
    EXPECT_FALSE(IsStreamUrl("file:///etc/passwd"));
    EXPECT_FALSE(IsStreamUrl("httpx://radio.example/"));
    EXPECT_FALSE(IsStreamUrl("/music/http.mp3"));
}

TEST(Paths, ConfigAndCacheFoldersFollowTheBaseDirectoryRules) {
    struct Case {
        const char* Xdg;  // nullptr: unset
        const char* Home;
        const char* Expected;  // under .config; .cache for the cache folder
    };
    const Case cases[] = {
        {"/x/conf", "/home/u", "/x/conf/quillet/"},
        {"/x/conf/", "/home/u", "/x/conf/quillet/"},
        {"relative", "/home/u", "/home/u/.config/quillet/"},  // relative values are ignored
        {"", "/home/u", "/home/u/.config/quillet/"},
        {nullptr, "/home/u", "/home/u/.config/quillet/"},
        {nullptr, nullptr, ""},
    };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const auto& [variable, folder, under] :
         {std::tuple{"XDG_CONFIG_HOME", &ConfigFolder, ".config"},
          std::tuple{"XDG_CACHE_HOME", &CacheFolder, ".cache"}}) {
        const std::string saved = std::getenv(variable) ? std::getenv(variable) : "";
        for (const Case& c : cases) {
            c.Xdg ? setenv(variable, c.Xdg, 1) : unsetenv(variable);
            c.Home ? setenv("HOME", c.Home, 1) : unsetenv("HOME");
            std::string expected = c.Expected;
            if (const size_t at = expected.find(".config"); at != std::string::npos)
                expected.replace(at, 7, under);
            EXPECT_EQ(folder(), expected) << variable << "=" << (c.Xdg ? c.Xdg : "(unset)");
        }
        saved.empty() ? unsetenv(variable) : setenv(variable, saved.c_str(), 1);
    }
    setenv("HOME", savedHome.c_str(), 1);
}
