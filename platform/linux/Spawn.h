// Starting helper programs from inside a host process.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Desktop.h"

extern char** environ;

namespace platform {

// Runs `script` in /bin/sh with the two arguments as $1 and $2 (never parsed by the shell). The
// script backgrounds its program, so the caller waits only for the short-lived shell and no
// child is left for the host to reap.
inline void runDetached(const char* script, const char* first, const char* second) {
    const char* argv[] = {"/bin/sh", "-c", script, "sh", first, second, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
}

// Starts a dialog program (argv[0] a full path, never a shell) without waiting for it: its
// answer is what it prints when it exits with 0, and it is ended when the handle goes away.
// An already-ended kUnavailable answer when it cannot be started.
std::unique_ptr<Dialog> startDialogProgram(const std::vector<std::string>& args);

}  // namespace platform
