// The About dialog: the program's picture, and the language choice stored in
// the user's "lang.cfg" (lang_config.h) and applied to the main window at once.
// It exists only while it is shown (GUI thread).
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <string>

namespace quillet {

// What the dialog needs of the main window: where it is, the languages'
// folder, and the language it shows and applies.
class TLanguageHost {
  public:
    virtual QWidget& HostWindow() = 0;
    virtual const std::string& ProgramFolder() const = 0;
    // The text before the language list ("Language").
    virtual std::string LanguageLabel() const = 0;
    virtual void LoadLanguage(const std::string& Name) = 0;

  protected:
    ~TLanguageHost() = default;
};

class TFrmAbout : public QDialog {
    Q_OBJECT
  public:
    // Fills the language list and selects the language in effect (the
    // user's "lang.cfg", else the installed one); a "lang.cfg" that cannot be
    // read is reported and the dialog opens all the same.
    explicit TFrmAbout(TLanguageHost& main);

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
    TLanguageHost& FMain;
};

}  // namespace quillet
