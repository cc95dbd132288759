#include "loudness_service.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace quillet {

namespace {

// Requests beyond this many (the oldest) are dropped: a player asks for the
// next track or two, not for a whole library.
constexpr size_t kMaxQueue = 256;
// Files known unmeasurable are forgotten past this many.
constexpr size_t kMaxUnmeasurable = 4096;

// Measuring must never take the CPU or the disk from playback or the window:
// the lowest priority a thread may take (nice 19) and the idle I/O class.
// Not SCHED_IDLE: under full load such a thread may not run for seconds,
// and while it holds the lock a Lookup on the sink's worker would wait.
void LowerPriority() {
    const auto tid = static_cast<id_t>(::gettid());
    ::setpriority(PRIO_PROCESS, tid, 19);
    constexpr int kWhoProcess = 1, kClassIdle = 3, kClassShift = 13;
    ::syscall(SYS_ioprio_set, kWhoProcess, tid, kClassIdle << kClassShift);
}

}  // namespace

TLoudnessService::TLoudnessService(TOptions options)
    : FOptions(std::move(options)), FCache(FOptions.MaxCacheBytes) {
    FThread = std::thread([this] { Run(); });
}

TLoudnessService::~TLoudnessService() {
    {
        std::lock_guard<std::mutex> g(FLock);
        FStop = true;
        FQueue.clear();
        FCancelCurrent = true;
    }
    FWake.notify_all();
    FThread.join();
}

void TLoudnessService::SetOnDone(TDoneEvent handler) {
    std::lock_guard<std::mutex> g(FLock);
    FOnDone = std::move(handler);
}

TReplayGain TLoudnessService::Lookup(const std::string& path, std::span<const std::string> album) {
    const std::optional<TLoudnessKey> key = LoudnessKeyOf(path);
    if (!key) return {};
    std::vector<std::optional<TLoudnessKey>> albumKeys;
    bool inAlbum = false;
    for (const std::string& p : album) {
        albumKeys.push_back(LoudnessKeyOf(p));
        inAlbum = inAlbum || p == path;
    }
    std::lock_guard<std::mutex> g(FLock);
    const TCachedLoudness* own = FCache.Find(*key);
    if (!own) return {};
    TReplayGain gains;
    gains.Track = GainForLoudness(own->Integrated, own->TruePeak);
    if (!inAlbum) return gains;
    std::vector<const TBlockHistogram*> blocks;
    double peak = 0;
    for (const std::optional<TLoudnessKey>& k : albumKeys) {
        const TCachedLoudness* track = k ? FCache.Find(*k) : nullptr;
        if (!track) return gains;  // not complete yet
        blocks.push_back(&track->Blocks);
        peak = std::max(peak, track->TruePeak);
    }
    gains.Album = GainForLoudness(GatedLoudness(blocks), peak);
    return gains;
}

void TLoudnessService::Request(const std::string& path) {
    {
        std::lock_guard<std::mutex> g(FLock);
        if (FStop || path == FCurrent) return;
        std::erase(FQueue, path);
        FQueue.push_front(path);
        if (FQueue.size() > kMaxQueue) FQueue.pop_back();
    }
    FWake.notify_all();
}

void TLoudnessService::Cancel(const std::string& path) {
    std::lock_guard<std::mutex> g(FLock);
    std::erase(FQueue, path);
    if (!FCurrent.empty() && FCurrent == path) FCancelCurrent = true;
}

void TLoudnessService::CancelAll() {
    std::lock_guard<std::mutex> g(FLock);
    FQueue.clear();
    if (!FCurrent.empty()) FCancelCurrent = true;
}

void TLoudnessService::WaitIdle() {
    std::unique_lock<std::mutex> lock(FLock);
    FIdle.wait(lock, [&] { return FLoaded && FQueue.empty() && FCurrent.empty(); });
}

bool TLoudnessService::WaitLoaded(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(FLock);
    return FIdle.wait_for(lock, timeout, [&] { return FLoaded; });
}

void TLoudnessService::Run() {
    LowerPriority();
    // Read without the lock: a large file must not hold up Lookup. Nothing
    // is put in the cache before it is loaded.
    TLoudnessCache loaded(FOptions.MaxCacheBytes);
    loaded.Load(FOptions.CacheFile);
    std::unique_lock<std::mutex> lock(FLock);
    FCache = std::move(loaded);
    FLoaded = true;
    FIdle.notify_all();
    for (;;) {
        FWake.wait(lock, [&] { return FStop || !FQueue.empty() || FDirty; });
        if (FStop) break;
        if (FQueue.empty()) {
            SaveCache(lock);  // idle: what was measured goes to the file
            continue;
        }
        const std::string path = std::move(FQueue.front());
        FQueue.pop_front();
        Serve(lock, path);
        if (FQueue.empty()) FIdle.notify_all();
    }
    SaveCache(lock);
}

void TLoudnessService::Serve(std::unique_lock<std::mutex>& lock, const std::string& path) {
    FCurrent = path;
    FCancelCurrent = false;
    lock.unlock();
    const std::optional<TLoudnessKey> key = LoudnessKeyOf(path);
    lock.lock();
    bool measured = false;
    if (key && !FUnmeasurable.count(*key)) {
        measured = FCache.Find(*key) != nullptr;
        if (!measured) {
            lock.unlock();
            std::optional<TCachedLoudness> value;
            try {
                value = FOptions.Measure ? FOptions.Measure(path, FCancelCurrent)
                                         : MeasureReal(path, FCancelCurrent);
            } catch (const std::exception&) {
                // Undecodable, tagged or cancelled: no gains from here.
            }
            lock.lock();
            if (value) {
                FCache.Put(*key, std::move(*value));
                FDirty = true;
                ++FMeasured;
                measured = true;
            } else if (!FCancelCurrent) {
                if (FUnmeasurable.size() >= kMaxUnmeasurable) FUnmeasurable.clear();
                FUnmeasurable.insert(*key);
            }
        }
    }
    FCurrent.clear();
    if (FCancelCurrent || !FOnDone) return;
    const TDoneEvent done = FOnDone;
    lock.unlock();
    done(path, measured);
    lock.lock();
}

void TLoudnessService::SaveCache(std::unique_lock<std::mutex>& lock) {
    if (!FDirty) return;
    FDirty = false;
    if (FOptions.CacheFile.empty()) return;
    // A copy goes to the file, so Lookup is held up only while it is made.
    TLoudnessCache snapshot = FCache;
    lock.unlock();
    snapshot.Save(FOptions.CacheFile);
    lock.lock();
}

TCachedLoudness TLoudnessService::MeasureReal(const std::string& path,
                                              const std::atomic<bool>& cancel) const {
    TMeasureOptions options;
    options.Cancel = &cancel;
    options.UntaggedOnly = !FOptions.MeasureTagged;
    TLoudness l = MeasureFile(path, options);
    if (l.Tagged) throw EAuException("the file's tags give its gain");
    return {l.Integrated, l.TruePeak, std::move(l.Blocks)};
}

}  // namespace quillet
