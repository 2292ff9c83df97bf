#include "toolkit/frame/OffscreenFrame.h"

COffscreenFrame* COffscreenFrame::attach(CFrame* frame) {
    auto* platform = new COffscreenFrame(frame);
    frame->setPlatform(std::unique_ptr<IPlatformFrame>(platform));
    platform->invalidRect(frame->getViewSize());
    return platform;
}

COffscreenFrame::COffscreenFrame(CFrame* f)
    : frame(f), image(f->getDeviceSize().width(), f->getDeviceSize().height()) {}

void COffscreenFrame::scaleChanged() {
    image = CBitmap(frame->getDeviceSize().width(), frame->getDeviceSize().height());
    invalidRect(frame->getViewSize());
}

CMouseResult COffscreenFrame::mouseDown(CPoint where, int buttons) {
    return frame->onMouseDown(frame->toLayout(where), buttons);
}
CMouseResult COffscreenFrame::mouseMove(CPoint where, int buttons) {
    return frame->onMouseMoved(frame->toLayout(where), buttons);
}
CMouseResult COffscreenFrame::mouseUp(CPoint where, int buttons) {
    return frame->onMouseUp(frame->toLayout(where), buttons);
}

void COffscreenFrame::click(CPoint where, int buttons) {
    mouseDown(where, buttons);
    mouseUp(where, buttons);
}

void COffscreenFrame::drag(CPoint from, CPoint to, int buttons) {
    mouseDown(from, buttons);
    mouseMove(to, buttons);
    mouseUp(to, buttons);
}

int COffscreenFrame::keyDown(const CKeyCode& key) {
    return frame->onKeyDown(key);
}

void COffscreenFrame::type(const std::string& text) {
    for (char c : text) {
        CKeyCode key;
        key.character = static_cast<unsigned char>(c);
        if (c == ' ')
            key.virt = kVKeySpace;
        keyDown(key);
    }
}

void COffscreenFrame::invalidRect(const CRect& r) {
    pending = pending.unite(r);
}

void COffscreenFrame::flush() {
    if (pending.isEmpty())
        return;
    CRect area = pending;
    pending = CRect();
    auto context = createBitmapContext(image, frame->getScale());
    frame->drawRect(context.get(), area);
}

const CBitmap& COffscreenFrame::capture() {
    flush();
    return image;
}

const CBitmap& COffscreenFrame::captureAll() {
    invalidRect(frame->getViewSize());
    return capture();
}

void COffscreenFrame::openPopup(COptionMenu* menu, CPoint) {
    opened.push_back(menu);
    std::optional<CPopupPick> pick;
    if (popupAnswer)
        pick = popupAnswer(*menu);
    menu->popupClosed(pick.value_or(CPopupPick{}));
}
