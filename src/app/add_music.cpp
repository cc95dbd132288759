#include "add_music.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app_errors.h"
#include "command_line.h"
#include "input_table.h"
#include "paths.h"
#include "session_store.h"
#include "textfile.h"

namespace quillet {

namespace {

constexpr char kAddSection[] = "add";
// Rows appended per turn of the event loop: a walk's thousands of entries
// never hold the window for long.
constexpr size_t kAppendChunk = 500;

bool MatchesEverything(const QString& pattern) {
    const QString p = pattern.trimmed();
    return p == QLatin1String("*") || p == QLatin1String("*.*");
}

}  // namespace

QString AudioFileFilter(const QString& audioLabel, const QString& filter) {
    QStringList patterns;
    for (const std::string& ext : PlayableExtensions())
        patterns << QLatin1Char('*') + QString::fromStdString(ext);
    QString result = audioLabel + QLatin1Char('|') + patterns.join(QLatin1Char(';'));
    if (!filter.isEmpty()) result += QLatin1Char('|') + filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    bool everything = false;
    for (qsizetype i = 1; i < parts.size(); i += 2) everything |= MatchesEverything(parts[i]);
    if (!everything) result += QStringLiteral("|All files|*");
    return result;
}

void SortAsShown(std::vector<std::string>& files) {
    std::stable_sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return NameLess(FileNamePart(a), FileNamePart(b));
    });
}

std::string MusicFolder(const std::string& configHome, const std::string& home) {
    // Lines such as XDG_MUSIC_DIR="$HOME/Music", as xdg-user-dirs writes them.
    try {
        for (std::string line : ReadTextLines(configHome + "user-dirs.dirs")) {
            constexpr std::string_view key = "XDG_MUSIC_DIR=\"";
            if (!line.starts_with(key) || line.size() < key.size() + 1 || line.back() != '"')
                continue;
            std::string folder = line.substr(key.size(), line.size() - key.size() - 1);
            if (folder.starts_with("$HOME")) folder = home + folder.substr(5);
            if (!folder.starts_with('/') || folder == home || folder == home + "/") break;
            if (QFileInfo(QString::fromStdString(folder)).isDir()) return folder;
            break;
        }
    } catch (const std::exception&) {
        // No such file: the desktop names no music folder.
    }
    return home;
}

TAddMusic::TAddMusic(TPlaylistSet& lists, QWidget& window, QMenu& menu,
                     std::function<TDialogProvider&()> dialogs)
    : FLists(lists), FWindow(window), FDialogs(std::move(dialogs)), FConfigFolder(ConfigFolder()) {
    FWalks.setMaxThreadCount(1);
    menu.addSeparator();
    FAction = menu.addAction(FFolderTitle + QStringLiteral("..."));
    connect(FAction, &QAction::triggered, this, [this] { Guarded([this] { AddFolder(); }); });
}

TAddMusic::~TAddMusic() {
    // A long walk ends at its next entry; nothing it found is used.
    FCancel->store(true);
    FWalks.waitForDone();
}

QString TAddMusic::StartFolder() {
    if (!FFolderLoaded && !FConfigFolder.empty()) {
        FFolderLoaded = true;
        const QString saved =
            QString::fromStdString(TStateSection(FConfigFolder, kAddSection).Read("Folder"));
        if (!saved.isEmpty() && QFileInfo(saved).isDir()) FFolder = saved;
    }
    if (!FFolder.isEmpty()) return FFolder;
    const std::string home = QDir::homePath().toStdString();
    std::string configHome = FConfigFolder;
    if (!configHome.empty())
        configHome = ExtractFilePath(configHome.substr(0, configHome.size() - 1));
    return QString::fromStdString(MusicFolder(configHome, home));
}

void TAddMusic::Remember(const std::string& folder) {
    if (folder.empty()) return;
    FFolder = QString::fromStdString(folder);
    FFolderLoaded = true;
    if (FConfigFolder.empty()) return;
    try {
        TStateSection ini(FConfigFolder, kAddSection);
        ini.Write("Folder", folder);
        ini.Save();
    } catch (const std::exception& e) {
        // The folder is still used for this run.
        std::fprintf(stderr, "quillet: the folder used last could not be kept: %s\n", e.what());
    }
}

void TAddMusic::AddFiles(const TFileDialogSetup& setup) {
    TFileDialogSetup shown = setup;
    shown.Filter = AudioFileFilter(FAudioLabel, setup.Filter);
    shown.Folder = StartFolder();
    std::vector<std::string> files = FDialogs().OpenSoundFiles(&FWindow, shown);
    if (files.empty()) return;
    SortAsShown(files);
    Remember(ExtractFilePath(files.front()));
    std::vector<TPlaylistEntry> entries;
    std::vector<std::string> rows;
    for (const std::string& file : files) {
        if (file.empty()) continue;
        TPlaylistEntry& entry = entries.emplace_back();
        entry.Title = std::string(FileNamePart(file));
        entry.FilePath = file;
        rows.push_back(CutTitle(entry.Title));
    }
    FLists.Shown().Append(std::move(entries), std::move(rows));
}

void TAddMusic::AddFolder() {
    TFileDialogSetup setup;
    setup.Title = FFolderTitle;
    setup.Folder = StartFolder();
    std::string folder = FDialogs().ChooseFolder(&FWindow, setup);
    if (folder.empty()) return;
    Remember(folder);
    QPointer<TAddMusic> self(this);
    auto cancel = FCancel;
    FWalks.start([self, cancel, folder] {
        auto entries =
            std::make_shared<std::vector<TPlaylistEntry>>(ExpandPaths({folder}, cancel.get()));
        // Dropped by Qt if the window is gone by then.
        QMetaObject::invokeMethod(
            self.data(), [self, entries] { self->AppendSoon(entries, 0); }, Qt::QueuedConnection);
    });
}

void TAddMusic::AppendSoon(std::shared_ptr<std::vector<TPlaylistEntry>> entries, size_t from) {
    const size_t to = std::min(entries->size(), from + kAppendChunk);
    FLists.Shown().Append({std::make_move_iterator(entries->begin() + static_cast<ptrdiff_t>(from)),
                           std::make_move_iterator(entries->begin() + static_cast<ptrdiff_t>(to))});
    if (to == entries->size()) return;
    QTimer::singleShot(0, this, [this, entries, to] { AppendSoon(entries, to); });
}

void TAddMusic::LoadTexts(const TTextReader& read) {
    FAudioLabel = QString::fromStdString(read("DlgOpenSAudio", "Audio files"));
    FFolderTitle = QString::fromStdString(read("AddFolder", "Add folder"));
    if (FAction != nullptr) FAction->setText(FFolderTitle + QStringLiteral("..."));
}

}  // namespace quillet
