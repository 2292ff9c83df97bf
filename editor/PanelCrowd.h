// The crowd display: every person as a little figure placed by two of its parameters, the
// selected one ringed and animated, the version line fading out after the window opens.
#pragma once

#include <memory>

#include "toolkit/CView.h"

class EffectEditor;
class HelpPane;
struct Program;

class PanelCrowd : public CControl {
  public:
    enum Mode { kCrowdMode, kHelpMode };
    static constexpr int kVersionFadeStart = 127;

    PanelCrowd(const CRect& size, CControlListener* listener, int tag, std::shared_ptr<CBitmap> background);
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

  private:
    const Program* program() const;
    // Person values from a panel-local position, for the dragged person.
    void moveDragged(CPoint where);

    EffectEditor* editor;
    std::unique_ptr<CBitmap> cache;
    std::unique_ptr<HelpPane> help;
    int dragged = -1;
    CPoint grab;
    int fade = kVersionFadeStart;
    int phase = 0;
    int drawCounter = 0;
};
