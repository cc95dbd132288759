// The player's playlists side by side: an ordered set of lists, each with a
// name, an id that stays for its whole life (the session names its file by
// it) and its own TPlaylistModel. One list is shown (the window's editing
// commands and adds work on it) and one is playing (the controller's chain,
// play order and queue follow it); they may differ. There is always at
// least one list.
//
// The set's own changes (a list added, closed, renamed or moved) can be
// undone; a closed list keeps its rows and their own undo steps meanwhile,
// so undoing the close brings it back as it was. TEditStamp orders these
// against the lists' own edits, so one Undo command takes back whichever
// came last.
//
// A model keeps its address while it is in the set (and while its close can
// be undone): listeners may hold it. ListClosing tells them before a list
// leaves the set.
//
// A NOTE ON THREADS: the GUI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "playlist_model.h"

namespace quillet {

using TListId = uint64_t;
inline constexpr TListId kNoList = 0;

class TPlaylistSetListener {
  public:
    // Lists were added, closed, renamed or moved.
    virtual void ListsChanged() {}
    // Another list is shown, or the playing list changed.
    virtual void ShownChanged() {}
    virtual void PlayingListChanged() {}
    // `list` is about to leave the set; it is still in it.
    virtual void ListClosing(TPlaylistModel& /*list*/) {}
    // A list's entries changed (added, removed, renamed, what their files
    // told), or an entry left it (`id`, after the change).
    virtual void EntriesChanged(TPlaylistModel& /*list*/) {}
    virtual void EntryRemoved(TPlaylistModel& /*list*/, TEntryId /*id*/) {}
    // A list was cleared or replaced (its entries all went).
    virtual void ListReset(TPlaylistModel& /*list*/) {}
    virtual void SelectionMoved(TPlaylistModel& /*list*/) {}

  protected:
    ~TPlaylistSetListener() = default;
};

class TPlaylistSet {
  public:
    // Closed lists kept for undo.
    static constexpr size_t kClosedKept = 20;

    // One empty list named `firstName`.
    explicit TPlaylistSet(std::string firstName);
    ~TPlaylistSet();
    TPlaylistSet(const TPlaylistSet&) = delete;
    TPlaylistSet& operator=(const TPlaylistSet&) = delete;

    void AddListener(TPlaylistSetListener* listener);
    void RemoveListener(TPlaylistSetListener* listener);

    int Count() const { return static_cast<int>(FLists.size()); }
    bool Contains(int index) const { return index >= 0 && index < Count(); }
    TPlaylistModel& List(int index) const { return *FLists[static_cast<size_t>(index)].Model; }
    const std::string& Name(int index) const { return FLists[static_cast<size_t>(index)].Name; }
    TListId Id(int index) const { return FLists[static_cast<size_t>(index)].Id; }
    // -1 when not in the set.
    int IndexOf(TListId id) const;
    int IndexOf(const TPlaylistModel& list) const;
    // The list holding entry `id`; -1 for none.
    int ListOfEntry(TEntryId id) const;

    // Adds an empty list at `index` (clamped; -1: the end) and returns its
    // index. `id` is the list's own (a restored session's) or, kNoList, a
    // new one; an id already in use gets a new one.
    int Add(std::string name, int index = -1, TListId id = kNoList);
    // Closes a list. The last one is not closed: its rows are cleared.
    void Close(int index);
    void Rename(int index, std::string name);
    // A restored session's list takes its kept id back (when no other list
    // has it); false when it could not.
    bool TakeId(int index, TListId id);
    void Move(int from, int to);

    int ShownIndex() const { return IndexOf(FShown); }
    TPlaylistModel& Shown() const { return List(ShownIndex()); }
    void Show(int index);
    int PlayingIndex() const { return IndexOf(FPlaying); }
    TPlaylistModel& Playing() const { return List(PlayingIndex()); }
    void SetPlaying(int index);

    // --- Undo of the set's own changes (TEditStamp orders them against the
    // lists' edits; 0 when there is none).
    TEditStamp LastUndoStamp() const;
    TEditStamp LastRedoStamp() const;
    bool Undo();
    bool Redo();
    // Forgets the set's steps (a restored session).
    void ClearHistory();

    // Undo and redo of whichever came last: the shown list's own edit or
    // the set's own change.
    bool UndoLatest();
    bool RedoLatest();

  private:
    // Tells the set's listeners of one list's changes.
    class TForward final : public TPlaylistListener {
      public:
        TForward(TPlaylistSet& set, TPlaylistModel& list);
        ~TForward();

      private:
        void AfterInsert(int, int) override;
        void AfterRemove(int, TEntryId id) override;
        void AfterReset() override;
        void EntryChanged(int) override;
        void SelectionChanged() override;
        TPlaylistSet& FSet;
        TPlaylistModel& FList;
    };
    struct TList {
        TListId Id = kNoList;
        std::string Name;
        std::unique_ptr<TPlaylistModel> Model;
        std::unique_ptr<TForward> Forward;  // after the model: goes first
    };
    enum class TActionKind { Added, Closed, Renamed, Moved };
    struct TAction {
        TActionKind Kind;
        TEditStamp Stamp = 0;
        int Index = 0;  // Added, Closed, Renamed: the list's place; Moved: from
        int To = 0;     // Moved: to
        std::string Name;
        TList Closed;  // a closed list, whole
    };
    template <class F>
    void Tell(F&& f);
    // Takes the list at `index` out of the set (ListClosing told first).
    TList TakeOut(int index);
    void PutBack(TList list, int index);
    // Makes `action` happen the other way round; returns it reversed.
    TAction Reverse(TAction action);
    void Record(TAction action);

    std::vector<TList> FLists;
    TListId FShown = kNoList;
    TListId FPlaying = kNoList;
    TListId FLastId = kNoList;
    std::vector<TAction> FUndo, FRedo;
    std::vector<TPlaylistSetListener*> FListeners;
};

}  // namespace quillet
