#include "session_resume.h"

#include <cstdio>
#include <set>
#include <tuple>

#include "session_store.h"
#include "text.h"

namespace quillet {

namespace {

using TKey = std::tuple<std::string, int64_t, int64_t>;

TKey KeyOf(const TPlaylistEntry& entry) {
    return {entry.FilePath, entry.Range.Start, entry.Range.End};
}

}  // namespace

TResumePoint LoadResumePoint(const std::string& folder) {
    TResumePoint point;
    if (folder.empty()) return point;
    const TStateSection ini(folder, kResumeSection);
    const auto row = ParseWholeNumber<int>(ini.Read("Row"));
    const auto offset = ParseWholeNumber<int64_t>(ini.Read("Offset"));
    const auto start = ParseWholeNumber<int64_t>(ini.Read("RangeStart"));
    const auto end = ParseWholeNumber<int64_t>(ini.Read("RangeEnd"));
    point.FilePath = ini.Read("File");
    const auto list = ParseWholeNumber<TListId>(ini.Read("List"));
    if (!row || *row < 0 || !offset || *offset < 0 || !start || *start < 0 || !end || *end < -1 ||
        point.FilePath.empty())
        return {};
    point.List = list.value_or(kNoList);
    point.Row = *row;
    point.OffsetFlicks = *offset;
    point.Range = {*start, *end};
    return point;
}

void SaveResumePoint(const std::string& folder, const TResumePoint& point) {
    if (folder.empty()) return;
    try {
        TStateSection ini(folder, kResumeSection);
        ini.Write("List", std::to_string(point.List));
        ini.Write("Row", std::to_string(point.Row));
        ini.Write("File", point.FilePath);
        ini.Write("RangeStart", std::to_string(point.Range.Start));
        ini.Write("RangeEnd", std::to_string(point.Range.End));
        ini.Write("Offset", std::to_string(point.OffsetFlicks));
        ini.Save();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillet: where playback stood could not be kept: %s\n", e.what());
    }
}

TResumePoint HeardPoint(TPlaybackController& player) {
    TResumePoint point;
    TPlaylistModel& list = player.List();
    const TEntryId heard = player.HeardEntry();
    const TEntry* entry = list.Find(heard != kNoEntry ? heard : player.ResumeEntry());
    const TAuOutput::TPlayPoint at = player.PlayPoint();
    if (entry == nullptr) return point;
    if (const TPlaylistSet* set = player.Lists(); set != nullptr && set->IndexOf(list) >= 0)
        point.List = set->Id(set->IndexOf(list));
    point.Row = list.IndexOf(entry->Id);
    point.FilePath = entry->FilePath;
    point.Range = entry->Range;
    if (at.Rate > 0 && at.Frame > 0) point.OffsetFlicks = FramesToFlicks(at.Frame, at.Rate);
    return point;
}

void ResumeAt(TPlaybackController& player, const TResumePoint& point, int first) {
    TPlaylistModel& list = player.List();
    const int row = first + point.Row;
    if (point.Row < 0 || !list.Contains(row)) return;
    const TEntry& entry = list[static_cast<size_t>(row)];
    if (entry.FilePath != point.FilePath || !(entry.Range == point.Range)) return;
    list.Select(row);
    player.ResumePaused(entry.Id, point.OffsetFlicks);
}

std::vector<TPlaylistEntry> NewEntries(const TPlaylistModel& list,
                                       std::vector<TPlaylistEntry> entries, int& playRow) {
    playRow = -1;
    std::set<TKey> have;
    for (const TEntry& e : list) have.insert(KeyOf(e));
    std::vector<TPlaylistEntry> fresh;
    for (TPlaylistEntry& entry : entries) {
        if (!have.insert(KeyOf(entry)).second) {
            for (int i = 0; &entry == &entries.front() && playRow < 0 && i < list.Count(); ++i)
                if (KeyOf(list[static_cast<size_t>(i)]) == KeyOf(entry)) playRow = i;
            continue;
        }
        if (&entry == &entries.front()) playRow = list.Count();
        fresh.push_back(std::move(entry));
    }
    return fresh;
}

}  // namespace quillet
