// The bus logic over a fake player: which command each call gives, what
// out-of-range values do, and which changes are announced.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QImage>
#include <QUrl>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <thread>

#include "app_test_support.h"
#include "art_loader.h"
#include "mpris.h"

namespace quillet::test {
namespace {

using S = TPlayerControl::TStatus;

// Behaves as the window does: Play plays the selected row, Pause is a toggle
// of its own that only reaches a running output.
class FakePlayer : public TPlayerControl {
  public:
    bool Running = false, Held = false, Toggle = false;
    std::optional<TTrack> Current = TTrack{"/m/a.flac", "a.flac", 0};
    TPlayPosition Pos{5000000, 10000000, false};
    bool Seekable = true;
    int Slider = 0;
    TLoop Looping = TLoop::Playlist;
    bool Shuffled = false;
    std::vector<std::string> Calls;

    TStatus Status() const override {
        return !Running ? S::Stopped : Held ? S::Paused : S::Playing;
    }
    std::optional<TTrack> Track() const override { return Current; }
    TPlayPosition Position() const override { return Pos; }
    bool CanSeek() const override { return Running && Seekable; }
    bool CanGoNext() const override { return true; }
    bool CanGoPrevious() const override { return true; }
    int Volume() const override { return Slider; }
    void SetVolume(int value) override { Slider = value; }
    TLoop Loop() const override { return Looping; }
    void SetLoop(TLoop loop) override { Looping = loop; }
    bool Shuffle() const override { return Shuffled; }
    void SetShuffle(bool on) override { Shuffled = on; }
    void Play() override { Calls.push_back("play"), Running = true, Held = false; }
    void PauseButton() override {
        Calls.push_back("pause");
        Toggle = !Toggle;
        if (Running) Held = Toggle;
    }
    void Stop() override { Calls.push_back("stop"), Running = false; }
    void Next() override { Calls.push_back("next"); }
    void Previous() override { Calls.push_back("previous"); }
    void SeekTo(int64_t us) override { Calls.push_back("seek " + std::to_string(us)); }
    void Open(const std::vector<std::string>& paths) override {
        for (const auto& p : paths) Calls.push_back("open " + p);
    }
    void Raise() override { Calls.push_back("raise"); }
    void Quit() override { Calls.push_back("quit"); }
    std::vector<TPlaylist> Lists;
    uint64_t Active = 0;
    std::vector<TPlaylist> Playlists() const override { return Lists; }
    std::optional<TPlaylist> ActivePlaylist() const override {
        for (const TPlaylist& l : Lists)
            if (l.Id == Active) return l;
        return std::nullopt;
    }
    bool ActivatePlaylist(uint64_t id) override {
        Calls.push_back("activate " + std::to_string(id));
        for (const TPlaylist& l : Lists)
            if (l.Id == id) Active = id;
        return Active == id;
    }
};

class MprisTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Service = std::make_unique<TMprisService>(Player);
        Service->Notify = [this](const QString& iface, const QVariantMap& changed) {
            EXPECT_EQ(iface, QLatin1String(kMprisPlayer));
            Changes.push_back(changed);
        };
        Service->SendSeeked = [this](qint64 pos) { Seeks.push_back(pos); };
        Service->Refresh();
        Changes.clear();
    }
    FakePlayer Player;
    std::unique_ptr<TMprisService> Service;
    std::vector<QVariantMap> Changes;
    std::vector<qint64> Seeks;
};

TEST_F(MprisTest, PlayAndPauseReachTheOutputWhateverTheToggle) {
    struct Case {
        const char* What;
        bool Running, Held, Toggle;
        void (TMprisService::*Call)();
        S Want;
        std::vector<std::string> Calls;
    };
    const Case cases[] = {
        {"play when stopped", false, false, false, &TMprisService::Play, S::Playing, {"play"}},
        {"play when playing", true, false, false, &TMprisService::Play, S::Playing, {}},
        {"play when paused", true, true, true, &TMprisService::Play, S::Playing, {"pause"}},
        {"pause when playing", true, false, false, &TMprisService::Pause, S::Paused, {"pause"}},
        // A click while nothing played left the toggle set: two clicks pause.
        {"pause, toggle out of step",
         true,
         false,
         true,
         &TMprisService::Pause,
         S::Paused,
         {"pause", "pause"}},
        {"pause when stopped", false, false, false, &TMprisService::Pause, S::Stopped, {}},
        {"play-pause when playing",
         true,
         false,
         false,
         &TMprisService::PlayPause,
         S::Paused,
         {"pause"}},
        {"play-pause when paused",
         true,
         true,
         true,
         &TMprisService::PlayPause,
         S::Playing,
         {"pause"}},
        {"stop", true, false, false, &TMprisService::Stop, S::Stopped, {"stop"}},
    };
    for (const Case& c : cases) {
        Player.Running = c.Running, Player.Held = c.Held, Player.Toggle = c.Toggle;
        Player.Calls.clear();
        (Service.get()->*c.Call)();
        EXPECT_EQ(Player.Status(), c.Want) << c.What;
        EXPECT_EQ(Player.Calls, c.Calls) << c.What;
    }
}

TEST_F(MprisTest, OutOfRangeValuesAreClampedOrIgnored) {
    struct VolumeCase {
        double Bus;
        int Slider;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const VolumeCase& c : std::vector<VolumeCase>{
             {-1, 10000}, {0, 10000}, {1e9, 0}, {1, 0}, {0.5, 602}, {nan, 602}, {1e-9, 10000}}) {
        Service->SetVolume(c.Bus);
        EXPECT_EQ(Player.Slider, c.Slider) << c.Bus;
    }
    EXPECT_NEAR(BusVolumeOf(602), 0.5, 1e-4);
    EXPECT_EQ(BusVolumeOf(10000), 0.0);

    Player.Running = true;
    Service->Refresh();
    const QDBusObjectPath id = Service->TrackId();
    struct SeekCase {
        const char* What;
        std::function<void()> Call;
        std::vector<std::string> Calls;
    };
    const SeekCase seeks[] = {
        {"seek forward", [&] { Service->Seek(2000000); }, {"seek 7000000"}},
        {"seek before the start", [&] { Service->Seek(-9000000); }, {"seek 0"}},
        {"seek by INT64_MIN", [&] { Service->Seek(INT64_MIN); }, {"seek 0"}},
        {"seek by INT64_MAX: next", [&] { Service->Seek(INT64_MAX); }, {"next"}},
        {"set position", [&] { Service->SetPosition(id, 10000000); }, {"seek 10000000"}},
        {"set position past the end", [&] { Service->SetPosition(id, 10000001); }, {}},
        {"set position negative", [&] { Service->SetPosition(id, -1); }, {}},
        {"set position, other track",
         [&] { Service->SetPosition(QDBusObjectPath("/org/quillet/track/999"), 1); },
         {}},
        {"open a file URI",
         [&] { Service->OpenUri("file:///m/a%20b%FF.mp3"); },
         {"open /m/a b\xff.mp3"}},
        {"open a localhost URI",
         [&] { Service->OpenUri("file://localhost/m/x.ogg"); },
         {"open /m/x.ogg"}},
        {"open a stream",
         [&] { Service->OpenUri("http://example.com/a.mp3"); },
         {"open http://example.com/a.mp3"}},
        {"open an FTP URI", [&] { Service->OpenUri("ftp://example.com/a.mp3"); }, {}},
        {"open another host's file", [&] { Service->OpenUri("file://host/m/a.mp3"); }, {}},
        {"open garbage", [&] { Service->OpenUri("::::"); }, {}},
    };
    for (const SeekCase& c : seeks) {
        Player.Calls.clear();
        c.Call();
        EXPECT_EQ(Player.Calls, c.Calls) << c.What;
    }
    Player.Seekable = false;
    Player.Calls.clear();
    Service->Seek(1000);
    EXPECT_TRUE(Player.Calls.empty());
}

TEST_F(MprisTest, AnnouncesEachChangeOnceWithItsValue) {
    Service->Refresh();
    EXPECT_TRUE(Changes.empty());

    Player.Running = true;
    Service->Refresh();
    ASSERT_EQ(Changes.size(), 1u);
    EXPECT_EQ(Changes[0].value("PlaybackStatus").toString(), "Playing");
    EXPECT_TRUE(Changes[0].value("CanSeek").toBool());
    EXPECT_FALSE(Changes[0].contains("Metadata"));

    // A new track: a new id; the list's tags arrive later and change the
    // metadata again, under the same id.
    const QDBusObjectPath before = Service->TrackId();
    Player.Current = TPlayerControl::TTrack{"/m/b.mp3", "b.mp3", 1};
    Service->Refresh();
    ASSERT_EQ(Changes.size(), 2u);
    QVariantMap meta = Changes[1].value("Metadata").toMap();
    const QDBusObjectPath id = meta.value("mpris:trackid").value<QDBusObjectPath>();
    EXPECT_NE(id, before);
    EXPECT_EQ(meta.value("xesam:title").toString(), "b.mp3");
    EXPECT_EQ(meta.value("xesam:url").toString(), "file:///m/b.mp3");
    EXPECT_EQ(meta.value("mpris:length").toLongLong(), 10000000);

    Player.Current->Tags = TTrackTags{"Title B", "Artist B", "Album B"};
    Service->Refresh();
    ASSERT_EQ(Changes.size(), 3u);
    meta = Changes[2].value("Metadata").toMap();
    EXPECT_EQ(meta.value("mpris:trackid").value<QDBusObjectPath>(), id);
    EXPECT_EQ(meta.value("xesam:title").toString(), "Title B");
    EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList{"Artist B"});
    EXPECT_EQ(meta.value("xesam:album").toString(), "Album B");

    Service->SetVolume(0.5);
    ASSERT_EQ(Changes.size(), 4u);
    EXPECT_EQ(Changes[3].keys(), QStringList{"Volume"});

    Player.Current.reset();
    Player.Running = false;
    Service->Refresh();
    meta = Changes.back().value("Metadata").toMap();
    EXPECT_EQ(meta.value("mpris:trackid").value<QDBusObjectPath>().path(),
              "/org/mpris/MediaPlayer2/TrackList/NoTrack");
    EXPECT_FALSE(Changes.back().value("CanPlay").toBool());

    Player.Running = true;
    Service->Seek(1000000);
    EXPECT_EQ(Seeks, std::vector<qint64>{5000000});  // the fake does not move
}

// The lists as playlists: counted, ordered and paged as asked, activated by
// their own paths only, a rename and the active list announced.
TEST_F(MprisTest, PlaylistsAreListedActivatedAndAnnounced) {
    std::vector<std::pair<QString, QVariantMap>> listChanges;
    std::vector<TBusPlaylist> renamed;
    Service->Notify = [&](const QString& iface, const QVariantMap& changed) {
        if (iface == QLatin1String(kMprisPlaylists)) listChanges.emplace_back(iface, changed);
    };
    Service->SendPlaylistChanged = [&](const TBusPlaylist& p) { renamed.push_back(p); };
    Player.Lists = {{3, "rock"}, {1, "Ambient"}, {7, "jazz"}};
    Player.Active = 3;
    Service->Refresh();
    ASSERT_EQ(listChanges.size(), 1u);
    EXPECT_EQ(listChanges[0].second.value("PlaylistCount").toUInt(), 3u);
    const auto active = [&] { return Service->ActivePlaylist(); };
    EXPECT_EQ(qvariant_cast<TBusActivePlaylist>(listChanges[0].second.value("ActivePlaylist")),
              active());
    EXPECT_TRUE(active().Valid);
    EXPECT_EQ(active().Playlist.Id.path(), "/org/quillet/playlist/3");
    EXPECT_TRUE(renamed.empty());

    auto names = [&](uint index, uint max, const char* order, bool reverse) {
        std::vector<std::string> out;
        for (const TBusPlaylist& p : Service->GetPlaylists(index, max, order, reverse))
            out.push_back(p.Name.toStdString());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(names(0, 10, "UserDefined", false), (V{"rock", "Ambient", "jazz"}));
    EXPECT_EQ(names(0, 10, "Alphabetical", false), (V{"Ambient", "jazz", "rock"}));
    EXPECT_EQ(names(0, 2, "CreationDate", true), (V{"jazz", "rock"}));
    EXPECT_EQ(names(1, 1, "UserDefined", false), V{"Ambient"});
    EXPECT_TRUE(names(5, 10, "UserDefined", false).empty());
    EXPECT_TRUE(names(0, 0, "UserDefined", false).empty());
    EXPECT_TRUE(names(0, 10, "Newest", false).empty());

    for (const char* bad :
         {"/org/quillet/playlist/9", "/org/quillet/playlist/", "/org/quillet/playlist/x",
          "/org/quillet/track/1", "/org/quillet/playlist/-1"})
        Service->ActivatePlaylist(QDBusObjectPath(bad));
    EXPECT_EQ(Player.Calls, std::vector<std::string>{"activate 9"});
    Service->ActivatePlaylist(QDBusObjectPath("/org/quillet/playlist/7"));
    EXPECT_EQ(Player.Active, 7u);
    ASSERT_EQ(listChanges.size(), 2u);
    EXPECT_EQ(listChanges[1].second.keys(), QStringList{"ActivePlaylist"});

    // A rename is its own signal; a list closed changes the count.
    Player.Lists[0].Name = "Rock";
    Player.Lists.pop_back();
    Player.Active = 3;
    Service->Refresh();
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0].Name, "Rock");
    EXPECT_EQ(renamed[0].Id.path(), "/org/quillet/playlist/3");
    ASSERT_EQ(listChanges.size(), 3u);
    EXPECT_EQ(listChanges[2].second.value("PlaylistCount").toUInt(), 2u);
    EXPECT_TRUE(listChanges[2].second.contains("ActivePlaylist"));
}

// The art's file, as a client given the URL would decode it: its centre pixel.
QColor ArtUrlColour(const QVariantMap& meta) {
    const QImage image(QUrl(meta.value("mpris:artUrl").toString()).toLocalFile());
    return image.isNull() ? QColor(Qt::transparent)
                          : image.pixelColor(image.width() / 2, image.height() / 2);
}

// (Which picture a track has is album_art_test's; here, what the bus names.)
TEST_F(MprisTest, ArtUrlNamesAFileThatDecodesToThePicture) {
    setenv("XDG_CACHE_HOME", (Dir + "cache").c_str(), 1);
    WriteFile("e/a.mp3", WithId3Picture(ColourPng(Qt::red), std::string(64, '\0')));
    WriteFile("e/cover.png", ColourPng(Qt::blue));
    WriteFile("f/b.wav", "x");
    WriteFile("f/Cover.png", ColourPng(Qt::green));
    std::vector<std::string> asked;
    Service->RequestArt = [&](const std::string& path) { asked.push_back(path); };
    Player.Running = true;
    // The answer comes later, as the session's worker gives it.
    auto play = [&](const std::string& name) {
        Player.Current = TPlayerControl::TTrack{Dir + name, name, 0};
        Service->Refresh();
        EXPECT_FALSE(Service->Metadata().contains("mpris:artUrl")) << "asked, not answered yet";
        ASSERT_EQ(asked.back(), Dir + name);
        Service->SetArt(asked.back(), ArtFileOf(asked.back()));
        EXPECT_EQ(Changes.back().value("Metadata").toMap(), Service->Metadata());
    };

    // Embedded: written to the per-user cache, in the picture's own bytes.
    play("e/a.mp3");
    QVariantMap meta = Service->Metadata();
    EXPECT_EQ(ArtUrlColour(meta), QColor(Qt::red));
    const QString file = QUrl(meta.value("mpris:artUrl").toString()).toLocalFile();
    EXPECT_TRUE(file.startsWith(QString::fromStdString(Dir + "cache/quillet/art/")))
        << file.toStdString();

    // The folder's image is given as it is.
    play("f/b.wav");
    meta = Service->Metadata();
    EXPECT_EQ(ArtUrlColour(meta), QColor(Qt::green));
    EXPECT_EQ(QUrl(meta.value("mpris:artUrl").toString()).toLocalFile(),
              QString::fromStdString(Dir + "f/Cover.png"));

    // A late answer for a track no longer playing is dropped.
    play("e/a.mp3");
    Service->SetArt(Dir + "f/b.wav", Dir + "f/Cover.png");
    EXPECT_EQ(ArtUrlColour(Service->Metadata()), QColor(Qt::red));
    unsetenv("XDG_CACHE_HOME");
}

// A picture we refuse to decode (its header claims 20000 x 20000 pixels) is
// not handed to the desktop either, embedded or in the folder.
TEST_F(MprisTest, ArtPastTheDecodeCapsIsNotHandedOut) {
    setenv("XDG_CACHE_HOME", (Dir + "cache").c_str(), 1);
    QByteArray jpeg;
    QBuffer out(&jpeg);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImage(8, 8, QImage::Format_RGB32).save(&out, "JPEG"));
    const std::string small(jpeg.constData(), static_cast<size_t>(jpeg.size()));
    const int sof = jpeg.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    for (int at : {sof + 5, sof + 7}) {  // height, width: 20000 each
        jpeg[at] = static_cast<char>(20000 >> 8);
        jpeg[at + 1] = static_cast<char>(20000 & 0xFF);
    }
    const std::string huge(jpeg.constData(), static_cast<size_t>(jpeg.size()));
    WriteFile("h/a.mp3", WithId3Picture(huge, std::string(64, '\0')));
    WriteFile("g/b.wav", "x");
    WriteFile("g/cover.jpg", huge);
    EXPECT_EQ(ArtFileOf(Dir + "h/a.mp3"), "");
    EXPECT_EQ(ArtFileOf(Dir + "g/b.wav"), "");
    WriteFile("g/cover.jpg", small);  // a small one still is
    EXPECT_EQ(ArtFileOf(Dir + "g/b.wav"), Dir + "g/cover.jpg");
    unsetenv("XDG_CACHE_HOME");
}

TEST_F(MprisTest, LoopStatusAndShuffleAreReadWrittenAndAnnounced) {
    using L = TPlayerControl::TLoop;
    EXPECT_EQ(Service->LoopStatus(), "Playlist");
    EXPECT_FALSE(Service->Shuffle());
    struct Case {
        const char* Set;
        L Want;
        bool Announced;
    };
    const Case cases[] = {
        {"Track", L::Track, true},       {"Track", L::Track, false},  {"None", L::None, true},
        {"none", L::None, false},        {"Shuffle", L::None, false}, {"", L::None, false},
        {"Playlist", L::Playlist, true},
    };
    for (const Case& c : cases) {
        Changes.clear();
        Service->SetLoopStatus(QString::fromLatin1(c.Set));
        EXPECT_EQ(Player.Looping, c.Want) << c.Set;
        const QVariantMap want{{"LoopStatus", Service->LoopStatus()}};
        EXPECT_EQ(Changes,
                  c.Announced ? std::vector<QVariantMap>{want} : std::vector<QVariantMap>{})
            << c.Set;
    }
    Changes.clear();
    Service->SetShuffle(true);
    EXPECT_TRUE(Player.Shuffled);
    EXPECT_EQ(Changes, (std::vector<QVariantMap>{{{"Shuffle", true}}}));
    // Changed in the window: announced at the next look.
    Player.Looping = L::None;
    Player.Shuffled = false;
    Service->Refresh();
    EXPECT_EQ(Changes.back(), (QVariantMap{{"LoopStatus", "None"}, {"Shuffle", false}}));
}

// A private bus daemon for one test, and a second connection to it that
// plays the remote control.
class MprisBusTest : public MprisTest {
  protected:
    void SetUp() override {
        MprisTest::SetUp();
        FILE* p = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        ASSERT_NE(p, nullptr);
        char line[512] = {};
        if (std::fgets(line, sizeof line, p)) Address = QString::fromLatin1(line).trimmed();
        if (std::fgets(line, sizeof line, p)) DaemonPid = std::atoi(line);
        pclose(p);
        ASSERT_FALSE(Address.isEmpty()) << "no dbus-daemon";
        const QDBusConnection bus = QDBusConnection::connectToBus(Address, "mpris-test-player");
        ASSERT_TRUE(Service->Publish(bus));
        Remote = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(Address, "mpris-test-remote"));
        ASSERT_TRUE(Remote->isConnected());
    }
    void TearDown() override {
        Service.reset();
        Remote.reset();
        QDBusConnection::disconnectFromBus("mpris-test-player");
        QDBusConnection::disconnectFromBus("mpris-test-remote");
        if (DaemonPid > 0) ::kill(DaemonPid, SIGTERM);
        MprisTest::TearDown();
    }
    // A Properties call from the remote, answered while the loop runs.
    QDBusMessage Call(const QString& member, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(kMprisService, kMprisPath,
                                                        "org.freedesktop.DBus.Properties", member);
        m.setArguments(args);
        QDBusPendingCall pending = Remote->asyncCall(m, 5000);
        EXPECT_TRUE(WaitFor([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    QDBusMessage Set(const char* name, const QVariant& value) {
        return Call("Set", {QString(kMprisPlayer), QString(name),
                            QVariant::fromValue(QDBusVariant(value))});
    }
    QString Address;
    int DaemonPid = -1;
    std::unique_ptr<QDBusConnection> Remote;
};

// Every writable property takes a value of its own D-Bus type only; any other
// is refused with an error and changes nothing (Qt's own conversion would
// read the string 'no' as a true bool).
TEST_F(MprisBusTest, WritablePropertiesRefuseOtherTypes) {
    using L = TPlayerControl::TLoop;
    struct Case {
        const char* Name;
        QVariant Value;
    };
    const Case wrong[] = {
        {"Shuffle", QString("no")},
        {"Shuffle", QString("true")},
        {"Shuffle", int(1)},
        {"Shuffle", uint(1)},
        {"Shuffle", double(1)},
        {"Shuffle", QStringList{"true"}},
        {"Volume", QString("0.5")},
        {"Volume", int(0)},
        {"Volume", qlonglong(0)},
        {"Volume", true},
        {"LoopStatus", int(1)},
        {"LoopStatus", true},
        {"LoopStatus", QStringList{"None"}},
        {"LoopStatus", QVariant::fromValue(QDBusObjectPath("/None"))},
        {"Rate", QString("2")},
        {"Rate", int(2)},
    };
    Player.Slider = 1000;
    for (const Case& c : wrong) {
        SCOPED_TRACE(std::string(c.Name) + " as " + c.Value.metaType().name());
        const QDBusMessage reply = Set(c.Name, c.Value);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
        EXPECT_FALSE(Player.Shuffled);
        EXPECT_EQ(Player.Slider, 1000);
        EXPECT_EQ(Player.Looping, L::Playlist);
    }
    // The right types still work.
    EXPECT_EQ(Set("Shuffle", true).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(Player.Shuffled);
    EXPECT_EQ(Set("Volume", 0.5).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Player.Slider, SliderValueOf(0.5));
    EXPECT_EQ(Set("LoopStatus", QString("Track")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Player.Looping, L::Track);
    EXPECT_EQ(Set("Rate", 1.0).type(), QDBusMessage::ReplyMessage);
    // Read-only and unknown properties, and reading still answers.
    EXPECT_EQ(Set("PlaybackStatus", QString("Playing")).errorName(),
              "org.freedesktop.DBus.Error.PropertyReadOnly");
    EXPECT_EQ(Set("Bogus", true).errorName(), "org.freedesktop.DBus.Error.UnknownProperty");
    QDBusMessage got = Call("Get", {QString(kMprisPlayer), QString("Shuffle")});
    ASSERT_EQ(got.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(got.arguments().at(0).value<QDBusVariant>().variant(), QVariant(true));
    got = Call("Get", {QString(kMprisRoot), QString("Identity")});
    EXPECT_EQ(got.arguments().at(0).value<QDBusVariant>().variant(), QVariant("Quillet"));
    got = Call("GetAll", {QString(kMprisPlayer)});
    ASSERT_EQ(got.type(), QDBusMessage::ReplyMessage);
    const QVariantMap all = qdbus_cast<QVariantMap>(got.arguments().at(0));
    EXPECT_EQ(all.value("LoopStatus"), QVariant("Track"));
    EXPECT_EQ(all.value("CanControl"), QVariant(true));
    EXPECT_TRUE(all.contains("Metadata"));
    EXPECT_EQ(Call("Get", {QString("org.example.None"), QString("Shuffle")}).errorName(),
              "org.freedesktop.DBus.Error.UnknownInterface");

    // A client of its own, as a user would type it: the string is refused.
    Player.Shuffled = false;
    std::atomic<int> status{-1};
    std::thread client([&] {
        const std::string cmd = "dbus-send --bus='" + Address.toStdString() +
                                "' --print-reply --dest=" + kMprisService + " " + kMprisPath +
                                " org.freedesktop.DBus.Properties.Set string:" + kMprisPlayer +
                                " string:Shuffle variant:string:no >/dev/null 2>&1";
        status = std::system(cmd.c_str());
    });
    EXPECT_TRUE(WaitFor([&] { return status >= 0; }));
    client.join();
    EXPECT_NE(status, 0);
    EXPECT_FALSE(Player.Shuffled);
    // The introspection shows the types, and the standard interface once.
    got = QDBusMessage::createMethodCall(kMprisService, kMprisPath,
                                         "org.freedesktop.DBus.Introspectable", "Introspect");
    QDBusPendingCall pending = Remote->asyncCall(got, 5000);
    ASSERT_TRUE(WaitFor([&] { return pending.isFinished(); }));
    const QString xml = pending.reply().arguments().value(0).toString();
    EXPECT_TRUE(xml.contains("<property name=\"Shuffle\" type=\"b\" access=\"readwrite\"/>"))
        << xml.toStdString();
    EXPECT_EQ(xml.count("<interface name=\"org.freedesktop.DBus.Properties\">"), 1)
        << xml.toStdString();
}

}  // namespace
}  // namespace quillet::test
