// The retained view tree: views, controls with tag, value and listener, the root frame and timers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CGeometry.h"
#include "toolkit/CRenditions.h"

class CFrame;
class CControl;
class COptionMenu;
class CTextEdit;

// The message a timer sends to its target view.
extern const char* const kMsgTimer;

class CView {
  public:
    explicit CView(const CRect& size);
    virtual ~CView();
    CView(const CView& other);
    CView& operator=(const CView&) = delete;

    virtual void draw(CDrawContext* context);
    virtual CMouseResult onMouseDown(CPoint where, int buttons);
    virtual CMouseResult onMouseMoved(CPoint where, int buttons);
    virtual CMouseResult onMouseUp(CPoint where, int buttons);
    // 1 when the key was used, -1 when not.
    virtual int onKeyDown(const CKeyCode& key);
    virtual int onKeyUp(const CKeyCode& key);
    virtual void takeFocus() {}
    virtual void looseFocus() {}
    virtual int notify(CView* sender, const char* message);
    virtual bool isTypeOf(const char* name) const;

    const CRect& getViewSize() const { return size; }
    void setViewSize(const CRect& r) { size = r; }
    // A dirty view is redrawn at the frame's next idle.
    virtual void setDirty(bool value = true) { dirty = value; }
    bool isDirty() const { return dirty; }
    // Asks for a redraw of this view's area as soon as the platform paints.
    void invalid();
    void setMouseEnabled(bool enabled) { mouseEnabled = enabled; }
    bool getMouseEnabled() const { return mouseEnabled; }
    void setVisible(bool v) { visible = v; }
    bool isVisible() const { return visible; }
    void setBackground(std::shared_ptr<CBitmap> bitmap) { background = std::move(bitmap); }
    CBitmap* getBackground() const { return background.get(); }
    const std::shared_ptr<CBitmap>& getBackgroundShared() const { return background; }

    CFrame* getFrame() const { return frame; }
    void setFrame(CFrame* f) { frame = f; }

  protected:
    CRect size;
    bool dirty = false;
    bool mouseEnabled = true;
    bool visible = true;
    std::shared_ptr<CBitmap> background;
    CFrame* frame = nullptr;
};

class CControlListener {
  public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    // Nonzero when the listener handled a click made with modifier keys.
    virtual int controlModifierClicked(CControl* control, int buttons);
    virtual void controlBeginEdit(CControl* control);
    virtual void controlEndEdit(CControl* control);
};

class CControl : public CView {
  public:
    CControl(const CRect& size, CControlListener* listener, int tag,
             std::shared_ptr<CBitmap> background = nullptr);

    // Stores the value without reporting it.
    virtual void setValue(float v) { value = v; }
    float getValue() const { return value; }
    int getTag() const { return tag; }
    void setTag(int t) { tag = t; }
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* l) { listener = l; }

    // Reports the current value to the listener.
    virtual void valueChanged();
    // Gesture start and end, announced through the frame to the editor and to the listener.
    void beginEdit();
    void endEdit();
    bool isEditing() const { return editing; }

    bool isTypeOf(const char* name) const override;

  protected:
    // True when the listener took a modifier click, which then does nothing else.
    bool modifierClickTaken(int buttons);

    float value = 0.0f;
    int tag;
    CControlListener* listener;
    bool editing = false;
};

// What the root view needs of the editor it belongs to.
class CEditorHooks {
  public:
    virtual ~CEditorHooks() = default;
    virtual void beginEdit(int index) = 0;
    virtual void endEdit(int index) = 0;
    virtual int getKnobMode() const = 0;
    // The frame's scale changed (its window and pictures are resized already).
    virtual void frameScaleChanged(double) {}
};

// A pick from a popup list: the menu the entry belongs to (the menu itself or one of its
// submenus) and the entry's index in it.
struct CPopupPick {
    COptionMenu* menu = nullptr;
    int index = -1;
};

// The window system side of a frame: a real window or none at all.
class IPlatformFrame {
  public:
    virtual ~IPlatformFrame() = default;
    // Paints `r` at the next flush.
    virtual void invalidRect(const CRect& r) = 0;
    // Paints what is invalid.
    virtual void flush() = 0;
    // Handles the window system's pending events.
    virtual void pumpEvents() = 0;
    // Shows `menu`'s popup list with its top-left corner at `where` (frame coordinates); the
    // answer comes later (or at once) through COptionMenu::popupClosed.
    virtual void openPopup(COptionMenu* menu, CPoint where) = 0;
    // Closes a popup list that is showing, without a pick.
    virtual void closePopup() = 0;
    // Milliseconds of a monotonic clock.
    virtual std::uint32_t ticks() const = 0;
    // A text edit started or ended taking keys.
    virtual void keyboardFocusChanged(CView* view) = 0;
    // The window system connection's file descriptor, for hosts that wake the frame when it is
    // readable instead of idling it; -1 where there is none.
    virtual int eventDescriptor() const { return -1; }
    // The frame's scale changed: the window and back buffer take the new device size, and
    // everything is painted again.
    virtual void scaleChanged() {}
};

class CTimer {
  public:
    // Sends kMsgTimer to `target` every `periodMs` while running, from the frame's idle.
    CTimer(CView* target, std::uint32_t periodMs);
    ~CTimer();
    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    void start();
    void stop();
    bool isRunning() const { return running; }
    // Fires when due; called by the frame.
    void fireIfDue(std::uint32_t now);
    // The frame it was registered with is going away.
    void frameGone() {
        registeredWith = nullptr;
        running = false;
    }

  private:
    CView* target;
    std::uint32_t period;
    std::uint32_t last = 0;
    bool running = false;
    CFrame* registeredWith = nullptr;
};

class CFrame : public CView {
  public:
    CFrame(const CRect& size, CEditorHooks* editor);
    ~CFrame() override;  // deletes every view and the platform frame

    void setPlatform(std::unique_ptr<IPlatformFrame> p);
    IPlatformFrame* getPlatform() const { return platform.get(); }

    // Device pixels per layout pixel (1 .. 3; NaN gives 1). The views keep their layout; the
    // platform frame resizes its window and pictures, and the editor hears of it.
    void setScale(double scale);
    double getScale() const { return scale; }
    // The frame's size in device pixels.
    CRect getDeviceSize() const { return deviceRect(size, scale); }
    // A device position (window coordinates) as a layout position.
    CPoint toLayout(CPoint device) const { return layoutPoint(device, scale); }
    // The skin renditions held while drawing above 1x.
    CRenditions& getRenditions() { return renditions; }
    CEditorHooks* getEditor() const { return editor; }

    // Takes ownership; later views lie above earlier ones.
    void addView(CView* view);
    bool removeView(CView* view, bool deleteIt = true);
    int getNbViews() const { return int(views.size()); }
    CView* getView(int index) const;

    void draw(CDrawContext* context) override;
    // Draws the part `r` of the frame: background, then every view touching it in order.
    void drawRect(CDrawContext* context, const CRect& r);

    CMouseResult onMouseDown(CPoint where, int buttons) override;
    CMouseResult onMouseMoved(CPoint where, int buttons) override;
    CMouseResult onMouseUp(CPoint where, int buttons) override;
    int onKeyDown(const CKeyCode& key) override;
    int onKeyUp(const CKeyCode& key) override;
    bool isTypeOf(const char* name) const override;

    // Top-most view under `where` that takes the mouse.
    CView* viewAt(CPoint where) const;
    CView* getMouseCapture() const { return mouseCapture; }

    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView; }

    // Events from the window system, then dirty views repainted, then due timers.
    void idle();
    void invalidRect(const CRect& r);
    std::uint32_t ticks() const;

    void beginEdit(int tag);
    void endEdit(int tag);
    int getKnobMode() const;

    void registerTimer(CTimer* timer);
    void unregisterTimer(CTimer* timer);

  private:
    CEditorHooks* editor;
    std::unique_ptr<IPlatformFrame> platform;
    std::vector<CView*> views;
    std::vector<CTimer*> timers;
    CView* mouseCapture = nullptr;
    CView* focusView = nullptr;
    bool inIdle = false;
    double scale = 1.0;
    CRenditions renditions;
};
