// The window's side of the gapless chain: which row follows the one playing,
// the input that will play it, and when a change becomes the row the window
// shows. The output asks for the next input a few seconds before the end
// (OnNeedNext) and tells when it is heard (OnTrackChange); this answers with
// the row the window's own end-of-track step would start, as the play order
// (play_order.h) has it: by default the row after the selected one,
// wrapping, so the list plays as it always did, only without the gap. When
// the order says playback stops after this track, the answer is "none" and
// the run ends with the track.
//
// It also ends a lap of failures: when a whole lap of runs in a row produced
// no sound (no device, a missing library, unreadable files), the chain stops
// instead of stepping round the list for ever; and when the order stops
// playback before a single run since the listener's start gave sound, that
// counts as such a lap too.
//
// A NOTE ON THREADS: everything here runs on the GUI thread (the output's
// events reach it there).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>

#include "ACS_Classes.h"
#include "input_table.h"
#include "play_order.h"

namespace quillet {

class TTrackChain {
  public:
    // What the chain needs to know of the window's list.
    struct THost {
        std::function<int()> Count;
        std::function<int()> SelectedRow;  // -1: none
        std::function<int()> PlayingRow;   // the row marked as playing; -1: none
        std::function<std::string(int row)> PathOf;
        // The window's own input of a kind (may be nullptr).
        std::function<TAuFileIn*(TInputKind)> WindowInput;
        // A chained row has begun to be heard: the window shows it.
        std::function<void(int row)> Heard;
    };

    TTrackChain(TAuOutput& out, THost host);

    // What the window does when a run has ended.
    struct TRunEnd {
        bool Failed = false;  // a lap gave no sound: stop and show the run's error
        int Row = -1;         // otherwise the row to start; -1: playback stops here
    };

    // The output's events.
    void NeedNext();
    void TrackChanged();
    // A run ended (OnDone).
    TRunEnd RunEnded();
    // A run of `row` is about to start from Play; `byUser` starts a new lap
    // count.
    void Starting(int row, bool byUser);

    // The list, the selection or the way the list plays changed: a queued
    // input that no longer is the row that would follow is dropped, and the
    // right one queued.
    void RowRemoved(int row);
    void ListReplaced();
    void ListChanged();

    // The play order, in step with the list's length.
    TPlayOrder& Order();

  private:
    struct TQueued {
        int Row;
        std::string Path;
        TAuInput* Input;
    };
    // The row the end-of-track step would start after the last row queued
    // (handed over, not yet heard), else after the window's own; -1: none.
    int NextRow();
    // Rows appended without a word reach the order here.
    void SyncOrder();
    // An input of this kind that is neither playing nor queued.
    TAuFileIn* FreeInput(TInputKind kind);
    void Answer();

    TAuOutput& FOut;
    THost FHost;
    std::deque<TQueued> FQueued;  // in the order the output will play them
    std::map<TInputKind, Owned<TAuFileIn>> FSpares;
    TPlayOrder FOrder;
    int FSilentRuns = 0;
    bool FSoundSinceStart = false;  // a run since the listener's last start gave sound
};

}  // namespace quillet
