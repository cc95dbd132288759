#include "device_menu.h"

#include <QEvent>
#include <algorithm>
#include <cstdio>

#include "session_store.h"

namespace quillet {
namespace {

constexpr TUiText kMenuText = {"OutputDevice", "Output device"};
constexpr TUiText kDefaultText = {"DeviceDefault", "System default"};
constexpr TUiText kMissingText = {"DeviceMissing", "%1 (not available)"};
constexpr TUiText kFallBackText = {
    "DeviceFallBack", "The output device \"%1\" is not available; playing on the system default."};
constexpr char kDeviceKey[] = "Device";

}  // namespace

std::string LoadDeviceChoice(const std::string& folder) {
    return TStateSection(folder, kOutputSection).Read(kDeviceKey);
}

void SaveDeviceChoice(const std::string& folder, const std::string& name) {
    // A line break would end the value early: such a name is not kept.
    if (name.find_first_of("\r\n") != std::string::npos) return;
    TStateSection ini(folder, kOutputSection);
    // Quoted: the reader would drop blanks around a bare value.
    ini.Write(kDeviceKey, '"' + name + '"');
    ini.Save();
}

TDeviceMenu::TDeviceMenu(TPlaybackController& player, std::string stateFolder, QWidget* parent)
    : QMenu(parent), FPlayer(player), FFolder(std::move(stateFolder)) {
    setObjectName(QLatin1String(kMenuText.Key));
    FWorker.setMaxThreadCount(1);
    FWorker.setExpiryTimeout(0);  // jobs are rare: no idle thread is kept
    FDefault = addAction(QString());
    FDefault->setObjectName(QLatin1String(kDefaultText.Key));
    FDefault->setCheckable(true);
    connect(FDefault, &QAction::triggered, this, [this] { Choose({}); });
    addSeparator();
    connect(this, &QMenu::aboutToShow, this, &TDeviceMenu::Refresh);
    FPlayer.AddListener(this);
    // The state file is written before the session's own keys are, at close.
    if (parent) parent->window()->installEventFilter(this);
    LoadTexts([](const char*, const char* builtIn) { return std::string(builtIn); });
    if (!FFolder.empty()) {
        FWorker.start([this, folder = FFolder] {
            const std::string name = LoadDeviceChoice(folder);
            QMetaObject::invokeMethod(
                this,
                [this, name] {
                    if (FChosenByUser || name.empty()) return;
                    FPlayer.SetDeviceName(name);
                    Rebuild();
                },
                Qt::QueuedConnection);
        });
    }
}

TDeviceMenu::~TDeviceMenu() {
    FPlayer.RemoveListener(this);
    FWorker.waitForDone();
}

bool TDeviceMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) FWorker.waitForDone();
    return QMenu::eventFilter(watched, event);
}

void TDeviceMenu::LoadTexts(const TTextReader& read) {
    auto text = [&read](const TUiText& t) {
        return QString::fromStdString(read(t.Key, t.BuiltIn));
    };
    // A format that would drop the device's name is not taken.
    auto format = [&text](const TUiText& t) {
        const QString f = text(t);
        return f.contains(QLatin1String("%1")) ? f : QLatin1String(t.BuiltIn);
    };
    setTitle(text(kMenuText));
    FDefault->setText(text(kDefaultText));
    FMissingFormat = format(kMissingText);
    FFallBackFormat = format(kFallBackText);
    Rebuild();
}

void TDeviceMenu::Refresh() {
    if (FListing) return;
    FListing = true;
    FWorker.start([this] {
        // The sound system may be started for this: seconds on a bad day.
        std::vector<std::string> names = FPlayer.DeviceNames();
        QMetaObject::invokeMethod(
            this,
            [this, names = std::move(names)]() mutable {
                FListing = false;
                FListed = true;
                FNames = std::move(names);
                Rebuild();
            },
            Qt::QueuedConnection);
    });
}

void TDeviceMenu::Choose(const std::string& name) {
    FChosenByUser = true;
    FPlayer.SetDeviceName(name);
    ShowChecks();
    if (FFolder.empty()) return;
    FWorker.start([folder = FFolder, name] {
        try {
            SaveDeviceChoice(folder, name);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quillet: the output device could not be kept: %s\n", e.what());
        }
    });
}

void TDeviceMenu::Rebuild() {
    // The entries go later: one of them may be the one being triggered.
    for (QAction* action : FDevices) {
        removeAction(action);
        action->deleteLater();
    }
    FDevices.clear();
    std::vector<std::string> names = FNames;
    const std::string chosen = FPlayer.DeviceState().Chosen;
    if (!chosen.empty() && std::find(names.begin(), names.end(), chosen) == names.end())
        names.push_back(chosen);
    for (const std::string& name : names) {
        QAction* action = addAction(QString::fromStdString(name));
        action->setCheckable(true);
        action->setData(QString::fromStdString(name));
        connect(action, &QAction::triggered, this, [this, name] { Choose(name); });
        FDevices.push_back(action);
    }
    ShowChecks();
}

void TDeviceMenu::ShowChecks() {
    const TDXAudioOut::TDeviceState state = FPlayer.DeviceState();
    FDefault->setChecked(state.Chosen.empty());
    for (QAction* action : FDevices) {
        const std::string name = action->data().toString().toStdString();
        const bool listed = std::find(FNames.begin(), FNames.end(), name) != FNames.end();
        const bool missing = name == state.Chosen && (state.FellBack || (FListed && !listed));
        const QString shown = QString::fromStdString(name);
        action->setText(missing ? FMissingFormat.arg(shown) : shown);
        action->setChecked(name == state.Chosen);
    }
}

void TDeviceMenu::DeviceChanged() {
    const TDXAudioOut::TDeviceState state = FPlayer.DeviceState();
    ShowChecks();
    if (!state.FellBack || !OnMessage) return;
    // After the sink's notice is done: a message box runs a loop of its own.
    QMetaObject::invokeMethod(
        this,
        [this, text = FFallBackFormat.arg(QString::fromStdString(state.Chosen)).toStdString()] {
            if (OnMessage) OnMessage(text);
        },
        Qt::QueuedConnection);
}

}  // namespace quillet
