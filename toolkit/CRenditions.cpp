#include "toolkit/CRenditions.h"

int CRenditions::factorFor(double scale) {
    if (!(scale > 1.0))
        return 1;
    return scale <= 2.0 ? 2 : 3;
}

const CBitmap* CRenditions::find(const CBitmap& image, int factor) {
    int number = image.getResourceNumber();
    if (factor <= 1 || number == 0)
        return nullptr;
    auto key = std::make_pair(number, factor);
    auto it = renditions.find(key);
    if (it == renditions.end()) {
        std::shared_ptr<CBitmap> r = CBitmap::renditionFromResource(number, factor);
        if (r && (r->getWidth() != image.getWidth() * factor || r->getHeight() != image.getHeight() * factor))
            r = nullptr;
        it = renditions.emplace(key, std::move(r)).first;
    }
    return it->second.get();
}

int CRenditions::held() const {
    int n = 0;
    for (const auto& entry : renditions)
        if (entry.second)
            ++n;
    return n;
}
