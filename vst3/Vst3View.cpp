#include "vst3/Vst3View.h"

#include <cmath>
#include <cstring>

#include "vst3/Vst3Effect.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vst3 {
namespace {

#ifdef _WIN32
constexpr const char* kPlatform = "HWND";
#else
constexpr const char* kPlatform = "X11EmbedWindowID";
#endif
constexpr unsigned kIdleMilliseconds = 25;  // as often as VST 2.4 hosts send their idle call

#ifdef _WIN32
void CALLBACK idleTimer(HWND, UINT, UINT_PTR id, DWORD) {
    reinterpret_cast<Vst3View*>(id)->idle();
}
#endif

}  // namespace

Vst3View::Vst3View(Vst3Effect& effect) : effect_(effect) {
    static_cast<IComponent&>(effect_).addRef();  // the view keeps its plug-in
}

Vst3View::~Vst3View() {
    removed();
    setFrame(nullptr);
    static_cast<IComponent&>(effect_).release();
}

tresult Vst3View::queryInterface(const char* iid, void** obj) {
    if (obj == nullptr) {
        return kInvalidArgument;
    }
    void* answer = nullptr;
    if (FUnknown::iid.is(iid) || IPlugView::iid.is(iid)) {
        answer = static_cast<IPlugView*>(this);
    } else if (IPlugViewContentScaleSupport::iid.is(iid)) {
        answer = static_cast<IPlugViewContentScaleSupport*>(this);
#ifndef _WIN32
    } else if (ITimerHandler::iid.is(iid)) {
        answer = static_cast<ITimerHandler*>(this);
    } else if (IEventHandler::iid.is(iid)) {
        answer = static_cast<IEventHandler*>(this);
#endif
    }
    *obj = answer;
    if (answer == nullptr) {
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 Vst3View::addRef() {
    return refs_.fetch_add(1) + 1;
}

uint32 Vst3View::release() {
    const uint32 left = refs_.fetch_sub(1) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

tresult Vst3View::isPlatformTypeSupported(FIDString type) {
    return type != nullptr && std::strcmp(type, kPlatform) == 0 ? kResultTrue : kResultFalse;
}

tresult Vst3View::attached(void* parent, FIDString type) {
    if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue || attached_) {
        return kResultFalse;
    }
    if (!effect_.claimEditor(this)) {
        return kResultFalse;
    }
    if (!effect_.host().openEditor(parent)) {
        effect_.releaseEditor(this);
        return kResultFalse;
    }
    attached_ = true;
#ifdef _WIN32
    parent_ = parent;
    SetTimer(static_cast<HWND>(parent), reinterpret_cast<UINT_PTR>(this), kIdleMilliseconds, idleTimer);
#else
    // The run loop exists only through the frame (Ardour 7.3), and only while a window does.
    void* loop = nullptr;
    if (frame_ != nullptr && frame_->queryInterface(IRunLoop::iid.data(), &loop) == kResultOk && loop != nullptr) {
        runLoop_ = static_cast<IRunLoop*>(loop);
        timerOn_ = runLoop_->registerTimer(static_cast<ITimerHandler*>(this), kIdleMilliseconds) == kResultOk;
        const int fd = effect_.host().editorEventDescriptor();
        eventsOn_ = fd >= 0 && runLoop_->registerEventHandler(static_cast<IEventHandler*>(this), fd) == kResultOk;
    }
#endif
    return kResultOk;
}

void Vst3View::stopIdle() {
#ifdef _WIN32
    if (parent_ != nullptr) {
        KillTimer(static_cast<HWND>(parent_), reinterpret_cast<UINT_PTR>(this));
        parent_ = nullptr;
    }
#else
    if (runLoop_ != nullptr) {
        if (timerOn_) {
            runLoop_->unregisterTimer(static_cast<ITimerHandler*>(this));
        }
        if (eventsOn_) {
            runLoop_->unregisterEventHandler(static_cast<IEventHandler*>(this));
        }
        runLoop_->release();
        runLoop_ = nullptr;
    }
    timerOn_ = eventsOn_ = false;
#endif
}

tresult Vst3View::removed() {
    if (!attached_) {
        return kResultFalse;
    }
    stopIdle();
    effect_.host().closeEditor();
    effect_.releaseEditor(this);
    attached_ = false;
    return kResultOk;
}

void Vst3View::idle() {
    if (attached_) {
        effect_.host().idleEditor();
        effect_.deliverDeferred();
    }
}

#ifndef _WIN32
void Vst3View::onTimer() {
    idle();
}

void Vst3View::onFDIsSet(int) {
    idle();
}
#endif

tresult Vst3View::onWheel(float) {
    return kResultFalse;
}

tresult Vst3View::onKeyDown(char16, int16, int16) {
    return kResultFalse;
}

tresult Vst3View::onKeyUp(char16, int16, int16) {
    return kResultFalse;
}

tresult Vst3View::getSize(ViewRect* size) {
    if (size == nullptr) {
        return kInvalidArgument;
    }
    int width = 0;
    int height = 0;
    effect_.host().editorSize(width, height);
    *size = {0, 0, width, height};
    return kResultOk;
}

tresult Vst3View::onSize(ViewRect* newSize) {
    return newSize != nullptr ? kResultOk : kInvalidArgument;
}

tresult Vst3View::onFocus(TBool) {
    return kResultOk;
}

tresult Vst3View::setFrame(IPlugFrame* frame) {
    if (frame != nullptr) {
        frame->addRef();
    }
    if (frame_ != nullptr) {
        frame_->release();
    }
    frame_ = frame;
    return kResultOk;
}

tresult Vst3View::canResize() {
    return kResultFalse;
}

tresult Vst3View::checkSizeConstraint(ViewRect* rect) {
    if (rect == nullptr) {
        return kInvalidArgument;
    }
    int width = 0;
    int height = 0;
    effect_.host().editorSize(width, height);
    rect->right = rect->left + width;
    rect->bottom = rect->top + height;
    return kResultTrue;
}

tresult Vst3View::setContentScaleFactor(float factor) {
    if (std::isnan(factor)) {
        return kResultFalse;
    }
    // The core keeps the factor for the editor, open or not; an open one resizes and asks the
    // host for its room through resizeFromEditor, which this view's frame answers.
    effect_.host().setEditorScale(factor);
    return kResultTrue;
}

bool Vst3View::resizeFromEditor(int width, int height) {
    if (frame_ == nullptr) {
        return false;
    }
    ViewRect rect{0, 0, width, height};
    return frame_->resizeView(this, &rect) == kResultOk;
}

}  // namespace vst3
