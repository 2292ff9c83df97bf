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

const CBitmap& CDrawContext::renditionOf(const CBitmap& image, double& factor) const {
    if (image.getDensity() != 1.0) {
        factor = image.getDensity();
        return image;
    }
    int wanted = CRenditions::factorFor(scale);
    if (const CBitmap* r = renditions ? renditions->find(image, wanted) : nullptr) {
        factor = wanted;
        return *r;
    }
    factor = 1.0;
    return image;
}
