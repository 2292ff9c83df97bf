// Test double: answers file dialogs from a list and records the web pages asked for.
#pragma once

#include <deque>
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

    bool chooseFile(const FileDialogRequest& request, std::string& path) override {
        requests.push_back(request);
        if (answers.empty()) {
            return false;
        }
        path = answers.front();
        answers.pop_front();
        return true;
    }
    void openWebPage(const char* url) override { webPages.emplace_back(url); }

    std::deque<std::string> answers;
    std::vector<FileDialogRequest> requests;
    std::vector<std::string> webPages;

private:
    DesktopService* previous_;
};

}  // namespace platform
