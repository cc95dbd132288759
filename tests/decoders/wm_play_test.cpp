// TMP3In/TWMIn played through a sink's worker: every run ends with OnDone,
// whether the file plays, is garbage or the library is missing.
#include <gtest/gtest.h>

#include <string>

#include "ACS_smpeg.h"
#include "lib_loader.h"
#include "synthetic.h"
#include "wm_fixture.h"

namespace quillet::test::wm {
namespace {

struct TPlayResult {
    int Done = 0;
    std::string Error;
    Bytes Data;
};

TPlayResult Play(TAuInput& in) {
    TPlayResult r;
    MemorySink sink;
    sink.SetOnDone([&](TComponent*) { ++r.Done; });
    sink.SetOnThreadException([&](TComponent*) { r.Error = sink.LastError(); });
    sink.SetInput(&in);
    sink.Start();
    EXPECT_TRUE(PumpUntil([&] { return r.Done == 1; }));
    r.Data = sink.Data();
    return r;
}

TEST(WmPlay, FilesPlayToTheEnd) {
    for (int i : {1, 6}) {
        const std::string path = MakeFixture(kWmFixtures[i]);
        ASSERT_FALSE(path.empty());
        TMP3In in;
        in.SetFileName(path);
        const TPlayResult r = Play(in);
        EXPECT_EQ(r.Error, "");
        const Bytes ref = Reference(path);
        EXPECT_EQ(r.Data.size(), ref.size());
    }
}

TEST(WmPlay, HostileFilesEndWithOnDone) {
    const std::string random = WmDir() + "/play_random.mp3";
    WriteFile(random, NoiseBytes(30000, 7));
    Bytes mp3 = ReadFile(MakeFixture(kWmFixtures[0]));
    const std::string cut = WmDir() + "/play_truncated.mp3";
    WriteFile(cut, Bytes(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(mp3.size() / 3)));
    Bytes wma = ReadFile(MakeFixture(kWmFixtures[5]));
    for (size_t i = 16; i < 24; ++i) wma[i] = 0xFF;  // the header object's size
    const std::string broken = WmDir() + "/play_broken.wma";
    WriteFile(broken, wma);
    for (const std::string& path : {random, cut, broken}) {
        SCOPED_TRACE(path);
        TMP3In in;
        in.SetFileName(path);
        const TPlayResult r = Play(in);
        EXPECT_EQ(r.Done, 1);
    }
}

TEST(WmPlay, MissingLibraryIsReportedAndTheRunEnds) {
    TMP3In in;
    in.SetFileName(MakeFixture(kWmFixtures[0]));
    FailLibraryLoadForTesting("libswresample.so.4", true);
    const TPlayResult r = Play(in);
    FailLibraryLoadForTesting("libswresample.so.4", false);
    EXPECT_EQ(r.Error, "libswresample.so.4 library could not be loaded.");
    EXPECT_TRUE(r.Data.empty());
}

}  // namespace
}  // namespace quillet::test::wm
