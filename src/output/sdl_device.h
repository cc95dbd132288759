// The SDL2 back-end of the sound device: real sound.
//
// SDL pulls sound through its audio callback; the ring is ours. The callback
// copies from the ring at the write cursor (the end of what it has taken so
// far), widening 24-bit packed samples to 32-bit and applying the volume
// times the gain scheduled for each byte (gain.h), and then moves both
// cursors: the play cursor to the start of the chunk just taken (that chunk
// is being played) and the write cursor past it. A stopped ring gives
// silence and keeps its cursors. The cursor is exact: it moves only as SDL
// takes sound, so a stalled process never reads as laps played.
//
// Devices: the default device first, with the all-zero id, then SDL's named
// output devices, each with an id derived from its name. SDL's audio
// subsystem is started only while it is needed (enumeration, an open
// device), so SDL_AUDIODRIVER is read afresh for each run; a driver that
// cannot start, or no SDL library to load (sdl_lib.h), makes Open fail with
// DSERR_NODRIVER.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sound_device.h"

namespace quillet {

class SdlSoundSystem : public SoundSystem {
  public:
    TDSResult Enumerate(const TDeviceFound& Found) override;
    TDSResult Open(const TDeviceGuid& Id, std::unique_ptr<SoundDevice>& Device) override;
    // steady_clock, in nanoseconds.
    int64_t CounterFrequency() override { return 1000000000; }
    int64_t Counter() override;
    void Sleep(uint32_t Milliseconds) override;
    void Interrupt() override;

  private:
    std::mutex FSleepLock;
    std::condition_variable FSleepWake;
    bool FInterrupted = false;  // under FSleepLock
};

// The sound SDL's device holds itself, in milliseconds, and in frames at
// `Rate`: what a busy machine may keep SDL's thread from running without a
// dropout, and the latest a pause or a seek is heard.
constexpr uint32_t kDeviceBufferMs = 150;
uint32_t DeviceBufferFrames(uint32_t Rate);

// The id SDL's device of this name gets (Occurrence counts earlier devices of
// the same name); never all zeros.
TDeviceGuid SdlDeviceId(const std::string& Name, int Occurrence = 0);

}  // namespace quillet
