// main() of the widget tests: starts a private Xvfb display (CI has none, and a
// developer's own display must not be disturbed), private XDG folders, then a
// QApplication on the xcb platform, then GoogleTest.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QFontDatabase>
#include <QLocale>

#include <gtest/gtest.h>

#include "tests/testlib/TestEnvironment.h"

namespace {

pid_t g_xvfb = -1;

void stopXvfb()
{
    if (g_xvfb > 0) {
        kill(g_xvfb, SIGTERM);
        waitpid(g_xvfb, nullptr, 0);
        g_xvfb = -1;
    }
}

// Starts Xvfb on a free display number (chosen by Xvfb itself through
// -displayfd) and returns ":N", or an empty string.
std::string startXvfb()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        dup2(fds[1], 3);
        const int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1600x1200x24", "-nolisten", "tcp", "-noreset",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    g_xvfb = pid;
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number.push_back(c);
    close(fds[0]);
    if (number.empty()) {
        stopXvfb();
        return {};
    }
    return ":" + number;
}

} // namespace

int main(int argc, char **argv)
{
    // A child test process may share its parent's display.
    const char *shared = std::getenv("TROVIX_TEST_DISPLAY");
    const std::string display = shared && *shared ? std::string(shared) : startXvfb();
    if (display.empty()) {
        std::fprintf(stderr, "cannot start Xvfb: install the xvfb package (scripts/setup.sh)\n");
        return 1;
    }
    std::atexit(stopXvfb);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");
    kztest::resetTestEnvironment();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    int rc;
    {
        QApplication app(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    stopXvfb();
    return rc;
}
