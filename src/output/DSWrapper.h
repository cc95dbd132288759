// The device layer of the output: a sound device seen as a ring buffer that
// the sink keeps topped up. It keeps its own write position, tells how many
// bytes may be written without overtaking the sound being played, detects
// underflows (also whole laps a clock-driven play cursor went round unseen;
// never for a device whose cursor moves only as it takes sound), writes PCM
// or silence, and starts, stops and restarts playback.
//
// Every operation returns a result code (0 = success); only SetBufferVolume
// raises. A failed cursor query leaves the caller's count unchanged, and the
// caller must treat that as no free space.
//
// A NOTE ON THREADS
// The layer has no lock. The output's worker runs the whole cycle
// (InitWrapper .. TermWrapper) and all queries and writes; the main thread
// may call HaltPlayback, ResumePlayback and SetBufferVolume meanwhile, which
// is why Running is atomic and the ring accepts calls from several threads.
// Creating and releasing OutBuffer must not race with those calls: the
// caller serialises them (TDXAudioOut holds its ring lock).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "sound_device.h"

namespace quillet {

constexpr int32_t MaxOutputDevices = 16;

struct TOutputDeviceEntry {
    TDeviceGuid Guid{};  // all zeros: the default device
    char Name[128]{};    // at most 127 bytes, zero-terminated
};

struct TOutputDeviceList {
    int32_t Count = 0;
    TOutputDeviceEntry Items[MaxOutputDevices];
};

struct DSoundWrapper {
    SoundSystem* System = nullptr;          // the back-end (set by InitWrapper)
    std::unique_ptr<SoundDevice> DSObject;  // the open device
    std::unique_ptr<SoundRing> OutBuffer;   // the ring played in a loop
    // Worker only:
    uint32_t WritePos = 0;     // where the next write goes
    uint32_t RingBytes = 0;    // ring size
    uint32_t FrameBytes = 0;   // block alignment of the format
    int64_t TicksPerRing = 0;  // clock ticks of one pass; 0 without a clock
    int64_t LastTick = 0;      // clock at the last free-space query
    uint32_t LastPlayPos = 0;  // play cursor at the last free-space query
    int32_t Underflows = 0;    // underflows detected while playing
    // Byte counts since playback began, in one coordinate: every byte written
    // (sound and silence; the ring's first WritePos bytes count as written)
    // and every byte the play cursor went over. Their difference is what is
    // queued; a position in WrittenTotal is heard once PlayedTotal reaches it.
    uint64_t WrittenTotal = 0;
    uint64_t PlayedTotal = 0;
    uint32_t LastCursor = 0;   // play cursor at the last query, for PlayedTotal
    uint32_t LastWrite = 0;    // write cursor at the last query
    uint32_t LastBusy = 0;     // bytes the device held (play to write cursor) then
    bool ExactCursor = false;  // the ring's cursor moves only as sound is taken
    std::atomic<bool> Running{false};
    // Set by ResumePlayback: the next query restarts the lap clock, so time
    // spent halted is not taken for laps the cursor went round unseen.
    std::atomic<bool> ClockStale{false};
};

// Clears the record and binds it to System. Returns 0.
TDSResult InitWrapper(DSoundWrapper& DS, SoundSystem& System);
// Stops and releases the ring, then the device.
void TermWrapper(DSoundWrapper& DS);
TDSResult OpenDevice(DSoundWrapper& DS, const TDeviceGuid& Guid);
TDSResult CreateBuffers(DSoundWrapper& DS, const TWaveFormat& Format, uint32_t Bytes);
// Rewinds to 0 and plays looping.
TDSResult BeginPlayback(DSoundWrapper& DS);
TDSResult HaltPlayback(DSoundWrapper& DS);
// Plays looping from where the ring is; -1 without a ring.
TDSResult ResumePlayback(DSoundWrapper& DS);
// Bytes := how many bytes may be written at WritePos (unchanged on failure).
TDSResult QueryFreeSpace(DSoundWrapper& DS, uint32_t& Bytes);
// Writes Value into all the free space.
TDSResult FillFreeSpace(DSoundWrapper& DS, uint8_t Value);
// Forgets what is queued beyond what the device has already taken, so the
// next write is the next sound heard (a seek). KeepBytes of it (whole
// frames, as much as is queued) stay, for a fade out of the old sound.
TDSResult DropQueued(DSoundWrapper& DS, uint32_t KeepBytes = 0);
// Forgets what is queued from WrittenTotal position At on, which the device
// must not have taken yet (DSERR_INVALIDCALL otherwise), and overwrites it
// with Value, so a device that runs ahead of the next write hears silence,
// never the sound forgotten.
TDSResult CutQueued(DSoundWrapper& DS, uint64_t At, uint8_t Value);
TDSResult WriteData(DSoundWrapper& DS, const void* Buffer, uint32_t Bytes);
// At most 16 devices, names cut to 127 bytes.
TDSResult ListDevices(SoundSystem& System, TOutputDeviceList& List);
// 0 without a ring; raises Exception "Control not available" when the ring
// has no volume control.
TDSResult SetBufferVolume(DSoundWrapper& DS, int32_t Value);
// The ring multiplies the sound from WrittenTotal position From on by Gain
// (a track's loudness correction), reached over RampBytes (0: at once). 0
// without a ring.
TDSResult ScheduleGain(DSoundWrapper& DS, uint64_t From, double Gain, uint32_t RampBytes = 0);
// The ring's transport fade (SoundRing::SetFadeFrom). 0 without a ring.
TDSResult ScheduleFade(DSoundWrapper& DS, uint64_t From, double Gain, uint32_t RampBytes,
                       double StartGain = -1);

}  // namespace quillet
