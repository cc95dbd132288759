#include "list_session.h"

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <system_error>

#include "ini.h"
#include "paths.h"
#include "queue_state.h"
#include "session_state.h"
#include "text.h"
#include "textfile.h"

namespace quillet {

namespace {

constexpr char kListsFolder[] = "lists/";
constexpr char kIndexFile[] = "index.ini";
constexpr char kListsSection[] = "lists";
// Lists kept at most (a damaged index cannot make the start read more).
constexpr size_t kListsMax = 1000;

std::string ListFileName(const std::string& folder, TListId id) {
    return folder + kListsFolder + std::to_string(id) + ".m3u8";
}

std::string ListSection(TListId id) {
    return "list" + std::to_string(id);
}

template <class T>
std::vector<T> SplitNumbers(const std::string& text, size_t max) {
    std::vector<T> out;
    std::istringstream in(text);
    for (std::string item; out.size() < max && std::getline(in, item, ',');)
        if (const auto n = ParseWholeNumber<T>(Trim(item))) out.push_back(*n);
    return out;
}

// An older version's single list, its row and its queue.
TKeptLists LoadLegacy(const std::string& folder) {
    TKeptLists kept;
    kept.Legacy = true;
    const TSessionState state = LoadSessionState(folder);
    if (state.Entries.empty()) return kept;
    TKeptList& list = kept.Lists.emplace_back();
    list.Id = 1;
    list.Row = state.Row;
    for (const TPlaylistEntry& entry : state.Entries) {
        TKeptEntry& k = list.Entries.emplace_back();
        k.Entry = entry;
        k.RowText = entry.Title;
    }
    for (const int row : LoadQueueRows(folder, state.Entries.size()))
        kept.Queue.emplace_back(list.Id, row);
    kept.Shown = kept.Playing = list.Id;
    return kept;
}

}  // namespace

TKeptLists LoadKeptLists(const std::string& folder) {
    if (folder.empty()) return {};
    const std::string index = folder + kListsFolder + kIndexFile;
    std::error_code ec;
    if (!std::filesystem::exists(index, ec)) return LoadLegacy(folder);
    TKeptLists kept;
    const TIniFile ini = TIniFile::Load(index);
    for (const TListId id :
         SplitNumbers<TListId>(ini.ReadString(kListsSection, "Order"), kListsMax)) {
        if (id == kNoList) continue;
        TKeptList list;
        list.Id = id;
        list.Name = ini.ReadString(ListSection(id), "Name");
        if (list.Name.empty()) list.Name = "Playlist";
        try {
            list.Entries = ReadListFile(ListFileName(folder, id));
        } catch (const std::exception&) {
            continue;  // this list only is lost
        }
        const auto row = ParseWholeNumber<int>(ini.ReadString(ListSection(id), "Row"));
        if (row && *row >= 0 && static_cast<size_t>(*row) < list.Entries.size()) list.Row = *row;
        kept.Lists.push_back(std::move(list));
    }
    kept.Shown = ParseWholeNumber<TListId>(ini.ReadString(kListsSection, "Shown")).value_or(0);
    kept.Playing = ParseWholeNumber<TListId>(ini.ReadString(kListsSection, "Playing")).value_or(0);
    std::istringstream queue(ini.ReadString(kListsSection, "Queue"));
    for (std::string item; kept.Queue.size() < 100000 && std::getline(queue, item, ',');) {
        const size_t colon = item.find(':');
        if (colon == std::string::npos) continue;
        const auto id = ParseWholeNumber<TListId>(item.substr(0, colon));
        const auto row = ParseWholeNumber<int>(item.substr(colon + 1));
        if (id && row && *row >= 0) kept.Queue.emplace_back(*id, *row);
    }
    return kept;
}

std::vector<int> RestoreKeptLists(TKeptLists kept, TPlaylistSet& set, TPlaybackController& player) {
    std::vector<int> places;
    const bool reuseFirst = set.Count() == 1 && set.List(0).empty();
    for (size_t i = 0; i < kept.Lists.size(); ++i) {
        TKeptList& k = kept.Lists[i];
        int index = 0;
        if (i == 0 && reuseFirst) {
            set.Rename(0, k.Name.empty() ? set.Name(0) : k.Name);
            set.TakeId(0, k.Id);
        } else {
            index = set.Add(k.Name, -1, k.Id);
        }
        std::vector<TPlaylistEntry> items;
        std::vector<std::string> rows;
        std::vector<TEntryInfo> infos;
        items.reserve(k.Entries.size());
        for (TKeptEntry& e : k.Entries) {
            // A stream's row shows its station once one was heard.
            std::string row = IsUrl(e.Entry.FilePath) && !e.Info.Tags.Album.empty()
                                  ? e.Info.Tags.Album
                              : e.RowText.empty() ? e.Entry.Title
                                                  : e.RowText;
            items.push_back(std::move(e.Entry));
            rows.push_back(std::move(row));
            infos.push_back(std::move(e.Info));
        }
        TPlaylistModel& list = set.List(index);
        const int first = list.Count();
        list.Append(std::move(items), std::move(rows), std::move(infos));
        if (k.Row >= 0) list.Select(first + k.Row);
        list.ClearHistory();
        places.push_back(index);
    }
    for (int i = 0; i < set.Count(); ++i) {
        if (set.Id(i) == kept.Shown) set.Show(i);
        if (set.Id(i) == kept.Playing) player.SetList(set.List(i));
    }
    std::vector<TEntryId> queue = player.Queue().Ids();
    for (const auto& [id, row] : kept.Queue) {
        const int index = set.IndexOf(id);
        if (index >= 0 && set.List(index).Contains(row))
            queue.push_back(set.List(index)[static_cast<size_t>(row)].Id);
    }
    player.SetQueue(queue);
    set.ClearHistory();
    return places;
}

void SaveListFile(const std::string& folder, const TPlaylistSet& set, int index) {
    std::error_code ec;
    std::filesystem::create_directories(folder + kListsFolder, ec);
    const TPlaylistModel& list = set.List(index);
    std::vector<const TEntry*> entries;
    entries.reserve(list.size());
    for (const TEntry& e : list) entries.push_back(&e);
    WriteFileAtomic(ListFileName(folder, set.Id(index)), ListFileText(entries));
}

void SaveListsIndex(const std::string& folder, const TPlaylistSet& set,
                    const TPlaybackController& player) {
    std::error_code ec;
    std::filesystem::create_directories(folder + kListsFolder, ec);
    TIniFile ini;
    std::string order, queue;
    for (int i = 0; i < set.Count(); ++i) {
        if (!order.empty()) order += ',';
        order += std::to_string(set.Id(i));
        ini.WriteString(ListSection(set.Id(i)), "Name", OneLineBreaksAsBlanks(set.Name(i)));
        ini.WriteString(ListSection(set.Id(i)), "Row", std::to_string(set.List(i).Selected()));
    }
    ini.WriteString(kListsSection, "Order", order);
    ini.WriteString(kListsSection, "Shown", std::to_string(set.Id(set.ShownIndex())));
    ini.WriteString(kListsSection, "Playing", std::to_string(set.Id(set.PlayingIndex())));
    for (const TEntryId id : player.Queue().Ids()) {
        const int list = set.ListOfEntry(id);
        if (list < 0) continue;
        if (!queue.empty()) queue += ',';
        queue += std::to_string(set.Id(list)) + ':' + std::to_string(set.List(list).IndexOf(id));
    }
    ini.WriteString(kListsSection, "Queue", queue);
    ini.Save(folder + kListsFolder + kIndexFile);
}

void RemoveListFiles(const std::string& folder, const std::set<TListId>& closed) {
    for (const TListId id : closed) ::unlink(ListFileName(folder, id).c_str());
}

}  // namespace quillet
