// How the list plays: which row follows a track that ends by itself, which
// row Next and Previous start, the shuffled order of a lap and the tracks
// played. The window's chain asks it for the row that follows; the window's
// Next, Previous and end-of-track step ask it too, so every way of moving on
// agrees. No Qt.
//
// Rows are the list's rows, 0..Count()-1; -1 means none. The owner reports
// every edit of the list (Appended, Removed, Reset) and every row that
// begins to play (Started); the order keeps its lap and history in step.
//
// Repeat list without shuffle is the list's own behaviour: the row after the
// selected one, wrapping round; the other modes are the listener's choice.
// Shuffle plays every row once, in a random order, before any row comes
// again, and each lap gets a new order. Rows added mid-lap join the rows not
// yet played; rows removed leave it.
//
// A NOTE ON THREADS: one thread only (the window's).
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

enum class TRepeat {
    List,            // round and round the list
    One,             // the same track again
    StopAfterTrack,  // stop when the track playing ends
    StopAtEnd,       // once through the list (or one shuffled lap), then stop
};

// The names the saved state uses ("list", "one", "stop-after-track",
// "stop-at-end"); nothing for any other text.
std::string_view RepeatName(TRepeat mode);
std::optional<TRepeat> RepeatNamed(std::string_view name);

class TPlayOrder {
  public:
    // Where the list is: the selected row, and the row playing (the window's
    // mark, or the row last chained). Either may be -1.
    struct TPlace {
        int Selected = -1;
        int Playing = -1;
    };

    explicit TPlayOrder(uint64_t seed = std::random_device{}());

    TRepeat Repeat() const { return FRepeat; }
    void SetRepeat(TRepeat mode) { FRepeat = mode; }
    bool Shuffle() const { return FShuffle; }
    // Turning shuffle on begins a new lap, with `playing` (if a row) counted
    // as played; turning it off forgets the lap.
    void SetShuffle(bool on, int playing = -1);

    // --- The list's edits.
    int Count() const { return FCount; }
    void Appended(int rows);  // at the end
    void Inserted(int first, int rows);
    void Removed(int row);
    void Reset(int count);  // a new list of `count` rows

    // A row begins to play, whoever started it.
    void Started(int row);

    // The row that follows when the current track ends by itself; -1 when
    // playback stops there. `pending` are rows already chosen to follow and
    // not yet started, in order (a chain may look several tracks ahead).
    int AfterTrack(TPlace at, const std::vector<int>& pending = {});
    // What the Next button starts from the selected row.
    int Next(int selected);
    // What the Previous button starts. In shuffle it steps back through the
    // rows played (and the row left becomes the next one again); otherwise,
    // and before anything was played, the row before the selected one.
    int Previous(int selected);
    bool CanGoPrevious(int selected) const;

    // How many runs in a row without sound make a whole lap: past that the
    // window stops instead of going round again.
    int LapLength() const { return FRepeat == TRepeat::One ? 1 : FCount; }

  private:
    int ListAfter(int row) const { return row == FCount - 1 ? 0 : row + 1; }
    int ListBefore(int row) const { return row == 0 ? FCount - 1 : row - 1; }
    // The shuffled rows to come: the rest of this lap, then, when `endless`,
    // the following laps; `pending` are skipped. -1 when there is none.
    int Upcoming(const std::vector<int>& pending, bool endless);
    // A lap of every row, never starting with `after` (the row before it).
    std::vector<int> NewLap(int after);
    // The next lap becomes this one.
    void BeginLap();
    void Remember(int row);
    // Rows first..first+rows-1 join a lap, linear in the lap's length.
    void JoinUnplayed(std::vector<int>& lap, int first, int rows);

    TRepeat FRepeat = TRepeat::List;
    bool FShuffle = false;
    int FCount = 0;
    std::mt19937_64 FRandom;
    // Shuffle only: this lap's rows not yet played, in the order they come;
    // the next lap once someone has looked past this one; the order the
    // last lap was made with (a new lap never repeats it).
    std::vector<int> FUnplayed;
    std::vector<int> FNextLap;
    std::vector<int> FLastLap;
    // Rows started, most recent last, without a row twice in a row.
    std::deque<int> FHistory;
};

}  // namespace quillet
