#include "properties_dialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "app_errors.h"
#include "art_loader.h"
#include "paths.h"
#include "playlist_set.h"
#include "text.h"
#include "time_display.h"
#include "track_tags.h"

namespace quillet {
namespace {

constexpr const char* kPropertiesKey = "Properties";
// Beyond this many rows an album is not offered whole: reading them all
// would keep the window waiting.
constexpr size_t kMaxAlbumFiles = 200;
constexpr int kCoverPixels = 128;
// Several values in one field.
constexpr const char* kSeparator = "; ";

constexpr const char* kFieldKeys[kTagKeyCount] = {"PropTitle",       "PropArtist", "PropAlbum",
                                                  "PropAlbumArtist", "PropTrack",  "PropDisc",
                                                  "PropDate",        "PropGenre",  "PropComment"};

// Every text of the dialog: key and built-in text.
constexpr TUiText kTexts[] = {
    {"PropCaption", "Properties"},
    {"PropDiffers", "(differs)"},
    {"PropFacts", "File"},
    {"PropSeveral", "Several values: separated by \"; \""},
    {"PropWholeAlbum", "All %1 files of this album"},
    {"PropCover", "Front cover"},
    {"PropCoverReplace", "Replace..."},
    {"PropCoverRemove", "Remove"},
    {"PropCoverChoose", "Choose a picture"},
    {"PropCoverFilter", "Pictures"},
    {"PropFiles", "%1 files"},
    {"PropEstimated", "%1 (estimated)"},
    {"PropSheet", "CUE sheet"},
    {"PropPicture", "picture"},
    {"PropNoCover", "No picture"},
    {"PropTitle", "Title"},
    {"PropArtist", "Artist"},
    {"PropAlbum", "Album"},
    {"PropAlbumArtist", "Album artist"},
    {"PropTrack", "Track"},
    {"PropDisc", "Disc"},
    {"PropDate", "Date"},
    {"PropGenre", "Genre"},
    {"PropComment", "Comment"},
    {"PropSize", "File size"},
    {"PropFormat", "Format"},
    {"PropRate", "Sample rate"},
    {"PropBits", "Bits per sample"},
    {"PropChannels", "Channels"},
    {"PropBitrate", "Bitrate"},
    {"PropLength", "Length"},
    {"PropPath", "Path"},
    {"PropGain", "ReplayGain"},
    {"PropMeasured", "Measured loudness"},
    {"PropEmbedded", "Embedded"},
    {"Properties", "Properties..."},
};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string Joined(const TTagValues& values) {
    std::string out;
    for (const std::string& v : values) out += (out.empty() ? "" : kSeparator) + v;
    return out;
}

TTagValues Split(const QString& text) {
    TTagValues out;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const std::string v(Trim(part.toStdString()));
        if (!v.empty()) out.push_back(v);
    }
    return out;
}

std::string SizeText(int64_t bytes) {
    char text[64];
    if (bytes >= (int64_t{1} << 20))
        std::snprintf(text, sizeof text, "%.1f MiB (%lld bytes)", bytes / 1048576.0,
                      static_cast<long long>(bytes));
    else
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    return text;
}

bool SameCover(const std::optional<TPicture>& a, const std::optional<TPicture>& b) {
    return a.has_value() == b.has_value() && (!a || a->Data == b->Data);
}

}  // namespace

TPropertiesDialog::TPropertiesDialog(std::vector<TPropertiesFile> files,
                                     std::vector<TPropertiesFile> album,
                                     const TPropertiesTexts& read, QWidget* parent)
    : QDialog(parent), FFiles(std::move(files)), FAlbum(std::move(album)), FRead(read) {
    setWindowTitle(Q(read("PropCaption")));
    setAccessibleName(windowTitle());
    FDiffers = Q(read("PropDiffers"));
    auto* layout = new QVBoxLayout(this);

    FFacts = new QLabel(this);
    FFacts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FFacts->setWordWrap(true);
    FFacts->setAccessibleName(Q(read("PropFacts")));
    layout->addWidget(FFacts);

    auto* form = new QFormLayout;
    const QString several = Q(read("PropSeveral"));
    for (size_t k = 0; k < kTagKeyCount; ++k) {
        auto* edit = new QLineEdit(this);
        const QString label = Q(read(kFieldKeys[k]));
        edit->setAccessibleName(label);
        edit->setToolTip(several);
        connect(edit, &QLineEdit::textEdited, this, [this, k] { FTyped[k] = true; });
        form->addRow(label, edit);
        FEdits[k] = edit;
    }
    layout->addLayout(form);

    if (!FAlbum.empty()) {
        FWholeAlbum = new QCheckBox(
            Q(read("PropWholeAlbum")).arg(static_cast<qulonglong>(FFiles.size() + FAlbum.size())),
            this);
        connect(FWholeAlbum, &QCheckBox::toggled, this, [this] { Fill(); });
        layout->addWidget(FWholeAlbum);
    }

    auto* coverRow = new QHBoxLayout;
    FCover = new QLabel(this);
    FCover->setFixedSize(kCoverPixels, kCoverPixels);
    FCover->setAlignment(Qt::AlignCenter);
    FCover->setAccessibleName(Q(read("PropCover")));
    coverRow->addWidget(FCover);
    auto* replace = FReplace = new QPushButton(Q(read("PropCoverReplace")), this);
    replace->setAccessibleName(replace->text().remove(QLatin1String("...")));
    auto* remove = FRemove = new QPushButton(Q(read("PropCoverRemove")), this);
    remove->setAccessibleName(remove->text());
    coverRow->addWidget(replace);
    coverRow->addWidget(remove);
    coverRow->addStretch();
    layout->addLayout(coverRow);
    const QString pick = Q(read("PropCoverChoose"));
    const QString filter =
        Q(read("PropCoverFilter")) + QStringLiteral(" (*.jpg *.jpeg *.png *.webp *.gif *.bmp)");
    ChooseCoverFile = [this, pick, filter] {
        return QFileDialog::getOpenFileName(this, pick, QString(), filter).toStdString();
    };
    connect(replace, &QPushButton::clicked, this, [this] {
        const std::string file = ChooseCoverFile ? ChooseCoverFile() : std::string();
        if (!file.empty()) ReplaceCover(file);
    });
    connect(remove, &QPushButton::clicked, this, [this] { RemoveCover(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Fill();
}

std::vector<const TPropertiesFile*> TPropertiesDialog::Targets() const {
    std::vector<const TPropertiesFile*> out;
    for (const auto& f : FFiles) out.push_back(&f);
    if (FWholeAlbum && FWholeAlbum->isChecked())
        for (const auto& f : FAlbum) out.push_back(&f);
    return out;
}

void TPropertiesDialog::Fill() {
    const auto targets = Targets();
    bool writable = true;
    for (const TPropertiesFile* f : targets) writable = writable && f->Snapshot.NotWritable.empty();
    FReplace->setEnabled(writable);
    FRemove->setEnabled(writable);
    for (size_t k = 0; k < kTagKeyCount; ++k) {
        QLineEdit* edit = FEdits[k];
        edit->setReadOnly(!writable);
        if (FTyped[k]) continue;  // what the user typed stays
        const std::string first = Joined(targets.front()->Snapshot.Fields[k]);
        bool same = true;
        for (const TPropertiesFile* f : targets)
            same = same && Joined(f->Snapshot.Fields[k]) == first;
        edit->setText(same ? Q(first) : QString());
        edit->setPlaceholderText(same ? QString() : FDiffers);
    }
    FFacts->setText(FactsText());
    ShowCover();
}

QString TPropertiesDialog::FactsText() const {
    const auto targets = Targets();
    auto line = [this](const char* key, const std::string& value) {
        return Q(FRead(key)) + QStringLiteral(": ") + Q(value) + QLatin1Char('\n');
    };
    QString text;
    if (targets.size() > 1) {
        int64_t total = 0;
        for (const TPropertiesFile* f : targets)
            total += std::max<int64_t>(0, f->Snapshot.Stamp.Size);
        text = Q(FRead("PropFiles")).arg(static_cast<qulonglong>(targets.size())) +
               QLatin1Char('\n') + line("PropSize", SizeText(total));
    } else {
        const TPropertiesFile& f = *targets.front();
        const TFileFacts& facts = f.Snapshot.Facts;
        std::string format = facts.Format;
        if (!facts.Codec.empty()) format += " (" + facts.Codec + ")";
        if (!format.empty()) text += line("PropFormat", format);
        if (facts.SampleRate > 0)
            text += line("PropRate", std::to_string(facts.SampleRate) + " Hz");
        if (facts.Bits > 0) text += line("PropBits", std::to_string(facts.Bits));
        if (facts.Channels > 0) text += line("PropChannels", std::to_string(facts.Channels));
        if (facts.Bitrate > 0)
            text += line("PropBitrate", std::to_string(facts.Bitrate) + " kbit/s");
        if (facts.LengthMs > 0) {
            std::string length = FormatClock(facts.LengthMs / 1000);
            if (facts.LengthEstimated)
                length = Q(FRead("PropEstimated")).arg(Q(length)).toStdString();
            text += line("PropLength", length);
        }
        text += line("PropSize", SizeText(f.Snapshot.Stamp.Size));
        text += line("PropPath", f.Path);
        for (const auto& [key, value] : facts.Gain) text += line("PropGain", key + " " + value);
        if (!f.Measured.empty()) text += line("PropMeasured", f.Measured);
        std::string embedded;
        if (f.Snapshot.HasSheet) embedded = FRead("PropSheet");
        if (f.Snapshot.Cover) embedded += (embedded.empty() ? "" : ", ") + FRead("PropPicture");
        if (!embedded.empty()) text += line("PropEmbedded", embedded);
        if (!f.Snapshot.NotWritable.empty()) text += Q(f.Snapshot.NotWritable) + QLatin1Char('\n');
    }
    return text.trimmed();
}

void TPropertiesDialog::ShowCover() {
    const std::optional<TPicture>* shown = nullptr;
    std::optional<TPicture> replaced;
    if (FCoverChange == TTagChanges::TCover::Replace) {
        replaced = FNewCover;
        shown = &replaced;
    } else if (FCoverChange == TTagChanges::TCover::Keep) {
        const auto targets = Targets();
        for (const TPropertiesFile* f : targets)
            if (!SameCover(f->Snapshot.Cover, targets.front()->Snapshot.Cover)) {
                FCover->setPixmap(QPixmap());
                FCover->setText(FDiffers);
                return;
            }
        shown = &targets.front()->Snapshot.Cover;
    }
    // Bounded like the window's art: a huge picture is never decoded whole.
    const QImage image = shown && *shown ? DecodePicture((*shown)->Data, kCoverPixels) : QImage();
    if (image.isNull()) {
        FCover->setPixmap(QPixmap());
        FCover->setText(Q(FRead("PropNoCover")));
        return;
    }
    FCover->setText(QString());
    FCover->setPixmap(QPixmap::fromImage(image));
}

bool TPropertiesDialog::ReplaceCover(const std::string& pictureFile) {
    std::ifstream in(pictureFile, std::ios::binary);
    std::vector<uint8_t> data;
    // Read no more than a picture may be.
    char buf[65536];
    while (in && data.size() <= kMaxPictureBytes) {
        in.read(buf, sizeof buf);
        data.insert(data.end(), buf, buf + in.gcount());
    }
    const std::string mime = SniffPictureType(data.data(), data.size());
    if (mime.empty() || data.size() > kMaxPictureBytes) return false;
    FNewCover = {std::move(data), mime};
    FCoverChange = TTagChanges::TCover::Replace;
    ShowCover();
    return true;
}

void TPropertiesDialog::RemoveCover() {
    FCoverChange = TTagChanges::TCover::Remove;
    ShowCover();
}

TTagChanges TPropertiesDialog::Changes() const {
    TTagChanges changes;
    const auto targets = Targets();
    for (size_t k = 0; k < kTagKeyCount; ++k) {
        if (!FTyped[k]) continue;
        const TTagValues typed = Split(FEdits[k]->text());
        bool same = true;
        for (const TPropertiesFile* f : targets) same = same && f->Snapshot.Fields[k] == typed;
        if (!same) changes.Fields[k] = typed;
    }
    changes.Cover = FCoverChange;
    if (FCoverChange == TTagChanges::TCover::Replace) changes.NewCover = FNewCover;
    return changes;
}

// ---------------------------------------------------------------------------

TPropertiesCommand::TPropertiesCommand(TPlaybackController& player, QMenu& menu, QWidget& window,
                                       QWidget& list, std::unique_ptr<TTagEditor> editor)
    : FPlayer(player), FWindow(window), FEditor(std::move(editor)), FListObject(&list) {
    FAction = new QAction(&menu);
    FAction->setObjectName(QLatin1String(kPropertiesKey));
    // Shown in the menu; the list's filter below takes the key, since the
    // list would take Enter for itself.
    FAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
    FAction->setShortcutContext(Qt::WidgetShortcut);
    menu.addAction(FAction);
    list.installEventFilter(this);
    connect(FAction, &QAction::triggered, this, [this] { Guarded([this] { Open(); }); });
    LoadTexts([](const char*, const char* builtIn) { return std::string(builtIn); });
}

bool TPropertiesCommand::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FListObject && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier) {
            Guarded([this] { Open(); });
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TPropertiesCommand::LoadTexts(const TTextReader& read) {
    // The reader lasts for this call only: the texts are kept.
    auto texts = std::make_shared<std::map<std::string, std::string>>();
    for (const TUiText& t : kTexts) (*texts)[t.Key] = read(t.Key, t.BuiltIn);
    FRead = [texts](const char* key) { return texts->at(key); };
    FAction->setText(Q(FRead(kPropertiesKey)));
}

std::string TPropertiesCommand::MeasuredText(const std::string& path) {
    TLoudnessService* service = FPlayer.MeasuredGain().Service();
    if (!service) return {};
    const TReplayGain gain = service->Lookup(path);
    if (!gain.Track) return {};
    // The gain brings the file to -18 LUFS.
    char text[64];
    std::snprintf(text, sizeof text, "%.1f LUFS", -18.0 - gain.Track->GainDb);
    return text;
}

TPlaylistModel& TPropertiesCommand::ShownList() const {
    return FPlayer.Lists() ? FPlayer.Lists()->Shown() : FPlayer.List();
}

void TPropertiesCommand::Open() {
    TPlaylistModel& list = ShownList();
    const int row = list.Selected();
    if (row < 0 || IsUrl(list[static_cast<size_t>(row)].FilePath)) return;
    const TEntry& entry = list[static_cast<size_t>(row)];
    auto load = [this](const std::string& path) {
        return TPropertiesFile{path, FEditor->Read(path), MeasuredText(path)};
    };
    std::vector<TPropertiesFile> files{load(entry.FilePath)};
    if (!files.front().Snapshot.Error.empty()) {
        if (OnMessage) OnMessage(entry.FilePath + ": " + files.front().Snapshot.Error);
        return;
    }
    // The album's other files, each once.
    std::vector<TPropertiesFile> album;
    const std::string& name = entry.Info.Tags.Album;
    if (!name.empty()) {
        std::vector<std::string> seen{entry.FilePath};
        for (const TEntry& other : list) {
            if (other.Info.Tags.Album != name || IsUrl(other.FilePath) ||
                std::find(seen.begin(), seen.end(), other.FilePath) != seen.end())
                continue;
            seen.push_back(other.FilePath);
            if (seen.size() > kMaxAlbumFiles) {
                album.clear();
                break;
            }
            TPropertiesFile f = load(other.FilePath);
            if (f.Snapshot.Error.empty()) album.push_back(std::move(f));
        }
    }
    TPropertiesDialog dialog(std::move(files), std::move(album), FRead, &FWindow);
    const bool accepted = OnDialog ? OnDialog(dialog) : dialog.exec() == QDialog::Accepted;
    if (accepted) Save(dialog);
}

void TPropertiesCommand::Save(const TPropertiesDialog& dialog) {
    const TTagChanges changes = dialog.Changes();
    if (changes.Empty()) return;
    // The rows of the file in every list show the change.
    std::vector<TPlaylistModel*> lists{&ShownList()};
    if (const TPlaylistSet* set = FPlayer.Lists())
        for (int i = 0; i < set->Count(); ++i)
            if (&set->List(i) != lists.front()) lists.push_back(&set->List(i));
    std::string failed;
    for (const TPropertiesFile* f : dialog.Targets()) {
        const TTagWriteResult result = FEditor->Write(f->Path, f->Snapshot.Stamp, changes);
        if (!result.Error.empty()) {
            failed += (failed.empty() ? "" : "\n") + f->Path + ": " + result.Error;
            continue;
        }
        // Every row of the file shows the new names at once, as if read
        // again; a CUE sheet's tracks keep the sheet's.
        auto first = [&](TTagKey key, const std::string& old) {
            const auto& values = changes.Fields[static_cast<size_t>(key)];
            return !values ? old : values->empty() ? std::string() : OneLine(values->front());
        };
        for (TPlaylistModel* each : lists) {
            TPlaylistModel& list = *each;
            std::vector<TEntryId> ids;
            for (const TEntry& e : list)
                if (e.FilePath == f->Path && !e.Tags) ids.push_back(e.Id);
            for (TEntryId id : ids) {
                const TEntry* e = list.Find(id);
                TEntryInfo info = e->Info;
                const TTrackTags old = info.Tags;
                info.Tags = {first(TTagKey::Title, old.Title), first(TTagKey::Artist, old.Artist),
                             first(TTagKey::Album, old.Album)};
                info.Stamp = StampOf(e->FilePath);  // the file as written
                const bool fromTags = e->RowText == FileNamePart(e->FilePath) ||
                                      e->RowText == JoinTagTitle(old.Artist, old.Title);
                list.SetInfo(id, info);
                const std::string title = JoinTagTitle(info.Tags.Artist, info.Tags.Title);
                if (fromTags && (e = list.Find(id)) && e->RowText != title)
                    list.Rename(list.IndexOf(id),
                                title.empty() ? std::string(FileNamePart(e->FilePath)) : title);
            }
        }
    }
    if (!failed.empty() && OnMessage) OnMessage(failed);
}

}  // namespace quillet
