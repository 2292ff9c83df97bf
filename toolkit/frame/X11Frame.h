// A frame in an X11 child window of the host's window. It keeps its own Display connection
// (so the host's connection and threads are never touched and XInitThreads is never needed),
// draws into an image with Cairo and shows it with XPutImage, and handles its events when the
// frame idles. Popup lists are override-redirect windows it draws itself.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/CPopupList.h"
#include "toolkit/CView.h"

class CX11Frame : public IPlatformFrame {
  public:
    // Opens the child window in `parent` (an X11 Window id) and attaches to `frame`, which then
    // owns it. nullptr when there is no display or the window cannot be made.
    static CX11Frame* attach(CFrame* frame, unsigned long parent);
    ~CX11Frame() override;
    CX11Frame(const CX11Frame&) = delete;
    CX11Frame& operator=(const CX11Frame&) = delete;

    unsigned long getWindow() const { return window; }
    // The window of the popup list showing at `level` (0 the menu itself), or 0.
    unsigned long getPopupWindow(int level) const;

    void invalidRect(const CRect& r) override;
    void flush() override;
    void pumpEvents() override;
    void openPopup(COptionMenu* menu, CPoint where) override;
    void closePopup() override;
    std::uint32_t ticks() const override;
    void keyboardFocusChanged(CView* view) override;
    int eventDescriptor() const override;
    void scaleChanged() override;

  private:
    struct Impl;
    // Opens a list with its top-left corner at (x, y) on the screen, in device pixels.
    void openLevel(COptionMenu* menu, int x, int y);
    void closeLevelsAbove(int level);
    void finishPopup(CPopupPick pick);
    // True when the event belonged to the popup lists.
    bool popupEvent(union _XEvent& event);
    CX11Frame(CFrame* frame, std::unique_ptr<Impl> impl);

    CFrame* frame;
    std::unique_ptr<Impl> impl;
    unsigned long window = 0;
};
