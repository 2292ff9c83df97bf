// One CLAP plug-in instance: a translator between the CLAP calls and one in-process EffectVST
// (through FaceHost), so every format computes the same samples.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "clap/ClapAbi.h"
#include "model/Program.h"
#include "plugin/FaceHost.h"

namespace zb::clapface {

extern const clap::PluginDescriptor kDescriptor;

class ClapPlugin : public FaceHost::Listener {
  public:
    explicit ClapPlugin(const clap::Host* host);
    ~ClapPlugin() override;
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clap::Plugin* plugin() const { return &plugin_; }
    static ClapPlugin* from(const clap::Plugin* p) { return static_cast<ClapPlugin*>(p->pluginData); }

    // The plug-in calls.
    bool init();
    bool activate(double sampleRate, std::uint32_t maxFrames);
    void deactivate();
    bool startProcessing();
    void stopProcessing();
    void reset();
    clap::ProcessStatus process(const clap::Process& process);
    // audio-ports-config: 0 stereo in, 1 mono in; stereo out in both.
    bool selectLayout(clap::Id id);
    bool monoInput() const { return monoInput_; }
    const void* extension(const char* id) const;
    void onMainThread();

    // params
    bool paramInfo(std::uint32_t position, clap::ParamInfo& info) const;
    bool paramValue(clap::Id id, double& value) const;
    bool valueToText(clap::Id id, double value, char* text, std::uint32_t capacity) const;
    bool textToValue(clap::Id id, const char* text, double& value) const;
    void flush(const clap::InputEvents* in, const clap::OutputEvents* out);

    // state
    bool save(const clap::OStream& stream) const;
    bool load(const clap::IStream& stream);

    std::uint32_t tailFrames() const;

    // gui
    bool guiCreate(const char* api, bool floating);
    void guiDestroy();
    bool guiSize(std::uint32_t& width, std::uint32_t& height) const;
    bool guiSetParent(const clap::Window& window);
    // The host's factor (1 .. 3; NaN refused), applied at once: true when taken.
    bool guiSetScale(double scale);
    void onTimer(clap::Id timer);
    void onFd(int fd);

    // What the editor tells its host (FaceHost::Listener), on the user-interface thread.
    void parameterEdited(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void displayChanged() override;
    bool resizeEditor(int width, int height) override;

  private:
    // An editor event waiting for the next process or flush.
    struct Outgoing {
        std::uint16_t type;
        clap::Id id;
        float value;
    };
    static constexpr std::uint32_t kQueueSize = 1024;

    void applyEvents(const clap::InputEvents* in, std::uint32_t frames, const clap::Process* process);
    void applyParam(const clap::EventParamValue& event);
    void runFrames(const clap::Process& process, std::uint32_t from, std::uint32_t to);
    void sendOutgoing(const clap::OutputEvents* out);
    void queue(std::uint16_t type, int index, float value);
    // Program switches and the host's re-reading of values, deferred to the main thread.
    void serviceMainThread();
    bool onMainThreadNow() const;
    void log(const char* message) const;

    clap::Plugin plugin_;
    const clap::Host* host_;
    const clap::HostParams* hostParams_ = nullptr;
    const clap::HostState* hostState_ = nullptr;
    const clap::HostTimerSupport* hostTimer_ = nullptr;
    const clap::HostPosixFdSupport* hostFd_ = nullptr;
    const clap::HostThreadCheck* hostThreads_ = nullptr;
    const clap::HostLog* hostLog_ = nullptr;
    const clap::HostGui* hostGui_ = nullptr;

    std::unique_ptr<FaceHost> face_;
    std::array<float, kNumParams> defaults_{};
    bool active_ = false;
    bool monoInput_ = false;
    std::atomic<bool> processing_{false};
    // Silence for a host that hands no input buffer; sized at activation.
    std::vector<float> silence_;

    std::atomic<int> pendingProgram_{-1};
    std::atomic<bool> rescanPending_{false};

    // Single producer (user-interface thread), single consumer (process or flush).
    std::array<Outgoing, kQueueSize> queue_{};
    std::atomic<std::uint32_t> queueHead_{0};
    std::atomic<std::uint32_t> queueTail_{0};
    // Values whose event did not fit in the queue: sent from the stored value.
    std::array<std::atomic<bool>, kNumParams> overflowed_{};
    std::atomic<bool> anyOverflowed_{false};

    bool timerRegistered_ = false;
    clap::Id timerId_ = 0;
    bool guiCreated_ = false;
    int editorFd_ = -1;
};

}  // namespace zb::clapface
