#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/MessageBox.h"
#include "platform/linux/Spawn.h"

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
        // Detached: the caller may be the host's audio thread, which must not wait for a user.
        runDetached("/usr/bin/zenity --warning --title=\"$1\" --text=\"$2\" >/dev/null 2>&1 &", caption, text);
    }

    void exitProcess(int code) override { std::exit(code); }
};

}  // namespace

MessageService& systemMessageService() {
    static LinuxMessageService service;
    return service;
}

}  // namespace platform
