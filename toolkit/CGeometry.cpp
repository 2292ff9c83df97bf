#include "toolkit/CGeometry.h"

#include <cmath>

namespace {
// Products like 620 x 1.1 come out a hair above or below the whole number they stand for.
constexpr double kSlack = 1e-6;
}  // namespace

double clampScale(double scale) {
    if (std::isnan(scale))
        return 1.0;
    return std::clamp(scale, kMinScale, kMaxScale);
}

CRect deviceRect(const CRect& r, double scale) {
    if (scale == 1.0)
        return r;
    return CRect(int(std::floor(r.left * scale + kSlack)), int(std::floor(r.top * scale + kSlack)),
                 int(std::ceil(r.right * scale - kSlack)), int(std::ceil(r.bottom * scale - kSlack)));
}

CRect layoutRect(const CRect& r, double scale) {
    if (scale == 1.0)
        return r;
    return CRect(int(std::floor(r.left / scale + kSlack)), int(std::floor(r.top / scale + kSlack)),
                 int(std::ceil(r.right / scale - kSlack)), int(std::ceil(r.bottom / scale - kSlack)));
}

CPoint layoutPoint(CPoint p, double scale) {
    if (scale == 1.0)
        return p;
    return {int(std::floor((p.x + 0.5) / scale)), int(std::floor((p.y + 0.5) / scale))};
}
