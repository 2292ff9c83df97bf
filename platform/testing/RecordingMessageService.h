// Test double: records messages instead of showing them, and records exit instead of exiting.
#pragma once

#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace platform {

class RecordingMessageService final : public MessageService {
public:
    struct Message {
        std::string text;
        std::string caption;
    };

    RecordingMessageService() : previous_(setMessageService(this)) {}
    ~RecordingMessageService() override { setMessageService(previous_); }
    RecordingMessageService(const RecordingMessageService&) = delete;
    RecordingMessageService& operator=(const RecordingMessageService&) = delete;

    void showWarning(const char* text, const char* caption) override { messages.push_back({text, caption}); }
    void exitProcess(int code) override { exitCodes.push_back(code); }

    std::vector<Message> messages;
    std::vector<int> exitCodes;

private:
    MessageService* previous_;
};

}  // namespace platform
