// What the stream heard says of itself, shown where its entry is: the
// station's name until the first song title, then "Artist - Title" as the
// songs change, in the entry's row and tags (and so in the caption and on
// the bus). Looked at on the controller's events and on every Poll (the
// window's clock tick: a stream has no length, so its progress never
// moves): the stream input publishes its titles from its own thread, and
// reading them is a counter compare, so nothing here waits on the network.
//
// A NOTE ON THREADS: GUI thread only, as the controller it listens to.
#pragma once

#include <cstdint>

#include "playback_controller.h"

namespace quillet {

class TStreamTitles : private TPlaybackListener {
  public:
    explicit TStreamTitles(TPlaybackController& player);
    ~TStreamTitles();
    TStreamTitles(const TStreamTitles&) = delete;
    TStreamTitles& operator=(const TStreamTitles&) = delete;

    // Gives the heard stream's latest titles to its entry, if they changed.
    void Poll();

  private:
    void PlaybackChanged() override { Poll(); }
    void ProgressMoved() override { Poll(); }

    TPlaybackController& FPlayer;
    // What was shown last: the entry, the input and its title count.
    TEntryId FEntry = kNoEntry;
    const void* FInput = nullptr;
    uint32_t FSerial = 0;
};

}  // namespace quillet
