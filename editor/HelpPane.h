// The user guide inside the crowd display's area: the guide text from the module's resources,
// wrapped once, drawn with a scroll bar whose arrows and track repeat while held.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/CView.h"

class EffectEditor;

class HelpPane {
  public:
    static constexpr int kMaxLines = 512;
    static constexpr int kMaxLineLength = 79;
    static constexpr int kLineHeight = 12;
    static constexpr int kTimerPeriod = 25;

    enum Zone { kNone, kUpArrow, kDownArrow, kThumb, kTrack };

    // `owner` receives the timer's notifications.
    HelpPane(const CRect& size, EffectEditor* editor, CView* owner);
    ~HelpPane();
    HelpPane(const HelpPane&) = delete;
    HelpPane& operator=(const HelpPane&) = delete;

    // Replaces the text (as the resource would give it: `length` counted characters); an
    // empty text is no text.
    void setText(const char* data, std::size_t length);

    void draw(CDrawContext* context);
    // Pane-local positions.
    void onMouseDown(CPoint where, int buttons);
    void onMouseMoved(CPoint where, int buttons);
    void onMouseUp();
    // The timer fired: the last mouse handling is repeated.
    void timerTick();

    bool isLaidOut() const { return laidOut; }
    // Index of the last laid-out line.
    int lastLine() const { return last; }
    const std::string& line(int i) const { return lines[std::size_t(i)]; }
    int scrollOffset() const { return scroll; }
    int thumbPosition() const { return thumb; }
    Zone pressedZone() const { return zone; }
    bool timerRunning() const { return timer && timer->isRunning(); }
    // Thumb travel in pixels.
    int thumbTravel() const { return h - 96; }
    // Lays the text out with the fonts of `context` (done by the first draw).
    void layout(CDrawContext& context);

  private:
    int maxScroll() const;
    void thumbFromScroll();

    CRect size;
    int w;
    int h;
    EffectEditor* editor;
    std::unique_ptr<CTimer> timer;
    std::string text;
    bool hasText = false;
    std::vector<std::string> lines;
    int last = 0;
    bool laidOut = false;
    int scroll = 0;
    int thumb = 0;
    Zone zone = kNone;
    int repeat = 0;
    int trackDirection = 0;
    CPoint lastPoint;
    int lastButtons = 0;
};
