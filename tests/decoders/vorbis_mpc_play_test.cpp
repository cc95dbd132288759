// TVorbisIn and TMPCIn played through a sink on its worker thread: good,
// truncated, damaged and foreign files all end their run with OnDone.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "decoders/mpc_fixture.h"
#include "decoders/vorbis_fixture.h"
#include "synthetic.h"

namespace quillet::test {
namespace {

struct PlayResult {
    bool ended = false;
    ByteVec data;
    std::string error;
};

PlayResult PlayThroughSink(TAuFileIn& in) {
    std::atomic<int> done{0};
    MemorySink sink;
    sink.SetOnDone([&](TComponent*) { ++done; });
    sink.SetInput(&in);
    sink.Start();
    PlayResult r;
    r.ended = PumpUntil([&] { return done.load() == 1; });
    r.data = sink.Data();
    r.error = sink.LastError();
    sink.SetInput(nullptr);
    return r;
}

// The good file, then a cut, a damaged and a foreign copy of it.
void PlayAllKinds(TAuFileIn& in, const std::string& good, const ByteVec& reference,
                  const std::string& dir, const std::string& ext, bool exact) {
    in.SetFileName(good);
    PlayResult r = PlayThroughSink(in);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.data.size(), reference.size());
    if (exact) {
        EXPECT_TRUE(r.data == reference);
    }

    const ByteVec bytes = ReadAll(good);
    ByteVec damaged = bytes;
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 500; i += 3) damaged[i] ^= 0x77;
    const std::pair<std::string, ByteVec> variants[] = {
        {"cut", Slice(bytes, 0, bytes.size() * 6 / 10)},
        {"damaged", damaged},
        {"foreign", ByteVec(7000, 0x42)},
    };
    for (const auto& [name, content] : variants) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/play-" + name + ext;
        WriteAll(path, content);
        in.SetFileName(path);
        r = PlayThroughSink(in);
        ASSERT_TRUE(r.ended);
        EXPECT_LE(r.data.size(), reference.size() + 12288);
        if (name == "foreign") {
            EXPECT_NE(r.error, "");
        }
    }
}

TEST(VorbisMpcPlay, EveryFileEndsItsRunWithOnDone) {
    {
        SCOPED_TRACE("vorbis");
        const auto& f = vorbis_fixture::Stereo();
        TVorbisIn in;
        PlayAllKinds(in, f.path, f.reference, vorbis_fixture::Dir(), ".ogg", true);
    }
    {
        SCOPED_TRACE("mpc");
        const auto& f = mpc_fixture::Stereo();
        TMPCIn in;
        PlayAllKinds(in, f.path, f.reference, mpc_fixture::Dir(), ".mpc", false);
    }
}

}  // namespace
}  // namespace quillet::test
