// TLoudnessService: measures files the player is about to play, in the
// background, so that a file without gain tags plays at the level a tagger
// would have given it. Given a path it measures the file's integrated
// loudness and true peak (loudness_meter.h) on one thread of its own (never
// more than one core), at nice 19 and the idle I/O class, and keeps the
// result in the loudness cache (loudness_cache.h), so a file is measured
// once. The gains it gives are those a ReplayGain 2.0 tagger would write:
// the track's, and the album's (the gated loudness over the album's tracks)
// once every track of the album is measured.
//
// A file that cannot be measured (undecodable, not a regular file, silent,
// or the measurement was cancelled) simply has no gains: it plays at the
// gain for untagged files.
//
// A NOTE ON THREADS
// - Any thread: Lookup, Request, Cancel, CancelAll. None of them waits for a
//   measurement or for the cache file: Lookup reads the file's size and
//   time (stat) and the cache held in memory, under a short lock.
// - The service's thread: loading and saving the cache file, measuring, and
//   the OnDone handler.
// - Owner's thread: construction, SetOnDone (before the first Request),
//   WaitIdle, destruction (cancels the measurement under way, saves what
//   was measured, joins the thread).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>

#include "loudness_cache.h"

namespace quillet {

// Measures one file; raises on failure, and with kMeasureCancelled once
// `cancel` is set. The real one decodes the file (MeasureFile); tests give a
// fake.
using TLoudnessMeasure =
    std::function<TCachedLoudness(const std::string& path, const std::atomic<bool>& cancel)>;

struct TLoudnessServiceOptions {
    std::string CacheFile = DefaultLoudnessCacheFile();  // empty: memory only
    size_t MaxCacheBytes = TLoudnessCache::kDefaultMaxBytes;
    TLoudnessMeasure Measure;  // empty: the real measurement
    // Files whose own tags give a gain are not measured (the sink plays
    // them by their tags).
    bool MeasureTagged = false;
};

class TLoudnessService {
  public:
    // A requested file's result is known: measured (or found in the cache
    // file) when `measured`, else it cannot be (tagged, undecodable...).
    using TDoneEvent = std::function<void(const std::string& path, bool measured)>;

    using TOptions = TLoudnessServiceOptions;
    TLoudnessService() : TLoudnessService(TOptions{}) {}
    explicit TLoudnessService(TOptions options);
    ~TLoudnessService();
    TLoudnessService(const TLoudnessService&) = delete;
    TLoudnessService& operator=(const TLoudnessService&) = delete;

    // The gains measured for `path` as it is now: Track once it is measured,
    // Album once every file of `album` (the album's tracks, `path` among
    // them) is; each with the true peak, so that a gain is lowered to keep
    // the peak at full scale. Empty when nothing is known.
    TReplayGain Lookup(const std::string& path, std::span<const std::string> album = {});
    // Measures `path` in the background unless the cache has it. The latest
    // request is served first; a file already waiting moves to the front.
    // OnDone follows for every request that is not cancelled.
    void Request(const std::string& path);
    // Drops the request, and stops its measurement if under way.
    void Cancel(const std::string& path);
    void CancelAll();
    void SetOnDone(TDoneEvent handler);

    // Waits until nothing is waiting or being measured (the CLI, tests).
    void WaitIdle();
    // Waits at most `timeout` for the cache file to be read (Lookup knows
    // nothing of it before); true once it is. For a caller about to start
    // playing at once, so the first track starts at its gain.
    bool WaitLoaded(std::chrono::milliseconds timeout);
    // Files measured by this service (not found in the cache).
    uint32_t Measured() const { return FMeasured.load(); }

  private:
    void Run();
    // On the service's thread, the lock held on entry and exit: one request;
    // writing the cache file.
    void Serve(std::unique_lock<std::mutex>& lock, const std::string& path);
    void SaveCache(std::unique_lock<std::mutex>& lock);
    TCachedLoudness MeasureReal(const std::string& path, const std::atomic<bool>& cancel) const;

    const TOptions FOptions;
    std::mutex FLock;
    std::condition_variable FWake;         // with FLock: a request, or the end
    std::condition_variable FIdle;         // with FLock: nothing waits or runs
    TLoudnessCache FCache;                 // under FLock
    std::deque<std::string> FQueue;        // under FLock: newest first
    std::set<TLoudnessKey> FUnmeasurable;  // under FLock: tagged, failed
    std::string FCurrent;                  // under FLock: being measured
    bool FLoaded = false;                  // under FLock: the cache file was read
    bool FDirty = false;                   // under FLock: entries not saved yet
    bool FStop = false;                    // under FLock
    std::atomic<bool> FCancelCurrent{false};
    std::atomic<uint32_t> FMeasured{0};
    TDoneEvent FOnDone;  // set before the first request; read on the service's thread
    std::thread FThread;
};

}  // namespace quillet
