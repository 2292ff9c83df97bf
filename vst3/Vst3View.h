// The editor as a VST 3 view: the same editor the VST 2.4 module opens, embedded in the host's
// window. VST 3 has no idle call; on Linux the view does its idle work from the host's run loop
// (a timer and the X connection's descriptor), on Windows from a timer on the host's window.
#pragma once

#include <atomic>

#include "vst3/Vst3Interfaces.h"

namespace vst3 {

class Vst3Effect;

class Vst3View final : public IPlugView,
                       public IPlugViewContentScaleSupport
#ifndef _WIN32
    ,
                       public ITimerHandler,
                       public IEventHandler
#endif
{
  public:
    explicit Vst3View(Vst3Effect& effect);
    Vst3View(const Vst3View&) = delete;
    Vst3View& operator=(const Vst3View&) = delete;

    tresult ZB_VST3_CALL queryInterface(const char* iid, void** obj) override;
    uint32 ZB_VST3_CALL addRef() override;
    uint32 ZB_VST3_CALL release() override;

    tresult ZB_VST3_CALL isPlatformTypeSupported(FIDString type) override;
    tresult ZB_VST3_CALL attached(void* parent, FIDString type) override;
    tresult ZB_VST3_CALL removed() override;
    tresult ZB_VST3_CALL onWheel(float distance) override;
    tresult ZB_VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) override;
    tresult ZB_VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) override;
    tresult ZB_VST3_CALL getSize(ViewRect* size) override;
    tresult ZB_VST3_CALL onSize(ViewRect* newSize) override;
    tresult ZB_VST3_CALL onFocus(TBool state) override;
    tresult ZB_VST3_CALL setFrame(IPlugFrame* frame) override;
    tresult ZB_VST3_CALL canResize() override;
    tresult ZB_VST3_CALL checkSizeConstraint(ViewRect* rect) override;

    // The host's factor for the whole editor (1 .. 3, NaN refused); an attached view asks its
    // frame for the new size at once.
    tresult ZB_VST3_CALL setContentScaleFactor(float factor) override;

#ifndef _WIN32
    void ZB_VST3_CALL onTimer() override;
    void ZB_VST3_CALL onFDIsSet(int fd) override;
#endif

    // The editor asks for another size: true when the host resized the view.
    bool resizeFromEditor(int width, int height);
    // One round of idle work: the editor's, then the face's deferred notifications.
    void idle();

  private:
    ~Vst3View();
    void stopIdle();

    std::atomic<uint32> refs_{1};
    Vst3Effect& effect_;
    IPlugFrame* frame_ = nullptr;
    bool attached_ = false;
#ifdef _WIN32
    void* parent_ = nullptr;
#else
    IRunLoop* runLoop_ = nullptr;
    bool timerOn_ = false;
    bool eventsOn_ = false;
#endif
};

}  // namespace vst3
