// The two messages the product ever shows: a warning the user must see, and the end of the
// process after an unrecoverable failure. Tests replace the service with a recording double.
#pragma once

namespace platform {

class MessageService {
public:
    virtual ~MessageService() = default;
    virtual void showWarning(const char* text, const char* caption) = 0;
    // Ends the process; a test double may return instead.
    virtual void exitProcess(int code) = 0;
};

// The system's own service (message box on Windows, stderr plus a dialog on Linux).
MessageService& systemMessageService();

// The service in use; tests install a double and restore the previous one.
MessageService& messageService();
MessageService* setMessageService(MessageService* service);

}  // namespace platform
