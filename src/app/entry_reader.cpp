#include "entry_reader.h"

#include <algorithm>

#include "entry_info.h"
#include "paths.h"

namespace quillet {

TEntryReader::TEntryReader(TPlaylistModel& list, QObject* parent) : QObject(parent), FList(list) {
    FList.AddListener(this);
}

TEntryReader::~TEntryReader() {
    FList.RemoveListener(this);
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
        FJobs.clear();
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TEntryReader::AfterInsert(int first, int count) {
    std::vector<TJob> jobs;
    jobs.reserve(static_cast<size_t>(count));
    for (int i = first; i < first + count; ++i) {
        const TEntry& entry = FList[static_cast<size_t>(i)];
        // A stream tells its own while it plays (TStreamTitles).
        if (!IsUrl(entry.FilePath)) jobs.push_back({entry.Id, entry});
    }
    Enqueue(std::move(jobs));
}

void TEntryReader::AfterReset() {
    std::lock_guard<std::mutex> lock(FLock);
    FJobs.clear();
}

void TEntryReader::PlayingChanged() {
    ReadFirst(FList.PlayingId());
}

void TEntryReader::SelectionChanged() {
    if (FList.Contains(FList.Selected()))
        ReadFirst(FList[static_cast<size_t>(FList.Selected())].Id);
}

void TEntryReader::ReadFirst(TEntryId id) {
    if (id == kNoEntry) return;
    std::lock_guard<std::mutex> lock(FLock);
    const auto job =
        std::find_if(FJobs.begin(), FJobs.end(), [id](const TJob& j) { return j.Id == id; });
    if (job == FJobs.end() || job == FJobs.begin()) return;
    TJob first = std::move(*job);
    FJobs.erase(job);
    FJobs.push_front(std::move(first));
}

void TEntryReader::Reread(TEntryId id) {
    if (const TEntry* entry = FList.Find(id)) Enqueue({{id, *entry}});
}

void TEntryReader::Enqueue(std::vector<TJob> jobs) {
    if (jobs.empty()) return;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (TJob& job : jobs) FJobs.push_back(std::move(job));
    }
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    FWake.notify_one();
}

void TEntryReader::Run() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || !FJobs.empty(); });
        if (FStop) return;
        TJob job = std::move(FJobs.front());
        FJobs.pop_front();
        lock.unlock();
        TEntryInfo info = ReadEntryInfo(job.Entry);
        lock.lock();
        FResults.push_back({job.Id, std::move(info)});
        // One delivery pending at a time: what comes in meanwhile goes with it.
        if (!FDeliveryPosted) {
            FDeliveryPosted = true;
            QMetaObject::invokeMethod(
                this, [this] { Deliver(); }, Qt::QueuedConnection);
        }
    }
}

void TEntryReader::Deliver() {
    std::vector<TResult> results;
    {
        std::lock_guard<std::mutex> lock(FLock);
        results.swap(FResults);
        FDeliveryPosted = false;
    }
    for (const TResult& result : results) {
        // An entry gone meanwhile takes nothing.
        FList.SetInfo(result.Id, result.Info);
        const TEntry* entry = FList.Find(result.Id);
        if (entry == nullptr || TagsOf(*entry).Track != 0) continue;
        FList.RetitleFromTags(result.Id,
                              JoinTagTitle(result.Info.Tags.Artist, result.Info.Tags.Title));
    }
}

}  // namespace quillet
