#include "ClapBridge.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <poll.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "clap/ClapAbi.h"

namespace zb {

namespace {

thread_local std::string pendingPath;
thread_local std::string lastError;

// One CLAP instance behind an AEffect. Everything runs on the loader's one thread, which is both
// the CLAP main thread and, inside process, the audio thread.
class Bridge {
  public:
    AEffect effect{};

    static AEffect* open(const std::string& path, audioMasterCallback master);
    ~Bridge();

  private:
    static Bridge& of(AEffect* e) { return *static_cast<Bridge*>(e->object); }
    static Bridge& of(const clap::Host* h) { return *static_cast<Bridge*>(h->hostData); }
    static VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt);
    static void processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void setParameter(AEffect* e, VstInt32 index, float value);
    static float getParameter(AEffect* e, VstInt32 index);
    static const void* hostExtension(const clap::Host* h, const char* id);

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    bool start(const std::string& path);
    void setValue(clap::Id id, double value);
    double current(clap::Id id) const;
    double programValue() const { return current(programId_); }
    void deliver(std::uint32_t frames, const clap::Process* process);
    void received(const clap::EventHeader* event);
    void serviceMainThread();
    void setActive(bool on);
    bool text(clap::Id id, double v, char* out, std::size_t capacity) const;
    // A VST 2.4 index as the CLAP id it names: the Active switch is the host's bypass.
    clap::Id idOf(VstInt32 index, float& value) const;

    audioMasterCallback master_ = nullptr;
    void* library_ = nullptr;
    const clap::PluginEntry* entry_ = nullptr;
    bool entryInited_ = false;
    const clap::Plugin* plugin_ = nullptr;
    clap::Host host_{};
    const clap::PluginParams* params_ = nullptr;
    const clap::PluginState* state_ = nullptr;
    const clap::PluginGui* gui_ = nullptr;
    const clap::PluginTail* tail_ = nullptr;
    const clap::PluginTimerSupport* timer_ = nullptr;
    const clap::PluginPosixFdSupport* fd_ = nullptr;
    clap::Id programId_ = clap::kInvalidId;
    clap::Id bypassId_ = clap::kInvalidId;
    std::vector<clap::Id> offered_;
    double rate_ = 44100.0;
    std::uint32_t block_ = 512;
    bool active_ = false;
    bool processing_ = false;
    bool callbackPending_ = false;
    bool guiCreated_ = false;
    std::vector<clap::EventParamValue> pending_;
    std::map<clap::Id, double> pendingValue_;
    std::vector<std::uint8_t> chunk_;
    ERect rect_{};
    struct Timer {
        std::uint32_t period;
        std::chrono::steady_clock::time_point due;
    };
    std::map<clap::Id, Timer> timers_;
    clap::Id nextTimer_ = 0;
    std::vector<int> fds_;
    std::int64_t steadyTime_ = 0;
};

void copyText(void* ptr, const char* text, std::size_t capacity) {
    if (ptr != nullptr && capacity > 0) {
        const char* from = text != nullptr ? text : "";
        const std::size_t n = std::min(std::strlen(from), capacity - 1);
        std::memcpy(ptr, from, n);
        static_cast<char*>(ptr)[n] = 0;
    }
}

AEffect* bridgeMain(audioMasterCallback master) {
    return Bridge::open(pendingPath, master);
}

}  // namespace

bool isClapPath(const std::string& path) {
    return path.size() > 5 && path.compare(path.size() - 5, 5, ".clap") == 0;
}

VstPluginMainProc clapBridgeEntry(const std::string& path) {
    pendingPath = path;
    return &bridgeMain;
}

std::string clapBridgeError() {
    return lastError;
}

namespace {

AEffect* Bridge::open(const std::string& path, audioMasterCallback master) {
    auto* bridge = new Bridge();
    bridge->master_ = master;
    if (!bridge->start(path)) {
        delete bridge;
        return nullptr;
    }
    return &bridge->effect;
}

bool Bridge::start(const std::string& path) {
#ifdef _WIN32
    library_ = LoadLibraryA(path.c_str());
    if (library_ != nullptr) {
        entry_ = reinterpret_cast<const clap::PluginEntry*>(
            reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library_), "clap_entry")));
    }
#else
    const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    library_ = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ != nullptr) {
        entry_ = static_cast<const clap::PluginEntry*>(dlsym(library_, "clap_entry"));
    }
#endif
    if (entry_ == nullptr || entry_->version.major < 1) {
        lastError = "'" + path + "' exports no clap_entry of CLAP 1.x";
        return false;
    }
    if (!entry_->init(path.c_str())) {
        lastError = "'" + path + "' refused to initialise";
        return false;
    }
    entryInited_ = true;
    const auto* factory = static_cast<const clap::PluginFactory*>(entry_->getFactory(clap::kPluginFactoryId));
    const clap::PluginDescriptor* desc = factory != nullptr && factory->getPluginCount(factory) > 0
                                             ? factory->getPluginDescriptor(factory, 0)
                                             : nullptr;
    if (desc == nullptr) {
        lastError = "'" + path + "' offers no plug-in";
        return false;
    }
    host_.version = clap::kVersion;
    host_.hostData = this;
    host_.name = "zornbeck";
    host_.vendor = "Quillfen";
    host_.url = "";
    host_.versionText = "1";
    host_.getExtension = &Bridge::hostExtension;
    host_.requestRestart = [](const clap::Host*) {};
    host_.requestProcess = [](const clap::Host*) {};
    host_.requestCallback = [](const clap::Host* h) { of(h).callbackPending_ = true; };
    plugin_ = factory->createPlugin(factory, &host_, desc->id);
    if (plugin_ == nullptr || !plugin_->init(plugin_)) {
        lastError = "'" + path + "' could not make its plug-in " + desc->id;
        if (plugin_ != nullptr) {
            plugin_->destroy(plugin_);
            plugin_ = nullptr;
        }
        return false;
    }
    params_ = static_cast<const clap::PluginParams*>(plugin_->getExtension(plugin_, clap::kExtParams));
    state_ = static_cast<const clap::PluginState*>(plugin_->getExtension(plugin_, clap::kExtState));
    gui_ = static_cast<const clap::PluginGui*>(plugin_->getExtension(plugin_, clap::kExtGui));
    tail_ = static_cast<const clap::PluginTail*>(plugin_->getExtension(plugin_, clap::kExtTail));
    timer_ =
        static_cast<const clap::PluginTimerSupport*>(plugin_->getExtension(plugin_, clap::kExtTimerSupport));
    fd_ = static_cast<const clap::PluginPosixFdSupport*>(
        plugin_->getExtension(plugin_, clap::kExtPosixFdSupport));
    clap::Id highest = 0;
    const std::uint32_t count = params_ != nullptr ? params_->count(plugin_) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        clap::ParamInfo info{};
        if (!params_->getInfo(plugin_, i, &info)) {
            continue;
        }
        if (info.flags & clap::kParamIsBypass) {
            bypassId_ = info.id;
        } else if ((info.flags & clap::kParamIsStepped) && std::strcmp(info.name, "Program") == 0) {
            programId_ = info.id;
        } else {
            offered_.push_back(info.id);
            highest = std::max(highest, info.id);
        }
    }
    std::sort(offered_.begin(), offered_.end());
    effect.magic = kEffectMagic;
    effect.dispatcher = &Bridge::dispatcher;
    effect.process = &Bridge::processReplacing;
    effect.processReplacing = &Bridge::processReplacing;
    effect.setParameter = &Bridge::setParameter;
    effect.getParameter = &Bridge::getParameter;
    effect.numPrograms = 0;
    if (programId_ != clap::kInvalidId) {
        for (std::uint32_t i = 0; i < count; ++i) {
            clap::ParamInfo info{};
            if (params_->getInfo(plugin_, i, &info) && info.id == programId_) {
                effect.numPrograms = static_cast<VstInt32>(info.maxValue - info.minValue + 1);
            }
        }
    }
    effect.numParams = offered_.empty() ? 0 : static_cast<VstInt32>(highest + 1);
    effect.numInputs = 2;
    effect.numOutputs = 2;
    effect.flags = effFlagsCanReplacing | effFlagsProgramChunks | (gui_ != nullptr ? effFlagsHasEditor : 0);
    effect.object = this;
    effect.uniqueID = 0;
    effect.version = 1;
    return true;
}

Bridge::~Bridge() {
    if (plugin_ != nullptr) {
        if (guiCreated_) {
            gui_->destroy(plugin_);
        }
        setActive(false);
        plugin_->destroy(plugin_);
    }
    if (entryInited_) {
        entry_->deinit();
    }
    if (library_ != nullptr) {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(library_));
#else
        dlclose(library_);
#endif
    }
}

const void* Bridge::hostExtension(const clap::Host*, const char* id) {
    static const clap::HostParams kParams{
        [](const clap::Host*, std::uint32_t) {}, [](const clap::Host*, clap::Id, std::uint32_t) {},
        [](const clap::Host*) {}};  // the next call of the loader's thread flushes anyway
    static const clap::HostTimerSupport kTimers{
        [](const clap::Host* h, std::uint32_t period, clap::Id* id) {
            Bridge& b = of(h);
            *id = b.nextTimer_++;
            b.timers_[*id] = Timer{period, std::chrono::steady_clock::now()};
            return true;
        },
        [](const clap::Host* h, clap::Id id) { return of(h).timers_.erase(id) == 1; }};
#ifndef _WIN32
    static const clap::HostPosixFdSupport kFds{[](const clap::Host* h, int fd, std::uint32_t) {
                                                   of(h).fds_.push_back(fd);
                                                   return true;
                                               },
                                               [](const clap::Host*, int, std::uint32_t) { return true; },
                                               [](const clap::Host* h, int fd) {
                                                   auto& fds = of(h).fds_;
                                                   fds.erase(std::remove(fds.begin(), fds.end(), fd),
                                                             fds.end());
                                                   return true;
                                               }};
#endif
    if (std::strcmp(id, clap::kExtParams) == 0) {
        return &kParams;
    }
    if (std::strcmp(id, clap::kExtTimerSupport) == 0) {
        return &kTimers;
    }
#ifndef _WIN32
    if (std::strcmp(id, clap::kExtPosixFdSupport) == 0) {
        return &kFds;
    }
#endif
    return nullptr;
}

clap::Id Bridge::idOf(VstInt32 index, float& value) const {
    if (index == 18 && bypassId_ != clap::kInvalidId) {
        value = value > 0.0f ? 0.0f : 1.0f;
        return bypassId_;
    }
    const auto id = static_cast<clap::Id>(index);
    return std::binary_search(offered_.begin(), offered_.end(), id) ? id : clap::kInvalidId;
}

void Bridge::setValue(clap::Id id, double v) {
    clap::EventParamValue event{};
    event.header = {sizeof event, 0, clap::kCoreEventSpace, clap::kEventParamValue, 0};
    event.paramId = id;
    event.noteId = -1;
    event.portIndex = -1;
    event.channel = -1;
    event.key = -1;
    event.value = v;
    pending_.push_back(event);
    pendingValue_[id] = v;
    // Between blocks on the one thread: a flush is never concurrent with process here.
    deliver(0, nullptr);
}

double Bridge::current(clap::Id id) const {
    const auto p = pendingValue_.find(id);
    if (p != pendingValue_.end()) {
        return p->second;
    }
    double v = 0.0;
    return params_ != nullptr && params_->getValue(plugin_, id, &v) ? v : 0.0;
}

struct EventLists {
    static std::uint32_t size(const clap::InputEvents* list) {
        return static_cast<std::uint32_t>(
            static_cast<const std::vector<clap::EventParamValue>*>(list->ctx)->size());
    }
    static const clap::EventHeader* get(const clap::InputEvents* list, std::uint32_t i) {
        return &(*static_cast<const std::vector<clap::EventParamValue>*>(list->ctx))[i].header;
    }
};

void Bridge::received(const clap::EventHeader* event) {
    if (event->spaceId != clap::kCoreEventSpace) {
        return;
    }
    if (event->type == clap::kEventParamValue) {
        clap::EventParamValue v;
        std::memcpy(&v, event, sizeof v);
        VstInt32 index = static_cast<VstInt32>(v.paramId);
        float value = static_cast<float>(v.value);
        if (v.paramId == bypassId_) {
            index = 18;
            value = v.value >= 0.5 ? 0.0f : 1.0f;
        }
        master_(&effect, audioMasterAutomate, index, 0, nullptr, value);
    } else if (event->type == clap::kEventParamGestureBegin || event->type == clap::kEventParamGestureEnd) {
        clap::EventParamGesture g;
        std::memcpy(&g, event, sizeof g);
        const VstInt32 index = g.paramId == bypassId_ ? 18 : static_cast<VstInt32>(g.paramId);
        master_(&effect,
                event->type == clap::kEventParamGestureBegin ? audioMasterBeginEdit : audioMasterEndEdit,
                index, 0, nullptr, 0.0f);
    }
}

void Bridge::deliver(std::uint32_t, const clap::Process* process) {
    clap::InputEvents in{&pending_, &EventLists::size, &EventLists::get};
    clap::OutputEvents out{this, [](const clap::OutputEvents* o, const clap::EventHeader* e) {
                               static_cast<Bridge*>(o->ctx)->received(e);
                               return true;
                           }};
    if (process != nullptr) {
        clap::Process p = *process;
        p.inEvents = &in;
        p.outEvents = &out;
        plugin_->process(plugin_, &p);
    } else if (params_ != nullptr) {
        params_->flush(plugin_, &in, &out);
    }
    pending_.clear();
    pendingValue_.clear();
    serviceMainThread();
}

void Bridge::serviceMainThread() {
    if (callbackPending_) {
        callbackPending_ = false;
        plugin_->onMainThread(plugin_);
    }
}

void Bridge::setActive(bool on) {
    if (on && !active_) {
        active_ = plugin_->activate(plugin_, rate_, 1, block_);
        processing_ = active_ && plugin_->startProcessing(plugin_);
    } else if (!on && active_) {
        if (processing_) {
            plugin_->stopProcessing(plugin_);
        }
        plugin_->deactivate(plugin_);
        active_ = processing_ = false;
    }
}

void Bridge::processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    Bridge& b = of(e);
    if (!b.processing_ || frames <= 0) {
        return;
    }
    for (VstInt32 done = 0; done < frames;) {
        const auto n =
            static_cast<std::uint32_t>(std::min<VstInt32>(frames - done, static_cast<VstInt32>(b.block_)));
        float* in[2] = {inputs[0] + done, inputs[1] + done};
        float* out[2] = {outputs[0] + done, outputs[1] + done};
        clap::AudioBuffer input{in, nullptr, 2, 0, 0};
        clap::AudioBuffer output{out, nullptr, 2, 0, 0};
        clap::Process p{b.steadyTime_, n, nullptr, &input, &output, 1, 1, nullptr, nullptr};
        b.deliver(n, &p);
        b.steadyTime_ += n;
        done += static_cast<VstInt32>(n);
    }
}

void Bridge::setParameter(AEffect* e, VstInt32 index, float value) {
    Bridge& b = of(e);
    const clap::Id id = b.idOf(index, value);
    if (id != clap::kInvalidId) {
        b.setValue(id, value);
    }
}

float Bridge::getParameter(AEffect* e, VstInt32 index) {
    Bridge& b = of(e);
    float unused = 0.0f;
    const clap::Id id = b.idOf(index, unused);
    if (id == clap::kInvalidId) {
        return 0.0f;
    }
    const double v = b.current(id);
    return static_cast<float>(id == b.bypassId_ ? (v >= 0.5 ? 0.0 : 1.0) : v);
}

bool Bridge::text(clap::Id id, double v, char* out, std::size_t capacity) const {
    return params_ != nullptr &&
           params_->valueToText(plugin_, id, v, out, static_cast<std::uint32_t>(capacity));
}

VstIntPtr Bridge::dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    Bridge& b = of(e);
    if (opcode == effClose) {
        delete &b;
        return 1;
    }
    return b.dispatch(opcode, index, value, ptr, opt);
}

VstIntPtr Bridge::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    const clap::PluginDescriptor* desc = plugin_->desc;
    switch (opcode) {
        case effOpen:
            return 0;
        case effSetSampleRate:
            rate_ = opt > 0.0f ? opt : rate_;
            return 0;
        case effSetBlockSize:
            block_ = value > 0 ? static_cast<std::uint32_t>(value) : block_;
            return 0;
        case effMainsChanged:
            setActive(value != 0);
            return 0;
        case effGetProgram:
            return programId_ != clap::kInvalidId ? static_cast<VstIntPtr>(programValue()) : 0;
        case effSetProgram:
            if (programId_ != clap::kInvalidId && value >= 0 && value < effect.numPrograms) {
                setValue(programId_, static_cast<double>(value));
            }
            return 0;
        case effGetProgramName:
        case effGetProgramNameIndexed: {
            const double program = opcode == effGetProgramName ? programValue() : index;
            char name[256] = {};
            if (programId_ == clap::kInvalidId || program < 0 || program >= effect.numPrograms ||
                !text(programId_, program, name, sizeof name)) {
                return 0;
            }
            copyText(ptr, name, kVstMaxProgNameLen + 1);
            return 1;
        }
        case effGetParamName:
        case effGetParamLabel:
        case effGetParamDisplay: {
            float v = 0.0f;
            const clap::Id id = idOf(index, v);
            if (id == clap::kInvalidId) {
                copyText(ptr, opcode == effGetParamName ? "NONE" : "", 9);
                return 0;
            }
            if (opcode == effGetParamLabel) {
                copyText(ptr, "", 9);
            } else if (opcode == effGetParamName) {
                const std::uint32_t count = params_->count(plugin_);
                for (std::uint32_t i = 0; i < count; ++i) {
                    clap::ParamInfo info{};
                    if (params_->getInfo(plugin_, i, &info) && info.id == id) {
                        copyText(ptr, info.name, 64);
                    }
                }
            } else {
                char display[256] = {};
                text(id, current(id), display, sizeof display);
                copyText(ptr, display, 64);
            }
            return 1;
        }
        case effGetChunk: {
            struct Sink {
                static std::int64_t write(const clap::OStream* s, const void* data, std::uint64_t size) {
                    auto& bytes = *static_cast<std::vector<std::uint8_t>*>(s->ctx);
                    const auto* p = static_cast<const std::uint8_t*>(data);
                    bytes.insert(bytes.end(), p, p + size);
                    return static_cast<std::int64_t>(size);
                }
            };
            chunk_.clear();
            clap::OStream stream{&chunk_, &Sink::write};
            if (state_ == nullptr || ptr == nullptr || !state_->save(plugin_, &stream)) {
                return 0;
            }
            *static_cast<void**>(ptr) = chunk_.data();
            return static_cast<VstIntPtr>(chunk_.size());
        }
        case effSetChunk: {
            struct Source {
                const std::uint8_t* data;
                std::size_t size, at;
                static std::int64_t read(const clap::IStream* s, void* out, std::uint64_t n) {
                    auto& src = *static_cast<Source*>(s->ctx);
                    const std::size_t take =
                        std::min<std::size_t>(static_cast<std::size_t>(n), src.size - src.at);
                    if (take > 0) {
                        std::memcpy(out, src.data + src.at, take);
                    }
                    src.at += take;
                    return static_cast<std::int64_t>(take);
                }
            } source{static_cast<const std::uint8_t*>(ptr),
                     static_cast<std::size_t>(std::max<VstIntPtr>(value, 0)), 0};
            clap::IStream stream{&source, &Source::read};
            const bool ok = state_ != nullptr && ptr != nullptr && state_->load(plugin_, &stream);
            serviceMainThread();
            return ok ? 1 : 0;
        }
        case effGetEffectName:
        case effGetProductString:
            copyText(ptr, desc->name, 64);
            return 1;
        case effGetVendorString:
            copyText(ptr, desc->vendor, 64);
            return 1;
        case effGetVstVersion:
            return 2400;
        case effGetPlugCategory:
            return 1;  // an effect
        case effGetTailSize:
            return tail_ != nullptr ? static_cast<VstIntPtr>(tail_->get(plugin_)) : 0;
        case effEditGetRect: {
            if (gui_ == nullptr || ptr == nullptr) {
                return 0;
            }
#ifdef _WIN32
            const char* api = clap::kWindowApiWin32;
#else
            const char* api = clap::kWindowApiX11;
#endif
            if (!guiCreated_) {
                guiCreated_ = gui_->create(plugin_, api, false);
            }
            std::uint32_t w = 0, h = 0;
            if (!guiCreated_ || !gui_->getSize(plugin_, &w, &h)) {
                return 0;
            }
            rect_ = ERect{0, 0, static_cast<VstInt16>(h), static_cast<VstInt16>(w)};
            *static_cast<ERect**>(ptr) = &rect_;
            return 1;
        }
        case effEditOpen: {
            ERect* r = nullptr;
            if (dispatch(effEditGetRect, 0, 0, &r, 0.0f) == 0) {
                return 0;
            }
            clap::Window window{};
#ifdef _WIN32
            window.api = clap::kWindowApiWin32;
            window.win32 = ptr;
#else
            window.api = clap::kWindowApiX11;
            window.x11 = static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(ptr));
#endif
            if (!gui_->setParent(plugin_, &window)) {
                return 0;
            }
            gui_->show(plugin_);
            return 1;
        }
        case effEditIdle: {
            const auto now = std::chrono::steady_clock::now();
            for (auto& [id, t] : std::map<clap::Id, Timer>(timers_)) {
                if (now >= t.due && timer_ != nullptr) {
                    timers_[id].due = now + std::chrono::milliseconds(t.period);
                    timer_->onTimer(plugin_, id);
                }
            }
#ifndef _WIN32
            for (int fd : std::vector<int>(fds_)) {
                pollfd p{fd, POLLIN, 0};
                if (fd_ != nullptr && poll(&p, 1, 0) > 0) {
                    fd_->onFd(plugin_, fd, clap::kFdRead);
                }
            }
#endif
            if (!processing_) {
                deliver(0, nullptr);  // the editor's changes go out through a flush
            } else {
                serviceMainThread();
            }
            return 1;
        }
        case effEditClose:
            if (guiCreated_) {
                gui_->hide(plugin_);
                gui_->destroy(plugin_);
                guiCreated_ = false;
            }
            return 1;
        default:
            return 0;
    }
}

}  // namespace

}  // namespace zb
