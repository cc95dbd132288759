// quillet-cli decode, info and play, run as a separate process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "wave_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

struct Result {
    int status = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

Result Cli(const std::string& args, const std::string& env = {}) {
    const std::string errFile = TmpRoot() + "/cli.stderr";
    const std::string cmd = env + " " QUILLET_CLI " " + args + " 2>" + errFile;
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 65536> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) r.out.append(buf.data(), n);
    r.status = WEXITSTATUS(pclose(p));
    const Bytes e = ReadFile(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

std::string Text(const Bytes& b) {
    return {b.begin(), b.end()};
}

class CliMedia : public ::testing::Test {
  protected:
    void SetUp() override {
        Dir = TmpRoot() + "/cli";
        std::filesystem::create_directories(Dir);
        Payload = NoiseBytes(4 * 12000);
        In = Dir + "/in.wav";
        WriteFile(In, PcmWav(2, 48000, 16, Payload));
    }
    std::string Dir, In;
    Bytes Payload;
};

TEST_F(CliMedia, DecodeWritesExactlyTheDeliveredPcm) {
    const std::string out = Dir + "/out.wav";
    Result r = Cli("decode " + In + " " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes wav = ReadFile(out);
    EXPECT_EQ(wav, PcmWav(2, 48000, 16, Payload));  // a canonical 44-byte header

    r = Cli("decode " + In + " -");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Text(wav));
    r = Cli("decode --raw --start 100 --end 199 " + In + " -");
    EXPECT_EQ(r.out, Text(Bytes(Payload.begin() + 400, Payload.begin() + 800)));
    r = Cli("decode --null " + In);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty());

    // The decoded file is read back by ffmpeg as the same PCM.
    ASSERT_TRUE(Shell("ffmpeg -v error -y -i " + out + " -f s16le " + Dir + "/back.raw"));
    EXPECT_EQ(ReadFile(Dir + "/back.raw"), Payload);
}

TEST_F(CliMedia, InfoLines) {
    Result r = Cli("info " + In);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "channels: 2\nrate: 48000\nbits: 16\nsamples: 12000\nduration: 0.250\nvalid: yes\n");
    WriteFile(Dir + "/junk.WAV", NoiseBytes(100));
    r = Cli("info " + Dir + "/junk.WAV");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("valid: no\n"), std::string::npos);
}

TEST_F(CliMedia, ErrorsAndUsage) {
    Result r = Cli("decode " + Dir + "/x.xyz " + Dir + "/o.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Format not supported\n");
    r = Cli("info " + Dir + "/missing.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;
    // A file its input cannot read is a failed decode, not an empty one.
    WriteFile(Dir + "/noise.wav", NoiseBytes(3000));
    r = Cli("decode --null " + Dir + "/noise.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, Dir + "/noise.wav: not a file this input can read\n");
    EXPECT_EQ(Cli("decode " + In).status, 2);
    EXPECT_EQ(Cli("decode --start x " + In + " o.wav").status, 2);
    EXPECT_EQ(Cli("play").status, 2);
    EXPECT_EQ(Cli("info").status, 2);
}

// Plays through SDL's disk driver: what reaches the "device" is the decoded
// PCM, with nothing but silence around it.
TEST_F(CliMedia, PlayFeedsTheDeviceTheDecodedPcm) {
    const std::string disk = Dir + "/disk.raw";
    Result r = Cli("play " + In + " " + Dir + "/nope.xyz",
                   "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + disk);
    EXPECT_EQ(r.status, 1);  // the second file has no input
    EXPECT_NE(r.err.find("Format not supported"), std::string::npos) << r.err;
    const Bytes played = ReadFile(disk);
    // The device may have played silence before the ring started.
    ASSERT_NE(Payload[0], 0);
    const size_t at = static_cast<size_t>(
        std::find_if(played.begin(), played.end(), [](uint8_t b) { return b != 0; }) -
        played.begin());
    ASSERT_GE(played.size(), at + Payload.size());
    EXPECT_TRUE(std::equal(Payload.begin(), Payload.end(), played.begin() + at));
    EXPECT_TRUE(std::all_of(played.begin() + at + Payload.size(), played.end(),
                            [](uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace quillet
