// The playlist every command works on: the ordered entries, the selected
// entry and the entry playing. Each entry has an id of its own for its whole
// life in the list, so two entries of one file (the tracks of a CUE sheet,
// the same stream twice) stay apart, and the playing entry is found by id
// after any edit around it. No Qt: the window shows it through a Qt item
// model, the playback controller plays from it, the session saves it.
//
// Listeners hear of every change. Structural changes come in pairs: Before*
// while the entries are as they were, After* once they have changed (a Qt
// item model turns the pairs into its begin/end signals).
//
// Every edit of the entries (adds, removes, renames, a cleared or replaced
// list, rows moved in or out) can be undone and redone, at least
// kUndoSteps steps back. A step holds only the entries it took out of the
// list, so its memory follows the size of the change, never the list's.
// What files tell (SetInfo, tags, a stream's live row) is no edit.
//
// Entry ids are unique among every list of the process, so an entry moved to
// another list keeps its id and the play queue can name entries of any list.
//
// A NOTE ON THREADS: the GUI thread only. What is read from files on other
// threads (tags, lengths, failures) is applied here by id, and is dropped
// when its entry has gone meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "PlayList.h"
#include "file_stamp.h"
#include "track_tags.h"

namespace quillet {

using TEntryId = uint64_t;
inline constexpr TEntryId kNoEntry = 0;

// When an edit (or its undo or redo) happened, among every list's and the
// set of lists' own: a later edit has a greater stamp.
using TEditStamp = uint64_t;
TEditStamp NextEditStamp();

// What opening an entry's file told.
enum class TEntryState : uint8_t {
    Unread,    // not opened yet
    Playable,  // an input understood it
    Failed,    // it could not be opened or decoded (Error says why)
};

// What is read from an entry's file, in the background or while it plays.
struct TEntryInfo {
    TEntryState State = TEntryState::Unread;
    std::string Error;  // Failed: the input's own words
    TTrackTags Tags;
    int64_t LengthFlicks = -1;  // -1: unknown (time_range.h)
    bool LengthEstimated = false;
    // The file as it was when this was read (Size -1: not looked at): a
    // kept list keeps it, and a start reads again a file changed since.
    TFileStamp Stamp;
    bool operator==(const TEntryInfo&) const = default;
};

// The whole seconds a length read from a file gives; -1 for none.
int64_t SecondsOf(const TEntryInfo& info);

// An entry: the design's title and path (with the part of the file it
// plays), the text its row shows and what its file told.
struct TEntry : TPlaylistEntry {
    TEntryId Id = kNoEntry;
    // The row's text: the stored title, or a longer name before it was cut
    // (a drop or a rename keeps the whole name in the row).
    std::string RowText;
    TEntryInfo Info;
};

class TPlaylistListener {
  public:
    virtual void BeforeInsert(int /*first*/, int /*count*/) {}
    virtual void AfterInsert(int /*first*/, int /*count*/) {}
    virtual void BeforeRemove(int /*index*/) {}
    virtual void AfterRemove(int /*index*/, TEntryId /*id*/) {}
    virtual void BeforeReset() {}
    virtual void AfterReset() {}
    // An entry's row text, title or info changed.
    virtual void EntryChanged(int /*index*/) {}
    virtual void SelectionChanged() {}
    virtual void PlayingChanged() {}

  protected:
    ~TPlaylistListener() = default;
};

class TPlaylistModel {
  public:
    // Steps kept for undo; more while the steps together hold few entries.
    static constexpr size_t kUndoSteps = 100;

    TPlaylistModel() = default;
    TPlaylistModel(const TPlaylistModel&) = delete;
    TPlaylistModel& operator=(const TPlaylistModel&) = delete;

    // Listeners are told in the order they were added; one removed is told
    // nothing more.
    void AddListener(TPlaylistListener* listener);
    void RemoveListener(TPlaylistListener* listener);

    // --- The entries, in order (index 0..size()-1).
    size_t size() const { return FEntries.size(); }
    bool empty() const { return FEntries.empty(); }
    int Count() const { return static_cast<int>(FEntries.size()); }
    const TEntry& operator[](size_t index) const { return FEntries[index]; }
    std::vector<TEntry>::const_iterator begin() const { return FEntries.begin(); }
    std::vector<TEntry>::const_iterator end() const { return FEntries.end(); }
    // The design's entries (title, path, range), in order.
    std::vector<TPlaylistEntry> Items() const;
    bool Contains(int index) const { return index >= 0 && index < Count(); }
    // The index of an entry; -1 when it is not (or no longer) in the list.
    int IndexOf(TEntryId id) const;
    const TEntry* Find(TEntryId id) const;

    // --- The editing commands' changes. None touches playback.
    // Appends entries, each title cut to MaxTitleChars characters; each row
    // shows its title, or the text given in `rowTexts` (same length), and
    // knows what `infos` tell of its file (a kept list's; else unread).
    // Returns the index of the first one.
    int Append(std::vector<TPlaylistEntry> items, std::vector<std::string> rowTexts = {},
               std::vector<TEntryInfo> infos = {});
    // Puts whole entries (with their ids and what their files told) in at
    // `index` (clamped to the list), e.g. rows moved from another list.
    // Returns the index of the first one.
    int InsertEntries(int index, std::vector<TEntry> entries);
    // Appends copies of entries (of this or another list) under new ids,
    // with their row text and what their files told.
    int AppendCopies(const std::vector<TEntry>& entries);
    // Appends entries as part of the last edit when that edit's rows end at
    // the list's end (an opened playlist's rows coming in slices), so one
    // Undo takes them all back; else as an edit of their own.
    int AppendToLastEdit(std::vector<TPlaylistEntry> items);
    // Removes an entry; afterwards nothing is selected.
    void Remove(int index);
    // Removes an entry and hands it over whole (to be put in another list).
    std::vector<TEntry> Take(int index);
    void Clear();
    // The list becomes `items` (an opened playlist), as one step.
    void ReplaceAll(std::vector<TPlaylistEntry> items);
    // The row shows `text`; the title is `text` cut to MaxTitleChars.
    void Rename(int index, const std::string& text);
    // The title read from the file's tags replaces a title that is still the
    // file's name (a title a playlist gave, or the user's, stays). False when
    // it did not.
    bool RetitleFromTags(TEntryId id, const std::string& title);
    void SetInfo(TEntryId id, const TEntryInfo& info);
    // What a stream tells while it plays (its station, the song on now): the
    // row shows `rowText` and the info takes `tags`. The title, which a
    // saved list keeps, stays: a song is over in minutes.
    void ShowLiveTags(TEntryId id, const std::string& rowText, const TTrackTags& tags);

    // --- Undo and redo of the edits above. Each returns false when there
    // was nothing to undo (redo). The selection comes back with the step.
    bool Undo();
    bool Redo();
    size_t UndoSteps() const { return FUndo.size(); }
    // The stamp of the step Undo (Redo) would take back; 0 for none.
    TEditStamp LastUndoStamp() const { return FUndo.empty() ? 0 : FUndo.back().Stamp; }
    TEditStamp LastRedoStamp() const { return FRedo.empty() ? 0 : FRedo.back().Stamp; }
    // Forgets every step (a list restored at start is no edit of the user's).
    void ClearHistory();

    // --- The selection: the entry Play, rename and remove act on.
    int Selected() const { return IndexOf(FSelected); }
    TEntryId SelectedId() const { return Contains(Selected()) ? FSelected : kNoEntry; }
    // Anything out of range selects nothing.
    void Select(int index);

    // --- The entry playing (heard now); kNoEntry when nothing plays or the
    // entry playing was removed.
    TEntryId PlayingId() const { return IndexOf(FPlaying) >= 0 ? FPlaying : kNoEntry; }
    int PlayingIndex() const { return IndexOf(FPlaying); }
    void SetPlaying(TEntryId id);

  private:
    // An edit, and its reverse: the entries at At..At+InCount-1 are the
    // step's; Out are the entries to put there instead.
    struct TStep {
        size_t At = 0;
        size_t InCount = 0;
        std::vector<TEntry> Out;
        TEntryId Selected = kNoEntry;  // the selection to give back
        TEditStamp Stamp = 0;
    };
    template <class F>
    void Tell(F&& f);
    void Reindex(size_t from);
    // Makes `step` happen and turns it into its own reverse.
    // Rows put in are told as one block; a change that takes out many
    // rows, or `forceReset`, is told as a reset.
    void Apply(TStep& step, bool forceReset = false);
    void Record(TStep step);
    TEntry NewEntry(TPlaylistEntry item, std::string* rowText);

    std::deque<TStep> FUndo;
    std::vector<TStep> FRedo;
    size_t FHeldEntries = 0;  // entries held by the steps of FUndo

    std::vector<TEntry> FEntries;
    std::unordered_map<TEntryId, size_t> FIndex;  // id -> index, kept exact
    TEntryId FSelected = kNoEntry;
    TEntryId FPlaying = kNoEntry;
    std::vector<TPlaylistListener*> FListeners;
};

}  // namespace quillet
