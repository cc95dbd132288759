#include "UAbout.h"

#include <QIcon>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "app_errors.h"
#include "lang_config.h"
#include "paths.h"
#include "text.h"
#include "textfile.h"
#include "version.h"

namespace quillet {

TFrmAbout::TFrmAbout(TLanguageHost& main) : QDialog(nullptr, Qt::Tool), FMain(main) {
    setWindowTitle(QLatin1String(kProgramCaption));
    setFont(main.HostWindow().font());
    setFixedSize(210, 345);

    imgLogo = new QLabel(this);
    imgLogo->setGeometry(0, 0, 210, 278);
    imgLogo->setPixmap(QIcon(QStringLiteral(":/logo.svg")).pixmap(QSize(210, 278)));
    imgLogo->setAccessibleName(QLatin1String(kProgramCaption));

    lblLang = new QLabel(QStringLiteral("Language:"), this);
    lblLang->move(0, 304);
    lblLang->adjustSize();

    cbLang = new QComboBox(this);
    cbLang->setEditable(false);
    cbLang->setGeometry(56, 296, 145, 21);
    lblLang->setBuddy(cbLang);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setGeometry(56, 320, 97, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([&] { Button1Click(); }); });

    // Centred on the main window.
    move(main.HostWindow().frameGeometry().center() - QPoint(width() / 2, height() / 2));
    FormCreate();
}

void TFrmAbout::FormCreate() {
    FillLanguageList();
    try {
        SelectCurrentLanguage();
        lblLang->setText(QString::fromStdString(FMain.LanguageLabel()));
        lblLang->adjustSize();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TFrmAbout::FillLanguageList() {
    cbLang->clear();
    cbLang->addItem(QStringLiteral("en"));
    namespace fs = std::filesystem;
    std::error_code error;
    // In the order the file system gives them, unsorted: "en" may come twice.
    for (fs::directory_iterator it(fs::path(FMain.ProgramFolder()) / "lang", error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".ini") == 0)
            cbLang->addItem(QString::fromStdString(name.substr(0, name.size() - 4)));
    }
    cbLang->setCurrentIndex(-1);  // nothing chosen until "lang.cfg" names one
}

void TFrmAbout::SelectCurrentLanguage() {
    const std::string current =
        Utf8Left(ReadLanguageChoice(ConfigFolder(), FMain.ProgramFolder()), 4);
    cbLang->setCurrentIndex(-1);
    for (int i = 0; i < cbLang->count(); ++i) {
        if (SameTextAscii(cbLang->itemText(i).toStdString(), current)) {
            cbLang->setCurrentIndex(i);
            break;
        }
    }
}

void TFrmAbout::Button1Click() {
    const std::string name =
        cbLang->currentIndex() >= 0 ? cbLang->currentText().toStdString() : std::string();
    try {
        WriteLanguageName(ConfigFolder(), name);
    } catch (const EInOutError& error) {
        // The choice still applies to this run: a settings folder that cannot
        // be written never holds up the window, and is told of once.
        static bool told = false;
        if (!std::exchange(told, true))
            std::fprintf(stderr, "quillet: the language choice is not kept in %s%s: %s\n",
                         ConfigFolder().c_str(), kLangCfgName, error.what());
    }
    FMain.LoadLanguage(name);
    accept();
}

}  // namespace quillet
