#include "app_errors.h"

#include <QMessageBox>
#include <QMetaObject>
#include <cstdio>

#include "main_thread.h"
#include "version.h"

namespace quillet {

namespace {

QString& TitleStore() {
    static QString title;
    return title;
}

TMessageBoxHook& HookStore() {
    static TMessageBoxHook hook;
    return hook;
}

void ShowBox(TMessageKind kind, const QString& text) {
    if (const auto& hook = HookStore()) {
        hook(kind, ApplicationTitle(), text);
        return;
    }
    QMessageBox box(kind == TMessageKind::mkError ? QMessageBox::Critical : QMessageBox::NoIcon,
                    ApplicationTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

}  // namespace

QString ApplicationTitle() {
    return TitleStore();
}
void SetApplicationTitle(const QString& title) {
    TitleStore() = title;
}

std::string ErrorMessageText(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

void SetMessageBoxHook(TMessageBoxHook hook) {
    HookStore() = std::move(hook);
}

void ShowMessage(const QString& text) {
    ShowBox(TMessageKind::mkPlain, text);
}

void ShowException(std::exception_ptr error) {
    std::string message;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown error";
    }
    ShowBox(TMessageKind::mkError, QString::fromStdString(ErrorMessageText(message)));
}

TQuilletApplication::TQuilletApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetApplicationTitle(QLatin1String(kApplicationTitleText));
    SetMainThread();
    // Posting an event is safe from any thread; the queued call runs on ours.
    SetMainThreadWakeUp([this] {
        QMetaObject::invokeMethod(
            this, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
    SetMainThreadErrorHandler([](std::exception_ptr error) { ShowException(error); });
}

TQuilletApplication::~TQuilletApplication() {
    // No Qt after this point: nothing left to wake, and errors go to stderr.
    SetMainThreadWakeUp([] {});
    SetMainThreadErrorHandler([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", ErrorMessageText(e.what()).c_str());
        } catch (...) {
        }
    });
}

bool TQuilletApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

}  // namespace quillet
