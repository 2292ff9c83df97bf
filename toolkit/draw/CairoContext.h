// The Cairo backend: draws into an ARGB32 image; X11 windows show such an image.
#pragma once

#include <cairo.h>

#include "toolkit/CDrawContext.h"

class CCairoContext : public CDrawContext {
  public:
    explicit CCairoContext(CBitmap& target, double scale = 1.0);
    ~CCairoContext() override;

    void setClipRect(const CRect& clip) override;
    CRect getClipRect() const override { return clip; }
    void resetClipRect() override;

    void setFillColor(CColor c) override { fillColor = c; }
    void setFrameColor(CColor c) override { frameColor = c; }
    void setFontColor(CColor c) override { fontColor = c; }
    void setFont(const CFontDesc& f) override;
    void setLineWidth(int width) override { lineWidth = std::max(width, 1); }
    void setGlobalAlpha(float alpha) override { globalAlpha = std::clamp(alpha, 0.0f, 1.0f); }

    void fillRect(const CRect& r) override;
    void frameRect(const CRect& r) override;
    void drawLine(CPoint from, CPoint to) override;
    void fillPolygon(const CPoint* points, int count) override;
    void drawString(const std::string& text, const CRect& r, CHoriTxtAlign align) override;
    int getStringWidth(const std::string& text) override;
    void drawBitmap(const CBitmap& bitmap, const CRect& dest, CPoint source, int alpha) override;

  private:
    void setSource(CColor c);
    // Clips to device pixels, whatever the transform.
    void clipDevice(const CRect& device);
    CRect bounds() const { return CRect(0, 0, target.getWidth(), target.getHeight()); }

    CBitmap& target;
    cairo_surface_t* surface;
    cairo_t* cr;
    // Text is measured at 1x, so that layout is the same at every scale; at 1x this is `cr`.
    cairo_surface_t* measureSurface = nullptr;
    cairo_t* measure;
    CRect clip;  // layout
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kBlackCColor;
    CFontDesc font;
    int lineWidth = 1;
    float globalAlpha = 1.0f;
};

// Selects the linked sans face (regular or bold) at `size` pixels on `cr`.
void selectToolkitFont(cairo_t* cr, const CFontDesc& font);
