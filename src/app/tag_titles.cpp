#include "tag_titles.h"

#include "text.h"
#include "track_tags.h"

namespace quillet {

std::string OneLine(std::string_view text) {
    std::u16string line;
    for (char16_t c : Utf8ToUtf16(text)) {
        // An embedding, override or isolate left open would turn the text
        // after it around, in the caption too: the text's own direction is
        // enough to show it.
        if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) continue;
        const bool breaks = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
        line += breaks ? u' ' : c;
    }
    return std::string(Trim(Utf16ToUtf8(line)));
}

std::string JoinTagTitle(std::string_view artist, std::string_view title) {
    const std::string t = OneLine(title);
    if (t.empty()) return {};
    const std::string a = OneLine(artist);
    return a.empty() ? t : a + " - " + t;
}

std::string ReadTagTitle(const std::string& path) {
    const TTrackTags tags = ReadTrackTags(path);
    return JoinTagTitle(tags.Artist, tags.Title);
}

TTagTitleReader::TTagTitleReader(QObject* parent) : QObject(parent) {}

TTagTitleReader::~TTagTitleReader() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
        FJobs.clear();
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void TTagTitleReader::Enqueue(std::vector<TJob> jobs) {
    if (jobs.empty()) return;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (TJob& job : jobs) FJobs.push_back(std::move(job));
    }
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    FWake.notify_one();
}

void TTagTitleReader::DropQueued() {
    std::lock_guard<std::mutex> lock(FLock);
    FJobs.clear();
}

void TTagTitleReader::Run() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || !FJobs.empty(); });
        if (FStop) return;
        TJob job = std::move(FJobs.front());
        FJobs.pop_front();
        lock.unlock();
        std::string title = ReadTagTitle(job.Path);
        lock.lock();
        FResults.push_back({job.Id, std::move(title)});
        // One delivery pending at a time: what comes in meanwhile goes with it.
        if (!FDeliveryPosted) {
            FDeliveryPosted = true;
            QMetaObject::invokeMethod(
                this, [this] { Deliver(); }, Qt::QueuedConnection);
        }
    }
}

void TTagTitleReader::Deliver() {
    std::vector<TResult> results;
    {
        std::lock_guard<std::mutex> lock(FLock);
        results.swap(FResults);
        FDeliveryPosted = false;
    }
    if (!results.empty()) emit TitlesRead(results);
}

}  // namespace quillet
