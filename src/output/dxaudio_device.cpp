// TDXAudioOut: the device chosen by name, followed while it comes and goes.
#include <algorithm>

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
    uint32_t room = 0;
    QueryFreeSpace(FDevice, room);  // brings PlayedTotal up to date
    const uint64_t queued = FDevice.WrittenTotal - FDevice.PlayedTotal;
    TAuInput* input = Input();
    // Sound queued from an input that has ended (or from one before it) cannot
    // be fetched again: it is lost, and its track changes count as heard.
    if (queued > 0 && FBoundaries.empty() && !FSourceDone && FDevice.FrameBytes > 0) {
        const int64_t heard =
            std::max<int64_t>(0, input->Delivered() - static_cast<int64_t>(queued));
        input->GoToSample(heard / FDevice.FrameBytes);
        FSeekSeen = input->SeekCount();
    }
    while (!FBoundaries.empty()) {
        FBoundaries.pop_front();
        ChainHeard();
    }
}

}  // namespace quillet
