#include "list_tabs.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeData>
#include <algorithm>

#include "app_errors.h"
#include "text.h"
#include "track_tags.h"

namespace quillet {

namespace {

std::vector<TEntryId> IdsOf(const QMimeData* data) {
    std::vector<TEntryId> ids;
    if (data == nullptr || !data->hasFormat(QLatin1String(kEntriesMime))) return ids;
    const QList<QByteArray> parts = data->data(QLatin1String(kEntriesMime)).split(',');
    for (const QByteArray& part : parts)
        if (const auto id = ParseWholeNumber<TEntryId>(part.toStdString()); id && *id != kNoEntry)
            ids.push_back(*id);
    return ids;
}

}  // namespace

TListTabs::TListTabs(TPlaylistSet& lists, QWidget& parent, QWidget& window, QMenu& menu,
                     std::function<TDialogProvider&()> dialogs, std::function<void()> relayout)
    : FLists(lists),
      FWindow(window),
      FDialogs(std::move(dialogs)),
      FRelayout(std::move(relayout)),
      FBar(new QTabBar(&parent)) {
    FBar->setObjectName(QStringLiteral("tbLists"));
    FBar->setMovable(true);
    FBar->setExpanding(false);
    FBar->setDocumentMode(true);
    FBar->setUsesScrollButtons(true);
    FBar->setElideMode(Qt::ElideRight);
    FBar->setFocusPolicy(Qt::NoFocus);
    FBar->setAcceptDrops(true);
    FBar->installEventFilter(this);
    FBar->hide();
    connect(FBar, &QTabBar::currentChanged, this, [this](int index) {
        if (!FRefreshing) Guarded([&] { FLists.Show(index); });
    });
    connect(FBar, &QTabBar::tabMoved, this, [this](int from, int to) {
        if (!FRefreshing) Guarded([&] { FLists.Move(from, to); });
    });
    connect(FBar, &QTabBar::tabBarDoubleClicked, this,
            [this](int index) { Guarded([&] { RenameTab(index); }); });

    auto action = [&](const QKeySequence& keys, std::function<void()> run) {
        auto* a = new QAction(&window);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        window.addAction(a);
        connect(a, &QAction::triggered, this, [run = std::move(run)] { Guarded(run); });
        return a;
    };
    FUndo = action(QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { Undo(); });
    FRedo = action(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { Redo(); });
    FNew = action(QKeySequence(Qt::CTRL | Qt::Key_T), [this] { NewList(); });
    FClose = action(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { CloseShown(); });
    action(QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this] { Step(1); });
    action(QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this] { Step(-1); });
    menu.addSeparator();
    for (QAction* a : {FUndo.data(), FRedo.data(), FNew.data(), FClose.data()}) menu.addAction(a);
    LoadTexts([](const char*, const char* builtIn) { return std::string(builtIn); });
    FLists.AddListener(this);
    Refresh();
}

TListTabs::~TListTabs() {
    FLists.RemoveListener(this);
}

void TListTabs::LoadTexts(const TTextReader& read) {
    auto text = [&read](const char* key, const char* builtIn) {
        return QString::fromStdString(read(key, builtIn));
    };
    if (FUndo) FUndo->setText(text("Undo", "Undo"));
    if (FRedo) FRedo->setText(text("Redo", "Redo"));
    if (FNew) FNew->setText(text("NewList", "New list"));
    if (FClose) FClose->setText(text("CloseList", "Close list"));
    FNewName = read("ListName", "Playlist");
    FRenameCaption = read("RenameListTitle", "Rename list");
    FRenamePrompt = read("RenameListPrompt", "List name:");
}

void TListTabs::Place(QWidget& list) {
    if (FBar->isHidden()) return;
    const QRect r = list.geometry();
    const int h = std::min(FBar->sizeHint().height(), r.height() / 2);
    FBar->setGeometry(r.left(), r.top(), r.width(), h);
    list.setGeometry(r.left(), r.top() + h, r.width(), r.height() - h);
    FBar->raise();
}

void TListTabs::NewList() {
    // "Playlist 2", "Playlist 3", ... a name not in use yet.
    std::string name;
    for (int n = FLists.Count() + 1;; ++n) {
        name = FNewName + " " + std::to_string(n);
        bool used = false;
        for (int i = 0; i < FLists.Count(); ++i) used = used || FLists.Name(i) == name;
        if (!used) break;
    }
    FLists.Show(FLists.Add(name, FLists.ShownIndex() + 1));
}

void TListTabs::CloseShown() {
    FLists.Close(FLists.ShownIndex());
}

void TListTabs::Step(int delta) {
    const int count = FLists.Count();
    if (count > 1) FLists.Show((FLists.ShownIndex() + delta + count) % count);
}

void TListTabs::RenameTab(int index) {
    if (!FLists.Contains(index)) return;
    const std::optional<std::string> name =
        FDialogs().InputQuery(&FWindow, FRenameCaption, FRenamePrompt, FLists.Name(index));
    // The tab's place may have changed while the box was up.
    if (name && !Trim(*name).empty() && FLists.Contains(index))
        FLists.Rename(index, OneLine(*name));
}

void TListTabs::Undo() {
    FLists.UndoLatest();
}

void TListTabs::Redo() {
    FLists.RedoLatest();
}

void TListTabs::DropEntries(const std::vector<TEntryId>& ids, int index, bool copy) {
    if (!FLists.Contains(index)) return;
    TPlaylistModel& target = FLists.List(index);
    for (const TEntryId id : ids) {
        const int from = FLists.ListOfEntry(id);
        if (from < 0 || (from == index && !copy)) continue;
        TPlaylistModel& source = FLists.List(from);
        const int row = source.IndexOf(id);
        if (copy) {
            target.AppendCopies({source[static_cast<size_t>(row)]});
        } else {
            target.InsertEntries(target.Count(), source.Take(row));
        }
    }
}

bool TListTabs::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FBar) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            const int tab = FBar->tabAt(drag->position().toPoint());
            if (tab >= 0 && !IdsOf(drag->mimeData()).empty()) {
                drag->setDropAction((drag->modifiers() & Qt::ControlModifier) ? Qt::CopyAction
                                                                              : Qt::MoveAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const int tab = FBar->tabAt(drop->position().toPoint());
            const std::vector<TEntryId> ids = IdsOf(drop->mimeData());
            if (tab < 0 || ids.empty()) return true;
            const bool copy = (drop->modifiers() & Qt::ControlModifier) != 0;
            drop->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
            drop->accept();
            Guarded([&] { DropEntries(ids, tab, copy); });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

void TListTabs::ListsChanged() {
    Refresh();
}

void TListTabs::ShownChanged() {
    Refresh();
}

void TListTabs::PlayingListChanged() {
    Refresh();
}

void TListTabs::Refresh() {
    FRefreshing = true;
    while (FBar->count() > FLists.Count()) FBar->removeTab(FBar->count() - 1);
    while (FBar->count() < FLists.Count()) FBar->addTab(QString());
    const QIcon playing(QStringLiteral(":/icons/play.svg"));
    for (int i = 0; i < FLists.Count(); ++i) {
        const QString name = QString::fromStdString(FLists.Name(i));
        FBar->setTabText(i, name);
        FBar->setTabToolTip(i, name);
        FBar->setTabIcon(i, i == FLists.PlayingIndex() && FLists.Count() > 1 ? playing : QIcon());
    }
    FBar->setCurrentIndex(FLists.ShownIndex());
    FRefreshing = false;
    const bool show = FLists.Count() > 1;
    if (show == FBar->isHidden()) {
        FBar->setVisible(show);
        if (FRelayout) FRelayout();
    }
}

}  // namespace quillet
