#include <windows.h>
// after windows.h
#include <commdlg.h>
#include <shellapi.h>

#include <cctype>
#include <string>

#include "platform/Desktop.h"

namespace platform {

namespace {

std::string upper(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// "VST FXP (*.fxp)\0*.fxp\0All files\0*.*\0\0"; Windows matches the pattern in either case.
std::string filterFor(const FileDialogRequest& request) {
    std::string pattern = "*." + request.extension;
    std::string filter = request.typeName + " (" + upper(pattern) + ")";
    filter.push_back('\0');
    filter += pattern;
    filter.push_back('\0');
    filter += "All files (*.*)";
    filter.push_back('\0');
    filter += "*.*";
    filter.push_back('\0');
    return filter;
}

class WindowsDesktopService final : public DesktopService {
  public:
    // Modal on the editor's thread, as Windows dialogs are; the audio thread never waits for it.
    std::unique_ptr<Dialog> startFileDialog(const FileDialogRequest& request) override {
        char file[MAX_PATH] = {};
        const std::string filter = filterFor(request);
        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = GetActiveWindow();
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file;
        dialog.nMaxFile = sizeof file;
        dialog.lpstrTitle = request.title.c_str();
        dialog.lpstrDefExt = request.extension.c_str();
        // Replacing a file is confirmed by the caller, once the extension is added.
        dialog.Flags =
            OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | (request.save ? 0 : OFN_FILEMUSTEXIST);
        const BOOL chosen = request.save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
        DialogAnswer answer;
        if (chosen && file[0] != '\0') {
            answer.status = DialogAnswer::kAccepted;
            answer.path = file;
        } else if (DWORD error = CommDlgExtendedError()) {
            answer.status = DialogAnswer::kUnavailable;
            answer.problem = "The file dialog could not be shown (error " + std::to_string(error) + ").";
        } else {
            answer.status = DialogAnswer::kCancelled;
        }
        return finishedDialog(std::move(answer));
    }

    std::unique_ptr<Dialog> askQuestion(const std::string& title, const std::string& text) override {
        DialogAnswer answer;
        int pressed = MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION);
        if (pressed == 0) {
            answer.status = DialogAnswer::kUnavailable;
            answer.problem = "The question could not be shown.";
        } else {
            answer.status = pressed == IDYES ? DialogAnswer::kAccepted : DialogAnswer::kCancelled;
        }
        return finishedDialog(std::move(answer));
    }

    void openWebPage(const char* url) override {
        ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
    }
};

}  // namespace

DesktopService& systemDesktopService() {
    static WindowsDesktopService service;
    return service;
}

}  // namespace platform
