#include "open_url.h"

#include <QKeySequence>

#include "app_errors.h"
#include "command_line.h"
#include "paths.h"
#include "text.h"

namespace quillet {

namespace {

constexpr char kOpenUrlKey[] = "OpenUrl";
constexpr char kText[] = "Open URL...";

}  // namespace

TOpenUrl::TOpenUrl(QMenu& menu, QWidget& window, TPlaybackController& player, TPlaylistSet& lists,
                   std::function<TDialogProvider&()> dialogs)
    : FWindow(window), FPlayer(player), FLists(lists), FDialogs(std::move(dialogs)) {
    FAction = new QAction(QLatin1String(kText), &menu);
    FAction->setObjectName(QLatin1String(kOpenUrlKey));
    FAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    FAction->setShortcutContext(Qt::WindowShortcut);
    if (!menu.isEmpty()) menu.addSeparator();
    menu.addAction(FAction);
    // On the window too, so the key works while the menu is closed.
    window.addAction(FAction);
    connect(FAction, &QAction::triggered, this, [this] { Guarded([this] { Run(); }); });
}

void TOpenUrl::LoadTexts(const TTextReader& read) {
    FAction->setText(QString::fromStdString(read(kOpenUrlKey, kText)));
    FTitle = Utf8Left(read("OpenUrlTitle", "Open URL"), 100);
    FPrompt = read("OpenUrlPrompt", "Address of a stream (http, https):");
    const QString refused =
        QString::fromStdString(read("OpenUrlRefused", "Not an address Quillet plays: %1"));
    // A text that would drop the address is not taken.
    FRefused = refused.contains(QLatin1String("%1")) ? refused : QStringLiteral("%1: ") + refused;
}

void TOpenUrl::Run() {
    const std::optional<std::string> answer =
        FDialogs().InputQuery(&FWindow, FTitle, FPrompt, std::string());
    if (!answer) return;
    const std::string text(Trim(*answer));
    if (text.empty()) return;
    TPlaylistEntry entry;
    if (const std::optional<std::string> path = FileUrlPath(text)) {
        entry.Title = CutTitle(FileNamePart(*path));
        entry.FilePath = *path;
    } else if (IsStreamUrl(text) && text.find_first_of(" \t\r\n") == std::string::npos) {
        entry = AddressEntry(text);
    } else {
        ShowMessage(FRefused.arg(QString::fromStdString(text)));
        return;
    }
    TPlaylistModel& list = FLists.Shown();
    list.Append({std::move(entry)});
    list.Select(list.Count() - 1);
    FPlayer.PlayShown();
}

}  // namespace quillet
