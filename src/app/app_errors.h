// The application object's services the window relies on: its title, the
// default error handler (every error that leaves an event handler ends here),
// the plain message box, and the Qt side of the main-thread call queue.
//
// All of it runs on the GUI thread.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace quillet {

// Caption of message boxes (and of the task bar entry).
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// An error message as the default handler shows it: "." appended when the
// last character sorts after ".".
std::string ErrorMessageText(std::string_view message);

enum class TMessageKind { mkError, mkPlain };
// Tests replace the dialogs with a recorder; nullptr restores the dialogs.
using TMessageBoxHook =
    std::function<void(TMessageKind kind, const QString& caption, const QString& text)>;
void SetMessageBoxHook(TMessageBoxHook hook);

// A plain message box with an OK button, captioned with the application title.
void ShowMessage(const QString& text);
// The application's default error handler: an error box captioned with the
// application title; the program goes on.
void ShowException(std::exception_ptr error);

// Runs an event handler; an error leaving it goes to the default handler
// instead of unwinding through Qt.
template <class F>
void Guarded(F&& handler) {
    try {
        handler();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

// The program's application object: sets the title and serves the
// main-thread call queue from its event loop (calls posted from the
// dispatcher wake the loop), with errors from those calls shown by the
// default handler.
class TQuilletApplication : public QApplication {
  public:
    TQuilletApplication(int& argc, char** argv);
    ~TQuilletApplication() override;
    // A backstop: an error escaping any event is shown, not fatal.
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quillet
