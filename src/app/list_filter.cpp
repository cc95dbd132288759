#include "list_filter.h"

#include <QKeyEvent>
#include <QShortcut>
#include <algorithm>
#include <utility>

#include "app_errors.h"
#include "paths.h"

namespace quillet {

namespace {

constexpr char kFilterHintKey[] = "FilterHint";
constexpr char kFilterHintText[] = "Find in the list";

bool IsStep(int key) {
    return key == Qt::Key_Up || key == Qt::Key_Down;
}

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

QString FoldForSearch(const QString& text) {
    // Most names are plain ASCII, which decomposes to itself.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toCaseFolded();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            bare.append(c);
    }
    return bare.toCaseFolded();
}

QStringList SearchWords(const QString& filter) {
    const QString folded = FoldForSearch(filter);
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool blank = i == folded.size() || folded[i].isSpace();
        if (!blank && start < 0) start = i;
        if (blank && start >= 0) {
            words.append(folded.mid(start, i - start));
            start = -1;
        }
    }
    // Longest first: a row that lacks one fails on the rarest word at once.
    std::sort(words.begin(), words.end(), [](const QString& a, const QString& b) {
        return a.size() > b.size() || (a.size() == b.size() && a < b);
    });
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

bool ContainsAllWords(const QString& foldedText, const QStringList& words) {
    return std::all_of(words.begin(), words.end(),
                       [&](const QString& word) { return foldedText.contains(word); });
}

TListFilter::TListFilter(TPlaybackController& player, TPlaylistBox& list, QWidget& window,
                         const QString& commandKeys)
    : FPlayer(player),
      FList(&list.List()),
      FBox(&list),
      FField(new QLineEdit(&list)),
      FBoxObject(&list),
      FViewportObject(list.viewport()),
      FFieldObject(FField.data()),
      FCommandKeys(commandKeys) {
    FField->setObjectName(QStringLiteral("edFilter"));
    FField->setClearButtonEnabled(true);
    FField->hide();
    FField->installEventFilter(this);
    // Left empty for another control: the field goes (its own signal, never
    // sent by a field being destroyed).
    connect(FField, &QLineEdit::editingFinished, this, [this] {
        if (FField->text().isEmpty() && !FField->hasFocus()) Hide();
    });
    connect(FField, &QLineEdit::textChanged, this, [this](const QString& text) {
        FWords = SearchWords(text);
        Apply(0, FList->Count() - 1);
    });
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), &window);
    connect(find, &QShortcut::activated, this, [this] { Open(); });
    list.installEventFilter(this);
    list.viewport()->installEventFilter(this);
    FList->AddListener(this);
    LoadTexts([](const char*, const char* builtIn) { return std::string(builtIn); });
}

void TListFilter::SetList(TPlaylistModel& list) {
    if (&list == FList) return;
    // The list left keeps the selection the filter hid.
    if (FHiddenSelection != kNoEntry && FList->Selected() < 0)
        FList->Select(FList->IndexOf(FHiddenSelection));
    FHiddenSelection = kNoEntry;
    FList->RemoveListener(this);
    FList = &list;
    FList->AddListener(this);
    AfterReset();
}

TListFilter::~TListFilter() {
    FList->RemoveListener(this);
}

bool TListFilter::Filtering() const {
    return FField && !FField->isHidden();
}

void TListFilter::Open(const QString& text) {
    if (!FBox || !FField) return;
    if (!Filtering()) {
        Place();
        FField->show();
        FField->raise();
    }
    FField->setFocus();
    if (text.isEmpty()) {
        FField->selectAll();
    } else {
        FField->end(false);
        FField->insert(text);
    }
}

void TListFilter::Hide() {
    if (!Filtering()) return;
    FField->clear();
    FField->hide();
    FSearched.clear();  // only while filtering
    const TEntryId hidden = std::exchange(FHiddenSelection, kNoEntry);
    if (FList->Selected() < 0 && hidden != kNoEntry) FList->Select(FList->IndexOf(hidden));
}

void TListFilter::Close() {
    Hide();
    if (!FBox) return;
    FBox->setFocus();
    if (FBox->currentIndex().isValid()) FBox->scrollTo(FBox->currentIndex());
}

void TListFilter::LoadTexts(const TTextReader& read) {
    if (!FField) return;
    const QString hint = QString::fromStdString(read(kFilterHintKey, kFilterHintText));
    FField->setPlaceholderText(hint);
    FField->setAccessibleName(hint);
}

bool TListFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FFieldObject) {
        if (event->type() == QEvent::ShortcutOverride) {
            // Typing goes to the field: only the window's Ctrl keys stay its own.
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) event->accept();
            return false;
        }
        return FilterKey(event);
    }
    // The viewport is laid out after the box's own resize is seen here.
    if (watched == FViewportObject && event->type() == QEvent::Resize) Place();
    if (watched != FBoxObject) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::Resize) {
        Place();
    } else if (event->type() == QEvent::ShortcutOverride) {
        // While filtering, Up and Down step through the visible rows only.
        if (Filtering() && IsStep(static_cast<QKeyEvent*>(event)->key())) event->accept();
    } else if (event->type() == QEvent::KeyPress) {
        if (Filtering() && FilterKey(event)) return true;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool plain =
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plain && text.size() == 1 && text[0].isPrint() && !text[0].isSpace() &&
            !FCommandKeys.contains(text)) {
            Open(text == QLatin1String("/") ? QString() : text);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool TListFilter::FilterKey(QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (IsStep(key)) {
        Step(key == Qt::Key_Up ? -1 : 1);
    } else if (IsEnter(key) && (static_cast<QKeyEvent*>(event)->modifiers() &
                                ~Qt::KeypadModifier) == Qt::NoModifier) {
        Guarded([&] { PlayFirst(); });
    } else if (key == Qt::Key_Escape) {
        Close();
    } else {
        return false;
    }
    return true;
}

void TListFilter::Place() {
    if (!FBox || !FField) return;
    // At the viewport's foot: never under a scroll bar or beside the header.
    const QRect room = FBox->viewport()->geometry();
    const int height = std::min(FField->sizeHint().height(), room.height());
    FField->setGeometry(room.x(), room.bottom() + 1 - height, room.width(), height);
}

const QString& TListFilter::Searched(int row) {
    const TEntry& entry = (*FList)[static_cast<size_t>(row)];
    auto it = FSearched.find(entry.Id);
    if (it == FSearched.end()) {
        const TTrackTags& tags = entry.Info.Tags;
        // The title is most often the start of the row's text.
        const bool titleShown = entry.RowText.starts_with(entry.Title);
        const std::string text = entry.RowText + '\n' + (titleShown ? "" : entry.Title + '\n') +
                                 tags.Title + '\n' + tags.Artist + '\n' + tags.Album + '\n' +
                                 std::string(FileNamePart(entry.FilePath));
        it = FSearched.insert(entry.Id, FoldForSearch(QString::fromStdString(text)));
    }
    return *it;
}

void TListFilter::Apply(int first, int last) {
    if (!FBox) return;
    last = std::min(last, FList->Count() - 1);
    for (int row = std::max(first, 0); row <= last; ++row) {
        const bool hide = !FWords.isEmpty() && !ContainsAllWords(Searched(row), FWords);
        if (FBox->isRowHidden(row, {}) != hide) FBox->setRowHidden(row, {}, hide);
    }
    // A selection the user cannot see is none: Play, Delete, Play next and
    // the rest must never act on a row that is not shown. It comes back when
    // the filter closes, unless another row was chosen meanwhile.
    const int selected = FList->Selected();
    if (selected >= first && selected <= last && FBox->isRowHidden(selected, {})) {
        FHiddenSelection = (*FList)[static_cast<size_t>(selected)].Id;
        FList->Select(-1);
    }
}

void TListFilter::Step(int step) {
    if (!FBox) return;
    const int count = FList->Count();
    const int from = FList->Selected();
    const int start = from >= 0 ? from : step > 0 ? -1 : count;
    for (int row = start + step; row >= 0 && row < count; row += step)
        if (!FBox->isRowHidden(row, {})) {
            FBox->SelectAsUser(row);
            return;
        }
}

void TListFilter::PlayFirst() {
    if (!FBox) return;
    int row = FList->Selected();
    if (row < 0 || FBox->isRowHidden(row, {})) {
        row = 0;
        while (row < FList->Count() && FBox->isRowHidden(row, {})) ++row;
        if (row == FList->Count()) return;
        FBox->SelectAsUser(row);
    }
    FPlayer.Play();
}

void TListFilter::AfterInsert(int first, int count) {
    if (Filtering()) Apply(first, first + count - 1);
}

void TListFilter::AfterRemove(int, TEntryId id) {
    FSearched.remove(id);
}

void TListFilter::AfterReset() {
    FSearched.clear();
    // The view showed every row of the new list.
    if (Filtering()) Apply(0, FList->Count() - 1);
}

void TListFilter::EntryChanged(int index) {
    if (!FList->Contains(index)) return;
    FSearched.remove((*FList)[static_cast<size_t>(index)].Id);
    if (Filtering()) Apply(index, index);
}

}  // namespace quillet
