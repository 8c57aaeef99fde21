// quorvel: the Quorvel Control Software program.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "DesktopSession.h"
#include "QuorvelApp.h"
#include "VersionInfo.h"

namespace {

void PrintUsage() {
    std::printf(
        "Usage: quorvel [--simulator] [FILE.qvl]\n"
        "\n"
        "  --simulator  run against the built-in simulated instrument: it appears as COM%u\n"
        "               for this run only; the saved connection settings are kept\n"
        "  --version    print the version and exit\n"
        "  --help       print this text and exit\n"
        "\n"
        "Settings: $XDG_CONFIG_HOME/Pelvarin/Quorvel Control Software/settings.sqlite\n"
        "Logs:     $XDG_STATE_HOME/Pelvarin/Quorvel Control Software/logs\n",
        99u);
}

}  // namespace

int main(int argc, char** argv) {
    CQuorvelAppOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulator") == 0) {
            options.simulator = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quorvel %ls\n", ProgramVersionText().c_str());
            return 0;
        } else if (argv[i][0] != '-') {
            options.documentPath = QString::fromLocal8Bit(argv[i]);
        } else {
            std::fprintf(stderr, "quorvel: unknown option %s (see quorvel --help)\n", argv[i]);
            return 2;
        }
    }

    std::string reason;
    if (!Desktop::HasDisplay(&reason)) {
        std::fprintf(stderr,
                     "quorvel: %s, so no window can be shown.\n"
                     "Run it in a desktop session, or without a screen under a virtual one:\n"
                     "    xvfb-run -a %s%s\n"
                     "(or QT_QPA_PLATFORM=offscreen to run it with no visible window).\n",
                     reason.c_str(), argv[0], options.simulator ? " --simulator" : "");
        return 2;
    }

    QApplication qtApp(argc, argv);
    CQuorvelApp app(options);
    if (!app.InitInstance())
        return app.ExitInstance(1);
    // A logout or `kill` closes the program exactly as closing the main window does.
    CShutdownRequests shutdown([&app] { app.CloseFromSession(); });
    const int code = QApplication::exec();
    return app.ExitInstance(code);
}
