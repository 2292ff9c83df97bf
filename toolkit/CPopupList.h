// The look and hit-testing of a popup list, for frames that draw their own lists.
#pragma once

#include "toolkit/Controls.h"

class CPopupList {
  public:
    static constexpr int kRowHeight = 16;
    static constexpr int kSeparatorHeight = 7;

    // `tick` marks the menu's current entry.
    CPopupList(COptionMenu* menu, bool tick);

    COptionMenu* getMenu() const { return menu; }
    // The list's size, measured with the font of the menu.
    CRect measure(CDrawContext& context);
    CRect getSize() const { return size; }
    CRect entryRect(int index) const;
    // -1 outside every entry.
    int entryAt(CPoint where) const;
    // True when entry `index` can be picked (not a separator).
    bool isPickable(int index) const;
    void draw(CDrawContext& context, int highlighted);

  private:
    COptionMenu* menu;
    bool tick;
    CRect size;
    std::vector<int> tops;  // top of each entry; one more for the bottom
};
