#include "toolkit/frame/Win32Frame.h"

#include <windowsx.h>

#include <cmath>
#include <string>
#include <vector>

#include "toolkit/Controls.h"
#include "toolkit/frame/SystemScale.h"

namespace {

// Per-monitor DPI functions of Windows 10; looked up, so older systems (and Wine versions without
// them) still load the module and get the system's DPI.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetWindowDpiAwarenessContextFn = HANDLE(WINAPI*)(HWND);
using SetThreadDpiAwarenessContextFn = HANDLE(WINAPI*)(HANDLE);

template <typename F>
F user32(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

UINT dpiOf(HWND window) {
    static auto forWindow = user32<GetDpiForWindowFn>("GetDpiForWindow");
    if (window && forWindow)
        if (UINT dpi = forWindow(window))
            return dpi;
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

// The thread's DPI awareness set to that of `like` for as long as it lives, then restored: a
// host may run us in a thread of another awareness than its window's.
class DpiAwarenessOf {
  public:
    explicit DpiAwarenessOf(HWND like) {
        static auto ofWindow = user32<GetWindowDpiAwarenessContextFn>("GetWindowDpiAwarenessContext");
        static auto setThread = user32<SetThreadDpiAwarenessContextFn>("SetThreadDpiAwarenessContext");
        if (like && ofWindow && setThread) {
            set = setThread;
            if (HANDLE context = ofWindow(like))
                previous = setThread(context);
        }
    }
    ~DpiAwarenessOf() {
        if (previous)
            set(previous);
    }
    DpiAwarenessOf(const DpiAwarenessOf&) = delete;
    DpiAwarenessOf& operator=(const DpiAwarenessOf&) = delete;

  private:
    SetThreadDpiAwarenessContextFn set = nullptr;
    HANDLE previous = nullptr;
};

constexpr UINT kMsgDpiChanged = 0x02E0;             // WM_DPICHANGED (top-level windows)
constexpr UINT kMsgDpiChangedAfterParent = 0x02E3;  // WM_DPICHANGED_AFTERPARENT (children)

constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdlePeriodMs = 20;
constexpr UINT kFirstCommand = 1;
constexpr UINT kMsgFinishEdit = WM_APP + 1;  // wParam 1: commit, 0: cancel

int classUsers = 0;  // frames alive; the class goes when the last one does

// The binary holding this code: the class belongs to it, and must not outlive it.
HINSTANCE ownInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownInstance), &module);
    return module;
}

int buttonsOf(WPARAM keys) {
    int b = 0;
    if (keys & MK_LBUTTON)
        b |= kLButton;
    if (keys & MK_MBUTTON)
        b |= kMButton;
    if (keys & MK_RBUTTON)
        b |= kRButton;
    if (keys & MK_SHIFT)
        b |= kShift;
    if (keys & MK_CONTROL)
        b |= kControl;
    if (GetKeyState(VK_MENU) < 0)
        b |= kAlt;
    return b;
}

int modifiersNow() {
    int m = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        m |= kKeyShift;
    if (GetKeyState(VK_CONTROL) < 0)
        m |= kKeyControl;
    if (GetKeyState(VK_MENU) < 0)
        m |= kKeyAlt;
    return m;
}

int virtualKey(WPARAM key) {
    switch (key) {
        case VK_BACK:
            return kVKeyBack;
        case VK_TAB:
            return kVKeyTab;
        case VK_RETURN:
            return kVKeyReturn;
        case VK_ESCAPE:
            return kVKeyEscape;
        case VK_SPACE:
            return kVKeySpace;
        case VK_END:
            return kVKeyEnd;
        case VK_HOME:
            return kVKeyHome;
        case VK_LEFT:
            return kVKeyLeft;
        case VK_UP:
            return kVKeyUp;
        case VK_RIGHT:
            return kVKeyRight;
        case VK_DOWN:
            return kVKeyDown;
        case VK_DELETE:
            return kVKeyDelete;
        default:
            return 0;
    }
}

// Builds the native menu of `menu` and its submenus; `picks` maps command ids to entries.
HMENU buildMenu(COptionMenu* menu, std::vector<CPopupPick>& picks) {
    HMENU handle = CreatePopupMenu();
    bool ticks = (menu->getStyle() & COptionMenu::kCheckStyle) != 0;
    for (int i = 0; i < menu->getNbEntries(); ++i) {
        if (menu->isSeparator(i)) {
            AppendMenuA(handle, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        std::string text = menu->getEntry(i);
        if (COptionMenu* sub = menu->getSubMenu(i)) {
            AppendMenuA(handle, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(buildMenu(sub, picks)),
                        text.c_str());
            continue;
        }
        picks.push_back({menu, i});
        UINT flags = MF_STRING | ((ticks && i == menu->getCurrentIndex()) ? MF_CHECKED : 0);
        AppendMenuA(handle, flags, kFirstCommand + picks.size() - 1, text.c_str());
    }
    return handle;
}

}  // namespace

double systemScale(void* parent) {
    HWND window = static_cast<HWND>(parent);
    DpiAwarenessOf awareness(window);
    return clampScale(dpiOf(window) / 96.0);
}

const char* CWin32Frame::windowClassName() {
    return "ZornbeckEditorFrame";
}

CWin32Frame* CWin32Frame::attach(CFrame* frame, void* parent) {
    HWND parentWindow = static_cast<HWND>(parent);
    if (!parentWindow || !IsWindow(parentWindow))
        return nullptr;
    HINSTANCE instance = ownInstance();
    if (classUsers == 0) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &CWin32Frame::windowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = windowClassName();
        if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return nullptr;
    }
    ++classUsers;
    const CRect& r = frame->getViewSize();
    const CRect device = frame->getDeviceSize();
    DpiAwarenessOf awareness(parentWindow);
    HWND window = CreateWindowExA(0, windowClassName(), "", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, device.width(),
                                  device.height(), parentWindow, nullptr, instance, nullptr);
    if (!window) {
        if (--classUsers == 0)
            UnregisterClassA(windowClassName(), instance);
        return nullptr;
    }
    auto* platform = new CWin32Frame(frame, window, parentWindow);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(platform));
    frame->setPlatform(std::unique_ptr<IPlatformFrame>(platform));
    // The whole picture is drawn before the window first shows.
    platform->invalidRect(r);
    platform->flush();
    SetTimer(window, kIdleTimer, kIdlePeriodMs, nullptr);
    ShowWindow(window, SW_SHOWNA);
    return platform;
}

CWin32Frame::CWin32Frame(CFrame* f, HWND w, HWND h)
    : frame(f), window(w), backBuffer(f->getDeviceSize().width(), f->getDeviceSize().height()), host(h) {}

CWin32Frame::~CWin32Frame() {
    closePopup();
    closeEdit();
    if (!windowGone) {
        KillTimer(window, kIdleTimer);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    if (editFont)
        DeleteObject(editFont);
    if (--classUsers == 0)
        UnregisterClassA(windowClassName(), ownInstance());
}

std::uint32_t CWin32Frame::ticks() const {
    return GetTickCount();
}

void CWin32Frame::invalidRect(const CRect& r) {
    pending = pending.unite(r);
}

void CWin32Frame::flush() {
    if (pending.isEmpty())
        return;
    CRect area = pending.intersect(frame->getViewSize());
    pending = CRect();
    if (area.isEmpty())
        return;
    {
        auto context = createBitmapContext(backBuffer, frame->getScale());
        frame->drawRect(context.get(), area);
    }
    if (windowGone)
        return;
    DpiAwarenessOf awareness(host);
    HDC dc = GetDC(window);
    if (dc) {
        show(deviceRect(area, frame->getScale()), dc);
        ReleaseDC(window, dc);
    }
}

void CWin32Frame::scaleChanged() {
    closePopup();
    closeEdit();
    if (editFont) {
        DeleteObject(editFont);  // made for the old scale
        editFont = nullptr;
    }
    CRect device = frame->getDeviceSize();
    backBuffer = CBitmap(device.width(), device.height());
    if (!windowGone) {
        DpiAwarenessOf awareness(host);
        SetWindowPos(window, nullptr, 0, 0, device.width(), device.height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    invalidRect(frame->getViewSize());
    flush();
}

void CWin32Frame::show(const CRect& r, HDC dc) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = backBuffer.getWidth();
    info.bmiHeader.biHeight = -backBuffer.getHeight();  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // The whole image through a clip: source offsets of top-down DIBs are read differently by
    // different implementations.
    int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    SetDIBitsToDevice(dc, 0, 0, DWORD(backBuffer.getWidth()), DWORD(backBuffer.getHeight()), 0, 0, 0,
                      UINT(backBuffer.getHeight()), backBuffer.pixels(), &info, DIB_RGB_COLORS);
    RestoreDC(dc, saved);
}

void CWin32Frame::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    flush();
    CRect r(ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
    r = r.intersect(frame->getDeviceSize());
    if (dc && !r.isEmpty())
        show(r, dc);
    EndPaint(window, &ps);
}

void CWin32Frame::keyboardFocusChanged(CView* view) {
    closeEdit();
    if (!view || windowGone)
        return;
    if (view->isTypeOf("CTextEdit") && static_cast<CTextEdit*>(view)->isEditingText()) {
        openEdit(static_cast<CTextEdit*>(view));
        return;
    }
    SetFocus(window);
}

void CWin32Frame::openEdit(CTextEdit* view) {
    const CRect r = deviceRect(view->getViewSize(), frame->getScale());
    edit = CreateWindowExA(0, "EDIT", view->getEditText().c_str(), WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                           r.left, r.top, r.width(), r.height(), window, nullptr, ownInstance(), nullptr);
    if (!edit)
        return;  // the toolkit's own field still takes the keys
    editing = view;
    if (frame->getScale() != 1.0 && !editFont)
        editFont = CreateFontA(-int(std::lround(11 * frame->getScale())), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH, "Arial");
    HGDIOBJ font = frame->getScale() != 1.0 && editFont ? editFont : GetStockObject(DEFAULT_GUI_FONT);
    SendMessageA(edit, WM_SETFONT, WPARAM(font), FALSE);
    SendMessageA(edit, EM_LIMITTEXT, CTextEdit::kMaxLength, 0);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SetWindowLongPtrA(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    editDefault = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWin32Frame::editProc)));
    SetFocus(edit);
}

void CWin32Frame::closeEdit() {
    if (!edit)
        return;
    HWND gone = edit;
    edit = nullptr;
    editing = nullptr;
    SetWindowLongPtrA(gone, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editDefault));
    if (!windowGone)
        DestroyWindow(gone);
}

void CWin32Frame::finishEdit(bool commit) {
    if (!edit || !editing)
        return;
    CTextEdit* view = editing;
    if (!commit) {
        CKeyCode escape;
        escape.virt = kVKeyEscape;
        view->onKeyDown(escape);
        return;
    }
    char text[CTextEdit::kMaxLength + 1] = {};
    GetWindowTextA(edit, text, sizeof text);
    // Through the field's own keys: it keeps its rules on what a name may hold.
    CKeyCode key;
    key.virt = kVKeyEnd;
    view->onKeyDown(key);
    for (std::size_t n = view->getEditText().size(); n > 0; --n) {
        key.virt = kVKeyBack;
        view->onKeyDown(key);
    }
    for (const char* c = text; *c; ++c) {
        CKeyCode typed;
        typed.character = static_cast<unsigned char>(*c);
        if (*c == ' ')
            typed.virt = kVKeySpace;
        view->onKeyDown(typed);
    }
    key.virt = kVKeyReturn;
    view->onKeyDown(key);  // commits, and the focus change closes the EDIT control
}

LRESULT CALLBACK CWin32Frame::editProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CWin32Frame*>(GetWindowLongPtrA(edit, GWLP_USERDATA));
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                // Later, from the frame's window: this control goes away on the way.
                PostMessageA(self->window, kMsgFinishEdit, wParam == VK_RETURN, 0);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == '\r' || wParam == 27)
                return 0;  // no beep
            break;
        case WM_KILLFOCUS:
            if (self->edit == edit)
                PostMessageA(self->window, kMsgFinishEdit, 1, 0);
            break;
        default:
            break;
    }
    return CallWindowProcA(self->editDefault, edit, message, wParam, lParam);
}

void CWin32Frame::openPopup(COptionMenu* menu, CPoint where) {
    closePopup();
    std::vector<CPopupPick> picks;
    HMENU handle = buildMenu(menu, picks);
    CRect device = deviceRect(CRect(where.x, where.y, where.x, where.y), frame->getScale());
    POINT at{device.left, device.top};
    ClientToScreen(window, &at);
    popupShowing = true;
    // The menu runs its own message loop and answers the command picked, or 0.
    UINT command = UINT(
        TrackPopupMenu(handle, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTBUTTON,
                       at.x, at.y, 0, window, nullptr));
    popupShowing = false;
    DestroyMenu(handle);  // and its submenus
    CPopupPick pick;
    if (command >= kFirstCommand && command - kFirstCommand < picks.size())
        pick = picks[command - kFirstCommand];
    menu->popupClosed(pick);
}

void CWin32Frame::closePopup() {
    if (popupShowing)
        EndMenu();
}

LRESULT CALLBACK CWin32Frame::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CWin32Frame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT CWin32Frame::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    CPoint where = frame->toLayout({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the picture covers everything
        case WM_TIMER:
            if (wParam == kIdleTimer) {
                frame->idle();
                return 0;
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            // A click beside the name being edited commits it, as the toolkit's own field does.
            finishEdit(true);
            SetFocus(window);
            SetCapture(window);
            frame->onMouseDown(where, buttonsOf(wParam));
            return 0;
        case WM_LBUTTONUP:
        case WM_MBUTTONUP:
        case WM_RBUTTONUP:
            if (GetCapture() == window && !(wParam & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)))
                ReleaseCapture();
            frame->onMouseUp(where, buttonsOf(wParam));
            return 0;
        case WM_MOUSEMOVE:
            frame->onMouseMoved(where, buttonsOf(wParam));
            return 0;
        case WM_KEYDOWN: {
            int virt = virtualKey(wParam);
            if (virt == 0)
                break;  // characters come as WM_CHAR
            CKeyCode key;
            key.virt = virt;
            key.modifiers = modifiersNow();
            if (virt == kVKeySpace)
                key.character = ' ';
            frame->onKeyDown(key);
            return 0;
        }
        case WM_CHAR: {
            unsigned char c = static_cast<unsigned char>(wParam);
            if (wParam < 32 || wParam == 127 || wParam > 255 || c == ' ')
                return 0;
            CKeyCode key;
            key.character = c;
            key.modifiers = modifiersNow();
            frame->onKeyDown(key);
            return 0;
        }
        case WM_KEYUP: {
            CKeyCode key;
            key.virt = virtualKey(wParam);
            key.modifiers = modifiersNow();
            frame->onKeyUp(key);
            return 0;
        }
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case kMsgFinishEdit:
            finishEdit(wParam != 0);
            return 0;
        case kMsgDpiChanged:
        case kMsgDpiChangedAfterParent:
            // Moved to a monitor of another density: the frame takes its scale, the editor asks
            // the host for the room.
            frame->setScale(dpiOf(window) / 96.0);
            return 0;
        case WM_DESTROY:
            // The host destroyed its window first; the frame still owns us until it closes.
            windowGone = true;
            KillTimer(window, kIdleTimer);
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
