// A frame with no window: events are injected by code, popup lists are answered by a callback
// and the picture is read back as an image. Tests and screenshots use it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "toolkit/CView.h"
#include "toolkit/Controls.h"

class COffscreenFrame : public IPlatformFrame {
  public:
    // Answers a popup list of `menu`: a pick or nothing (the list was dismissed).
    using PopupAnswer = std::function<std::optional<CPopupPick>(COptionMenu& menu)>;

    // Attaches itself to `frame`, which owns it from then on.
    static COffscreenFrame* attach(CFrame* frame);

    void setPopupAnswer(PopupAnswer answer) { popupAnswer = std::move(answer); }
    // The menus opened so far, most recent last.
    const std::vector<COptionMenu*>& popupsOpened() const { return opened; }

    // Injected input, in device pixels of the picture (layout pixels times the frame's scale),
    // as a window system would deliver it.
    CMouseResult mouseDown(CPoint where, int buttons = kLButton);
    CMouseResult mouseMove(CPoint where, int buttons = kLButton);
    CMouseResult mouseUp(CPoint where, int buttons = kLButton);
    void click(CPoint where, int buttons = kLButton);
    void drag(CPoint from, CPoint to, int buttons = kLButton);
    int keyDown(const CKeyCode& key);
    void type(const std::string& text);

    // Virtual time; timers fire from the frame's idle.
    void advanceTime(std::uint32_t ms) { now += ms; }

    // Paints what is invalid and answers the picture, in device pixels.
    const CBitmap& capture();
    // Repaints everything and answers the picture.
    const CBitmap& captureAll();

    void invalidRect(const CRect& r) override;
    void flush() override;
    void pumpEvents() override {}
    void openPopup(COptionMenu* menu, CPoint where) override;
    void closePopup() override {}
    std::uint32_t ticks() const override { return now; }
    void keyboardFocusChanged(CView*) override {}
    void scaleChanged() override;

  private:
    explicit COffscreenFrame(CFrame* frame);

    CFrame* frame;
    CBitmap image;
    CRect pending;
    std::uint32_t now = 0;
    PopupAnswer popupAnswer;
    std::vector<COptionMenu*> opened;
};
