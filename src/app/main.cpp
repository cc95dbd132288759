// The program block: the application object, the main window, the loop.
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>

#include "UMain.h"
#include "app_errors.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void OnQuitSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the loop closes the window.
    [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    quillet::TQuilletApplication app(argc, argv);
    quillet::TFrmQuillet FrmQuillet;

    // SIGTERM and SIGINT close the window the normal way, so playback stops
    // cleanly before the program ends.
    std::unique_ptr<QSocketNotifier> quitNotifier;
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) == 0) {
        quitNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, &FrmQuillet, [&] {
            char byte;
            [[maybe_unused]] ssize_t n = read(gSignalPipe[0], &byte, 1);
            FrmQuillet.close();
        });
        struct sigaction action {};
        action.sa_handler = OnQuitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }

    FrmQuillet.show();
    return app.exec();
}
