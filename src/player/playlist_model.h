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
// A NOTE ON THREADS: the GUI thread only. What is read from files on other
// threads (tags, lengths, failures) is applied here by id, and is dropped
// when its entry has gone meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "PlayList.h"
#include "track_tags.h"

namespace quillet {

using TEntryId = uint64_t;
inline constexpr TEntryId kNoEntry = 0;

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
    bool operator==(const TEntryInfo&) const = default;
};

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
    // shows its title, or the text given in `rowTexts` (same length).
    // Returns the index of the first one.
    int Append(std::vector<TPlaylistEntry> items, std::vector<std::string> rowTexts = {});
    // Removes an entry; afterwards nothing is selected.
    void Remove(int index);
    void Clear();
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
    template <class F>
    void Tell(F&& f);
    void Reindex(size_t from);

    std::vector<TEntry> FEntries;
    std::unordered_map<TEntryId, size_t> FIndex;  // id -> index, kept exact
    TEntryId FLastId = kNoEntry;
    TEntryId FSelected = kNoEntry;
    TEntryId FPlaying = kNoEntry;
    std::vector<TPlaylistListener*> FListeners;
};

}  // namespace quillet
