// "Play next" and finding a track on the list: the filter's word rules, the
// keys, the queued rows' marks and the queue kept with the session. (A
// filter over a long list is timed in bench/list_filter.sh.)
#include <QLineEdit>
#include <QTest>

#include "app_test_support.h"
#include "desktop_session.h"
#include "list_filter.h"
#include "list_session.h"
#include "queue_state.h"
#include "session_state.h"

namespace quillet::test {
namespace {

bool Matches(const char* text, const char* filter) {
    return ContainsAllWords(FoldForSearch(QString::fromUtf8(text)),
                            SearchWords(QString::fromUtf8(filter)));
}

TEST(FilterWords, AccentsCaseSeveralWordsAndPlainText) {
    EXPECT_TRUE(Matches("Björk - Jóga", "bjork JOGA"));
    EXPECT_TRUE(Matches("Beyonce", "BEYONCÉ"));         // the filter's accents go too
    EXPECT_TRUE(Matches("Σίσυφος", "ΣΙΣΥΦΟΣ"));         // folded, not just lowered: final sigma
    EXPECT_TRUE(Matches("ﬁve Ｆｕｌｌ", "five full"));  // compatibility forms
    EXPECT_TRUE(Matches("Jóga\nBjörk\nPost", "post ga bj"));  // any field, any order
    EXPECT_FALSE(Matches("Björk - Jóga", "bjork hunter"));    // every word
    EXPECT_TRUE(Matches("anything", ""));
    EXPECT_TRUE(Matches("anything", " \t\n "));
    // Regex-like text is letters.
    EXPECT_FALSE(Matches("abc", "a.*c"));
    EXPECT_TRUE(Matches("a.*c (live) [x] \\d+", "(live) \\d+ a.*c [x]"));
    EXPECT_EQ(SearchWords(QStringLiteral("b  a B ab")), (QStringList{"ab", "a", "b"}));
    EXPECT_FALSE(Matches("xxxx", std::string(10000, 'x').c_str()));
}

class ListToolsTest : public WindowFixture {
  protected:
    QString Shown(const TFrmQuillet& form, int row) const {
        return form.lbPlaylist->model()->index(row, 0).data().toString();
    }
    QLineEdit* Field() const {
        return Form->lbPlaylist->findChild<QLineEdit*>(QStringLiteral("edFilter"));
    }
    std::vector<int> Visible() const {
        std::vector<int> rows;
        for (int i = 0; i < Form->Count(); ++i)
            if (!Form->lbPlaylist->isRowHidden(i, {})) rows.push_back(i);
        return rows;
    }
};

TEST_F(ListToolsTest, PlayNextMarksRowsAndIsKeptWithTheSession) {
    const std::string folder = Dir + "config/";
    TSessionState saved;
    saved.Entries = {{"zero", Dir + "0.wav"},
                     {"one", Dir + "1.wav"},
                     {"two", Dir + "2.wav"},
                     {"three", Dir + "3.wav"}};
    SaveSessionState(folder, saved);
    {
        TDesktopSession session(Form->Player(), *Form, {true, {}}, folder, {});
        session.Start();
        ASSERT_TRUE(WaitFor([&] { return session.Restored(); }));
        Form->SetItemIndex(2);
        QTest::keyClick(Form->lbPlaylist, Qt::Key_Q);
        Form->SetItemIndex(0);
        QTest::keyClick(Form->lbPlaylist, Qt::Key_Return, Qt::ControlModifier);
        Form->SetItemIndex(3);
        auto* playNext = Form->pmPlayModes->findChild<QAction*>(QStringLiteral("PlayNext"));
        ASSERT_NE(playNext, nullptr);
        playNext->trigger();
        const TPlaylistModel& list = Form->PlaylistEntries();
        EXPECT_EQ(Form->Player().Queue().Ids(),
                  (std::vector<TEntryId>{list[2].Id, list[0].Id, list[3].Id}));
        EXPECT_FALSE(Form->audOut->Active()) << "queuing plays nothing";
        EXPECT_TRUE(Field()->isHidden()) << "the queue's key is no filter";
        ASSERT_TRUE(WaitFor([&] { return Shown(*Form, 2) == QLatin1String("[1] two"); }));
        EXPECT_EQ(Shown(*Form, 0), QLatin1String("[2] zero"));
        EXPECT_EQ(Shown(*Form, 1), QLatin1String("one"));
        EXPECT_EQ(Titles(), (std::vector<std::string>{"zero", "one", "two", "three"}));
        // A queued row removed: the places close up.
        Form->PlaylistEntries().Remove(0);
        ASSERT_TRUE(WaitFor([&] { return Shown(*Form, 2) == QLatin1String("[2] three"); }));
        EXPECT_EQ(Shown(*Form, 1), QLatin1String("[1] two"));
        // Chosen again, it takes the row out of the queue; the menu shows it
        // checked on a queued row.
        Form->SetItemIndex(0);
        QTest::keyClick(Form->lbPlaylist, Qt::Key_Q);
        emit Form->pmPlayModes->aboutToShow();
        EXPECT_TRUE(playNext->isChecked());
        playNext->trigger();
        EXPECT_EQ(Form->Player().Queue().Count(), 2);
        emit Form->pmPlayModes->aboutToShow();
        EXPECT_FALSE(playNext->isChecked());
        session.SaveState();
    }
    const TKeptLists kept = LoadKeptLists(folder);
    ASSERT_EQ(kept.Lists.size(), 1u);
    EXPECT_EQ(kept.Lists[0].Entries.size(), 3u);
    EXPECT_EQ(kept.Queue,
              (std::vector<std::pair<TListId, int>>{{kept.Lists[0].Id, 1}, {kept.Lists[0].Id, 2}}));

    auto next = std::make_unique<TFrmQuillet>(ProgramDir, std::make_shared<SimulatedSoundSystem>());
    TDesktopSession session(next->Player(), *next, {true, {}}, folder, {});
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return session.Restored(); }));
    EXPECT_EQ(next->Player().Queue().Ids(), (std::vector<TEntryId>{next->PlaylistEntries()[1].Id,
                                                                   next->PlaylistEntries()[2].Id}));
    ASSERT_TRUE(WaitFor([&] { return Shown(*next, 2) == QLatin1String("[2] three"); }));
    EXPECT_TRUE(Boxes.empty());
}

// A damaged state restores what it can: rows in the list, each once.
TEST_F(ListToolsTest, QueueRowsFromADamagedState) {
    WriteFile(Dir + "cfg/" + kStateFileName, "[queue]\r\nRows=2, x,-1,7,2,,0,99999999999,1.5\r\n");
    EXPECT_EQ(LoadQueueRows(Dir + "cfg/", 3), (std::vector<int>{2, 0}));
    EXPECT_TRUE(LoadQueueRows(Dir + "none/", 3).empty());
}

TEST_F(ListToolsTest, TypingFiltersTheRowsShownAndNothingElse) {
    Install<OpenRecorder>(TInputKind::ikWave, kLongFrames);
    AddRows({"Café del Mar.wav", "Björk - Jóga.wav", "Jog.wav", "other.wav"});
    QLineEdit* field = Field();
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->isHidden());
    Form->SetItemIndex(3);
    QTest::keyClick(Form->lbPlaylist, Qt::Key_J);
    ASSERT_FALSE(field->isHidden());
    EXPECT_EQ(field->text(), QLatin1String("j"));
    QTest::keyClicks(field, "O");
    EXPECT_EQ(Visible(), (std::vector<int>{1, 2}));
    QTest::keyClicks(field, " bjo");
    EXPECT_EQ(Visible(), std::vector<int>{1});
    EXPECT_EQ(Form->Count(), 4);
    // Enter: the selected row is hidden, so the first one shown plays.
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(PlayingFile(), Dir + "Björk - Jóga.wav");
    // Next goes by the list, hidden rows and all.
    Form->sbForward->click();
    EXPECT_EQ(PlayingFile(), Dir + "Jog.wav");
    // Rows added while filtering are filtered too.
    Form->AppendEntry("Björk - Army of Me", Dir + "army.wav");
    Form->AppendEntry("Jobim", Dir + "jobim.wav");
    EXPECT_EQ(Visible(), (std::vector<int>{1, 4}));
    field->setText(QStringLiteral("(.*"));
    EXPECT_TRUE(Visible().empty());
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(field->isHidden());
    EXPECT_EQ(Visible().size(), 6u);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Café del Mar.wav", "Björk - Jóga.wav", "Jog.wav",
                                                "other.wav", "Björk - Army of Me", "Jobim"}));
    QTest::keyClick(Form->lbPlaylist, Qt::Key_Slash);
    EXPECT_FALSE(field->isHidden());
    EXPECT_TRUE(field->text().isEmpty());
    QTest::keyClick(field, Qt::Key_Escape);
    Form->sbStop->click();
}

// With the field open, the commands see the rows shown: a selected row the
// filter hides is no selection (Play next, Delete and Play leave it alone),
// and is selected again once the field closes.
TEST_F(ListToolsTest, AHiddenSelectionIsNoSelection) {
    Install<OpenRecorder>(TInputKind::ikWave, kLongFrames);
    AddRows({"Jazz.wav", "Jig.wav", "other.wav"});
    Form->SetItemIndex(2);
    QTest::keyClicks(Form->lbPlaylist, "ji");
    ASSERT_EQ(Visible(), (std::vector<int>{1}));
    EXPECT_EQ(Form->ItemIndex(), -1);
    QTest::keyClick(Form->lbPlaylist, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(Form->Player().Queue().empty()) << "a hidden row was queued";
    Form->sbRemoveFile->click();
    EXPECT_EQ(Form->Count(), 3) << "a hidden row was deleted";
    Form->sbPlay->click();
    EXPECT_FALSE(Form->Player().Playing()) << "a hidden row was played";
    QTest::keyClick(Field(), Qt::Key_Escape);
    EXPECT_EQ(Form->ItemIndex(), 2);
    // A row chosen while filtering stays chosen.
    QTest::keyClicks(Form->lbPlaylist, "ji");
    QTest::keyClick(Field(), Qt::Key_Down);
    EXPECT_EQ(Form->ItemIndex(), 1);
    QTest::keyClick(Field(), Qt::Key_Escape);
    EXPECT_EQ(Form->ItemIndex(), 1);
}

}  // namespace
}  // namespace quillet::test
