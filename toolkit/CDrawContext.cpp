#include "toolkit/CDrawContext.h"

#include "toolkit/CRenditions.h"

void CDrawContext::setClipLimit(const CRect& r) {
    limit = deviceRect(r, scale);
}

void CDrawContext::clearClipLimit() {
    limit.reset();
}

CRect CDrawContext::deviceClip(const CRect& clip, const CRect& bounds) const {
    return deviceRect(clip, scale).intersect(fullDeviceClip(bounds));
}

const CBitmap& CDrawContext::renditionOf(const CBitmap& image, int& factor) const {
    factor = CRenditions::factorFor(scale);
    if (const CBitmap* r = renditions ? renditions->find(image, factor) : nullptr)
        return *r;
    factor = 1;
    return image;
}
