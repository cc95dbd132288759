// The ring arithmetic of the device layer, on the simulated device: free
// space, underflows (also unseen laps), two-region writes, enumeration and
// volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ACS_Types.h"
#include "DSWrapper.h"
#include "simulated_device.h"

using namespace quillet;

namespace {

constexpr uint32_t kRing = 262144;  // 65536 frames of 16-bit stereo

TWaveFormat Pcm16Stereo(uint32_t rate = 44100) {
    TWaveFormat f;
    f.Channels = 2;
    f.SamplesPerSec = rate;
    f.BitsPerSample = 16;
    f.BlockAlign = 4;
    f.AvgBytesPerSec = 4 * rate;
    return f;
}

class Wrapper : public ::testing::Test {
  protected:
    void Open(uint32_t rate = 44100) {
        ASSERT_EQ(InitWrapper(ds, sys), DS_OK);
        ASSERT_EQ(OpenDevice(ds, TDeviceGuid{}), DS_OK);
        ASSERT_EQ(CreateBuffers(ds, Pcm16Stereo(rate), kRing), DS_OK);
        ring = sys.Ring();
    }
    void Play() { ASSERT_EQ(BeginPlayback(ds), DS_OK); }
    SimulatedSoundSystem sys;
    DSoundWrapper ds;
    std::shared_ptr<SimulatedRingState> ring;
};

TEST_F(Wrapper, CreateBuffersZeroFillsAndTakesTheWriteCursor) {
    sys.SetWriteLead(4000);
    sys.SetFrequency(10000000);
    Open();
    EXPECT_EQ(ds.RingBytes, kRing);
    EXPECT_EQ(ds.FrameBytes, 4u);
    EXPECT_EQ(ds.WritePos, 4000u);
    EXPECT_EQ(ds.TicksPerRing, int64_t{10000000} * 65536 / 44100);
    EXPECT_FALSE(ds.Running);
    EXPECT_EQ(std::count(ring->Memory.begin(), ring->Memory.end(), 0), kRing);
    sys.SetFrequency(0);
    Open();
    EXPECT_EQ(ds.TicksPerRing, 0);
}

TEST_F(Wrapper, CreateBuffersRefusesWhatTheArithmeticCannotUse) {
    ASSERT_EQ(InitWrapper(ds, sys), DS_OK);
    EXPECT_EQ(CreateBuffers(ds, Pcm16Stereo(), kRing), DSERR_INVALIDCALL);  // no device
    ASSERT_EQ(OpenDevice(ds, TDeviceGuid{}), DS_OK);
    TWaveFormat f = Pcm16Stereo();
    f.BlockAlign = 0;
    EXPECT_EQ(CreateBuffers(ds, f, kRing), DSERR_BADFORMAT);
    f = Pcm16Stereo(0);
    EXPECT_EQ(CreateBuffers(ds, f, kRing), DSERR_BADFORMAT);
    EXPECT_EQ(CreateBuffers(ds, Pcm16Stereo(), 0), DSERR_INVALIDPARAM);
    sys.SetCreateResult(DSERR_OUTOFMEMORY);
    EXPECT_EQ(CreateBuffers(ds, Pcm16Stereo(), kRing), DSERR_OUTOFMEMORY);
    EXPECT_FALSE(ds.OutBuffer);
    uint32_t bytes = 77;
    EXPECT_NE(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(bytes, 77u);
}

TEST_F(Wrapper, FreeSpaceAheadOfTheBusyRegion) {
    Open();
    Play();
    ring->SetCursors(1000, 5000);
    ds.WritePos = 5000;
    uint32_t bytes = 0;
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(bytes, 258144u);  // 1000 - 5000 + ring = ring - busy
    EXPECT_EQ(ds.Underflows, 0);
    EXPECT_EQ(ds.WritePos, 5000u);
}

TEST_F(Wrapper, WritePosInsideTheBusyRegionIsAnUnderflowOnlyWhileRunning) {
    Open();
    Play();
    ring->SetCursors(1000, 5000);
    ds.WritePos = 3000;
    uint32_t bytes = 0;
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(bytes, 258144u);
    EXPECT_EQ(ds.Underflows, 1);
    EXPECT_EQ(ds.WritePos, 5000u);

    ASSERT_EQ(HaltPlayback(ds), DS_OK);
    ds.WritePos = 3000;
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(bytes, 258144u);
    EXPECT_EQ(ds.Underflows, 1);  // resynchronised, not counted
    EXPECT_EQ(ds.WritePos, 5000u);
}

TEST_F(Wrapper, LapsSeenOnlyOnTheClockAreUnderflows) {
    sys.SetFrequency(1000000000);
    Open(65536);  // one pass of the ring = 1 s = 1e9 ticks
    ASSERT_EQ(ds.TicksPerRing, 1000000000);
    Play();
    // 2.5 s pass while the cursor moved only half a ring: laps = 2.
    sys.SetCounter(sys.Counter() + 2500000000);
    ring->SetCursors(kRing / 2, kRing / 2 + 4000);
    ds.WritePos = kRing / 2 + 60000;  // the cursors alone look fine
    uint32_t bytes = 0;
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(ds.Underflows, 1);
    EXPECT_EQ(ds.WritePos, kRing / 2 + 4000);
    EXPECT_EQ(bytes, kRing - 4000);
    EXPECT_EQ(ds.LastPlayPos, kRing / 2);

    // Without a clock the same situation goes unseen.
    sys.SetFrequency(0);
    Open(65536);
    Play();
    sys.SetCounter(sys.Counter() + 2500000000);
    ring->SetCursors(kRing / 2, kRing / 2 + 4000);
    ds.WritePos = kRing / 2 + 60000;
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(ds.Underflows, 0);
    EXPECT_EQ(bytes, kRing - 60000 + 0u);
}

TEST_F(Wrapper, HoursOfStallStillCountAsLaps) {
    Open(65536);
    Play();
    sys.SetCounter(sys.Counter() + int64_t{1000000000} * 3600 * 40);  // 40 h
    ring->SetCursors(8, 12);
    ds.WritePos = 5000;
    uint32_t bytes = 0;
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(ds.Underflows, 1);
}

TEST_F(Wrapper, TimeSpentHaltedIsNoLap) {
    Open(65536);
    Play();
    ring->SetCursors(1000, 1000);
    ds.WritePos = 100000;
    uint32_t bytes = 0;
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    ASSERT_EQ(HaltPlayback(ds), DS_OK);
    sys.SetCounter(sys.Counter() + 10000000000);  // paused for 10 s
    ASSERT_EQ(ResumePlayback(ds), DS_OK);
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(ds.Underflows, 0);
    EXPECT_EQ(ds.WritePos, 100000u);
    // The clock runs again from the resume: laps afterwards are seen.
    sys.SetCounter(sys.Counter() + 2500000000);
    ASSERT_EQ(QueryFreeSpace(ds, bytes), DS_OK);
    EXPECT_EQ(ds.Underflows, 1);
}

TEST_F(Wrapper, FailedCursorQueryLeavesTheCount) {
    Open();
    Play();
    ring->PositionResult = DSERR_GENERIC;
    uint32_t bytes = 1234;
    EXPECT_EQ(QueryFreeSpace(ds, bytes), DSERR_GENERIC);
    EXPECT_EQ(bytes, 1234u);
    EXPECT_EQ(FillFreeSpace(ds, 9), DSERR_GENERIC);
    EXPECT_EQ(ds.Underflows, 0);
}

TEST_F(Wrapper, WritesWrapInTwoRegions) {
    Open();
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + 1);
    ds.WritePos = kRing - 400;
    ASSERT_EQ(WriteData(ds, data.data(), 1000), DS_OK);
    EXPECT_EQ(ds.WritePos, 600u);
    EXPECT_EQ(0, std::memcmp(ring->Memory.data() + kRing - 400, data.data(), 400));
    EXPECT_EQ(0, std::memcmp(ring->Memory.data(), data.data() + 400, 600));
    EXPECT_EQ(ring->Memory[600], 0);

    ring->LockResult = DSERR_INVALIDCALL;
    EXPECT_EQ(WriteData(ds, data.data(), 10), DSERR_INVALIDCALL);
    EXPECT_EQ(ds.WritePos, 600u);
}

TEST_F(Wrapper, FillFreeSpaceFillsExactlyTheRoom) {
    Open();
    Play();
    ring->SetCursors(kRing - 100, kRing - 100);
    ds.WritePos = 300;
    ASSERT_EQ(FillFreeSpace(ds, 0x80), DS_OK);
    EXPECT_EQ(ds.WritePos, kRing - 100);
    EXPECT_EQ(std::count(ring->Memory.begin(), ring->Memory.end(), 0x80), kRing - 400);
    EXPECT_EQ(ring->Memory[299], 0);
    EXPECT_EQ(ring->Memory[kRing - 100], 0);
    // No room: nothing written.
    ASSERT_EQ(FillFreeSpace(ds, 0x11), DS_OK);
    EXPECT_EQ(std::count(ring->Memory.begin(), ring->Memory.end(), 0x11), 0);
}

TEST_F(Wrapper, PlaybackStartsFromTheTopAndHaltKeepsThePosition) {
    Open();
    ring->SetCursors(7000, 9000);
    EXPECT_EQ(ResumePlayback(ds), DS_OK);
    EXPECT_TRUE(ds.Running);
    EXPECT_EQ(ring->Play, 7000u);
    Play();
    EXPECT_EQ(ring->Play, 0u);
    EXPECT_TRUE(ring->Playing);
    EXPECT_TRUE(ds.Running);
    ASSERT_EQ(HaltPlayback(ds), DS_OK);
    EXPECT_FALSE(ds.Running);
    EXPECT_FALSE(ring->Playing);
    TermWrapper(ds);
    EXPECT_TRUE(ring->Released);
    EXPECT_EQ(HaltPlayback(ds), DS_OK);
    EXPECT_EQ(ResumePlayback(ds), -1);
    EXPECT_EQ(SetBufferVolume(ds, -500), DS_OK);
}

TEST_F(Wrapper, VolumeNeedsARingWithVolumeControl) {
    ASSERT_EQ(InitWrapper(ds, sys), DS_OK);
    EXPECT_EQ(SetBufferVolume(ds, -300), DS_OK);  // no ring yet: nothing
    Open();
    EXPECT_EQ(SetBufferVolume(ds, -300), DS_OK);
    EXPECT_EQ(ring->Volume, -300);
    sys.SetVolumeControl(false);
    Open();
    try {
        SetBufferVolume(ds, -300);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Control not available");
    }
}

TEST(ListDevices, KeepsSixteenDevicesAndCutsNames) {
    SimulatedSoundSystem sys;
    std::vector<std::pair<TDeviceGuid, std::string>> devices;
    devices.push_back({TDeviceGuid{}, std::string(200, 'x')});
    for (int i = 1; i < 20; ++i) {
        TDeviceGuid g{};
        g[0] = static_cast<uint8_t>(i);
        devices.push_back({g, "dev" + std::to_string(i)});
    }
    sys.SetDevices(devices);
    TOutputDeviceList list;
    ASSERT_EQ(ListDevices(sys, list), DS_OK);
    ASSERT_EQ(list.Count, 16);
    EXPECT_EQ(std::string(list.Items[0].Name), std::string(127, 'x'));
    EXPECT_EQ(list.Items[0].Name[127], '\0');
    EXPECT_EQ(list.Items[0].Guid, TDeviceGuid{});
    EXPECT_EQ(list.Items[15].Guid[0], 15);
    EXPECT_STREQ(list.Items[15].Name, "dev15");

    // A UTF-8 name is never cut inside a character.
    std::string name(126, 'a');
    name += "\xC3\xA9zz";  // 2-byte character at bytes 126-127
    sys.SetDevices({{TDeviceGuid{}, name}});
    ASSERT_EQ(ListDevices(sys, list), DS_OK);
    EXPECT_EQ(list.Count, 1);
    EXPECT_EQ(std::string(list.Items[0].Name), std::string(126, 'a'));
}

}  // namespace
