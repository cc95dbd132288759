#include <gtest/gtest.h>

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
}

TEST(Paths, PlaylistEntriesResolveAgainstTheListsFolder) {
    EXPECT_EQ(ResolveEntryPath("/lists/", "sub\\song.mp3"), "/lists/sub/song.mp3");
    EXPECT_EQ(ResolveEntryPath("/lists", "song.mp3"), "/lists/song.mp3");
    EXPECT_EQ(ResolveEntryPath("/lists/", "/abs/song.mp3"), "/abs/song.mp3");
    EXPECT_EQ(ResolveEntryPath("/lists/", "D:\\Music\\x.mp3"), "D:\\Music\\x.mp3");
}
