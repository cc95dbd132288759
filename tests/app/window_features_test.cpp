// The window beyond its drawn controls: growing, its remembered place, the
// time, the playing mark and the keys.
#include <QFont>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>

#include "app_test_support.h"
#include "ini.h"
#include "paths.h"
#include "session_store.h"
#include "window_geometry.h"

namespace quillet::test {
namespace {

class FeaturesTest : public WindowFixture {
  protected:
    // Shown and active, so that window-wide keys reach it.
    void ShowActive() {
        Form->show();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }
    bool Bold(int row) const {
        return Form->lbPlaylist->model()->index(row, 0).data(Qt::FontRole).value<QFont>().bold();
    }
    std::vector<int> BoldRows() const {
        std::vector<int> rows;
        for (int i = 0; i < Form->Count(); ++i)
            if (Bold(i)) rows.push_back(i);
        return rows;
    }
};

TEST_F(FeaturesTest, ListAndPositionBarTakeTheRoomOfALargerWindow) {
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    const int dx = 800 - 255, dy = 600 - 234;
    // The album art's place, a third of the list's room, is kept beside it
    // whether or not a track has a picture.
    const int art = (198 + dx - 6) / 3 + 6;
    const struct {
        QWidget* control;
        QRect design;
        QRect large;
    } cases[] = {
        {Form->sbPlay, {11, 2, 26, 26}, {11, 2, 26, 26}},
        {Form->sbPause, {50, 2, 26, 26}, {50, 2, 26, 26}},
        {Form->sbStop, {89, 2, 26, 26}, {89, 2, 26, 26}},
        {Form->sbRewind, {130, 2, 26, 26}, {130, 2, 26, 26}},
        {Form->sbForward, {169, 2, 26, 26}, {169, 2, 26, 26}},
        {Form->lblTime, {197, 2, 56, 26}, {197, 2, 56 + dx, 26}},
        {Form->sbSoundLength, {11, 32, 198, 16}, {11, 32, 198 + dx, 16}},
        {Form->lbPlaylist, {11, 52, 198, 146}, {11 + art, 52, 198 + dx - art, 146 + dy}},
        {Form->tbVolume, {222, 32, 31, 166}, {222 + dx, 32, 31, 166 + dy}},
        {Form->sbAddFile, {11, 202, 26, 26}, {11, 202 + dy, 26, 26}},
        {Form->sbRemoveFile, {50, 202, 26, 26}, {50, 202 + dy, 26, 26}},
        {Form->sbPlaylistOpen, {89, 202, 26, 26}, {89, 202 + dy, 26, 26}},
        {Form->sbSavePlaylist, {128, 202, 26, 26}, {128, 202 + dy, 26, 26}},
        {Form->sbNewPlaylist, {167, 202, 26, 26}, {167, 202 + dy, 26, 26}},
        {Form->sbAbout, {206, 202, 47, 26}, {206 + dx, 202 + dy, 47, 26}},
    };
    EXPECT_EQ(Form->size(), QSize(255, 234));
    for (const auto& c : cases)
        EXPECT_EQ(c.control->geometry(), c.design) << c.control->toolTip().toStdString();
    Form->resize(800, 600);
    EXPECT_EQ(Form->cbMain->geometry(), QRect(0, 0, 800, 600));
    for (const auto& c : cases)
        EXPECT_EQ(c.control->geometry(), c.large) << c.control->toolTip().toStdString();
    Form->resize(100, 100);  // never below the design size, where all is as drawn
    EXPECT_EQ(Form->size(), QSize(255, 234));
    for (const auto& c : cases)
        EXPECT_EQ(c.control->geometry(), c.design) << c.control->toolTip().toStdString();
}

TEST(WindowGeometry, SavedPlaceFitsTheScreensThereAre) {
    const QSize min(255, 234);
    const std::vector<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const struct {
        QRect saved;
        std::vector<QRect> screens;
        QRect fitted;
    } cases[] = {
        {{100, 80, 640, 480}, two, {100, 80, 640, 480}},
        {{2000, 100, 640, 480}, two, {2000, 100, 640, 480}},            // on the second screen
        {{100, 80, 10, 10}, two, {100, 80, 255, 234}},                  // below the design size
        {{100, 80, 5000, 5000}, two, {0, 0, 1920, 1080}},               // larger than its screen
        {{1800, 900, 640, 480}, two, {1280, 600, 640, 480}},            // hanging off its screen
        {{9000, 9000, 640, 480}, two, {640, 300, 640, 480}},            // on no screen: centred
        {{-500, -500, 300, 300}, {}, {-500, -500, 300, 300}},           // no screens to go by
        {{0, 0, 400, 400}, {QRect(0, 0, 200, 200)}, {0, 0, 255, 234}},  // a tiny screen
    };
    for (const auto& c : cases) EXPECT_EQ(FitWindowRect(c.saved, min, c.screens), c.fitted);
}

TEST_F(FeaturesTest, PlaceIsSavedOnCloseAndComesBack) {
    const std::string folder = ConfigFolder();
    ASSERT_EQ(folder, Dir + "config/quillet/");
    EXPECT_FALSE(LoadWindowGeometry(folder));

    const struct {
        const char* text;
        bool whole;
    } files[] = {
        {"[window]\r\nX=1\r\nY=2\r\nWidth=300\r\nHeight=400\r\n", true},
        {"[window]\r\nX=1\r\nY=2\r\nWidth=300\r\n", false},
        {"[window]\r\nX=1\r\nY=2\r\nWidth=wide\r\nHeight=400\r\n", false},
        {"[window]\r\nX=1\r\nY=2\r\nWidth=300 \r\nHeight=4e2\r\n", false},
        {"[window]\r\nX=1\r\nY=2\r\nWidth=-300\r\nHeight=400\r\n", false},
        {"[window]\r\nX=99999999999\r\nY=2\r\nWidth=300\r\nHeight=400\r\n", false},
        {"\xff\xfe garbage\r\n", false},
    };
    for (const auto& f : files) {
        WriteFile(folder + kStateFileName, f.text);
        EXPECT_EQ(LoadWindowGeometry(folder).has_value(), f.whole) << f.text;
    }
    // Another part's long section costs the window nothing; a window section
    // larger than any we write is damage, read as none and written anew.
    const std::string whole = files[0].text;
    WriteFile(folder + kStateFileName,
              whole + "[queue]\r\nRows=" + std::string(300000, '1') + "\r\n");
    EXPECT_TRUE(LoadWindowGeometry(folder));
    WriteFile(folder + kStateFileName, whole + "Junk=" + std::string(300000, 'x') + "\r\n");
    EXPECT_FALSE(LoadWindowGeometry(folder));
    SaveWindowGeometry(folder, QRect(1, 2, 300, 400));
    EXPECT_EQ(LoadWindowGeometry(folder), QRect(1, 2, 300, 400));

    // Saving keeps what else the file holds; a new window takes the place.
    WriteFile(folder + kStateFileName, "[other]\r\nKeep=1\r\n[window]\r\nX=5\r\n");
    SaveWindowGeometry(folder, QRect(30, 40, 400, 300));
    EXPECT_EQ(LoadWindowGeometry(folder), QRect(30, 40, 400, 300));
    EXPECT_EQ(TIniFile::Load(folder + kStateFileName).ReadString("other", "Keep"), "1");
    Form = std::make_unique<TFrmQuillet>(ProgramDir, Sound);
    EXPECT_EQ(Form->size(), QSize(400, 300));
    EXPECT_EQ(Form->pos(), QPoint(30, 40));

    Form->show();
    Form->resize(500, 350);
    Form->move(60, 70);
    // Wider than drawn, the columns share the list's width, the title most;
    // the user's widths are kept with the place.
    QHeaderView* header = Form->lbPlaylist->header();
    int sum = 0;
    for (int c = 0; c < 4; ++c) sum += header->sectionSize(c);
    EXPECT_LE(sum, Form->lbPlaylist->viewport()->width());
    EXPECT_GT(header->sectionSize(0), header->sectionSize(1));
    header->resizeSection(1, 77);
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(LoadWindowGeometry(folder), QRect(Form->pos(), QSize(500, 350)));
    const std::vector<int> widths = LoadColumnWidths(folder);
    ASSERT_EQ(widths.size(), 4u);
    EXPECT_EQ(widths[1], 77);
    Form = std::make_unique<TFrmQuillet>(ProgramDir, Sound);
    Form->show();
    EXPECT_EQ(Form->lbPlaylist->header()->sectionSize(1), 77);
    EXPECT_EQ(Form->lbPlaylist->ColumnWidths(), widths);
    EXPECT_TRUE(Form->close());
    for (const char* bad : {"1,x,3,4", "1,2,3,", "1,-2,3,4", ""}) {
        WriteFile(folder + kStateFileName, std::string("[window]\nColumns=") + bad + "\n");
        EXPECT_TRUE(LoadColumnWidths(folder).empty()) << bad;
    }

    // A settings folder that cannot be made: nothing read, nothing saved,
    // nothing said.
    std::filesystem::remove_all(Dir + "config");
    WriteFile(Dir + "config/quillet", "a file in the way");
    Form = std::make_unique<TFrmQuillet>(ProgramDir, Sound);
    EXPECT_EQ(Form->size(), QSize(255, 234));
    Form->show();
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(Boxes.empty());
}

// A source whose length is a header's estimate.
class EstimatingSource : public SyntheticSource {
  public:
    using SyntheticSource::SyntheticSource;

  protected:
    void OpenSource() override {
        SyntheticSource::OpenSource();
        FSizeIsEstimate = true;
    }
};

TEST_F(FeaturesTest, TimeShowsBesideTheBarAndInItsTooltip) {
    EXPECT_EQ(Form->TimeText(), "--:-- / --:--");
    EXPECT_EQ(Form->lblTime->text(), "--:-- / --:--");
    // At the design size a common time takes one line, clear of the edge.
    const QLabel& time = *Form->lblTime;
    EXPECT_LE(QFontMetrics(time.font()).horizontalAdvance("0:30 / 1:00"),
              time.contentsRect().width());
    EXPECT_LE(time.mapTo(Form.get(), time.contentsRect().topRight()).x(), Form->width() - 5);
    SyntheticFormat unknown;
    unknown.unknownSize = true;
    const struct {
        const char* name;
        std::function<void()> install;
        QString total;
    } cases[] = {
        {"counted", [&] { Install(TInputKind::ikWave, kLongFrames); }, "1:00"},
        {"estimated", [&] { Install<EstimatingSource>(TInputKind::ikWave, kLongFrames); }, "~1:00"},
        {"unknown", [&] { Install(TInputKind::ikWave, kLongFrames, unknown); }, "--:--"},
    };
    AddRows({"a.wav"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.install();
        PlayRow(0);
        // Past the first seconds and short of the end: somewhere in the middle.
        ASSERT_TRUE(WaitFor([&] {
            return Form->TimeText().contains(QRegularExpression("^0:[1-4][0-9] / ")) &&
                   Form->TimeText().endsWith(" / " + c.total);
        })) << Form->TimeText().toStdString();
        EXPECT_EQ(Form->lblTime->text(), Form->TimeText());
        EXPECT_EQ(Form->sbSoundLength->toolTip(), Form->TimeText());
        Form->sbStop->click();
        EXPECT_EQ(Form->TimeText(), "--:-- / --:--");
    }
}

TEST_F(FeaturesTest, PlayingMarkFollowsTheChainNotTheSelection) {
    auto* wave = Install(TInputKind::ikWave, kLongFrames);
    AddRows({"a.wav", "b.wav", "c.wav"});
    EXPECT_EQ(Form->PlayingRow(), -1);
    PlayRow(1);
    EXPECT_EQ(Form->PlayingRow(), 1);
    EXPECT_EQ(BoldRows(), std::vector<int>{1});
    EXPECT_EQ(Form->windowTitle(), "b.wav - Quillet 0.6");

    // The selection moves on; the mark stays with what is heard.
    Form->SetItemIndex(0);
    EXPECT_EQ(Form->PlayingRow(), 1);
    // The chain moves the mark alone, whatever is selected.
    Form->PlaylistEntries().SetPlaying(Form->PlaylistEntries()[2].Id);
    EXPECT_EQ(BoldRows(), std::vector<int>{2});
    EXPECT_EQ(Form->ItemIndex(), 0);
    EXPECT_EQ(Form->windowTitle(), "c.wav - Quillet 0.6");

    // Rows removed before it, or added, keep it on its entry.
    Form->sbRemoveFile->click();  // a.wav
    EXPECT_EQ(Form->PlayingRow(), 1);
    Form->AppendEntry("d.wav", Dir + "d.wav");
    EXPECT_EQ(Form->PlayingRow(), 1);
    EXPECT_EQ(BoldRows(), std::vector<int>{1});
    // A rename of the playing row renames the window.
    Form->SetItemIndex(1);
    Dialogs->Inputs = {std::string("Night\nsong")};
    Form->lbPlaylistKeyPress("e");
    EXPECT_EQ(Form->windowTitle(), "Night song - Quillet 0.6");
    // Removed, it has no mark; the sound and its caption go on.
    Form->sbRemoveFile->click();
    EXPECT_EQ(Form->PlayingRow(), -1);
    EXPECT_EQ(BoldRows(), std::vector<int>{});
    EXPECT_EQ(Form->windowTitle(), "Night song - Quillet 0.6");
    EXPECT_TRUE(WaitFor([&] { return RingPlaying(); }));

    // The end of a track moves it with the window's own Next.
    Form->sbStop->click();
    EXPECT_EQ(Form->windowTitle(), "Quillet 0.6");
    wave->F.frames = 44100;
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Form->PlayingRow() == 1; }));
    EXPECT_EQ(BoldRows(), std::vector<int>{1});
    // A cleared list has no mark; when its track ends nothing is left, and
    // the caption is the program's again.
    Form->sbNewPlaylist->click();
    EXPECT_EQ(Form->PlayingRow(), -1);
    ASSERT_TRUE(WaitFor([&] { return !Form->Player().Playing(); }));
    EXPECT_EQ(Form->windowTitle(), "Quillet 0.6");
}

// A source that keeps the frame of its last seek.
class SeekTargetRecorder : public SyntheticSource {
  public:
    using SyntheticSource::SyntheticSource;
    std::atomic<int64_t> Target{-1};

  protected:
    bool SeekToSample(int64_t& SampleNum) override {
        Target = SampleNum;
        return SyntheticSource::SeekToSample(SampleNum);
    }
};

TEST_F(FeaturesTest, EachKeyActsAndItsButtonSaysSo) {
    const struct {
        QToolButton* button;
        const char* hint;
    } hints[] = {
        {Form->sbPause, "Pause (Space)"},
        {Form->sbRemoveFile, "Remove file (Del)"},
        {Form->sbPlaylistOpen, "Open playlist (Ctrl+O)"},
        {Form->sbSavePlaylist, "Save playlist (Ctrl+S)"},
        {Form->sbPlay, "Play"},
    };
    for (const auto& h : hints) EXPECT_EQ(h.button->toolTip(), h.hint);
    WriteFile(ProgramDir + "lang/de.ini",
              "[lang]\r\nOpenPlaylist=Liste öffnen\r\nKeyCtrl=Strg\r\nKeyHint=%2: %1\r\n");
    Form->LoadLanguage("de");
    EXPECT_EQ(Form->sbPlaylistOpen->toolTip(), QString::fromUtf8("Strg+O: Liste öffnen"));
    WriteFile(ProgramDir + "lang/bad.ini", "[lang]\r\nKeyHint=%1 only\r\n");
    Form->LoadLanguage("bad");
    EXPECT_EQ(Form->sbPause->toolTip(), "Pause (Space)");

    auto* wave = Install<SeekTargetRecorder>(TInputKind::ikWave, kLongFrames);
    AddRows({"a.wav", "b.wav", "c.wav"});
    ShowActive();
    QWidget* list = Form->lbPlaylist;

    // Up and Down move the selection as the user's own change.
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(Form->ItemIndex(), 0);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);  // stays on the last
    EXPECT_EQ(Form->ItemIndex(), 2);
    EXPECT_EQ(Form->lbPlaylist->toolTip(), "c.wav");
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(Form->ItemIndex(), 1);
    // On the volume slider they stay its own.
    Form->tbVolume->setFocus();
    QTest::keyClick(Form->tbVolume, Qt::Key_Down);
    EXPECT_EQ(Form->tbVolume->value(), 2);
    QTest::keyClick(Form->tbVolume, Qt::Key_Up);
    EXPECT_EQ(Form->tbVolume->value(), 0);
    EXPECT_EQ(Form->ItemIndex(), 1);

    // Space plays the selection when nothing plays, then pauses and resumes.
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(PlayingFile(), Dir + "b.wav");
    ASSERT_TRUE(WaitFor([&] { return Form->TimeText().startsWith("0:0"); }));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(Form->Paused());
    // Left and Right seek 5 s from what is heard where the run holds.
    const int64_t held = Form->audOut->PlayPoint().Frame;
    ASSERT_TRUE(WaitFor([&] { return Form->TimeText() == Form->lblTime->text(); }));
    QTest::keyClick(list, Qt::Key_Right);
    EXPECT_EQ(wave->Target.load(), held + 5 * 44100);
    QTest::keyClick(list, Qt::Key_Left);
    QTest::keyClick(list, Qt::Key_Left);
    EXPECT_EQ(wave->Target.load(), std::max<int64_t>(0, held - 5 * 44100));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(Form->Paused());
    // A focused position bar or volume slider keeps its arrow keys: the bar
    // only moves, the volume changes, nothing seeks.
    const int64_t target = wave->Target.load();
    Form->sbSoundLength->setFocus();
    QTest::keyClick(Form->sbSoundLength, Qt::Key_Right);
    Form->tbVolume->setFocus();
    QTest::keyClick(Form->tbVolume, Qt::Key_Left);
    EXPECT_NE(Form->tbVolume->value(), 0);
    EXPECT_EQ(wave->Target.load(), target);
    Form->tbVolume->setValue(0);
    list->setFocus();
    // Ctrl+Right, Ctrl+Left and the media keys step as Next and Previous do.
    QTest::keyClick(list, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(PlayingFile(), Dir + "c.wav");
    QTest::keyClick(list, Qt::Key_MediaNext);
    EXPECT_EQ(PlayingFile(), Dir + "a.wav");
    QTest::keyClick(list, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(PlayingFile(), Dir + "c.wav");
    QTest::keyClick(list, Qt::Key_MediaPrevious);
    EXPECT_EQ(PlayingFile(), Dir + "b.wav");

    // Delete removes the selected row, as "x" does.
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a.wav", "c.wav"}));
    EXPECT_EQ(Form->ItemIndex(), -1);
    // Ctrl+S and Ctrl+O open their dialogs (both cancelled here).
    Dialogs->Saves = {TSaveDialogResult{}};
    QTest::keyClick(list, Qt::Key_S, Qt::ControlModifier);
    Dialogs->Playlists = {std::string()};
    QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(Dialogs->Log.size(), 2u);
    EXPECT_EQ(Dialogs->Log[0].Kind, "save");
    EXPECT_EQ(Dialogs->Log[1].Kind, "playlist");
    EXPECT_EQ(Form->Count(), 2);  // a cancelled Open leaves the list
    // Ctrl+Q closes the window, stopping what plays.
    QTest::keyClick(list, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_FALSE(Form->audOut->Active());
    EXPECT_TRUE(Boxes.empty());
}

}  // namespace
}  // namespace quillet::test
