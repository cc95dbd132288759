// The ring-buffer sound device the output layer is written against: a device
// plays a ring of N bytes in a loop and reports a play cursor (what is being
// played) and a write cursor (the end of what the device has already taken);
// the caller writes ahead of the play cursor through two-region locks.
//
// Results are DirectSound-style codes: 0 = success, negative = failure.
//
// A NOTE ON THREADS
// - SoundSystem: Open from any one thread at a time; Enumerate, the clock
//   and Sleep from any thread (the main thread lists devices while a sink's
//   worker looks for the one it was asked to play on).
// - SoundRing: every operation may be called from several threads at once
//   (the output worker writes and queries while the main thread stops, plays
//   and sets the volume). Lock/Unlock pairs come from one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quillet {

using TDSResult = int32_t;

// Result codes, with the values DirectSound gives them.
constexpr TDSResult DS_OK = 0;
constexpr TDSResult DSERR_GENERIC = static_cast<TDSResult>(0x80004005u);
constexpr TDSResult DSERR_OUTOFMEMORY = static_cast<TDSResult>(0x8007000Eu);
constexpr TDSResult DSERR_INVALIDPARAM = static_cast<TDSResult>(0x80070057u);
constexpr TDSResult DSERR_CONTROLUNAVAIL = static_cast<TDSResult>(0x8878001Eu);
constexpr TDSResult DSERR_INVALIDCALL = static_cast<TDSResult>(0x88780032u);
constexpr TDSResult DSERR_BADFORMAT = static_cast<TDSResult>(0x88780064u);
constexpr TDSResult DSERR_NODRIVER = static_cast<TDSResult>(0x88780078u);

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

using TDeviceGuid = std::array<uint8_t, 16>;

// KSDATAFORMAT_SUBTYPE_PCM, {00000001-0000-0010-8000-00AA00389B71}, in its
// in-memory byte order.
constexpr TDeviceGuid KSDATAFORMAT_SUBTYPE_PCM = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// WAVEFORMATEX, with the WAVEFORMATEXTENSIBLE tail used when FormatTag is
// WAVE_FORMAT_EXTENSIBLE (ExtraSize 22).
struct TWaveFormat {
    uint16_t FormatTag = WAVE_FORMAT_PCM;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t ExtraSize = 0;
    uint16_t ValidBitsPerSample = 0;
    uint32_t ChannelMask = 0;
    TDeviceGuid SubFormat{};
};

// A looping ring buffer being played by a device.
class SoundRing {
  public:
    virtual ~SoundRing() = default;
    // Write access to Bytes bytes from Offset: region 1 up to the ring's end,
    // region 2 (null, 0 when the range does not wrap) from the start.
    virtual TDSResult Lock(uint32_t Offset, uint32_t Bytes, void** Ptr1, uint32_t* Bytes1,
                           void** Ptr2, uint32_t* Bytes2) = 0;
    virtual TDSResult Unlock(void* Ptr1, uint32_t Bytes1, void* Ptr2, uint32_t Bytes2) = 0;
    virtual TDSResult GetCurrentPosition(uint32_t* PlayCursor, uint32_t* WriteCursor) = 0;
    virtual TDSResult SetCurrentPosition(uint32_t Position) = 0;
    // Plays in a loop from the current position; Stop keeps the position.
    virtual TDSResult Play() = 0;
    virtual TDSResult Stop() = 0;
    // Attenuation in hundredths of a decibel: 0 unchanged, -10000 silent.
    // DSERR_CONTROLUNAVAIL when the ring has no volume control.
    virtual TDSResult SetVolume(int32_t Value) = 0;
    // From byte Position on, the sound is also multiplied by Gain, in the
    // same multiply as the volume (gain.h), reached over RampBytes (0: at
    // once). Positions count the play cursor's travel, set to Position by
    // SetCurrentPosition; a change set for a later byte is forgotten.
    // DSERR_CONTROLUNAVAIL when the ring applies no gain.
    virtual TDSResult SetGainFrom(uint64_t /*Position*/, double /*Gain*/, uint32_t /*RampBytes*/) {
        return DSERR_CONTROLUNAVAIL;
    }
    // The transport's fades, a second gain that multiplies the first (gain.h's
    // fade lane, at 1 until set): from byte Position on (one already played:
    // from the next sound the device takes) the fade moves to Gain over
    // RampBytes, from StartGain when that is 0 or more, else from where it
    // is. DSERR_CONTROLUNAVAIL when the ring has no fades.
    virtual TDSResult SetFadeFrom(uint64_t /*Position*/, double /*Gain*/, uint32_t /*RampBytes*/,
                                  double /*StartGain*/ = -1) {
        return DSERR_CONTROLUNAVAIL;
    }
    // Whether the device has taken the whole of the fade set last, so a halt
    // or a close now cuts nothing that is heard.
    virtual bool FadeTaken() const { return true; }
    // True when the play cursor moves only as the device takes sound, so it
    // can never have gone round the ring unseen (a stalled device stalls the
    // cursor too); false for a cursor that runs with the device's clock.
    virtual bool CursorIsExact() const { return false; }
    // How long sound the device has taken (up to the write cursor) goes on
    // playing after Stop, in milliseconds: the device's own buffers. 0: the
    // play cursor itself tells what was heard (a simulated ring).
    virtual uint32_t HeldMs() const { return 0; }
    // True once the device has gone for good (unplugged, or its sound
    // server ended the stream): the ring may still take sound, but nobody
    // hears it. The sink then moves to another device.
    virtual bool Lost() const { return false; }
};

// An open output device.
class SoundDevice {
  public:
    virtual ~SoundDevice() = default;
    // Creates a looping ring of Bytes bytes in Format, zero-filled, stopped,
    // with both cursors at 0.
    virtual TDSResult CreateRing(const TWaveFormat& Format, uint32_t Bytes,
                                 std::unique_ptr<SoundRing>& Ring) = 0;
};

// A sound platform: its devices, its clock and the way the output sleeps.
class SoundSystem {
  public:
    virtual ~SoundSystem() = default;
    // Calls Found for each output device in order (the default device first,
    // with an all-zero id) until it returns false.
    using TDeviceFound = std::function<bool(const TDeviceGuid& Id, const std::string& Name)>;
    virtual TDSResult Enumerate(const TDeviceFound& Found) = 0;
    // All-zero Id = the default device.
    virtual TDSResult Open(const TDeviceGuid& Id, std::unique_ptr<SoundDevice>& Device) = 0;
    // The high-resolution clock; a frequency of 0 means there is none.
    virtual int64_t CounterFrequency() = 0;
    virtual int64_t Counter() = 0;
    // The output's waits between steps (a simulation advances its clock).
    virtual void Sleep(uint32_t Milliseconds) = 0;
    // Ends the current (or the next) Sleep early, from any thread: a seek
    // wants fresh sound in the ring now, not after the rest of the wait.
    virtual void Interrupt() {}
};

// The back-end used when the caller gives none: SDL2 audio.
std::shared_ptr<SoundSystem> DefaultSoundSystem();

}  // namespace quillet
