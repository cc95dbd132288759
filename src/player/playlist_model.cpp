#include "playlist_model.h"

#include <algorithm>

#include "paths.h"

namespace quillet {

void TPlaylistModel::AddListener(TPlaylistListener* listener) {
    FListeners.push_back(listener);
}

void TPlaylistModel::RemoveListener(TPlaylistListener* listener) {
    FListeners.erase(std::remove(FListeners.begin(), FListeners.end(), listener),
                     FListeners.end());
}

template <class F>
void TPlaylistModel::Tell(F&& f) {
    // A listener may remove itself (or another) while being told.
    const std::vector<TPlaylistListener*> listeners = FListeners;
    for (TPlaylistListener* l : listeners)
        if (std::find(FListeners.begin(), FListeners.end(), l) != FListeners.end()) f(*l);
}

void TPlaylistModel::Reindex(size_t from) {
    for (size_t i = from; i < FEntries.size(); ++i) FIndex[FEntries[i].Id] = i;
}

std::vector<TPlaylistEntry> TPlaylistModel::Items() const {
    return {FEntries.begin(), FEntries.end()};
}

int TPlaylistModel::IndexOf(TEntryId id) const {
    if (id == kNoEntry) return -1;
    const auto it = FIndex.find(id);
    return it == FIndex.end() ? -1 : static_cast<int>(it->second);
}

const TEntry* TPlaylistModel::Find(TEntryId id) const {
    const int index = IndexOf(id);
    return index < 0 ? nullptr : &FEntries[static_cast<size_t>(index)];
}

int TPlaylistModel::Append(std::vector<TPlaylistEntry> items, std::vector<std::string> rowTexts) {
    const int first = Count();
    const int count = static_cast<int>(items.size());
    if (count == 0) return first;
    Tell([&](TPlaylistListener& l) { l.BeforeInsert(first, count); });
    FEntries.reserve(FEntries.size() + items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        TEntry entry;
        static_cast<TPlaylistEntry&>(entry) = std::move(items[i]);
        entry.Title = CutTitle(entry.Title);
        entry.Id = ++FLastId;
        entry.RowText = i < rowTexts.size() ? std::move(rowTexts[i]) : entry.Title;
        FIndex[entry.Id] = FEntries.size();
        FEntries.push_back(std::move(entry));
    }
    Tell([&](TPlaylistListener& l) { l.AfterInsert(first, count); });
    return first;
}

void TPlaylistModel::Remove(int index) {
    if (!Contains(index)) return;
    const TEntryId id = FEntries[static_cast<size_t>(index)].Id;
    Tell([&](TPlaylistListener& l) { l.BeforeRemove(index); });
    FEntries.erase(FEntries.begin() + index);
    FIndex.erase(id);
    Reindex(static_cast<size_t>(index));
    const bool hadSelection = FSelected != kNoEntry;
    FSelected = kNoEntry;
    Tell([&](TPlaylistListener& l) { l.AfterRemove(index, id); });
    if (hadSelection) Tell([](TPlaylistListener& l) { l.SelectionChanged(); });
    if (id == FPlaying) Tell([](TPlaylistListener& l) { l.PlayingChanged(); });
}

void TPlaylistModel::Clear() {
    Tell([](TPlaylistListener& l) { l.BeforeReset(); });
    const bool hadPlaying = PlayingId() != kNoEntry;
    const bool hadSelection = SelectedId() != kNoEntry;
    FEntries.clear();
    FIndex.clear();
    FSelected = kNoEntry;
    Tell([](TPlaylistListener& l) { l.AfterReset(); });
    if (hadSelection) Tell([](TPlaylistListener& l) { l.SelectionChanged(); });
    if (hadPlaying) Tell([](TPlaylistListener& l) { l.PlayingChanged(); });
}

void TPlaylistModel::Rename(int index, const std::string& text) {
    if (!Contains(index)) return;
    TEntry& entry = FEntries[static_cast<size_t>(index)];
    entry.Title = CutTitle(text);
    entry.RowText = text;
    Tell([&](TPlaylistListener& l) { l.EntryChanged(index); });
}

bool TPlaylistModel::RetitleFromTags(TEntryId id, const std::string& title) {
    const int index = IndexOf(id);
    if (index < 0 || title.empty()) return false;
    TEntry& entry = FEntries[static_cast<size_t>(index)];
    // Only a row still showing its file's name: the user's name and a
    // playlist's title stay.
    if (entry.RowText != FileNamePart(entry.FilePath)) return false;
    entry.Title = CutTitle(title);
    entry.RowText = entry.Title;
    Tell([&](TPlaylistListener& l) { l.EntryChanged(index); });
    return true;
}

void TPlaylistModel::SetInfo(TEntryId id, const TEntryInfo& info) {
    const int index = IndexOf(id);
    if (index < 0) return;
    TEntry& entry = FEntries[static_cast<size_t>(index)];
    if (entry.Info == info) return;
    entry.Info = info;
    Tell([&](TPlaylistListener& l) { l.EntryChanged(index); });
}

void TPlaylistModel::ShowLiveTags(TEntryId id, const std::string& rowText, const TTrackTags& tags) {
    const int index = IndexOf(id);
    if (index < 0) return;
    TEntry& entry = FEntries[static_cast<size_t>(index)];
    if (entry.RowText == rowText && entry.Info.Tags == tags) return;
    entry.RowText = rowText;
    entry.Info.Tags = tags;
    Tell([&](TPlaylistListener& l) { l.EntryChanged(index); });
}

void TPlaylistModel::Select(int index) {
    const TEntryId id = Contains(index) ? FEntries[static_cast<size_t>(index)].Id : kNoEntry;
    if (id == SelectedId()) {
        FSelected = id;
        return;
    }
    FSelected = id;
    Tell([](TPlaylistListener& l) { l.SelectionChanged(); });
}

void TPlaylistModel::SetPlaying(TEntryId id) {
    if (IndexOf(id) < 0) id = kNoEntry;
    if (id == PlayingId() && id == FPlaying) return;
    FPlaying = id;
    Tell([](TPlaylistListener& l) { l.PlayingChanged(); });
}

}  // namespace quillet
