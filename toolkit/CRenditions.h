// The sharper renditions of the skin images that a frame drawing above 1x uses. They are decoded
// when first drawn and held as long as the frame that drew them, so an editor at 1x never
// decodes them and closing the window lets them go.
#pragma once

#include <map>
#include <memory>
#include <utility>

#include "toolkit/CBitmap.h"

class CRenditions {
  public:
    // The rendition drawn at `scale`: the smallest of 1, 2 and 3 at or above it.
    static int factorFor(double scale);

    // `image` drawn at `factor` times its resolution, with its size times `factor` exactly (so a
    // film strip keeps its frames); null when there is none (factor 1, or not a skin image).
    const CBitmap* find(const CBitmap& image, int factor);
    // How many renditions are held.
    int held() const;
    void clear() { renditions.clear(); }

  private:
    // A null entry remembers that an image has no rendition at that factor.
    std::map<std::pair<int, int>, std::shared_ptr<CBitmap>> renditions;
};
