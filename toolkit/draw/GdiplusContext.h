// The GDI+ backend: draws into a CBitmap (premultiplied ARGB32 is GDI+'s PARGB), so windows and
// off-screen pictures are painted the same way.
#pragma once

#include <windows.h>
// after windows.h
#include <gdiplus.h>

#include <memory>

#include "toolkit/CDrawContext.h"

// Starts GDI+ once for the process (never from DllMain); false when it cannot start.
bool ensureGdiplus();

class CGdiplusContext : public CDrawContext {
  public:
    explicit CGdiplusContext(CBitmap& target, double scale = 1.0);
    ~CGdiplusContext() override;
    CGdiplusContext(const CGdiplusContext&) = delete;
    CGdiplusContext& operator=(const CGdiplusContext&) = delete;

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
    Gdiplus::Color colorOf(CColor c) const;
    // Clips to device pixels, whatever the transform.
    void applyClip(const CRect& device);
    CRect bounds() const { return CRect(0, 0, target.getWidth(), target.getHeight()); }

    CBitmap& target;
    std::unique_ptr<Gdiplus::Bitmap> surface;
    std::unique_ptr<Gdiplus::Graphics> graphics;
    // Text is measured at 1x, so that layout is the same at every scale.
    std::unique_ptr<Gdiplus::Bitmap> measureSurface;
    std::unique_ptr<Gdiplus::Graphics> measureGraphics;
    std::unique_ptr<Gdiplus::Font> gdiFont;
    CRect clip;        // layout
    CRect deviceClip_;  // device pixels
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kBlackCColor;
    CFontDesc font;
    int lineWidth = 1;
    float globalAlpha = 1.0f;
};
