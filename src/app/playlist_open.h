// Open playlist's reading: the file is read on a worker and its entries
// handed to the list in slices, each its own turn of the event loop, so a
// playlist of 100 000 entries never holds the window up. The list is
// replaced (or a new list made) only once the file was read; all the rows
// one open gives are one edit, which one Undo takes back. A later open
// drops an earlier one's rows not handed over yet, and a list closed
// meanwhile gets no more of them.
//
// GUI thread, but for the read.
#pragma once

#include <QObject>
#include <QThreadPool>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PlayList.h"
#include "playlist_set.h"

namespace quillet {

class TPlaylistOpener : public QObject {
    Q_OBJECT
  public:
    // Rows handed over in one turn.
    static constexpr size_t kSlice = 10000;

    explicit TPlaylistOpener(TPlaylistSet& lists, QObject* parent = nullptr);
    // Waits for a read under way; its entries are dropped.
    ~TPlaylistOpener() override;

    // Reads `file` with `options`. Its entries then replace those of list
    // `into`. A file of no playlist kind changes nothing.
    void Open(const std::string& file, TPlaylistOpen options, TListId into) {
        Start(file, std::move(options), into, {});
    }
    // The same into a new list named after the file (without its
    // extension), put after the list shown, which is then shown.
    void OpenInNewList(const std::string& file, TPlaylistOpen options);
    // A read or a hand-over is under way.
    bool Busy() const { return FBusy; }

    // After a read, on the GUI thread: the notes on entries left out (CUE
    // sheets), and the error that kept the file from being read.
    std::function<void(const std::vector<std::string>& problems)> OnProblems;
    std::function<void(std::exception_ptr error)> OnError;

  private:
    void Start(const std::string& file, TPlaylistOpen options, TListId into,
               const std::string& newList);
    struct TRead {
        bool Known = false;  // a playlist kind was read
        std::vector<TPlaylistEntry> Entries;
        std::vector<std::string> Problems;
        std::exception_ptr Error;
    };
    void Read(uint64_t serial, TListId into, const std::string& newList, TRead read);
    // Hands the rows from `from` on to list `into`, a slice a turn.
    void HandOver(uint64_t serial, TListId into, std::shared_ptr<TRead> read, size_t from);

    TPlaylistSet& FLists;
    uint64_t FSerial = 0;  // the open whose rows are wanted
    bool FBusy = false;
    QThreadPool FWorker;  // last: its job ends before the rest goes
};

}  // namespace quillet
