#include "editor/CGlowLamp.h"

#include <cstring>

CGlowLamp::CGlowLamp(const CRect& r, CControlListener* l, std::shared_ptr<CBitmap> lamp)
    : CControl(r, l, 0, std::move(lamp)) {
    setMouseEnabled(false);
}

void CGlowLamp::draw(CDrawContext* context) {
    // The control's value is the glow level: each redraw shows it and lowers it a tenth.
    if (value > 0.0f) {
        if (background)
            context->drawBitmap(*background, size, {0, 0}, truncateInto(value * 255.9f, 0, 255));
        value = value - 0.1f;
    }
    setDirty(false);
}

bool CGlowLamp::isTypeOf(const char* name) const {
    return std::strcmp(name, "CGlowLamp") == 0 || CControl::isTypeOf(name);
}
