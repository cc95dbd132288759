// Reads what each entry's file tells (ReadEntryInfo: tags, length, whether
// it plays) on a thread of its own, so that adding many files never holds
// the window, and gives it to the playlist: the info, and "Artist - Title"
// for a row still showing its file's name (never for a CUE sheet's track,
// whose title is the sheet's: the image's tags name the album). Every list
// of the set is read, not only the one shown. Entries are read in the order
// they were added, except that the entry playing or selected goes first
// (the bus and the caption show it); an entry that already knows its file
// (a restored session's, one moved between lists) is not read again. A
// cleared list drops what is still to read, and a result for an entry that
// has gone meanwhile is dropped.
//
// A NOTE ON THREADS: made, fed and destroyed on the GUI thread; its worker
// reads files, and its results are applied on the GUI thread.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "playlist_set.h"
#include "track_input.h"

namespace quillet {

class TEntryReader : public QObject, private TPlaylistSetListener {
    Q_OBJECT
  public:
    explicit TEntryReader(TPlaylistSet& lists, QObject* parent = nullptr);
    // Waits for the file being read, if any; what is queued is dropped.
    ~TEntryReader() override;

  private:
    // One list's changes.
    class TWatch final : public TPlaylistListener {
      public:
        TWatch(TEntryReader& reader, TPlaylistModel& list);
        ~TWatch();
        TPlaylistModel& List;

      private:
        void AfterInsert(int first, int count) override;
        void AfterReset() override;
        void PlayingChanged() override;
        void SelectionChanged() override;
        TEntryReader& FReader;
    };
    struct TJob {
        TEntryId Id;
        TPlaylistEntry Entry;
    };
    struct TResult {
        TEntryId Id;
        TEntryInfo Info;
    };
    // TPlaylistSetListener: lists come and go.
    void ListsChanged() override;
    void ListClosing(TPlaylistModel& list) override;
    // Queues the unread entries first..first+count-1 of `list`.
    void Added(const TPlaylistModel& list, int first, int count);
    // The list whose entry `id` is; null for none.
    TPlaylistModel* ListOf(TEntryId id) const;
    // Moves the entry's job, if still queued, to the front.
    void ReadFirst(TEntryId id);
    void Enqueue(std::vector<TJob> jobs);
    void Run();
    void Deliver();

    TPlaylistSet& FLists;
    std::vector<std::unique_ptr<TWatch>> FWatches;
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TJob> FJobs;         // under FLock
    std::vector<TResult> FResults;  // under FLock
    bool FDeliveryPosted = false;   // under FLock
    bool FStop = false;             // under FLock
    std::thread FThread;            // GUI thread only
};

}  // namespace quillet
