// The player's inputs: one pool for the whole player, so an input is never
// given to two tracks at once. Each kind has a first input (the one the
// window had of old; tests may put their own there) and, for a track that
// follows one of the same kind without a gap, more made on demand.
//
// A NOTE ON THREADS: GUI thread only. Whether an input is in use is asked of
// the caller (the sink knows what it plays, has queued and is opening).
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "ACS_Classes.h"
#include "input_table.h"
#include "track_input.h"

namespace quillet {

class TInputPool {
  public:
    // `busy` tells whether an input is still the sink's (playing, queued or
    // being opened): such an input is never handed out again.
    explicit TInputPool(std::function<bool(const TAuFileIn*)> busy);
    ~TInputPool();

    // How the inputs beyond the first of a kind are made (CreateInput by
    // default); tests make their own.
    void SetFactory(std::function<TAuFileIn*(TInputKind)> factory) {
        FFactory = std::move(factory);
    }

    // The first input of a kind (nullptr: none, so the kind plays nothing).
    TAuFileIn* First(TInputKind kind) const;
    // Replaces the first input of a kind (nullptr removes it and with it the
    // kind); the pool owns it.
    void Install(TInputKind kind, TAuFileIn* input);

    // An idle input of the kind: the first if free, else another, made when
    // none is; nullptr when the kind has no first input.
    TAuFileIn* Acquire(TInputKind kind);

    // The input for a track, aimed at it (`offset` flicks in); nullptr when
    // no input plays it ("Format not supported").
    TAuFileIn* OpenTrack(const TTrackRef& track, int64_t offset = 0);
    // The same for a kind already known (read in the background).
    TAuFileIn* OpenTrack(TInputKind kind, const TTrackRef& track, int64_t offset = 0);

  private:
    static constexpr size_t kKinds = kInputKindCount;
    std::function<bool(const TAuFileIn*)> FBusy;
    std::function<TAuFileIn*(TInputKind)> FFactory;
    // [kind][0] is the first input; the rest were made for gapless joins.
    std::array<std::vector<Owned<TAuFileIn>>, kKinds> FInputs;
};

}  // namespace quillet
