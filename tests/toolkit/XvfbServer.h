// A private X server for a test: Xvfb on a display number it picks itself, stopped at the end.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class XvfbServer {
  public:
    // False when Xvfb is missing or did not come up within ten seconds.
    bool start() {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            // The server goes with the test, however the test ends, and holds none of its
            // output pipes, so a test runner never waits for it.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
                   "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return false;
        }
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty())
            return false;
        display = ":" + number;
        setenv("DISPLAY", display.c_str(), 1);
        return true;
    }

    ~XvfbServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }

    std::string display;

  private:
    pid_t pid = -1;
};

// After the test framework: Xlib's macros clash with its names.
#include <X11/Xlib.h>

// A top-level window standing in for a host's, shown before it is returned: a plug-in's child
// window needs a mapped parent to be seen.
inline unsigned long mappedHostWindow(Display* display, int left, int top, unsigned width, unsigned height) {
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), left, top, width, height, 0, 0, 0);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XEvent e;
    do {
        XNextEvent(display, &e);
    } while (e.type != MapNotify || e.xmap.window != window);
    return window;
}
