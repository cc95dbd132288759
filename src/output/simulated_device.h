// A sound system without sound: its devices, clock, cursors and failures are
// set by the test, so the ring arithmetic and the output's top-up, drain and
// underrun handling can be checked exactly.
//
// The clock runs only when Advance() is called. The output's sleeps go to
// OnSleep when it is set, and otherwise Advance the clock by the time slept,
// moving the play cursor of every playing ring by that much sound (so a
// simulated run plays in no wall-clock time). What a ring plays is recorded
// with the volume and the scheduled gains applied, by SDL's own code.
//
// A NOTE ON THREADS
// Everything may be called from any thread: the output's worker queries and
// sleeps while the test moves cursors and reads what was played. Each ring's
// state is under its own lock; the test reaches it through Ring()/Rings().
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "gain.h"
#include "sound_device.h"

namespace quillet {

// The state of one simulated ring, shared by the ring and the test (it
// outlives the ring, so a test can inspect a run that has been released).
struct SimulatedRingState {
    mutable std::mutex Lock;  // guards everything below
    TWaveFormat Format;
    TDeviceGuid Device{};  // the device the ring was created on
    std::vector<uint8_t> Memory;
    uint32_t Play = 0;   // play cursor
    uint32_t Write = 0;  // write cursor
    uint32_t Lead = 0;   // write cursor = play cursor + Lead (set by Advance)
    bool Playing = false;
    bool Released = false;
    bool HasVolumeControl = true;
    bool ExactCursor = false;  // the cursor moves only as sound is taken (SDL-like)
    bool Lost = false;         // the device has gone (set by the test)
    int32_t Volume = 0;
    TDSResult PositionResult = DS_OK;  // a failure to give for cursor queries
    TDSResult LockResult = DS_OK;
    int32_t PositionQueries = 0;
    int32_t PlayCalls = 0;
    int32_t StopCalls = 0;
    int32_t Rewinds = 0;
    bool Capture = true;  // record what Advance plays
    // Bytes the play cursor went over, times the volume and the scheduled
    // gain, as the SDL ring's copy gives them to the device.
    std::vector<uint8_t> Played;
    uint64_t Position = 0;  // the play cursor's travel, for Gains
    TGainSchedule Gains;
    uint64_t PlayedFrames = 0;  // frames played in all (for pacing)
    uint64_t PlayedMs = 0;      // milliseconds spent playing

    // Sets both cursors (tests).
    void SetCursors(uint32_t play, uint32_t write) {
        std::lock_guard<std::mutex> g(Lock);
        Play = play;
        Write = write;
    }
};

class SimulatedSoundSystem : public SoundSystem {
  public:
    SimulatedSoundSystem();

    // Devices reported by Enumerate, in order; the default has an all-zero id.
    void SetDevices(std::vector<std::pair<TDeviceGuid, std::string>> devices);
    // Failures to give: Open for any id, CreateRing for any format.
    void SetOpenResult(TDSResult hr) { FOpenResult = hr; }
    void SetCreateResult(TDSResult hr) { FCreateResult = hr; }
    // Rings on this one device fail with hr (DS_OK: no longer).
    void SetCreateResultOn(const TDeviceGuid& Id, TDSResult hr);
    // New rings get this write lead and volume control.
    void SetWriteLead(uint32_t bytes) { FLead = bytes; }
    void SetVolumeControl(bool has) { FVolumeControl = has; }
    // New rings report an exact cursor (one that stalls with the device).
    void SetExactCursor(bool exact) { FExactCursor = exact; }
    // Off: released rings are forgotten, sleeps and played sound are not
    // recorded, so a run of thousands of tracks keeps a steady footprint.
    void SetKeepHistory(bool keep) { FKeepHistory = keep; }
    // The clock: ticks per second (0 = no clock) and the current tick.
    void SetFrequency(int64_t f) { FFrequency = f; }
    void SetCounter(int64_t t) { FNow = t; }
    // Moves the clock on by ms and plays that much of every playing ring.
    void Advance(uint32_t ms);
    // Replaces the default behaviour of Sleep (which is Advance(ms)).
    void SetOnSleep(std::function<void(uint32_t ms)> h);

    std::shared_ptr<SimulatedRingState> Ring() const;  // the last created
    std::vector<std::shared_ptr<SimulatedRingState>> Rings() const;
    // The sleeps the output asked for, in order.
    std::vector<uint32_t> Sleeps() const;
    TDeviceGuid LastOpened() const;
    int32_t OpenCount() const { return FOpens.load(); }

    TDSResult Enumerate(const TDeviceFound& Found) override;
    TDSResult Open(const TDeviceGuid& Id, std::unique_ptr<SoundDevice>& Device) override;
    int64_t CounterFrequency() override { return FFrequency.load(); }
    int64_t Counter() override { return FNow.load(); }
    void Sleep(uint32_t Milliseconds) override;

    // For the simulated device (not for tests).
    TDSResult NewRing(const TDeviceGuid& Device, const TWaveFormat& Format, uint32_t Bytes,
                      std::unique_ptr<SoundRing>& Ring);

  private:
    mutable std::mutex FLock;  // guards the vectors and the handler
    std::vector<std::pair<TDeviceGuid, std::string>> FDevices;
    std::vector<std::shared_ptr<SimulatedRingState>> FRings;
    std::vector<uint32_t> FSleeps;
    std::function<void(uint32_t)> FOnSleep;
    TDeviceGuid FLastOpened{};
    std::vector<std::pair<TDeviceGuid, TDSResult>> FCreateResults;
    std::atomic<TDSResult> FOpenResult{DS_OK};
    std::atomic<TDSResult> FCreateResult{DS_OK};
    std::atomic<uint32_t> FLead{0};
    std::atomic<bool> FVolumeControl{true};
    std::atomic<bool> FExactCursor{false};
    std::atomic<bool> FKeepHistory{true};
    std::atomic<int64_t> FFrequency{1000000000};
    std::atomic<int64_t> FNow{0};
    std::atomic<int32_t> FOpens{0};
};

}  // namespace quillet
