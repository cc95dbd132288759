#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

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
