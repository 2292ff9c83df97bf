#include "toolkit/frame/X11Frame.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "toolkit/frame/SystemScale.h"

namespace {

// The host may destroy its window, and with it ours, before it closes the editor. The requests
// that then fail must not reach Xlib's default error handler, which ends the process: errors on
// our own connections are ignored, all others go to the handler that was there before.
std::mutex handlerMutex;
std::vector<Display*> ourDisplays;
XErrorHandler previousHandler = nullptr;

int ignoreOurErrors(Display* display, XErrorEvent* error) {
    XErrorHandler next = nullptr;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        if (std::find(ourDisplays.begin(), ourDisplays.end(), display) != ourDisplays.end())
            return 0;
        next = previousHandler;
    }
    return next ? next(display, error) : 0;
}

void registerDisplay(Display* display) {
    std::lock_guard<std::mutex> lock(handlerMutex);
    if (ourDisplays.empty())
        previousHandler = XSetErrorHandler(ignoreOurErrors);
    ourDisplays.push_back(display);
}

// Called after the last request on `display` was answered.
void unregisterDisplay(Display* display) {
    std::lock_guard<std::mutex> lock(handlerMutex);
    ourDisplays.erase(std::remove(ourDisplays.begin(), ourDisplays.end(), display), ourDisplays.end());
    if (!ourDisplays.empty())
        return;
    // Put the previous handler back, unless someone installed theirs after ours: the module may
    // be unloaded, and no handler may point into it then.
    XErrorHandler current = XSetErrorHandler(previousHandler);
    if (current != ignoreOurErrors)
        XSetErrorHandler(current);
    previousHandler = nullptr;
}

// An XImage that shows a CBitmap's pixels without copying them.
XImage* imageFor(Display* display, Visual* visual, int depth, CBitmap& bitmap) {
    XImage* image =
        XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, reinterpret_cast<char*>(bitmap.pixels()),
                     unsigned(bitmap.getWidth()), unsigned(bitmap.getHeight()), 32, bitmap.getWidth() * 4);
    if (image) {
        image->byte_order = LSBFirst;
    }
    return image;
}

void releaseImage(XImage* image) {
    if (!image)
        return;
    image->data = nullptr;  // the pixels belong to the bitmap
    XDestroyImage(image);
}

int buttonsOf(unsigned int state) {
    int b = 0;
    if (state & Button1Mask)
        b |= kLButton;
    if (state & Button2Mask)
        b |= kMButton;
    if (state & Button3Mask)
        b |= kRButton;
    if (state & ShiftMask)
        b |= kShift;
    if (state & ControlMask)
        b |= kControl;
    if (state & Mod1Mask)
        b |= kAlt;
    return b;
}

int buttonBit(unsigned int button) {
    switch (button) {
        case Button1:
            return kLButton;
        case Button2:
            return kMButton;
        case Button3:
            return kRButton;
        default:
            return 0;
    }
}

CKeyCode keyOf(XKeyEvent& event) {
    char text[8] = {};
    KeySym sym = 0;
    int n = XLookupString(&event, text, sizeof text, &sym, nullptr);
    CKeyCode key;
    if (n == 1 && static_cast<unsigned char>(text[0]) >= 32 && text[0] != 127)
        key.character = static_cast<unsigned char>(text[0]);
    switch (sym) {
        case XK_BackSpace:
            key.virt = kVKeyBack;
            break;
        case XK_Tab:
            key.virt = kVKeyTab;
            break;
        case XK_Return:
            key.virt = kVKeyReturn;
            break;
        case XK_KP_Enter:
            key.virt = kVKeyEnter;
            break;
        case XK_Escape:
            key.virt = kVKeyEscape;
            break;
        case XK_space:
            key.virt = kVKeySpace;
            break;
        case XK_End:
            key.virt = kVKeyEnd;
            break;
        case XK_Home:
            key.virt = kVKeyHome;
            break;
        case XK_Left:
            key.virt = kVKeyLeft;
            break;
        case XK_Up:
            key.virt = kVKeyUp;
            break;
        case XK_Right:
            key.virt = kVKeyRight;
            break;
        case XK_Down:
            key.virt = kVKeyDown;
            break;
        case XK_Delete:
            key.virt = kVKeyDelete;
            break;
        default:
            break;
    }
    if (event.state & ShiftMask)
        key.modifiers |= kKeyShift;
    if (event.state & ControlMask)
        key.modifiers |= kKeyControl;
    if (event.state & Mod1Mask)
        key.modifiers |= kKeyAlt;
    return key;
}

}  // namespace

double systemScale(void*) {
    if (Display* d = XOpenDisplay(nullptr)) {
        std::optional<double> dpi = scaleFromXResources(XResourceManagerString(d));
        XCloseDisplay(d);
        if (dpi)
            return *dpi;
    }
    return scaleFromText(std::getenv("GDK_SCALE")).value_or(1.0);
}

// One showing popup list: its window, picture and layout.
struct PopupLevel {
    explicit PopupLevel(COptionMenu* menu) : list(menu, (menu->getStyle() & COptionMenu::kCheckStyle) != 0) {}
    CPopupList list;
    Window window = 0;
    CRect screenRect;  // device pixels
    std::unique_ptr<CBitmap> picture;
    int highlighted = -1;
};

struct CX11Frame::Impl {
    Display* display = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    Window root = 0;
    Window window = 0;
    Colormap colormap = 0;
    GC gc = nullptr;
    CBitmap backBuffer;
    XImage* image = nullptr;
    CRect pending;
    COptionMenu* popupMenu = nullptr;
    std::vector<std::unique_ptr<PopupLevel>> levels;
    bool grabbed = false;
    bool windowGone = false;  // destroyed with the host's window

    Impl(int w, int h) : backBuffer(w, h) {}
};

CX11Frame* CX11Frame::attach(CFrame* frame, unsigned long parent) {
    const CRect& r = frame->getViewSize();
    const CRect device = frame->getDeviceSize();
    auto impl = std::make_unique<Impl>(device.width(), device.height());
    impl->display = XOpenDisplay(nullptr);
    if (!impl->display)
        return nullptr;
    Display* d = impl->display;
    registerDisplay(d);
    int screen = DefaultScreen(d);
    impl->visual = DefaultVisual(d, screen);
    impl->depth = DefaultDepth(d, screen);
    impl->root = RootWindow(d, screen);
    // The pictures are 32-bit pixels with red, green and blue in the usual bytes.
    if ((impl->depth != 24 && impl->depth != 32) || impl->visual->red_mask != 0xFF0000 ||
        impl->visual->blue_mask != 0xFF || parent == 0) {
        unregisterDisplay(d);
        XCloseDisplay(d);
        return nullptr;
    }
    XSetWindowAttributes attributes{};
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            KeyPressMask | KeyReleaseMask | StructureNotifyMask;
    attributes.background_pixmap = None;
    // A colormap and border of our own, so the window opens inside a parent of another visual or
    // depth too (toolkits often give one with alpha).
    impl->colormap = XCreateColormap(d, impl->root, impl->visual, AllocNone);
    attributes.colormap = impl->colormap;
    attributes.border_pixel = 0;
    impl->window = XCreateWindow(d, Window(parent), 0, 0, unsigned(device.width()), unsigned(device.height()), 0,
                                 impl->depth, InputOutput, impl->visual,
                                 CWEventMask | CWBackPixmap | CWColormap | CWBorderPixel, &attributes);
    impl->gc = XCreateGC(d, impl->window, 0, nullptr);
    impl->image = imageFor(d, impl->visual, impl->depth, impl->backBuffer);
    // The whole picture is drawn before the window first shows.
    {
        auto context = createBitmapContext(impl->backBuffer, frame->getScale());
        frame->drawRect(context.get(), r);
    }
    XMapWindow(d, impl->window);
    // The host may ask about its child window at once, on its own connection.
    XSync(d, False);
    XWindowAttributes attributesNow{};
    if (!XGetWindowAttributes(d, impl->window, &attributesNow)) {
        // The parent was not a window of this display.
        releaseImage(impl->image);
        XFreeGC(d, impl->gc);
        XFreeColormap(d, impl->colormap);
        XSync(d, False);
        unregisterDisplay(d);
        XCloseDisplay(d);
        return nullptr;
    }
    auto* platform = new CX11Frame(frame, std::move(impl));
    frame->setPlatform(std::unique_ptr<IPlatformFrame>(platform));
    return platform;
}

CX11Frame::CX11Frame(CFrame* f, std::unique_ptr<Impl> i)
    : frame(f), impl(std::move(i)), window(impl->window) {}

CX11Frame::~CX11Frame() {
    closePopup();
    Display* d = impl->display;
    releaseImage(impl->image);
    XFreeGC(d, impl->gc);
    XEvent e;
    XSync(d, False);
    if (XCheckTypedWindowEvent(d, impl->window, DestroyNotify, &e))
        impl->windowGone = true;
    if (!impl->windowGone)
        XDestroyWindow(d, impl->window);
    XFreeColormap(d, impl->colormap);
    XSync(d, False);
    unregisterDisplay(d);
    XCloseDisplay(d);
}

unsigned long CX11Frame::getPopupWindow(int level) const {
    return level >= 0 && level < int(impl->levels.size()) ? impl->levels[std::size_t(level)]->window : 0;
}

int CX11Frame::eventDescriptor() const {
    return impl->display ? ConnectionNumber(impl->display) : -1;
}

std::uint32_t CX11Frame::ticks() const {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint32_t(std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u);
}

void CX11Frame::invalidRect(const CRect& r) {
    impl->pending = impl->pending.unite(r);
}

void CX11Frame::flush() {
    if (!impl->pending.isEmpty()) {
        CRect area = impl->pending.intersect(frame->getViewSize());
        impl->pending = CRect();
        auto context = createBitmapContext(impl->backBuffer, frame->getScale());
        frame->drawRect(context.get(), area);
        context.reset();
        CRect device = deviceRect(area, frame->getScale()).intersect(frame->getDeviceSize());
        if (!impl->windowGone && !device.isEmpty())
            XPutImage(impl->display, impl->window, impl->gc, impl->image, device.left, device.top, device.left,
                      device.top, unsigned(device.width()), unsigned(device.height()));
    }
    XFlush(impl->display);
}

void CX11Frame::scaleChanged() {
    // A list showing was laid out for the old scale: it closes without a pick.
    if (impl->popupMenu)
        finishPopup({});
    closePopup();
    CRect device = frame->getDeviceSize();
    releaseImage(impl->image);
    impl->backBuffer = CBitmap(device.width(), device.height());
    impl->image = imageFor(impl->display, impl->visual, impl->depth, impl->backBuffer);
    if (!impl->windowGone)
        XResizeWindow(impl->display, impl->window, unsigned(device.width()), unsigned(device.height()));
    invalidRect(frame->getViewSize());
    flush();
}

void CX11Frame::keyboardFocusChanged(CView* view) {
    if (!view)
        return;
    XWindowAttributes a{};
    // Only a viewable window may take the focus; asking for it otherwise is an X error.
    if (XGetWindowAttributes(impl->display, impl->window, &a) && a.map_state == IsViewable)
        XSetInputFocus(impl->display, impl->window, RevertToParent, CurrentTime);
}

// ---------------------------------------------------------------- popup lists

namespace {

void paintLevel(Display* d, GC gc, Visual* visual, int depth, PopupLevel& level, double scale) {
    auto context = createBitmapContext(*level.picture, scale);
    level.list.draw(*context, level.highlighted);
    context.reset();
    XImage* image = imageFor(d, visual, depth, *level.picture);
    XPutImage(d, level.window, gc, image, 0, 0, 0, 0, unsigned(level.picture->getWidth()),
              unsigned(level.picture->getHeight()));
    releaseImage(image);
}

}  // namespace

void CX11Frame::openLevel(COptionMenu* menu, int x, int y) {
    auto level = std::make_unique<PopupLevel>(menu);
    CBitmap scratch(1, 1);
    CRect size;
    {
        auto measure = createBitmapContext(scratch);
        size = deviceRect(level->list.measure(*measure), frame->getScale());
    }
    Display* d = impl->display;
    int screenW = DisplayWidth(d, DefaultScreen(d));
    int screenH = DisplayHeight(d, DefaultScreen(d));
    x = std::max(0, std::min(x, screenW - size.width()));
    y = std::max(0, std::min(y, screenH - size.height()));
    level->screenRect = size.offset(x, y);
    level->picture = std::make_unique<CBitmap>(size.width(), size.height());
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
    a.background_pixmap = None;
    level->window =
        XCreateWindow(d, impl->root, x, y, unsigned(size.width()), unsigned(size.height()), 0, impl->depth,
                      InputOutput, impl->visual, CWOverrideRedirect | CWEventMask | CWBackPixmap, &a);
    XMapRaised(d, level->window);
    paintLevel(d, impl->gc, impl->visual, impl->depth, *level, frame->getScale());
    impl->levels.push_back(std::move(level));
    // The list is on the screen when this returns (and others may ask about its window).
    XSync(d, False);
}

void CX11Frame::closeLevelsAbove(int levelIndex) {
    while (int(impl->levels.size()) > levelIndex + 1) {
        XDestroyWindow(impl->display, impl->levels.back()->window);
        impl->levels.pop_back();
    }
}

void CX11Frame::openPopup(COptionMenu* menu, CPoint where) {
    closePopup();
    impl->popupMenu = menu;
    Window child = 0;
    int x = 0, y = 0;
    CRect at = deviceRect(CRect(where.x, where.y, where.x, where.y), frame->getScale());
    XTranslateCoordinates(impl->display, impl->window, impl->root, at.left, at.top, &x, &y, &child);
    openLevel(menu, x, y);
    // Clicks outside the lists must reach us, to close them.
    impl->grabbed = XGrabPointer(impl->display, impl->levels[0]->window, True,
                                 ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                                 GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    XGrabKeyboard(impl->display, impl->levels[0]->window, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    XFlush(impl->display);
}

void CX11Frame::closePopup() {
    if (impl->levels.empty())
        return;
    if (impl->grabbed)
        XUngrabPointer(impl->display, CurrentTime);
    XUngrabKeyboard(impl->display, CurrentTime);
    impl->grabbed = false;
    closeLevelsAbove(-1);
    XFlush(impl->display);
}

void CX11Frame::finishPopup(CPopupPick pick) {
    COptionMenu* menu = impl->popupMenu;
    impl->popupMenu = nullptr;
    closePopup();
    if (menu)
        menu->popupClosed(pick);
}

bool CX11Frame::popupEvent(XEvent& e) {
    if (impl->levels.empty())
        return false;
    auto levelAt = [&](int rx, int ry, int& entry) -> int {
        for (int i = int(impl->levels.size()) - 1; i >= 0; --i) {
            PopupLevel& l = *impl->levels[std::size_t(i)];
            if (l.screenRect.pointInside({rx, ry})) {
                entry = l.list.entryAt(
                    layoutPoint({rx - l.screenRect.left, ry - l.screenRect.top}, frame->getScale()));
                return i;
            }
        }
        entry = -1;
        return -1;
    };
    switch (e.type) {
        case Expose:
            for (auto& l : impl->levels)
                if (l->window == e.xexpose.window)
                    paintLevel(impl->display, impl->gc, impl->visual, impl->depth, *l, frame->getScale());
            return e.xexpose.window != impl->window;
        case MotionNotify: {
            int entry = -1;
            int index = levelAt(e.xmotion.x_root, e.xmotion.y_root, entry);
            if (index < 0)
                return true;
            PopupLevel& l = *impl->levels[std::size_t(index)];
            int highlighted = l.list.isPickable(entry) ? entry : -1;
            if (highlighted != l.highlighted) {
                l.highlighted = highlighted;
                paintLevel(impl->display, impl->gc, impl->visual, impl->depth, l, frame->getScale());
                closeLevelsAbove(index);
                if (COptionMenu* sub = l.list.getMenu()->getSubMenu(highlighted)) {
                    CRect r = deviceRect(l.list.entryRect(highlighted).offset(0, -2), frame->getScale());
                    openLevel(sub, l.screenRect.right - int(std::lround(2 * frame->getScale())),
                              l.screenRect.top + r.top);
                }
            }
            return true;
        }
        case ButtonPress: {
            int entry = -1;
            int index = levelAt(e.xbutton.x_root, e.xbutton.y_root, entry);
            if (index < 0) {
                finishPopup({});
                return true;
            }
            PopupLevel& l = *impl->levels[std::size_t(index)];
            if (l.list.isPickable(entry) && !l.list.getMenu()->getSubMenu(entry))
                finishPopup({l.list.getMenu(), entry});
            return true;
        }
        case ButtonRelease:
            return true;
        case KeyPress:
            if (XLookupKeysym(&e.xkey, 0) == XK_Escape)
                finishPopup({});
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------- events

void CX11Frame::pumpEvents() {
    Display* d = impl->display;
    while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        if (popupEvent(e))
            continue;
        if (e.xany.window != impl->window)
            continue;
        switch (e.type) {
            case DestroyNotify:
                impl->windowGone = true;
                break;
            case Expose: {
                CRect r(e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
                        e.xexpose.y + e.xexpose.height);
                r = r.intersect(frame->getDeviceSize());
                if (!r.isEmpty())
                    XPutImage(d, impl->window, impl->gc, impl->image, r.left, r.top, r.left, r.top,
                              unsigned(r.width()), unsigned(r.height()));
                break;
            }
            case ButtonPress:
                if (int bit = buttonBit(e.xbutton.button))
                    frame->onMouseDown(frame->toLayout({e.xbutton.x, e.xbutton.y}),
                                       buttonsOf(e.xbutton.state) | bit);
                break;
            case ButtonRelease:
                if (buttonBit(e.xbutton.button))
                    frame->onMouseUp(frame->toLayout({e.xbutton.x, e.xbutton.y}), buttonsOf(e.xbutton.state));
                break;
            case MotionNotify: {
                // Only the latest position matters.
                while (XCheckTypedWindowEvent(d, impl->window, MotionNotify, &e)) {
                }
                frame->onMouseMoved(frame->toLayout({e.xmotion.x, e.xmotion.y}), buttonsOf(e.xmotion.state));
                break;
            }
            case KeyPress: {
                CKeyCode key = keyOf(e.xkey);
                frame->onKeyDown(key);
                break;
            }
            case KeyRelease: {
                CKeyCode key = keyOf(e.xkey);
                frame->onKeyUp(key);
                break;
            }
            default:
                break;
        }
    }
}
