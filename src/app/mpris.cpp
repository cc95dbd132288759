#include "mpris.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QMetaProperty>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "command_line.h"
#include "gain.h"
#include "mime_types.h"
#include "paths.h"

namespace quillet {
namespace {

constexpr int kSliderMax = 10000;  // -100 dB: silence
using TLoop = TPlayerControl::TLoop;
constexpr std::pair<TLoop, const char*> kLoopNames[] = {
    {TLoop::None, "None"}, {TLoop::Track, "Track"}, {TLoop::Playlist, "Playlist"}};
constexpr int kPollMs = 1000;
constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr char kTrackPrefix[] = "/org/quillet/track/";

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// A file URL for any path bytes (invalid UTF-8 included), as the bus wants it.
QString FileUrl(const std::string& path) {
    return QStringLiteral("file://") +
           QString::fromLatin1(
               QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding("/"));
}

// The root interface, as the bus shows it.
class TRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
  public:
    explicit TRootAdaptor(TMprisService* service) : QDBusAbstractAdaptor(service), S(*service) {}
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Quillet"); }
    QString DesktopEntry() const { return QStringLiteral("quillet"); }
    QStringList SupportedUriSchemes() const {
        return {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https"),
                QStringLiteral("icy"), QStringLiteral("icyx")};
    }
    QStringList SupportedMimeTypes() const { return S.SupportedMimeTypes(); }
  public slots:
    void Raise() { S.Raise(); }
    void Quit() { S.Quit(); }

  private:
    TMprisService& S;
};

class TPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
  public:
    explicit TPlayerAdaptor(TMprisService* service) : QDBusAbstractAdaptor(service), S(*service) {
        setAutoRelaySignals(false);
    }
    QString PlaybackStatus() const { return S.PlaybackStatus(); }
    double Rate() const { return 1.0; }
    void SetRate(double) {}  // one rate only: a client's other rates are ignored
    QVariantMap Metadata() const { return S.Metadata(); }
    double Volume() const { return S.Volume(); }
    void SetVolume(double volume) { S.SetVolume(volume); }
    QString LoopStatus() const { return S.LoopStatus(); }
    void SetLoopStatus(const QString& status) { S.SetLoopStatus(status); }
    bool Shuffle() const { return S.Shuffle(); }
    void SetShuffle(bool on) { S.SetShuffle(on); }
    qlonglong Position() const { return S.Position(); }
    bool CanGoNext() const { return S.CanGoNext(); }
    bool CanGoPrevious() const { return S.CanGoPrevious(); }
    bool CanPlay() const { return S.CanPlay(); }
    bool CanPause() const { return S.CanPause(); }
    bool CanSeek() const { return S.CanSeek(); }
    bool CanControl() const { return true; }
  public slots:
    void Next() { S.Next(); }
    void Previous() { S.Previous(); }
    void Pause() { S.Pause(); }
    void PlayPause() { S.PlayPause(); }
    void Stop() { S.Stop(); }
    void Play() { S.Play(); }
    void Seek(qlonglong Offset) { S.Seek(Offset); }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        S.SetPosition(TrackId, Position);
    }
    void OpenUri(const QString& Uri) { S.OpenUri(Uri); }
  signals:
    void Seeked(qlonglong Position);

  private:
    TMprisService& S;
};

class TPlaylistsAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Playlists")
    Q_PROPERTY(uint PlaylistCount READ PlaylistCount)
    Q_PROPERTY(QStringList Orderings READ Orderings)
    Q_PROPERTY(quillet::TBusActivePlaylist ActivePlaylist READ ActivePlaylist)
  public:
    explicit TPlaylistsAdaptor(TMprisService* service)
        : QDBusAbstractAdaptor(service), S(*service) {
        setAutoRelaySignals(false);
    }
    uint PlaylistCount() const { return S.PlaylistCount(); }
    QStringList Orderings() const { return S.Orderings(); }
    TBusActivePlaylist ActivePlaylist() const { return S.ActivePlaylist(); }
  public slots:
    void ActivatePlaylist(const QDBusObjectPath& PlaylistId) { S.ActivatePlaylist(PlaylistId); }
    QList<quillet::TBusPlaylist> GetPlaylists(uint Index, uint MaxCount, const QString& Order,
                                              bool ReverseOrder) {
        return S.GetPlaylists(Index, MaxCount, Order, ReverseOrder);
    }
  signals:
    void PlaylistChanged(quillet::TBusPlaylist Playlist);

  private:
    TMprisService& S;
};

// org.freedesktop.DBus.Properties for the object, answered before Qt's own:
// the same Get and GetAll over the two interfaces' properties, and a Set
// that takes a value of the property's own D-Bus type only, refusing any
// other with an error (Qt's own converts what it can: the string 'no' is a
// true bool for it).
class TPropertiesAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
    // Qt describes the standard interface itself: not twice.
    Q_CLASSINFO("D-Bus Introspection",
                "  <!-- org.freedesktop.DBus.Properties: answered by the player -->\n")
  public:
    TPropertiesAdaptor(TMprisService* service, std::vector<QDBusAbstractAdaptor*> interfaces)
        : QDBusAbstractAdaptor(service), FCall(*service), FInterfaces(std::move(interfaces)) {
        setAutoRelaySignals(false);
    }

  public slots:
    QDBusVariant Get(const QString& interface, const QString& name) {
        QDBusAbstractAdaptor* adaptor = nullptr;
        const QMetaProperty property = Find(interface, name, adaptor);
        if (!adaptor) return {};
        return QDBusVariant(property.read(adaptor));
    }

    QVariantMap GetAll(const QString& interface) {
        QVariantMap all;
        for (QDBusAbstractAdaptor* adaptor : FInterfaces) {
            if (!interface.isEmpty() && interface != InterfaceOf(adaptor)) continue;
            const QMetaObject* meta = adaptor->metaObject();
            for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
                all.insert(QLatin1String(meta->property(i).name()),
                           meta->property(i).read(adaptor));
            return all;
        }
        sendErrorReply(QDBusError::UnknownInterface, QStringLiteral("No interface ") + interface);
        return all;
    }

    void Set(const QString& interface, const QString& name, const QDBusVariant& value) {
        QDBusAbstractAdaptor* adaptor = nullptr;
        const QMetaProperty property = Find(interface, name, adaptor);
        if (!adaptor) return;
        if (!property.isWritable()) {
            sendErrorReply(QDBusError::PropertyReadOnly, name + QStringLiteral(" is read-only"));
            return;
        }
        const QVariant given = value.variant();
        // Exactly the property's type: a bool for Shuffle, a double for
        // Volume and Rate, a string for LoopStatus.
        if (given.metaType() != property.metaType()) {
            sendErrorReply(QDBusError::InvalidArgs,
                           name + QStringLiteral(" takes a value of type ") +
                               QLatin1String(property.metaType().name()) +
                               QStringLiteral(", not ") + QLatin1String(given.metaType().name()));
            return;
        }
        property.write(adaptor, given);
    }

  private:
    static QString InterfaceOf(const QDBusAbstractAdaptor* adaptor) {
        const QMetaObject* meta = adaptor->metaObject();
        return QLatin1String(meta->classInfo(meta->indexOfClassInfo("D-Bus Interface")).value());
    }

    // The property `name` of `interface` (of any, when empty); `adaptor` is
    // left null, and the error sent, when there is none.
    QMetaProperty Find(const QString& interface, const QString& name,
                       QDBusAbstractAdaptor*& adaptor) {
        bool known = interface.isEmpty();
        for (QDBusAbstractAdaptor* candidate : FInterfaces) {
            if (!interface.isEmpty() && interface != InterfaceOf(candidate)) continue;
            known = true;
            const QMetaObject* meta = candidate->metaObject();
            const int index = meta->indexOfProperty(name.toLatin1().constData());
            if (index >= meta->propertyOffset()) {
                adaptor = candidate;
                return meta->property(index);
            }
        }
        if (known)
            sendErrorReply(QDBusError::UnknownProperty, QStringLiteral("No property ") + name);
        else
            sendErrorReply(QDBusError::UnknownInterface,
                           QStringLiteral("No interface ") + interface);
        return {};
    }

    // The call being answered (Qt sets it on the adaptor's parent).
    void sendErrorReply(QDBusError::ErrorType type, const QString& text) {
        FCall.sendErrorReply(type, text);
    }

    QDBusContext& FCall;
    std::vector<QDBusAbstractAdaptor*> FInterfaces;
};

constexpr char kUserDefined[] = "UserDefined";
constexpr char kAlphabetical[] = "Alphabetical";
constexpr char kCreationDate[] = "CreationDate";

TBusPlaylist BusPlaylistOf(const TPlayerControl::TPlaylist& list) {
    return {QDBusObjectPath(QLatin1String(kPlaylistPathPrefix) + QString::number(list.Id)),
            Text(list.Name), QString()};
}

// The types the playlists interface passes, known to the bus once.
void RegisterBusTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<TBusPlaylist>();
        qDBusRegisterMetaType<TBusActivePlaylist>();
        qDBusRegisterMetaType<QList<TBusPlaylist>>();
        return true;
    }();
    (void)once;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const TBusPlaylist& playlist) {
    arg.beginStructure();
    arg << playlist.Id << playlist.Name << playlist.Icon;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TBusPlaylist& playlist) {
    arg.beginStructure();
    arg >> playlist.Id >> playlist.Name >> playlist.Icon;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const TBusActivePlaylist& active) {
    arg.beginStructure();
    arg << active.Valid << active.Playlist;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TBusActivePlaylist& active) {
    arg.beginStructure();
    arg >> active.Valid >> active.Playlist;
    arg.endStructure();
    return arg;
}

double BusVolumeOf(int sliderValue) {
    if (sliderValue >= kSliderMax) return 0.0;
    if (sliderValue <= 0) return 1.0;
    return VolumeFactor(-sliderValue);
}

int SliderValueOf(double busVolume) {
    if (!(busVolume > 0.0)) return kSliderMax;  // 0, negative and NaN: silence
    if (busVolume >= 1.0) return 0;
    const double value = std::round(-2000.0 * std::log10(busVolume));
    return value >= kSliderMax ? kSliderMax : static_cast<int>(value);
}

TMprisService::TMprisService(TPlayerControl& player, QObject* parent)
    : QObject(parent), FPlayer(player) {
    RegisterBusTypes();
    FLastLists = FPlayer.Playlists();
    FLastActive = FPlayer.ActivePlaylist();
    FPoll.setInterval(kPollMs);
    connect(&FPoll, &QTimer::timeout, this, &TMprisService::Refresh);
    FLast = Snapshot();
}

bool TMprisService::Publish(QDBusConnection bus) {
    if (!bus.isConnected()) return false;
    auto* root = new TRootAdaptor(this);
    auto* player = new TPlayerAdaptor(this);
    auto* playlists = new TPlaylistsAdaptor(this);
    auto* properties = new TPropertiesAdaptor(this, {root, player, playlists});
    if (!bus.registerObject(QLatin1String(kMprisPath), this)) {
        delete root;
        delete player;
        delete playlists;
        delete properties;
        return false;
    }
    // A second player on the same bus (the socket could not be shared) takes
    // the instance form of the name.
    if (!bus.registerService(QLatin1String(kMprisService)) &&
        !bus.registerService(QLatin1String(kMprisService) + QStringLiteral(".instance") +
                             QString::number(QCoreApplication::applicationPid()))) {
        bus.unregisterObject(QLatin1String(kMprisPath));
        return false;
    }
    Notify = [bus](const QString& interface, const QVariantMap& changed) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QLatin1String(kMprisPath), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"));
        signal << interface << changed << QStringList();
        QDBusConnection(bus).send(signal);
    };
    SendSeeked = [player](qint64 position) { emit player->Seeked(position); };
    SendPlaylistChanged = [playlists](const TBusPlaylist& playlist) {
        emit playlists->PlaylistChanged(playlist);
    };
    return true;
}

void TMprisService::SetArt(const std::string& path, const std::string& artFile) {
    if (FTrack && FTrack->Path == path) {
        FArtPath = path;
        FArtFile = artFile;
        Refresh();
    }
}

void TMprisService::UpdateTrack() {
    std::optional<TPlayerControl::TTrack> track = FPlayer.Track();
    if (track == FTrack) return;
    // The list's tags arriving for the same track keep its id and art.
    const bool newPath = !track || !FTrack || track->Path != FTrack->Path;
    const bool newTrack = newPath || track->Entry != FTrack->Entry || track->Row != FTrack->Row;
    FTrack = std::move(track);
    if (newTrack) ++FTrackSerial;
    if (newPath) {
        FArtPath.clear();
        FArtFile.clear();
        if (FTrack && RequestArt) RequestArt(FTrack->Path);
    }
}

QDBusObjectPath TMprisService::TrackId() const {
    if (!FTrack) return QDBusObjectPath(QLatin1String(kNoTrack));
    return QDBusObjectPath(QLatin1String(kTrackPrefix) + QString::number(FTrackSerial));
}

QVariantMap TMprisService::Snapshot() const {
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("Volume"), Volume()},
        {QStringLiteral("LoopStatus"), LoopStatus()},
        {QStringLiteral("Shuffle"), Shuffle()},
        {QStringLiteral("CanPlay"), CanPlay()},
        {QStringLiteral("CanPause"), CanPause()},
        {QStringLiteral("CanSeek"), CanSeek()},
        {QStringLiteral("CanGoNext"), CanGoNext()},
        {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
    };
}

void TMprisService::Refresh() {
    FRefreshPending = false;
    UpdateTrack();
    const QVariantMap now = Snapshot();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (FLast.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    FLast = now;
    if (!changed.isEmpty() && Notify) Notify(QLatin1String(kMprisPlayer), changed);
    RefreshPlaylists();
    // Paused or stopped, nothing moves by itself: the player's events
    // refresh, and the window is not woken meanwhile.
    if (FPlayer.Status() != TPlayerControl::TStatus::Playing) {
        FPoll.stop();
    } else if (!FPoll.isActive()) {
        FPoll.start();
    }
}

void TMprisService::RefreshPlaylists() {
    std::vector<TPlayerControl::TPlaylist> lists = FPlayer.Playlists();
    std::optional<TPlayerControl::TPlaylist> active = FPlayer.ActivePlaylist();
    QVariantMap changed;
    if (lists.size() != FLastLists.size())
        changed.insert(QStringLiteral("PlaylistCount"), PlaylistCount());
    if (active != FLastActive)
        changed.insert(QStringLiteral("ActivePlaylist"), QVariant::fromValue(ActivePlaylist()));
    for (const TPlayerControl::TPlaylist& list : lists)
        for (const TPlayerControl::TPlaylist& was : FLastLists)
            if (was.Id == list.Id && was.Name != list.Name && SendPlaylistChanged)
                SendPlaylistChanged(BusPlaylistOf(list));
    FLastLists = std::move(lists);
    FLastActive = std::move(active);
    if (!changed.isEmpty() && Notify) Notify(QLatin1String(kMprisPlaylists), changed);
}

void TMprisService::RefreshSoon() {
    if (FRefreshPending) return;
    FRefreshPending = true;
    QMetaObject::invokeMethod(this, &TMprisService::Refresh, Qt::QueuedConnection);
}

void TMprisService::PositionJumped() {
    if (SendSeeked) SendSeeked(Position());
}

QStringList TMprisService::SupportedMimeTypes() const {
    QStringList types;
    for (const std::string& type : quillet::SupportedMimeTypes()) types << Text(type);
    return types;
}

void TMprisService::Raise() {
    FPlayer.Raise();
}

void TMprisService::Quit() {
    FPlayer.Quit();
}

QString TMprisService::PlaybackStatus() const {
    switch (FPlayer.Status()) {
        case TPlayerControl::TStatus::Playing:
            return QStringLiteral("Playing");
        case TPlayerControl::TStatus::Paused:
            return QStringLiteral("Paused");
        default:
            return QStringLiteral("Stopped");
    }
}

QVariantMap TMprisService::Metadata() const {
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId()));
    if (!FTrack) return map;
    const TPlayPosition pos = FPlayer.Position();
    // The sound's own length while it runs; the list's before.
    const int64_t length = pos.Length >= 0 ? pos.Length : FTrack->Length;
    if (length >= 0) map.insert(QStringLiteral("mpris:length"), qlonglong(length));
    map.insert(QStringLiteral("xesam:url"),
               IsUrl(FTrack->Path) ? Text(FTrack->Path) : FileUrl(FTrack->Path));
    const TTrackTags* tags = FTrack->Tags ? &*FTrack->Tags : nullptr;
    // The tag's title where there is one; the list's row (a file name or a
    // playlist's title) otherwise.
    map.insert(QStringLiteral("xesam:title"),
               Text(tags && !tags->Title.empty() ? tags->Title : FTrack->Title));
    if (tags && !tags->Artist.empty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{Text(tags->Artist)});
    if (tags && !tags->Album.empty()) map.insert(QStringLiteral("xesam:album"), Text(tags->Album));
    if (FArtPath == FTrack->Path && !FArtFile.empty())
        map.insert(QStringLiteral("mpris:artUrl"), FileUrl(FArtFile));
    return map;
}

qint64 TMprisService::Position() const {
    return FPlayer.Position().Position;
}

double TMprisService::Volume() const {
    return BusVolumeOf(FPlayer.Volume());
}

void TMprisService::SetVolume(double volume) {
    if (std::isnan(volume)) return;
    FPlayer.SetVolume(SliderValueOf(volume));
    Refresh();
}

QString TMprisService::LoopStatus() const {
    const TLoop loop = FPlayer.Loop();
    for (const auto& [l, name] : kLoopNames)
        if (l == loop) return QLatin1String(name);
    return QStringLiteral("None");
}

void TMprisService::SetLoopStatus(const QString& status) {
    for (const auto& [loop, name] : kLoopNames)
        if (status == QLatin1String(name)) FPlayer.SetLoop(loop);
    Refresh();
}

bool TMprisService::Shuffle() const {
    return FPlayer.Shuffle();
}

void TMprisService::SetShuffle(bool on) {
    FPlayer.SetShuffle(on);
    Refresh();
}

bool TMprisService::CanPlay() const {
    return FPlayer.Status() != TPlayerControl::TStatus::Stopped || FPlayer.Track().has_value();
}

bool TMprisService::CanPause() const {
    return CanPlay();
}

bool TMprisService::CanSeek() const {
    return FPlayer.CanSeek();
}

bool TMprisService::CanGoNext() const {
    return FPlayer.CanGoNext();
}

bool TMprisService::CanGoPrevious() const {
    return FPlayer.CanGoPrevious();
}

// The Pause button is a toggle of the window's own, which a click while
// nothing played may have put out of step with the output: a second click
// then brings the output where it was asked to go.
void TMprisService::Play() {
    using S = TPlayerControl::TStatus;
    switch (FPlayer.Status()) {
        case S::Playing:
            break;
        case S::Paused:
            FPlayer.PauseButton();
            if (FPlayer.Status() == S::Paused) FPlayer.PauseButton();
            break;
        case S::Stopped:
            FPlayer.Play();
            break;
    }
    Refresh();
}

void TMprisService::Pause() {
    using S = TPlayerControl::TStatus;
    if (FPlayer.Status() == S::Playing) {
        FPlayer.PauseButton();
        if (FPlayer.Status() == S::Playing) FPlayer.PauseButton();
    }
    Refresh();
}

void TMprisService::PlayPause() {
    if (FPlayer.Status() == TPlayerControl::TStatus::Playing) {
        Pause();
    } else {
        Play();
    }
}

void TMprisService::Stop() {
    FPlayer.Stop();
    Refresh();
}

void TMprisService::Next() {
    if (CanGoNext()) FPlayer.Next();
    Refresh();
}

void TMprisService::Previous() {
    if (CanGoPrevious()) FPlayer.Previous();
    Refresh();
}

void TMprisService::Seek(qint64 offset) {
    if (!CanSeek()) return;
    const TPlayPosition pos = FPlayer.Position();
    qint64 target = 0;
    if (__builtin_add_overflow(pos.Position, offset, &target)) target = offset < 0 ? 0 : LLONG_MAX;
    if (target < 0) target = 0;
    // Past the end is the next track, as a client seeking there expects.
    if (pos.Length >= 0 && target > pos.Length) {
        Next();
        return;
    }
    FPlayer.SeekTo(target);
    PositionJumped();
}

void TMprisService::SetPosition(const QDBusObjectPath& trackId, qint64 position) {
    if (!CanSeek() || trackId != TrackId() || position < 0) return;
    const TPlayPosition pos = FPlayer.Position();
    if (pos.Length >= 0 && position > pos.Length) return;
    FPlayer.SeekTo(position);
    PositionJumped();
}

uint TMprisService::PlaylistCount() const {
    return static_cast<uint>(FPlayer.Playlists().size());
}

QStringList TMprisService::Orderings() const {
    return {QLatin1String(kUserDefined), QLatin1String(kAlphabetical),
            QLatin1String(kCreationDate)};
}

TBusActivePlaylist TMprisService::ActivePlaylist() const {
    const std::optional<TPlayerControl::TPlaylist> active = FPlayer.ActivePlaylist();
    if (!active) return {false, {QDBusObjectPath(QStringLiteral("/")), QString(), QString()}};
    return {true, BusPlaylistOf(*active)};
}

QList<TBusPlaylist> TMprisService::GetPlaylists(uint index, uint maxCount, const QString& order,
                                                bool reverse) {
    if (!Orderings().contains(order)) {
        Refuse(QStringLiteral("No ordering ") + order);
        return {};
    }
    std::vector<TPlayerControl::TPlaylist> lists = FPlayer.Playlists();
    using TList = TPlayerControl::TPlaylist;
    if (order == QLatin1String(kAlphabetical)) {
        std::stable_sort(lists.begin(), lists.end(), [](const TList& a, const TList& b) {
            return QString::localeAwareCompare(Text(a.Name), Text(b.Name)) < 0;
        });
    } else if (order == QLatin1String(kCreationDate)) {
        // Ids are handed out in the order the lists were made.
        std::stable_sort(lists.begin(), lists.end(),
                         [](const TList& a, const TList& b) { return a.Id < b.Id; });
    }
    if (reverse) std::reverse(lists.begin(), lists.end());
    QList<TBusPlaylist> out;
    for (size_t i = index; i < lists.size() && static_cast<uint>(out.size()) < maxCount; ++i)
        out.append(BusPlaylistOf(lists[i]));
    return out;
}

void TMprisService::ActivatePlaylist(const QDBusObjectPath& id) {
    const QString path = id.path();
    const QString prefix = QLatin1String(kPlaylistPathPrefix);
    bool number = false;
    const qulonglong list =
        path.startsWith(prefix) ? path.mid(prefix.size()).toULongLong(&number) : 0;
    if (!number || !FPlayer.ActivatePlaylist(list)) {
        Refuse(QStringLiteral("No playlist ") + path);
        return;
    }
    Refresh();
}

void TMprisService::Refuse(const QString& text) {
    if (calledFromDBus()) sendErrorReply(QDBusError::InvalidArgs, text);
}

void TMprisService::OpenUri(const QString& uri) {
    const std::string text = uri.toStdString();
    // A file URI's path as its bytes, whatever their encoding; a stream's
    // address as given. Nothing else is taken.
    std::optional<std::string> path = FileUrlPath(text);
    if (!path && IsStreamUrl(text) && QUrl(uri, QUrl::StrictMode).isValid()) path = text;
    if (!path) return;
    FPlayer.Open({*path});
    Refresh();
}

}  // namespace quillet

#include "mpris.moc"
