#include "editor/HelpPane.h"

#include <algorithm>

#include "editor/EffectEditor.h"
#include "resources/ResourceTable.h"

namespace {

constexpr int kGuideResource = 142;
const CFontDesc kHelpFont{"Arial", 10, true};

bool isWordCharacter(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 33 && u <= 127;
}

}  // namespace

HelpPane::HelpPane(const CRect& r, EffectEditor* e, CView* owner)
    : size(r), w(r.width()), h(r.height()), editor(e), timer(std::make_unique<CTimer>(owner, kTimerPeriod)) {
    const unsigned char* data = nullptr;
    std::size_t bytes = 0;
    // The last byte of the resource is not counted: the guide ends with a line break.
    if (findResource(kGuideResource, "txt", &data, &bytes) && bytes > 0)
        setText(reinterpret_cast<const char*>(data), bytes - 1);
}

HelpPane::~HelpPane() = default;

void HelpPane::setText(const char* data, std::size_t length) {
    text.assign(data ? data : "", data ? length : 0);
    hasText = !text.empty();
    laidOut = false;
    lines.clear();
    last = 0;
}

void HelpPane::layout(CDrawContext& context) {
    if (!hasText)
        return;
    context.setFont(kHelpFont);
    const int limit = w - 16;
    const std::size_t length = text.size();
    std::size_t pos = 0;
    lines.clear();
    while (pos < length && int(lines.size()) < kMaxLines) {
        std::string line;
        while (true) {
            char c = text[pos++];
            line.push_back(c);
            if (pos == length || c == '\r') {
                // A hard end: the character is not shown, and a line feed after it is skipped.
                line.pop_back();
                if (c == '\r' && pos < length)
                    ++pos;
                break;
            }
            // The line buffers hold 79 characters; a longer run ends there like a full line.
            if (context.getStringWidth(line) >= limit || int(line.size()) >= kMaxLineLength) {
                // Give the word back to the next line; a word wider than the whole line is
                // broken where it reaches the limit instead.
                bool oneWord = std::all_of(line.begin(), line.end(), isWordCharacter);
                if (isWordCharacter(line.back()) && !oneWord) {
                    while (line.size() > 1 && isWordCharacter(line.back())) {
                        line.pop_back();
                        --pos;
                    }
                }
                break;
            }
        }
        lines.push_back(line);
    }
    last = std::max(int(lines.size()) - 1, 0);
    text.clear();
    laidOut = true;
}

int HelpPane::maxScroll() const {
    return last > 12 ? kLineHeight * (last - 12) : 0;
}

void HelpPane::thumbFromScroll() {
    int travel = thumbTravel();
    thumb = last > 12 ? std::clamp((scroll / kLineHeight) * travel / (last - 12), 0, travel) : 0;
}

void HelpPane::draw(CDrawContext* context) {
    if (!laidOut)
        layout(*context);
    const int x0 = size.left, y0 = size.top;
    auto at = [&](int l, int t, int r, int b) { return CRect(x0 + l, y0 + t, x0 + r, y0 + b); };

    context->setFillColor({49, 82, 112, 255});
    context->fillRect(at(w - 19, 49, w - 2, h - 39));
    context->setFillColor({153, 179, 212, 255});
    context->fillRect(at(w - 19, 49 + thumb, w - 2, 56 + thumb));
    context->setFont(kHelpFont);
    if (auto up = editor->skin(kSkinArrowUp))
        context->drawBitmap(*up, at(w - 19, 20, w - 2, 49));
    if (auto down = editor->skin(kSkinArrowDown))
        context->drawBitmap(*down, at(w - 19, h - 39, w - 2, h - 10));

    CRect oldClip = context->getClipRect();
    context->setClipRect(at(0, 12, w, h - 4).intersect(oldClip));
    context->setFrameColor({215, 255, 255, 255});
    context->setFillColor({215, 255, 255, 255});
    if (!laidOut) {
        context->setFontColor({255, 255, 155, 255});
        context->drawString("HELP FILE NOT FOUND!", at(0, 12, w, h - 4), kCenterText);
    } else {
        const int first = scroll / kLineHeight;
        const int sub = scroll % kLineHeight;
        int previousWidth = 0;
        if (first > 0 && first - 1 <= last)
            previousWidth = context->getStringWidth(lines[std::size_t(first - 1)]);
        for (int i = first; i <= last && i < first + h / kLineHeight + 8; ++i) {
            const std::string& s = lines[std::size_t(i)];
            int top = 8 - sub + kLineHeight * (i - first);
            int width = context->getStringWidth(s);
            if (s.find(':') != std::string::npos) {
                context->setFontColor(kWhiteCColor);
                context->drawString(s, at(4, top, w, top + 16), kLeftText);
            } else if (s.find('#') != std::string::npos) {
                // Underlines the heading above it.
                context->drawLine({x0 + 6, y0 + top + 2}, {x0 + previousWidth + 2, y0 + top + 2});
            } else {
                context->setFontColor({185, 211, 244, 255});
                context->drawString(s, at(4, top, w, top + 16), kLeftText);
            }
            previousWidth = width;
        }
    }
    context->setClipRect(oldClip);
}

void HelpPane::onMouseDown(CPoint where, int buttons) {
    repeat = 0;
    const int x = where.x, y = where.y;
    const bool inBar = x >= w - 19 && x <= w - 2;
    if (inBar && y >= 20 && y <= 49)
        zone = kUpArrow;
    else if (inBar && y >= h - 39 && y <= h - 10)
        zone = kDownArrow;
    else if (inBar && y >= 49 && y <= h - 39)
        zone = (y >= 49 + thumb && y <= 56 + thumb) ? kThumb : kTrack;
    else
        zone = kNone;
    lastPoint = where;
    lastButtons = buttons;
    timer->start();
    onMouseMoved(where, buttons);
}

void HelpPane::onMouseMoved(CPoint where, int buttons) {
    const int M = maxScroll();
    const int travel = thumbTravel();
    switch (zone) {
        case kUpArrow:
            if (repeat == 0)
                scroll = std::max(scroll - kLineHeight, 0);
            else if (repeat > 8 && scroll > 0)
                scroll -= 2;
            ++repeat;
            thumbFromScroll();
            break;
        case kDownArrow:
            if (repeat == 0)
                scroll = std::min(scroll + kLineHeight, M);
            else if (repeat > 8 && scroll < M)
                scroll += 2;
            ++repeat;
            thumbFromScroll();
            break;
        case kThumb:
            thumb = std::clamp(thumb + (where.y - lastPoint.y), 0, travel);
            scroll = last > 12 && travel > 0 ? (last - 12) * thumb * kLineHeight / travel : 0;
            break;
        case kTrack:
            // Pages towards the pointer only in the direction of the press, so paging stops
            // once the thumb reaches the pointer instead of flipping around it.
            if (repeat == 0)
                trackDirection = where.y > 56 + thumb ? 1 : (where.y < 49 + thumb ? -1 : 0);
            if (repeat == 0 || repeat > 8) {
                if (trackDirection > 0 && where.y > 56 + thumb)
                    scroll = std::min(scroll + 144, M);
                else if (trackDirection < 0 && where.y < 49 + thumb)
                    scroll = std::max(scroll - 144, 0);
                thumbFromScroll();
            }
            ++repeat;
            break;
        case kNone:
            break;
    }
    if (scroll / kLineHeight == 0) {
        scroll = 0;
        thumb = 0;
    } else {
        scroll = std::min(scroll, M);
    }
    lastPoint = where;
    lastButtons = buttons;
}

void HelpPane::onMouseUp() {
    timer->stop();
}

void HelpPane::timerTick() {
    onMouseMoved(lastPoint, lastButtons);
}
