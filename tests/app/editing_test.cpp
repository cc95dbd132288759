// Editing the playlist in the window: add, drop, remove, rename, the list's
// keys, new, open and save. Dialogs are answered by a scripted provider, so
// nothing here waits for a user.
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "PlayList.h"
#include "UMain.h"
#include "app_test_support.h"
#include "ini.h"
#include "input_table.h"
#include "simulated_device.h"
#include "synthetic.h"

namespace quillet::test {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class EditingTest : public WindowFixture {
  protected:
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(Form.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form.get(), &drop);
    }
};

TEST_F(EditingTest, AddFileTakesAnyNameWithTheLanguagesDialogTexts) {
    WriteFile(ProgramDir + "lang/xx.ini",
              "[lang]\r\nDlgOpenS=Pick a sound\r\nDlgOpenSFilter=Waves|*.wav|All|*.*\r\n");
    Form->LoadLanguage("xx");
    AddRows({"first.wav"});
    Form->SetItemIndex(0);
    const std::string longName(160, 'n');
    Dialogs->SoundFiles = {Dir + "missing.xyz", "", Dir + "sub/" + longName + ".mp3"};
    for (int i = 0; i < 3; ++i) Form->sbAddFile->click();

    ASSERT_EQ(Dialogs->Log.size(), 3u);
    EXPECT_EQ(Dialogs->Log[0].Title, "Pick a sound");
    // Every format first, then the language's filter (its own "All" last).
    EXPECT_TRUE(Dialogs->Log[0].Filter.startsWith("Audio files|*.mp3;*.ogg;"));
    EXPECT_TRUE(Dialogs->Log[0].Filter.endsWith(";*.dsf|Waves|*.wav|All|*.*"));
    const std::string cut = CutTitle(longName + ".mp3");
    EXPECT_EQ(cut.size(), 150u);
    // No file check, a cancel adds nothing, the row shows the cut title.
    EXPECT_EQ(Rows(), (std::vector<std::string>{"first.wav", "missing.xyz", cut}));
    EXPECT_EQ(Titles(), Rows());
    EXPECT_EQ(Paths()[2], Dir + "sub/" + longName + ".mp3");
    EXPECT_EQ(Form->ItemIndex(), 0);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(EditingTest, DropAddsOnlyLocalFilesWithExactlyAnAcceptedExtension) {
    const std::string longName = std::string(155, 'L') + ".flac";
    Drop({QUrl::fromLocalFile(QString::fromStdString(Dir + "a.wma")),
          QUrl::fromLocalFile(QString::fromStdString(Dir + "B.MP3")),
          QUrl::fromLocalFile(QString::fromStdString(Dir + "c.ogg")),
          QUrl(QStringLiteral("https://example.org/d.mp3")),
          QUrl::fromLocalFile(QString::fromStdString(Dir + longName)),
          QUrl::fromLocalFile(QString::fromStdString(Dir + "e.mp+"))});
    // The drop's own order; the long name whole in the row, cut in the title.
    EXPECT_EQ(Rows(), (std::vector<std::string>{"c.ogg", longName, "e.mp+"}));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"c.ogg", longName.substr(0, 150), "e.mp+"}));
    EXPECT_EQ(Paths(), (std::vector<std::string>{Dir + "c.ogg", Dir + longName, Dir + "e.mp+"}));
    EXPECT_TRUE(Boxes.empty());

    // Five characters of the extension count, letter case included.
    for (const char* yes : {"x.mp3", "x.wav", "x.mpc", "x.mpp", "x.flacx", "/d.d/x.ogg"})
        EXPECT_TRUE(IsDropExtension(yes)) << yes;
    for (const char* no : {"x.Mp3", "x.WAV", "x.wma", "x.mp3x", "noext", "dir.mp3/file", "x.mp"})
        EXPECT_FALSE(IsDropExtension(no)) << no;

    // A drag of something that holds no local file is not taken.
    QMimeData text;
    text.setText(QStringLiteral("just text"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(Form.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(EditingTest, RemoveKeepsTheOrderAndLeavesNoSelection) {
    AddRows({"a.wav", "b.wav", "c.wav"});
    Form->sbRemoveFile->click();  // nothing selected: nothing happens
    EXPECT_EQ(Rows().size(), 3u);
    Form->SetItemIndex(1);
    Form->sbRemoveFile->click();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a.wav", "c.wav"}));
    EXPECT_EQ(Paths(), (std::vector<std::string>{Dir + "a.wav", Dir + "c.wav"}));
    EXPECT_EQ(Form->ItemIndex(), -1);

    Form->sbNewPlaylist->click();
    AddRows({"only.wav"});
    Form->SetItemIndex(0);
    Form->sbRemoveFile->click();
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(Form->PlaylistEntries().empty());
    EXPECT_EQ(Form->ItemIndex(), -1);
}

TEST_F(EditingTest, KeysActOnTheSelectionAndStillMoveByTypeAhead) {
    QTreeView* list = Form->lbPlaylist;
    // Each key starts a new type-ahead search instead of extending the last.
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(0);
    auto type = [list](char c) {
        WaitFor([] { return false; }, 2);
        QTest::keyClick(list, c);
    };
    AddRows({"alpha.wav", "beta.wav", "xeno.wav"});
    // Without a selection "e" and "x" do nothing here; the list still
    // searches with them.
    type('e');
    EXPECT_EQ(Form->ItemIndex(), -1);
    type('x');
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_EQ(Form->ItemIndex(), 2);
    EXPECT_TRUE(Dialogs->Log.empty());
    // "A" asks for a file, with or without a selection.
    Dialogs->SoundFiles = {"", ""};
    type('A');
    Form->SetItemIndex(-1);
    type('A');
    ASSERT_EQ(Dialogs->Log.size(), 2u);
    EXPECT_EQ(Dialogs->Log[1].Kind, "sound");
    Dialogs->Log.clear();

    // "x" removes the selected row, then the list looks for a row with "x".
    Form->SetItemIndex(0);
    type('x');
    EXPECT_EQ(Rows(), (std::vector<std::string>{"beta.wav", "xeno.wav"}));
    EXPECT_EQ(Form->ItemIndex(), 1);

    // "e" renames the selected row; other characters open the find field
    // (list_tools_test.cpp), where a row they hide is no selection.
    Dialogs->Inputs = {std::string("renamed")};
    type('e');
    EXPECT_EQ(Rows(), (std::vector<std::string>{"beta.wav", "renamed"}));
    type('b');
    EXPECT_EQ(Form->ItemIndex(), -1);
    EXPECT_TRUE(list->isRowHidden(1, {}));
    EXPECT_EQ(Dialogs->Log.size(), 1u);
    EXPECT_TRUE(Boxes.empty());
    QApplication::setKeyboardInputInterval(interval);
}

TEST_F(EditingTest, RenameShowsTheWholeTextAndStoresItsFirst150Characters) {
    WriteFile(ProgramDir + "lang/xx.ini",
              "[lang]\r\nNameChangeTitle=Rename\r\nNameChangePrompt=New name:\r\n");
    Form->LoadLanguage("xx");
    AddRows({"a.wav", "b.wav"});
    Form->SetItemIndex(1);
    const std::string long200 = std::string(100, 'x') + std::string(100, 'y');
    Dialogs->Inputs = {std::string("Song"), std::nullopt, std::string(), long200};

    Form->lbPlaylistKeyPress(QStringLiteral("e"));  // OK
    ASSERT_EQ(Dialogs->Log.size(), 1u);
    EXPECT_EQ(Dialogs->Log[0].Title, "Rename");
    EXPECT_EQ(Dialogs->Log[0].Filter, "New name:");
    EXPECT_EQ(Dialogs->Log[0].Initial, "b.wav");
    EXPECT_EQ(Rows()[1], "Song");
    EXPECT_EQ(Titles()[1], "Song");

    Form->lbPlaylistKeyPress(QStringLiteral("e"));  // Cancel keeps the name
    EXPECT_EQ(Dialogs->Log[1].Initial, "Song");
    EXPECT_EQ(Rows()[1], "Song");
    EXPECT_EQ(Titles()[1], "Song");

    Form->lbPlaylistKeyPress(QStringLiteral("e"));  // empty
    EXPECT_EQ(Rows()[1], "");
    EXPECT_EQ(Titles()[1], "");

    Form->lbPlaylistKeyPress(QStringLiteral("e"));  // 200 characters
    EXPECT_EQ(Rows()[1], long200);
    EXPECT_EQ(Titles()[1], long200.substr(0, 150));
    EXPECT_EQ(Paths()[1], Dir + "b.wav");
    EXPECT_EQ(Form->ItemIndex(), 1);

    // The saved playlist carries the stored 150.
    Dialogs->Saves = {{Dir + "out", 2}};
    Form->sbSavePlaylist->click();
    EXPECT_NE(ReadAll(Dir + "out.m3u").find("#EXTINF:60," + long200.substr(0, 150) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(ReadAll(Dir + "out.m3u").find(long200), std::string::npos);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(EditingTest, OpenReplacesOnlyOnceReadAndResolvesRelativePaths) {
    AddRows({"old.wav"});
    Dialogs->Playlists = {""};
    OpenPlaylist();  // cancelled: the list stays
    EXPECT_EQ(Rows(), std::vector<std::string>{"old.wav"});
    Form->PlaylistEntries().Clear();
    ASSERT_EQ(Dialogs->Log.size(), 1u);
    EXPECT_EQ(Dialogs->Log[0].Title, "Open playlist:");
    EXPECT_EQ(Dialogs->Log[0].Filter,
              "Playlists|*.m3u;*.m3u8;*.pls;*.asx;*.bsl;*.mpcpl;*.lap;*.cue|"
              "M3U Playlist|*.m3u|BSPlayer Playlist|*.bsl|Media Player Classic|*.mpcpl|"
              "Light Alloy Playlist|*.lap|PLS Playlist|*.pls|Windows Media ASX Playlist|*.asx|"
              "CUE Sheet|*.cue");

    AddRows({"old.wav"});
    WriteFile("lists/notes.txt", "#EXTINF:1,a\r\na.mp3\r\n");
    Dialogs->Playlists = {Dir + "lists/notes.txt"};
    OpenPlaylist();  // unknown format: nothing read, the list stays
    EXPECT_EQ(Rows(), std::vector<std::string>{"old.wav"});
    Form->PlaylistEntries().Clear();
    EXPECT_TRUE(Boxes.empty());

    const std::string longTitle(170, 't');
    WriteFile("lists/mix.m3u",
              "#EXTM3U\r\n\r\n"
              "#EXTINF:10,Artist, Song\r\nMusic\\Disc 1\\one.mp3\r\n"
              "#EXTINF:10,Absolute\r\n/srv/music/two.ogg\r\n"
              "#EXTINF:10,Drive\r\nC:\\Music\\three.wma\r\n"
              "#EXTINF:10," +
                  longTitle + "\r\nfour.flac\r\n");
    Dialogs->Playlists = {Dir + "lists/mix.m3u"};
    OpenPlaylist();
    // The blank line after the header names no file and is left out.
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Artist, Song", "Absolute", "Drive",
                                                  longTitle.substr(0, 150)}));
    EXPECT_EQ(Rows(), Titles());
    EXPECT_EQ(Paths(),
              (std::vector<std::string>{Dir + "lists/Music/Disc 1/one.mp3", "/srv/music/two.ogg",
                                        "C:\\Music\\three.wma", Dir + "lists/four.flac"}));
    EXPECT_TRUE(Boxes.empty());

    Form->sbNewPlaylist->click();
    EXPECT_EQ(Dialogs->Log.size(), 3u);  // New asks nothing
    EXPECT_TRUE(Rows().empty());
}

TEST_F(EditingTest, SaveWritesTheChosenFormatAndReadsBackTheSame) {
    Form->AppendEntry("Artist, Song", Dir + "music/one.mp3");
    Form->AppendEntry("Zwei Lieder", Dir + "music/two.ogg");
    Dialogs->Saves = {{"", 1}, {Dir + "saved/list", 2}, {Dir + "saved/other.PLS", 1}};
    std::filesystem::create_directories(Dir + "saved");
    Form->sbSavePlaylist->click();  // cancelled: nothing written
    Form->sbSavePlaylist->click();
    Form->sbSavePlaylist->click();
    ASSERT_EQ(Dialogs->Log.size(), 3u);
    EXPECT_EQ(Dialogs->Log[0].Title, "Save playlist...");
    EXPECT_EQ(Dialogs->Log[0].Filter, "PLS Playlist|*.pls|M3U Playlist|*.m3u");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir + "saved"),
                            std::filesystem::directory_iterator()),
              2);
    EXPECT_EQ(ReadAll(Dir + "saved/list.m3u"), "#EXTM3U\r\n\r\n#EXTINF:60,Artist, Song\r\n" + Dir +
                                                   "music/one.mp3\r\n#EXTINF:60,Zwei Lieder\r\n" +
                                                   Dir + "music/two.ogg\r\n");
    EXPECT_TRUE(std::filesystem::exists(Dir + "saved/other.PLS"));  // no second extension
    const std::vector<TPlaylistEntry> saved = Form->PlaylistEntries().Items();

    Dialogs->Playlists = {Dir + "saved/list.m3u", Dir + "saved/other.PLS"};
    OpenPlaylist();
    EXPECT_EQ(Form->PlaylistEntries().Items(), saved);
    // PLS titles are not read back: the file-name part stands in.
    OpenPlaylist();
    EXPECT_EQ(Paths(), (std::vector<std::string>{Dir + "music/one.mp3", Dir + "music/two.ogg"}));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"one.mp3", "two.ogg"}));
    EXPECT_TRUE(Boxes.empty());

    // Targets that cannot be written are reported through the error box.
    std::filesystem::create_directories(Dir + "saved/taken.pls");
    Dialogs->Saves = {{Dir + "saved/taken", 1}};
    Form->sbSavePlaylist->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text.toStdString(), "Unable to write to " + Dir + "saved/taken.pls.");
    EXPECT_TRUE(std::filesystem::is_directory(Dir + "saved/taken.pls"));
    Boxes.clear();
    Dialogs->Saves = {{Dir + "nofolder/list", 2}};
    Form->sbSavePlaylist->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Kind, TMessageKind::mkError);
    EXPECT_EQ(Boxes[0].Text, "Path not found.");
}

// A saved list gives each entry's length as its file told it, in whole
// seconds; a stream's is -1, and 60 stands only for a length not known.
TEST_F(EditingTest, SaveWritesEachLengthAsRead) {
    WriteFile("three.wav", SilentWav(44100 * 34 / 10));
    AddFiles({Dir + "three.wav"});
    Form->AppendEntry("Radio", "http://127.0.0.1:1/live");
    Form->AppendEntry("gone", Dir + "gone.mp3");
    const TPlaylistModel& list = Form->PlaylistEntries();
    ASSERT_TRUE(WaitFor([&] {
        return list[0].Info.LengthFlicks > 0 && list[2].Info.State == TEntryState::Failed;
    }));
    Dialogs->Saves = {{Dir + "lengths", 2}, {Dir + "lengths", 1}};
    Form->sbSavePlaylist->click();
    Form->sbSavePlaylist->click();
    EXPECT_EQ(ReadAll(Dir + "lengths.m3u"), "#EXTM3U\r\n\r\n#EXTINF:3,three.wav\r\n" + Dir +
                                                "three.wav\r\n#EXTINF:-1,Radio\r\n"
                                                "http://127.0.0.1:1/live\r\n#EXTINF:60,gone\r\n" +
                                                Dir + "gone.mp3\r\n");
    const TIniFile pls = TIniFile::Load(Dir + "lengths.pls");
    EXPECT_EQ(pls.ReadString("playlist", "Length1"), "3");
    EXPECT_EQ(pls.ReadString("playlist", "Length2"), "-1");
    EXPECT_EQ(pls.ReadString("playlist", "Length3"), "60");
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(EditingTest, EditingNeverTouchesPlayback) {
    SyntheticFormat f;
    f.frames = 44100 * 60;
    f.blockBytes = 16384;
    auto* wave = new SyntheticSource(f);
    Form->Player().Inputs().Install(TInputKind::ikWave, wave);
    AddRows({"a.wav", "b.wav", "c.wav"});
    Form->SetItemIndex(1);
    Form->sbPlay->click();
    ASSERT_TRUE(WaitFor([&] { return wave->Opens.load() == 1 && Form->audOut->Active(); }));

    Dialogs->Inputs = {std::string("renamed")};
    Form->lbPlaylistKeyPress(QStringLiteral("e"));
    Form->sbRemoveFile->click();  // the playing entry
    Form->sbNewPlaylist->click();
    WriteFile("l.m3u", "x.wav\r\n");
    Dialogs->Playlists = {Dir + "l.m3u"};
    OpenPlaylist();
    Dialogs->Saves = {{Dir + "s", 1}};
    Form->sbSavePlaylist->click();

    EXPECT_TRUE(Form->audOut->Active());
    EXPECT_EQ(Form->audOut->Input(), wave);
    EXPECT_EQ(wave->FileName(), Dir + "b.wav");
    EXPECT_EQ(wave->Opens.load(), 1);
    EXPECT_FALSE(Form->Paused());
    EXPECT_TRUE(Boxes.empty());
    Form->sbStop->click();
}

}  // namespace
}  // namespace quillet::test
