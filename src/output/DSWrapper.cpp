#include "DSWrapper.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ACS_Types.h"

namespace quillet {

namespace {

// Locks Bytes at WritePos, lets Fill write both regions, advances WritePos.
template <class FillFn>
TDSResult WriteRegions(DSoundWrapper& DS, uint32_t Bytes, FillFn Fill) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    TDSResult hr = DS.OutBuffer->Lock(DS.WritePos, Bytes, &p1, &n1, &p2, &n2);
    if (hr != DS_OK) return hr;
    Fill(p1, n1, p2, n2);
    DS.WritePos = static_cast<uint32_t>((uint64_t{DS.WritePos} + n1 + n2) % DS.RingBytes);
    DS.WrittenTotal += uint64_t{n1} + n2;
    DS.OutBuffer->Unlock(p1, n1, p2, n2);
    return DS_OK;
}

}  // namespace

TDSResult InitWrapper(DSoundWrapper& DS, SoundSystem& System) {
    DS.OutBuffer.reset();
    DS.DSObject.reset();
    DS.System = &System;
    DS.WritePos = 0;
    DS.RingBytes = 0;
    DS.FrameBytes = 0;
    DS.TicksPerRing = 0;
    DS.LastTick = 0;
    DS.LastPlayPos = 0;
    DS.Underflows = 0;
    DS.Running = false;
    DS.ClockStale = false;
    DS.WrittenTotal = DS.PlayedTotal = 0;
    DS.LastCursor = DS.LastWrite = DS.LastBusy = 0;
    DS.ExactCursor = false;
    return DS_OK;
}

void TermWrapper(DSoundWrapper& DS) {
    if (DS.OutBuffer) {
        DS.OutBuffer->Stop();
        DS.Running = false;
        DS.OutBuffer.reset();
    }
    DS.DSObject.reset();
}

TDSResult OpenDevice(DSoundWrapper& DS, const TDeviceGuid& Guid) {
    if (!DS.System) return DSERR_NODRIVER;
    return DS.System->Open(Guid, DS.DSObject);
}

TDSResult CreateBuffers(DSoundWrapper& DS, const TWaveFormat& Format, uint32_t Bytes) {
    DS.RingBytes = Bytes;
    DS.Running = false;
    DS.Underflows = 0;
    DS.FrameBytes = Format.BlockAlign;
    if (!DS.DSObject) return DSERR_INVALIDCALL;
    // The ring arithmetic divides by these; no device could play such a format.
    if (Format.BlockAlign == 0 || Format.SamplesPerSec == 0) return DSERR_BADFORMAT;
    if (Bytes == 0) return DSERR_INVALIDPARAM;

    std::unique_ptr<SoundRing> ring;
    TDSResult hr = DS.DSObject->CreateRing(Format, Bytes, ring);
    if (hr != DS_OK) return hr;
    DS.OutBuffer = std::move(ring);
    DS.ExactCursor = DS.OutBuffer->CursorIsExact();

    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    hr = DS.OutBuffer->Lock(0, Bytes, &p1, &n1, &p2, &n2);
    if (hr != DS_OK) return hr;
    if (p1) std::memset(p1, 0, n1);
    if (p2) std::memset(p2, 0, n2);
    DS.OutBuffer->Unlock(p1, n1, p2, n2);

    int64_t freq = DS.System->CounterFrequency();
    DS.TicksPerRing =
        freq > 0 ? freq * int64_t{Bytes / DS.FrameBytes} / int64_t{Format.SamplesPerSec} : 0;

    uint32_t play = 0;
    uint32_t write = 0;
    hr = DS.OutBuffer->GetCurrentPosition(&play, &write);
    if (hr != DS_OK) return hr;
    DS.WritePos = write % Bytes;
    DS.WrittenTotal = DS.WritePos;
    DS.PlayedTotal = 0;
    DS.LastCursor = 0;
    return DS_OK;
}

TDSResult BeginPlayback(DSoundWrapper& DS) {
    DS.LastTick = DS.System ? DS.System->Counter() : 0;
    DS.LastPlayPos = 0;
    DS.LastCursor = 0;
    DS.PlayedTotal = 0;
    DS.ClockStale = false;
    if (!DS.OutBuffer) return DS_OK;
    TDSResult hr = DS.OutBuffer->SetCurrentPosition(0);
    if (hr != DS_OK) return hr;
    hr = DS.OutBuffer->Play();
    if (hr != DS_OK) return hr;
    DS.Running = true;
    return DS_OK;
}

TDSResult HaltPlayback(DSoundWrapper& DS) {
    if (!DS.OutBuffer) return DS_OK;
    DS.Running = false;
    return DS.OutBuffer->Stop();
}

TDSResult ResumePlayback(DSoundWrapper& DS) {
    if (!DS.OutBuffer) return -1;
    TDSResult hr = DS.OutBuffer->Play();
    if (hr == DS_OK) {
        // The time spent halted is no lap of the ring: the next query restarts
        // the lap clock instead of counting the pause as unseen laps.
        DS.ClockStale = true;
        DS.Running = true;
    }
    return hr;
}

TDSResult QueryFreeSpace(DSoundWrapper& DS, uint32_t& Bytes) {
    if (!DS.OutBuffer || DS.RingBytes == 0) return DSERR_INVALIDCALL;
    uint32_t play = 0;
    uint32_t write = 0;
    TDSResult hr = DS.OutBuffer->GetCurrentPosition(&play, &write);
    if (hr != DS_OK) return hr;
    const int64_t ring = DS.RingBytes;
    int64_t p = play % DS.RingBytes;
    int64_t w = write % DS.RingBytes;

    int64_t busy = w - p;
    if (busy < 0) busy += ring;
    int64_t moved = p - int64_t{DS.LastCursor};
    if (moved < 0) moved += ring;
    DS.LastCursor = static_cast<uint32_t>(p);
    DS.LastWrite = static_cast<uint32_t>(w);
    DS.LastBusy = static_cast<uint32_t>(busy);
    DS.PlayedTotal += static_cast<uint64_t>(moved);

    if (DS.ExactCursor) {
        // What is queued is what was written and not yet played; the device
        // taking bytes that were never written is the underflow.
        const uint64_t taken = DS.PlayedTotal + static_cast<uint64_t>(busy);
        if (DS.WrittenTotal < taken) {
            if (DS.Running) ++DS.Underflows;
            DS.WritePos = static_cast<uint32_t>(w);
            DS.WrittenTotal = taken;
        }
        Bytes =
            static_cast<uint32_t>(ring - static_cast<int64_t>(DS.WrittenTotal - DS.PlayedTotal));
        return DS_OK;
    }

    if (DS.Running && DS.TicksPerRing != 0) {
        int64_t now = DS.System->Counter();
        if (DS.ClockStale.exchange(false)) {
            DS.LastTick = now;
            DS.LastPlayPos = static_cast<uint32_t>(p);
        } else {
            int64_t elapsed = now - DS.LastTick;
            DS.LastTick = now;
            int64_t moved = p - int64_t{DS.LastPlayPos};
            if (moved < 0) moved += ring;
            DS.LastPlayPos = static_cast<uint32_t>(p);
            // A long stall must still read as many laps, never wrap to a
            // small or negative count.
            __int128 wide = static_cast<__int128>(elapsed) * ring / DS.TicksPerRing;
            int64_t expected = static_cast<int64_t>(std::clamp<__int128>(
                wide, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
            int64_t laps = (expected - moved) / ring;
            if (laps > 0) {
                p += laps * ring;
                DS.PlayedTotal += static_cast<uint64_t>(laps * ring);
            }
        }
    }

    int64_t freeBytes = p - int64_t{DS.WritePos};
    if (freeBytes < 0) freeBytes += ring;
    if (freeBytes > ring - busy) {
        if (DS.Running) ++DS.Underflows;
        DS.WritePos = static_cast<uint32_t>(w);
        DS.WrittenTotal = DS.PlayedTotal + static_cast<uint64_t>(busy);
        freeBytes = ring - busy;
    }
    Bytes = static_cast<uint32_t>(freeBytes);
    return DS_OK;
}

TDSResult FillFreeSpace(DSoundWrapper& DS, uint8_t Value) {
    uint32_t freeBytes = 0;
    TDSResult hr = QueryFreeSpace(DS, freeBytes);
    if (hr != DS_OK) return hr;
    if (freeBytes == 0) return DS_OK;
    return WriteRegions(DS, freeBytes, [Value](void* p1, uint32_t n1, void* p2, uint32_t n2) {
        if (p1) std::memset(p1, Value, n1);
        if (p2) std::memset(p2, Value, n2);
    });
}

TDSResult DropQueued(DSoundWrapper& DS, uint32_t KeepBytes) {
    uint32_t freeBytes = 0;
    TDSResult hr = QueryFreeSpace(DS, freeBytes);
    if (hr != DS_OK) return hr;
    const uint64_t taken = DS.PlayedTotal + DS.LastBusy;
    uint64_t keep =
        DS.WrittenTotal > taken ? std::min<uint64_t>(KeepBytes, DS.WrittenTotal - taken) : 0;
    if (DS.FrameBytes > 0) keep -= keep % DS.FrameBytes;
    DS.WritePos = static_cast<uint32_t>((uint64_t{DS.LastWrite} + keep) % DS.RingBytes);
    DS.WrittenTotal = taken + keep;
    return DS_OK;
}

TDSResult CutQueued(DSoundWrapper& DS, uint64_t At, uint8_t Value) {
    uint32_t freeBytes = 0;
    TDSResult hr = QueryFreeSpace(DS, freeBytes);
    if (hr != DS_OK) return hr;
    if (At < DS.PlayedTotal + DS.LastBusy || At > DS.WrittenTotal) return DSERR_INVALIDCALL;
    const uint64_t cut = DS.WrittenTotal - At;  // at most a ring: never more is queued
    DS.WritePos = static_cast<uint32_t>(
        (uint64_t{DS.WritePos} + DS.RingBytes - cut % DS.RingBytes) % DS.RingBytes);
    DS.WrittenTotal = At;
    if (cut == 0) return DS_OK;
    const uint32_t pos = DS.WritePos;
    hr = WriteRegions(DS, static_cast<uint32_t>(cut),
                      [Value](void* p1, uint32_t n1, void* p2, uint32_t n2) {
                          if (p1) std::memset(p1, Value, n1);
                          if (p2) std::memset(p2, Value, n2);
                      });
    DS.WritePos = pos;
    DS.WrittenTotal = At;
    return hr;
}

TDSResult WriteData(DSoundWrapper& DS, const void* Buffer, uint32_t Bytes) {
    if (!DS.OutBuffer || DS.RingBytes == 0) return DSERR_INVALIDCALL;
    if (Bytes == 0) return DS_OK;
    const auto* src = static_cast<const uint8_t*>(Buffer);
    return WriteRegions(DS, Bytes, [src](void* p1, uint32_t n1, void* p2, uint32_t n2) {
        if (p1) std::memcpy(p1, src, n1);
        if (p2) std::memcpy(p2, src + n1, n2);
    });
}

TDSResult ListDevices(SoundSystem& System, TOutputDeviceList& List) {
    List.Count = 0;
    return System.Enumerate([&List](const TDeviceGuid& Id, const std::string& Name) {
        if (List.Count > MaxOutputDevices - 1) return false;
        TOutputDeviceEntry& e = List.Items[List.Count];
        e.Guid = Id;
        size_t n = std::min<size_t>(Name.size(), sizeof(e.Name) - 1);
        // Names are UTF-8: never end on half a character.
        if (n < Name.size())
            while (n > 0 && (static_cast<uint8_t>(Name[n]) & 0xC0) == 0x80) --n;
        std::memcpy(e.Name, Name.data(), n);
        e.Name[n] = '\0';
        ++List.Count;
        return true;
    });
}

TDSResult SetBufferVolume(DSoundWrapper& DS, int32_t Value) {
    if (!DS.OutBuffer) return DS_OK;
    TDSResult hr = DS.OutBuffer->SetVolume(Value);
    if (hr == DSERR_CONTROLUNAVAIL) throw Exception("Control not available");
    return hr;
}

TDSResult ScheduleGain(DSoundWrapper& DS, uint64_t From, double Gain, uint32_t RampBytes) {
    if (!DS.OutBuffer) return DS_OK;
    return DS.OutBuffer->SetGainFrom(From, Gain, RampBytes);
}

TDSResult ScheduleFade(DSoundWrapper& DS, uint64_t From, double Gain, uint32_t RampBytes,
                       double StartGain) {
    if (!DS.OutBuffer) return DS_OK;
    return DS.OutBuffer->SetFadeFrom(From, Gain, RampBytes, StartGain);
}

}  // namespace quillet
