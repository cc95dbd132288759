// The play queue as an older version kept it with its one saved list: the
// queued entries' rows in that list, in queue order, as "Rows=4,0,7" in
// section "queue" of "state.ini" (session_store.h). Read once, when the
// lists take that session over (list_session.h keeps the queue since). No Qt.
#pragma once

#include <string>
#include <vector>

namespace quillet {

inline constexpr char kQueueSection[] = "queue";

// The rows kept in `folder` (with a trailing "/"): those below `rowCount`,
// each once, in order. Anything missing or malformed is left out; never
// raises.
std::vector<int> LoadQueueRows(const std::string& folder, size_t rowCount);

}  // namespace quillet
