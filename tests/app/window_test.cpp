// The transport of the main window over the real output on the simulated
// sound system (played about 20 times faster than real time) with synthetic
// sources in the input slots.
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTest>
#include <chrono>
#include <thread>

#include "UMain.h"
#include "app_test_support.h"
#include "simulated_device.h"
#include "synthetic.h"

namespace quillet::test {
namespace {

// A source that records the position bar's seeks instead of seeking.
class SeekRecorder : public SyntheticSource {
  public:
    using SyntheticSource::SyntheticSource;
    void SeekPercent(int32_t Delta) override { Deltas.push_back(Delta); }
    std::vector<int32_t> Deltas;
};

using WindowTest = WindowFixture;

TEST_F(WindowTest, ControlsSitWhereTheLayoutPutsThem) {
    EXPECT_EQ(Form->windowTitle(), "Quillet 0.6");
    EXPECT_EQ(Form->sbPlay->geometry(), QRect(11, 2, 26, 26));
    EXPECT_EQ(Form->sbRewind->geometry(), QRect(130, 2, 26, 26));
    EXPECT_EQ(Form->sbSoundLength->geometry(), QRect(11, 32, 198, 16));
    EXPECT_EQ(Form->lbPlaylist->geometry(), QRect(11, 52, 198, 146));
    EXPECT_EQ(Form->tbVolume->geometry(), QRect(222, 32, 31, 166));
    EXPECT_EQ(Form->sbNewPlaylist->geometry(), QRect(167, 202, 26, 26));
    EXPECT_EQ(Form->sbAbout->geometry(), QRect(206, 202, 47, 26));
    EXPECT_EQ(Form->sbAbout->text(), "About");
    // Hints double as the names screen readers announce.
    for (QWidget* w : {static_cast<QWidget*>(Form->sbRewind), static_cast<QWidget*>(Form->tbVolume),
                       static_cast<QWidget*>(Form->sbRemoveFile)}) {
        EXPECT_FALSE(w->toolTip().isEmpty());
        EXPECT_EQ(w->accessibleName(), w->toolTip());
    }
    EXPECT_EQ(Form->sbRewind->toolTip(), "Previous");
    EXPECT_EQ(Form->sbPlay->focusPolicy(), Qt::NoFocus);
    std::vector<QWidget*> tabStops;  // from the list on, as Tab visits them
    for (QWidget* w = Form->lbPlaylist; tabStops.size() < 3; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) tabStops.push_back(w);
    EXPECT_EQ(tabStops,
              (std::vector<QWidget*>{Form->lbPlaylist, Form->sbSoundLength, Form->tbVolume}));
    EXPECT_FALSE(Form->sbPlay->icon().isNull());
    EXPECT_FALSE(Form->windowIcon().isNull());
}

TEST_F(WindowTest, PlayWithoutSelectionLeavesPlaybackAlone) {
    auto* wave = Install(TInputKind::ikWave, kLongFrames);
    AddRows({"a.wav", "b.wav"});
    PlayRow(1);
    ASSERT_TRUE(WaitFor([&] { return RingPlaying(); }));
    Form->SetItemIndex(-1);
    Form->sbPlay->click();
    EXPECT_EQ(PlayingFile(), Dir + "b.wav");
    EXPECT_EQ(wave->Opens.load(), 1);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(WindowTest, UnsupportedExtensionStopsThenSaysSo) {
    Install(TInputKind::ikWave, kLongFrames);
    Form->Player().Inputs().Install(TInputKind::ikFLAC, nullptr);  // no such input yet
    AddRows({"a.wav", "b.xyz", "noext", "c.flac"});
    for (int row : {1, 2, 3}) {
        PlayRow(0);
        ASSERT_TRUE(WaitFor([&] { return Form->audOut->Active(); }));
        Boxes.clear();
        PlayRow(row);
        EXPECT_FALSE(Form->audOut->Active()) << row;
        ASSERT_EQ(Boxes.size(), 1u) << row;
        EXPECT_EQ(Boxes[0].Kind, TMessageKind::mkPlain);
        EXPECT_EQ(Boxes[0].Caption, "Quillet 0.6b");
        EXPECT_EQ(Boxes[0].Text, "Format not supported");
    }
}

TEST_F(WindowTest, ExtensionMatchesAnyCaseAndItsFirstFiveCharacters) {
    auto* wave = Install(TInputKind::ikWave, kLongFrames);
    AddRows({"LOUD.WAV", "song.wave", "dir.wav/file"});
    PlayRow(0);
    EXPECT_EQ(Form->audOut->Input(), wave);
    EXPECT_EQ(PlayingFile(), Dir + "LOUD.WAV");
    ASSERT_TRUE(WaitFor([&] { return RingPlaying(); }));
    EXPECT_TRUE(Boxes.empty());
    for (int row : {1, 2}) {
        PlayRow(row);
        EXPECT_FALSE(Form->audOut->Active());
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, "Format not supported");
        Boxes.clear();
    }
}

TEST_F(WindowTest, NextAndPreviousWrapAndHandleNoSelection) {
    Install(TInputKind::ikWave, kLongFrames);
    // An empty list: nothing to select, nothing plays, nothing breaks.
    Form->sbForward->click();
    Form->sbRewind->click();
    EXPECT_EQ(Form->ItemIndex(), -1);
    EXPECT_FALSE(Form->audOut->Active());

    AddRows({"a.wav", "b.wav", "c.wav"});
    Form->sbRewind->click();  // no selection: asks for row -2
    EXPECT_EQ(Form->ItemIndex(), -1);
    EXPECT_FALSE(Form->audOut->Active());
    Form->sbForward->click();  // no selection: the first row
    EXPECT_EQ(Form->ItemIndex(), 0);
    EXPECT_EQ(PlayingFile(), Dir + "a.wav");
    Form->sbRewind->click();  // first -> last
    EXPECT_EQ(Form->ItemIndex(), 2);
    EXPECT_EQ(PlayingFile(), Dir + "c.wav");
    Form->sbForward->click();  // last -> first
    EXPECT_EQ(Form->ItemIndex(), 0);
    EXPECT_EQ(PlayingFile(), Dir + "a.wav");
    Form->sbForward->click();
    EXPECT_EQ(PlayingFile(), Dir + "b.wav");
    // Moving the selection in code does not count as the user's click.
    EXPECT_TRUE(Form->lbPlaylist->toolTip().isEmpty());
}

TEST_F(WindowTest, EndOfTrackGoesOnThroughTheListAndWraps) {
    auto* wave = Install<OpenRecorder>(TInputKind::ikWave, kShortFrames);
    AddRows({"a.wav", "b.wav", "c.wav"});
    PlayRow(1);
    ASSERT_TRUE(WaitFor([&] { return wave->Files().size() >= 4; }));
    Form->sbStop->click();
    EXPECT_FALSE(Form->audOut->Active());
    const std::vector<std::string> files = wave->Files();
    const std::vector<std::string> expected = {Dir + "b.wav", Dir + "c.wav", Dir + "a.wav",
                                               Dir + "b.wav"};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), files.begin()));
    // A synchronous stop raises no end-of-track: the list stays where it was.
    const int row = Form->ItemIndex();
    WaitFor([] { return false; }, 100);
    EXPECT_EQ(Form->ItemIndex(), row);
    EXPECT_EQ(wave->Files().size(), files.size());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(WindowTest, OneEntryRepeats) {
    auto* wave = Install(TInputKind::ikWave, kShortFrames);
    AddRows({"only.wav"});
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return wave->Opens >= 3; }));
    EXPECT_EQ(Form->ItemIndex(), 0);
    Form->sbStop->click();
}

TEST_F(WindowTest, PauseIsTheWindowsOwnToggle) {
    Install(TInputKind::ikWave, kLongFrames);
    AddRows({"a.wav"});
    Form->sbPause->click();  // idle: only flips the flag
    EXPECT_TRUE(Form->Paused());
    PlayRow(0);  // Play leaves the flag alone
    EXPECT_TRUE(Form->Paused());
    ASSERT_TRUE(WaitFor([&] { return RingPlaying(); }));
    Form->sbPause->click();  // first click resumes: no audible change
    EXPECT_FALSE(Form->Paused());
    EXPECT_TRUE(RingPlaying());
    Form->sbPause->click();  // second click pauses
    EXPECT_TRUE(Form->Paused());
    EXPECT_FALSE(RingPlaying());
    Form->sbPause->click();
    EXPECT_TRUE(RingPlaying());
    Form->sbStop->click();
    EXPECT_FALSE(Form->Paused());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(WindowTest, VolumeIsMinusTheSliderAndNewTracksKeepIt) {
    Install(TInputKind::ikWave, kLongFrames);
    AddRows({"a.wav", "b.wav"});
    EXPECT_EQ(Form->tbVolume->value(), 0);  // the top: full volume
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return RingPlaying(); }));
    EXPECT_EQ(RingVolume(), 0);
    Form->tbVolume->setValue(10000);  // the bottom: silence
    EXPECT_EQ(RingVolume(), -10000);
    Form->tbVolume->setValue(5000);
    EXPECT_EQ(RingVolume(), -5000);
    const auto first = Sound->Ring();
    Form->sbForward->click();
    ASSERT_TRUE(WaitFor([&] { return Sound->Ring() != first && RingPlaying(); }));
    EXPECT_EQ(RingVolume(), -5000);
    // Keys: Up moves the thumb up, towards full volume.
    Form->tbVolume->setFocus();
    QTest::keyClick(Form->tbVolume, Qt::Key_Up);
    EXPECT_EQ(Form->tbVolume->value(), 4998);
    Form->sbStop->click();
}

TEST_F(WindowTest, AnErrorLeavingAHandlerIsShownAndTheWindowGoesOn) {
    Sound->SetVolumeControl(false);
    Install(TInputKind::ikWave, kLongFrames);
    AddRows({"a.wav"});
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return RingPlaying(); }));
    Form->tbVolume->setValue(100);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Kind, TMessageKind::mkError);
    EXPECT_EQ(Boxes[0].Caption, "Quillet 0.6b");
    EXPECT_EQ(Boxes[0].Text, "Control not available.");
    EXPECT_TRUE(Form->audOut->Active());
    Form->sbStop->click();
}

TEST_F(WindowTest, OnlyThumbTrackingSeeksBySuccessiveDeltas) {
    auto* source = Install<SeekRecorder>(TInputKind::ikWave, kLongFrames);
    Form->audOut->SetInput(source);
    QScrollBar* bar = Form->sbSoundLength;
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    bar->setValue(20);

    // Arrow and page clicks only move the bar.
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_TRUE(source->Deltas.empty());
    bar->setValue(20);

    // Drag the thumb with the mouse, several moves to the right.
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Horizontal;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = false;
    option.state |= QStyle::State_Horizontal;
    const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                     QStyle::SC_ScrollBarSlider, bar);
    QPoint at = thumb.center();
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(bar->isSliderDown());
    const int perPixel = 1;  // the bar is wider than its 100 steps
    while (bar->sliderPosition() < 50) {
        at += QPoint(3 * perPixel, 0);
        QTest::mouseMove(bar, at);
        if (at.x() > bar->width()) break;
    }
    const int reached = bar->sliderPosition();
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_GE(source->Deltas.size(), 2u);
    int total = 0;
    for (int32_t d : source->Deltas) {
        EXPECT_GT(d, 0);
        total += d;
    }
    EXPECT_EQ(total, reached - 20);

    // The same through the slider's own notifications: 20 -> 30 -> 35 -> 50.
    source->Deltas.clear();
    bar->setValue(20);
    bar->setSliderDown(true);
    for (int p : {30, 35, 50}) bar->setSliderPosition(p);
    bar->setSliderDown(false);
    EXPECT_EQ(source->Deltas, (std::vector<int32_t>{10, 5, 15}));
}

TEST_F(WindowTest, PositionBarFollowsProgress) {
    Install(TInputKind::ikWave, 44100 * 10);
    AddRows({"a.wav"});
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Form->sbSoundLength->value() >= 10; }));
    Form->sbStop->click();
    SyntheticFormat unknown;
    unknown.frames = kLongFrames;
    unknown.unknownSize = true;
    auto* source = new SyntheticSource(unknown);
    Form->Player().Inputs().Install(TInputKind::ikWave, source);
    PlayRow(0);  // a size of -1 shows as 0
    ASSERT_TRUE(WaitFor([&] { return RingPlaying() && source->Delivered() > 0; }));
    Form->audOutProgress();
    EXPECT_EQ(Form->sbSoundLength->value(), 0);
    Form->sbStop->click();
}

TEST_F(WindowTest, RowClicksSetTheTooltipAndDoubleClickPlays) {
    Install(TInputKind::ikWave, kLongFrames);
    AddRows({"first.wav", "second.wav"});
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    QTreeView* list = Form->lbPlaylist;
    const QPoint second = list->visualRect(list->model()->index(1, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, second);
    EXPECT_EQ(Form->ItemIndex(), 1);
    EXPECT_EQ(list->toolTip(), "second.wav");
    EXPECT_FALSE(Form->audOut->Active());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, second);
    EXPECT_EQ(PlayingFile(), Dir + "second.wav");
    // Enter plays the selected row too.
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->toolTip(), "first.wav");
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(PlayingFile(), Dir + "first.wav");
    Form->sbStop->click();
}

TEST_F(WindowTest, ClosingDuringPlaybackStopsFirst) {
    Install(TInputKind::ikWave, kLongFrames);
    AddRows({"a.wav"});
    Form->show();
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return RingPlaying(); }));
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(Form->audOut->Active());
    EXPECT_FALSE(RingPlaying());
}

}  // namespace
}  // namespace quillet::test
