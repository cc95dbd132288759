// TFLACIn played through a sink on its worker thread: good, truncated,
// damaged and foreign files all end their run with OnDone.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "decoders/flac_fixture.h"
#include "synthetic.h"

namespace quillet::test {
namespace {

using namespace flac_fixture;

// Plays a file through a sink on its worker; true when OnDone arrived.
bool PlayThroughSink(TFLACIn& in, Bytes& out, std::string& error) {
    std::atomic<int> done{0};
    MemorySink sink;
    sink.SetOnDone([&](TComponent*) { ++done; });
    sink.SetInput(&in);
    sink.Start();
    const bool ended = PumpUntil([&] { return done.load() == 1; });
    out = sink.Data();
    error = sink.LastError();
    return ended;
}

TEST(FlacDamage, BadFilesEndTheRunWithoutCrashOrHang) {
    const Fixture& f = Stereo16();
    const Bytes good = ReadFile(f.path);
    const fs::path dir = TmpDir();
    TFLACIn in;
    Bytes out;
    std::string error;

    in.SetFileName(f.path);
    ASSERT_TRUE(PlayThroughSink(in, out, error));
    EXPECT_TRUE(out == f.reference);
    EXPECT_EQ(error, "");

    // Truncated: what is there plays, exactly, and the run ends.
    const fs::path cut = dir / "cut.flac";
    WriteFile(
        cut, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() * 6 / 10)));
    in.SetFileName(cut.string());
    ASSERT_TRUE(PlayThroughSink(in, out, error));
    EXPECT_GT(out.size(), f.reference.size() / 3);
    EXPECT_LT(out.size(), f.reference.size());
    EXPECT_TRUE(Slice(f.reference, 0, static_cast<int64_t>(out.size())) == out)
        << "the frames before the cut must decode exactly";

    // Damaged frames in the middle: the decoder reports them and goes on.
    Bytes bad = good;
    for (size_t i = bad.size() / 3; i < bad.size() / 3 + 600; i += 7) bad[i] ^= 0x5A;
    const fs::path damaged = dir / "damaged.flac";
    WriteFile(damaged, bad);
    in.SetFileName(damaged.string());
    ASSERT_TRUE(PlayThroughSink(in, out, error));
    EXPECT_LE(out.size(), f.reference.size());

    // Not FLAC at all, and empty.
    Bytes noise(20000);
    uint32_t seed = 7;
    for (auto& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    for (const auto& [name, content] :
         {std::pair{"noise.flac", noise}, std::pair{"empty.flac", Bytes{}}}) {
        const fs::path p = dir / name;
        WriteFile(p, content);
        in.SetFileName(p.string());
        EXPECT_FALSE(in.IsValid()) << name;
        ASSERT_TRUE(PlayThroughSink(in, out, error)) << name;
        EXPECT_TRUE(out.empty()) << name;
    }
}

}  // namespace
}  // namespace quillet::test
