// The state kept between runs: what a damaged state gives, what survives a
// round trip, and the whole start and close of the window's session.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app_test_support.h"
#include "desktop_session.h"
#include "entry_info.h"
#include "ini.h"
#include "list_session.h"
#include "session_resume.h"
#include "session_state.h"
#include "session_store.h"
#include "simulated_device.h"
#include "textfile.h"

namespace quillet::test {
namespace {

class SessionStateTest : public AppTest {
  protected:
    std::string Folder() const { return Dir + "config/quillet/"; }
};

TEST_F(SessionStateTest, DamagedStateGivesDefaults) {
    struct Case {
        const char* What;
        const char* Playlist;  // nullptr: no file
        const char* Ini;
        size_t Entries;
        int Row, Volume;
        TRepeat Repeat = TRepeat::List;
        bool Shuffle = false;
        TReplayGainMode Gain = TReplayGainMode::Smart;
        double PreampDb = 0;
    };
    const Case cases[] = {
        {"nothing saved", nullptr, nullptr, 0, -1, 0},
        {"garbage list", "\x01\x02\xff garbage", "[session]\r\nRow=0\r\nVolume=300\r\n", 0, -1,
         300},
        {"row and volume not numbers", "#EXTM3U\r\n/a.mp3\r\n",
         "[session]\r\nRow=x\r\nVolume=1e3\r\n", 1, -1, 0},
        {"row past the list, volume out of range", "#EXTM3U\r\n/a.mp3\r\n",
         "[session]\r\nRow=1\r\nVolume=10001\r\n", 1, -1, 0},
        {"negative volume", "#EXTM3U\r\n/a.mp3\r\n", "[session]\r\nRow=0\r\nVolume=-1\r\n", 1, 0,
         0},
        {"good", "#EXTM3U\r\n/a.mp3\r\n/b.mp3\r\n", "[SESSION]\r\nrow = 1\r\nVolume=10000\r\n", 2,
         1, 10000},
        {"modes", nullptr, "[session]\r\nRepeat=stop-at-end\r\nShuffle=1\r\n", 0, -1, 0,
         TRepeat::StopAtEnd, true},
        {"unknown modes", nullptr,
         "[session]\r\nRepeat=ONE\r\nShuffle=yes\r\nReplayGain=loud\r\nPreAmp=+abc\r\n", 0, -1, 0},
        {"gain", nullptr, "[session]\r\nReplayGain=album\r\nPreAmp=-4.5\r\n", 0, -1, 0,
         TRepeat::List, false, TReplayGainMode::Album, -4.5},
        // The menu offers -6 to +6 dB: a value past them is brought back in.
        {"pre-amp clamped", nullptr, "[session]\r\nReplayGain=off\r\nPreAmp=+60\r\n", 0, -1, 0,
         TRepeat::List, false, TReplayGainMode::Off, 6},
        {"pre-amp past the menu", nullptr, "[session]\r\nPreAmp=12\r\n", 0, -1, 0, TRepeat::List,
         false, TReplayGainMode::Smart, 6},
        {"pre-amp below the menu", nullptr, "[session]\r\nPreAmp=-6.5\r\n", 0, -1, 0, TRepeat::List,
         false, TReplayGainMode::Smart, -6},
        {"pre-amp not finite", nullptr, "[session]\r\nPreAmp=inf\r\n", 0, -1, 0},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(Folder());
        if (c.Playlist) WriteFile(Folder() + kStatePlaylistName, c.Playlist);
        if (c.Ini) WriteFile(Folder() + kStateFileName, c.Ini);
        const TSessionState s = LoadSessionState(Folder());
        EXPECT_EQ(s.Entries.size(), c.Entries) << c.What;
        EXPECT_EQ(s.Row, c.Row) << c.What;
        EXPECT_EQ(s.Volume, c.Volume) << c.What;
        EXPECT_EQ(s.Repeat, c.Repeat) << c.What;
        EXPECT_EQ(s.Shuffle, c.Shuffle) << c.What;
        EXPECT_EQ(s.Gain.Mode, c.Gain) << c.What;
        EXPECT_EQ(s.Gain.PreampDb, c.PreampDb) << c.What;
    }
    // A folder that is a file, and no folder at all.
    WriteFile(Dir + "plain", "x");
    EXPECT_TRUE(LoadSessionState(Dir + "plain/").Entries.empty());
    EXPECT_TRUE(LoadSessionState("").Entries.empty());
}

TEST_F(SessionStateTest, RoundTripKeepsWhatALineCanHold) {
    TSessionState saved;
    saved.Entries = {
        {"Ünïcödé title", "/music/Ünïcödé.flac"},
        {"skipped", "/music/new\nline.mp3"},  // cannot be a playlist line
        {"two\nlines", "/music/\xff latin1.mp3"},
        {"gone", "/no/such/file.ogg"},  // stays listed
    };
    saved.Row = 2;
    saved.Volume = 1234;
    saved.Repeat = TRepeat::One;
    saved.Shuffle = true;
    saved.Gain = {TReplayGainMode::Album, -2.5};
    WriteFile(Folder() + kStateFileName, "[window]\r\nGeometry=1,2,3,4\r\n");
    SaveSessionState(Folder(), saved);

    const TSessionState back = LoadSessionState(Folder());
    const std::vector<TPlaylistEntry> want = {
        {"Ünïcödé title", "/music/Ünïcödé.flac"},
        {"two lines", "/music/\xff latin1.mp3"},
        {"gone", "/no/such/file.ogg"},
    };
    EXPECT_EQ(back.Entries, want);
    EXPECT_EQ(back.Row, 1);  // followed its entry past the one left out
    EXPECT_EQ(back.Volume, 1234);
    EXPECT_EQ(back.Repeat, TRepeat::One);
    EXPECT_TRUE(back.Shuffle);
    EXPECT_EQ(back.Gain.Mode, TReplayGainMode::Album);
    EXPECT_EQ(back.Gain.PreampDb, -2.5);
    // Keys of other parts of the player stay.
    EXPECT_EQ(TIniFile::Load(Folder() + kStateFileName).ReadString("window", "Geometry"),
              "1,2,3,4");

    // A folder that cannot be made fails loudly and leaves nothing half-written.
    WriteFile(Dir + "blocker", "x");
    EXPECT_THROW(SaveSessionState(Dir + "blocker/quillet/", saved), EInOutError);
}

// Parts of the player saving at once (the device menu's worker, the GUI
// thread) keep each other's keys: each save reads, changes and writes the
// file as one step.
TEST_F(SessionStateTest, PartsSavingAtOnceKeepEachOthersKeys) {
    constexpr int kParts = 3, kSaves = 20;
    std::vector<std::thread> parts;
    for (int p = 0; p < kParts; ++p)
        parts.emplace_back([this, p] {
            for (int i = 1; i <= kSaves; ++i) {
                TStateSection section(Folder(), "part" + std::to_string(p));
                section.Write("Saves", std::to_string(i));
                section.Save();
            }
        });
    for (std::thread& t : parts) t.join();
    for (int p = 0; p < kParts; ++p)
        EXPECT_EQ(TStateSection(Folder(), "part" + std::to_string(p)).Read("Saves"),
                  std::to_string(kSaves));
}

class DesktopSessionTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    }
    // On a device whose clock runs 20 times faster than real time: fast,
    // yet a track's place can still be looked at before it ends.
    std::unique_ptr<TFrmQuillet> MakeWindow() {
        auto sound = std::make_shared<SimulatedSoundSystem>();
        SimulatedSoundSystem* device = sound.get();
        sound->SetOnSleep([device](uint32_t ms) {
            std::this_thread::sleep_for(std::chrono::microseconds(ms * 50));
            device->Advance(ms);
        });
        return std::make_unique<TFrmQuillet>(ProgramDir, std::move(sound));
    }
};

TEST_F(DesktopSessionTest, RestoresAddsArgumentsAndSavesOnClose) {
    const std::string folder = Dir + "config/";
    TSessionState saved;
    saved.Entries = {{"one", Dir + "one.wav"}, {"two", Dir + "two.wav"}};
    saved.Row = 1;
    saved.Volume = 2500;
    saved.Repeat = TRepeat::StopAfterTrack;
    saved.Gain = {TReplayGainMode::Off, 3};
    SaveSessionState(folder, saved);
    WriteFile("x.txt", "not a sound");
    {
        auto window = MakeWindow();
        TDesktopSession session(window->Player(), *window,
                                {true, {Dir + "three.wav", Dir + "x.txt"}}, folder, {});
        session.SaveState();  // nothing read yet: nothing written
        EXPECT_EQ(LoadSessionState(folder).Entries.size(), 2u);
        session.Start();
        ASSERT_TRUE(WaitFor([&] { return window->Count() == 3; }));
        EXPECT_EQ(window->ItemIndex(), 1);  // --enqueue: the saved row stays selected
        EXPECT_EQ(window->tbVolume->value(), 2500);
        EXPECT_EQ(window->Player().Repeat(), TRepeat::StopAfterTrack);
        EXPECT_EQ(window->audOut->ReplayGain().Mode, TReplayGainMode::Off);
        EXPECT_EQ(window->audOut->ReplayGain().PreampDb, 3);
        EXPECT_FALSE(window->audOut->Active());
        session.Open({Dir + "four.wav"}, false);
        ASSERT_TRUE(WaitFor([&] { return window->Count() == 4; }));
        window->tbVolume->setValue(700);
        window->Player().SetShuffle(true);
        window->Player().SetReplayGain({TReplayGainMode::Album, -6});
        session.SaveState();
    }
    // The older single list was taken over into the lists' folder.
    const TKeptLists kept = LoadKeptLists(folder);
    EXPECT_FALSE(kept.Legacy);
    ASSERT_EQ(kept.Lists.size(), 1u);
    const TKeptList& list = kept.Lists[0];
    ASSERT_EQ(list.Entries.size(), 4u);
    EXPECT_EQ(list.Entries[2].Entry.FilePath, Dir + "three.wav");
    EXPECT_EQ(list.Entries[3].Entry.Title, "four.wav");
    EXPECT_EQ(list.Row, 1);
    const TSessionState back = LoadSessionState(folder);
    EXPECT_EQ(back.Volume, 700);
    EXPECT_EQ(back.Repeat, TRepeat::StopAfterTrack);
    EXPECT_TRUE(back.Shuffle);
    EXPECT_EQ(back.Gain.Mode, TReplayGainMode::Album);
    EXPECT_EQ(back.Gain.PreampDb, -6);
    EXPECT_TRUE(Boxes.empty());
}

// The session's files may be links: one to a regular file is written
// through and stays a link; a save through one to a FIFO is refused and
// leaves the link and the FIFO as they were (and never blocks on it).
TEST_F(DesktopSessionTest, SavesThroughLinksReplaceOnlyRegularFiles) {
    namespace fs = std::filesystem;
    const std::string folder = Dir + "config/";
    fs::create_directories(folder + "lists");
    for (const char* fifo : {"state.fifo", "index.fifo"})
        ASSERT_EQ(::mkfifo((Dir + fifo).c_str(), 0600), 0);
    WriteFile("kept.m3u8", "");
    fs::create_symlink(Dir + "state.fifo", folder + kStateFileName);
    fs::create_symlink(Dir + "index.fifo", folder + "lists/index.ini");
    fs::create_symlink(Dir + "kept.m3u8", folder + "lists/1.m3u8");
    {
        auto window = MakeWindow();
        TDesktopSession session(window->Player(), *window, {true, {Dir + "a.wav"}}, folder, {});
        session.Start();
        ASSERT_TRUE(WaitFor([&] { return window->Count() == 1; }));
        window->Player().SetVolume(1200);
        session.SaveState();
    }
    for (const char* link : {kStateFileName, "lists/index.ini", "lists/1.m3u8"})
        EXPECT_TRUE(fs::is_symlink(folder + link)) << link;
    EXPECT_TRUE(fs::is_fifo(Dir + "state.fifo"));
    EXPECT_TRUE(fs::is_fifo(Dir + "index.fifo"));
    EXPECT_NE(ReadFileText(Dir + "kept.m3u8").find(Dir + "a.wav"), std::string::npos);
    EXPECT_TRUE(Boxes.empty());
}

// A list's file is written again only when that list changed: not after a
// restart, not when another list is edited or closed.
TEST_F(DesktopSessionTest, OnlyAListThatChangedIsWrittenAgain) {
    namespace fs = std::filesystem;
    const std::string folder = Dir + "config/";
    WriteFile("a.wav", SilentWav(44100));
    WriteFile("b.wav", SilentWav(44100));
    auto inode = [&](TListId id) {
        struct stat st {};
        return ::stat((folder + "lists/" + std::to_string(id) + ".m3u8").c_str(), &st) == 0
                   ? st.st_ino
                   : 0;
    };
    auto read = [](const TPlaylistModel& list) {
        return !list.empty() && list[0].Info.State == TEntryState::Playable;
    };
    {
        auto window = MakeWindow();
        TDesktopSession session(window->Player(), *window, {true, {Dir + "a.wav"}}, folder, {});
        session.Start();
        TPlaylistSet& lists = window->Lists;
        ASSERT_TRUE(WaitFor([&] { return read(lists.List(0)); }));
        lists.Show(lists.Add("B"));
        window->AppendEntry("b", Dir + "b.wav");
        ASSERT_TRUE(WaitFor([&] { return read(lists.List(1)); }));
        session.SaveState();
    }
    const auto a = inode(1), b = inode(2);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    auto window = MakeWindow();
    TDesktopSession session(window->Player(), *window, {}, folder, {});
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return session.Restored(); }));
    TPlaylistSet& lists = window->Lists;
    ASSERT_EQ(lists.Count(), 2);
    lists.List(1).Rename(0, "renamed");
    session.SaveState();
    EXPECT_EQ(inode(1), a) << "a restart and another list's edit leave it";
    EXPECT_NE(inode(2), b);
    lists.Close(1);
    session.SaveState();
    EXPECT_EQ(inode(1), a);
    EXPECT_FALSE(fs::exists(folder + "lists/2.m3u8"));
}

TEST_F(DesktopSessionTest, RestartResumesTheTrackHeardAndStartsAddOnlyNewEntries) {
    const std::string folder = Dir + "config/";
    WriteFile("one.wav", SilentWav(30 * 44100));
    WriteFile("two.wav", SilentWav(44100));
    auto heardSeconds = [](TFrmQuillet& w) {
        const TAuOutput::TPlayPoint at = w.Player().PlayPoint();
        return at.Rate == 0 ? -1.0 : static_cast<double>(at.Frame) / at.Rate;
    };
    {
        auto window = MakeWindow();
        TDesktopSession session(window->Player(), *window, {false, {Dir + "one.wav"}}, folder, {});
        session.Start();
        ASSERT_TRUE(WaitFor([&] { return window->Player().CanSeek(); }));
        window->Player().SeekTo(5000000);
        ASSERT_TRUE(WaitFor([&] { return heardSeconds(*window) >= 5; }));
        window->close();
        session.SaveState();
    }
    EXPECT_EQ(LoadResumePoint(folder).Row, 0);
    const double saved =
        static_cast<double>(LoadResumePoint(folder).OffsetFlicks) / kFlicksPerSecond;
    // The heard place counts a decoded block a moment before it reaches the ring, so the
    // wait above may end up to a block early.
    EXPECT_GE(saved, 4.9);
    {
        // Given again with a new file, enqueued: only the new file comes.
        auto window = MakeWindow();
        TDesktopSession session(window->Player(), *window,
                                {true, {Dir + "one.wav", Dir + "two.wav"}}, folder, {});
        session.Start();
        ASSERT_TRUE(WaitFor([&] { return window->Count() == 2 && window->PlayingRow() == 0; }));
        // Selected and marked, nothing playing; the bar and time show the place.
        EXPECT_EQ(window->ItemIndex(), 0);
        EXPECT_FALSE(window->Player().Playing());
        const QString shown =
            QStringLiteral("0:%1 / 0:30").arg(int(saved), 2, 10, QLatin1Char('0'));
        ASSERT_TRUE(WaitFor([&] { return window->TimeText() == shown; }));
        EXPECT_NEAR(heardSeconds(*window), saved, 0.01);
        EXPECT_EQ(window->sbSoundLength->value(), static_cast<int>(saved * 100 / 30));
        // Play goes on from there rather than from the start.
        window->sbPlay->click();
        ASSERT_TRUE(
            WaitFor([&] { return window->Player().Active() && heardSeconds(*window) >= 0; }));
        EXPECT_GE(heardSeconds(*window), saved - 0.1);
        // A later start naming a file in the list plays its row.
        session.Open({Dir + "two.wav"}, true);
        ASSERT_TRUE(WaitFor([&] { return window->PlayingRow() == 1; }));
        EXPECT_EQ(window->Count(), 2);
        window->Player().PlayEntry(window->PlaylistEntries()[0].Id, 7 * kFlicksPerSecond);
        ASSERT_TRUE(WaitFor([&] { return heardSeconds(*window) >= 7; }));
        window->close();
        session.SaveState();
    }
    // The file changed meanwhile: a place past its end is its start.
    WriteFile("one.wav", SilentWav(2 * 44100));
    {
        auto window = MakeWindow();
        TDesktopSession session(window->Player(), *window, {}, folder, {});
        session.Start();
        ASSERT_TRUE(WaitFor([&] {
            return window->PlayingRow() == 0 &&
                   window->PlaylistEntries()[0].Info.State != TEntryState::Unread;
        }));
        EXPECT_EQ(heardSeconds(*window), 0);
        window->sbPlay->click();
        // It plays, from there (no "past the end" error).
        ASSERT_TRUE(
            WaitFor([&] { return window->Player().Active() && heardSeconds(*window) >= 0; }));
    }
    EXPECT_TRUE(Boxes.empty());
}

}  // namespace
}  // namespace quillet::test
