// zornbeck edit: the plug-in's editor in a top-level X11 window of our own, as a DAW shows it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <cstdio>

#include "EditSession.h"

namespace zb {

namespace {

const char* const kEditHelp =
    "Usage: zornbeck edit [--scale S] [--program N|NAME] [--param INDEX=VALUE]... [--seconds S] [--module PATH]\n"
    "\n"
    "Opens the plug-in's editor inside a window of its own on the X display, as a DAW does:\n"
    "effEditGetRect, effEditOpen with the window, effEditIdle about every 30 ms, and silence\n"
    "processed in real time so parameter changes reach the engine. Runs until the window is\n"
    "closed. Parameter changes made in the editor are printed.\n"
    "\n"
    "  --program N|NAME     factory program to start with, by number or name\n"
    "  --param INDEX=VALUE  set a parameter (value 0..1) after the program; repeat for more\n"
    "  --scale S            open the editor at factor S (1 to 3), as a host on a high-density\n"
    "                       screen asks for it (default: the plug-in's own choice)\n"
    "  --seconds S          close by itself after S seconds\n"
    "  --module PATH        the plug-in module (default: Zornbeck.so beside this program)\n";

constexpr int kIdleMs = 30;

struct HostWindow {
    Display* display;
    ::Window window;
};

bool resizeWindow(void* context, int width, int height) {
    auto* w = static_cast<HostWindow*>(context);
    if (width <= 0 || height <= 0) {
        return false;
    }
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    XSetWMNormalHints(w->display, w->window, &hints);
    XResizeWindow(w->display, w->window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(w->display);
    return true;
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

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        throw RuntimeError("cannot open the X display" +
                           std::string(std::getenv("DISPLAY")
                                           ? " '" + std::string(std::getenv("DISPLAY")) + "'"
                                           : " (DISPLAY is not set)"));
    }
    const int screen = DefaultScreen(display);
    HostWindow win{display, XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                                static_cast<unsigned>(width), static_cast<unsigned>(height),
                                                0, BlackPixel(display, screen), BlackPixel(display, screen))};
    XStoreName(display, win.window, session.title().c_str());
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, win.window, &deleteWindow, 1);
    XSelectInput(display, win.window, StructureNotifyMask);
    resizeWindow(&win, width, height);
    plugin->setSizeWindowHandler(&resizeWindow, &win);
    // The plug-in makes its child window on a connection of its own: ours must exist on the server first.
    XSync(display, False);

    if (plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(win.window)) == 0) {
        plugin->setSizeWindowHandler(nullptr, nullptr);
        XDestroyWindow(display, win.window);
        XCloseDisplay(display);
        throw RuntimeError("'" + options->modulePath + "' did not open its editor");
    }
    XMapWindow(display, win.window);
    XFlush(display);
    // Many plug-ins know their real size only after open.
    ERect* rect = nullptr;
    plugin->dispatch(effEditGetRect, 0, 0, &rect);
    if (rect != nullptr && rect->right - rect->left > 0 && rect->bottom - rect->top > 0 &&
        (rect->right - rect->left != width || rect->bottom - rect->top != height)) {
        resizeWindow(&win, rect->right - rect->left, rect->bottom - rect->top);
    }

    bool open = true;
    while (open) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
                open = false;
            } else if (event.type == DestroyNotify && event.xdestroywindow.window == win.window) {
                open = false;
            }
        }
        if (!session.tick()) {
            open = false;
        }
        pollfd wait{ConnectionNumber(display), POLLIN, 0};
        poll(&wait, 1, kIdleMs);
    }

    plugin->dispatch(effEditClose);
    plugin->setSizeWindowHandler(nullptr, nullptr);
    XDestroyWindow(display, win.window);
    XCloseDisplay(display);
    return kExitOk;
}

}  // namespace zb
