// The command line, the paths it stands for, the MIME types, the position
// arithmetic, and the single-instance socket with its message format.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "PlayList.h"
#include "app_test_support.h"
#include "command_line.h"
#include "decoders/codec_fixture.h"
#include "input_table.h"
#include "mime_types.h"
#include "paths.h"
#include "play_position.h"
#include "single_instance.h"
#include "track_tags.h"

namespace quillet::test {
namespace {

TEST(CommandLine, ParsesOptionsAndPaths) {
    struct Case {
        std::vector<const char*> Args;
        bool Help, Version, Enqueue;
        std::vector<std::string> Paths;
        bool Error;
    };
    const Case cases[] = {
        {{}, false, false, false, {}, false},
        {{"a.mp3", "dir"}, false, false, false, {"a.mp3", "dir"}, false},
        {{"--enqueue", "a.mp3"}, false, false, true, {"a.mp3"}, false},
        {{"-h"}, true, false, false, {}, false},
        {{"--version", "x"}, false, true, false, {"x"}, false},
        {{"--", "--help", "-"}, false, false, false, {"--help", "-"}, false},
        {{"--bogus", "a.mp3"}, false, false, false, {"a.mp3"}, true},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"quillet"};
        argv.insert(argv.end(), c.Args.begin(), c.Args.end());
        const TCommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        SCOPED_TRACE(c.Args.empty() ? "(none)" : c.Args[0]);
        EXPECT_EQ(line.Help, c.Help);
        EXPECT_EQ(line.Version, c.Version);
        EXPECT_EQ(line.Enqueue, c.Enqueue);
        EXPECT_EQ(line.Paths, c.Paths);
        EXPECT_EQ(!line.Error.empty(), c.Error);
    }
    EXPECT_EQ(AbsolutePath("a/b.mp3", "/home/u"), "/home/u/a/b.mp3");
    EXPECT_EQ(AbsolutePath("a.mp3", "/"), "/a.mp3");
    EXPECT_EQ(AbsolutePath("/x/a.mp3", "/home/u"), "/x/a.mp3");
}

class ExpandTest : public AppTest {};

TEST_F(ExpandTest, FoldersPlaylistsAndBadNames) {
    namespace fs = std::filesystem;
    const std::string d = Dir + "music/";
    fs::create_directories(d + "sub");
    for (const char* name : {"b.mp3", "a.flac", "A.wav", "notes.txt", "sub/c.ogg", "sub/d.MPC",
                             "new\nline.wav", "\xff\xfe.mp3"})
        WriteFile(d + name, "x");
    fs::create_directory_symlink(d, d + "sub/loop");  // a cycle must not be walked twice
    WriteFile(Dir + "list.m3u", "#EXTM3U\r\n#EXTINF:1,Listed\r\nsub/c.ogg\r\n");
    WriteFile(Dir + "readme.txt", "not a list");
    ASSERT_EQ(mkfifo((Dir + "pipe.m3u").c_str(), 0600), 0);  // never opened: no hang

    const std::vector<TPlaylistEntry> got =
        ExpandPaths({Dir + "music", Dir + "gone.mp3", Dir + "list.m3u", Dir + "readme.txt",
                     Dir + "pipe.m3u", Dir + "missing-folder/", ""});
    std::vector<std::string> paths;
    for (const TPlaylistEntry& e : got) paths.push_back(e.FilePath);
    // Names as a file manager shows them, letter case aside.
    const std::vector<std::string> want = {
        d + "a.flac",    d + "A.wav",        d + "b.mp3",      d + "new\nline.wav", d + "sub/c.ogg",
        d + "sub/d.MPC", d + "\xff\xfe.mp3", Dir + "gone.mp3", Dir + "sub/c.ogg",
    };
    EXPECT_EQ(paths, want);
    EXPECT_EQ(got.front().Title, "a.flac");
    EXPECT_EQ(got.back().Title, "Listed");

    std::atomic<bool> cancel{true};
    EXPECT_TRUE(ExpandPaths({Dir + "music"}, &cancel).empty());
}

// A folder's CUE sheet stands where its image would, and the image is not
// added again; the sheet given by name gives the same tracks.
TEST_F(ExpandTest, AFoldersSheetStandsForItsImage) {
    const std::string d = Dir + "album/";
    std::filesystem::create_directories(d);
    WriteFile(d + "X.flac", "x");
    WriteFile(d + "Y.mp3", "x");
    WriteFile(d + "X.cue",
              "FILE \"X.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 00:00:00\n"
              "TRACK 02 AUDIO\nTITLE \"Two\"\nINDEX 01 00:01:00\n");
    const std::vector<TPlaylistEntry> got = ExpandPaths({d, d + "X.cue"});
    std::vector<std::string> rows;
    for (const TPlaylistEntry& e : got) rows.push_back(e.Title + "|" + e.FilePath);
    const std::vector<std::string> want = {"One|" + d + "X.flac", "Two|" + d + "X.flac",
                                           "Y.mp3|" + d + "Y.mp3", "One|" + d + "X.flac",
                                           "Two|" + d + "X.flac"};
    EXPECT_EQ(rows, want);
    EXPECT_EQ(got[1].Range.Start, kFlicksPerSecond);
}

TEST(MimeTypes, EveryPlayableExtensionAndPlaylistHasOne) {
    for (const std::string& ext : PlayableExtensions())
        EXPECT_FALSE(MimeTypesOfExtension(ext).empty()) << ext;
    for (std::string_view ext : PlaylistMimeExtensions())
        EXPECT_NE(DetectPlaylistFormat("x" + std::string(ext), {}), playlist_format::Unknown)
            << ext;
    const std::vector<std::string> all = SupportedMimeTypes();
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
}

TEST(PlayPosition, FromThePlayPointAndBack) {
    struct Case {
        TAuOutput::TPlayPoint Point;
        TPlayPosition Want;
    };
    const Case cases[] = {
        {{44100, 441000, 44100, false}, {1000000, 10000000, false}},
        {{0, -1, 44100, false}, {0, -1, false}},                 // unknown size
        {{24000, 24000, 8000, true}, {3000000, 3000000, true}},  // an estimate
        {{100, 100, 0, false}, {0, -1, false}},                  // no run
        {{0, INT64_MAX, 1, false}, {0, INT64_MAX, false}},       // saturates, never wraps
    };
    for (const Case& c : cases) {
        const TPlayPosition p = PlayPositionOf(c.Point);
        EXPECT_EQ(p.Position, c.Want.Position) << c.Point.Frame << "/" << c.Point.Length;
        EXPECT_EQ(p.Length, c.Want.Length) << c.Point.Frame << "/" << c.Point.Length;
        EXPECT_EQ(p.Estimate, c.Want.Estimate);
    }
    EXPECT_EQ(FrameAt(1500000, 44100), 66150);
    EXPECT_EQ(FrameAt(-5, 44100), 0);
    EXPECT_EQ(FrameAt(INT64_MAX, UINT32_MAX), INT64_MAX);
}

TEST(TrackTags, EachFormatsTagsAndNothingFromWhatCannotBeRead) {
    const std::string dir = FixtureDir("track-tags");
    const std::string wav = "'" + dir + "/source.wav'";
    ASSERT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 0.2 sine 440"));
    struct Case {
        const char* Name;
        std::string Recipe;
        TTrackTags Want;
    };
    const TTrackTags tagged{"Tïtle", "Ärtist", "Album"};
    const Case cases[] = {
        {"t.mp3",
         "lame --quiet --id3v2-only --tt Tïtle --ta Ärtist --tl Album " + wav + " \"$OUT\"",
         tagged},
        {"t.ogg", "oggenc -Q -t Tïtle -a Ärtist -l Album -o \"$OUT\" " + wav, tagged},
        {"t.flac", "flac -s -f -T TITLE=Tïtle -T ARTIST=Ärtist -T ALBUM=Album -o \"$OUT\" " + wav,
         tagged},
        {"t.mpc",
         "mpcenc --silent --overwrite --title Tïtle --artist Ärtist --album Album " + wav +
             " \"$OUT\"",
         tagged},
        {"t.wav", "cp " + wav + " \"$OUT\"", {}},
        {"garbage.flac", "head -c 3000 /dev/urandom > \"$OUT\"", {}},
        {"fifo.mp3", "mkfifo \"$OUT\"", {}},  // must not block
        {"t.txt", "echo x > \"$OUT\"", {}},
    };
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.Name;
        ASSERT_TRUE(Sh("OUT='" + path + "'; rm -f \"$OUT\"; " + c.Recipe)) << c.Name;
        EXPECT_EQ(ReadTrackTags(path), c.Want) << c.Name;
    }
    EXPECT_EQ(ReadTrackTags(dir + "/missing.ogg"), TTrackTags{});
}

TEST(InstanceMessage, RoundTripsAndRefusesGarbage) {
    const TInstanceMessage messages[] = {
        {false, {}},
        {true, {"/a b.mp3", "/new\nline.wav", std::string("/\xff\0x.mp3", 8)}},
    };
    for (const TInstanceMessage& m : messages) {
        const std::string bytes = EncodeInstanceMessage(m);
        bool bad = true;
        EXPECT_EQ(DecodeInstanceMessage(bytes, bad), m);
        EXPECT_FALSE(bad);
        // Every prefix only asks for more.
        for (size_t n = 0; n < bytes.size(); ++n) {
            EXPECT_FALSE(DecodeInstanceMessage(bytes.substr(0, n), bad)) << n;
            EXPECT_FALSE(bad) << n;
        }
    }
    struct Bad {
        const char* What;
        std::string Bytes;
    };
    const Bad bad[] = {
        {"wrong mark", std::string("HTTP", 4)},
        {"huge count", std::string("QLT1\0\xff\xff\xff\xff", 9)},
        {"huge length", std::string("QLT1\0\1\0\0\0\xff\xff\xff\x7f", 13)},
    };
    for (const Bad& b : bad) {
        bool isBad = false;
        EXPECT_FALSE(DecodeInstanceMessage(b.Bytes, isBad)) << b.What;
        EXPECT_TRUE(isBad) << b.What;
    }
}

class InstanceTest : public AppTest {};

TEST_F(InstanceTest, HandsOverReplacesStaleSocketsAndSeesLiveOnes) {
    // A socket's path must fit in 108 bytes: the test folder's may not.
    char folder[] = "/tmp/quillet-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/q.socket";
    const QString name = QString::fromStdString(path);
    EXPECT_FALSE(HandOffToRunningInstance(name, {}, 200));  // nobody there

    // A crashed player's socket file: bound, nobody listening.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);

    TInstanceServer server;
    std::vector<TInstanceMessage> received;
    server.OnMessage = [&](TInstanceMessage m) { received.push_back(std::move(m)); };
    ASSERT_EQ(server.Listen(name), TInstanceServer::TListen::Listening);
    TInstanceServer second;
    EXPECT_EQ(second.Listen(name), TInstanceServer::TListen::OtherInstance);

    const TInstanceMessage sent{true, {"/x/a.mp3", "/x/b\nc.ogg"}};
    std::atomic<int> handed{-1};
    std::thread client([&] { handed = HandOffToRunningInstance(name, sent) ? 1 : 0; });
    EXPECT_TRUE(WaitFor([&] { return handed >= 0; }));
    client.join();
    EXPECT_EQ(handed, 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], sent);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quillet::test
