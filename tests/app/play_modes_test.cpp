// How the window plays its list: the modes in the list's context menu, a
// shuffled lap through Next, Previous and edits, and a lap of failures in
// every mode. (Each mode's chained tracks: tests/stress/gapless_test.cpp.)
#include <QApplication>
#include <QContextMenuEvent>
#include <QSignalSpy>
#include <algorithm>
#include <set>

#include "app_test_support.h"

namespace quillet::test {
namespace {

class PlayModesTest : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        AddRows({"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"});
    }
    // Picks an entry of the list's context menu, as the listener does.
    void Choose(const char* entry) {
        QAction* action = ContextEntry(entry);
        ASSERT_NE(action, nullptr) << entry;
        action->trigger();
        Form->pmPlayModes->hide();
    }
    // The files as letters ("bcd").
    std::string Letters(const std::vector<std::string>& files) const {
        std::string letters;
        for (const std::string& file : files) letters += file.substr(Dir.size(), 1);
        return letters;
    }
    void Quiet(int ms) {
        WaitFor([] { return false; }, ms);
    }
};

TEST_F(PlayModesTest, AShuffledLapGoesBackAndForthAndSurvivesEdits) {
    auto* wave = Install<OpenRecorder>(TInputKind::ikWave, kLongFrames);
    Form->Player().SetShuffle(true);
    Form->Player().SetRepeat(TRepeat::StopAtEnd);
    std::string first;  // the tracks Play and Next started
    PlayRow(0);
    first += Letters({PlayingFile()});
    for (int i = 0; i < 2; ++i) {
        Form->sbForward->click();
        first += Letters({PlayingFile()});
    }
    ASSERT_EQ(std::set<char>(first.begin(), first.end()).size(), 3u) << first;
    // Back through the tracks played (the first starts again), then forward.
    const std::string steps = "<<<>>";
    const std::string want = {first[1], first[0], first[0], first[1], first[2]};
    for (size_t i = 0; i < steps.size(); ++i) {
        (steps[i] == '<' ? Form->sbRewind : Form->sbForward)->click();
        EXPECT_EQ(Letters({PlayingFile()})[0], want[i]) << i;
    }

    // Mid-lap, a row not played yet goes and a new one comes.
    std::string left = "abcde";
    for (char c : first) left.erase(left.find(c), 1);
    const char removed = left[0];
    left.erase(0, 1);
    left += 'f';
    Form->SetItemIndex(removed - 'a');
    Form->sbRemoveFile->click();
    Form->AppendEntry("f.wav", Dir + "f.wav");
    // The rest of the lap plays by itself, then playback stops.
    Form->sbStop->click();
    wave->F.frames = kShortFrames;
    const size_t before = wave->Files().size();
    Form->sbForward->click();
    // Playing() from the click on: the sink is Active only once its worker
    // runs, which a slow machine may not have let it do yet.
    ASSERT_TRUE(WaitFor([&] { return !Form->Player().Playing(); }));
    Quiet(300);
    std::string rest = Letters(wave->Files()).substr(before);
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, left);
    EXPECT_FALSE(Form->audOut->Active());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(PlayModesTest, ALapOfFailuresEndsWithOneMessageInEveryMode) {
    struct Case {
        TRepeat Repeat;
        bool Shuffle;
        int From;
        size_t Runs;  // tried before the message
    };
    const Case cases[] = {
        {TRepeat::One, false, 1, 1},       {TRepeat::StopAfterTrack, false, 1, 1},
        {TRepeat::StopAtEnd, false, 2, 3}, {TRepeat::List, true, 0, 5},
        {TRepeat::StopAtEnd, true, 3, 5},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(RepeatName(c.Repeat)) + (c.Shuffle ? " shuffled" : "");
        SyntheticFormat unreadable;
        unreadable.openError = "Cannot open file";
        auto* wave = Install<OpenRecorder>(TInputKind::ikWave, kShortFrames, unreadable);
        Form->Player().SetRepeat(c.Repeat);
        Form->Player().SetShuffle(c.Shuffle);
        Boxes.clear();
        PlayRow(c.From);
        ASSERT_TRUE(WaitFor([&] { return !Boxes.empty(); })) << what;
        Quiet(200);
        EXPECT_EQ(wave->Files().size(), c.Runs) << what;
        ASSERT_EQ(Boxes.size(), 1u) << what;
        EXPECT_EQ(Boxes[0].Text.toStdString(), "Cannot open file.") << what;
        EXPECT_FALSE(Form->audOut->Active()) << what;
        Form->Player().SetShuffle(false);  // the next case starts a lap of its own
    }
}

TEST_F(PlayModesTest, TheMenuShowsTheModesInTheLanguage) {
    struct TCount : TPlaybackListener {
        int Changes = 0;
        void SettingsChanged() override { ++Changes; }
    } changes;
    Form->Player().AddListener(&changes);
    auto checked = [&] {
        std::string names;
        for (QAction* action : Form->pmPlayModes->actions())
            if (action->isChecked()) names += action->objectName().toStdString() + " ";
        return names;
    };
    EXPECT_EQ(checked(), "RepeatList ");
    Choose("RepeatOne");
    Choose("RepeatOne");  // no change, no signal
    Choose("Shuffle");
    Form->Player().SetRepeat(TRepeat::StopAtEnd);  // as the bus or the saved state would
    EXPECT_EQ(checked(), "StopAtEnd Shuffle ");
    EXPECT_EQ(changes.Changes, 3);
    Form->Player().RemoveListener(&changes);
    // The ReplayGain submenu sets the output's gain, each choice keeping the other.
    Choose("PreAmp3");
    Choose("GainAlbum");
    EXPECT_EQ(Form->audOut->ReplayGain().Mode, TReplayGainMode::Album);
    EXPECT_EQ(Form->audOut->ReplayGain().PreampDb, 3);
    EXPECT_TRUE(Form->pmPlayModes->findChild<QAction*>("GainAlbum")->isChecked());
    Choose("GainSmart");
    EXPECT_EQ(Form->audOut->ReplayGain().Mode, TReplayGainMode::Smart);
    EXPECT_EQ(Form->pmPlayModes->findChild<QAction*>("GainSmart")->text(), "Smart");
    WriteFile(ProgramDir + "lang/de.ini",
              "[lang]\r\nRepeatOne=Titel wiederholen\r\nPreAmp=Vorverstärkung %1 dB\r\n");
    Form->LoadLanguage("de");
    const QList<QAction*> actions = Form->pmPlayModes->actions();
    EXPECT_EQ(actions[1]->text(), "Titel wiederholen");
    EXPECT_EQ(actions[2]->text(), "Stop after this track");  // not in the file
    EXPECT_EQ(Form->pmPlayModes->findChild<QAction*>("PreAmp3")->text(), "Vorverstärkung +3 dB");
}

}  // namespace
}  // namespace quillet::test
