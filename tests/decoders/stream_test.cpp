// The stream input against a server on the loopback interface that plays
// good and bad stations (tests/support/stream_server.py).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <future>
#include <thread>

#include "content_sniff.h"
#include "stream_fixture.h"
#include "stream_input.h"

namespace quillet {
namespace {

using namespace quillet::test;
using Clock = std::chrono::steady_clock;

class StreamInput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string d = StreamSources();
        Dir = FixtureDir("stream-input");
        ASSERT_TRUE(
            Sh("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
               "-days 2 -subj /CN=127.0.0.1 -keyout '" +
               Dir + "/key.pem' -out '" + Dir + "/cert.pem' 2>/dev/null"));
        Server = new TProcess(std::string(QUILLET_STREAM_SERVER) + " '" + d + "/src.mp3' '" + d +
                              "/low.mp3' '" + d + "/a.ogg' '" + Dir + "/cert.pem' '" + Dir +
                              "/key.pem'");
        const size_t blank = Server->Line().find(' ');
        ASSERT_NE(blank, std::string::npos) << "the server did not start";
        Base = "http://127.0.0.1:" + Server->Line().substr(0, blank);
        TlsBase = "https://127.0.0.1:" + Server->Line().substr(blank + 1);
    }
    static void TearDownTestSuite() {
        delete Server;
        Server = nullptr;
    }

    static std::unique_ptr<TStreamIn> Open(const std::string& url) {
        auto in = std::make_unique<TStreamIn>();
        in->SetFileName(url);
        return in;
    }
    // The requests the server has had.
    static int Requests() {
        TProcess count("curl -s " + Base + "/count");
        return std::stoi(count.Line().empty() ? "-1" : count.Line());
    }

    static inline TProcess* Server = nullptr;
    static inline std::string Dir, Base, TlsBase;
};

TEST_F(StreamInput, IcyTitlesAndStationInLatin1ArePublished) {
    auto in = Open(Base + "/icy");
    const uint32_t before = in->TitleSerial();
    in->BeginRead();
    EXPECT_EQ(in->GetSampleCount(), -1);  // no length, no seeking
    EXPECT_EQ(in->DataSize(), -1);
    EXPECT_FALSE(in->CanSeek());
    EXPECT_FALSE(in->GoToSample(1000));
    // The first block comes after 8000 bytes: half a second of sound.
    DrainRun(*in, 4096, 44100 * 4);
    const TStreamInfo info = in->StreamInfo();
    EXPECT_EQ(info.Station, "Radio \u00e9t\u00e9");
    EXPECT_EQ(info.Artist, "Caf\u00e9 Artist");
    EXPECT_EQ(info.Title, "Cr\u00e8me Song");
    EXPECT_EQ(info.Format, "mp3");
    EXPECT_GT(in->TitleSerial(), before);
    in->EndRead();
    EXPECT_EQ(in->StreamInfo(), info);  // the last title stays after the close
}

TEST_F(StreamInput, BadStationsEndWithAClearMessageAndNothingHangs) {
    struct TCase {
        std::string Url, Message;
    };
    const std::vector<TCase> cases = {
        {Base + "/404", "404 Not Found"},
        {Base + "/html", kStreamNoAudio},
        {Base + "/loop", kStreamOpenFailed},
        {Base + "/endless", kStreamNoAnswer},
        {TlsBase + "/file.mp3", kStreamOpenFailed},  // a certificate nobody vouches for
        {"https" + Base.substr(4) + "/file.mp3", kStreamOpenFailed},  // not TLS at all
        {"file:///etc/passwd", kStreamRefused},
        {"ftp://127.0.0.1/x.mp3", kStreamRefused},
        {Base + "/drop", kStreamLost},  // plays its second, then breaks off for good
    };
    const auto start = Clock::now();
    std::vector<std::future<std::string>> results;
    for (const TCase& c : cases)
        results.push_back(std::async(std::launch::async, [url = c.Url] {
            auto in = Open(url);
            try {
                in->BeginRead();
                DrainRun(*in, 65536, 44100 * 4 * 60);
                in->EndRead();
            } catch (const EAuException& e) {
                return std::string(e.what());
            }
            return std::string("(no error)");
        }));
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string message = results[i].get();
        EXPECT_NE(message.find(cases[i].Message), std::string::npos)
            << cases[i].Url << ": " << message;
    }
    // The slowest gives up after its own time-outs, never later.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(40));
}

TEST_F(StreamInput, OddButPlayableStationsPlay) {
    for (const std::string path : {"/dir with space/caf\u00e9.mp3", "/metaint", "/change"}) {
        auto in = Open(Base + path);
        in->BeginRead();
        EXPECT_EQ(in->GetSampleRate(), 44100u) << path;
        EXPECT_EQ(in->GetChannels(), 2u);
        const ByteVec pcm = DrainRun(*in, 65536, 44100 * 4 * 4);
        in->EndRead();
        EXPECT_GE(pcm.size(), 44100u * 4 * 2) << path;
        EXPECT_LT(SilentRuns(pcm, 4410).size(), 2u) << path;
    }
}

// ICY blocks after every byte: the stream is opened once more without
// titles, and the sound goes on as the source's.
TEST_F(StreamInput, AnIcyIntervalOfOneByteIsDroppedNotPaidFor) {
    const int before = Requests();
    auto in = Open(Base + "/metaint1");
    in->BeginRead();
    const ByteVec pcm = DrainRun(*in, 16384, 44100 * 4 * 4);
    in->EndRead();
    EXPECT_EQ(Requests() - before, 2);
    const std::vector<double> source = Mono(ReadAll(StreamSources() + "/src.raw"));
    EXPECT_GT(BestCorrelation(Mono(pcm), 3 * 44100, 22050, source), 0.95);
    EXPECT_LT(SilentRuns(pcm, 4410).size(), 2u);
}

TEST_F(StreamInput, StallsShorterThanTheBufferAreNotHeardLongerOnesAreSilence) {
    auto in = Open(Base + "/stall");
    in->BeginRead();
    // A 3 s burst, 1 s, a 1.5 s stall, 1 s, a 4 s stall: 11 s of output
    // covers it.
    const ByteVec pcm = DrainRun(*in, 16384, 44100 * 4 * 11);
    const auto runs = SilentRuns(pcm, 2205);
    ASSERT_EQ(runs.size(), 1u);
    // None for the short stall: the one gap comes after the 5 s of sound
    // (less the frame a decoder holds back), then sound again.
    EXPECT_GE(runs[0].first, 44100u * 4.8);
    EXPECT_GE(runs[0].second, 44100u * 2);
    EXPECT_GE(pcm.size() / 4 - (runs[0].first + runs[0].second), 44100u);

    // A listener giving up: Interrupt ends the run's data at once.
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        in->Interrupt();
    });
    const auto start = Clock::now();
    DrainRun(*in, 16384);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    stopper.join();
    in->EndRead();
}

// HLS: a master list plays through its variant's segments; one whose
// variants are the master again gives up within the open time, after a
// bounded count of requests and memory, with one message.
TEST_F(StreamInput, HlsPlaysAndAListLeadingToItselfIsCutOff) {
    auto good = Open(Base + "/hls/master.m3u8");
    good->BeginRead();
    const ByteVec pcm = DrainRun(*good, 65536, 44100 * 4 * 3);
    good->EndRead();
    EXPECT_GE(pcm.size(), 44100u * 4 * 3);
    EXPECT_EQ(good->StreamInfo().Format, "hls/mp3");

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long peakBefore = usage.ru_maxrss;
    const int before = Requests();
    const auto start = Clock::now();
    auto loop = Open(Base + "/hls/loop.m3u8");
    std::string message = "(no error)";
    try {
        loop->BeginRead();
    } catch (const EAuException& e) {
        message = e.what();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(TStreamIn::kOpenTimeoutSeconds));
    EXPECT_NE(message.find(kStreamOpenFailed), std::string::npos) << message;
    EXPECT_LE(Requests() - before, 70);
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - peakBefore, 100 * 1024) << "KiB more at the peak";
}

TEST_F(StreamInput, ALocalFileNeverMakesFfmpegOpenAnAddress) {
    // Text that would send FFmpeg to the server, were it let: an HLS list, a
    // concat script and an SDP, under names of every input FFmpeg reads.
    const std::string url = Base + "/file.mp3";
    const std::vector<std::string> texts = {
        "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + url + "\n#EXT-X-ENDLIST\n",
        "ffconcat version 1.0\nfile '" + url + "'\n",
        "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=x\nc=IN IP4 127.0.0.1\nt=0 0\nm=audio 5004 RTP/AVP 14\n",
    };
    const int before = Requests();
    for (size_t i = 0; i < texts.size(); ++i)
        for (const char* ext : {".mp3", ".m4a", ".opus", ".wma", ".aac", ".wav"}) {
            const std::string path = Dir + "/lure" + std::to_string(i) + ext;
            WriteAll(path, ByteVec(texts[i].begin(), texts[i].end()));
            Owned<TAuFileIn> in(CreateInput(*InputKindFor(path), nullptr));
            in->SetFileName(path);
            try {
                EXPECT_FALSE(in->IsValid()) << path;
            } catch (const EAuException&) {
            }
        }
    EXPECT_EQ(Requests(), before);
}

}  // namespace
}  // namespace quillet
