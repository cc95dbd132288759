// The dialogs a bench program answers without a user: the playlist to open
// and the folder to add, given once; every other dialog is cancelled.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "file_dialogs.h"

class TBenchDialogs : public quillet::TDialogProvider {
  public:
    TBenchDialogs(std::string playlist, std::string folder)
        : FPlaylist(std::move(playlist)), FFolder(std::move(folder)) {}
    std::string OpenSoundFile(QWidget*, const quillet::TFileDialogSetup&) override { return {}; }
    std::string OpenPlaylist(QWidget*, const quillet::TFileDialogSetup&) override {
        return FPlaylist;
    }
    std::string ChooseFolder(QWidget*, const quillet::TFileDialogSetup&) override {
        return FFolder;
    }
    quillet::TSaveDialogResult SavePlaylist(QWidget*, const quillet::TFileDialogSetup&) override {
        return {};
    }
    std::optional<std::string> InputQuery(QWidget*, const std::string&, const std::string&,
                                          const std::string&) override {
        return std::nullopt;
    }

  private:
    std::string FPlaylist;
    std::string FFolder;
};
