// The single-instance socket against other users and large messages: its
// folder without XDG_RUNTIME_DIR, the owner of the socket file and of the
// process at each end, the incremental reading of a message and its limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLocalSocket>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "app_test_support.h"
#include "single_instance.h"

namespace quillet::test {
namespace {

namespace fs = std::filesystem;
// Seconds of CPU the calling thread has used: what the GUI thread spends,
// whatever the load of the machine.
double ThreadSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A user id that is not ours (nobody's).
constexpr uid_t kOther = 65534;

// Sets an environment variable for one scope (unset when `value` is null).
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (FOld)
            ::setenv(FName, FOld->c_str(), 1);
        else
            ::unsetenv(FName);
    }

  private:
    const char* FName;
    std::optional<std::string> FOld;
};

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

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

uid_t OwnerOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_uid;
}

// A socket bound at `path` (listening or not), as a crashed or foreign
// process leaves it.
int BindSocket(const std::string& path, bool listening) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        (listening && ::listen(fd, 8) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

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

// Without XDG_RUNTIME_DIR the socket is in a folder of the user's own in the
// temporary one, never in the shared folder itself.
TEST_F(InstanceSocketTest, PrivateFolderWithoutRuntimeDir) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr), tmp("TMPDIR", Tmp.c_str()),
        wayland("WAYLAND_DISPLAY", nullptr), display("DISPLAY", ":7");
    const std::string folder = Tmp + "/quillet-" + std::to_string(::getuid());
    EXPECT_EQ(InstanceSocketName().toStdString(), folder + "/quillet-_7.socket");
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder)));
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(OwnerOf(folder), ::getuid());
    // Loosened by someone: the user's own folder is made private again.
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_FALSE(InstanceSocketName().isEmpty());
    EXPECT_EQ(ModeOf(folder), 0700u);

    // Anything else at that name is refused: no single instance then.
    fs::remove_all(folder);
    fs::create_directory(Tmp + "/elsewhere");
    fs::create_directory_symlink(Tmp + "/elsewhere", folder);
    EXPECT_TRUE(InstanceSocketName().isEmpty());
    fs::remove(folder);
    WriteFile(folder, "x");
    EXPECT_TRUE(InstanceSocketName().isEmpty());
    fs::remove(folder);
    if (::getuid() == 0) {
        // Another user made the folder first.
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(::chown(folder.c_str(), kOther, kOther), 0);
        EXPECT_TRUE(InstanceSocketName().isEmpty());
        EXPECT_EQ(OwnerOf(folder), kOther);  // left as it was
    }

    // XDG_RUNTIME_DIR is used as it is, when it is the user's and private.
    const std::string run = Tmp + "/run";
    ASSERT_EQ(::mkdir(run.c_str(), 0700), 0);
    {
        ScopedEnv given("XDG_RUNTIME_DIR", run.c_str());
        EXPECT_EQ(InstanceSocketName().toStdString(), run + "/quillet-_7.socket");
        ASSERT_EQ(::chmod(run.c_str(), 0777), 0);
        EXPECT_TRUE(InstanceSocketName().isEmpty());
    }
}

// A socket file of another user's is neither handed to, connected to,
// listened over nor removed.
TEST_F(InstanceSocketTest, ForeignSocketFilesAreNotTrusted) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to make another user's files";
    const std::string path = Tmp + "/q.socket";
    const QString name = QString::fromStdString(path);
    TInstanceServer server;
    std::vector<TInstanceMessage> received;
    server.OnMessage = [&](TInstanceMessage m) { received.push_back(std::move(m)); };
    ASSERT_EQ(server.Listen(name), TInstanceServer::TListen::Listening);
    ASSERT_EQ(::chown(path.c_str(), kOther, kOther), 0);
    std::atomic<int> handed{-1};
    std::thread client([&] { handed = HandOffToRunningInstance(name, {false, {"/a.mp3"}}, 2000); });
    EXPECT_TRUE(WaitFor([&] { return handed >= 0; }));
    client.join();
    EXPECT_EQ(handed, 0);
    WaitFor([] { return false; }, 100);
    EXPECT_TRUE(received.empty());

    // A stale socket file (nobody listening) of another user's stays.
    const std::string stale = Tmp + "/stale.socket";
    const int fd = BindSocket(stale, false);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(::chown(stale.c_str(), kOther, kOther), 0);
    TInstanceServer second;
    EXPECT_EQ(second.Listen(QString::fromStdString(stale)), TInstanceServer::TListen::Failed);
    EXPECT_EQ(OwnerOf(stale), kOther);
    // And a file that is no socket at all.
    WriteFile(Tmp + "/plain.socket", "x");
    EXPECT_EQ(second.Listen(QString::fromStdString(Tmp + "/plain.socket")),
              TInstanceServer::TListen::Failed);
    EXPECT_FALSE(HandOffToRunningInstance(QString::fromStdString(Tmp + "/plain.socket"), {}, 200));
}

// Runs `child` in a process of another user; returns its pid.
template <class Fn>
pid_t AsOtherUser(Fn child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(kOther) != 0 || ::setuid(kOther) != 0) ::_exit(100);
        ::_exit(child());
    }
    return pid;
}

// The process at each end of a connection must be the user's own, whatever
// the socket file says.
TEST_F(InstanceSocketTest, PeerCredentialsAreCheckedOnBothSides) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
    ASSERT_EQ(::chmod(Tmp.c_str(), 0777), 0);

    // The server side: another user's client is dropped unread and unanswered.
    const std::string path = Tmp + "/q.socket";
    TInstanceServer server;
    std::vector<TInstanceMessage> received;
    server.OnMessage = [&](TInstanceMessage m) { received.push_back(std::move(m)); };
    ASSERT_EQ(server.Listen(QString::fromStdString(path)), TInstanceServer::TListen::Listening);
    ASSERT_EQ(::chmod(path.c_str(), 0777), 0);
    const std::string bytes = EncodeInstanceMessage({false, {"/from/another/user.mp3"}});
    const pid_t client = AsOtherUser([&] {
        const int fd = ConnectSocket(path);
        if (fd < 0) return 101;
        // Cut off before all is written is refused too.
        if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(bytes.size()))
            return 0;
        pollfd p{fd, POLLIN, 0};
        char ack = 0;
        // Answered (an acknowledgement) is the fault; closed unanswered is right.
        return ::poll(&p, 1, 3000) == 1 && ::read(fd, &ack, 1) == 1 ? 1 : 0;
    });
    int status = -1;
    EXPECT_TRUE(WaitFor([&] { return ::waitpid(client, &status, WNOHANG) == client; }));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(received.empty());

    // The client side: a listener of another user's, even behind a socket
    // file of ours, is given nothing.
    const std::string theirs = Tmp + "/theirs";
    ASSERT_EQ(::mkdir(theirs.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0777), 0);
    const std::string foreign = theirs + "/q.socket";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t listener = AsOtherUser([&] {
        const int fd = BindSocket(foreign, true);
        if (fd < 0) return 101;
        ::fchmod(fd, 0777);
        const char one = 1;
        if (::write(ready[1], &one, 1) != 1) return 102;
        // Acknowledges whatever comes, as a player would.
        for (int i = 0; i < 4; ++i) {
            const int c = ::accept(fd, nullptr, nullptr);
            if (c < 0) return 0;
            char buf[4096];
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 1000) == 1) [[maybe_unused]]
                ssize_t got = ::read(c, buf, sizeof buf);
            [[maybe_unused]] ssize_t put = ::send(c, &one, 1, MSG_NOSIGNAL);  // no SIGPIPE
            ::close(c);
        }
        return 0;
    });
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(::chown(foreign.c_str(), 0, 0), 0);  // the file now looks like ours
    std::atomic<int> handed{-1};
    std::thread hand([&] {
        handed =
            HandOffToRunningInstance(QString::fromStdString(foreign), {true, {"/a.mp3"}}, 2000);
    });
    hand.join();
    EXPECT_EQ(handed, 0);
    TInstanceServer second;
    EXPECT_EQ(second.Listen(QString::fromStdString(foreign)), TInstanceServer::TListen::Failed);
    ::kill(listener, SIGKILL);
    ::waitpid(listener, &status, 0);
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
    const double start = ThreadSeconds();
    TInstanceMessageReader reader;
    for (size_t at = 0; at < bytes.size(); at += 512)
        reader.Feed(std::string_view(bytes).substr(at, 512));
    EXPECT_EQ(reader.State(), TInstanceMessageReader::TState::Done);
    EXPECT_LT(ThreadSeconds() - start, 2.0);
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

    // (That the reader looks at each byte once, whatever the reads' sizes, is
    // ReadIncrementallyInAnySplit's to check: timing it here failed under
    // ThreadSanitizer on a loaded machine.)
    const TInstanceMessage big = ManyPaths(kMaxInstanceMessage - 64);
    std::atomic<int> handed{-1};
    std::thread client([&] { handed = HandOffToRunningInstance(name, big, 30000) ? 1 : 0; });
    EXPECT_TRUE(WaitFor([&] { return handed >= 0; }, 60000));
    client.join();
    EXPECT_EQ(handed, 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0] == big);

    // The client will not even send a message the player would refuse.
    EXPECT_FALSE(HandOffToRunningInstance(name, ManyPaths(kMaxInstanceMessage + 1), 1000));

    // A raw client that sends past the limit is cut off near it.
    const std::string over = EncodeInstanceMessage(ManyPaths(2 * kMaxInstanceMessage));
    std::atomic<size_t> sent{0};
    std::atomic<bool> done{false};
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
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 60000));
    raw.join();
    EXPECT_LT(sent, over.size());
    EXPECT_LT(sent, kMaxInstanceMessage + (4u << 20));  // the limit and what buffers hold
    EXPECT_EQ(received.size(), 1u);
}

}  // namespace
}  // namespace quillet::test
