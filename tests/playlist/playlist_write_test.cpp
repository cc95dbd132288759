#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "PlayList.h"
#include "ini.h"
#include "playlist_fixture.h"
#include "textfile.h"

namespace quillet {
namespace {

using PlaylistWrite = test::TempFolder;
using Entries = std::vector<TPlaylistEntry>;

const Entries kTwo = {{"First, with comma", "/music/a.mp3"}, {"Ünïcødé", "C:\\m\\b.ogg"}};

TEST(PlaylistSaveTarget, AppendsTheExtensionOnlyWhenMissing) {
    using enum TPlaylistSaveFormat;
    EXPECT_EQ(PlaylistSaveTarget("/x/list", PLS), "/x/list.pls");
    EXPECT_EQ(PlaylistSaveTarget("/x/list.pls", PLS), "/x/list.pls");
    EXPECT_EQ(PlaylistSaveTarget("/x/list.PlS", PLS), "/x/list.PlS");
    EXPECT_EQ(PlaylistSaveTarget("/x/list.m3u", PLS), "/x/list.m3u.pls");
    EXPECT_EQ(PlaylistSaveTarget("/x/list.M3U", M3U), "/x/list.M3U");
    EXPECT_EQ(PlaylistSaveTarget("/x/list.pls", M3U), "/x/list.pls.m3u");
    EXPECT_EQ(PlaylistSaveTarget("pls", PLS), "pls.pls");
}

TEST_F(PlaylistWrite, NewFilesHaveTheExactLayout) {
    EXPECT_EQ(SavePlaylist(PathOf("two"), TPlaylistSaveFormat::PLS, kTwo), PathOf("two.pls"));
    EXPECT_EQ(Slurp(PathOf("two.pls")),
              "[playlist]\r\n"
              "File1=/music/a.mp3\r\nTitle1=First, with comma\r\nLength1=60\r\n"
              "File2=C:\\m\\b.ogg\r\nTitle2=Ünïcødé\r\nLength2=60\r\n"
              "Version=2\r\nNumberOfEntries=2\r\n");
    SavePlaylist(PathOf("two"), TPlaylistSaveFormat::M3U, kTwo);
    EXPECT_EQ(Slurp(PathOf("two.m3u")),
              "#EXTM3U\r\n\r\n"
              "#EXTINF:60,First, with comma\r\n/music/a.mp3\r\n"
              "#EXTINF:60,Ünïcødé\r\nC:\\m\\b.ogg\r\n");

    SavePlaylist(PathOf("empty"), TPlaylistSaveFormat::PLS, {});
    EXPECT_EQ(Slurp(PathOf("empty.pls")), "[playlist]\r\nVersion=2\r\nNumberOfEntries=0\r\n");
    SavePlaylist(PathOf("empty"), TPlaylistSaveFormat::M3U, {});
    EXPECT_EQ(Slurp(PathOf("empty.m3u")), "#EXTM3U\r\n\r\n");
    EXPECT_EQ(SavePlaylist("", TPlaylistSaveFormat::M3U, kTwo), "");
}

TEST_F(PlaylistWrite, PlsOverALongerPlsKeepsOnlyTheNewEntries) {
    const std::string target = Write("old.pls",
                                     "; written by another player\n"
                                     "[Playlist]\n"
                                     "NumberOfEntries=5\n"
                                     "file1=/old/1.mp3\n"
                                     "Title1=one\n"
                                     "Length1=100\n"
                                     "File3=/old/3.mp3\n"
                                     "File4=/old/4.mp3\n"
                                     "Title5=five\n"
                                     "Length12=7\n"
                                     "File2=/old/2.mp3\n"
                                     "File5=/old/5.mp3\n"
                                     "Filename=kept\n"
                                     "Version=2\n"
                                     "\n"
                                     "[other]\n"
                                     "File9=kept in another section\n");
    WritePlsPlaylist(target, kTwo);
    EXPECT_EQ(Slurp(target),
              "; written by another player\r\n"
              "[Playlist]\r\n"
              "NumberOfEntries=2\r\n"
              "file1=/music/a.mp3\r\n"
              "Title1=First, with comma\r\n"
              "Length1=60\r\n"
              "File2=C:\\m\\b.ogg\r\n"
              "Filename=kept\r\n"
              "Version=2\r\n"
              "Title2=Ünïcødé\r\n"
              "Length2=60\r\n"
              "\r\n"
              "[other]\r\n"
              "File9=kept in another section\r\n");
    const TIniFile ini = TIniFile::Load(target);
    EXPECT_EQ(ini.ReadString("playlist", "numberofentries"), "2");
}

TEST_F(PlaylistWrite, RoundTripsThroughTheReader) {
    const Entries entries = {
        {"a.mp3", "/music/a.mp3"}, {"b c.ogg", "/music/sub/b c.ogg"}, {"d.flac", "/other/d.flac"}};
    std::vector<TPlaylistEntry> back;
    for (auto format : {TPlaylistSaveFormat::PLS, TPlaylistSaveFormat::M3U}) {
        const std::string target = SavePlaylist(PathOf("rt"), format, entries);
        ASSERT_TRUE(OpenPlaylistEntries(target, back));
        EXPECT_EQ(back, entries) << target;
    }
    // An M3U read, saved and read again: the written blank second line comes
    // back as one entry without a path, which Open playlist drops.
    const std::string source =
        Write("src.m3u", "#EXTM3U\r\n#EXTINF:1,Artist, Song\r\nC:\\a.mp3\r\nrel\\b.ogg\r\n");
    ASSERT_TRUE(OpenPlaylistEntries(source, back));
    const std::string saved = SavePlaylist(PathOf("resaved"), TPlaylistSaveFormat::M3U, back);
    std::vector<std::string> titles, paths;
    ASSERT_TRUE(ReadPlaylist(saved, titles, paths));
    EXPECT_EQ(titles, (std::vector<std::string>{"", "Artist, Song", "b.ogg"}));
    EXPECT_EQ(paths, (std::vector<std::string>{"", "C:\\a.mp3", Dir.string() + "/rel/b.ogg"}));
    Entries again;
    ASSERT_TRUE(OpenPlaylistEntries(saved, again));
    EXPECT_EQ(again, back);
}

TEST_F(PlaylistWrite, AddressesAreSavedAsGivenWithoutALength) {
    const Entries entries = {{"Radio", "icy://radio.example:8000/live"},
                             {"a.mp3", "/music/a.mp3"},
                             {"Other", "https://radio.example/x.ogg"}};
    SavePlaylist(PathOf("radio"), TPlaylistSaveFormat::PLS, entries);
    EXPECT_EQ(Slurp(PathOf("radio.pls")),
              "[playlist]\r\n"
              "File1=icy://radio.example:8000/live\r\nTitle1=Radio\r\nLength1=-1\r\n"
              "File2=/music/a.mp3\r\nTitle2=a.mp3\r\nLength2=60\r\n"
              "File3=https://radio.example/x.ogg\r\nTitle3=Other\r\nLength3=-1\r\n"
              "Version=2\r\nNumberOfEntries=3\r\n");
    SavePlaylist(PathOf("radio"), TPlaylistSaveFormat::M3U, entries);
    EXPECT_EQ(Slurp(PathOf("radio.m3u")),
              "#EXTM3U\r\n\r\n"
              "#EXTINF:-1,Radio\r\nicy://radio.example:8000/live\r\n"
              "#EXTINF:60,a.mp3\r\n/music/a.mp3\r\n"
              "#EXTINF:-1,Other\r\nhttps://radio.example/x.ogg\r\n");
    Entries back;
    ASSERT_TRUE(OpenPlaylistEntries(PathOf("radio.m3u"), back));
    EXPECT_EQ(back, entries);
}

// Runs `body` in a child process inside `dir`, as an ordinary user when we
// are root; true when it returned true.
bool InChildWithoutRoot(const std::filesystem::path& dir, const std::function<bool()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        bool ok = chdir(dir.c_str()) == 0;
        if (ok && geteuid() == 0) ok = setgid(65534) == 0 && setuid(65534) == 0;
        try {
            ok = ok && body();
        } catch (...) {
            ok = false;
        }
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Saving changes the content and nothing else the user set up: a link stays
// a link, other hard links see the new list, mode and owner stay, and a file
// that may be written is written even where its folder may not.
TEST_F(PlaylistWrite, SavingKeepsLinksModeOwnerAndFolder) {
    using enum TPlaylistSaveFormat;
    namespace fs = std::filesystem;
    const Entries other = {{"x", "/x.mp3"}};
    for (auto format : {PLS, M3U}) {
        const std::string ext = format == PLS ? ".pls" : ".m3u";
        const std::string two = Slurp(SavePlaylist(PathOf("plain2"), format, kTwo));
        const std::string one = Slurp(SavePlaylist(PathOf("plain1"), format, other));
        fs::create_directories(Dir / "real");
        const std::string target = Write("real/list" + ext, "");
        ASSERT_EQ(chmod(target.c_str(), 0640), 0);

        ASSERT_EQ(symlink(("real/list" + ext).c_str(), PathOf("link" + ext).c_str()), 0);
        SavePlaylist(PathOf("link"), format, kTwo);
        EXPECT_TRUE(fs::is_symlink(PathOf("link" + ext))) << ext;
        EXPECT_EQ(Slurp(target), two) << ext;
        struct stat st {};
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << ext;

        // Emptied in place before each save: PLS keeps an old file's layout.
        auto empty = [&] { std::ofstream(target, std::ios::trunc); };
        ASSERT_EQ(link(target.c_str(), PathOf("hard" + ext).c_str()), 0);
        empty();
        SavePlaylist(PathOf("hard"), format, other);
        EXPECT_EQ(Slurp(target), one) << ext;

        if (geteuid() == 0) {  // only root can give a file away
            ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
            empty();
            SavePlaylist(target, format, kTwo);
            ASSERT_EQ(stat(target.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u) << ext;
            EXPECT_EQ(st.st_gid, 65534u) << ext;
            EXPECT_EQ(Slurp(target), two) << ext;
        }

        fs::create_directories(Dir / "locked");
        const std::string locked = Write("locked/list" + ext, "");
        ASSERT_EQ(chmod(locked.c_str(), 0666), 0);
        ASSERT_EQ(chmod((Dir / "locked").c_str(), 0555), 0);
        EXPECT_TRUE(InChildWithoutRoot(Dir / "locked", [&] {
            return SavePlaylist("list", format, kTwo) == "list" + ext;
        })) << ext;
        EXPECT_EQ(Slurp(locked), two) << ext;
        chmod((Dir / "locked").c_str(), 0755);
        fs::remove_all(Dir / "locked");
        fs::remove_all(Dir / "real");
    }
}

// Lets the next writes fail half-way (EFBIG), even for root.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FOld;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

  private:
    rlimit FOld{};
    void (*FOldHandler)(int);
};

TEST_F(PlaylistWrite, FailuresLeaveTheOldFileIntact) {
    const std::string old = "[playlist]\r\nFile1=/keep/me.mp3\r\nNumberOfEntries=1\r\n";
    const std::string pls = Write("keep.pls", old);
    const std::string m3u = Write("keep.m3u", old);
    Entries many(200, {"title", "/a/long/enough/path/to/exceed/the/limit.mp3"});
    {
        FileSizeLimit limit(512);
        try {
            WritePlsPlaylist(pls, many);
            ADD_FAILURE() << "PLS write succeeded";
        } catch (const EInOutError&) {
            ADD_FAILURE() << "raw file error instead of the PLS message";
        } catch (const Exception& e) {
            EXPECT_EQ(e.what(), "Unable to write to " + pls);
        }
        EXPECT_THROW(WriteM3uPlaylist(m3u, many), EInOutError);
        // A hard-linked file is rewritten in place, its new length reserved first.
        ASSERT_EQ(link(m3u.c_str(), PathOf("linked.m3u").c_str()), 0);
        EXPECT_THROW(WriteM3uPlaylist(m3u, many), EInOutError);
    }
    EXPECT_EQ(Slurp(pls), old);
    EXPECT_EQ(Slurp(m3u), old);
    std::filesystem::remove(PathOf("linked.m3u"));
    // Nothing but the two files is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 2);

    std::filesystem::create_directory(Dir / "folder.pls");
    EXPECT_THROW(WritePlsPlaylist(PathOf("folder.pls"), kTwo), Exception);
    try {
        WriteM3uPlaylist(PathOf("folder.pls"), kTwo);
        ADD_FAILURE() << "M3U write over a folder succeeded";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
    EXPECT_THROW(WritePlsPlaylist(PathOf("missing/x.pls"), kTwo), Exception);
}

}  // namespace
}  // namespace quillet
