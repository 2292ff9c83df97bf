#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/linux/Spawn.h"

namespace platform {

namespace {

constexpr const char* kZenity = "/usr/bin/zenity";
constexpr const char* kKdialog = "/usr/bin/kdialog";

bool haveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

bool executable(const char* path) {
    return access(path, X_OK) == 0;
}

DialogAnswer unavailable(const char* problem) {
    DialogAnswer answer;
    answer.status = DialogAnswer::kUnavailable;
    answer.problem = problem;
    return answer;
}

// A dialog program running beside the host: its output is collected and its end noticed from
// poll(), so the host's user-interface thread never waits for the user.
class SpawnedDialog final : public Dialog {
  public:
    // False when the program could not be started.
    bool start(const std::vector<std::string>& args) {
        int fds[2];
        // Close-on-exec, so other programs the host starts do not hold the pipe open.
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            pid_ = -1;
            return false;
        }
        out_ = fds[0];
        return true;
    }

    ~SpawnedDialog() override {
        if (out_ >= 0) {
            close(out_);
        }
        // Only a child that is still ours and running is ended: one a host's own handler has
        // reaped may have handed its number to another process.
        int status = 0;
        if (pid_ > 0 && !exited_ && waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, &status, 0);
        }
    }

    DialogAnswer poll() override {
        if (answer_.status != DialogAnswer::kRunning) {
            return answer_;
        }
        readAvailable();
        if (!exited_) {
            int status = 0;
            const pid_t got = waitpid(pid_, &status, WNOHANG);
            if (got == 0) {
                return answer_;
            }
            exited_ = true;
            // Reaped by someone else (a host that collects every child): only the output tells.
            succeeded_ = got == pid_ ? WIFEXITED(status) && WEXITSTATUS(status) == 0 : !output_.empty();
        }
        readAvailable();
        while (!output_.empty() && (output_.back() == '\n' || output_.back() == '\r')) {
            output_.pop_back();
        }
        answer_.status = succeeded_ ? DialogAnswer::kAccepted : DialogAnswer::kCancelled;
        answer_.path = succeeded_ ? output_ : std::string();
        return answer_;
    }

  private:
    void readAvailable() {
        if (out_ < 0) {
            return;
        }
        char buffer[512];
        while (true) {
            const ssize_t got = read(out_, buffer, sizeof buffer);
            if (got > 0) {
                output_.append(buffer, static_cast<std::size_t>(got));
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                if (got == 0) {
                    close(out_);
                    out_ = -1;
                }
                return;
            }
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    bool succeeded_ = false;
    std::string output_;
    DialogAnswer answer_;
};

std::string bothCases(const std::string& extension) {
    std::string lower;
    std::string upper;
    for (char c : extension) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return "*." + lower + " *." + upper;
}

constexpr const char* kNoDialogProgram = "Load and Save need zenity or kdialog installed.";
constexpr const char* kNoDisplay = "No display to show the file dialog on.";

class LinuxDesktopService final : public DesktopService {
  public:
    // zenity or kdialog, whichever is installed.
    std::unique_ptr<Dialog> startFileDialog(const FileDialogRequest& request) override {
        if (!haveDisplay()) {
            return finishedDialog(unavailable(kNoDisplay));
        }
        const std::string patterns = bothCases(request.extension);
        if (executable(kZenity)) {
            std::vector<std::string> args = {kZenity, "--file-selection", "--title=" + request.title,
                                             "--file-filter=" + request.typeName + " | " + patterns,
                                             "--file-filter=Any Type | *"};
            if (request.save) {
                args.push_back("--save");
            }
            return startDialogProgram(args);
        }
        if (executable(kKdialog)) {
            return startDialogProgram({kKdialog, "--title", request.title,
                                       request.save ? "--getsavefilename" : "--getopenfilename", ".",
                                       patterns + "|" + request.typeName + "\n*|Any Type"});
        }
        return finishedDialog(unavailable(kNoDialogProgram));
    }

    std::unique_ptr<Dialog> askQuestion(const std::string& title, const std::string& text) override {
        if (!haveDisplay()) {
            return finishedDialog(unavailable(kNoDisplay));
        }
        if (executable(kZenity)) {
            return startDialogProgram(
                {kZenity, "--question", "--no-markup", "--title=" + title, "--text=" + text});
        }
        if (executable(kKdialog)) {
            return startDialogProgram({kKdialog, "--title", title, "--yesno", text});
        }
        return finishedDialog(unavailable(kNoDialogProgram));
    }

    void openWebPage(const char* url) override {
        if (!executable("/usr/bin/xdg-open")) {
            return;
        }
        runDetached("/usr/bin/xdg-open \"$1\" >/dev/null 2>&1 &", url, "");
    }
};

}  // namespace

std::unique_ptr<Dialog> startDialogProgram(const std::vector<std::string>& args) {
    auto dialog = std::make_unique<SpawnedDialog>();
    if (args.empty() || !dialog->start(args)) {
        return finishedDialog(unavailable("The dialog program could not be started."));
    }
    return dialog;
}

DesktopService& systemDesktopService() {
    static LinuxDesktopService service;
    return service;
}

}  // namespace platform
