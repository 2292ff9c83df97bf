// The clip lamp: lit by the editor when the output clipped, it fades over its next ten redraws.
#pragma once

#include "toolkit/CView.h"

class CGlowLamp : public CControl {
  public:
    CGlowLamp(const CRect& size, CControlListener* listener, std::shared_ptr<CBitmap> lamp);
    CGlowLamp(const CGlowLamp&) = default;

    void draw(CDrawContext* context) override;
    bool isTypeOf(const char* name) const override;
};
