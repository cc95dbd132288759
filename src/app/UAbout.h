// The About dialog: the program's picture, and the language choice stored in
// the user's "lang.cfg" (lang_config.h) and applied to the main window at once.
// It exists only while it is shown (GUI thread).
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace quillet {

class TFrmQuillet;

class TFrmAbout : public QDialog {
    Q_OBJECT
  public:
    // Fills the language list and selects the language in effect (the
    // user's "lang.cfg", else the installed one); a "lang.cfg" that cannot be
    // read is reported and the dialog opens all the same.
    explicit TFrmAbout(TFrmQuillet& main);

    QLabel* imgLogo;
    QLabel* lblLang;
    QComboBox* cbLang;
    QPushButton* Button1;

    void FormCreate();
    void FillLanguageList();
    void SelectCurrentLanguage();
    // OK: writes the user's "lang.cfg", applies the language, closes. When
    // the file cannot be written the choice holds for this run only (told on
    // stderr, the first time).
    void Button1Click();

  private:
    TFrmQuillet& FMain;
};

}  // namespace quillet
