#include "playlist_model.h"

#include <algorithm>

#include "paths.h"

namespace quillet {

void TPlaylistModel::AddListener(TPlaylistListener* listener) {
    FListeners.push_back(listener);
}

void TPlaylistModel::RemoveListener(TPlaylistListener* listener) {
    FListeners.erase(std::remove(FListeners.begin(), FListeners.end(), listener), FListeners.end());
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

namespace {

// Ids come from one counter for every list (GUI thread only).
TEntryId gLastId = kNoEntry;
// Steps past 50 are dropped sooner once they hold this many entries.
constexpr size_t kUndoStepsKept = 50;
constexpr size_t kHeldEntriesMax = 1000000;
// Changes of more rows than this are told as a reset.
constexpr size_t kRowsToldOneByOne = 64;

TEditStamp gLastStamp = 0;

}  // namespace

int64_t SecondsOf(const TEntryInfo& info) {
    if (info.LengthFlicks < 0) return -1;
    return (info.LengthFlicks + kFlicksPerSecond / 2) / kFlicksPerSecond;
}

TEditStamp NextEditStamp() {
    return ++gLastStamp;
}

TEntry TPlaylistModel::NewEntry(TPlaylistEntry item, std::string* rowText) {
    TEntry entry;
    static_cast<TPlaylistEntry&>(entry) = std::move(item);
    entry.Title = CutTitle(entry.Title);
    entry.Id = ++gLastId;
    entry.RowText = rowText != nullptr ? std::move(*rowText) : entry.Title;
    return entry;
}

int TPlaylistModel::Append(std::vector<TPlaylistEntry> items, std::vector<std::string> rowTexts,
                           std::vector<TEntryInfo> infos) {
    std::vector<TEntry> entries;
    entries.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        entries.push_back(
            NewEntry(std::move(items[i]), i < rowTexts.size() ? &rowTexts[i] : nullptr));
        if (i < infos.size()) {
            entries.back().Info = std::move(infos[i]);
            entries.back().Seconds = SecondsOf(entries.back().Info);
        }
    }
    return InsertEntries(Count(), std::move(entries));
}

int TPlaylistModel::AppendCopies(const std::vector<TEntry>& entries) {
    std::vector<TEntry> copies = entries;
    for (TEntry& copy : copies) copy.Id = ++gLastId;
    return InsertEntries(Count(), std::move(copies));
}

int TPlaylistModel::InsertEntries(int index, std::vector<TEntry> entries) {
    const int first = std::clamp(index, 0, Count());
    if (entries.empty()) return first;
    TStep step;
    step.At = static_cast<size_t>(first);
    step.Out = std::move(entries);
    step.Selected = FSelected;
    Apply(step);
    Record(std::move(step));
    return first;
}

int TPlaylistModel::AppendToLastEdit(std::vector<TPlaylistEntry> items) {
    const bool joins = FRedo.empty() && !FUndo.empty() &&
                       FUndo.back().At + FUndo.back().InCount == FEntries.size();
    if (!joins) return Append(std::move(items));
    const int first = Count();
    if (items.empty()) return first;
    TStep step;
    step.At = FEntries.size();
    step.Out.reserve(items.size());
    for (TPlaylistEntry& item : items) step.Out.push_back(NewEntry(std::move(item), nullptr));
    step.Selected = FSelected;
    Apply(step);
    // The last step's rows now run to the new end.
    FUndo.back().InCount += step.InCount;
    return first;
}

void TPlaylistModel::Remove(int index) {
    Take(index);
}

std::vector<TEntry> TPlaylistModel::Take(int index) {
    if (!Contains(index)) return {};
    TStep step;
    step.At = static_cast<size_t>(index);
    step.InCount = 1;
    Apply(step);
    std::vector<TEntry> taken = step.Out;
    Record(std::move(step));
    return taken;
}

void TPlaylistModel::Clear() {
    ReplaceAll({});
}

void TPlaylistModel::ReplaceAll(std::vector<TPlaylistEntry> items) {
    if (empty() && items.empty()) {
        // Nothing to undo; the selection and the playing mark still go.
        Tell([](TPlaylistListener& l) { l.BeforeReset(); });
        const bool hadSelection = SelectedId() != kNoEntry;
        FSelected = kNoEntry;
        Tell([](TPlaylistListener& l) { l.AfterReset(); });
        if (hadSelection) Tell([](TPlaylistListener& l) { l.SelectionChanged(); });
        return;
    }
    TStep step;
    step.InCount = FEntries.size();
    step.Out.reserve(items.size());
    for (TPlaylistEntry& item : items) step.Out.push_back(NewEntry(std::move(item), nullptr));
    // A cleared or replaced list is told as a reset, however short.
    Apply(step, true);
    Record(std::move(step));
}

void TPlaylistModel::Rename(int index, const std::string& text) {
    if (!Contains(index)) return;
    TStep step;
    step.At = static_cast<size_t>(index);
    step.InCount = 1;
    step.Out = {FEntries[static_cast<size_t>(index)]};
    step.Out[0].Title = CutTitle(text);
    step.Out[0].RowText = text;
    step.Selected = FSelected;
    Apply(step);
    Record(std::move(step));
}

void TPlaylistModel::Apply(TStep& step, bool forceReset) {
    const size_t at = std::min(step.At, FEntries.size());
    const size_t inCount = std::min(step.InCount, FEntries.size() - at);
    const size_t outCount = step.Out.size();
    const TEntryId selectedBefore = SelectedId();
    const bool wasPlaying = PlayingId() != kNoEntry;
    std::vector<TEntry> taken;
    if (inCount == 1 && outCount == 1 && FEntries[at].Id == step.Out[0].Id) {
        // The same entry changed (a rename): in place.
        taken.push_back(std::move(FEntries[at]));
        FEntries[at] = std::move(step.Out[0]);
        Tell([&](TPlaylistListener& l) { l.EntryChanged(static_cast<int>(at)); });
    } else if (forceReset || (inCount > 0 && inCount + outCount > kRowsToldOneByOne)) {
        Tell([](TPlaylistListener& l) { l.BeforeReset(); });
        const auto from = FEntries.begin() + static_cast<ptrdiff_t>(at);
        taken.assign(std::make_move_iterator(from),
                     std::make_move_iterator(from + static_cast<ptrdiff_t>(inCount)));
        FEntries.erase(from, from + static_cast<ptrdiff_t>(inCount));
        for (const TEntry& e : taken) FIndex.erase(e.Id);
        FEntries.insert(FEntries.begin() + static_cast<ptrdiff_t>(at),
                        std::make_move_iterator(step.Out.begin()),
                        std::make_move_iterator(step.Out.end()));
        Reindex(at);
        FSelected = step.Selected;
        Tell([](TPlaylistListener& l) { l.AfterReset(); });
    } else {
        taken.resize(inCount);
        for (size_t i = inCount; i-- > 0;) {
            const int index = static_cast<int>(at + i);
            const TEntryId id = FEntries[at + i].Id;
            Tell([&](TPlaylistListener& l) { l.BeforeRemove(index); });
            taken[i] = std::move(FEntries[at + i]);
            FEntries.erase(FEntries.begin() + index);
            FIndex.erase(id);
            Reindex(at + i);
            Tell([&](TPlaylistListener& l) { l.AfterRemove(index, id); });
        }
        FSelected = step.Selected;
        if (outCount > 0) {
            const int first = static_cast<int>(at);
            const int count = static_cast<int>(outCount);
            Tell([&](TPlaylistListener& l) { l.BeforeInsert(first, count); });
            FEntries.insert(FEntries.begin() + first, std::make_move_iterator(step.Out.begin()),
                            std::make_move_iterator(step.Out.end()));
            Reindex(at);
            Tell([&](TPlaylistListener& l) { l.AfterInsert(first, count); });
        }
    }
    step.At = at;
    step.InCount = outCount;
    step.Out = std::move(taken);
    step.Selected = selectedBefore;
    if (SelectedId() != selectedBefore) Tell([](TPlaylistListener& l) { l.SelectionChanged(); });
    if (wasPlaying != (PlayingId() != kNoEntry))
        Tell([](TPlaylistListener& l) { l.PlayingChanged(); });
}

void TPlaylistModel::Record(TStep step) {
    FRedo.clear();
    step.Stamp = NextEditStamp();
    FHeldEntries += step.Out.size();
    FUndo.push_back(std::move(step));
    while (FUndo.size() > kUndoSteps ||
           (FUndo.size() > kUndoStepsKept && FHeldEntries > kHeldEntriesMax)) {
        FHeldEntries -= FUndo.front().Out.size();
        FUndo.pop_front();
    }
}

bool TPlaylistModel::Undo() {
    if (FUndo.empty()) return false;
    TStep step = std::move(FUndo.back());
    FUndo.pop_back();
    FHeldEntries -= step.Out.size();
    Apply(step);
    step.Stamp = NextEditStamp();
    FRedo.push_back(std::move(step));
    return true;
}

bool TPlaylistModel::Redo() {
    if (FRedo.empty()) return false;
    TStep step = std::move(FRedo.back());
    FRedo.pop_back();
    Apply(step);
    step.Stamp = NextEditStamp();
    FHeldEntries += step.Out.size();
    FUndo.push_back(std::move(step));
    return true;
}

void TPlaylistModel::ClearHistory() {
    FUndo.clear();
    FRedo.clear();
    FHeldEntries = 0;
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
    entry.Seconds = SecondsOf(info);
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
