#include "queue_state.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "ini.h"
#include "session_state.h"
#include "text.h"

namespace quillet {

std::vector<int> LoadQueueRows(const std::string& folder, size_t rowCount) {
    std::vector<int> rows;
    if (folder.empty()) return rows;
    std::istringstream text(
        TIniFile::Load(folder + kStateFileName).ReadString(kQueueSection, "Rows"));
    // One row per list row at most: a damaged file cannot make it grow.
    for (std::string item; rows.size() < rowCount && std::getline(text, item, ',');) {
        const std::optional<int> row = ParseWholeNumber<int>(Trim(item));
        if (row && *row >= 0 && static_cast<size_t>(*row) < rowCount &&
            std::find(rows.begin(), rows.end(), *row) == rows.end())
            rows.push_back(*row);
    }
    return rows;
}

void SaveQueueRows(const std::string& folder, const TPlaylistModel& list, const TPlayQueue& queue) {
    // The saved row of each list row (-1: not kept).
    std::vector<int> saved(list.size(), -1);
    int next = 0;
    for (size_t i = 0; i < list.size(); ++i)
        if (KeptInSession(list[i])) saved[i] = next++;
    std::string rows;
    for (const TEntryId id : queue.Ids()) {
        const int row = list.IndexOf(id);
        if (row < 0 || saved[static_cast<size_t>(row)] < 0) continue;
        if (!rows.empty()) rows += ',';
        rows += std::to_string(saved[static_cast<size_t>(row)]);
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    TIniFile ini = TIniFile::Load(folder + kStateFileName);
    ini.WriteString(kQueueSection, "Rows", rows);
    ini.Save(folder + kStateFileName);
}

}  // namespace quillet
