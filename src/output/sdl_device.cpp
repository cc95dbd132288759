#include "sdl_device.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gain.h"
#include "sdl_lib.h"

namespace quillet {

namespace {

// SDL's audio init, quit, open and close are not thread-safe; several sinks
// may open devices from their workers at once.
std::mutex& SdlLock() {
    static std::mutex m;
    return m;
}

// SDL keeps per-thread data (its error text) for threads it did not create
// and frees it only at SDL_Quit; our callers are the main thread and the
// sinks' workers, so each batch of SDL calls drops it again.
struct SdlCalls {
    std::lock_guard<std::mutex> Guard{SdlLock()};
    ~SdlCalls() { SdlLib().SDL_TLSCleanup(); }
};

// One reference on SDL's audio subsystem (SDL counts them).
class SdlAudioRef {
  public:
    static std::shared_ptr<SdlAudioRef> Acquire() {
        if (!SdlLoaded()) return nullptr;  // no SDL: no sound device
        SdlCalls g;
        if (SdlLib().SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
        return std::shared_ptr<SdlAudioRef>(new SdlAudioRef);
    }
    ~SdlAudioRef() {
        SdlCalls g;
        SdlLib().SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

  private:
    SdlAudioRef() = default;
};

std::vector<std::pair<TDeviceGuid, std::string>> NamedDevices() {
    std::vector<std::pair<TDeviceGuid, std::string>> out;
    std::map<std::string, int> seen;
    SdlCalls g;
    int n = SdlLib().SDL_GetNumAudioDevices(0);
    for (int i = 0; i < n; ++i) {
        const char* name = SdlLib().SDL_GetAudioDeviceName(i, 0);
        if (!name) continue;
        std::string s(name);
        out.emplace_back(SdlDeviceId(s, seen[s]++), s);
    }
    return out;
}

class SdlRing : public SoundRing {
  public:
    SdlRing(std::shared_ptr<SdlAudioRef> ref, const TWaveFormat& f, std::vector<uint8_t>&& mem)
        : FRef(std::move(ref)),
          FMemory(std::move(mem)),
          FSize(static_cast<uint32_t>(FMemory.size())),
          FInFrame(f.BlockAlign),
          FBits(f.BitsPerSample),
          FChannels(f.Channels) {
        FOutBytes = FBits == 24 ? 4 : FBits / 8;
        FOutFrame = FOutBytes * FChannels;
    }
    ~SdlRing() override {
        if (FDevice != 0) {
            SdlCalls g;
            SdlLib().SDL_CloseAudioDevice(FDevice);  // waits for the callback to end
        }
    }

    TDSResult OpenOn(const std::string& name, uint32_t rate) {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(rate);
        want.format = FBits == 8 ? AUDIO_U8 : FBits == 16 ? AUDIO_S16LSB : AUDIO_S32LSB;
        want.channels = static_cast<Uint8>(FChannels);
        // About 150 ms per callback (the device's own buffer): a busy machine
        // may hold SDL's thread that long without a dropout, and a pause or
        // a seek is still heard within it. The ring behind it holds a second
        // or more, so the worker's polls need no such care.
        want.samples = static_cast<Uint16>(DeviceBufferFrames(rate));
        want.callback = &SdlRing::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        SdlCalls g;
        // No changes allowed: SDL converts to what the hardware takes.
        FDevice =
            SdlLib().SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
        if (FDevice == 0) return DSERR_NODRIVER;
        FSilenceOut = have.silence;
        // SDL's buffer and the one it fills behind it (a sound server's).
        FHeldMs = have.freq > 0 ? static_cast<uint32_t>(2000ull * have.samples / have.freq) : 0;
        SdlLib().SDL_PauseAudioDevice(FDevice, 0);
        return DS_OK;
    }

    TDSResult Lock(uint32_t Offset, uint32_t Bytes, void** Ptr1, uint32_t* Bytes1, void** Ptr2,
                   uint32_t* Bytes2) override {
        if (Offset >= FSize || Bytes > FSize) return DSERR_INVALIDPARAM;
        // Held until Unlock: the callback never copies bytes being written.
        std::unique_lock<std::mutex> g(FLock);
        uint32_t first = std::min(Bytes, FSize - Offset);
        *Ptr1 = FMemory.data() + Offset;
        *Bytes1 = first;
        *Ptr2 = Bytes > first ? FMemory.data() : nullptr;
        *Bytes2 = Bytes - first;
        FHeld = std::move(g);
        return DS_OK;
    }
    TDSResult Unlock(void*, uint32_t, void*, uint32_t) override {
        if (!FHeld.owns_lock()) return DSERR_INVALIDCALL;
        FHeld.unlock();
        return DS_OK;
    }
    TDSResult GetCurrentPosition(uint32_t* PlayCursor, uint32_t* WriteCursor) override {
        std::lock_guard<std::mutex> g(FLock);
        *PlayCursor = FPlay;
        *WriteCursor = FWrite;
        return DS_OK;
    }
    TDSResult SetCurrentPosition(uint32_t Position) override {
        std::lock_guard<std::mutex> g(FLock);
        uint32_t p = Position % FSize;
        FPlay = FWrite = p - p % FInFrame;
        FTaken = FWrite;
        return DS_OK;
    }
    TDSResult Play() override {
        std::lock_guard<std::mutex> g(FLock);
        FPlaying = true;
        return DS_OK;
    }
    TDSResult Stop() override {
        std::lock_guard<std::mutex> g(FLock);
        FPlaying = false;
        return DS_OK;
    }
    TDSResult SetVolume(int32_t Value) override {
        if (Value > 0 || Value < -10000) return DSERR_INVALIDPARAM;
        FVolume.store(Value, std::memory_order_relaxed);
        return DS_OK;
    }
    TDSResult SetGainFrom(uint64_t Position, double Gain, uint32_t RampBytes) override {
        std::lock_guard<std::mutex> g(FLock);
        FGains.Set(Position, Gain, RampBytes);
        return DS_OK;
    }
    TDSResult SetFadeFrom(uint64_t Position, double Gain, uint32_t RampBytes,
                          double StartGain) override {
        std::lock_guard<std::mutex> g(FLock);
        FGains.SetFade(Position, Gain, RampBytes, StartGain);
        FFadeSet = true;
        return DS_OK;
    }
    // Settled, and a whole callback since: SDL has handed the fade's end on,
    // and the buffer it holds now is the one after it.
    bool FadeTaken() const override {
        std::lock_guard<std::mutex> g(FLock);
        return !FFadeSet || FFadeCallbacks >= 2;
    }
    bool CursorIsExact() const override { return true; }
    uint32_t HeldMs() const override { return FHeldMs; }
    // SDL goes on calling the callback of a device it lost (so the cursor
    // moves), and tells the loss only through the device's status.
    bool Lost() const override {
        SdlCalls g;
        return SdlLib().SDL_GetAudioDeviceStatus(FDevice) == SDL_AUDIO_STOPPED;
    }

  private:
    static void SDLCALL Callback(void* user, Uint8* stream, int len) {
        static_cast<SdlRing*>(user)->Render(stream, static_cast<uint32_t>(len));
    }

    // SDL's audio thread. No allocation; the lock is held for the copy, which
    // applies the volume and the track's gain in one multiply per sample.
    void Render(uint8_t* out, uint32_t len) {
        uint32_t frames = len / FOutFrame;
        {
            std::lock_guard<std::mutex> g(FLock);
            // Read under the lock: a volume set before Play (which takes the
            // lock) is then always seen, so a run never starts with one
            // callback's worth of sound at full volume.
            if (const int32_t v = FVolume.load(std::memory_order_relaxed); v != FVolumeFor) {
                FVolumeFor = v;
                FVolumeGain = VolumeFactor(v);
            }
            if (!FPlaying) {
                frames = 0;
                FFadeSet = false;  // halted: nothing more of it is heard
            } else {
                const uint64_t bytes = uint64_t{frames} * FInFrame;
                uint8_t* dst = out;
                ForEachGainStretch(FGains, FTaken, FWrite, FSize, FInFrame, bytes, FVolumeGain,
                                   [&](uint32_t offset, uint32_t n, double gain) {
                                       const uint32_t count = n / FInFrame;
                                       CopyFrames(FMemory.data() + offset, dst, count);
                                       ApplyGain(dst, size_t{count} * FChannels, FOutBytes, gain);
                                       dst += count * FOutFrame;
                                   });
                FTaken += bytes;
                if (FFadeSet && FGains.FadeSettled(FTaken)) {
                    if (++FFadeCallbacks >= 2) FFadeSet = false;
                } else {
                    FFadeCallbacks = 0;
                }
                FPlay = FWrite;
                FWrite = static_cast<uint32_t>((FWrite + bytes) % FSize);
            }
        }
        std::memset(out + frames * FOutFrame, FSilenceOut, len - frames * FOutFrame);
    }

    void CopyFrames(const uint8_t* src, uint8_t* dst, uint32_t n) {
        if (FBits != 24) {
            std::memcpy(dst, src, size_t{n} * FInFrame);
            return;
        }
        for (uint32_t i = 0, samples = n * FChannels; i < samples; ++i, src += 3, dst += 4) {
            dst[0] = 0;
            dst[1] = src[0];
            dst[2] = src[1];
            dst[3] = src[2];
        }
    }

    std::shared_ptr<SdlAudioRef> FRef;  // keeps SDL's audio up while open
    SDL_AudioDeviceID FDevice = 0;
    std::vector<uint8_t> FMemory;  // guarded by FLock
    const uint32_t FSize;
    const uint32_t FInFrame;
    const uint32_t FBits;
    const uint32_t FChannels;
    uint32_t FOutBytes = 0;
    uint32_t FOutFrame = 0;
    uint8_t FSilenceOut = 0;
    uint32_t FHeldMs = 0;  // set once, before the ring is shared
    mutable std::mutex FLock;
    std::unique_lock<std::mutex> FHeld;  // from Lock to Unlock
    uint32_t FPlay = 0;                  // under FLock
    uint32_t FWrite = 0;                 // under FLock
    uint64_t FTaken = 0;                 // under FLock: FWrite's travel, for FGains
    bool FPlaying = false;               // under FLock
    TGainSchedule FGains;                // under FLock
    bool FFadeSet = false;               // under FLock: a fade is not taken yet
    int FFadeCallbacks = 0;              // under FLock: callbacks since it settled
    std::atomic<int32_t> FVolume{0};
    int32_t FVolumeFor = 0;    // callback thread only: the volume FVolumeGain is for
    double FVolumeGain = 1.0;  // callback thread only
};

class SdlDevice : public SoundDevice {
  public:
    SdlDevice(std::shared_ptr<SdlAudioRef> ref, std::string name)
        : FRef(std::move(ref)), FName(std::move(name)) {}

    TDSResult CreateRing(const TWaveFormat& f, uint32_t Bytes,
                         std::unique_ptr<SoundRing>& Ring) override {
        bool pcm = f.FormatTag == WAVE_FORMAT_PCM || (f.FormatTag == WAVE_FORMAT_EXTENSIBLE &&
                                                      f.SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
        bool bits = f.BitsPerSample == 8 || f.BitsPerSample == 16 || f.BitsPerSample == 24 ||
                    f.BitsPerSample == 32;
        if (!pcm || !bits || f.Channels < 1 || f.Channels > 8 || f.SamplesPerSec < 1000 ||
            f.SamplesPerSec > 768000 || f.BlockAlign != f.Channels * f.BitsPerSample / 8)
            return DSERR_BADFORMAT;
        if (Bytes == 0 || Bytes % f.BlockAlign != 0) return DSERR_INVALIDPARAM;
        std::vector<uint8_t> mem;
        try {
            mem.assign(Bytes, 0);
        } catch (const std::bad_alloc&) {
            return DSERR_OUTOFMEMORY;
        }
        auto ring = std::make_unique<SdlRing>(FRef, f, std::move(mem));
        TDSResult hr = ring->OpenOn(FName, f.SamplesPerSec);
        if (hr != DS_OK) return hr;
        Ring = std::move(ring);
        return DS_OK;
    }

  private:
    std::shared_ptr<SdlAudioRef> FRef;
    std::string FName;  // empty: the default device
};

}  // namespace

uint32_t DeviceBufferFrames(uint32_t Rate) {
    const uint64_t frames = uint64_t{Rate} * kDeviceBufferMs / 1000 / 64 * 64;
    return static_cast<uint32_t>(std::clamp<uint64_t>(frames, 256, 16384));
}

TDeviceGuid SdlDeviceId(const std::string& Name, int Occurrence) {
    // Two FNV-1a passes with different bases give the 16 bytes.
    std::string key = Occurrence == 0 ? Name : Name + "#" + std::to_string(Occurrence);
    TDeviceGuid id{};
    uint64_t bases[2] = {1469598103934665603ull, 0x84222325cbf29ce4ull};
    for (int half = 0; half < 2; ++half) {
        uint64_t h = bases[half];
        for (unsigned char c : key) {
            h ^= c;
            h *= 1099511628211ull;
        }
        for (int i = 0; i < 8; ++i) id[half * 8 + i] = static_cast<uint8_t>(h >> (8 * i));
    }
    if (id == TDeviceGuid{}) id[0] = 1;  // all zeros is the default device
    return id;
}

TDSResult SdlSoundSystem::Enumerate(const TDeviceFound& Found) {
    if (!Found(TDeviceGuid{}, "Default device")) return DS_OK;
    auto ref = SdlAudioRef::Acquire();
    if (!ref) return DS_OK;  // no driver: only the default is listed; opening it fails
    for (const auto& [id, name] : NamedDevices())
        if (!Found(id, name)) break;
    return DS_OK;
}

TDSResult SdlSoundSystem::Open(const TDeviceGuid& Id, std::unique_ptr<SoundDevice>& Device) {
    auto ref = SdlAudioRef::Acquire();
    if (!ref) return DSERR_NODRIVER;
    std::string name;
    if (Id != TDeviceGuid{}) {
        auto devices = NamedDevices();
        auto it = std::find_if(devices.begin(), devices.end(),
                               [&Id](const auto& d) { return d.first == Id; });
        if (it == devices.end()) return DSERR_NODRIVER;
        name = it->second;
    }
    Device = std::make_unique<SdlDevice>(std::move(ref), std::move(name));
    return DS_OK;
}

int64_t SdlSoundSystem::Counter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SdlSoundSystem::Sleep(uint32_t Milliseconds) {
    std::unique_lock<std::mutex> l(FSleepLock);
    FSleepWake.wait_for(l, std::chrono::milliseconds(Milliseconds),
                        [this] { return FInterrupted; });
    FInterrupted = false;
}

void SdlSoundSystem::Interrupt() {
    std::lock_guard<std::mutex> l(FSleepLock);
    FInterrupted = true;
    FSleepWake.notify_all();
}

std::shared_ptr<SoundSystem> DefaultSoundSystem() {
    return std::make_shared<SdlSoundSystem>();
}

}  // namespace quillet
