// A strict CLAP host for tests: it loads a .clap as a DAW does, drives one instance and records
// every rule the plug-in breaks (wrong thread or state for a host call, output events out of
// order or outside the block, unwritten or non-finite output, writes past the block).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/clap/ClapHostAbi.h"

namespace th {

// One loaded .clap file, init'ed while it lives.
class ClapLibrary {
  public:
    static std::unique_ptr<ClapLibrary> open(const std::string& path, std::string& error);
    ~ClapLibrary();
    ClapLibrary(const ClapLibrary&) = delete;
    ClapLibrary& operator=(const ClapLibrary&) = delete;
    const entry_t* entry() const { return entry_; }
    const factory_t* factory() const { return factory_; }
    const descriptor_t* descriptor() const { return descriptor_; }

  private:
    ClapLibrary() = default;
    void* handle_ = nullptr;
    const entry_t* entry_ = nullptr;
    const factory_t* factory_ = nullptr;
    const descriptor_t* descriptor_ = nullptr;
};

// ZORNBECK_BUILD, else the folder of the test program.
std::string buildDir();
std::string clapPath();

struct HostOptions {
    bool timers = true;
    bool fds = true;
    bool threadCheck = true;
    // As Qtractor: request_callback is accepted and never answered.
    bool answerCallbacks = true;
};

struct OutEvent {
    uint16_t type;
    uint32_t id;
    uint32_t time;
    double value;
};

class StrictHost {
  public:
    explicit StrictHost(const ClapLibrary& library, HostOptions options = {});
    ~StrictHost();
    StrictHost(const StrictHost&) = delete;
    StrictHost& operator=(const StrictHost&) = delete;

    // create_plugin and init; false when either refuses.
    bool create();
    const plugin_t* plugin() const { return plugin_; }
    const ext_ports_t* ports = nullptr;
    const ext_ports_config_t* portsConfig = nullptr;
    const ext_params_t* params = nullptr;
    const ext_state_t* state = nullptr;
    const ext_gui_t* gui = nullptr;
    const ext_u32_t* tail = nullptr;
    const ext_u32_t* latency = nullptr;
    const ext_render_t* render = nullptr;
    const ext_timer_t* timer = nullptr;
    const ext_fd_t* fd = nullptr;

    bool activate(double rate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate();
    bool start();
    void stop();
    void reset();
    bool active() const { return active_; }

    // A parameter value event at `time` (cookie null, wildcards as a host sends them).
    static param_value_t value(uint32_t id, double v, uint32_t time = 0);

    // One block: inputs are copied, the outputs start as NaN and are checked after. In place,
    // the output buffers are the input buffers.
    int32_t process(const float* left, const float* right, float* outLeft, float* outRight, uint32_t frames,
                    const std::vector<param_value_t>& events = {}, bool inPlace = false);
    // Parameter events outside processing (or between blocks while processing).
    void flush(const std::vector<param_value_t>& events = {});
    double get(uint32_t id) const;

    std::vector<uint8_t> save(uint64_t piece = 0);
    // `piece` > 0 hands the bytes over that many at a time.
    bool load(const std::vector<uint8_t>& bytes, uint64_t piece = 0);

    // The main thread's event loop: a pending on_main_thread, then every timer once.
    void idle();
    void fireTimers();

    // Channels of the input buffer handed to process: 2, or 1 after choosing a mono layout.
    uint32_t inputChannels = 2;

    // Called with true just before and false just after each audio-thread call into the
    // plug-in (the allocation counter's window).
    void (*audioHook)(bool entering) = nullptr;

    // What the plug-in asked of the host.
    std::vector<std::string> violations;
    std::vector<OutEvent> outEvents;
    int rescans = 0;
    int flushRequests = 0;
    int callbackRequests = 0;
    int dirtyMarks = 0;
    std::map<uint32_t, uint32_t> timers;  // id -> period
    std::vector<int> fds;
    std::vector<std::pair<uint32_t, uint32_t>> resizeRequests;  // gui.request_resize

  private:
    static const void* hostExtension(const host_t* host, const char* id);
    static StrictHost& of(const host_t* host) { return *static_cast<StrictHost*>(host->data); }
    void mainOnly(const char* what);
    void pushChecked(const header_t* event);

    const ClapLibrary& library_;
    HostOptions options_;
    host_t host_{};
    const plugin_t* plugin_ = nullptr;
    bool inited_ = false;
    bool active_ = false;
    bool processing_ = false;
    bool inAudio_ = false;
    bool inFactory_ = false;
    bool callbackPending_ = false;
    uint32_t blockFrames_ = 0;
    uint32_t lastEventTime_ = 0;
    uint32_t maxFrames_ = 0;
    int64_t steadyTime_ = 0;
    uint32_t nextTimer_ = 0;
    std::thread::id mainThread_;
};

}  // namespace th
