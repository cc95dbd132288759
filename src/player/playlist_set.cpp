#include "playlist_set.h"

#include <algorithm>

namespace quillet {

namespace {

// The set's own steps kept (each closed list among them holds its rows).
constexpr size_t kActionsKept = 100;

}  // namespace

TPlaylistSet::TForward::TForward(TPlaylistSet& set, TPlaylistModel& list) : FSet(set), FList(list) {
    FList.AddListener(this);
}

TPlaylistSet::TForward::~TForward() {
    FList.RemoveListener(this);
}

void TPlaylistSet::TForward::AfterInsert(int, int) {
    FSet.Tell([this](TPlaylistSetListener& l) { l.EntriesChanged(FList); });
}

void TPlaylistSet::TForward::AfterRemove(int, TEntryId id) {
    FSet.Tell([&](TPlaylistSetListener& l) { l.EntryRemoved(FList, id); });
    FSet.Tell([this](TPlaylistSetListener& l) { l.EntriesChanged(FList); });
}

void TPlaylistSet::TForward::AfterReset() {
    FSet.Tell([this](TPlaylistSetListener& l) { l.ListReset(FList); });
    FSet.Tell([this](TPlaylistSetListener& l) { l.EntriesChanged(FList); });
}

void TPlaylistSet::TForward::EntryChanged(int) {
    FSet.Tell([this](TPlaylistSetListener& l) { l.EntriesChanged(FList); });
}

void TPlaylistSet::TForward::SelectionChanged() {
    FSet.Tell([this](TPlaylistSetListener& l) { l.SelectionMoved(FList); });
}

TPlaylistSet::TPlaylistSet(std::string firstName) {
    FShown = FPlaying = Id(Add(std::move(firstName)));
    ClearHistory();
}

TPlaylistSet::~TPlaylistSet() = default;

void TPlaylistSet::AddListener(TPlaylistSetListener* listener) {
    FListeners.push_back(listener);
}

void TPlaylistSet::RemoveListener(TPlaylistSetListener* listener) {
    std::erase(FListeners, listener);
}

template <class F>
void TPlaylistSet::Tell(F&& f) {
    const std::vector<TPlaylistSetListener*> listeners = FListeners;
    for (TPlaylistSetListener* l : listeners)
        if (std::find(FListeners.begin(), FListeners.end(), l) != FListeners.end()) f(*l);
}

int TPlaylistSet::IndexOf(TListId id) const {
    for (size_t i = 0; i < FLists.size(); ++i)
        if (FLists[i].Id == id) return static_cast<int>(i);
    return -1;
}

int TPlaylistSet::IndexOf(const TPlaylistModel& list) const {
    for (size_t i = 0; i < FLists.size(); ++i)
        if (FLists[i].Model.get() == &list) return static_cast<int>(i);
    return -1;
}

int TPlaylistSet::ListOfEntry(TEntryId id) const {
    for (size_t i = 0; i < FLists.size(); ++i)
        if (FLists[i].Model->IndexOf(id) >= 0) return static_cast<int>(i);
    return -1;
}

int TPlaylistSet::Add(std::string name, int index, TListId id) {
    if (id == kNoList || IndexOf(id) >= 0) id = FLastId + 1;
    FLastId = std::max(FLastId, id);
    TList list{id, std::move(name), std::make_unique<TPlaylistModel>(), nullptr};
    list.Forward = std::make_unique<TForward>(*this, *list.Model);
    index = index < 0 ? Count() : std::min(index, Count());
    FLists.insert(FLists.begin() + index, std::move(list));
    Record({TActionKind::Added, 0, index, 0, {}, {}});
    Tell([](TPlaylistSetListener& l) { l.ListsChanged(); });
    return index;
}

void TPlaylistSet::Close(int index) {
    if (!Contains(index)) return;
    if (Count() == 1) {
        List(0).Clear();
        return;
    }
    TAction action{TActionKind::Closed, 0, index, 0, {}, TakeOut(index)};
    Record(std::move(action));
}

TPlaylistSet::TList TPlaylistSet::TakeOut(int index) {
    Tell([&](TPlaylistSetListener& l) { l.ListClosing(List(index)); });
    TList list = std::move(FLists[static_cast<size_t>(index)]);
    FLists.erase(FLists.begin() + index);
    const bool shown = FShown == list.Id, playing = FPlaying == list.Id;
    if (shown) FShown = FLists[static_cast<size_t>(std::min(index, Count() - 1))].Id;
    if (playing) FPlaying = FShown;
    Tell([](TPlaylistSetListener& l) { l.ListsChanged(); });
    if (shown) Tell([](TPlaylistSetListener& l) { l.ShownChanged(); });
    if (playing) Tell([](TPlaylistSetListener& l) { l.PlayingListChanged(); });
    return list;
}

void TPlaylistSet::PutBack(TList list, int index) {
    index = std::clamp(index, 0, Count());
    const TListId id = list.Id;
    FLists.insert(FLists.begin() + index, std::move(list));
    Tell([](TPlaylistSetListener& l) { l.ListsChanged(); });
    Show(IndexOf(id));
}

void TPlaylistSet::Rename(int index, std::string name) {
    if (!Contains(index) || Name(index) == name) return;
    std::swap(FLists[static_cast<size_t>(index)].Name, name);
    Record({TActionKind::Renamed, 0, index, 0, std::move(name), {}});
    Tell([](TPlaylistSetListener& l) { l.ListsChanged(); });
}

bool TPlaylistSet::TakeId(int index, TListId id) {
    if (!Contains(index) || id == kNoList || IndexOf(id) >= 0)
        return Contains(index) && Id(index) == id;
    const TListId old = Id(index);
    FLists[static_cast<size_t>(index)].Id = id;
    FLastId = std::max(FLastId, id);
    if (FShown == old) FShown = id;
    if (FPlaying == old) FPlaying = id;
    return true;
}

void TPlaylistSet::Move(int from, int to) {
    if (!Contains(from) || !Contains(to) || from == to) return;
    TList list = std::move(FLists[static_cast<size_t>(from)]);
    FLists.erase(FLists.begin() + from);
    FLists.insert(FLists.begin() + to, std::move(list));
    Record({TActionKind::Moved, 0, from, to, {}, {}});
    Tell([](TPlaylistSetListener& l) { l.ListsChanged(); });
}

void TPlaylistSet::Show(int index) {
    if (!Contains(index) || Id(index) == FShown) return;
    FShown = Id(index);
    Tell([](TPlaylistSetListener& l) { l.ShownChanged(); });
}

void TPlaylistSet::SetPlaying(int index) {
    if (!Contains(index) || Id(index) == FPlaying) return;
    FPlaying = Id(index);
    Tell([](TPlaylistSetListener& l) { l.PlayingListChanged(); });
}

// --- Undo

TPlaylistSet::TAction TPlaylistSet::Reverse(TAction action) {
    switch (action.Kind) {
        case TActionKind::Added:
            if (Count() > 1 && Contains(action.Index)) {
                action.Closed = TakeOut(action.Index);
                action.Kind = TActionKind::Closed;
            }
            break;
        case TActionKind::Closed:
            PutBack(std::move(action.Closed), action.Index);
            action.Closed = {};
            action.Kind = TActionKind::Added;
            break;
        case TActionKind::Renamed:
            if (Contains(action.Index)) {
                std::swap(FLists[static_cast<size_t>(action.Index)].Name, action.Name);
                Tell([](TPlaylistSetListener& l) { l.ListsChanged(); });
            }
            break;
        case TActionKind::Moved:
            if (Contains(action.Index) && Contains(action.To)) {
                TList list = std::move(FLists[static_cast<size_t>(action.To)]);
                FLists.erase(FLists.begin() + action.To);
                FLists.insert(FLists.begin() + action.Index, std::move(list));
                std::swap(action.Index, action.To);
                Tell([](TPlaylistSetListener& l) { l.ListsChanged(); });
            }
            break;
    }
    action.Stamp = NextEditStamp();
    return action;
}

void TPlaylistSet::Record(TAction action) {
    action.Stamp = NextEditStamp();
    FRedo.clear();
    FUndo.push_back(std::move(action));
    const auto closed = [this] {
        return std::count_if(FUndo.begin(), FUndo.end(),
                             [](const TAction& a) { return a.Kind == TActionKind::Closed; });
    };
    while (FUndo.size() > kActionsKept || static_cast<size_t>(closed()) > kClosedKept)
        FUndo.erase(FUndo.begin());
}

TEditStamp TPlaylistSet::LastUndoStamp() const {
    return FUndo.empty() ? 0 : FUndo.back().Stamp;
}

TEditStamp TPlaylistSet::LastRedoStamp() const {
    return FRedo.empty() ? 0 : FRedo.back().Stamp;
}

bool TPlaylistSet::Undo() {
    if (FUndo.empty()) return false;
    TAction action = std::move(FUndo.back());
    FUndo.pop_back();
    FRedo.push_back(Reverse(std::move(action)));
    return true;
}

bool TPlaylistSet::Redo() {
    if (FRedo.empty()) return false;
    TAction action = std::move(FRedo.back());
    FRedo.pop_back();
    FUndo.push_back(Reverse(std::move(action)));
    return true;
}

bool TPlaylistSet::UndoLatest() {
    TPlaylistModel& shown = Shown();
    if (shown.LastUndoStamp() > LastUndoStamp()) return shown.Undo();
    return Undo();
}

bool TPlaylistSet::RedoLatest() {
    TPlaylistModel& shown = Shown();
    if (shown.LastRedoStamp() > LastRedoStamp()) return shown.Redo();
    return Redo();
}

void TPlaylistSet::ClearHistory() {
    FUndo.clear();
    FRedo.clear();
}

}  // namespace quillet
