// Streams and CUE sheets in the window: a station on a real Icecast server
// played from a PLS, its titles on the row, the caption and the bus; Open
// URL; a generated album image with its sheet, cut as the sheet says; and
// the command line's and the bus's addresses.
#include <QAction>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "app_test_support.h"
#include "command_line.h"
#include "decoders/codec_fixture.h"
#include "mpris.h"
#include "player_control.h"
#include "stream_fixture.h"
#include "stream_input.h"

namespace quillet::test {
namespace {

using MediaWindow = WindowFixture;

// Where `part` starts in `data`; npos when it is not there.
size_t Find(const ByteVec& data, const ByteVec& part) {
    const auto it = std::search(data.begin(), data.end(), part.begin(), part.end());
    return it == data.end() ? std::string::npos : static_cast<size_t>(it - data.begin());
}

ByteVec Slice(const ByteVec& data, size_t from, size_t count) {
    return ByteVec(data.begin() + static_cast<ptrdiff_t>(from),
                   data.begin() + static_cast<ptrdiff_t>(std::min(from + count, data.size())));
}

ByteVec PlayedOn(const std::shared_ptr<SimulatedRingState>& ring) {
    std::lock_guard<std::mutex> g(ring->Lock);
    return ring->Played;
}

// An image of three tracks (the second with a pregap, both boundaries off
// whole milliseconds) whose sheet names a ".wav" that was encoded to FLAC,
// and a fourth track whose FILE is a folder. The image's own tags name the
// album; the rows keep the sheet's titles, and track 2 plays exactly its
// samples, a seek near its end staying in it.
TEST_F(MediaWindow, ACueSheetGivesItsTracksAndPlaysOneToTheSample) {
    const std::string q = "'" + Dir;
    ASSERT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + q + "img.wav' synth 6 brownnoise vol 0.5 && " +
                   "sox " + q + "img.wav' -t raw " + q + "img.raw' && flac -s -f -T TITLE=Whole " +
                   "-T ARTIST=Imager -o " + q + "img.flac' " + q + "img.wav' && rm " + q +
                   "img.wav'"));
    ASSERT_TRUE(Sh("mkdir " + q + "sub'"));
    WriteFile("album.cue",
              "PERFORMER \"Sheet Artist\"\nTITLE \"Sheet Album\"\nFILE \"img.wav\" WAVE\n"
              "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"Guest\"\n"
              "    INDEX 00 00:01:50\n    INDEX 01 00:02:00\n"
              "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:04:37\n"
              "FILE \"sub\" WAVE\n  TRACK 04 AUDIO\n    TITLE \"Lost\"\n    INDEX 01 00:00:00\n");
    Dialogs->Playlists.push_back(Dir + "album.cue");
    OpenPlaylist();
    EXPECT_TRUE(Dialogs->Log.back().Filter.contains(QStringLiteral("*.cue")));
    const std::vector<std::string> rows = {"Sheet Artist - One", "Guest - Two",
                                           "Sheet Artist - Three"};
    EXPECT_EQ(Rows(), rows);
    ASSERT_EQ(Boxes.size(), 1u) << "the problems are told once";
    EXPECT_TRUE(Boxes[0].Text.contains(QStringLiteral("track 4"))) << Boxes[0].Text.toStdString();
    // Dropped, the sheet is read on a worker and gives the same.
    Form->WMDropFiles({QString::fromStdString(Dir + "album.cue")});
    ASSERT_TRUE(WaitFor([&] { return Rows().size() == 6 && Boxes.size() == 2; }));
    EXPECT_EQ(Rows()[4], rows[1]);

    const TPlaylistModel& list = Form->PlaylistEntries();
    ASSERT_TRUE(WaitFor([&] {
        return std::all_of(list.begin(), list.end(),
                           [](const TEntry& e) { return e.Info.State != TEntryState::Unread; });
    }));
    // 75 frames a second: 2 s, 2 s 37 frames, and the rest of 6 s.
    const int64_t lengths[] = {2 * kFlicksPerSecond, kFlicksPerSecond * 187 / 75,
                               kFlicksPerSecond * 113 / 75};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(list[i].Info.State, TEntryState::Playable) << list[i].Info.Error;
        EXPECT_EQ(list[i].Info.LengthFlicks, lengths[i]) << i;
        EXPECT_EQ(list[i].Info.Tags.Album, "Sheet Album");
    }
    EXPECT_EQ(list[1].Info.Tags.Artist, "Guest");
    const std::vector<std::string> read = Rows();
    EXPECT_EQ(std::vector<std::string>(read.begin() + 3, read.end()), rows)
        << "not retitled from the image's tags";
    // Wider, the artist has a column of its own.
    Form->show();
    Form->resize(800, 600);
    const TPlaylistViewModel& view = Form->lbPlaylist->ViewModel();
    QStringList columns;
    for (int c = 0; c < TPlaylistViewModel::colCount; ++c)
        columns << view.data(view.index(1, c), Qt::DisplayRole).toString();
    EXPECT_EQ(columns, QStringList({"Two", "Guest", "Sheet Album", "0:02"}));
    Form->resize(Form->DesignSize());
    EXPECT_EQ(view.data(view.index(1, 0), Qt::DisplayRole).toString(), "Guest - Two");

    // The bus shows the sheet's track.
    TControllerPlayer bus(Form->Player(), *Form);
    TMprisService mpris(bus);
    Form->SetItemIndex(1);
    mpris.Refresh();
    QVariantMap meta = mpris.Metadata();
    EXPECT_EQ(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Two"));
    EXPECT_EQ(meta.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("Guest")});
    EXPECT_EQ(meta.value(QStringLiteral("mpris:length")).toLongLong(), 2493333)
        << "the sheet's length, before it plays";

    const ByteVec image = ReadAll(Dir + "img.raw");
    ASSERT_EQ(image.size(), 6u * 44100 * 4);
    const size_t start = 88200 * 4, length = 109956 * 4;  // 2 s and 2 s 37 frames
    const ByteVec track2 = Slice(image, start, length);
    Form->Player().SetRepeat(TRepeat::StopAfterTrack);
    PlayRow(1);
    ASSERT_TRUE(WaitFor([&] { return Form->Player().PlayPoint().Rate != 0; }));
    EXPECT_EQ(Form->Player().PlayPoint().Length, 109956);
    EXPECT_TRUE(WaitFor([&] { return Form->TimeText().endsWith(QStringLiteral("/ 0:02")); }))
        << Form->TimeText().toStdString();
    ASSERT_TRUE(WaitFor([&] { return !Form->Player().Playing(); }));
    const ByteVec played = PlayedOn(Sound->Ring());
    const size_t at = Find(played, Slice(track2, 0, 4096));
    ASSERT_NE(at, std::string::npos) << "track 2's start was not played";
    EXPECT_TRUE(Slice(played, at, length) == track2) << "not track 2's samples, whole";
    EXPECT_EQ(Find(played, Slice(image, start - 4096, 4096)), std::string::npos)
        << "track 1's end was played";
    EXPECT_EQ(Find(played, Slice(image, start + length, 4096)), std::string::npos)
        << "track 3 was played";

    // Again with the clock held: a seek to 2 s by the track's own clock
    // plays its last samples, not track 3.
    auto hold = std::make_shared<std::atomic<bool>>(true);
    SimulatedSoundSystem* sound = Sound.get();
    Sound->SetOnSleep([sound, hold](uint32_t ms) {
        for (int i = 0; i < 5000 && hold->load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::microseconds(ms * 50));
        sound->Advance(ms);
    });
    const int opens = Sound->OpenCount();
    PlayRow(1);
    ASSERT_TRUE(WaitFor(
        [&] { return Sound->OpenCount() > opens && Form->Player().PlayPoint().Rate != 0; }));
    const auto ring = Sound->Ring();
    Form->Player().SeekTo(2'000'000);
    hold->store(false);
    ASSERT_TRUE(WaitFor([&] { return !Form->Player().Playing(); }));
    const ByteVec after = PlayedOn(ring);
    EXPECT_NE(Find(after, Slice(track2, length - 4096, 4096)), std::string::npos);
    EXPECT_EQ(Find(after, Slice(image, start + length, 4096)), std::string::npos);
}

// A station on a real Icecast server, named by a PLS: it plays, its name
// and then the song sent to the server show on the row, the caption and
// the bus; it has no length and no seek.
TEST_F(MediaWindow, AStationFromAPlsShowsItsTitlesAndHasNoLength) {
    if (!Sh("command -v icecast2 >/dev/null && command -v ezstream >/dev/null"))
        GTEST_SKIP() << "icecast2 or ezstream missing";
    const std::string station = Dir + "station/";
    ASSERT_TRUE(Sh("mkdir -p '" + station + "' && sox -n -r 44100 -c 2 -b 16 '" + station +
                   "src.wav' synth 8 sine 440 vol 0.5 && lame --quiet -t --cbr -b 128 '" + station +
                   "src.wav' '" + station + "src.mp3'"));
    const std::string script = QUILLET_ICECAST " ";
    ASSERT_TRUE(Sh(script + "start '" + station + "'"));
    struct TStop {
        std::string Command;
        ~TStop() { Sh(Command); }
    } stop{script + "stop '" + station + "'"};
    const ByteVec port = ReadAll(station + "port");
    const std::string url =
        "http://127.0.0.1:" + std::string(port.begin(), port.end() - 1) + "/mp3";
    WriteFile("radio.pls", "[playlist]\nFile1=" + url + "\nLength1=-1\nNumberOfEntries=1\n");
    Dialogs->Playlists.push_back(Dir + "radio.pls");
    OpenPlaylist();
    ASSERT_EQ(Paths(), std::vector<std::string>{url});
    EXPECT_EQ(Rows(), std::vector<std::string>{"mp3"}) << "PLS titles are not read";
    // A station sends in real time: so does this device's clock.
    SimulatedSoundSystem* sound = Sound.get();
    Sound->SetOnSleep([sound](uint32_t ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        sound->Advance(ms);
    });

    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Rows()[0] == "Radio Caf\u00e9"; }, 20000)) << Rows()[0];
    ASSERT_TRUE(Sh(script + "title '" + station + "' 'Quill Artist - Ink Song'"));
    ASSERT_TRUE(WaitFor([&] { return Rows()[0] == "Quill Artist - Ink Song"; }, 20000))
        << Rows()[0];
    EXPECT_TRUE(Form->windowTitle().startsWith(QStringLiteral("Quill Artist - Ink Song - ")));
    EXPECT_EQ(Titles(), std::vector<std::string>{"mp3"}) << "a saved list keeps its title";
    EXPECT_NE(Form->PlaylistEntries()[0].Info.State, TEntryState::Failed);

    ASSERT_TRUE(WaitFor([&] { return Form->Player().PlayPoint().Rate != 0; }));
    EXPECT_FALSE(Form->TimeText().contains(QLatin1Char('/'))) << Form->TimeText().toStdString();
    EXPECT_EQ(Form->sbSoundLength->value(), 0);
    EXPECT_FALSE(Form->Player().CanSeek());

    TControllerPlayer bus(Form->Player(), *Form);
    TMprisService mpris(bus);
    mpris.Refresh();
    const QVariantMap meta = mpris.Metadata();
    EXPECT_EQ(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Ink Song"));
    EXPECT_EQ(meta.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("Quill Artist")});
    EXPECT_EQ(meta.value(QStringLiteral("xesam:url")).toString().toStdString(), url);
    EXPECT_FALSE(meta.contains(QStringLiteral("mpris:length")));
    EXPECT_FALSE(mpris.CanSeek());
    Form->sbStop->click();
}

// Open URL in the list's menu and on Ctrl+L: a stream's address is added as
// given (trimmed) and played, a file URL as its file; anything else is
// refused at once. A station that cannot be reached is told once, in a
// message and the caption, and playback stops there: the next row does not
// silently take its place.
TEST_F(MediaWindow, OpenUrlPlaysWhatItOpensAndRefusesTheRest) {
    QAction* action = Form->pmPlayModes->findChild<QAction*>(QStringLiteral("OpenUrl"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    Install<OpenRecorder>(TInputKind::ikMP3, 44100 * 60);
    Dialogs->Inputs = {"ftp://radio.test/x.mp3", "http://radio.test/with space", std::nullopt,
                       "file:///music/a%20b.mp3", "  icy://127.0.0.1:9/live \n"};
    for (int i = 0; i < 3; ++i) action->trigger();
    EXPECT_TRUE(Paths().empty());
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_TRUE(Boxes[0].Text.contains(QStringLiteral("ftp://radio.test/x.mp3")));
    EXPECT_EQ(Dialogs->Log[0].Title, QStringLiteral("Open URL"));
    action->trigger();
    EXPECT_EQ(Form->ItemIndex(), 0);
    EXPECT_EQ(PlayingFile(), "/music/a b.mp3");
    action->trigger();
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/music/a b.mp3", "icy://127.0.0.1:9/live"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a b.mp3", "icy://127.0.0.1:9/live"}));
    EXPECT_EQ(Form->ItemIndex(), 1);
    ASSERT_TRUE(WaitFor([&] { return Boxes.size() == 3; }, 15000)) << "the failure was not told";
    QTest::qWait(300);
    EXPECT_EQ(Boxes.size(), 3u) << "told more than once";
    EXPECT_FALSE(Form->Player().Playing()) << "another row took the station's place";
    EXPECT_TRUE(Boxes[2].Text.contains(QLatin1String(kStreamOpenFailed)));
    EXPECT_TRUE(Form->windowTitle().startsWith(QLatin1String(kStreamOpenFailed)))
        << Form->windowTitle().toStdString();
}

// The command line takes addresses: a stream's as given (never made a path
// in the current folder), a file URL as its path.
TEST(MediaAddresses, TheCommandLineTakesAddresses) {
    EXPECT_EQ(AbsolutePath("http://radio.test/live", "/home/u"), "http://radio.test/live");
    EXPECT_EQ(AbsolutePath("file:///m/%C3%A9t%C3%A9.mp3", "/home/u"), "/m/\u00e9t\u00e9.mp3");
    EXPECT_EQ(AbsolutePath("song.mp3", "/home/u"), "/home/u/song.mp3");
    for (const char* bad : {"file://host/x.mp3", "file:///x%2", "file:///x%00y", "file:x.mp3"})
        EXPECT_EQ(FileUrlPath(bad), std::nullopt) << bad;
    const std::vector<TPlaylistEntry> entries = ExpandPaths({"https://radio.test/a.ogg"});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].FilePath, "https://radio.test/a.ogg");
}

}  // namespace
}  // namespace quillet::test
