// TDXAudioOut: the device chosen by name, followed while it comes and goes.
#include <algorithm>
#include <chrono>
#include <thread>

#include "ACS_DXAudio.h"

namespace quillet {

std::vector<std::string> TDXAudioOut::DeviceNames() const {
    std::vector<std::string> names;
    FSystem->Enumerate([&names](const TDeviceGuid& Id, const std::string& Name) {
        // Two devices of one name cannot be told apart by it: the first serves.
        if (Id != TDeviceGuid{} && std::find(names.begin(), names.end(), Name) == names.end())
            names.push_back(Name);
        return true;
    });
    return names;
}

bool TDXAudioOut::FindDevice(const std::string& Name, TDeviceGuid& Id) const {
    bool found = false;
    FSystem->Enumerate([&](const TDeviceGuid& DevId, const std::string& DevName) {
        if (DevId == TDeviceGuid{} || DevName != Name) return true;
        Id = DevId;
        found = true;
        return false;
    });
    return found;
}

void TDXAudioOut::SetDeviceName(const std::string& Name) {
    {
        std::lock_guard<std::mutex> g(FHandlerLock);
        if (Name == FDeviceState.Chosen) return;
        FDeviceState = {Name, false, {}};
        ++FDeviceChanges;
    }
    FSystem->Interrupt();  // a waiting worker moves now, not after its sleep
}

std::string TDXAudioOut::DeviceName() const {
    std::lock_guard<std::mutex> g(FHandlerLock);
    return FDeviceState.Chosen;
}

TDXAudioOut::TDeviceState TDXAudioOut::DeviceState() const {
    std::lock_guard<std::mutex> g(FHandlerLock);
    return FDeviceState;
}

void TDXAudioOut::SetOnDeviceChange(TNotifyEvent h) {
    std::lock_guard<std::mutex> g(FHandlerLock);
    FOnDeviceChange = std::move(h);
}

void TDXAudioOut::OpenOutputDevice() {
    const std::string chosen = DeviceName();
    auto tryOpen = [this](const TDeviceGuid& Id) {
        std::lock_guard<std::mutex> g(FRingLock);
        InitWrapper(FDevice, *FSystem);
        return OpenDevice(FDevice, Id) == DS_OK;
    };
    TDeviceGuid id{};
    FOnChosen = false;
    FChosenListed = false;
    if (chosen.empty()) {
        const int32_t number = FDeviceNumber.load();
        if (number < 0 || number > DeviceCount() - 1) throw EAuDeviceError("Invalid device number");
        id = DeviceList().Items[static_cast<size_t>(number)].Guid;
    } else if (FindDevice(chosen, id)) {
        FChosenListed = true;
        FOnChosen = tryOpen(id);
        if (FOnChosen) return;
        id = {};
    }
    if (!tryOpen(id)) throw EAuDeviceError("Failed to create DirectSound device");
}

TDSResult TDXAudioOut::CreateOutputRing() {
    auto create = [this] {
        std::lock_guard<std::mutex> g(FRingLock);
        const TDSResult hr =
            CreateBuffers(FDevice, FRunFormat, static_cast<uint32_t>(FTransferSize));
        // The volume last set belongs to the player, not to one track.
        if (int32_t v = FVolume.load(); hr == DS_OK && v != 0) {
            try {
                SetBufferVolume(FDevice, v);
            } catch (const Exception&) {
                // A ring without volume control still plays.
            }
        }
        return hr;
    };
    TDSResult hr = create();
    if (hr != DS_OK && FOnChosen) {
        // The chosen device is there but takes no ring: the default instead.
        FOnChosen = false;
        std::lock_guard<std::mutex> g(FRingLock);
        TermWrapper(FDevice);
        InitWrapper(FDevice, *FSystem);
        if (OpenDevice(FDevice, TDeviceGuid{}) != DS_OK) return hr;
    }
    if (hr != DS_OK && !FOnChosen) hr = create();
    if (hr == DS_OK) SettleDeviceState(DeviceName(), FOnChosen);
    return hr;
}

void TDXAudioOut::SettleDeviceState(const std::string& Chosen, bool OnChosen) {
    const bool fellBack = !Chosen.empty() && !OnChosen;
    TNotifyEvent handler;
    {
        std::lock_guard<std::mutex> g(FHandlerLock);
        // A choice made meanwhile is the next move's to settle.
        if (FDeviceState.Chosen != Chosen || FDeviceState.FellBack == fellBack) return;
        FDeviceState.FellBack = fellBack;
        FDeviceState.Message = fellBack ? "The output device \"" + Chosen +
                                              "\" is not available; playing on the system default."
                                        : std::string();
        handler = FOnDeviceChange;
    }
    FRetrySteps = 0;
    PostNotify(handler);
}

bool TDXAudioOut::DeviceMoveWanted() {
    if (FDeviceChanges.load() != FDeviceChangesSeen) return true;
    if (FDevice.OutBuffer && FDevice.OutBuffer->Lost()) return true;
    if (FOnChosen) return false;
    const std::string chosen = DeviceName();
    if (chosen.empty()) return false;
    // The missing device is looked for about once a second. One that is
    // listed but failed to open is not tried again until it has gone from the
    // list: each try would cut the sound.
    const int32_t steps = static_cast<int32_t>(std::max<uint32_t>(1, 1000 / PollingInterval()));
    if (++FRetrySteps < steps) return false;
    FRetrySteps = 0;
    TDeviceGuid id;
    const bool listed = FindDevice(chosen, id);
    const bool wanted = listed && !FChosenListed;
    FChosenListed = listed;
    return wanted;
}

bool TDXAudioOut::MoveDevice() {
    FDeviceChangesSeen = FDeviceChanges.load();
    RewindToHeard();
    {
        std::lock_guard<std::mutex> g(FRingLock);
        TermWrapper(FDevice);
    }
    FQueued = 0;
    try {
        OpenOutputDevice();
        if (CreateOutputRing() != DS_OK) throw EAuDeviceError("Audio output error");
    } catch (const std::exception& e) {
        SetLastError(e.what(), TFault::Device);  // the file played here before
        PostNotify(OnThreadException());
        return false;
    }
    ScheduleInputGain(0);
    FUnderrunsSeen = 0;
    FFirstFill = true;  // the next step fills the new ring and starts it
    return true;
}

void TDXAudioOut::RewindToHeard() {
    // A device that plays what it took after it stops: halted, and given
    // the time to play it out, everything it took has been heard, and the
    // new ring goes on right after it (a moment of silence, never sound
    // played twice).
    const uint32_t held = FDevice.OutBuffer ? FDevice.OutBuffer->HeldMs() : 0;
    if (held > 0) {
        HaltPlayback(FDevice);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(held);
        while (std::chrono::steady_clock::now() < until && !StopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    uint32_t room = 0;
    QueryFreeSpace(FDevice, room);  // brings PlayedTotal up to date
    const uint64_t heard = FDevice.PlayedTotal + (held > 0 ? FDevice.LastBusy : 0);
    while (!FBoundaries.empty() && FBoundaries.front() <= heard) {
        FBoundaries.pop_front();
        ChainHeard();
    }
    // Inputs handed over and not heard are taken back: the input before them
    // is still open, and goes on from the sound heard.
    uint64_t end = FDevice.WrittenTotal;
    bool rewind = !FSourceDone;
    if (!FBoundaries.empty() && ChainEndedKnown(0) && ChainRetract(0)) {
        end = FBoundaries.front();
        rewind = true;
    }
    // Otherwise their sound cannot be fetched again: it is lost, and their
    // track changes count as heard.
    while (!FBoundaries.empty()) {
        FBoundaries.pop_front();
        ChainHeard();
    }
    TAuInput* input = Input();
    if (rewind && end > heard && FDevice.FrameBytes > 0) {
        const auto queued = static_cast<int64_t>(end - heard);
        const int64_t at = std::max<int64_t>(0, input->Delivered() - queued);
        if (input->GoToSample(at / FDevice.FrameBytes)) FSourceDone = false;
        FSeekSeen = input->SeekCount();
    }
}

uint32_t TDXAudioOut::ParkAfterMs() {
    // Only a device that holds sound of its own keeps a thread awake; a
    // drain plays out unhalted.
    return FDevice.OutBuffer && FDevice.OutBuffer->HeldMs() > 0 && !FInputEnded ? kParkAfterMs : 0;
}

void TDXAudioOut::Park() {
    if (!FDevice.OutBuffer || FInputEnded) return;
    RewindToHeard();
    {
        std::lock_guard<std::mutex> g(FRingLock);
        TermWrapper(FDevice);
    }
    NoteQueued();
    FQueued = 0;
    FParked = true;
}

bool TDXAudioOut::Unpark() {
    FParked = false;
    try {
        OpenOutputDevice();
        if (CreateOutputRing() != DS_OK) throw EAuDeviceError("Audio output error");
    } catch (const std::exception& e) {
        SetLastError(e.what(), TFault::Device);
        PostNotify(OnThreadException());
        return false;
    }
    FDeviceChangesSeen = FDeviceChanges.load();
    // A seek made while parked is where the first fill reads from already.
    FSeekSeen = Input()->SeekCount();
    ScheduleInputGain(0);
    FUnderrunsSeen = 0;
    FFirstFill = true;
    return true;
}

}  // namespace quillet
