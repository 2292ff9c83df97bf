#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/linux/Spawn.h"

namespace platform {

namespace {

bool haveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

bool executable(const char* path) { return access(path, X_OK) == 0; }

// Runs the program with the arguments (never through a shell) and collects what it prints.
bool runAndRead(const std::vector<std::string>& args, std::string& output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", 0, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return false;
    }
    output.clear();
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !output.empty();
}

std::string bothCases(const std::string& extension) {
    std::string lower;
    std::string upper;
    for (char c : extension) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return "*." + lower + " *." + upper;
}

class LinuxDesktopService final : public DesktopService {
public:
    // zenity or kdialog when one is installed; otherwise nothing is chosen.
    bool chooseFile(const FileDialogRequest& request, std::string& path) override {
        if (!haveDisplay()) {
            return false;
        }
        const std::string patterns = bothCases(request.extension);
        std::vector<std::string> args;
        if (executable("/usr/bin/zenity")) {
            args = {"/usr/bin/zenity", "--file-selection", "--title=" + request.title,
                    "--file-filter=" + request.typeName + " | " + patterns, "--file-filter=Any Type | *"};
            if (request.save) {
                args.push_back("--save");
                args.push_back("--confirm-overwrite");
            }
        } else if (executable("/usr/bin/kdialog")) {
            args = {"/usr/bin/kdialog", "--title", request.title,
                    request.save ? "--getsavefilename" : "--getopenfilename", ".",
                    patterns + "|" + request.typeName + "\n*|Any Type"};
        } else {
            return false;
        }
        std::string chosen;
        if (!runAndRead(args, chosen)) {
            return false;
        }
        path = chosen;
        return true;
    }

    void openWebPage(const char* url) override {
        if (!executable("/usr/bin/xdg-open")) {
            return;
        }
        runDetached("/usr/bin/xdg-open \"$1\" >/dev/null 2>&1 &", url, "");
    }
};

}  // namespace

DesktopService& systemDesktopService() {
    static LinuxDesktopService service;
    return service;
}

}  // namespace platform
