#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

TEST(Paths, ConfigFolderFollowsTheBaseDirectoryRules) {
    struct Case {
        const char* Xdg;  // nullptr: unset
        const char* Home;
        const char* Expected;
    };
    const Case cases[] = {
        {"/x/conf", "/home/u", "/x/conf/quillet/"},
        {"/x/conf/", "/home/u", "/x/conf/quillet/"},
        {"relative", "/home/u", "/home/u/.config/quillet/"},  // relative values are ignored
        {"", "/home/u", "/home/u/.config/quillet/"},
        {nullptr, "/home/u", "/home/u/.config/quillet/"},
        {nullptr, nullptr, ""},
    };
    const std::string savedXdg =
        std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const Case& c : cases) {
        c.Xdg ? setenv("XDG_CONFIG_HOME", c.Xdg, 1) : unsetenv("XDG_CONFIG_HOME");
        c.Home ? setenv("HOME", c.Home, 1) : unsetenv("HOME");
        EXPECT_EQ(ConfigFolder(), c.Expected) << (c.Xdg ? c.Xdg : "(unset)");
    }
    savedXdg.empty() ? unsetenv("XDG_CONFIG_HOME") : setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    setenv("HOME", savedHome.c_str(), 1);
}
