// Several lists in the window: made, filled, renamed and played from by the
// user's own keys and clicks, kept whole across a restart; New playlist
// taken back row for row.
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app_test_support.h"
#include "desktop_session.h"
#include "playlist_open.h"

namespace quillet::test {
namespace {

constexpr int64_t kLongFrames = 44100 * 60;  // plays for about 3 s here

class ListsWindowTest : public WindowFixture {
  protected:
    static QTabBar* Tabs(const TFrmQuillet& form) {
        return form.findChild<QTabBar*>(QStringLiteral("tbLists"));
    }
    static std::vector<std::string> RowsOf(const TPlaylistModel& list) {
        std::vector<std::string> rows;
        for (const TEntry& e : list) rows.push_back(e.RowText);
        return rows;
    }
    static void Activate(TFrmQuillet& form) {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    static void Keys(TFrmQuillet& form, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(form.lbPlaylist, key, modifiers);
    }
};

TEST_F(ListsWindowTest, TwoListsPlayEditAndComeBackAfterARestart) {
    const std::string folder = Dir + "config/";
    Install<OpenRecorder>(TInputKind::ikWave, kLongFrames);
    Activate(*Form);
    {
        TDesktopSession session(Form->Player(), *Form, {true, {}}, folder, {});
        session.Start();
        ASSERT_TRUE(WaitFor([&] { return session.Restored(); }));
        EXPECT_TRUE(Tabs(*Form)->isHidden()) << "one list: no tabs";
        AddRows({"a0.wav", "a1.wav", "a2.wav"});
        PlayRow(1);
        const TPlaylistModel& a = Form->Lists.List(0);

        Keys(*Form, Qt::Key_T, Qt::ControlModifier);
        ASSERT_EQ(Form->Lists.Count(), 2);
        EXPECT_EQ(Form->Lists.ShownIndex(), 1);
        EXPECT_FALSE(Tabs(*Form)->isHidden());
        AddRows({"b0.wav", "b1.wav", "b2.wav"});
        Form->SetItemIndex(0);
        Form->sbRemoveFile->click();
        Dialogs->Inputs = {std::string("Party")};
        QTabBar* bar = Tabs(*Form);
        QTest::mouseDClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        EXPECT_EQ(Form->Lists.Name(1), "Party");
        EXPECT_EQ(Rows(), (std::vector<std::string>{"b1.wav", "b2.wav"}));

        // Editing the list shown changes nothing that plays.
        EXPECT_EQ(&Form->Player().List(), &a);
        EXPECT_EQ(Form->Player().HeardEntry(), a[1].Id);
        EXPECT_EQ(PlayingFile(), Dir + "a1.wav");
        EXPECT_FALSE(bar->tabIcon(0).isNull()) << "the playing list's tab is marked";
        EXPECT_TRUE(bar->tabIcon(1).isNull());
        Form->close();
        session.SaveState();
    }

    auto next = std::make_unique<TFrmQuillet>(ProgramDir, std::make_shared<SimulatedSoundSystem>());
    Activate(*next);
    TDesktopSession session(next->Player(), *next, {true, {}}, folder, {});
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return session.Restored(); }));
    TPlaylistSet& lists = next->Lists;
    ASSERT_EQ(lists.Count(), 2);
    EXPECT_EQ(lists.Name(0), "Playlist");
    EXPECT_EQ(lists.Name(1), "Party");
    EXPECT_EQ(RowsOf(lists.List(0)), (std::vector<std::string>{"a0.wav", "a1.wav", "a2.wav"}));
    EXPECT_EQ(RowsOf(lists.List(1)), (std::vector<std::string>{"b1.wav", "b2.wav"}));
    EXPECT_EQ(lists.ShownIndex(), 1);
    EXPECT_FALSE(Tabs(*next)->isHidden());
    // Held where it played, in the list it played from.
    EXPECT_EQ(&next->Player().List(), &lists.List(0));
    EXPECT_EQ(next->Player().ResumeEntry(), lists.List(0)[1].Id);

    // New playlist clears the list shown without asking; Ctrl+Z gives the
    // same list back, row for row, and Ctrl+Shift+Z clears it again.
    std::vector<TEntryId> ids;
    for (const TEntry& e : lists.List(1)) ids.push_back(e.Id);
    lists.List(1).Select(1);
    next->sbNewPlaylist->click();
    EXPECT_EQ(next->Count(), 0);
    Keys(*next, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(RowsOf(lists.List(1)), (std::vector<std::string>{"b1.wav", "b2.wav"}));
    std::vector<TEntryId> back;
    for (const TEntry& e : lists.List(1)) back.push_back(e.Id);
    EXPECT_EQ(back, ids);
    EXPECT_EQ(next->ItemIndex(), 1);
    Keys(*next, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(next->Count(), 0);
    EXPECT_TRUE(lists.List(0).Count() == 3) << "the other list is untouched";
    EXPECT_TRUE(Boxes.empty());
}

// A long playlist is read in the background and comes in slices, the
// window serving its loop between them, as one edit that one Undo takes
// back; an open started while another's rows still come replaces it; a
// playlist opened in a new list names it.
TEST_F(ListsWindowTest, ALongPlaylistComesInSlicesAsOneEdit) {
    constexpr size_t kEntries = 2 * TPlaylistOpener::kSlice + 5;
    std::string text = "#EXTM3U\n";
    for (size_t i = 0; i < kEntries; ++i) text += "/m/" + std::to_string(i) + ".mp3\n";
    WriteFile("long.m3u", text);
    WriteFile("short.m3u", "/m/short.mp3\n");
    Activate(*Form);
    AddRows({"old.wav"});
    struct Slices : TPlaylistListener {
        std::vector<int> Counts;  // rows in the list after each change
        std::function<void()> AfterFirst;
        TPlaylistModel* List = nullptr;
        void AfterReset() override {
            Counts.push_back(List->Count());
            if (AfterFirst) QTimer::singleShot(0, AfterFirst);
        }
        void AfterInsert(int, int) override { Counts.push_back(List->Count()); }
    } slices;
    slices.List = &Form->PlaylistEntries();
    slices.List->AddListener(&slices);
    Dialogs->Playlists = {Dir + "long.m3u"};
    OpenPlaylist();
    const int slice = static_cast<int>(TPlaylistOpener::kSlice);
    EXPECT_EQ(slices.Counts, (std::vector<int>{slice, 2 * slice, static_cast<int>(kEntries)}));
    Keys(*Form, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Rows(), std::vector<std::string>{"old.wav"}) << "one Undo for the whole open";

    // The second open is asked for as soon as the first's first slice is in.
    Dialogs->Playlists = {Dir + "long.m3u", Dir + "short.m3u"};
    slices.Counts.clear();
    slices.AfterFirst = [&] {
        slices.AfterFirst = nullptr;
        Form->sbPlaylistOpen->click();
    };
    OpenPlaylist();
    ASSERT_TRUE(WaitFor([&] { return !Form->Opening() && slices.Counts.size() == 2; }));
    EXPECT_EQ(Paths(), std::vector<std::string>{"/m/short.mp3"});
    EXPECT_EQ(slices.Counts, (std::vector<int>{slice, 1})) << "no slice of the first after it";
    slices.List->RemoveListener(&slices);

    Dialogs->Playlists = {Dir + "short.m3u"};
    Form->OpenPlaylistInNewList();
    ASSERT_TRUE(WaitFor([&] { return !Form->Opening(); }));
    ASSERT_EQ(Form->Lists.Count(), 2);
    EXPECT_EQ(Form->Lists.Name(Form->Lists.ShownIndex()), "short");
    EXPECT_EQ(Paths(), std::vector<std::string>{"/m/short.mp3"});
    EXPECT_TRUE(Boxes.empty());
}

}  // namespace
}  // namespace quillet::test
