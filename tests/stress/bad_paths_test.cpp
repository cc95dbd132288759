// What a user's files and machine can do to the window: paths that are not
// regular files, files damaged or swapped while they play, no usable sound
// device, and codec libraries missing. In every case the window goes on to
// the next entry, its thread never blocks, and Stop ends it. The window shows
// no box for one run's error (it leaves the output's OnThreadException
// alone; the tests hook that event to see what each run met), only one when
// a whole lap of the list gave no sound.
#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>
#include <chrono>
#include <filesystem>

#include "gap_meter.h"
#include "lib_loader.h"
#include "media_files.h"
#include "stress_window.h"

namespace quillet::test {
namespace {

namespace fs = std::filesystem;

class BadPathsTest : public StressWindowTest {
  protected:
    void SetUp() override {
        StressWindowTest::SetUp();
        Form->audOut->SetOnThreadException(
            [this](TComponent*) { Errors.push_back(Form->audOut->LastError()); });
        QObject::connect(Form->lbPlaylist->selectionModel(),
                         &QItemSelectionModel::currentRowChanged,
                         [this](const QModelIndex& at) { Visited.push_back(at.row()); });
    }
    // Whether the rows visited so far went through every row and back to the first.
    bool WentRound() const {
        std::vector<bool> seen(static_cast<size_t>(Form->Count()));
        size_t seenCount = 0;
        for (int row : Visited) {
            if (row < 0 || row >= Form->Count()) continue;
            if (seenCount == seen.size() && row == 0) return true;
            if (!seen[static_cast<size_t>(row)]) {
                seen[static_cast<size_t>(row)] = true;
                ++seenCount;
            }
        }
        return false;
    }
    std::string Media(const std::string& name, double seconds = 0.3) {
        for (const MediaFile& f : MediaFiles(seconds))
            if (f.name == name) return f.path;
        ADD_FAILURE() << "no fixture " << name;
        return {};
    }
    std::string Copy(const std::string& from, const std::string& name) {
        fs::copy_file(from, Dir + name, fs::copy_options::overwrite_existing);
        return Dir + name;
    }
    // Stops and checks that nothing starts again afterwards.
    void StopAndStayStopped() {
        Form->sbStop->click();
        ASSERT_TRUE(WaitFor([&] { return !Running(); }));
        const int starts = Starts();
        const size_t errors = Errors.size();
        Serve(150);
        EXPECT_EQ(Starts(), starts);
        EXPECT_EQ(Errors.size(), errors);
        EXPECT_FALSE(Running());
        EXPECT_TRUE(Boxes.empty()) << Boxes.front().Text.toStdString();
    }

    std::vector<std::string> Errors;  // LastError of each run that met one
    std::vector<int> Visited;         // rows selected, in order
};

TEST_F(BadPathsTest, NonRegularFilesAreSkippedAndNeverHoldTheWindow) {
    fs::create_directory(Dir + "folder.wav");
    ASSERT_EQ(::mkfifo((Dir + "pipe.mp3").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Dir + "zero.wav");
    fs::create_symlink(Dir + "nowhere.flac", Dir + "dangling.flac");
    const std::string locked = Copy(Media("tone.ogg"), "locked.ogg");
    fs::permissions(locked, fs::perms::none);
    // Root reads a file whatever its mode says; the case is then a plain one.
    const bool lockedIsReadable = ::access(locked.c_str(), R_OK) == 0;
    const std::string good = Copy(Media("tone.flac"), "good.flac");
    AddRows({Dir + "folder.wav", Dir + "pipe.mp3", Dir + "zero.wav", Dir + "dangling.flac", locked,
             good});

    Watchdog dog(60);
    dog.Kick("playing through the non-regular files");
    GapMeter gaps;
    PlayRow(0);
    // The bad entries are invalid inputs: each run ends at once and the list
    // goes round, through the good file, to the first again.
    ASSERT_TRUE(WaitFor([&] { return WentRound(); }, 30000)) << Visited.size() << " rows visited";
    StopAndStayStopped();
    EXPECT_LT(gaps.MaxGapMs(), 1000) << "the GUI thread was held";

    // The same paths as playlists: a message or nothing, the list as it was,
    // never a hang.
    fs::create_directory(Dir + "folder.m3u");
    ASSERT_EQ(::mkfifo((Dir + "pipe.pls").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Dir + "zero.m3u");
    WriteFile("locked.m3u", good + "\n");
    fs::permissions(Dir + "locked.m3u", fs::perms::none);
    for (const char* name : {"folder.m3u", "pipe.pls", "zero.m3u", "locked.m3u"}) {
        SCOPED_TRACE(name);
        dog.Kick(std::string("opening ") + name + " as a playlist");
        const size_t before = Boxes.size();
        Dialogs->Playlist = [&] { return Dir + name; };
        Form->sbPlaylistOpen->click();
        EXPECT_TRUE(WaitFor([&] { return !Form->Opening(); }));
        EXPECT_TRUE(ModelInStep());
        if (std::string(name) != "locked.m3u" || !lockedIsReadable) {
            EXPECT_EQ(Form->Count(), 6);
        }
        for (size_t i = before; i < Boxes.size(); ++i)
            std::printf("%s: %s\n", name, Boxes[i].Text.toStdString().c_str());
    }
    Boxes.clear();  // the playlist errors shown are expected
    EXPECT_LT(gaps.MaxGapMs(), 1000);
}

TEST_F(BadPathsTest, FilesDamagedWhilePlayingEndTheirTrackCleanly) {
    // Long enough that the damage lands while the decoder is still reading.
    SetSpeed(25);
    const std::string next = Copy(Media("pcm16.wav"), "next.wav");
    Watchdog dog(60);
    for (const char* damage : {"deleted", "truncated", "overwritten", "replaced"}) {
        for (const char* name : {"pcm16.wav", "tone.mp3", "tone.ogg", "tone.flac", "tone.wma",
                                 "tone.mpc", "ima.wav"}) {
            SCOPED_TRACE(std::string(damage) + " " + name);
            dog.Kick(std::string(damage) + " " + name);
            const std::string victim = Copy(Media(name, 5.0), std::string("victim-") + name);
            Form->sbNewPlaylistClick();
            AddRows({victim, next});
            const int32_t opens = Sound->OpenCount();
            const int starts = Starts();
            PlayRow(0);
            ASSERT_TRUE(WaitFor([&] { return Sound->OpenCount() > opens; }));
            const std::string other =
                Media(std::string(name) == "tone.ogg" ? "tone.flac" : "tone.ogg", 5.0);
            if (std::string(damage) == "deleted") {
                fs::remove(victim);
            } else if (std::string(damage) == "truncated") {
                fs::resize_file(victim, fs::file_size(victim) / 3);
            } else if (std::string(damage) == "overwritten") {
                // Other bytes under the open descriptor.
                fs::copy_file(other, victim, fs::copy_options::overwrite_existing);
            } else {
                // A new file under the old name; the open one is untouched.
                fs::copy_file(other, Dir + "swap.tmp", fs::copy_options::overwrite_existing);
                fs::rename(Dir + "swap.tmp", victim);
            }
            // The damaged track ends one way or another, and the next plays.
            ASSERT_TRUE(WaitFor([&] { return Form->ItemIndex() == 1; }, 30000));
            ASSERT_TRUE(WaitFor([&] { return Starts() > starts + 1; }, 30000));
            StopAndStayStopped();
            // And the damaged entry, played again, ends as well.
            PlayRow(0);
            ASSERT_TRUE(WaitFor([&] { return Form->ItemIndex() == 1; }, 30000));
            StopAndStayStopped();
        }
    }
}

// A lap of runs without sound ends the chain with one message; the window
// is idle afterwards. One bad entry among good ones is still passed quietly.
TEST_F(BadPathsTest, ALapWithoutSoundStopsWithOneMessage) {
    Watchdog dog(60);
    const std::string missing = Dir + "missing.wav";
    struct Case {
        bool noDevice;
        std::vector<std::string> rows;
        const char* box;  // a part of the one message; nullptr: the list plays on
    };
    const Case cases[] = {
        {true,
         {Media("pcm16.wav"), Media("tone.ogg"), Media("tone.flac")},
         "Failed to create DirectSound device."},
        {false, {missing, Dir + "missing-2.wav"}, "No such file or directory."},
        {false, {missing, Media("pcm16.wav")}, nullptr},
    };
    for (const Case& c : cases) {
        dog.Kick(c.rows.front());
        Sound->SetOpenResult(c.noDevice ? DSERR_NODRIVER : DS_OK);
        Form->sbNewPlaylistClick();
        AddRows(c.rows);
        Errors.clear();
        Visited.clear();
        const int fds = OpenDescriptors();
        PlayRow(0);
        if (c.box == nullptr) {
            ASSERT_TRUE(WaitFor([&] { return Errors.size() >= 3 && WentRound(); }, 30000));
            StopAndStayStopped();
            continue;
        }
        ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); }, 30000));
        Serve(300);
        EXPECT_EQ(Errors.size(), c.rows.size()) << "one lap, then idle";
        EXPECT_FALSE(Running());
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_NE(Boxes[0].Text.toStdString().find(c.box), std::string::npos)
            << Boxes[0].Text.toStdString();
        EXPECT_EQ(Boxes[0].Kind, TMessageKind::mkError);
        EXPECT_LE(OpenDescriptors(), fds);
        Boxes.clear();
    }
    Sound->SetOpenResult(DS_OK);
}

TEST_F(BadPathsTest, AMissingCodecLibraryFailsOnlyItsOwnFormats) {
    struct Case {
        const char* library;
        std::vector<std::string> affected;
    };
    const Case cases[] = {
        {"libFLAC.so.12", {"tone.flac"}},
        {"libvorbisfile.so.3", {"tone.ogg"}},
        {"libmpcdec.so.6", {"tone.mpc"}},
        {"libavcodec.so.59", {"tone.mp3", "tone.wma", "mp3in.wav"}},
    };
    Watchdog dog(60);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        dog.Kick(c.library);
        FailLibraryLoadForTesting(c.library, true);
        for (const MediaFile& f : MediaFiles()) {
            SCOPED_TRACE(f.name);
            const bool affected =
                std::find(c.affected.begin(), c.affected.end(), f.name) != c.affected.end();
            Form->sbNewPlaylistClick();
            AddRows({f.path});
            const size_t errors = Errors.size();
            const int starts = Starts();
            PlayRow(0);
            if (affected) {
                ASSERT_TRUE(WaitFor([&] { return Errors.size() > errors; }));
                EXPECT_NE(Errors[errors].find(c.library), std::string::npos) << Errors[errors];
                // A list of one entry that cannot play is a lap without sound.
                ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); }));
                EXPECT_NE(Boxes[0].Text.toStdString().find(c.library), std::string::npos);
                Boxes.clear();
            } else {
                // One entry repeats: its end starts it again.
                ASSERT_TRUE(WaitFor([&] { return Starts() > starts + 1; }));
            }
            StopAndStayStopped();
            if (!affected) {
                EXPECT_EQ(Errors.size(), errors) << Errors.back();
            }
        }
        FailLibraryLoadForTesting(c.library, false);
    }
}

}  // namespace
}  // namespace quillet::test
