#include "toolkit/CView.h"

#include <algorithm>
#include <cstring>

const char* const kMsgTimer = "timer fired";

// ---------------------------------------------------------------- CView

CView::CView(const CRect& r) : size(r) {}
CView::~CView() = default;
CView::CView(const CView& o)
    : size(o.size),
      dirty(o.dirty),
      mouseEnabled(o.mouseEnabled),
      visible(o.visible),
      background(o.background),
      frame(nullptr) {}

void CView::draw(CDrawContext* context) {
    if (background)
        context->drawBitmap(*background, size);
    setDirty(false);
}

CMouseResult CView::onMouseDown(CPoint, int) {
    return kMouseNotHandled;
}
CMouseResult CView::onMouseMoved(CPoint, int) {
    return kMouseNotHandled;
}
CMouseResult CView::onMouseUp(CPoint, int) {
    return kMouseNotHandled;
}
int CView::onKeyDown(const CKeyCode&) {
    return -1;
}
int CView::onKeyUp(const CKeyCode&) {
    return -1;
}
int CView::notify(CView*, const char*) {
    return 0;
}
bool CView::isTypeOf(const char* name) const {
    return std::strcmp(name, "CView") == 0;
}

void CView::invalid() {
    if (frame)
        frame->invalidRect(size);
}

// ---------------------------------------------------------------- CControlListener

int CControlListener::controlModifierClicked(CControl*, int) {
    return 0;
}
void CControlListener::controlBeginEdit(CControl*) {}
void CControlListener::controlEndEdit(CControl*) {}

// ---------------------------------------------------------------- CControl

CControl::CControl(const CRect& r, CControlListener* l, int t, std::shared_ptr<CBitmap> bitmap)
    : CView(r), tag(t), listener(l) {
    background = std::move(bitmap);
}

void CControl::valueChanged() {
    if (listener)
        listener->valueChanged(this);
}

void CControl::beginEdit() {
    editing = true;
    if (frame)
        frame->beginEdit(tag);
    if (listener)
        listener->controlBeginEdit(this);
}

void CControl::endEdit() {
    editing = false;
    if (listener)
        listener->controlEndEdit(this);
    if (frame)
        frame->endEdit(tag);
}

bool CControl::modifierClickTaken(int buttons) {
    if (!(buttons & (kShift | kControl | kAlt)))
        return false;
    return listener && listener->controlModifierClicked(this, buttons) != 0;
}

bool CControl::isTypeOf(const char* name) const {
    return std::strcmp(name, "CControl") == 0 || CView::isTypeOf(name);
}

// ---------------------------------------------------------------- CTimer

CTimer::CTimer(CView* t, std::uint32_t periodMs) : target(t), period(std::max<std::uint32_t>(periodMs, 1)) {}

CTimer::~CTimer() {
    stop();
}

void CTimer::start() {
    CFrame* frame = target ? target->getFrame() : nullptr;
    if (!frame)
        return;
    if (registeredWith != frame) {
        stop();
        frame->registerTimer(this);
        registeredWith = frame;
    }
    last = frame->ticks();
    running = true;
}

void CTimer::stop() {
    running = false;
    if (registeredWith)
        registeredWith->unregisterTimer(this);
    registeredWith = nullptr;
}

void CTimer::fireIfDue(std::uint32_t now) {
    if (!running || now - last < period)
        return;
    last = now;
    target->notify(nullptr, kMsgTimer);
}

// ---------------------------------------------------------------- CFrame

CFrame::CFrame(const CRect& r, CEditorHooks* e) : CView(r), editor(e) {
    frame = this;
}

CFrame::~CFrame() {
    // The platform frame may still call back into the views while it closes, so it goes first.
    platform.reset();
    mouseCapture = nullptr;
    focusView = nullptr;
    std::vector<CView*> owned;
    owned.swap(views);
    for (CView* v : owned) delete v;
    for (CTimer* t : timers) t->frameGone();
}

void CFrame::setPlatform(std::unique_ptr<IPlatformFrame> p) {
    platform = std::move(p);
}

void CFrame::addView(CView* view) {
    view->setFrame(this);
    views.push_back(view);
}

bool CFrame::removeView(CView* view, bool deleteIt) {
    auto it = std::find(views.begin(), views.end(), view);
    if (it == views.end())
        return false;
    views.erase(it);
    if (mouseCapture == view)
        mouseCapture = nullptr;
    if (focusView == view)
        focusView = nullptr;
    invalidRect(view->getViewSize());
    if (deleteIt)
        delete view;
    return true;
}

CView* CFrame::getView(int index) const {
    return index >= 0 && index < int(views.size()) ? views[std::size_t(index)] : nullptr;
}

void CFrame::draw(CDrawContext* context) {
    drawRect(context, size);
}

void CFrame::setScale(double s) {
    s = clampScale(s);
    if (s == scale)
        return;
    scale = s;
    // Those of another factor would only take memory now.
    renditions.clear();
    if (platform)
        platform->scaleChanged();
    if (editor)
        editor->frameScaleChanged(scale);
}

void CFrame::drawRect(CDrawContext* context, const CRect& r) {
    CRect area = r.intersect(size);
    if (area.isEmpty())
        return;
    if (context->getScale() != 1.0)
        context->setRenditions(&renditions);
    context->setClipLimit(area);
    context->setClipRect(area);
    // Above 1x a view can share a device pixel with the area without touching it in layout
    // pixels; it is drawn too, or the background would cover its part of that pixel.
    CRect touched = context->getClipRect();
    context->setGlobalAlpha(1.0f);
    if (background)
        context->drawBitmap(*background, size);
    for (CView* v : views) {
        if (!v->isVisible() || v->getViewSize().intersect(touched).isEmpty())
            continue;
        context->setClipRect(area);
        context->setGlobalAlpha(1.0f);
        v->draw(context);
    }
    context->clearClipLimit();
    context->resetClipRect();
    context->setGlobalAlpha(1.0f);
    context->setRenditions(nullptr);
}

CView* CFrame::viewAt(CPoint where) const {
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* v = *it;
        if (v->isVisible() && v->getMouseEnabled() && v->getViewSize().pointInside(where))
            return v;
    }
    return nullptr;
}

CMouseResult CFrame::onMouseDown(CPoint where, int buttons) {
    if (mouseCapture)
        return kMouseHandled;  // a second button during a gesture
    CView* target = viewAt(where);
    // A click anywhere else ends a text edit in progress (and commits it).
    if (focusView && focusView != target)
        setFocusView(nullptr);
    if (!target)
        return kMouseNotHandled;
    CMouseResult result = target->onMouseDown(where, buttons);
    // The view may have been removed by its own handler.
    if (result == kMouseHandled && std::find(views.begin(), views.end(), target) != views.end())
        mouseCapture = target;
    return result;
}

CMouseResult CFrame::onMouseMoved(CPoint where, int buttons) {
    if (!mouseCapture)
        return kMouseNotHandled;
    return mouseCapture->onMouseMoved(where, buttons);
}

CMouseResult CFrame::onMouseUp(CPoint where, int buttons) {
    CView* target = mouseCapture;
    mouseCapture = nullptr;
    if (!target)
        return kMouseNotHandled;
    return target->onMouseUp(where, buttons);
}

int CFrame::onKeyDown(const CKeyCode& key) {
    return focusView ? focusView->onKeyDown(key) : -1;
}
int CFrame::onKeyUp(const CKeyCode& key) {
    return focusView ? focusView->onKeyUp(key) : -1;
}

bool CFrame::isTypeOf(const char* name) const {
    return std::strcmp(name, "CFrame") == 0 || CView::isTypeOf(name);
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView)
        return;
    CView* old = focusView;
    focusView = view;
    if (old)
        old->looseFocus();
    if (focusView)
        focusView->takeFocus();
    if (platform)
        platform->keyboardFocusChanged(focusView);
}

void CFrame::idle() {
    if (inIdle)
        return;
    inIdle = true;
    if (platform)
        platform->pumpEvents();
    for (CView* v : views)
        if (v->isDirty())
            invalidRect(v->getViewSize());
    std::uint32_t now = ticks();
    std::vector<CTimer*> due = timers;  // a timer may stop itself when it fires
    for (CTimer* t : due)
        if (std::find(timers.begin(), timers.end(), t) != timers.end())
            t->fireIfDue(now);
    if (platform)
        platform->flush();
    inIdle = false;
}

void CFrame::invalidRect(const CRect& r) {
    if (platform)
        platform->invalidRect(r.intersect(size));
}

std::uint32_t CFrame::ticks() const {
    return platform ? platform->ticks() : 0;
}

void CFrame::beginEdit(int tag) {
    if (editor)
        editor->beginEdit(tag);
}

void CFrame::endEdit(int tag) {
    if (editor)
        editor->endEdit(tag);
}

int CFrame::getKnobMode() const {
    return editor ? editor->getKnobMode() : kLinearMode;
}

void CFrame::registerTimer(CTimer* timer) {
    if (std::find(timers.begin(), timers.end(), timer) == timers.end())
        timers.push_back(timer);
}

void CFrame::unregisterTimer(CTimer* timer) {
    timers.erase(std::remove(timers.begin(), timers.end(), timer), timers.end());
}
