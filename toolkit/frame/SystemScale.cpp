#include "toolkit/frame/SystemScale.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "toolkit/CGeometry.h"

std::optional<double> scaleFromText(const char* text) {
    if (!text || !*text)
        return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')) ++end;
    if (end == text || (end && *end) || !std::isfinite(value) || value <= 0.0)
        return std::nullopt;
    return clampScale(value);
}

std::optional<double> scaleFromXResources(const char* resources) {
    if (!resources)
        return std::nullopt;
    static const char kName[] = "Xft.dpi:";
    for (const char* line = resources; line && *line;) {
        const char* next = std::strchr(line, '\n');
        if (std::strncmp(line, kName, sizeof kName - 1) == 0) {
            char* end = nullptr;
            double dpi = std::strtod(line + sizeof kName - 1, &end);
            if (end != line + sizeof kName - 1 && std::isfinite(dpi) && dpi > 0.0)
                return clampScale(dpi / 96.0);
        }
        line = next ? next + 1 : nullptr;
    }
    return std::nullopt;
}

std::optional<double> scaleOverride() {
    return scaleFromText(std::getenv("ZORNBECK_SCALE"));
}
