// quillet-cli against real streaming servers on the loopback interface: an
// Icecast station fed by ezstream (tests/support/icecast.sh) and Python's
// plain web server.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "stream_fixture.h"

namespace quillet {
namespace {

using namespace quillet::test;

struct TCliResult {
    int Status = -1;
    std::string Out, Err;
};

TCliResult Cli(const std::string& args, const std::string& dir) {
    TProcess p(QUILLET_CLI " " + args + " 2>'" + dir + "/cli.err'", false);
    TCliResult r;
    for (std::string line; !(line = p.ReadLine()).empty();) r.Out += line + "\n";
    r.Status = p.Wait();
    const ByteVec err = ReadAll(dir + "/cli.err");
    r.Err.assign(err.begin(), err.end());
    return r;
}

// The PCM of a canonical WAV.
ByteVec WavData(const std::string& path) {
    const ByteVec wav = ReadAll(path);
    return wav.size() > 44 ? ByteVec(wav.begin() + 44, wav.end()) : ByteVec{};
}

// An Icecast station of its own for each test: /mp3 loops src.mp3, /ogg
// plays a.ogg and b.ogg in turn.
class IcecastStation : public ::testing::Test {
  protected:
    void SetUp() override {
        Dir = FixtureDir("icecast");
        for (const char* f : {"src.mp3", "a.ogg", "b.ogg"})
            ASSERT_TRUE(Sh("cp '" + StreamSources() + "/" + f + "' '" + Dir + "/'"));
        ASSERT_TRUE(Icecast("start"));
        const ByteVec port = ReadAll(Dir + "/port");
        Url = "http://127.0.0.1:" + std::string(port.begin(), port.end() - 1);
    }
    void TearDown() override { Icecast("stop"); }
    bool Icecast(const std::string& what) {
        return Sh(QUILLET_ICECAST " " + what + " '" + Dir + "'");
    }
    std::string Dir, Url;
};

TEST_F(IcecastStation, RecordsTheSourceShowsTitlesAndRidesOutARestart) {
    // Five seconds recorded, sounding as the source does.
    TCliResult r = Cli("decode --seconds 5 " + Url + "/mp3 '" + Dir + "/rec.wav'", Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    const ByteVec rec = WavData(Dir + "/rec.wav");
    EXPECT_EQ(rec.size(), 5u * 44100 * 4);
    const std::vector<double> source = Mono(ReadAll(StreamSources() + "/src.raw"));
    EXPECT_GT(BestCorrelation(Mono(rec), 44100, 44100, source), 0.95);
    EXPECT_GT(BestCorrelation(Mono(rec), 3 * 44100, 44100, source), 0.95);

    // A title sent to the server reaches info (ISO-8859-1 on the wire).
    ASSERT_TRUE(Sh(QUILLET_ICECAST " title '" + Dir + "' 'Caf\u00e9 Artist - Cr\u00e8me Song'"));
    r = Cli("info " + Url + "/mp3", Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("format: mp3\nstation: Radio Caf\u00e9\nartist: Caf\u00e9 Artist\n"
                         "title: Cr\u00e8me Song\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("length: unknown"), std::string::npos);
    // A title is anyone's text: escapes, a clipboard write and line breaks
    // are shown escaped.
    ASSERT_TRUE(Sh(QUILLET_ICECAST " title '" + Dir +
                   "' \"$(printf 'Evil\\033[2J - Song\\033]52;c;SGk=\\007\\r\\nX')\""));
    r = Cli("info " + Url + "/mp3", Dir);
    EXPECT_NE(r.Out.find("artist: Evil\\x1b[2J\ntitle: Song\\x1b]52;c;SGk=\\x07\\r\\nX\n"),
              std::string::npos)
        << r.Out;

    // The server killed for 3 s: a gap, then the recording goes on.
    TProcess decode(QUILLET_CLI " decode --seconds 13 " + Url + "/mp3 '" + Dir + "/gap.wav'",
                    false);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_TRUE(Icecast("kill"));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(Icecast("restart"));
    ASSERT_EQ(decode.Wait(), 0);
    const ByteVec gap = WavData(Dir + "/gap.wav");
    ASSERT_EQ(gap.size(), 13u * 44100 * 4);
    const auto runs = SilentRuns(gap, 22050);
    ASSERT_FALSE(runs.empty());
    const size_t after = runs.back().first + runs.back().second;
    EXPECT_LT(after, 12u * 44100) << "no sound after the gap";
    EXPECT_GT(BestCorrelation(Mono(gap), after + 22050, 22050, source), 0.95);
}

TEST_F(IcecastStation, AChainedOggStreamPlaysWithEachSongsTitle) {
    TProcess play("SDL_AUDIODRIVER=dummy " QUILLET_CLI " play " + Url + "/ogg", false);
    std::string lines;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        const std::string line = play.ReadLine();
        if (line.empty()) break;
        lines += line + "\n";
        if (lines.find("First Song") != std::string::npos &&
            lines.find("Second Song") != std::string::npos)
            break;
    }
    play.Stop();
    EXPECT_NE(lines.find("/ogg: Ogg Artist - First Song"), std::string::npos) << lines;
    EXPECT_NE(lines.find("/ogg: Ogg Artist - Second Song"), std::string::npos) << lines;

    // Across the songs' joins the sound goes on.
    TCliResult r = Cli("decode --seconds 5 " + Url + "/ogg '" + Dir + "/ogg.wav'", Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    const ByteVec pcm = WavData(Dir + "/ogg.wav");
    EXPECT_EQ(pcm.size(), 5u * 44100 * 4);
    EXPECT_TRUE(SilentRuns(pcm, 4410).empty());
}

// A recording that ends early (a download cut short, a signal) keeps what
// came under a header that says its size, and exits with 3.
TEST(StreamCli, ARecordingEndedEarlyIsAWholeWav) {
    const std::string dir = FixtureDir("early"), src = StreamSources();
    TProcess server(std::string(QUILLET_STREAM_SERVER) + " '" + src + "/src.mp3' '" + src +
                    "/low.mp3' '" + src + "/a.ogg'");
    const std::string base = "http://127.0.0.1:" + server.Line().substr(0, server.Line().find(' '));
    const auto sizes = [](const std::string& path) {
        const ByteVec wav = ReadAll(path);
        const auto le32 = [&](size_t at) {
            return uint32_t{wav[at]} | uint32_t{wav[at + 1]} << 8 | uint32_t{wav[at + 2]} << 16 |
                   uint32_t{wav[at + 3]} << 24;
        };
        return wav.size() < 44 ? std::string("short")
                               : std::to_string(le32(4) + 8) + " " + std::to_string(le32(40) + 44) +
                                     " " + std::to_string(wav.size());
    };
    const std::string cut = dir + "/cut.wav";
    TCliResult r = Cli("decode --seconds 30 " + base + "/short '" + cut + "'", dir);
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_NE(r.Err.find("ended early"), std::string::npos) << r.Err;
    const ByteVec pcm = WavData(cut);
    EXPECT_GT(pcm.size(), 44100u * 4 * 4);  // a quarter of 20 s, less a frame or two
    EXPECT_EQ(sizes(cut), std::to_string(pcm.size() + 44) + " " + std::to_string(pcm.size() + 44) +
                              " " + std::to_string(pcm.size() + 44));

    const std::string live = dir + "/live.wav";
    TProcess decode("exec " QUILLET_CLI " decode --seconds 60 " + base + "/icy '" + live + "'",
                    false);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_EQ(kill(decode.Pid(), SIGTERM), 0);
    EXPECT_EQ(decode.Wait(), 3);
    const size_t got = ReadAll(live).size();
    EXPECT_GT(got, 44100u * 4);
    EXPECT_EQ(sizes(live),
              std::to_string(got) + " " + std::to_string(got) + " " + std::to_string(got));
}

TEST(StreamCli, AWebServersFilesPlayAndBadAddressesFailClearly) {
    const std::string dir = FixtureDir("web");
    for (const char* f : {"src.mp3", "a.ogg"})
        ASSERT_TRUE(Sh("cp '" + StreamSources() + "/" + f + "' '" + dir + "/'"));
    // Python's own file server; its first line names the port.
    TProcess web("cd '" + dir + "' && exec python3 -u -m http.server --bind 127.0.0.1 0 2>&1");
    const size_t port = web.Line().find("port ");
    ASSERT_NE(port, std::string::npos) << web.Line();
    const std::string base = "http://127.0.0.1:" +
                             web.Line().substr(port + 5, web.Line().find(' ', port + 5) - port - 5);
    for (const std::string f : {"src.mp3", "a.ogg"}) {
        TCliResult r = Cli("decode " + base + "/" + f + " '" + dir + "/net.wav'", dir);
        ASSERT_EQ(r.Status, 0) << f << ": " << r.Err;
        r = Cli("decode '" + dir + "/" + f + "' '" + dir + "/local.wav'", dir);
        ASSERT_EQ(r.Status, 0) << r.Err;
        // All of it, as the local file sounds (FFmpeg decodes both MP3s; the
        // local Ogg goes through libvorbis).
        const ByteVec net = WavData(dir + "/net.wav"), local = WavData(dir + "/local.wav");
        EXPECT_EQ(net.size(), local.size()) << f;
        EXPECT_GT(Correlation(Mono(net), Mono(local)), 0.999) << f;
    }
    TCliResult r = Cli("play " + base + "/a.ogg", dir);
    EXPECT_EQ(r.Status, 0) << r.Err;

    r = Cli("info " + base + "/missing.mp3", dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("404"), std::string::npos) << r.Err;
    r = Cli("decode --seconds 1 file:///etc/passwd '" + dir + "/x.wav'", dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Only http and https"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace quillet
