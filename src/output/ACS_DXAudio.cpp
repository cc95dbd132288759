#include "ACS_DXAudio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <thread>

namespace quillet {

namespace {

std::string BufferError(TDSResult hr) {
    char code[9];
    std::snprintf(code, sizeof code, "%08X", static_cast<uint32_t>(hr));
    return std::string("Failed to create DirectSound buffer") + code;
}

TWaveFormat BuildFormat(int32_t channels, int32_t rate, int32_t bits) {
    TWaveFormat f;
    if (channels >= 3 || bits == 24) {
        f.FormatTag = WAVE_FORMAT_EXTENSIBLE;
        f.ExtraSize = 22;
        f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
        f.ValidBitsPerSample = 0;
        f.ChannelMask = channels == 2 ? 0x3 : channels == 6 ? 0x3F : channels == 8 ? 0xFF : 0;
    } else {
        f.FormatTag = WAVE_FORMAT_PCM;
        f.ExtraSize = 0;
    }
    f.Channels = static_cast<uint16_t>(channels);
    f.SamplesPerSec = static_cast<uint32_t>(rate);
    f.BitsPerSample = static_cast<uint16_t>(bits);
    f.BlockAlign = static_cast<uint16_t>((channels * bits) >> 3);
    f.AvgBytesPerSec = uint32_t{f.BlockAlign} * f.SamplesPerSec;
    return f;
}

}  // namespace

TDXAudioOut::TDXAudioOut(TComponent* owner) : TDXAudioOut(owner, DefaultSoundSystem()) {}

TDXAudioOut::TDXAudioOut(TComponent* owner, std::shared_ptr<SoundSystem> system)
    : TAuOutput(owner), FSystem(std::move(system)) {
    // A sink on its own plays exactly what it is given; the player turns the
    // fades on.
    FDsp.Crossfade().Set({.Fades = false});
}

const TOutputDeviceList& TDXAudioOut::DeviceList() const {
    std::call_once(FListed, [this] { ListDevices(*FSystem, FDeviceList); });
    return FDeviceList;
}

TDXAudioOut::~TDXAudioOut() {
    ShutdownWorker();
    std::lock_guard<std::mutex> g(FRingLock);
    TermWrapper(FDevice);
}

void TDXAudioOut::SetFramesInBuffer(uint32_t Value) {
    if (!Active()) FFramesInBuffer = Value;
}

void TDXAudioOut::SetOnUnderrun(TUnderrunEvent h) {
    std::lock_guard<std::mutex> g(FHandlerLock);
    FOnUnderrun = std::move(h);
}

TUnderrunEvent TDXAudioOut::UnderrunHandler() const {
    std::lock_guard<std::mutex> g(FHandlerLock);
    return FOnUnderrun;
}

void TDXAudioOut::PrepareOutput() {
    FReleased = false;
    int32_t number = FDeviceNumber.load();
    if (number < 0 || number > DeviceCount() - 1) throw EAuDeviceError("Invalid device number");
    TAuInput* input = Input();
    if (input == nullptr) throw EAuException("Input is not assigned");
    input->BeginRead();
    FSeekSeen = input->SeekCount();
    FOutChannels = static_cast<int32_t>(input->GetChannels());
    FOutRate = static_cast<int32_t>(input->GetSampleRate());
    FOutBits = static_cast<int32_t>(input->GetBitsPerSample());

    FDeviceChangesSeen = FDeviceChanges.load();
    OpenOutputDevice();

    // No device plays such a format, and the size below must not overflow.
    // The sample width is checked before it sizes anything: an unplayable
    // file's header can claim 60000-bit samples, which made a 1.4 GB buffer.
    const bool widthPlays = FOutBits == 8 || FOutBits == 16 || FOutBits == 24 || FOutBits == 32;
    if (FOutChannels < 1 || FOutChannels > 0xFFFF || !widthPlays || FOutRate < 1)
        throw EAuFormatError(BufferError(DSERR_BADFORMAT));
    // A ring larger than 2 GiB (a bad FramesInBuffer or format) could not be
    // addressed by the device layer's 32-bit offsets.
    int64_t size = int64_t{FFramesInBuffer.load()} * (FOutBits >> 3) * FOutChannels;
    if (size <= 0 || size > std::numeric_limits<int32_t>::max())
        throw EAuFormatError(BufferError(DSERR_INVALIDPARAM));
    FTransferSize = static_cast<int32_t>(size);
    try {
        FTransfer.assign(static_cast<size_t>(FTransferSize), 0);
    } catch (const std::bad_alloc&) {
        throw EAuDeviceError(BufferError(DSERR_OUTOFMEMORY));
    }
    FSilence = FOutBits == 8 ? 128 : 0;
    FRunFormat = BuildFormat(FOutChannels, FOutRate, FOutBits);
    if (TDSResult hr = CreateOutputRing(); hr == DSERR_BADFORMAT) {
        throw EAuFormatError(BufferError(hr));
    } else if (hr != DS_OK) {
        throw EAuDeviceError(BufferError(hr));
    }
    FRingFrameBytes = FDevice.FrameBytes;
    FRingBytesPerSecond = BytesPerSecond();
    FOverlapLength = FOverlapAt = FPlannedOverlap = 0;
    FMixEnd = 0;
    FGainSettingsSeen = FGainSettings.load();
    ScheduleInputGain(0);
    // After the gain: the equalizer starts at the headroom this input needs.
    FDsp.Start(static_cast<uint32_t>(FOutRate), static_cast<uint32_t>(FOutChannels),
               static_cast<uint32_t>(FOutBits));
    if (FFadeInNext.exchange(false))
        if (const uint32_t ms = FDsp.Crossfade().FadeMs())
            ScheduleFade(FDevice, 0, 1.0, FadeBytes(ms), 0.0);
    SetRunFormat(static_cast<uint32_t>(FOutRate), FDevice.FrameBytes);
    FFirstFill = true;
    FInputEnded = false;
    FSourceDone = false;
    FQueued = 0;
    FPlayedTotal = 0;
    FUnderrunsSeen = 0;
    FDataEnd = 0;
    FAnswerDue = false;
    FParked = false;
    FBoundaries.clear();
    FCrossfadeBoundary = 0;
}

int64_t TDXAudioOut::BytesPerSecond() const {
    return int64_t{FOutRate} * FOutChannels * (FOutBits / 8);
}

int32_t TDXAudioOut::Fill(int32_t Bytes) {
    // Ask early enough that the next input is open long before it is needed,
    // a crossfade's length earlier still.
    constexpr int64_t kLeadSeconds = 5;
    const auto frame = static_cast<int32_t>(FDevice.FrameBytes);
    const int64_t lead = (kLeadSeconds + FDsp.Crossfade().Current().Seconds) * BytesPerSecond();
    int32_t m = 0;
    for (;;) {
        if (!FSourceDone) {
            ChainAskIfNear(lead, false);
            bool ended = false;
            if (m < Bytes) {
                int32_t want = Bytes - m;
                const int64_t before = BytesBeforeCrossfade();
                if (before == 0) {
                    if (StartCrossfade(m)) continue;
                    // The answer may still name a track to crossfade into: the
                    // ring plays on meanwhile, while it holds enough.
                    const uint64_t queued = FDevice.WrittenTotal - FDevice.PlayedTotal + m;
                    if (FHoldForAnswer && queued >= static_cast<uint64_t>(BytesPerSecond() / 4))
                        return m;
                }
                if (before > 0) want = static_cast<int32_t>(std::min<int64_t>(want, before));
                // A source fed from outside gives what it holds; more only when
                // the ring runs short (it then fills a gap its own way).
                if (const int64_t held = Input()->BufferedBytes(); held >= 0 && !FTakeAll)
                    want = static_cast<int32_t>(std::min<int64_t>(want, held - held % frame));
                if (want <= 0) return m;
                const int32_t got = Input()->FillBuffer(FTransfer.data() + m, want, ended);
                Shape(m, got);
                m += got;
                // Stopped short where a crossfade begins: on from there.
                if (!ended && got == want && m < Bytes) continue;
            }
            if (m > 0) FProducedSound = true;
            if (!ended) return m;
            FSourceDone = true;
            // A damaged file can end in half a frame; the next input's first
            // sample must start a frame, or every sample after it is torn.
            m -= m % frame;
            // The incoming side ended inside its own overlap (a length that
            // lied): the outgoing one ends with it.
            if (FOverlapLength > 0) EndCrossfade(FDevice.WrittenTotal + static_cast<uint64_t>(m));
            if (Input()->Delivered() <= 0) {
                // An input that gave nothing at all: a list of empty files
                // would be chained round for ever without a sound. The run
                // ends here, and the list goes on (or stops) as runs do.
                FInputEnded = true;
                return m;
            }
        }
        ChainAskIfNear(0, true);
        // A track shorter than what a fill takes ends before the answer for
        // it could come: give the main thread a moment rather than let the
        // ring run short (or end the run) while it answers.
        switch (ChainAwaitAnswer(std::chrono::milliseconds(50))) {
            case TChainAnswer::caWaiting:
                return m;  // the caller waits for the answer while the ring plays
            case TChainAnswer::caNone:
                FInputEnded = true;
                return m;
            case TChainAnswer::caInput:
                break;
        }
        TAuInput* next =
            ChainReady(static_cast<uint32_t>(FOutChannels), static_cast<uint32_t>(FOutRate),
                       static_cast<uint32_t>(FOutBits));
        if (next == nullptr) {
            // Another format ends the run here; one passed over (unreadable,
            // empty) waits for the answer naming the one after it.
            if (ChainAnswer() == TChainAnswer::caNone) FInputEnded = true;
            return m;
        }
        const uint64_t boundary = FDevice.WrittenTotal + static_cast<uint64_t>(m);
        next = ChainHandOver(boundary);
        if (next == nullptr) {
            FInputEnded = true;
            return m;
        }
        FBoundaries.push_back(boundary);
        ScheduleInputGain(boundary);
        FSeekSeen = next->SeekCount();
        FSourceDone = false;
    }
}

bool TDXAudioOut::WaitForRoom(uint32_t& Room) {
    const uint64_t queued = FDevice.WrittenTotal - FDevice.PlayedTotal;
    // A source fed from outside that holds little is topped up often, so
    // its sound reaches the ring as it comes.
    const bool thin =
        Input()->BufferedBytes() >= 0 && queued < static_cast<uint64_t>(BytesPerSecond());
    const uint32_t wait =
        thin ? std::min<uint32_t>(kThinPollMs, FPollingInterval.load()) : FPollingInterval.load();
    for (int32_t tries = 0;;) {
        FSystem->Sleep(wait);
        Room = 0;  // a failed query leaves it: no room
        if (TakeRetraction()) {
            QueryFreeSpace(FDevice, Room);
        } else if (DropIfSeeked()) {
            // Everything but what the device holds (and the old sound kept
            // to fade out) is free now; a query could not tell an emptied
            // ring from a full one.
            Room = FDevice.RingBytes -
                   static_cast<uint32_t>(FDevice.WrittenTotal - FDevice.PlayedTotal);
        } else {
            QueryFreeSpace(FDevice, Room);
        }
        TakeGainSetting();
        Room -= Room % FDevice.FrameBytes;
        ++tries;
        if (tries > 16) {
            SetLastError("Audio output error", TFault::Device);
            PostNotify(OnThreadException());
            return false;
        }
        if (Room != 0) return true;
    }
}

bool TDXAudioOut::DropIfSeeked() {
    TAuInput* input = Input();
    const uint32_t seeks = input->SeekCount();
    if (seeks == FSeekSeen) return false;
    FSeekSeen = seeks;
    // With fades, half the fade's length of the old sound stays, to fade out,
    // and the new sound starts as long before the place sought, to fade in:
    // from that place on it plays exactly as it is.
    const TCrossfadeSettings xfade = FDsp.Crossfade().Current();
    const uint32_t half =
        PauseRequested() || !xfade.Fades ? 0 : FadeBytes(std::max<uint32_t>(1, xfade.FadeMs / 2));
    if (DropQueued(FDevice, half) != DS_OK) return false;
    NoteQueued();
    uint32_t preroll = 0;
    if (const int64_t frame = FDevice.FrameBytes; half > 0 && frame > 0) {
        const int64_t at = input->Delivered() / frame;
        const int64_t back = std::min<int64_t>(at, half / frame);
        if (back > 0 && input->GoToSample(at - back)) preroll = static_cast<uint32_t>(back * frame);
        FSeekSeen = input->SeekCount();  // our own move is no new seek
    }
    if (FOverlapLength > 0) {
        // The sound after a seek is the new track's alone.
        FOverlapLength = 0;
        EndFadingOut();
    }
    // A track change in the sound just dropped is heard now: the seek was
    // made in the new track.
    while (!FBoundaries.empty() && FBoundaries.back() > FDevice.WrittenTotal) {
        FBoundaries.pop_back();
        ChainHeard();
    }
    // What follows is the current input's, whichever input the dropped sound
    // was.
    ScheduleGain(FDevice, FDevice.WrittenTotal, FInputGain);
    TellPeak();
    if (half > 0) {
        const uint64_t kept = FDevice.WrittenTotal - (FDevice.PlayedTotal + FDevice.LastBusy);
        if (kept > 0)
            ScheduleFade(FDevice, FDevice.WrittenTotal - kept, 0.0, static_cast<uint32_t>(kept));
        // Without a run-up (the track's start) the new sound starts as it is.
        ScheduleFade(FDevice, FDevice.WrittenTotal, 1.0, preroll, 0.0);
    }
    FSourceDone = false;  // the source reads on from its new position
    return true;
}

bool TDXAudioOut::TakeRetraction() {
    if (!RetractionWanted()) return false;
    uint32_t room = 0;
    if (QueryFreeSpace(FDevice, room) != DS_OK) return false;
    PostHeardChanges();
    // Hand-overs whose first sample the device has taken stay: they are as
    // good as heard.
    size_t keep = 0;
    const uint64_t taken = FDevice.PlayedTotal + FDevice.LastBusy;
    // So do crossfaded ones: the input before such a boundary was read on
    // past it for the overlap, so its end cannot be joined to anew.
    while (keep < FBoundaries.size() &&
           (FBoundaries[keep] < taken || FBoundaries[keep] <= FCrossfadeBoundary))
        ++keep;
    bool cut = false;
    while (keep < FBoundaries.size() && ChainEndedKnown(keep)) {
        // The device may take more between the query and the cut.
        if (CutQueued(FDevice, FBoundaries[keep], FSilence) == DS_OK) {
            cut = true;
            break;
        }
        ++keep;
    }
    if (!cut) keep = FBoundaries.size();  // only the queued input goes
    // The ring is cut before the chain is: a failed cut leaves both whole.
    if (!ChainRetract(keep) || !cut) return false;
    const uint64_t at = FBoundaries[keep];
    FBoundaries.resize(keep);
    FSourceDone = true;
    FInputEnded = false;
    FDataEnd = 0;
    FFeeding = true;
    FAnswerDue = true;
    FSeekSeen = Input()->SeekCount();
    FInputGain = CurrentInputFactor();
    ScheduleGain(FDevice, at, FInputGain);
    NoteQueued();
    return true;
}

void TDXAudioOut::PostHeardChanges() {
    while (!FBoundaries.empty() && FDevice.PlayedTotal >= FBoundaries.front()) {
        FBoundaries.pop_front();
        ChainHeard();
    }
}

void TDXAudioOut::MarkDataEnd() {
    FDataEnd = FDevice.WrittenTotal;
    FillFreeSpace(FDevice, FSilence);
}

bool TDXAudioOut::Drain() {
    FFeeding = false;
    // The drain ends once the last sample has been taken and the device has
    // played out what it holds (one step at least); the ring's length in
    // whole seconds, rounded up, and that, bound it when the device stops
    // taking sound.
    const int64_t held = std::max<int64_t>(
        100, FDevice.OutBuffer ? int64_t{FDevice.OutBuffer->HeldMs()} : int64_t{0});
    double seconds = static_cast<double>(FTransferSize) / static_cast<double>(BytesPerSecond());
    auto wait = static_cast<int64_t>(std::ceil(seconds)) * 1000 + held;
    bool played = false;
    int64_t since = 0;  // ms since the last sample was taken
    // Silence must be written ahead of the device faster than it goes round
    // a small ring, or it plays the ring's old sound again.
    const int64_t ringMs =
        int64_t{FDevice.RingBytes} * 1000 / std::max<int64_t>(BytesPerSecond(), 1);
    const int64_t step = std::clamp<int64_t>(ringMs / 4, 5, 100);
    // A stop ends the drain at once: a waiting Stop (every Play and Next)
    // would otherwise hold the window for up to the whole wait; a pause is
    // answered at once too, while the end plays out.
    for (int64_t elapsed = 0; elapsed < wait && !StopRequested(); elapsed += step) {
        AcknowledgePause();
        FSystem->Sleep(static_cast<uint32_t>(step));
        // The last input handed over may be taken back while it plays out:
        // the run feeds again from the input before it.
        if (TakeRetraction()) return true;
        FillFreeSpace(FDevice, FSilence);
        NoteQueued();
        PostHeardChanges();
        if (played && (since += step) >= held) break;
        played = played || FDevice.PlayedTotal >= FDataEnd;
    }
    HaltPlayback(FDevice);
    return false;
}

bool TDXAudioOut::OutputBlock(bool Abort) {
    if (!Active()) return true;
    if (!FFeeding) return false;
    if (FParked && !Abort && !Unpark()) return false;

    if (FFirstFill) {
        int32_t m = Fill(FTransferSize);
        WriteData(FDevice, FTransfer.data(), static_cast<uint32_t>(m));
        if (FInputEnded) MarkDataEnd();
        BeginPlayback(FDevice);
        NoteQueued();
        FFirstFill = false;
    }

    if (Abort) {
        HaltPlayback(FDevice);
        FFeeding = false;
        return false;
    }

    if (FInputEnded) return Drain();
    if (DeviceMoveWanted()) return MoveDevice();

    // The next input, once named, is opened now, long before it is needed.
    if (ChainAnswer() == TChainAnswer::caInput)
        ChainReady(static_cast<uint32_t>(FOutChannels), static_cast<uint32_t>(FOutRate),
                   static_cast<uint32_t>(FOutBits));

    uint32_t room = 0;
    if (!WaitForRoom(room)) return false;

    uint32_t n = std::min(room, static_cast<uint32_t>(FTransferSize));
    FTakeAll = FDevice.WrittenTotal - FDevice.PlayedTotal <
               static_cast<uint64_t>(BytesPerSecond() * kLowSoundMs / 1000);
    int32_t m = Fill(static_cast<int32_t>(n));
    FTakeAll = false;
    WriteData(FDevice, FTransfer.data(), static_cast<uint32_t>(m));
    if (!FSourceDone) FAnswerDue = false;
    if (!FInputEnded && FSourceDone && !FAnswerDue) {
        // Still no answer about the next input: wait while the ring plays, but
        // end the run before it runs dry rather than play stale sound. (After
        // a retraction the answer is on its way, and the ring was silenced
        // beyond its end: waiting costs no stale sound.)
        const uint64_t queued = FDevice.WrittenTotal - FDevice.PlayedTotal;
        const uint64_t margin = static_cast<uint64_t>(
            std::min<int64_t>(FTransferSize / 2, BytesPerSecond() * 3 * FPollingInterval / 1000));
        if (queued <= margin) FInputEnded = true;
    }
    if (FInputEnded) MarkDataEnd();
    NoteQueued();
    PostHeardChanges();

    if (FDevice.Underflows == FUnderrunsSeen) return true;
    FUnderrunsSeen = FDevice.Underflows;
    HaltPlayback(FDevice);
    FillFreeSpace(FDevice, FSilence);
    PostNotify(UnderrunHandler());
    ResumePlayback(FDevice);
    return true;
}

void TDXAudioOut::ReleaseOutput() {
    if (!FReleased) {
        {
            std::lock_guard<std::mutex> g(FRingLock);
            TermWrapper(FDevice);
        }
        FTransfer.clear();
        FTransfer.shrink_to_fit();
    }
    if (TAuInput* input = Input()) input->EndRead();
    ChainRelease();
    FBoundaries.clear();
    FOverlapLength = 0;
    FRingBytesPerSecond = 0;
    FReleased = true;
}

void TDXAudioOut::Pause() {
    // The end of the data still drains on: nothing to fade there.
    if (!PauseRequested() && !FInputEnded) FadeOut();
    TAuOutput::Pause();
    if (!FInputEnded) {
        std::lock_guard<std::mutex> g(FRingLock);
        HaltPlayback(FDevice);
    }
}

void TDXAudioOut::Resume() {
    // Once the source has ended the ring was never halted; the worker still
    // holds, and must go on to drain and end the run.
    if (!FInputEnded) {
        std::lock_guard<std::mutex> g(FRingLock);
        if (const uint32_t ms = FDsp.Crossfade().FadeMs(); ms > 0 && PauseRequested())
            ScheduleFade(FDevice, 0, 1.0, FadeBytes(ms), 0.0);
        ResumePlayback(FDevice);
    }
    TAuOutput::Resume();
}

void TDXAudioOut::SetReplayGain(const TReplayGainSetting& Value) {
    FGainMode = Value.Mode;
    FPreampDb = Value.PreampDb;
    ++FGainSettings;
}

void TDXAudioOut::TakeGainSetting() {
    const uint32_t settings = FGainSettings.load();
    if (settings == FGainSettingsSeen) return TakeRefreshedGain();
    FGainSettingsSeen = settings;
    if (FOverlapLength > 0) {
        FInputGain = CurrentInputFactor();  // the overlap's end schedules it
        return;
    }
    ScheduleInputGain(FDevice.WrittenTotal);
}

void TDXAudioOut::SetInputGainProvider(TInputGainProvider Provider) {
    std::lock_guard<std::mutex> g(FHandlerLock);
    FGainProvider = std::move(Provider);
}

uint32_t TDXAudioOut::FadeBytes(uint32_t Ms) const {
    const int64_t perSecond = FRingBytesPerSecond.load();
    const uint32_t frame = FRingFrameBytes.load();
    if (perSecond <= 0 || frame == 0) return 0;
    const int64_t bytes = perSecond * Ms / 1000;
    return static_cast<uint32_t>(bytes - bytes % frame);
}

void TDXAudioOut::FadeOut() {
    using namespace std::chrono_literals;
    const uint32_t ms = FDsp.Crossfade().FadeMs();
    if (ms == 0 || !Active() || PauseRequested()) return;
    {
        std::lock_guard<std::mutex> g(FRingLock);
        if (!FDevice.OutBuffer || !FDevice.Running) return;
        if (ScheduleFade(FDevice, 0, 0.0, FadeBytes(ms)) != DS_OK) return;
    }
    // A device that stalls must not hold the caller: a moment more than the
    // fade and the device's own buffer at most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms) + 250ms;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> g(FRingLock);
            if (!FDevice.OutBuffer || FDevice.OutBuffer->FadeTaken()) return;
        }
        std::this_thread::sleep_for(2ms);
    }
}

void TDXAudioOut::TellPeak() {
    // Over a crossfade the mix's peak is not known: full scale.
    FDsp.Equalizer().SetPeak(FOverlapLength > 0 ? EqualizerPeak(1.0, FMixGain)
                                                : EqualizerPeak(FInputPeak, FInputGain));
}

void TDXAudioOut::Shape(int32_t At, int32_t Bytes) {
    const auto frame = static_cast<int32_t>(FDevice.FrameBytes);
    uint8_t* block = FTransfer.data() + At;
    int64_t frames = Bytes / frame;
    if (FOverlapLength > 0 && frames > 0) {
        const int64_t n = std::min(frames, FOverlapLength - FOverlapAt);
        const auto bytes = static_cast<int32_t>(n * frame);
        FMix.resize(static_cast<size_t>(bytes));
        int32_t got = 0;
        if (TAuInput* outgoing = FadingOut()) {
            try {
                bool ended = false;
                got = outgoing->FillBuffer(FMix.data(), bytes, ended);
            } catch (const std::exception&) {
                // The outgoing side failed: its last seconds are silence.
            }
        }
        std::fill(FMix.begin() + got, FMix.end(), FSilence);
        const double mix = FMixGain > 0 ? FMixGain : 1.0;
        FDsp.Crossfade().Mix(block, FMix.data(), static_cast<size_t>(n),
                             static_cast<uint32_t>(FOutChannels), static_cast<uint32_t>(FOutBits),
                             FOverlapAt, FOverlapLength, FOutGain / mix, FInputGain / mix);
        FOverlapAt += n;
        if (FOverlapAt >= FOverlapLength)
            EndCrossfade(FDevice.WrittenTotal + static_cast<uint64_t>(At + bytes));
    }
    FDsp.Process(block, static_cast<size_t>(frames * frame));
}

int64_t TDXAudioOut::BytesBeforeCrossfade() {
    FHoldForAnswer = false;
    const uint32_t seconds = FDsp.Crossfade().Current().Seconds;
    if (FOverlapLength > 0 || seconds == 0) return -1;
    TAuInput* in = Input();
    const int64_t frame = FDevice.FrameBytes;
    if (ChainAnswer() == TChainAnswer::caWaiting) {
        // Not answered yet (the first fill of a run reads a short track
        // whole): reading stops where the longest crossfade could begin.
        const int64_t size = in->DataSize();
        if (size <= 0 || in->SizeIsEstimate()) return -1;
        const int64_t longest = std::min<int64_t>(int64_t{seconds} * FOutRate, size / frame / 2);
        const int64_t left = std::max<int64_t>(0, size - in->Delivered()) / frame;
        FHoldForAnswer = true;
        FPlannedOverlap = 0;
        return std::max<int64_t>(0, left - longest) * frame;
    }
    if (FCrossfadeInto.load() == nullptr || ChainAnswer() != TChainAnswer::caInput) return -1;
    const TAuInput* marked = FCrossfadeInto.load();
    if (marked == nullptr || QueuedNext() != marked) return -1;
    const int64_t size = in->DataSize();
    if (size <= 0 || in->SizeIsEstimate()) return -1;
    TAuInput* next = ChainReady(static_cast<uint32_t>(FOutChannels),
                                static_cast<uint32_t>(FOutRate), static_cast<uint32_t>(FOutBits));
    if (next == nullptr || next != marked || next->SizeIsEstimate()) return -1;
    const int64_t overlap = FDsp.Crossfade().Overlap(size / frame, next->DataSize() / frame,
                                                     static_cast<uint32_t>(FOutRate)) *
                            frame;
    if (overlap <= 0) return -1;
    const int64_t left = std::max<int64_t>(0, size - in->Delivered());
    FPlannedOverlap = std::min(overlap, left) / frame;
    const int64_t before = left - FPlannedOverlap * frame;
    return before - before % frame;
}

bool TDXAudioOut::StartCrossfade(int32_t At) {
    if (FPlannedOverlap <= 0) return false;
    const uint64_t boundary = FDevice.WrittenTotal + static_cast<uint64_t>(At);
    TAuInput* next = ChainHandOver(boundary, true);
    if (next == nullptr) return false;
    FBoundaries.push_back(boundary);
    FCrossfadeBoundary = boundary;
    FOutGain = FInputGain;
    FInputGain = CurrentInputFactor();
    FMixGain = std::max(FOutGain, FInputGain);
    ScheduleGain(FDevice, boundary, FMixGain);
    FOverlapAt = 0;
    FOverlapLength = FPlannedOverlap;
    FPlannedOverlap = 0;
    FSeekSeen = next->SeekCount();
    FSourceDone = false;
    TellPeak();
    return true;
}

void TDXAudioOut::EndCrossfade(uint64_t End) {
    FOverlapLength = 0;
    FMixEnd = End;
    EndFadingOut();
    ScheduleGain(FDevice, End, FInputGain);
    TellPeak();
}

double TDXAudioOut::CurrentInputFactor() {
    FGainRefreshesSeen = FGainRefreshes.load();
    const TReplayGainSetting setting = ReplayGain();
    TReplayGain tags;
    TInputGainInfo known;
    try {
        tags = Input()->ReplayGain();
    } catch (const std::exception&) {
        // An input that cannot tell plays as it is.
    }
    TInputGainProvider provider;
    if (setting.Mode != TReplayGainMode::Off) {
        std::lock_guard<std::mutex> g(FHandlerLock);
        provider = FGainProvider;
    }
    try {
        if (provider) known = provider(*Input());
    } catch (const std::exception&) {
        known = {};
    }
    const TReplayGain& used = tags.Track || tags.Album ? tags : known.Measured;
    FInputPeak = TagPeak(used);
    return InputGainFactor(tags, known, setting);
}

void TDXAudioOut::TakeRefreshedGain() {
    if (FGainRefreshes.load() == FGainRefreshesSeen) return;
    const double factor = CurrentInputFactor();
    if (factor == FInputGain) return;
    FInputGain = factor;
    // Over a crossfade the mix takes it; the overlap's end schedules it.
    if (FOverlapLength > 0) return;
    TellPeak();
    // Not heard yet: the whole input gets it, as a tag's gain would (past
    // the overlap a crossfade mixed it in, which keeps its own gain).
    if (!FBoundaries.empty()) {
        ScheduleGain(FDevice, std::max(FBoundaries.back(), FMixEnd), factor);
        return;
    }
    // Heard already: from what the device takes next (a position behind it
    // counts from there), ramped so the change does not click.
    const uint64_t frame = FDevice.FrameBytes;
    const uint64_t ramp = BytesPerSecond() * kGainRampMs / 1000 / frame * frame;
    ScheduleGain(FDevice, std::max(FDevice.PlayedTotal, FMixEnd), factor,
                 static_cast<uint32_t>(ramp));
}

TReplayGainSetting TDXAudioOut::ReplayGain() const {
    return {FGainMode.load(), FPreampDb.load()};
}

void TDXAudioOut::ScheduleInputGain(uint64_t From) {
    FInputGain = CurrentInputFactor();
    ScheduleGain(FDevice, From, FInputGain);
    TellPeak();
}

void TDXAudioOut::SetVolume(int32_t Value) {
    FVolume = Value;
    std::lock_guard<std::mutex> g(FRingLock);
    SetBufferVolume(FDevice, Value);
}

}  // namespace quillet
