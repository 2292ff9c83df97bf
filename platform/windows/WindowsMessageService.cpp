#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/MessageBox.h"

namespace platform {

namespace {

struct Warning {
    char text[1024];
    char caption[256];
    HMODULE module;  // held while the box shows: the host may unload the plug-in meanwhile
};

// The box runs on a thread of its own: the caller may be the host's audio thread, which must
// never wait for a user.
DWORD WINAPI showBox(LPVOID parameter) {
    auto* warning = static_cast<Warning*>(parameter);
    MessageBoxA(nullptr, warning->text, warning->caption, MB_OK | MB_ICONWARNING | MB_TOPMOST);
    HMODULE module = warning->module;
    delete warning;
    FreeLibraryAndExitThread(module, 0);
}

void copyText(char* to, std::size_t size, const char* from) {
    std::snprintf(to, size, "%s", from ? from : "");
}

class WindowsMessageService final : public MessageService {
  public:
    void showWarning(const char* text, const char* caption) override {
        std::fprintf(stderr, "Zornbeck: %s: %s\n", caption ? caption : "", text ? text : "");
        auto* warning = new (std::nothrow) Warning;
        if (!warning) {
            return;
        }
        copyText(warning->text, sizeof warning->text, text);
        copyText(warning->caption, sizeof warning->caption, caption);
        if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&showBox),
                                &warning->module)) {
            delete warning;
            return;
        }
        HANDLE thread = CreateThread(nullptr, 0, showBox, warning, 0, nullptr);
        if (!thread) {
            FreeLibrary(warning->module);
            delete warning;
            return;
        }
        if (HANDLE previous = lastBox_.exchange(thread)) {
            CloseHandle(previous);
        }
    }

    // The message that explains the end must stay up until the user has read it.
    void exitProcess(int code) override {
        if (HANDLE box = lastBox_.exchange(nullptr)) {
            WaitForSingleObject(box, INFINITE);
            CloseHandle(box);
        }
        std::exit(code);
    }

  private:
    std::atomic<HANDLE> lastBox_{nullptr};
};

}  // namespace

MessageService& systemMessageService() {
    static WindowsMessageService service;
    return service;
}

}  // namespace platform
