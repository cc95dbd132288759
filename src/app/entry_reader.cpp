#include "entry_reader.h"

#include <algorithm>

#include "entry_info.h"
#include "paths.h"

namespace quillet {

TEntryReader::TWatch::TWatch(TEntryReader& reader, TPlaylistModel& list)
    : List(list), FReader(reader) {
    List.AddListener(this);
}

TEntryReader::TWatch::~TWatch() {
    List.RemoveListener(this);
}

void TEntryReader::TWatch::AfterInsert(int first, int count) {
    FReader.Added(List, first, count);
}

void TEntryReader::TWatch::AfterReset() {
    {
        // What was queued of the entries that went is dropped.
        std::lock_guard<std::mutex> lock(FReader.FLock);
        std::erase_if(FReader.FJobs, [this](const TJob& j) { return List.IndexOf(j.Id) < 0; });
    }
    FReader.Added(List, 0, List.Count());
}

void TEntryReader::TWatch::PlayingChanged() {
    FReader.ReadFirst(List.PlayingId());
}

void TEntryReader::TWatch::SelectionChanged() {
    FReader.ReadFirst(List.SelectedId());
}

TEntryReader::TEntryReader(TPlaylistSet& lists, QObject* parent) : QObject(parent), FLists(lists) {
    FLists.AddListener(this);
    ListsChanged();
}

TEntryReader::~TEntryReader() {
    FLists.RemoveListener(this);
    FWatches.clear();
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
        FJobs.clear();
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TEntryReader::ListsChanged() {
    for (int i = 0; i < FLists.Count(); ++i) {
        TPlaylistModel& list = FLists.List(i);
        if (std::any_of(FWatches.begin(), FWatches.end(),
                        [&](const auto& w) { return &w->List == &list; }))
            continue;
        FWatches.push_back(std::make_unique<TWatch>(*this, list));
        // A list back from an undone close may hold entries never read.
        Added(list, 0, list.Count());
    }
}

void TEntryReader::ListClosing(TPlaylistModel& list) {
    std::erase_if(FWatches, [&](const auto& w) { return &w->List == &list; });
    std::lock_guard<std::mutex> lock(FLock);
    std::erase_if(FJobs, [&](const TJob& j) { return list.IndexOf(j.Id) >= 0; });
}

TPlaylistModel* TEntryReader::ListOf(TEntryId id) const {
    for (const auto& w : FWatches)
        if (w->List.IndexOf(id) >= 0) return &w->List;
    return nullptr;
}

void TEntryReader::Added(const TPlaylistModel& list, int first, int count) {
    std::vector<TJob> jobs;
    for (int i = first; i < first + count && list.Contains(i); ++i) {
        const TEntry& entry = list[static_cast<size_t>(i)];
        // A stream tells its own while it plays (TStreamTitles); an entry
        // whose file was read keeps what it told.
        if (!IsUrl(entry.FilePath) && entry.Info.State == TEntryState::Unread)
            jobs.push_back({entry.Id, entry});
    }
    Enqueue(std::move(jobs));
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
        TPlaylistModel* list = ListOf(result.Id);
        if (list == nullptr) continue;
        list->SetInfo(result.Id, result.Info);
        const TEntry* entry = list->Find(result.Id);
        if (entry == nullptr || TagsOf(*entry).Track != 0) continue;
        list->RetitleFromTags(result.Id,
                              JoinTagTitle(result.Info.Tags.Artist, result.Info.Tags.Title));
    }
}

}  // namespace quillet
