#include "toolkit/Controls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------- CAnimKnob

CAnimKnob::CAnimKnob(const CRect& r, CControlListener* l, int t, int frames, int frameHeight,
                     std::shared_ptr<CBitmap> strip)
    : CControl(r, l, t, std::move(strip)), subPixmaps(std::max(frames, 1)), heightOfOneImage(frameHeight) {}

int CAnimKnob::frameIndex() const {
    return truncateInto(value * float(subPixmaps - 1), 0, subPixmaps - 1);
}

void CAnimKnob::draw(CDrawContext* context) {
    if (background)
        context->drawBitmap(*background, size, {0, frameIndex() * heightOfOneImage});
    setDirty(false);
}

void CAnimKnob::anchor(CPoint where, int buttons) {
    anchorPoint = where;
    lastPoint = where;
    // A drag starts from the frame shown, also for a value out of range.
    anchorValue = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    anchorFine = (buttons & kFineAdjustModifier) != 0;
}

CMouseResult CAnimKnob::onMouseDown(CPoint where, int buttons) {
    if (!(buttons & kLButton))
        return kMouseNotHandled;
    if (modifierClickTaken(buttons))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    anchor(where, buttons);
    return kMouseHandled;
}

CMouseResult CAnimKnob::onMouseMoved(CPoint where, int buttons) {
    if (!isEditing())
        return kMouseNotHandled;
    bool fine = (buttons & kFineAdjustModifier) != 0;
    // Pressing or releasing the modifier mid-drag continues from where the knob is.
    if (fine != anchorFine)
        anchor(lastPoint, buttons);
    lastPoint = where;
    // Every knob mode drags linearly: right or up increases.
    float range = fine ? kRangePixels * 4.0f : kRangePixels;
    int moved = (where.x - anchorPoint.x) - (where.y - anchorPoint.y);
    float v = std::clamp(anchorValue + float(moved) / range, 0.0f, 1.0f);
    if (v != value) {
        value = v;
        valueChanged();
        setDirty();
    }
    return kMouseHandled;
}

CMouseResult CAnimKnob::onMouseUp(CPoint, int) {
    if (isEditing())
        endEdit();
    return kMouseHandled;
}

bool CAnimKnob::isTypeOf(const char* name) const {
    return std::strcmp(name, "CAnimKnob") == 0 || CControl::isTypeOf(name);
}

// ---------------------------------------------------------------- COnOffButton

COnOffButton::COnOffButton(const CRect& r, CControlListener* l, int t, std::shared_ptr<CBitmap> bitmap)
    : CControl(r, l, t, std::move(bitmap)) {}

void COnOffButton::draw(CDrawContext* context) {
    if (background) {
        int frameHeight = background->getHeight() / 2;
        context->drawBitmap(*background, size, {0, value >= 0.5f ? frameHeight : 0});
    }
    setDirty(false);
}

CMouseResult COnOffButton::onMouseDown(CPoint, int buttons) {
    if (!(buttons & kLButton))
        return kMouseNotHandled;
    if (modifierClickTaken(buttons))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    value = value >= 0.5f ? 0.0f : 1.0f;
    valueChanged();
    setDirty();
    return kMouseHandled;
}

CMouseResult COnOffButton::onMouseUp(CPoint, int) {
    if (isEditing())
        endEdit();
    return kMouseHandled;
}

bool COnOffButton::isTypeOf(const char* name) const {
    return std::strcmp(name, "COnOffButton") == 0 || CControl::isTypeOf(name);
}

// ---------------------------------------------------------------- CKickButton

CKickButton::CKickButton(const CRect& r, CControlListener* l, int t, std::shared_ptr<CBitmap> bitmap)
    : CControl(r, l, t, std::move(bitmap)) {}

void CKickButton::draw(CDrawContext* context) {
    if (background) {
        int frameHeight = background->getHeight() / 2;
        context->drawBitmap(*background, size, {0, (pressed || value >= 0.5f) ? frameHeight : 0});
    }
    setDirty(false);
}

CMouseResult CKickButton::onMouseDown(CPoint, int buttons) {
    if (!(buttons & kLButton))
        return kMouseNotHandled;
    if (modifierClickTaken(buttons))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    pressed = true;
    setDirty();
    return kMouseHandled;
}

CMouseResult CKickButton::onMouseMoved(CPoint where, int) {
    if (!isEditing())
        return kMouseNotHandled;
    bool inside = size.pointInside(where);
    if (inside != pressed) {
        pressed = inside;
        setDirty();
    }
    return kMouseHandled;
}

CMouseResult CKickButton::onMouseUp(CPoint where, int) {
    if (!isEditing())
        return kMouseHandled;
    pressed = false;
    if (size.pointInside(where)) {
        value = 1.0f;
        valueChanged();
    }
    value = 0.0f;
    valueChanged();
    setDirty();
    endEdit();
    return kMouseHandled;
}

bool CKickButton::isTypeOf(const char* name) const {
    return std::strcmp(name, "CKickButton") == 0 || CControl::isTypeOf(name);
}

// ---------------------------------------------------------------- CTextControl

void CTextControl::drawText(CDrawContext* context, const std::string& text) {
    if (!transparent) {
        context->setFillColor(backColor);
        context->fillRect(size);
    }
    if (frameVisible) {
        context->setFrameColor(frameColor);
        context->frameRect(size);
    }
    context->setFont(font);
    context->setFontColor(fontColor);
    CRect inner = size;
    if (align == kLeftText)
        inner.left += 2;
    if (align == kRightText)
        inner.right -= 2;
    context->drawString(text, inner, align);
}

// ---------------------------------------------------------------- COptionMenu

COptionMenu::COptionMenu(const CRect& r, CControlListener* l, int t, int s)
    : CTextControl(r, l, t), style(s) {}

bool COptionMenu::addEntry(const std::string& title) {
    return addEntry(nullptr, title);
}

bool COptionMenu::addEntry(COptionMenu* submenu, const std::string& title) {
    if (int(entries.size()) >= kMaxEntries)
        return false;
    entries.push_back({title, submenu});
    return true;
}

bool COptionMenu::setEntry(int index, const std::string& title) {
    if (index < 0 || index >= getNbEntries())
        return false;
    entries[std::size_t(index)].title = title;
    if (index == current)
        setDirty();
    return true;
}

bool COptionMenu::removeEntry(int index) {
    if (index < 0 || index >= getNbEntries())
        return false;
    entries.erase(entries.begin() + index);
    if (current >= getNbEntries())
        current = std::max(getNbEntries() - 1, 0);
    setDirty();
    return true;
}

void COptionMenu::removeAllEntry() {
    entries.clear();
    current = 0;
    setDirty();
}

std::string COptionMenu::getEntry(int index) const {
    return index >= 0 && index < getNbEntries() ? entries[std::size_t(index)].title : std::string();
}

COptionMenu* COptionMenu::getSubMenu(int index) const {
    return index >= 0 && index < getNbEntries() ? entries[std::size_t(index)].submenu : nullptr;
}

bool COptionMenu::isSeparator(int index) const {
    return index >= 0 && index < getNbEntries() && !entries[std::size_t(index)].submenu &&
           entries[std::size_t(index)].title == "-";
}

int COptionMenu::getCurrentIndex() const {
    return entries.empty() ? -1 : current;
}

void COptionMenu::setValue(float v) {
    if (!(v >= 0.0f && v <= 1.0f))
        return;
    value = v;
    int n = getNbEntries();
    if (n > 0)
        current = truncateInto(v * float(n), 0, n - 1);
    setDirty();
}

void COptionMenu::pick(int index) {
    int n = getNbEntries();
    if (index < 0 || index >= n || isSeparator(index) || getSubMenu(index))
        return;
    current = index;
    value = float(index) / float(n);
    valueChanged();
    setDirty();
}

CPoint COptionMenu::popupPosition() const {
    return (style & kPopupTopLeft) ? CPoint{size.left, size.top} : CPoint{size.left, size.bottom};
}

void COptionMenu::popupClosed(CPopupPick chosen) {
    popupOpen = false;
    if (chosen.menu)
        chosen.menu->pick(chosen.index);
    if (isEditing())
        endEdit();
}

void COptionMenu::draw(CDrawContext* context) {
    if (!(style & kNoDrawStyle)) {
        if (background)
            context->drawBitmap(*background, size);
        drawText(context, getEntry(getCurrentIndex()));
    }
    setDirty(false);
}

CMouseResult COptionMenu::onMouseDown(CPoint, int buttons) {
    if (!(buttons & (kLButton | kRButton)))
        return kMouseNotHandled;
    if (modifierClickTaken(buttons))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    IPlatformFrame* platform = frame ? frame->getPlatform() : nullptr;
    if (!platform || popupOpen)
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    popupOpen = true;
    // The answer may come at once (off-screen) or after the list closes (a window).
    platform->openPopup(this, popupPosition());
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseResult COptionMenu::onMouseUp(CPoint, int) {
    return kMouseHandled;
}

bool COptionMenu::isTypeOf(const char* name) const {
    return std::strcmp(name, "COptionMenu") == 0 || CControl::isTypeOf(name);
}

// ---------------------------------------------------------------- CTextEdit

CTextEdit::CTextEdit(const CRect& r, CControlListener* l, int t, const std::string& s,
                     std::shared_ptr<CBitmap> bitmap)
    : CTextControl(r, l, t, std::move(bitmap)), text(s) {}

void CTextEdit::setText(const std::string& s) {
    text = s.substr(0, kMaxLength);
    setDirty();
}

void CTextEdit::draw(CDrawContext* context) {
    if (background)
        context->drawBitmap(*background, size);
    if (!editingText) {
        drawText(context, text);
    } else {
        // The field being edited: a light box with dark text and a caret.
        context->setFillColor({232, 244, 246, 255});
        context->fillRect(size);
        context->setFont(font);
        context->setFontColor({16, 28, 40, 255});
        CRect inner(size.left + 2, size.top, size.right - 2, size.bottom);
        int full = context->getStringWidth(editText);
        int shift = std::max(0, full - (inner.width() - 2));  // keep the caret end in view
        CRect textRect = inner.offset(-shift, 0);
        textRect.right += shift;
        context->setClipRect(inner.intersect(context->getClipRect()));
        context->drawString(editText, textRect, kLeftText);
        int caretX = textRect.left + context->getStringWidth(editText.substr(0, caret));
        context->setFrameColor({16, 28, 40, 255});
        context->drawLine({caretX, size.top + 2}, {caretX, size.bottom - 3});
    }
    setDirty(false);
}

CMouseResult CTextEdit::onMouseDown(CPoint, int buttons) {
    if (!(buttons & kLButton))
        return kMouseNotHandled;
    if (modifierClickTaken(buttons))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    if (!editingText && frame)
        frame->setFocusView(this);
    return kMouseHandled;
}

CMouseResult CTextEdit::onMouseUp(CPoint, int) {
    if (isEditing())
        endEdit();
    return kMouseHandled;
}

void CTextEdit::takeFocus() {
    editingText = true;
    cancelled = false;
    editText = text;
    caret = editText.size();
    setDirty();
    invalid();
}

void CTextEdit::looseFocus() {
    if (editingText)
        finishEditing(!cancelled);
}

void CTextEdit::finishEditing(bool commit) {
    editingText = false;
    if (commit)
        text = editText;
    setDirty();
    invalid();
    if (commit)
        valueChanged();
}

int CTextEdit::onKeyDown(const CKeyCode& key) {
    if (!editingText)
        return -1;
    switch (key.virt) {
        case kVKeyReturn:
        case kVKeyEnter:
            if (frame)
                frame->setFocusView(nullptr);  // commits through looseFocus
            else
                finishEditing(true);
            return 1;
        case kVKeyEscape:
            cancelled = true;
            if (frame)
                frame->setFocusView(nullptr);
            else
                finishEditing(false);
            return 1;
        case kVKeyBack:
            if (caret > 0)
                editText.erase(--caret, 1);
            break;
        case kVKeyDelete:
            if (caret < editText.size())
                editText.erase(caret, 1);
            break;
        case kVKeyLeft:
            if (caret > 0)
                --caret;
            break;
        case kVKeyRight:
            if (caret < editText.size())
                ++caret;
            break;
        case kVKeyHome:
            caret = 0;
            break;
        case kVKeyEnd:
            caret = editText.size();
            break;
        default:
            // Names are plain bytes in the program records, so only printable ASCII is typed.
            if (key.character >= 32 && key.character < 127) {
                if (editText.size() < kMaxLength)
                    editText.insert(caret++, 1, char(key.character));
            } else if (key.virt == kVKeySpace) {
                if (editText.size() < kMaxLength)
                    editText.insert(caret++, 1, ' ');
            } else {
                return -1;
            }
    }
    setDirty();
    invalid();
    return 1;
}

bool CTextEdit::isTypeOf(const char* name) const {
    return std::strcmp(name, "CTextEdit") == 0 || CControl::isTypeOf(name);
}
