// The desktop services the editor asks for: a file dialog and the user's web browser. Tests
// replace the service with a recording double.
#pragma once

#include <string>

namespace platform {

struct FileDialogRequest {
    bool save = false;
    std::string title;
    std::string typeName;   // shown for the filter, e.g. "VST FXP"
    std::string extension;  // without the dot, e.g. "fxp"; matched in either case
};

class DesktopService {
public:
    virtual ~DesktopService() = default;
    // Runs a modal dialog; true with the chosen path, false when nothing was chosen or no
    // dialog can be shown.
    virtual bool chooseFile(const FileDialogRequest& request, std::string& path) = 0;
    // Opens the address in the user's default browser, without waiting for it.
    virtual void openWebPage(const char* url) = 0;
};

DesktopService& systemDesktopService();
DesktopService& desktopService();
DesktopService* setDesktopService(DesktopService* service);

}  // namespace platform
