#include "tests/clap/StrictHost.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace th {

std::string buildDir() {
    if (const char* dir = std::getenv("ZORNBECK_BUILD")) {
        return dir;
    }
#ifdef _WIN32
    char exe[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string path = n > 0 && n < MAX_PATH ? std::string(exe, n) : std::string(".\\x");
    return path.substr(0, path.find_last_of("\\/"));
#else
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string("./x");
    return path.substr(0, path.find_last_of('/'));
#endif
}

std::string clapPath() {
#ifdef _WIN32
    return buildDir() + "\\Zornbeck.clap";
#else
    return buildDir() + "/Zornbeck.clap";
#endif
}

std::unique_ptr<ClapLibrary> ClapLibrary::open(const std::string& path, std::string& error) {
    std::unique_ptr<ClapLibrary> lib(new ClapLibrary());
#ifdef _WIN32
    lib->handle_ = LoadLibraryA(path.c_str());
    if (lib->handle_ != nullptr) {
        lib->entry_ = reinterpret_cast<const entry_t*>(
            reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib->handle_), "clap_entry")));
    }
#else
    lib->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib->handle_ != nullptr) {
        lib->entry_ = static_cast<const entry_t*>(dlsym(lib->handle_, "clap_entry"));
    }
#endif
    if (lib->handle_ == nullptr) {
        error = "cannot load " + path;
        return nullptr;
    }
    if (lib->entry_ == nullptr || lib->entry_->version.major < 1 || lib->entry_->init == nullptr) {
        error = path + " exports no usable clap_entry";
        return nullptr;
    }
    if (!lib->entry_->init(path.c_str())) {
        lib->entry_ = nullptr;  // no deinit after a refused init
        error = path + ": init refused";
        return nullptr;
    }
    lib->factory_ = static_cast<const factory_t*>(lib->entry_->get_factory("clap.plugin-factory"));
    if (lib->factory_ == nullptr || lib->factory_->count(lib->factory_) < 1) {
        error = path + ": no plug-in factory";
        return nullptr;
    }
    lib->descriptor_ = lib->factory_->descriptor(lib->factory_, 0);
    if (lib->descriptor_ == nullptr) {
        error = path + ": no descriptor";
        return nullptr;
    }
    return lib;
}

ClapLibrary::~ClapLibrary() {
    if (entry_ != nullptr) {
        entry_->deinit();
    }
    if (handle_ != nullptr) {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
    }
}

// ---- Host extensions ----

namespace {

struct HostLog {
    void (*log)(const host_t*, int32_t, const char*);
};
struct HostThreadCheck {
    bool (*is_main)(const host_t*);
    bool (*is_audio)(const host_t*);
};
struct HostParams {
    void (*rescan)(const host_t*, uint32_t);
    void (*clear)(const host_t*, uint32_t, uint32_t);
    void (*request_flush)(const host_t*);
};
struct HostState {
    void (*mark_dirty)(const host_t*);
};
struct HostTimer {
    bool (*register_timer)(const host_t*, uint32_t, uint32_t*);
    bool (*unregister_timer)(const host_t*, uint32_t);
};
struct HostFd {
    bool (*register_fd)(const host_t*, int, uint32_t);
    bool (*modify_fd)(const host_t*, int, uint32_t);
    bool (*unregister_fd)(const host_t*, int);
};
struct HostGui {
    void (*resize_hints_changed)(const host_t*);
    bool (*request_resize)(const host_t*, uint32_t, uint32_t);
    bool (*request_show)(const host_t*);
    bool (*request_hide)(const host_t*);
    void (*closed)(const host_t*, bool);
};

struct InList {
    const std::vector<param_value_t>* events;
};

uint32_t inSize(const in_events_t* list) {
    return static_cast<uint32_t>(static_cast<const InList*>(list->ctx)->events->size());
}
const header_t* inGet(const in_events_t* list, uint32_t index) {
    const auto& events = *static_cast<const InList*>(list->ctx)->events;
    return index < events.size() ? &events[index].header : nullptr;
}

bool isSubnormal(float x) {
    return x != 0.0f && std::fabs(x) < std::numeric_limits<float>::min();
}

}  // namespace

StrictHost::StrictHost(const ClapLibrary& library, HostOptions options)
    : library_(library), options_(options), mainThread_(std::this_thread::get_id()) {
    host_.version = {1, 1, 6};
    host_.data = this;
    host_.name = "strict test host";
    host_.vendor = "tests";
    host_.url = "";
    host_.version_text = "1";
    host_.get_extension = &StrictHost::hostExtension;
    host_.request_restart = [](const host_t*) {};
    host_.request_process = [](const host_t*) {};
    host_.request_callback = [](const host_t* h) {
        StrictHost& self = of(h);
        ++self.callbackRequests;
        self.callbackPending_ = self.options_.answerCallbacks;
    };
}

StrictHost::~StrictHost() {
    if (plugin_ != nullptr) {
        if (processing_) {
            stop();
        }
        if (active_) {
            deactivate();
        }
        plugin_->destroy(plugin_);
    }
}

void StrictHost::mainOnly(const char* what) {
    if (inAudio_ || std::this_thread::get_id() != mainThread_) {
        violations.push_back(std::string(what) + " called off the main thread");
    }
}

const void* StrictHost::hostExtension(const host_t* h, const char* id) {
    StrictHost& self = of(h);
    if (self.inFactory_) {
        self.violations.push_back(std::string("host extension ") + id + " asked for inside create_plugin");
    }
    const std::string name = id;
    static const HostLog kLog{[](const host_t*, int32_t, const char*) {}};
    static const HostThreadCheck kThreads{
        [](const host_t* h) { return !of(h).inAudio_ && std::this_thread::get_id() == of(h).mainThread_; },
        [](const host_t* h) { return of(h).inAudio_; }};
    static const HostParams kParams{
        [](const host_t* h, uint32_t) {
            of(h).mainOnly("params.rescan");
            ++of(h).rescans;
        },
        [](const host_t* h, uint32_t, uint32_t) { of(h).mainOnly("params.clear"); },
        [](const host_t* h) {
            if (of(h).inAudio_) {
                of(h).violations.push_back("params.request_flush called from the audio thread");
            }
            ++of(h).flushRequests;
        }};
    static const HostState kState{[](const host_t* h) {
        of(h).mainOnly("state.mark_dirty");
        ++of(h).dirtyMarks;
    }};
    static const HostTimer kTimer{[](const host_t* h, uint32_t period, uint32_t* id) {
                                      StrictHost& self = of(h);
                                      self.mainOnly("register_timer");
                                      *id = self.nextTimer_++;  // ids start at 0, as in Qtractor
                                      self.timers[*id] = period;
                                      return true;
                                  },
                                  [](const host_t* h, uint32_t id) {
                                      of(h).mainOnly("unregister_timer");
                                      return of(h).timers.erase(id) == 1;
                                  }};
    static const HostFd kFd{[](const host_t* h, int fd, uint32_t) {
                                of(h).mainOnly("register_fd");
                                of(h).fds.push_back(fd);
                                return true;
                            },
                            [](const host_t* h, int, uint32_t) {
                                of(h).mainOnly("modify_fd");
                                return true;
                            },
                            [](const host_t* h, int fd) {
                                StrictHost& self = of(h);
                                self.mainOnly("unregister_fd");
                                for (auto it = self.fds.begin(); it != self.fds.end(); ++it) {
                                    if (*it == fd) {
                                        self.fds.erase(it);
                                        return true;
                                    }
                                }
                                self.violations.push_back("unregister_fd of a descriptor never registered");
                                return false;
                            }};
    // A window that takes any size it is asked for, as Qtractor's does for a fixed-size editor.
    static const HostGui kGui{[](const host_t*) {},
                              [](const host_t* h, uint32_t w, uint32_t height) {
                                  of(h).resizeRequests.emplace_back(w, height);
                                  return w > 0 && height > 0;
                              },
                              [](const host_t*) { return false; }, [](const host_t*) { return false; },
                              [](const host_t*, bool) {}};
    if (name == "clap.log") {
        return &kLog;
    }
    if (name == "clap.thread-check") {
        return self.options_.threadCheck ? &kThreads : nullptr;
    }
    if (name == "clap.params") {
        return &kParams;
    }
    if (name == "clap.state") {
        return &kState;
    }
    if (name == "clap.timer-support") {
        return self.options_.timers ? &kTimer : nullptr;
    }
    if (name == "clap.posix-fd-support") {
        return self.options_.fds ? &kFd : nullptr;
    }
    if (name == "clap.gui") {
        return &kGui;
    }
    return nullptr;
}

bool StrictHost::create() {
    const factory_t* f = library_.factory();
    inFactory_ = true;
    plugin_ = f->create(f, &host_, library_.descriptor()->id);
    inFactory_ = false;
    if (plugin_ == nullptr) {
        return false;
    }
    if (plugin_->desc != library_.descriptor()) {
        violations.push_back("the instance's descriptor is not the factory's");
    }
    if (!plugin_->init(plugin_)) {
        return false;
    }
    inited_ = true;
    auto ext = [&](const char* id) { return plugin_->get_extension(plugin_, id); };
    ports = static_cast<const ext_ports_t*>(ext("clap.audio-ports"));
    portsConfig = static_cast<const ext_ports_config_t*>(ext("clap.audio-ports-config"));
    params = static_cast<const ext_params_t*>(ext("clap.params"));
    state = static_cast<const ext_state_t*>(ext("clap.state"));
    gui = static_cast<const ext_gui_t*>(ext("clap.gui"));
    tail = static_cast<const ext_u32_t*>(ext("clap.tail"));
    latency = static_cast<const ext_u32_t*>(ext("clap.latency"));
    render = static_cast<const ext_render_t*>(ext("clap.render"));
    timer = static_cast<const ext_timer_t*>(ext("clap.timer-support"));
    fd = static_cast<const ext_fd_t*>(ext("clap.posix-fd-support"));
    return true;
}

bool StrictHost::activate(double rate, uint32_t minFrames, uint32_t maxFrames) {
    if (active_) {
        violations.push_back("test error: activate while active");
        return false;
    }
    active_ = plugin_->activate(plugin_, rate, minFrames, maxFrames);
    maxFrames_ = maxFrames;
    steadyTime_ = 0;
    return active_;
}

void StrictHost::deactivate() {
    plugin_->deactivate(plugin_);
    active_ = false;
    processing_ = false;
}

bool StrictHost::start() {
    inAudio_ = true;
    processing_ = plugin_->start_processing(plugin_);
    inAudio_ = false;
    return processing_;
}

void StrictHost::stop() {
    inAudio_ = true;
    plugin_->stop_processing(plugin_);
    inAudio_ = false;
    processing_ = false;
}

void StrictHost::reset() {
    inAudio_ = true;
    if (audioHook != nullptr) {
        audioHook(true);
    }
    plugin_->reset(plugin_);
    if (audioHook != nullptr) {
        audioHook(false);
    }
    inAudio_ = false;
}

param_value_t StrictHost::value(uint32_t id, double v, uint32_t time) {
    param_value_t e{};
    e.header = {sizeof(param_value_t), time, 0, kParamValue, 0};
    e.param_id = id;
    e.cookie = nullptr;
    e.note_id = -1;
    e.port = -1;
    e.channel = -1;
    e.key = -1;
    e.value = v;
    return e;
}

void StrictHost::pushChecked(const header_t* event) {
    if (event == nullptr || event->size < sizeof(header_t)) {
        violations.push_back("output event without a valid header");
        return;
    }
    if (event->type == kTransport) {
        violations.push_back("a transport event pushed to the output");
    }
    if (blockFrames_ > 0 && event->time >= blockFrames_) {
        violations.push_back("output event at " + std::to_string(event->time) + " outside a block of " +
                             std::to_string(blockFrames_));
    }
    if (event->time < lastEventTime_) {
        violations.push_back("output events out of time order");
    }
    lastEventTime_ = event->time;
    OutEvent out{event->type, kInvalidId, event->time, 0.0};
    if (event->space == 0 && event->type == kParamValue && event->size >= sizeof(param_value_t)) {
        param_value_t v;
        std::memcpy(&v, event, sizeof v);
        out.id = v.param_id;
        out.value = v.value;
        if (!std::isfinite(v.value)) {
            violations.push_back("non-finite output value");
        }
    } else if (event->space == 0 && (event->type == kGestureBegin || event->type == kGestureEnd) &&
               event->size >= sizeof(gesture_t)) {
        gesture_t g;
        std::memcpy(&g, event, sizeof g);
        out.id = g.param_id;
    } else {
        violations.push_back("unexpected output event type " + std::to_string(event->type));
    }
    outEvents.push_back(out);
}

int32_t StrictHost::process(const float* left, const float* right, float* outLeft, float* outRight,
                            uint32_t frames, const std::vector<param_value_t>& events, bool inPlace) {
    if (!processing_) {
        violations.push_back("test error: process while not processing");
    }
    constexpr uint32_t kGuard = 16;
    constexpr float kSentinel = 12345.0f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> inL(left, left + frames), inR(right, right + frames);
    std::vector<float> oL(frames + kGuard, nan), oR(frames + kGuard, nan);
    for (uint32_t i = frames; i < frames + kGuard; ++i) {
        oL[i] = oR[i] = kSentinel;
    }
    if (inPlace) {
        inL.resize(frames + kGuard, kSentinel);
        inR.resize(frames + kGuard, kSentinel);
    }
    float* inPtr[2] = {inL.data(), inR.data()};
    float* outPtr[2] = {inPlace ? inL.data() : oL.data(), inPlace ? inR.data() : oR.data()};
    audio_buffer_t in{inPtr, nullptr, inputChannels, 0, 0};
    audio_buffer_t out{outPtr, nullptr, 2, 0, ~uint64_t(0)};
    InList list{&events};
    in_events_t inEvents{&list, inSize, inGet};
    out_events_t outEvents{this, [](const out_events_t* o, const header_t* e) {
                               static_cast<StrictHost*>(o->ctx)->pushChecked(e);
                               return true;
                           }};
    process_t p{steadyTime_, frames, nullptr, &in, &out, 1, 1, &inEvents, &outEvents};
    blockFrames_ = frames;
    lastEventTime_ = 0;
    inAudio_ = true;
    if (audioHook != nullptr) {
        audioHook(true);
    }
    const int32_t status = plugin_->process(plugin_, &p);
    if (audioHook != nullptr) {
        audioHook(false);
    }
    inAudio_ = false;
    blockFrames_ = 0;
    steadyTime_ += frames;
    if (out.constant_mask != 0) {
        violations.push_back("output constant mask claims constant channels");
    }
    const float* resultL = outPtr[0];
    const float* resultR = outPtr[1];
    for (uint32_t i = 0; i < frames; ++i) {
        for (float x : {resultL[i], resultR[i]}) {
            if (!std::isfinite(x) || isSubnormal(x)) {
                violations.push_back("output sample " + std::to_string(i) +
                                     " is unwritten, NaN, Inf or subnormal");
                i = frames;
                break;
            }
        }
    }
    for (uint32_t i = frames; i < frames + kGuard; ++i) {
        if (resultL[i] != kSentinel || resultR[i] != kSentinel) {
            violations.push_back("output written past the block");
            break;
        }
    }
    std::memcpy(outLeft, resultL, frames * sizeof(float));
    std::memcpy(outRight, resultR, frames * sizeof(float));
    return status;
}

void StrictHost::flush(const std::vector<param_value_t>& events) {
    InList list{&events};
    in_events_t inEvents{&list, inSize, inGet};
    out_events_t outEvents{this, [](const out_events_t* o, const header_t* e) {
                               static_cast<StrictHost*>(o->ctx)->pushChecked(e);
                               return true;
                           }};
    lastEventTime_ = 0;
    inAudio_ = active_;
    if (audioHook != nullptr && active_) {
        audioHook(true);
    }
    params->flush(plugin_, &inEvents, &outEvents);
    if (audioHook != nullptr && active_) {
        audioHook(false);
    }
    inAudio_ = false;
}

double StrictHost::get(uint32_t id) const {
    double v = std::numeric_limits<double>::quiet_NaN();
    if (!params->value(plugin_, id, &v)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return v;
}

std::vector<uint8_t> StrictHost::save(uint64_t piece) {
    struct Sink {
        std::vector<uint8_t> bytes;
        uint64_t piece;
    } sink{{}, piece};
    ostream_t stream{&sink, [](const ostream_t* s, const void* data, uint64_t size) -> int64_t {
                         Sink& k = *static_cast<Sink*>(s->ctx);
                         const uint64_t n = k.piece > 0 && size > k.piece ? k.piece : size;
                         const auto* b = static_cast<const uint8_t*>(data);
                         k.bytes.insert(k.bytes.end(), b, b + n);
                         return static_cast<int64_t>(n);
                     }};
    if (!state->save(plugin_, &stream)) {
        return {};
    }
    return sink.bytes;
}

bool StrictHost::load(const std::vector<uint8_t>& bytes, uint64_t piece) {
    struct Source {
        const std::vector<uint8_t>* bytes;
        std::size_t at;
        uint64_t piece;
    } source{&bytes, 0, piece};
    istream_t stream{&source, [](const istream_t* s, void* data, uint64_t size) -> int64_t {
                         Source& k = *static_cast<Source*>(s->ctx);
                         uint64_t n = k.bytes->size() - k.at;
                         n = n < size ? n : size;
                         n = k.piece > 0 && n > k.piece ? k.piece : n;
                         if (n > 0) {
                             std::memcpy(data, k.bytes->data() + k.at, n);
                         }
                         k.at += n;
                         return static_cast<int64_t>(n);
                     }};
    return state->load(plugin_, &stream);
}

void StrictHost::idle() {
    if (callbackPending_) {
        callbackPending_ = false;
        plugin_->on_main_thread(plugin_);
    }
    fireTimers();
}

void StrictHost::fireTimers() {
    if (timer == nullptr) {
        return;
    }
    const std::map<uint32_t, uint32_t> now = timers;
    for (const auto& [id, period] : now) {
        timer->on_timer(plugin_, id);
    }
}

}  // namespace th
