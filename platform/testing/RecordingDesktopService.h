// Test double: answers dialogs from a script (or keeps them showing until told), and records
// what was asked for.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/Desktop.h"

namespace platform {

class RecordingDesktopService final : public DesktopService {
  public:
    RecordingDesktopService() : previous_(setDesktopService(this)) {}
    ~RecordingDesktopService() override { setDesktopService(previous_); }
    RecordingDesktopService(const RecordingDesktopService&) = delete;
    RecordingDesktopService& operator=(const RecordingDesktopService&) = delete;

    std::unique_ptr<Dialog> startFileDialog(const FileDialogRequest& request) override {
        requests.push_back(request);
        return next();
    }
    std::unique_ptr<Dialog> askQuestion(const std::string&, const std::string& text) override {
        questions.push_back(text);
        return next();
    }
    void openWebPage(const char* url) override { webPages.emplace_back(url); }

    // Script helpers: the next dialog ends with this path / yes, or is cancelled / unavailable.
    void accept(const std::string& path = {}) { answers.push_back({DialogAnswer::kAccepted, path, {}}); }
    void cancel() { answers.push_back({DialogAnswer::kCancelled, {}, {}}); }
    void lack(const std::string& problem) { answers.push_back({DialogAnswer::kUnavailable, {}, problem}); }

    // The last dialog started, while its owner still holds it; set its answer to end it.
    std::shared_ptr<DialogAnswer> lastDialog() const { return last_.lock(); }
    int dialogsStarted() const { return started_; }

    // Dialogs started while this is set keep showing until the test answers them.
    bool holdOpen = false;
    // Answers of the next dialogs, in order; with none left a dialog is cancelled.
    std::deque<DialogAnswer> answers;
    std::vector<FileDialogRequest> requests;
    std::vector<std::string> questions;
    std::vector<std::string> webPages;

  private:
    class ScriptedDialog final : public Dialog {
      public:
        explicit ScriptedDialog(std::shared_ptr<DialogAnswer> answer) : answer_(std::move(answer)) {}
        DialogAnswer poll() override { return *answer_; }

      private:
        std::shared_ptr<DialogAnswer> answer_;
    };

    std::unique_ptr<Dialog> next() {
        auto answer = std::make_shared<DialogAnswer>();
        if (!holdOpen) {
            if (answers.empty()) {
                answer->status = DialogAnswer::kCancelled;
            } else {
                *answer = answers.front();
                answers.pop_front();
            }
        }
        last_ = answer;
        ++started_;
        return std::make_unique<ScriptedDialog>(answer);
    }

    DesktopService* previous_;
    std::weak_ptr<DialogAnswer> last_;
    int started_ = 0;
};

}  // namespace platform
