// zornbeck edit on Windows: the plug-in's editor in a top-level window of our own, as a DAW shows it.
#include <windows.h>

#include <cstdio>

#include "EditSession.h"

namespace zb {

namespace {

const char* const kEditHelp =
    "Usage: zornbeck edit [--scale S] [--program N|NAME] [--param INDEX=VALUE]... [--seconds S] [--module PATH]\n"
    "\n"
    "Opens the plug-in's editor inside a window of its own, as a DAW does: effEditGetRect,\n"
    "effEditOpen with the window, effEditIdle about every 30 ms, and silence processed in real\n"
    "time so parameter changes reach the engine. Runs until the window is closed. Parameter\n"
    "changes made in the editor are printed.\n"
    "\n"
    "  --program N|NAME     factory program to start with, by number or name\n"
    "  --param INDEX=VALUE  set a parameter (value 0..1) after the program; repeat for more\n"
    "  --scale S            open the editor at factor S (1 to 3), as a host on a high-density\n"
    "                       screen asks for it (default: the plug-in's own choice)\n"
    "  --seconds S          close by itself after S seconds\n"
    "  --module PATH        the plug-in module (default: Zornbeck.dll beside this program)\n";

constexpr UINT kIdleMs = 30;
const char* const kHostClass = "ZornbeckHostWindow";

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The outer size of a window whose client area is width x height.
SIZE outerSize(int width, int height, DWORD style) {
    RECT r{0, 0, width, height};
    AdjustWindowRect(&r, style, FALSE);
    return {r.right - r.left, r.bottom - r.top};
}

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

bool resizeWindow(void* context, int width, int height) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    const SIZE s = outerSize(width, height, kStyle);
    return SetWindowPos(static_cast<HWND>(context), nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER) !=
           0;
}

}  // namespace

int commandEdit(const std::vector<std::string>& args) {
    const std::optional<EditOptions> options = scanEditOptions(args, kEditHelp);
    if (!options) {
        return kExitOk;
    }
    EditSession session(*options);
    PluginLoader* plugin = &session.plugin();
    int width = 0, height = 0;
    session.initialSize(width, height);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = hostProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kHostClass;
    RegisterClassExA(&wc);
    const std::string title = session.title();
    const SIZE outer = outerSize(width, height, kStyle);
    HWND window = CreateWindowExA(0, kHostClass, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  outer.cx, outer.cy, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        throw RuntimeError("cannot create a window (error " + std::to_string(GetLastError()) + ")");
    }
    plugin->setSizeWindowHandler(&resizeWindow, window);
    if (plugin->dispatch(effEditOpen, 0, 0, window) == 0) {
        plugin->setSizeWindowHandler(nullptr, nullptr);
        DestroyWindow(window);
        throw RuntimeError("'" + options->modulePath + "' did not open its editor");
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    bool open = true;
    while (open) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                open = false;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!open) {
            break;
        }
        if (!session.tick()) {
            open = false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kIdleMs, QS_ALLINPUT);
    }

    plugin->dispatch(effEditClose);
    plugin->setSizeWindowHandler(nullptr, nullptr);
    if (IsWindow(window)) {
        DestroyWindow(window);
    }
    return kExitOk;
}

}  // namespace zb
