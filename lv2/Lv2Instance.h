// One plug-in instance of the LV2 face: the hosted VST 2.4 plug-in, the ports' last values and
// the way to the editor's UI. The UI reaches it through instance-access, in the same process.
#pragma once

#include <atomic>
#include <cstdint>

#include "lv2/Lv2Ports.h"
#include "plugin/FaceHost.h"

namespace lv2face {

// What the editor tells the open UI; called on the user-interface thread.
class UiSink {
  public:
    virtual ~UiSink() = default;
    virtual void edited(int index, float value) = 0;
    virtual void touch(int index, bool grabbed) = 0;
    // The editor took a new size (its scale changed); true when the host was asked for it.
    virtual bool resized(int width, int height) = 0;
};

class Instance : public FaceHost::Listener {
  public:
    Instance(double rate, int maxFrames, std::uint32_t bankKey, std::uint32_t programKey, std::uint32_t chunkType,
             std::uint32_t intType, std::uint32_t longType);

    void connect(std::uint32_t port, void* data);
    // Audio thread: the changed ports into the plug-in, in index order, then the block.
    void run(std::uint32_t frames);

    FaceHost& host() { return host_; }
    std::uint32_t bankKey() const { return bankKey_; }
    std::uint32_t programKey() const { return programKey_; }
    std::uint32_t chunkType() const { return chunkType_; }
    std::uint32_t intType() const { return intType_; }
    std::uint32_t longType() const { return longType_; }

    // The UI registers while it is open; set and cleared on the user-interface thread.
    void setUi(UiSink* ui) { ui_.store(ui, std::memory_order_release); }
    // Only while `ui` is the one registered: a second UI may have come since.
    void clearUi(UiSink* ui) { ui_.compare_exchange_strong(ui, nullptr, std::memory_order_acq_rel); }
    // True once after values changed together (a program or a chunk), for the UI to send on.
    bool takeDisplayChange() { return displayChanged_.exchange(false, std::memory_order_acq_rel); }

    // FaceHost::Listener
    void parameterEdited(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void displayChanged() override;
    bool resizeEditor(int width, int height) override;

  private:
    FaceHost host_;
    float* audio_[kFirstControlPort] = {};
    const float* control_[kControlPorts] = {};
    // The bits each control port held at the last block: a port is forwarded when they change.
    std::uint32_t seen_[kControlPorts] = {};
    std::atomic<UiSink*> ui_{nullptr};
    std::atomic<bool> displayChanged_{false};
    std::uint32_t bankKey_, programKey_, chunkType_, intType_, longType_;
};

}  // namespace lv2face
