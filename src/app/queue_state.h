// The play queue kept with the saved session: the queued entries' rows in
// the saved playlist, in queue order, as "Rows=4,0,7" in section "queue" of
// "state.ini" (session_state.h). Rows, not ids: ids live for one run only.
// No Qt.
#pragma once

#include <string>
#include <vector>

#include "play_queue.h"
#include "playlist_model.h"

namespace quillet {

inline constexpr char kQueueSection[] = "queue";

// The rows kept in `folder` (with a trailing "/"): those below `rowCount`,
// each once, in order. Anything missing or malformed is left out; never
// raises.
std::vector<int> LoadQueueRows(const std::string& folder, size_t rowCount);

// Writes the queue's rows as the saved playlist numbers them (entries the
// session cannot keep are left out of it, and the rows after them shift).
// Raises EInOutError (textfile.h) when the file cannot be written.
void SaveQueueRows(const std::string& folder, const TPlaylistModel& list, const TPlayQueue& queue);

}  // namespace quillet
