// The entries the user asked to play next ("Play next"), in the order asked:
// they come before the play order resumes. Entries are held by id, so edits
// around them never change what is queued; an entry is in it at most once.
// The playback controller owns it and keeps it in step with the list (an
// entry removed from the list leaves the queue, a new list empties it).
//
// A NOTE ON THREADS: the GUI thread only. No Qt.
#pragma once

#include <unordered_map>
#include <vector>

#include "playlist_model.h"

namespace quillet {

class TPlayQueue {
  public:
    bool empty() const { return FIds.empty(); }
    int Count() const { return static_cast<int>(FIds.size()); }
    const std::vector<TEntryId>& Ids() const { return FIds; }
    // 1 for the head, 0 when `id` is not queued.
    int Position(TEntryId id) const;
    // Appends `id`; false (and nothing changes) when it is already queued or
    // is no entry.
    bool Add(TEntryId id);
    // False when `id` was not queued.
    bool Remove(TEntryId id);
    // False when it was already empty.
    bool Clear();

  private:
    std::vector<TEntryId> FIds;                   // head first
    std::unordered_map<TEntryId, size_t> FIndex;  // id -> index in FIds, kept exact
};

}  // namespace quillet
