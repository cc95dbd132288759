// 2000 random window commands over a playlist holding every format the player
// reads, with the real inputs and output running underneath. Nothing may
// deadlock (a watchdog aborts with the last command), no sanitizer may
// report, and the rows must show the entries after every command.
// QUILLET_STRESS_SEED picks another command sequence.
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <random>

#include "media_files.h"
#include "stress_window.h"

namespace quillet::test {
namespace {

class StormTest : public StressWindowTest {};

TEST_F(StormTest, TwoThousandRandomCommandsKeepTheWindowWhole) {
    const char* env = std::getenv("QUILLET_STRESS_SEED");
    const uint32_t seed = env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 10)) : 20261208u;
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    std::printf("storm seed %u (QUILLET_STRESS_SEED)\n", seed);

    std::vector<std::string> paths;
    for (const MediaFile& f : MediaFiles()) paths.push_back(f.path);
    AddRows(paths);
    // A playlist of every file for Open, written once.
    const std::string list = Dir + "all.m3u";
    {
        std::ofstream m3u(list);
        for (const std::string& p : paths) m3u << p << "\n";
    }
    Dialogs->SoundFile = [&] { return pick(5) == 0 ? std::string() : paths[pick(paths.size())]; };
    Dialogs->Playlist = [&] { return pick(4) == 0 ? std::string() : list; };
    Dialogs->Input = [&]() -> std::optional<std::string> {
        if (pick(4) == 0) return std::nullopt;
        return std::string(1 + pick(200), static_cast<char>('a' + pick(26)));
    };

    // Commands and their weights (out of 100). New and Open empty the list;
    // they come rarely so there is mostly something to play.
    // "click" selects as the user does, which moves what follows the track
    // playing; the tracks are shorter than the chain's lead, so every
    // command meets a next track being prepared.
    static const char* const kNames[] = {"play",   "pause", "stop",   "next",   "prev", "seek",
                                         "volume", "add",   "remove", "rename", "new",  "open",
                                         "select", "wait",  "click",  "mode"};
    static const int kWeights[] = {12, 8, 6, 10, 6, 10, 7, 8, 5, 5, 1, 2, 6, 7, 4, 3};
    std::discrete_distribution<int> commands(std::begin(kWeights), std::end(kWeights));
    Watchdog dog(60);
    std::vector<int> counts(std::size(kNames));
    for (int step = 0; step < 2000; ++step) {
        const int command = commands(rng);
        ++counts[static_cast<size_t>(command)];
        dog.Kick("step " + std::to_string(step) + ": " + kNames[command] + " (seed " +
                 std::to_string(seed) + ")");
        const int rows = Form->Count();
        switch (command) {
            case 0:
                PlayRow(rows ? pick(rows) : -1);
                break;
            case 1:
                Form->sbPause->click();
                break;
            case 2:
                Form->sbStop->click();
                break;
            case 3:
                Form->sbForward->click();
                break;
            case 4:
                Form->sbRewind->click();
                break;
            case 5:
                // As a held thumb moving: the handler the bar's tracking calls.
                Guarded([&] { Form->sbSoundLengthScroll(scTrack, pick(101)); });
                break;
            case 6:
                Form->tbVolume->setValue(pick(10001));
                break;
            case 7:
                Form->sbAddFile->click();
                break;
            case 8:
                Form->SetItemIndex(rows ? pick(rows) : -1);
                Form->sbRemoveFile->click();
                break;
            case 9:
                Form->SetItemIndex(rows ? pick(rows) : -1);
                Form->lbPlaylistKeyPress(QStringLiteral("e"));
                break;
            case 10:
                Form->sbNewPlaylist->click();
                break;
            case 11:
                Form->sbPlaylistOpen->click();
                break;
            case 12:
                Form->SetItemIndex(rows ? pick(rows + 1) - 1 : -1);
                break;
            case 14:
                if (rows) Form->lbPlaylist->SelectAsUser(pick(rows));
                break;
            case 15: {
                // How the list plays changes under a track chained to follow.
                static const TRepeat kModes[] = {TRepeat::List, TRepeat::One,
                                                 TRepeat::StopAfterTrack, TRepeat::StopAtEnd};
                if (pick(3) == 0) {
                    Form->Player().SetShuffle(!Form->Player().Shuffle());
                } else {
                    Form->Player().SetRepeat(kModes[pick(4)]);
                }
                break;
            }
            default:
                Serve(1 + pick(30));
                break;
        }
        QCoreApplication::processEvents();
        ASSERT_TRUE(ModelInStep())
            << "after step " << step << " (" << kNames[command] << "), seed " << seed;
        const TAuInput* queued = Form->audOut->QueuedNext();
        ASSERT_TRUE(queued == nullptr || queued != Form->audOut->Input())
            << "after step " << step << " (" << kNames[command] << "), seed " << seed;
    }
    dog.Kick("stopping");
    Form->sbStop->click();
    Serve(50);
    EXPECT_TRUE(ModelInStep());
    // Valid files, known extensions: no command had anything to complain of.
    for (const RecordedBox& box : Boxes) ADD_FAILURE() << box.Text.toStdString();
    for (size_t i = 0; i < counts.size(); ++i) std::printf("%s %d  ", kNames[i], counts[i]);
    std::printf("\n%d runs, %d tracks\n", Sound->OpenCount(), Starts());
    // The storm played, not only edited: hundreds of runs started, and
    // tracks were joined without a gap as well.
    EXPECT_GT(Sound->OpenCount(), 200);
    EXPECT_GT(Starts() - Sound->OpenCount(), 20);
}

}  // namespace
}  // namespace quillet::test
