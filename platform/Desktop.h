// The desktop services the editor asks for: file dialogs, a yes/no question and the user's web
// browser. Tests replace the service with a recording double.
#pragma once

#include <memory>
#include <string>

namespace platform {

struct FileDialogRequest {
    bool save = false;
    std::string title;
    std::string typeName;   // shown for the filter, e.g. "VST FXP"
    std::string extension;  // without the dot, e.g. "fxp"; matched in either case
};

// How a dialog ended, or that it is still showing.
struct DialogAnswer {
    enum Status { kRunning, kAccepted, kCancelled, kUnavailable };
    Status status = kRunning;
    std::string path;     // kAccepted file dialogs: the chosen file
    std::string problem;  // kUnavailable: what is missing, in words for the user
};

// A dialog that was started and is asked for its answer from the editor's idle. Modal platforms
// hand back one that has already ended.
class Dialog {
  public:
    // A dialog still showing is closed and its answer dropped.
    virtual ~Dialog() = default;
    // kRunning until the user ends it; after that the same final answer every time.
    virtual DialogAnswer poll() = 0;
};

// A dialog that ended before it was handed back.
std::unique_ptr<Dialog> finishedDialog(DialogAnswer answer);

class DesktopService {
  public:
    virtual ~DesktopService() = default;
    // Shows a file dialog without waiting for it where the platform allows (else modally). The
    // save dialog does not confirm replacing a file itself: the caller adds the extension first
    // and asks with askQuestion.
    virtual std::unique_ptr<Dialog> startFileDialog(const FileDialogRequest& request) = 0;
    // A question with yes (kAccepted) and no (kCancelled), shown like the file dialogs.
    virtual std::unique_ptr<Dialog> askQuestion(const std::string& title, const std::string& text) = 0;
    // Opens the address in the user's default browser, without waiting for it.
    virtual void openWebPage(const char* url) = 0;
};

DesktopService& systemDesktopService();
DesktopService& desktopService();
DesktopService* setDesktopService(DesktopService* service);

}  // namespace platform
