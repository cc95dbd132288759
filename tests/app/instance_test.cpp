// The single-instance socket and large messages: the incremental reading of
// a message and its limit.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "app_test_support.h"
#include "single_instance.h"

namespace quillet::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A folder under /tmp (a socket's path must fit in 108 bytes).
class InstanceSocketTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        char folder[] = "/tmp/quillet-si-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        Tmp = folder;
    }
    void TearDown() override {
        fs::remove_all(Tmp);
        AppTest::TearDown();
    }
    std::string Tmp;
};

int ConnectSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TInstanceMessage ManyPaths(size_t bytes) {
    TInstanceMessage m{true, {}};
    for (size_t total = 9; total < bytes;) {
        m.Paths.push_back("/music/album " + std::to_string(m.Paths.size()) + "/track.flac");
        total += 4 + m.Paths.back().size();
    }
    return m;
}

// The reader takes a message in any split and looks at each byte once: a
// message near the limit read in small pieces costs no more than whole.
TEST(InstanceMessage, ReadIncrementallyInAnySplit) {
    const TInstanceMessage messages[] = {
        {false, {}},
        {true, {"/a b.mp3", "", std::string("/\xff\0x.mp3", 8)}},
    };
    std::mt19937 random(29);
    for (const TInstanceMessage& m : messages) {
        const std::string bytes = EncodeInstanceMessage(m);
        for (int round = 0; round < 50; ++round) {
            TInstanceMessageReader reader;
            size_t at = 0;
            while (at < bytes.size()) {
                const size_t n = std::min(bytes.size() - at, size_t{random() % 5});
                const auto state = reader.Feed(std::string_view(bytes).substr(at, n));
                at += n;
                EXPECT_EQ(state, at == bytes.size() ? TInstanceMessageReader::TState::Done
                                                    : TInstanceMessageReader::TState::NeedMore);
            }
            EXPECT_EQ(reader.Take(), m);
        }
    }
    const TInstanceMessage big = ManyPaths(kMaxInstanceMessage - 64);
    const std::string bytes = EncodeInstanceMessage(big);
    ASSERT_LE(bytes.size(), kMaxInstanceMessage);
    const auto start = Clock::now();
    TInstanceMessageReader reader;
    for (size_t at = 0; at < bytes.size(); at += 512)
        reader.Feed(std::string_view(bytes).substr(at, 512));
    EXPECT_EQ(reader.State(), TInstanceMessageReader::TState::Done);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(reader.Take(), big);

    // Over the limit: refused as soon as the length that passes it is read,
    // and nothing after it is looked at.
    TInstanceMessageReader over;
    const std::string head = EncodeInstanceMessage({false, {std::string(100, 'x')}}).substr(0, 9);
    over.Feed(head);
    const uint32_t length = static_cast<uint32_t>(kMaxInstanceMessage);
    const char field[4] = {static_cast<char>(length), static_cast<char>(length >> 8),
                           static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
    EXPECT_EQ(over.Feed(std::string_view(field, 4)), TInstanceMessageReader::TState::Bad);
    EXPECT_EQ(over.Feed("more"), TInstanceMessageReader::TState::Bad);
}

// Over a real socket: a message near the limit arrives whole and at once; one
// past it is refused as soon as it passes the limit, not read to its end.
TEST_F(InstanceSocketTest, LargeMessagesArriveAndOversizedOnesAreCutShort) {
    const std::string path = Tmp + "/q.socket";
    const QString name = QString::fromStdString(path);
    TInstanceServer server;
    std::vector<TInstanceMessage> received;
    server.OnMessage = [&](TInstanceMessage m) { received.push_back(std::move(m)); };
    ASSERT_EQ(server.Listen(name), TInstanceServer::TListen::Listening);

    const TInstanceMessage big = ManyPaths(kMaxInstanceMessage - 64);
    std::atomic<int> handed{-1};
    auto start = Clock::now();
    std::thread client([&] { handed = HandOffToRunningInstance(name, big, 5000) ? 1 : 0; });
    EXPECT_TRUE(WaitFor([&] { return handed >= 0; }, 20000));
    client.join();
    EXPECT_EQ(handed, 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0] == big);

    // The client will not even send a message the player would refuse.
    EXPECT_FALSE(HandOffToRunningInstance(name, ManyPaths(kMaxInstanceMessage + 1), 1000));

    // A raw client that sends past the limit is cut off near it.
    const std::string over = EncodeInstanceMessage(ManyPaths(2 * kMaxInstanceMessage));
    std::atomic<size_t> sent{0};
    std::atomic<bool> done{false};
    start = Clock::now();
    std::thread raw([&] {
        const int fd = ConnectSocket(path);
        if (fd >= 0) {
            while (sent < over.size()) {
                const ssize_t n = ::send(fd, over.data() + sent, over.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            ::close(fd);
        }
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 20000));
    raw.join();
    EXPECT_LT(sent, over.size());
    EXPECT_LT(sent, kMaxInstanceMessage + (4u << 20));  // the limit and what buffers hold
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(received.size(), 1u);
}

}  // namespace
}  // namespace quillet::test
