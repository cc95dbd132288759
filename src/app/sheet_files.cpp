#include "sheet_files.h"

#include <QPointer>
#include <iterator>

#include "app_errors.h"
#include "cue_entries.h"
#include "input_table.h"
#include "paths.h"
#include "text.h"
#include "track_tags.h"

namespace quillet {

namespace {

// More lines than this make a box taller than a screen.
constexpr size_t kProblemLines = 10;

bool IsSheet(std::string_view path) {
    return SameTextAscii(ExtractExtension(path), ".cue");
}

struct TDropRead {
    std::vector<TPlaylistEntry> Entries;
    std::vector<std::string> Problems;
};

TDropRead ReadDrop(const std::vector<std::string>& files) {
    TDropRead read;
    for (const std::string& path : files) {
        TPlaylistOpen open = SheetOpenOptions();
        std::vector<TPlaylistEntry> entries;
        try {
            if (IsSheet(path)) {
                OpenPlaylistEntries(path, entries, nullptr, &open);
            } else if (IsDropExtension(path)) {
                entries = FileEntries(path, &open.Problems);
            }
        } catch (const std::exception& e) {
            // An unreadable file is told with the rest; the drop goes on.
            open.Problems.push_back(std::string(FileNamePart(path)) + ": " + e.what());
        }
        std::move(entries.begin(), entries.end(), std::back_inserter(read.Entries));
        std::move(open.Problems.begin(), open.Problems.end(), std::back_inserter(read.Problems));
    }
    return read;
}

}  // namespace

TPlaylistOpen SheetOpenOptions() {
    TPlaylistOpen open;
    open.PlayableExtensions = PlayableExtensions();
    return open;
}

TSheetFiles::TSheetFiles(TPlaylistSet& lists, QObject* parent) : QObject(parent), FLists(lists) {
    // One at a time: drops are appended in the order they came.
    FWorker.setMaxThreadCount(1);
}

TSheetFiles::~TSheetFiles() {
    FWorker.waitForDone();
}

void TSheetFiles::LoadTexts(const TTextReader& read) {
    FProblemsText = QString::fromStdString(read("SheetProblems", "Some entries were left out:"));
    const QString more = QString::fromStdString(read("SheetProblemsMore", "... and %1 more"));
    FMoreText = more.contains(QLatin1String("%1")) ? more : QStringLiteral("... and %1 more");
}

void TSheetFiles::ShowProblems(const std::vector<std::string>& problems) {
    if (problems.empty()) return;
    QString text = FProblemsText;
    for (size_t i = 0; i < problems.size() && i < kProblemLines; ++i)
        text += QLatin1Char('\n') + QString::fromStdString(OneLine(problems[i]));
    if (problems.size() > kProblemLines)
        text += QLatin1Char('\n') + FMoreText.arg(problems.size() - kProblemLines);
    ShowMessage(text);
}

bool TSheetFiles::TakeDrop(const QStringList& files) {
    std::vector<std::string> paths;
    bool sheet = false;
    for (const QString& file : files) {
        paths.push_back(file.toStdString());
        sheet = sheet || IsSheet(paths.back());
    }
    if (!sheet) return false;
    QPointer<TSheetFiles> self(this);
    FWorker.start([self, paths = std::move(paths)] {
        TDropRead read = ReadDrop(paths);
        QMetaObject::invokeMethod(
            self.data(),
            [self, read = std::move(read)]() mutable {
                self->FLists.Shown().Append(std::move(read.Entries));
                self->ShowProblems(read.Problems);
            },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace quillet
