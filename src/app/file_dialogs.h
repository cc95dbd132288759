// The modal dialogs of the editing commands: Qt's own in the program, the
// tests' scripted ones in tests, so nothing blocks on a dialog there. File
// names are UTF-8; an empty name means the dialog was cancelled.
//
// GUI thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

// A file dialog's texts, kept until the dialog is shown. The filter is in the
// program's "description|pattern|..." form.
struct TFileDialogSetup {
    QString Title;
    QString Filter;
    // The folder it opens in; empty: the working folder.
    QString Folder;
    // The same filter as Qt's file dialogs take it ("description (pattern);;...").
    QString QtFilter() const;
};

// What the save dialog gives back: the name chosen or typed, and the filter
// selected, counted from 1 in the order the filter lists them.
struct TSaveDialogResult {
    std::string FileName;
    int FilterIndex = 0;
};

class TDialogProvider {
  public:
    virtual ~TDialogProvider() = default;
    // One file, which need not exist.
    virtual std::string OpenSoundFile(QWidget* parent, const TFileDialogSetup& setup) = 0;
    // Several existing files, in the order chosen; none after Cancel. A
    // provider that asks for one file at a time gives that one.
    virtual std::vector<std::string> OpenSoundFiles(QWidget* parent,
                                                    const TFileDialogSetup& setup) {
        std::string file = OpenSoundFile(parent, setup);
        if (file.empty()) return {};
        return {std::move(file)};
    }
    // An existing folder; empty after Cancel (or from a provider without one).
    virtual std::string ChooseFolder(QWidget* /*parent*/, const TFileDialogSetup& /*setup*/) {
        return {};
    }
    // One existing file in an existing folder.
    virtual std::string OpenPlaylist(QWidget* parent, const TFileDialogSetup& setup) = 0;
    // Asks nothing when the file exists.
    virtual TSaveDialogResult SavePlaylist(QWidget* parent, const TFileDialogSetup& setup) = 0;
    // The edited text after OK, nothing after Cancel.
    virtual std::optional<std::string> InputQuery(QWidget* parent, const std::string& caption,
                                                  const std::string& prompt,
                                                  const std::string& initial) = 0;
};
std::unique_ptr<TDialogProvider> MakeQtDialogs();

}  // namespace quillet
