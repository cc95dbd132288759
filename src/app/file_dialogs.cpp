#include "file_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QStringList>

namespace quillet {

namespace {

QString FileDialogName(const QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void SetUpFileDialog(QFileDialog& dialog, const TFileDialogSetup& setup) {
    dialog.setWindowTitle(setup.Title);
    dialog.setNameFilters(setup.QtFilter().split(QStringLiteral(";;")));
    if (!setup.Folder.isEmpty()) dialog.setDirectory(setup.Folder);
}

class TQtDialogs : public TDialogProvider {
  public:
    std::string OpenSoundFile(QWidget* parent, const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        SetUpFileDialog(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // A typed name is taken even when no such file exists.
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted) return {};
        return FileDialogName(dialog).toStdString();
    }
    std::vector<std::string> OpenSoundFiles(QWidget* parent,
                                            const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        SetUpFileDialog(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        if (dialog.exec() != QDialog::Accepted) return {};
        std::vector<std::string> files;
        for (const QString& file : dialog.selectedFiles()) files.push_back(file.toStdString());
        return files;
    }
    std::string ChooseFolder(QWidget* parent, const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        dialog.setWindowTitle(setup.Title);
        if (!setup.Folder.isEmpty()) dialog.setDirectory(setup.Folder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        if (dialog.exec() != QDialog::Accepted) return {};
        return FileDialogName(dialog).toStdString();
    }
    std::string OpenPlaylist(QWidget* parent, const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        SetUpFileDialog(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted) return {};
        return FileDialogName(dialog).toStdString();
    }
    TSaveDialogResult SavePlaylist(QWidget* parent, const TFileDialogSetup& setup) override {
        QFileDialog dialog(parent);
        SetUpFileDialog(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The filter picks the format and the command adds the extension.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted) return {};
        return {FileDialogName(dialog).toStdString(),
                static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1};
    }
    std::optional<std::string> InputQuery(QWidget* parent, const std::string& caption,
                                          const std::string& prompt,
                                          const std::string& initial) override {
        bool ok = false;
        const QString text = QInputDialog::getText(
            parent, QString::fromStdString(caption), QString::fromStdString(prompt),
            QLineEdit::Normal, QString::fromStdString(initial), &ok);
        if (!ok) return std::nullopt;
        return text.toStdString();
    }
};

}  // namespace

std::unique_ptr<TDialogProvider> MakeQtDialogs() {
    return std::make_unique<TQtDialogs>();
}

QString TFileDialogSetup::QtFilter() const {
    const QStringList parts = Filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" means every file (as where the form comes from); on Linux it
        // would hide the files without a dot.
        if (pattern.trimmed() == QStringLiteral("*.*")) pattern = QStringLiteral("*");
        filters << parts[i].trimmed() + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace quillet
