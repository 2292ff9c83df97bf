// What views draw through. One backend per platform graphics library (Cairo here); kept small on
// purpose so that each backend stays a thin layer.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "toolkit/CBitmap.h"
#include "toolkit/CGeometry.h"

class CRenditions;

// Every coordinate given to a context is in layout pixels; the context draws them `scale` times
// larger into its target, whose pixels are device pixels.
class CDrawContext {
  public:
    explicit CDrawContext(double scale = 1.0) : scale(clampScale(scale)) {}
    virtual ~CDrawContext() = default;

    double getScale() const { return scale; }
    // The renditions of skin images to draw with above 1x (a frame's); without them images are
    // filtered up from their 1x pixels.
    void setRenditions(CRenditions* r) { renditions = r; }
    // Clip rectangles stay inside `limit` until the limit is cleared: a frame repainting part of
    // itself keeps every view to that part.
    void setClipLimit(const CRect& limit);
    void clearClipLimit();

    // Everything drawn is limited to the clip rectangle. The clip is kept in whole device pixels;
    // getClipRect answers the layout rectangle that covers them.
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

  protected:
    // The device pixels of a layout clip, within `bounds` (the target's) and the limit.
    CRect deviceClip(const CRect& clip, const CRect& bounds) const;
    // The device pixels a reset clip covers.
    CRect fullDeviceClip(const CRect& bounds) const { return limit ? limit->intersect(bounds) : bounds; }
    // What to draw `image` from at this scale: a rendition, or the image itself; `factor` is
    // the pixels per layout pixel of the answer.
    const CBitmap& renditionOf(const CBitmap& image, double& factor) const;

    const double scale;

  private:
    CRenditions* renditions = nullptr;
    std::optional<CRect> limit;  // device pixels
};

// A context that draws into `target` at `scale` (target in device pixels); the target must
// outlive it.
std::unique_ptr<CDrawContext> createBitmapContext(CBitmap& target, double scale = 1.0);
