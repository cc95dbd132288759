#include "simulated_device.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quillet {

namespace {

class SimulatedRing : public SoundRing {
  public:
    explicit SimulatedRing(std::shared_ptr<SimulatedRingState> s) : FState(std::move(s)) {}
    ~SimulatedRing() override {
        std::lock_guard<std::mutex> g(FState->Lock);
        FState->Playing = false;
        FState->Released = true;
    }

    // The state stays locked from Lock to Unlock, so a test thread that
    // moves the cursors never reads memory that is being written.
    TDSResult Lock(uint32_t Offset, uint32_t Bytes, void** Ptr1, uint32_t* Bytes1, void** Ptr2,
                   uint32_t* Bytes2) override {
        std::unique_lock<std::mutex> g(FState->Lock);
        if (FState->LockResult != DS_OK) return FState->LockResult;
        auto size = static_cast<uint32_t>(FState->Memory.size());
        if (Offset >= size || Bytes > size) return DSERR_INVALIDPARAM;
        uint32_t first = std::min(Bytes, size - Offset);
        *Ptr1 = FState->Memory.data() + Offset;
        *Bytes1 = first;
        *Ptr2 = Bytes > first ? FState->Memory.data() : nullptr;
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
        std::lock_guard<std::mutex> g(FState->Lock);
        ++FState->PositionQueries;
        if (FState->PositionResult != DS_OK) return FState->PositionResult;
        *PlayCursor = FState->Play;
        *WriteCursor = FState->Write;
        return DS_OK;
    }
    TDSResult SetCurrentPosition(uint32_t Position) override {
        std::lock_guard<std::mutex> g(FState->Lock);
        ++FState->Rewinds;
        FState->Play = Position;
        FState->Position = Position;
        FState->Write =
            static_cast<uint32_t>((uint64_t{Position} + FState->Lead) % FState->Memory.size());
        return DS_OK;
    }
    TDSResult Play() override {
        std::lock_guard<std::mutex> g(FState->Lock);
        ++FState->PlayCalls;
        FState->Playing = true;
        return DS_OK;
    }
    TDSResult Stop() override {
        std::lock_guard<std::mutex> g(FState->Lock);
        ++FState->StopCalls;
        FState->Playing = false;
        return DS_OK;
    }
    bool CursorIsExact() const override {
        std::lock_guard<std::mutex> g(FState->Lock);
        return FState->ExactCursor;
    }
    bool Lost() const override {
        std::lock_guard<std::mutex> g(FState->Lock);
        return FState->Lost;
    }
    TDSResult SetVolume(int32_t Value) override {
        std::lock_guard<std::mutex> g(FState->Lock);
        if (!FState->HasVolumeControl) return DSERR_CONTROLUNAVAIL;
        if (Value > 0 || Value < -10000) return DSERR_INVALIDPARAM;
        FState->Volume = Value;
        return DS_OK;
    }
    TDSResult SetGainFrom(uint64_t Position, double Gain, uint32_t RampBytes) override {
        std::lock_guard<std::mutex> g(FState->Lock);
        FState->Gains.Set(Position, Gain, RampBytes);
        return DS_OK;
    }
    TDSResult SetFadeFrom(uint64_t Position, double Gain, uint32_t RampBytes,
                          double StartGain) override {
        std::lock_guard<std::mutex> g(FState->Lock);
        FState->Gains.SetFade(Position, Gain, RampBytes, StartGain);
        return DS_OK;
    }
    bool FadeTaken() const override {
        std::lock_guard<std::mutex> g(FState->Lock);
        return FState->Gains.FadeSettled(FState->Position);
    }

  private:
    std::shared_ptr<SimulatedRingState> FState;
    std::unique_lock<std::mutex> FHeld;  // from Lock to Unlock
};

class SimulatedDevice : public SoundDevice {
  public:
    SimulatedDevice(SimulatedSoundSystem& sys, const TDeviceGuid& id) : FSystem(sys), FId(id) {}
    TDSResult CreateRing(const TWaveFormat& Format, uint32_t Bytes,
                         std::unique_ptr<SoundRing>& Ring) override {
        return FSystem.NewRing(FId, Format, Bytes, Ring);
    }

  private:
    SimulatedSoundSystem& FSystem;
    const TDeviceGuid FId;
};

}  // namespace

SimulatedSoundSystem::SimulatedSoundSystem() {
    FDevices.push_back({TDeviceGuid{}, "Simulated default device"});
}

void SimulatedSoundSystem::SetDevices(std::vector<std::pair<TDeviceGuid, std::string>> devices) {
    std::lock_guard<std::mutex> g(FLock);
    FDevices = std::move(devices);
}

void SimulatedSoundSystem::SetOnSleep(std::function<void(uint32_t ms)> h) {
    std::lock_guard<std::mutex> g(FLock);
    FOnSleep = std::move(h);
}

std::shared_ptr<SimulatedRingState> SimulatedSoundSystem::Ring() const {
    std::lock_guard<std::mutex> g(FLock);
    return FRings.empty() ? nullptr : FRings.back();
}

std::vector<std::shared_ptr<SimulatedRingState>> SimulatedSoundSystem::Rings() const {
    std::lock_guard<std::mutex> g(FLock);
    return FRings;
}

std::vector<uint32_t> SimulatedSoundSystem::Sleeps() const {
    std::lock_guard<std::mutex> g(FLock);
    return FSleeps;
}

TDeviceGuid SimulatedSoundSystem::LastOpened() const {
    std::lock_guard<std::mutex> g(FLock);
    return FLastOpened;
}

void SimulatedSoundSystem::Advance(uint32_t ms) {
    int64_t f = FFrequency.load();
    FNow += f * ms / 1000;
    for (const auto& r : Rings()) {
        std::lock_guard<std::mutex> g(r->Lock);
        if (!r->Playing || r->Released || r->Format.BlockAlign == 0) continue;
        auto size = static_cast<uint32_t>(r->Memory.size());
        r->PlayedMs += ms;
        uint64_t target = r->PlayedMs * r->Format.SamplesPerSec / 1000;
        uint64_t bytes = (target - r->PlayedFrames) * r->Format.BlockAlign;
        r->PlayedFrames = target;
        if (r->Capture) {
            const uint32_t width = r->Format.BitsPerSample / 8;
            ForEachGainStretch(r->Gains, r->Position, r->Play, size, r->Format.BlockAlign, bytes,
                               VolumeFactor(r->Volume),
                               [&](uint32_t offset, uint32_t n, double gain) {
                                   const size_t at = r->Played.size();
                                   r->Played.insert(r->Played.end(), r->Memory.begin() + offset,
                                                    r->Memory.begin() + offset + n);
                                   if (width > 0)
                                       ApplyGain(r->Played.data() + at, n / width, width, gain);
                               });
        }
        r->Play = static_cast<uint32_t>((r->Play + bytes) % size);
        r->Position += bytes;
        r->Write = static_cast<uint32_t>((uint64_t{r->Play} + r->Lead) % size);
    }
}

void SimulatedSoundSystem::Sleep(uint32_t Milliseconds) {
    std::function<void(uint32_t)> h;
    {
        std::lock_guard<std::mutex> g(FLock);
        if (FKeepHistory) FSleeps.push_back(Milliseconds);
        h = FOnSleep;
    }
    if (h)
        h(Milliseconds);
    else
        Advance(Milliseconds);
}

TDSResult SimulatedSoundSystem::Enumerate(const TDeviceFound& Found) {
    std::vector<std::pair<TDeviceGuid, std::string>> devices;
    {
        std::lock_guard<std::mutex> g(FLock);
        devices = FDevices;
    }
    for (const auto& [id, name] : devices)
        if (!Found(id, name)) break;
    return DS_OK;
}

TDSResult SimulatedSoundSystem::Open(const TDeviceGuid& Id, std::unique_ptr<SoundDevice>& Device) {
    ++FOpens;
    if (FOpenResult != DS_OK) return FOpenResult;
    std::lock_guard<std::mutex> g(FLock);
    bool known = std::any_of(FDevices.begin(), FDevices.end(),
                             [&Id](const auto& d) { return d.first == Id; });
    if (!known && Id != TDeviceGuid{}) return DSERR_NODRIVER;
    FLastOpened = Id;
    Device = std::make_unique<SimulatedDevice>(*this, Id);
    return DS_OK;
}

void SimulatedSoundSystem::SetCreateResultOn(const TDeviceGuid& Id, TDSResult hr) {
    std::lock_guard<std::mutex> g(FLock);
    std::erase_if(FCreateResults, [&Id](const auto& r) { return r.first == Id; });
    if (hr != DS_OK) FCreateResults.emplace_back(Id, hr);
}

TDSResult SimulatedSoundSystem::NewRing(const TDeviceGuid& Device, const TWaveFormat& Format,
                                        uint32_t Bytes, std::unique_ptr<SoundRing>& Ring) {
    if (FCreateResult != DS_OK) return FCreateResult;
    {
        std::lock_guard<std::mutex> g(FLock);
        for (const auto& [id, hr] : FCreateResults)
            if (id == Device) return hr;
    }
    if (Format.BlockAlign == 0 || Bytes == 0 || Bytes % Format.BlockAlign != 0)
        return DSERR_INVALIDPARAM;
    auto state = std::make_shared<SimulatedRingState>();
    try {
        // Unwritten ring memory is garbage on a real device; 0xEE shows up
        // where a test expects the layer's zero fill.
        state->Memory.assign(Bytes, 0xEE);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
    state->Format = Format;
    state->Device = Device;
    state->Lead = FLead.load() % Bytes;
    state->Write = state->Lead;
    state->HasVolumeControl = FVolumeControl.load();
    state->ExactCursor = FExactCursor.load();
    state->Capture = FKeepHistory.load();
    Ring = std::make_unique<SimulatedRing>(state);
    std::lock_guard<std::mutex> g(FLock);
    if (!FKeepHistory)
        std::erase_if(FRings, [](const std::shared_ptr<SimulatedRingState>& r) {
            std::lock_guard<std::mutex> rg(r->Lock);
            return r->Released;
        });
    FRings.push_back(std::move(state));
    return DS_OK;
}

}  // namespace quillet
