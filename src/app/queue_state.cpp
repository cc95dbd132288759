#include "queue_state.h"

#include <algorithm>
#include <sstream>

#include "session_store.h"
#include "text.h"

namespace quillet {

std::vector<int> LoadQueueRows(const std::string& folder, size_t rowCount) {
    std::vector<int> rows;
    if (folder.empty()) return rows;
    std::istringstream text(TStateSection(folder, kQueueSection).Read("Rows"));
    // One row per list row at most: a damaged file cannot make it grow.
    for (std::string item; rows.size() < rowCount && std::getline(text, item, ',');) {
        const std::optional<int> row = ParseWholeNumber<int>(Trim(item));
        if (row && *row >= 0 && static_cast<size_t>(*row) < rowCount &&
            std::find(rows.begin(), rows.end(), *row) == rows.end())
            rows.push_back(*row);
    }
    return rows;
}

}  // namespace quillet
