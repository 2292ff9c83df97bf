// The crowd display: every person as a little figure placed by two of its parameters, the
// selected one ringed and animated, the version line fading out after the window opens.
#pragma once

#include <memory>
#include <string>

#include "toolkit/CView.h"

class EffectEditor;
class HelpPane;

class PanelCrowd : public CControl {
  public:
    enum Mode { kCrowdMode, kHelpMode };
    static constexpr int kVersionFadeStart = 127;

    // The editor is the panel's listener too.
    PanelCrowd(const CRect& size, EffectEditor* editor, int tag, std::shared_ptr<CBitmap> background);
    PanelCrowd(const PanelCrowd& other);
    ~PanelCrowd() override;

    void draw(CDrawContext* context) override;
    CMouseResult onMouseDown(CPoint where, int buttons) override;
    CMouseResult onMouseMoved(CPoint where, int buttons) override;
    CMouseResult onMouseUp(CPoint where, int buttons) override;
    int notify(CView* sender, const char* message) override;
    bool isTypeOf(const char* name) const override;

    // Nonzero: the cached picture is redrawn at the next draw.
    float rebuild = 1.0f;
    Mode mode = kCrowdMode;

    // The axis choice 0..2, read from the editor's axis menu.
    int axisMode() const;
    // People shown: from the population parameter, at most 59.
    int personCount() const;
    // Panel-local position of person i.
    CPoint personPosition(int person) const;
    int draggedPerson() const { return dragged; }
    int versionFade() const { return fade; }
    int animationPhase() const { return phase; }
    HelpPane* helpPane() const { return help.get(); }
    // A message drawn over the panel for a few seconds, in either mode.
    void showNotice(const std::string& text);
    const std::string& notice() const { return noticeText; }
    static constexpr int kNoticeRedraws = 150;

  private:
    // A person's value as the plug-in holds it.
    float personValue(int person, int slot) const;
    // Person values from a panel-local position, for the dragged person.
    void moveDragged(CPoint where);
    void drawNotice(CDrawContext* context);
    // The two parameters a drag of person i changes.
    void announceDrag(bool begin);

    EffectEditor* editor;
    std::unique_ptr<CBitmap> cache;
    std::unique_ptr<HelpPane> help;
    int dragged = -1;
    CPoint grab;
    int fade = kVersionFadeStart;
    int phase = 0;
    int drawCounter = 0;
    std::string noticeText;
    int noticeLeft = 0;
    int dragIndices[2] = {-1, -1};
};
