#include "toolkit/CPopupList.h"

namespace {
const CColor kListBack{22, 31, 42, 255};
const CColor kListEdge{92, 124, 150, 255};
const CColor kListText{194, 224, 226, 255};
const CColor kListHighlight{52, 104, 132, 255};
const CColor kListSeparator{62, 86, 108, 255};
constexpr int kTickColumn = 16;
constexpr int kArrowColumn = 14;
}  // namespace

CPopupList::CPopupList(COptionMenu* m, bool t) : menu(m), tick(t) {}

CRect CPopupList::measure(CDrawContext& context) {
    context.setFont(menu->getFont());
    int width = 60;
    tops.clear();
    int y = 2;
    for (int i = 0; i < menu->getNbEntries(); ++i) {
        tops.push_back(y);
        if (menu->isSeparator(i)) {
            y += kSeparatorHeight;
        } else {
            y += kRowHeight;
            width = std::max(width, context.getStringWidth(menu->getEntry(i)));
        }
    }
    tops.push_back(y);
    size = CRect(0, 0, kTickColumn + width + kArrowColumn + 4, y + 2);
    return size;
}

CRect CPopupList::entryRect(int index) const {
    if (index < 0 || index + 1 >= int(tops.size()))
        return CRect();
    return CRect(1, tops[std::size_t(index)], size.right - 1, tops[std::size_t(index) + 1]);
}

int CPopupList::entryAt(CPoint where) const {
    for (int i = 0; i + 1 < int(tops.size()); ++i)
        if (entryRect(i).pointInside(where))
            return i;
    return -1;
}

bool CPopupList::isPickable(int index) const {
    return index >= 0 && index < menu->getNbEntries() && !menu->isSeparator(index);
}

void CPopupList::draw(CDrawContext& context, int highlighted) {
    context.setFillColor(kListBack);
    context.fillRect(size);
    context.setFrameColor(kListEdge);
    context.frameRect(size);
    context.setFont(menu->getFont());
    for (int i = 0; i < menu->getNbEntries(); ++i) {
        CRect r = entryRect(i);
        if (menu->isSeparator(i)) {
            context.setFrameColor(kListSeparator);
            int y = (r.top + r.bottom) / 2;
            context.drawLine({r.left + 4, y}, {r.right - 5, y});
            continue;
        }
        if (i == highlighted) {
            context.setFillColor(kListHighlight);
            context.fillRect(r);
        }
        context.setFontColor(kListText);
        context.drawString(menu->getEntry(i),
                           CRect(r.left + kTickColumn, r.top, r.right - kArrowColumn, r.bottom), kLeftText);
        if (tick && i == menu->getCurrentIndex()) {
            // A tick mark.
            context.setFrameColor(kListText);
            context.setLineWidth(2);
            int cy = (r.top + r.bottom) / 2;
            context.drawLine({r.left + 4, cy}, {r.left + 7, cy + 3});
            context.drawLine({r.left + 7, cy + 3}, {r.left + 12, cy - 3});
            context.setLineWidth(1);
        }
        if (menu->getSubMenu(i)) {
            context.setFillColor(kListText);
            int cy = (r.top + r.bottom) / 2;
            CPoint arrow[3] = {{r.right - 10, cy - 4}, {r.right - 5, cy}, {r.right - 10, cy + 4}};
            context.fillPolygon(arrow, 3);
        }
    }
}
