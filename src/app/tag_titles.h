// Titles for playlist rows from the files' own tags ("Artist - Title"), read
// on a thread of their own so that adding many files never holds the window.
//
// A NOTE ON THREADS: ReadTagTitle blocks on the file and may run on any
// thread; the tag sets and inputs it makes are its own, used by that thread
// alone. TTagTitleReader is made, fed and destroyed on the GUI thread; its
// worker reads, and its results arrive on the GUI thread.
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillet {

// Text made fit for one line of display: invalid UTF-8 becomes U+FFFD, line
// breaks and other control characters become spaces, direction embeddings,
// overrides and isolates go, and so do blanks at the ends.
std::string OneLine(std::string_view text);
// "Artist - Title", or the title alone without an artist; empty without a
// title. Both made one line first.
std::string JoinTagTitle(std::string_view artist, std::string_view title);
// "Artist - Title" from the file's tags (ReadTrackTags); empty when none
// gives a title or the file cannot be read.
std::string ReadTagTitle(const std::string& path);

class TTagTitleReader : public QObject {
    Q_OBJECT
  public:
    struct TJob {
        uint64_t Id;  // the caller's own, handed back with the result
        std::string Path;
    };
    struct TResult {
        uint64_t Id;
        std::string Title;  // empty: the tags give none
    };

    explicit TTagTitleReader(QObject* parent = nullptr);
    // Waits for the file being read, if any; what is queued is dropped.
    ~TTagTitleReader() override;

    // Queues files to read, in order; the worker starts on first use.
    void Enqueue(std::vector<TJob> jobs);
    // Forgets the files not read yet.
    void DropQueued();

  signals:
    // On the GUI thread, as results come in (several at a time when the GUI
    // thread is slower than the reading).
    void TitlesRead(const std::vector<quillet::TTagTitleReader::TResult>& results);

  private:
    void Run();
    void Deliver();

    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TJob> FJobs;         // under FLock
    std::vector<TResult> FResults;  // under FLock
    bool FDeliveryPosted = false;   // under FLock
    bool FStop = false;             // under FLock
    std::thread FThread;            // GUI thread only
};

}  // namespace quillet
