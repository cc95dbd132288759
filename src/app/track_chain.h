// The window's side of the gapless chain: which row follows the one playing,
// the input that will play it, and when a change becomes the row the window
// shows. The output asks for the next input a few seconds before the end
// (OnNeedNext) and tells when it is heard (OnTrackChange); this answers with
// the row the window's own end-of-track step would start (the row after the
// selected one, wrapping), so the list plays exactly as it always did, only
// without the gap.
//
// It also ends a lap of failures: when as many runs in a row as the list has
// rows produced no sound (no device, a missing library, unreadable files),
// the chain stops instead of stepping round the list for ever.
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

namespace quillet {

class TTrackChain {
  public:
    // What the chain needs to know of the window's list.
    struct THost {
        std::function<int()> Count;
        std::function<int()> SelectedRow;  // -1: none
        std::function<std::string(int row)> PathOf;
        // The window's own input of a kind (may be nullptr).
        std::function<TAuFileIn*(TInputKind)> WindowInput;
        // A chained row has begun to be heard: the window shows it.
        std::function<void(int row)> Heard;
    };

    TTrackChain(TAuOutput& out, THost host);

    // The output's events.
    void NeedNext();
    void TrackChanged();
    // A run ended (OnDone): false when a whole lap of runs gave no sound and
    // the list should stop here.
    bool RunEnded();
    // A run is about to start from Play; `byUser` starts a new lap count.
    void Starting(bool byUser);

    // The list or the selection changed: a queued input that no longer is
    // the row that would follow is dropped, and the right one queued.
    void RowRemoved(int row);
    void ListReplaced();
    void ListChanged();

  private:
    struct TQueued {
        int Row;
        std::string Path;
        TAuInput* Input;
    };
    // The row the end-of-track step would start after `row`.
    int RowAfter(int row) const;
    // The row that plays when the current input ends: the last one queued
    // (handed over, not yet heard), else the selected row.
    int PlayingRow() const;
    // An input of this kind that is neither playing nor queued.
    TAuFileIn* FreeInput(TInputKind kind);
    void Answer();

    TAuOutput& FOut;
    THost FHost;
    std::deque<TQueued> FQueued;  // in the order the output will play them
    std::map<TInputKind, Owned<TAuFileIn>> FSpares;
    int FSilentRuns = 0;
};

}  // namespace quillet
