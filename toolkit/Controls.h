// The control kinds the editor is built from.
#pragma once

#include <string>
#include <vector>

#include "toolkit/CView.h"

// A knob drawn from a film strip of equal frames stacked vertically.
class CAnimKnob : public CControl {
  public:
    CAnimKnob(const CRect& size, CControlListener* listener, int tag, int subPixmaps, int heightOfOneImage,
              std::shared_ptr<CBitmap> strip);
    CAnimKnob(const CAnimKnob&) = default;

    void draw(CDrawContext* context) override;
    CMouseResult onMouseDown(CPoint where, int buttons) override;
    CMouseResult onMouseMoved(CPoint where, int buttons) override;
    CMouseResult onMouseUp(CPoint where, int buttons) override;
    bool isTypeOf(const char* name) const override;

    int frameIndex() const;
    // Pixels of drag for the full range (fine adjust multiplies it by four).
    static constexpr float kRangePixels = 450.0f;

  private:
    void anchor(CPoint where, int buttons);

    int subPixmaps;
    int heightOfOneImage;
    CPoint anchorPoint;
    CPoint lastPoint;
    float anchorValue = 0.0f;
    bool anchorFine = false;
};

// Two frames: top for 0, bottom for 1. A click toggles.
class COnOffButton : public CControl {
  public:
    COnOffButton(const CRect& size, CControlListener* listener, int tag, std::shared_ptr<CBitmap> bitmap);
    COnOffButton(const COnOffButton&) = default;
    void draw(CDrawContext* context) override;
    CMouseResult onMouseDown(CPoint where, int buttons) override;
    CMouseResult onMouseUp(CPoint where, int buttons) override;
    bool isTypeOf(const char* name) const override;
};

// Momentary: reports on release only; without a bitmap it is an invisible click area.
class CKickButton : public CControl {
  public:
    CKickButton(const CRect& size, CControlListener* listener, int tag,
                std::shared_ptr<CBitmap> bitmap = nullptr);
    CKickButton(const CKickButton&) = default;
    void draw(CDrawContext* context) override;
    CMouseResult onMouseDown(CPoint where, int buttons) override;
    CMouseResult onMouseMoved(CPoint where, int buttons) override;
    CMouseResult onMouseUp(CPoint where, int buttons) override;
    bool isTypeOf(const char* name) const override;
    bool isPressed() const { return pressed; }

  private:
    bool pressed = false;
};

// Shared text appearance of menus and text edits.
class CTextControl : public CControl {
  public:
    using CControl::CControl;
    void setFont(const CFontDesc& f) { font = f; }
    const CFontDesc& getFont() const { return font; }
    void setFontColor(CColor c) { fontColor = c; }
    CColor getFontColor() const { return fontColor; }
    void setBackColor(CColor c) { backColor = c; }
    CColor getBackColor() const { return backColor; }
    void setFrameColor(CColor c) { frameColor = c; }
    // Transparent text is drawn straight over what lies below, with no fill.
    void setTransparency(bool t) { transparent = t; }
    bool getTransparency() const { return transparent; }
    void setHoriAlign(CHoriTxtAlign a) { align = a; }
    CHoriTxtAlign getHoriAlign() const { return align; }
    void setFrameVisible(bool v) { frameVisible = v; }

  protected:
    void drawText(CDrawContext* context, const std::string& text);

    CFontDesc font = kNormalFontSmall;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    bool transparent = false;
    bool frameVisible = false;
    CHoriTxtAlign align = kCenterText;
};

class COptionMenu : public CTextControl {
  public:
    enum Style {
        kCheckStyle = 1 << 0,    // the popup list ticks the current entry
        kNoDrawStyle = 1 << 1,   // draws nothing; only takes clicks
        kPopupTopLeft = 1 << 2,  // the popup list opens at the top-left corner, not below
    };

    COptionMenu(const CRect& size, CControlListener* listener, int tag, int style = 0);
    COptionMenu(const COptionMenu&) = default;

    // An entry titled "-" is a separator: drawn as a line, never picked.
    bool addEntry(const std::string& title);
    // `submenu` is not owned; it is a control of its own with its own tag and listener.
    bool addEntry(COptionMenu* submenu, const std::string& title);
    bool setEntry(int index, const std::string& title);
    bool removeEntry(int index);
    void removeAllEntry();

    int getNbEntries() const { return int(entries.size()); }
    std::string getEntry(int index) const;
    COptionMenu* getSubMenu(int index) const;
    bool isSeparator(int index) const;
    // -1 when the menu is empty.
    int getCurrentIndex() const;
    int getStyle() const { return style; }
    void setStyle(int s) { style = s; }

    // Ignored outside 0..1; selects entry truncate(v * n), at most n - 1.
    void setValue(float v) override;
    // A pick from the popup list: value i / n, then the report.
    void pick(int index);

    // Where the popup list's top-left corner goes.
    CPoint popupPosition() const;
    bool isPopupOpen() const { return popupOpen; }
    // The platform closed the list; `chosen.menu` is null when nothing was picked.
    void popupClosed(CPopupPick chosen);

    void draw(CDrawContext* context) override;
    CMouseResult onMouseDown(CPoint where, int buttons) override;
    CMouseResult onMouseUp(CPoint where, int buttons) override;
    bool isTypeOf(const char* name) const override;

    static constexpr int kMaxEntries = 1024;

  private:
    struct Entry {
        std::string title;
        COptionMenu* submenu = nullptr;
    };
    std::vector<Entry> entries;
    int current = 0;
    int style;
    bool popupOpen = false;
};

// Shows a text; a click edits it in place until Return, a click elsewhere or Escape (which
// keeps the old text).
class CTextEdit : public CTextControl {
  public:
    CTextEdit(const CRect& size, CControlListener* listener, int tag, const std::string& text = "",
              std::shared_ptr<CBitmap> background = nullptr);
    CTextEdit(const CTextEdit&) = default;

    void setText(const std::string& text);
    const std::string& getText() const { return text; }
    bool isEditingText() const { return editingText; }
    const std::string& getEditText() const { return editText; }

    void draw(CDrawContext* context) override;
    CMouseResult onMouseDown(CPoint where, int buttons) override;
    CMouseResult onMouseUp(CPoint where, int buttons) override;
    int onKeyDown(const CKeyCode& key) override;
    void takeFocus() override;
    void looseFocus() override;
    bool isTypeOf(const char* name) const override;

    static constexpr std::size_t kMaxLength = 255;

  private:
    void finishEditing(bool commit);

    std::string text;
    std::string editText;
    std::size_t caret = 0;
    bool editingText = false;
    bool cancelled = false;
};
