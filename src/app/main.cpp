// The program block: the application object, the main window, the loop.
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <climits>
#include <csignal>
#include <cstdio>

#include "UMain.h"
#include "app_errors.h"
#include "command_line.h"
#include "desktop_session.h"
#include "paths.h"
#include "single_instance.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void OnQuitSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the loop closes the window.
    [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
}

std::string CurrentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string("/");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillet;
    // --help and --version answer without a display.
    if (const TCommandLine early = ParseCommandLine(argc, argv); early.Help || early.Version) {
        std::fputs(early.Help ? UsageText().c_str() : VersionText().c_str(), stdout);
        return 0;
    }
    TQuilletApplication app(argc, argv);
    // Qt has taken its own options out of argv by now.
    const TCommandLine line = ParseCommandLine(argc, argv);
    if (!line.Error.empty()) {
        std::fprintf(stderr, "quillet: %s\n%s", line.Error.c_str(), UsageText().c_str());
        return 2;
    }
    TInstanceMessage arguments{line.Enqueue, {}};
    const std::string cwd = CurrentFolder();
    for (const std::string& path : line.Paths) arguments.Paths.push_back(AbsolutePath(path, cwd));
    // A player already running in this session takes the arguments.
    const QString socketName = InstanceSocketName();
    if (HandOffToRunningInstance(socketName, arguments)) return 0;

    TFrmQuillet FrmQuillet;
    TDesktopSession session(FrmQuillet.Player(), FrmQuillet, std::move(arguments), ConfigFolder(),
                            socketName);

    // SIGTERM, SIGINT and SIGHUP (a session ending) save the state and end
    // the program within 2 s, whatever box is open.
    std::unique_ptr<QSocketNotifier> quitNotifier;
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) == 0) {
        quitNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, &FrmQuillet, [&] {
            char byte;
            [[maybe_unused]] ssize_t n = read(gSignalPipe[0], &byte, 1);
            // Saves and ends at once, whatever box is open (a station that
            // failed, a lap's message): every window closes.
            session.QuitNow();
        });
        struct sigaction action {};
        action.sa_handler = OnQuitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
    }

    FrmQuillet.show();
    // The socket, the saved list and the bus wait until the window is up.
    session.StartWhenShown();
    const int status = app.exec();
    session.SaveState();
    return status;
}
