#include "open_url.h"

#include <QKeySequence>

#include "app_errors.h"
#include "command_line.h"
#include "paths.h"
#include "text.h"

namespace quillet {

namespace {

constexpr char kKey[] = "OpenUrl";
constexpr char kText[] = "Open URL...";

}  // namespace

TOpenUrl::TOpenUrl(QMenu& menu, QWidget& window, TPlaylistModel& list,
                   std::function<TDialogProvider&()> dialogs)
    : FWindow(window), FList(&list), FDialogs(std::move(dialogs)) {
    FAction = new QAction(QLatin1String(kText), &menu);
    FAction->setObjectName(QLatin1String(kKey));
    FAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    FAction->setShortcutContext(Qt::WindowShortcut);
    if (!menu.isEmpty()) menu.addSeparator();
    menu.addAction(FAction);
    // On the window too, so the key works while the menu is closed.
    window.addAction(FAction);
    connect(FAction, &QAction::triggered, this, [this] { Guarded([this] { Run(); }); });
}

void TOpenUrl::LoadTexts(const std::function<std::string(const char*, const char*)>& read) {
    FAction->setText(QString::fromStdString(read(kKey, kText)));
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
    if (const std::optional<std::string> path = FileUrlPath(text)) {
        TPlaylistEntry entry;
        entry.Title = CutTitle(FileNamePart(*path));
        entry.FilePath = *path;
        FList->Append({std::move(entry)});
    } else if (IsStreamUrl(text) && text.find_first_of(" \t\r\n") == std::string::npos) {
        FList->Append({AddressEntry(text)});
    } else {
        ShowMessage(FRefused.arg(QString::fromStdString(text)));
    }
}

}  // namespace quillet
