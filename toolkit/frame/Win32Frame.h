// A frame in a Win32 child window of the host's window, with a window class of its own. It draws
// into a back buffer with GDI+ and shows it in WM_PAINT; the host's message loop delivers its
// input. Option menus are native popup menus.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/CView.h"

class CTextEdit;

class CWin32Frame : public IPlatformFrame {
  public:
    // Opens the child window in `parent` (an HWND) and attaches to `frame`, which then owns it.
    // nullptr when the window cannot be made.
    static CWin32Frame* attach(CFrame* frame, void* parent);
    ~CWin32Frame() override;
    CWin32Frame(const CWin32Frame&) = delete;
    CWin32Frame& operator=(const CWin32Frame&) = delete;

    HWND getWindow() const { return window; }
    // The native EDIT control over the text being edited, or nullptr.
    HWND getEditWindow() const { return edit; }
    // The class name of the frame's windows, for tests that look for leftovers.
    static const char* windowClassName();

    void invalidRect(const CRect& r) override;
    void flush() override;
    void pumpEvents() override {}
    void openPopup(COptionMenu* menu, CPoint where) override;
    void closePopup() override;
    std::uint32_t ticks() const override;
    void keyboardFocusChanged(CView* view) override;
    void scaleChanged() override;

  private:
    CWin32Frame(CFrame* frame, HWND window, HWND host);
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void show(const CRect& r, HDC dc);
    static LRESULT CALLBACK editProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
    void openEdit(CTextEdit* view);
    void closeEdit();
    // Hands the EDIT control's text to the toolkit's field, which takes it as if typed.
    void finishEdit(bool commit);

    CFrame* frame;
    HWND window;
    CBitmap backBuffer;  // device pixels
    CRect pending;       // layout
    bool popupShowing = false;
    HWND edit = nullptr;
    CTextEdit* editing = nullptr;
    WNDPROC editDefault = nullptr;
    bool windowGone = false;  // destroyed with the host's window
    HFONT editFont = nullptr;
    // The host's window: our thread takes its DPI awareness while it works on ours.
    HWND host;
};
