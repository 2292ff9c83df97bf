// What views draw through. One backend per platform graphics library (Cairo here); kept small on
// purpose so that each backend stays a thin layer.
#pragma once

#include <memory>
#include <string>

#include "toolkit/CBitmap.h"
#include "toolkit/CGeometry.h"

class CDrawContext {
  public:
    virtual ~CDrawContext() = default;

    // Everything drawn is limited to the clip rectangle (in context coordinates).
    virtual void setClipRect(const CRect& clip) = 0;
    virtual CRect getClipRect() const = 0;
    virtual void resetClipRect() = 0;

    virtual void setFillColor(CColor c) = 0;
    virtual void setFrameColor(CColor c) = 0;
    virtual void setFontColor(CColor c) = 0;
    virtual void setFont(const CFontDesc& font) = 0;
    virtual void setLineWidth(int width) = 0;
    // Opacity 0..1 applied on top of every colour and bitmap drawn from now on.
    virtual void setGlobalAlpha(float alpha) = 0;

    virtual void fillRect(const CRect& r) = 0;
    virtual void frameRect(const CRect& r) = 0;
    virtual void drawLine(CPoint from, CPoint to) = 0;
    virtual void fillPolygon(const CPoint* points, int count) = 0;
    // Text is vertically centred in `r` and placed by `align`.
    virtual void drawString(const std::string& text, const CRect& r, CHoriTxtAlign align) = 0;
    virtual int getStringWidth(const std::string& text) = 0;
    // Draws the part of `bitmap` starting at `source` into `dest`, at opacity alpha (0..255).
    virtual void drawBitmap(const CBitmap& bitmap, const CRect& dest, CPoint source = {},
                            int alpha = 255) = 0;
};

// A context that draws into `target`; the target must outlive it.
std::unique_ptr<CDrawContext> createBitmapContext(CBitmap& target);
