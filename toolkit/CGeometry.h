// Plain value types shared by every part of the toolkit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

// Float to int truncation kept within [lo, hi]; NaN gives lo. Control values can come from a
// host or a stored chunk, so a plain cast could overflow.
constexpr int truncateInto(float x, int lo, int hi) {
    if (!(x >= float(lo)))
        return lo;
    if (x >= float(hi))
        return hi;
    return int(x);
}

struct CPoint {
    int x = 0;
    int y = 0;
    bool operator==(const CPoint&) const = default;
};

// Right and bottom are exclusive.
struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr bool pointInside(CPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr CRect intersect(const CRect& o) const {
        CRect r(std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom));
        return r.isEmpty() ? CRect() : r;
    }
    constexpr CRect unite(const CRect& o) const {
        if (isEmpty())
            return o;
        if (o.isEmpty())
            return *this;
        return CRect(std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                     std::max(bottom, o.bottom));
    }
    constexpr CRect offset(int dx, int dy) const {
        return CRect(left + dx, top + dy, right + dx, bottom + dy);
    }
    constexpr CPoint topLeft() const { return {left, top}; }
    bool operator==(const CRect&) const = default;
};

// Device pixels per layout pixel. Views lay out in layout pixels; a frame's window, back buffer
// and drawing are in device pixels.
constexpr double kMinScale = 1.0;
constexpr double kMaxScale = 3.0;

// Within kMinScale..kMaxScale; NaN gives 1.
double clampScale(double scale);
// The device pixels a layout rectangle touches (edges rounded outward).
CRect deviceRect(const CRect& layout, double scale);
// The layout rectangle that covers every pixel of a device rectangle.
CRect layoutRect(const CRect& device, double scale);
// The layout pixel under the centre of a device pixel.
CPoint layoutPoint(CPoint device, double scale);

struct CColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    bool operator==(const CColor&) const = default;
};

constexpr CColor kBlackCColor{0, 0, 0, 255};
constexpr CColor kWhiteCColor{255, 255, 255, 255};
constexpr CColor kTransparentCColor{0, 0, 0, 0};

enum CHoriTxtAlign { kLeftText, kCenterText, kRightText };

// A font is asked for by name and pixel size; every name is drawn with the linked sans face.
struct CFontDesc {
    std::string name = "Arial";
    int size = 11;
    bool bold = false;
};

inline const CFontDesc kNormalFontSmall{"Arial", 11, false};
inline const CFontDesc kNormalFontSmallBold{"Arial", 10, true};

// Mouse buttons and modifier keys, as one bit set.
enum CButtonState {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
};
// Knob drags are four times finer while this is held.
constexpr int kFineAdjustModifier = kShift;

enum CMouseResult {
    kMouseNotHandled,
    kMouseHandled,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

// Key codes use the VST 2.4 virtual key numbering, so the editor can pass host keys straight on.
enum CVirtualKey {
    kVKeyNone = 0,
    kVKeyBack = 1,
    kVKeyTab = 2,
    kVKeyReturn = 4,
    kVKeyEscape = 6,
    kVKeySpace = 7,
    kVKeyEnd = 9,
    kVKeyHome = 10,
    kVKeyLeft = 11,
    kVKeyUp = 12,
    kVKeyRight = 13,
    kVKeyDown = 14,
    kVKeyEnter = 19,
    kVKeyDelete = 22,
};

enum CKeyModifier { kKeyShift = 1, kKeyAlt = 2, kKeyControl = 8 };

struct CKeyCode {
    std::uint32_t character = 0;  // code point, 0 when the key has none
    int virt = kVKeyNone;
    int modifiers = 0;
};

// Knob modes as the host sets them through setKnobMode.
enum CKnobMode { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };
