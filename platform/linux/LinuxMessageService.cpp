#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/MessageBox.h"

extern char** environ;

namespace platform {

namespace {

bool haveDialogProgram() {
    const char* display = std::getenv("DISPLAY");
    return display && *display && access("/usr/bin/zenity", X_OK) == 0;
}

class LinuxMessageService final : public MessageService {
public:
    void showWarning(const char* text, const char* caption) override {
        std::fprintf(stderr, "Zornbeck: %s: %s\n", caption, text);
        if (!haveDialogProgram()) {
            return;
        }
        // The dialog runs detached: the caller may be the host's audio thread, which must not
        // wait for a user. Text and caption travel as arguments, never through the shell's parser.
        const char* argv[] = {"/bin/sh", "-c",
                              "/usr/bin/zenity --warning --title=\"$1\" --text=\"$2\" >/dev/null 2>&1 &",
                              "sh", caption, text, nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }

    void exitProcess(int code) override { std::exit(code); }
};

}  // namespace

MessageService& systemMessageService() {
    static LinuxMessageService service;
    return service;
}

}  // namespace platform
