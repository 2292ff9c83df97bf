#include "clap/ClapPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "clap/ClapParameters.h"
#include "editor/EffectEditor.h"
#include "engine/CrowdEngine.h"
#include "model/ParameterTable.h"

namespace zb::clapface {

namespace {

#ifdef _WIN32
constexpr const char* kWindowApi = clap::kWindowApiWin32;
#else
constexpr const char* kWindowApi = clap::kWindowApiX11;
#endif

// The state: magic, format version, current program, the bank chunk's size, then the chunk, all
// little-endian.
constexpr std::uint8_t kStateMagic[4] = {'Z', 'B', 'C', 'S'};
constexpr std::uint32_t kStateVersion = 1;
constexpr std::size_t kStateHeader = 16;
// Far above any bank chunk: a longer stream is not ours and is not read to its end.
constexpr std::size_t kStateLimit = 4u << 20;

// The idle period of the editor, and of the deferred main-thread work in hosts that never call
// on_main_thread.
constexpr std::uint32_t kTimerPeriodMs = 30;

void putWord(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint32_t getWord(const std::uint8_t* at) {
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
           std::uint32_t(at[3]) << 24;
}

ClapPlugin* self(const clap::Plugin* p) {
    return ClapPlugin::from(p);
}

// ---- The C tables: each forwards to the instance ----
bool pluginInit(const clap::Plugin* p) {
    return self(p)->init();
}
void pluginDestroy(const clap::Plugin* p) {
    delete self(p);
}
bool pluginActivate(const clap::Plugin* p, double rate, std::uint32_t, std::uint32_t maxFrames) {
    return self(p)->activate(rate, maxFrames);
}
void pluginDeactivate(const clap::Plugin* p) {
    self(p)->deactivate();
}
bool pluginStart(const clap::Plugin* p) {
    return self(p)->startProcessing();
}
void pluginStop(const clap::Plugin* p) {
    self(p)->stopProcessing();
}
void pluginReset(const clap::Plugin* p) {
    self(p)->reset();
}
clap::ProcessStatus pluginProcess(const clap::Plugin* p, const clap::Process* process) {
    return process != nullptr ? self(p)->process(*process) : clap::kProcessError;
}
const void* pluginExtension(const clap::Plugin* p, const char* id) {
    return id != nullptr ? self(p)->extension(id) : nullptr;
}
void pluginOnMainThread(const clap::Plugin* p) {
    self(p)->onMainThread();
}

std::uint32_t portCount(const clap::Plugin*, bool) {
    return 1;
}
bool portGet(const clap::Plugin* p, std::uint32_t index, bool isInput, clap::AudioPortInfo* info) {
    if (index != 0 || info == nullptr) {
        return false;
    }
    const bool mono = isInput && self(p)->monoInput();
    *info = clap::AudioPortInfo{};
    info->id = 0;
    std::snprintf(info->name, sizeof info->name, "%s", isInput ? "Input" : "Output");
    // Hosts such as Qtractor count only the channels of main ports.
    info->flags = clap::kAudioPortIsMain;
    info->channelCount = mono ? 1 : 2;
    info->portType = mono ? "mono" : "stereo";
    info->inPlacePair = mono ? clap::kInvalidId : 0;
    return true;
}
const clap::PluginAudioPorts kAudioPorts{portCount, portGet};

// Two layouts a host may choose between: stereo, and a mono input feeding both sides.
std::uint32_t configCount(const clap::Plugin*) {
    return 2;
}
bool configGet(const clap::Plugin*, std::uint32_t index, clap::AudioPortsConfig* config) {
    if (index > 1 || config == nullptr) {
        return false;
    }
    *config = clap::AudioPortsConfig{};
    config->id = index;
    std::snprintf(config->name, sizeof config->name, "%s", index == 0 ? "Stereo" : "Mono in, stereo out");
    config->inputPortCount = 1;
    config->outputPortCount = 1;
    config->hasMainInput = true;
    config->mainInputChannelCount = index == 0 ? 2 : 1;
    config->mainInputPortType = index == 0 ? "stereo" : "mono";
    config->hasMainOutput = true;
    config->mainOutputChannelCount = 2;
    config->mainOutputPortType = "stereo";
    return true;
}
bool configSelect(const clap::Plugin* p, clap::Id id) {
    return self(p)->selectLayout(id);
}
const clap::PluginAudioPortsConfig kAudioPortsConfig{configCount, configGet, configSelect};

std::uint32_t paramCount(const clap::Plugin*) {
    return ParameterList::count();
}
bool paramInfo(const clap::Plugin* p, std::uint32_t position, clap::ParamInfo* info) {
    return info != nullptr && self(p)->paramInfo(position, *info);
}
bool paramValue(const clap::Plugin* p, clap::Id id, double* value) {
    return value != nullptr && self(p)->paramValue(id, *value);
}
bool paramToText(const clap::Plugin* p, clap::Id id, double value, char* text, std::uint32_t capacity) {
    return text != nullptr && capacity > 0 && self(p)->valueToText(id, value, text, capacity);
}
bool paramFromText(const clap::Plugin* p, clap::Id id, const char* text, double* value) {
    return text != nullptr && value != nullptr && self(p)->textToValue(id, text, *value);
}
void paramFlush(const clap::Plugin* p, const clap::InputEvents* in, const clap::OutputEvents* out) {
    self(p)->flush(in, out);
}
const clap::PluginParams kParams{paramCount, paramInfo, paramValue, paramToText, paramFromText, paramFlush};

bool stateSave(const clap::Plugin* p, const clap::OStream* s) {
    return s != nullptr && self(p)->save(*s);
}
bool stateLoad(const clap::Plugin* p, const clap::IStream* s) {
    return s != nullptr && self(p)->load(*s);
}
const clap::PluginState kState{stateSave, stateLoad};

std::uint32_t latencyGet(const clap::Plugin*) {
    return 0;
}
const clap::PluginLatency kLatency{latencyGet};

std::uint32_t tailGet(const clap::Plugin* p) {
    return self(p)->tailFrames();
}
const clap::PluginTail kTail{tailGet};

// Offline rendering computes exactly what real time does, so the mode changes nothing.
bool renderHard(const clap::Plugin*) {
    return false;
}
bool renderSet(const clap::Plugin*, std::int32_t mode) {
    return mode == clap::kRenderRealtime || mode == clap::kRenderOffline;
}
const clap::PluginRender kRender{renderHard, renderSet};

bool guiSupported(const clap::Plugin*, const char* api, bool floating) {
    return api != nullptr && !floating && std::strcmp(api, kWindowApi) == 0;
}
bool guiPreferred(const clap::Plugin*, const char** api, bool* floating) {
    if (api == nullptr || floating == nullptr) {
        return false;
    }
    *api = kWindowApi;
    *floating = false;
    return true;
}
bool guiCreate(const clap::Plugin* p, const char* api, bool floating) {
    return self(p)->guiCreate(api, floating);
}
void guiDestroy(const clap::Plugin* p) {
    self(p)->guiDestroy();
}
bool guiSetScale(const clap::Plugin* p, double scale) {
    return self(p)->guiSetScale(scale);
}
bool guiGetSize(const clap::Plugin* p, std::uint32_t* w, std::uint32_t* h) {
    return w != nullptr && h != nullptr && self(p)->guiSize(*w, *h);
}
bool guiCanResize(const clap::Plugin*) {
    return false;
}
bool guiHints(const clap::Plugin*, clap::GuiResizeHints* hints) {
    if (hints == nullptr) {
        return false;
    }
    *hints = clap::GuiResizeHints{false, false, true, EffectEditor::kWidth, EffectEditor::kHeight};
    return true;
}
// Fixed at its scale: the one size there is, whatever the host offers.
bool guiAdjust(const clap::Plugin* p, std::uint32_t* w, std::uint32_t* h) {
    return w != nullptr && h != nullptr && self(p)->guiSize(*w, *h);
}
bool guiSetSize(const clap::Plugin* p, std::uint32_t w, std::uint32_t h) {
    std::uint32_t fw = 0, fh = 0;
    return self(p)->guiSize(fw, fh) && w == fw && h == fh;
}
bool guiSetParent(const clap::Plugin* p, const clap::Window* window) {
    return window != nullptr && self(p)->guiSetParent(*window);
}
bool guiSetTransient(const clap::Plugin*, const clap::Window*) {
    return false;
}
void guiSuggestTitle(const clap::Plugin*, const char*) {}
// The embedded window shows from set_parent on and goes with destroy.
bool guiShow(const clap::Plugin*) {
    return true;
}
bool guiHide(const clap::Plugin*) {
    return true;
}
const clap::PluginGui kGui{guiSupported, guiPreferred,    guiCreate,       guiDestroy, guiSetScale,
                           guiGetSize,   guiCanResize,    guiHints,        guiAdjust,  guiSetSize,
                           guiSetParent, guiSetTransient, guiSuggestTitle, guiShow,    guiHide};

void timerFired(const clap::Plugin* p, clap::Id id) {
    self(p)->onTimer(id);
}
const clap::PluginTimerSupport kTimer{timerFired};
void fdReady(const clap::Plugin* p, int fd, std::uint32_t) {
    self(p)->onFd(fd);
}
const clap::PluginPosixFdSupport kFd{fdReady};

template <typename T>
const T* hostExtension(const clap::Host* host, const char* id) {
    return host != nullptr && host->getExtension != nullptr
               ? static_cast<const T*>(host->getExtension(host, id))
               : nullptr;
}

}  // namespace

ClapPlugin::ClapPlugin(const clap::Host* host) : host_(host) {
    plugin_ = clap::Plugin{
        &kDescriptor, this,       pluginInit,  pluginDestroy, pluginActivate,  pluginDeactivate,
        pluginStart,  pluginStop, pluginReset, pluginProcess, pluginExtension, pluginOnMainThread};
}

ClapPlugin::~ClapPlugin() {
    guiDestroy();
    if (timerRegistered_ && hostTimer_ != nullptr) {
        hostTimer_->unregisterTimer(host_, timerId_);
    }
}

bool ClapPlugin::init() {
    hostParams_ = hostExtension<clap::HostParams>(host_, clap::kExtParams);
    hostState_ = hostExtension<clap::HostState>(host_, clap::kExtState);
    hostTimer_ = hostExtension<clap::HostTimerSupport>(host_, clap::kExtTimerSupport);
    hostFd_ = hostExtension<clap::HostPosixFdSupport>(host_, clap::kExtPosixFdSupport);
    hostThreads_ = hostExtension<clap::HostThreadCheck>(host_, clap::kExtThreadCheck);
    hostLog_ = hostExtension<clap::HostLog>(host_, clap::kExtLog);
    hostGui_ = hostExtension<clap::HostGui>(host_, clap::kExtGui);
    // Resumed once, at the rate and block size of the first activation.
    face_ = std::make_unique<FaceHost>(this, &EffectEditor::create);
    for (int i = 0; i < kNumParams; ++i) {
        defaults_[static_cast<std::size_t>(i)] = face_->getParameter(i);
    }
    if (hostTimer_ != nullptr && hostTimer_->registerTimer != nullptr) {
        timerRegistered_ = hostTimer_->registerTimer(host_, kTimerPeriodMs, &timerId_);
    }
    silence_.assign(static_cast<std::size_t>(face_->maxFrames()), 0.0f);
    return true;
}

bool ClapPlugin::activate(double sampleRate, std::uint32_t maxFrames) {
    if (!face_ || !(sampleRate > 0.0) || maxFrames == 0 || maxFrames > 0x7fffffffu) {
        return false;
    }
    face_->prepare(sampleRate, static_cast<int>(maxFrames));
    silence_.assign(maxFrames, 0.0f);
    active_ = true;
    return true;
}

void ClapPlugin::deactivate() {
    // Some hosts deactivate without stopping first.
    processing_.store(false, std::memory_order_release);
    active_ = false;
}

bool ClapPlugin::startProcessing() {
    processing_.store(true, std::memory_order_release);
    return true;
}

void ClapPlugin::stopProcessing() {
    processing_.store(false, std::memory_order_release);
}

bool ClapPlugin::selectLayout(clap::Id id) {
    if (active_ || id > 1) {
        return false;  // the layout is frozen while active
    }
    monoInput_ = id == 1;
    return true;
}

void ClapPlugin::reset() {
    CrowdEngine* engine = face_->effect().engine();
    if (engine != nullptr) {
        engine->resetVoices();
        engine->resetReverb();
    }
}

clap::ProcessStatus ClapPlugin::process(const clap::Process& process) {
    const std::uint32_t frames = process.framesCount;
    if (frames > silence_.size() && frames > 0) {
        return clap::kProcessError;  // longer than activated for
    }
    applyEvents(process.inEvents, frames, &process);
    if (process.audioOutputs != nullptr && process.audioOutputsCount > 0) {
        process.audioOutputs[0].constantMask = 0;
    }
    if (frames > 0) {
        sendOutgoing(process.outEvents);
    }
    return clap::kProcessContinue;
}

void ClapPlugin::applyEvents(const clap::InputEvents* in, std::uint32_t frames,
                             const clap::Process* process) {
    std::uint32_t done = 0;
    const std::uint32_t count = in != nullptr && in->size != nullptr && in->get != nullptr ? in->size(in) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap::EventHeader* header = in->get(in, i);
        if (header == nullptr || header->spaceId != clap::kCoreEventSpace ||
            header->type != clap::kEventParamValue || header->size < sizeof(clap::EventParamValue)) {
            continue;
        }
        // The block is split at the event; one listed out of order applies where the block is.
        const std::uint32_t at = std::min(header->time, frames);
        if (process != nullptr && at > done) {
            runFrames(*process, done, at);
            done = at;
        }
        clap::EventParamValue event;
        std::memcpy(&event, header, sizeof event);
        applyParam(event);
    }
    if (process != nullptr && frames > done) {
        runFrames(*process, done, frames);
    }
}

void ClapPlugin::applyParam(const clap::EventParamValue& event) {
    const double v = event.value;
    if (!std::isfinite(v) || !ParameterList::offered(event.paramId)) {
        return;
    }
    if (event.paramId == kProgramId) {
        const int program = static_cast<int>(std::clamp(std::round(v), 0.0, double(kNumPrograms - 1)));
        // A program switch is not for the audio thread; the main thread makes it.
        pendingProgram_.store(program, std::memory_order_release);
        if (host_->requestCallback != nullptr) {
            host_->requestCallback(host_);
        }
        return;
    }
    if (event.paramId == kBypassId) {
        face_->setParameter(parActiveIndex, v >= 0.5 ? 0.0f : 1.0f);
        return;
    }
    face_->setParameter(static_cast<int>(event.paramId), static_cast<float>(std::clamp(v, 0.0, 1.0)));
}

void ClapPlugin::runFrames(const clap::Process& process, std::uint32_t from, std::uint32_t to) {
    if (process.audioOutputs == nullptr || process.audioOutputsCount < 1) {
        return;
    }
    const clap::AudioBuffer& output = process.audioOutputs[0];
    if (output.data32 == nullptr || output.channelCount < 1) {
        return;
    }
    float* out[2] = {output.data32[0] + from, output.data32[output.channelCount > 1 ? 1 : 0] + from};
    const float* in[2] = {silence_.data(), silence_.data()};
    int inputs = 1;
    if (process.audioInputs != nullptr && process.audioInputsCount > 0 &&
        process.audioInputs[0].data32 != nullptr && process.audioInputs[0].channelCount > 0) {
        const clap::AudioBuffer& input = process.audioInputs[0];
        inputs = input.channelCount > 1 ? 2 : 1;
        in[0] = input.data32[0] + from;
        in[1] = input.data32[inputs - 1] + from;
    }
    if (output.channelCount < 2) {
        out[1] = out[0];  // nothing written past the host's one channel
    }
    face_->process(in, inputs, out, static_cast<int>(to - from));
}

void ClapPlugin::flush(const clap::InputEvents* in, const clap::OutputEvents* out) {
    applyEvents(in, 0, nullptr);
    sendOutgoing(out);
    if (!active_) {
        serviceMainThread();
    }
}

// ---- Editor events to the host ----

void ClapPlugin::queue(std::uint16_t type, int index, float value) {
    clap::Id id = static_cast<clap::Id>(index);
    if (index == parActiveIndex) {
        id = kBypassId;
        value = value > 0.0f ? 0.0f : 1.0f;
    } else if (!ParameterList::offered(id) || id == kProgramId || id == kBypassId) {
        // A stored setting hosts do not see (the randomiser's bounds): the session changed all
        // the same. Edits come on the main thread, which services this at the call's end.
        if (type == clap::kEventParamValue) {
            rescanPending_.store(true, std::memory_order_release);
        }
        return;
    }
    const std::uint32_t tail = queueTail_.load(std::memory_order_relaxed);
    const std::uint32_t head = queueHead_.load(std::memory_order_acquire);
    if (tail - head < kQueueSize) {
        queue_[tail % kQueueSize] = Outgoing{type, id, value};
        queueTail_.store(tail + 1, std::memory_order_release);
    } else if (type == clap::kEventParamValue) {
        overflowed_[static_cast<std::size_t>(index)].store(true, std::memory_order_relaxed);
        anyOverflowed_.store(true, std::memory_order_release);
    }
    if (!processing_.load(std::memory_order_acquire) && hostParams_ != nullptr &&
        hostParams_->requestFlush != nullptr) {
        hostParams_->requestFlush(host_);
    }
}

void ClapPlugin::sendOutgoing(const clap::OutputEvents* out) {
    if (out == nullptr || out->tryPush == nullptr) {
        return;
    }
    std::uint32_t head = queueHead_.load(std::memory_order_relaxed);
    const std::uint32_t tail = queueTail_.load(std::memory_order_acquire);
    for (; head != tail; ++head) {
        const Outgoing& o = queue_[head % kQueueSize];
        if (o.type == clap::kEventParamValue) {
            clap::EventParamValue event{};
            event.header = {sizeof event, 0, clap::kCoreEventSpace, clap::kEventParamValue,
                            clap::kEventIsLive};
            event.paramId = o.id;
            event.noteId = -1;
            event.portIndex = -1;
            event.channel = -1;
            event.key = -1;
            event.value = o.value;
            out->tryPush(out, &event.header);
        } else {
            clap::EventParamGesture event{};
            event.header = {sizeof event, 0, clap::kCoreEventSpace, o.type, clap::kEventIsLive};
            event.paramId = o.id;
            out->tryPush(out, &event.header);
        }
    }
    queueHead_.store(head, std::memory_order_release);
    if (anyOverflowed_.exchange(false, std::memory_order_acquire)) {
        for (int i = 0; i < kNumParams; ++i) {
            if (overflowed_[static_cast<std::size_t>(i)].exchange(false, std::memory_order_relaxed)) {
                clap::EventParamValue event{};
                event.header = {sizeof event, 0, clap::kCoreEventSpace, clap::kEventParamValue,
                                clap::kEventIsLive};
                event.paramId = static_cast<clap::Id>(i);
                event.noteId = -1;
                event.portIndex = -1;
                event.channel = -1;
                event.key = -1;
                event.value = std::clamp(double(face_->getParameter(i)), 0.0, 1.0);
                out->tryPush(out, &event.header);
            }
        }
    }
}

void ClapPlugin::parameterEdited(int index, float value) {
    queue(clap::kEventParamValue, index, value);
}
void ClapPlugin::beginEdit(int index) {
    queue(clap::kEventParamGestureBegin, index, 0.0f);
}
void ClapPlugin::endEdit(int index) {
    queue(clap::kEventParamGestureEnd, index, 0.0f);
}

void ClapPlugin::displayChanged() {
    rescanPending_.store(true, std::memory_order_release);
    if (onMainThreadNow()) {
        return;  // the main-thread call that caused it services it on its way out
    }
    if (host_->requestCallback != nullptr) {
        host_->requestCallback(host_);
    }
}

// ---- Main thread ----

bool ClapPlugin::onMainThreadNow() const {
    return hostThreads_ != nullptr && hostThreads_->isMainThread != nullptr &&
           hostThreads_->isMainThread(host_);
}

void ClapPlugin::serviceMainThread() {
    const int program = pendingProgram_.exchange(-1, std::memory_order_acq_rel);
    if (program >= 0 && program != face_->program()) {
        face_->setProgram(program);
        rescanPending_.store(true, std::memory_order_release);
    }
    if (rescanPending_.exchange(false, std::memory_order_acq_rel)) {
        if (hostParams_ != nullptr && hostParams_->rescan != nullptr) {
            hostParams_->rescan(host_, clap::kParamRescanValues);
        }
        if (hostState_ != nullptr && hostState_->markDirty != nullptr) {
            hostState_->markDirty(host_);
        }
    }
}

void ClapPlugin::onMainThread() {
    serviceMainThread();
}

void ClapPlugin::onTimer(clap::Id) {
    if (guiCreated_) {
        face_->idleEditor();
    }
    serviceMainThread();
}

void ClapPlugin::onFd(int fd) {
    if (guiCreated_ && fd == editorFd_) {
        face_->idleEditor();
    }
    serviceMainThread();
}

void ClapPlugin::log(const char* message) const {
    if (hostLog_ != nullptr && hostLog_->log != nullptr) {
        hostLog_->log(host_, clap::kLogWarning, message);
    }
}

const void* ClapPlugin::extension(const char* id) const {
    struct Entry {
        const char* id;
        const void* table;
    };
    static const Entry kExtensions[] = {
        {clap::kExtAudioPorts, &kAudioPorts},
        {clap::kExtAudioPortsConfig, &kAudioPortsConfig},
        {clap::kExtParams, &kParams},
        {clap::kExtState, &kState},
        {clap::kExtLatency, &kLatency},
        {clap::kExtTail, &kTail},
        {clap::kExtRender, &kRender},
        {clap::kExtGui, &kGui},
        // The timer also runs deferred main-thread work in hosts that never call on_main_thread.
        {clap::kExtTimerSupport, &kTimer},
#ifndef _WIN32
        {clap::kExtPosixFdSupport, &kFd},
#endif
    };
    for (const Entry& e : kExtensions) {
        if (std::strcmp(e.id, id) == 0) {
            return e.table;
        }
    }
    return nullptr;
}

// ---- Parameters ----

bool ClapPlugin::paramInfo(std::uint32_t position, clap::ParamInfo& info) const {
    if (!ParameterList::info(position, info)) {
        return false;
    }
    if (info.id == kProgramId) {
        info.defaultValue = 0.0;
    } else if (info.id == kBypassId) {
        info.defaultValue = defaults_[parActiveIndex] > 0.0f ? 0.0 : 1.0;
    } else {
        // A new instance starts on the first program, so its values are the defaults.
        info.defaultValue = std::clamp(double(defaults_[info.id]), 0.0, 1.0);
    }
    return true;
}

bool ClapPlugin::paramValue(clap::Id id, double& value) const {
    if (!ParameterList::offered(id)) {
        return false;
    }
    if (id == kProgramId) {
        const int pending = pendingProgram_.load(std::memory_order_acquire);
        value = pending >= 0 ? pending : face_->program();
    } else if (id == kBypassId) {
        value = param::bypassed(face_->getParameter(parActiveIndex)) ? 1.0 : 0.0;
    } else {
        const float stored = face_->getParameter(static_cast<int>(id));
        value = stored == stored ? std::clamp(double(stored), 0.0, 1.0) : 0.0;
    }
    return true;
}

bool ClapPlugin::valueToText(clap::Id id, double value, char* text, std::uint32_t capacity) const {
    if (!ParameterList::offered(id) || !std::isfinite(value)) {
        return false;
    }
    if (id == kProgramId) {
        const int program = static_cast<int>(std::clamp(std::round(value), 0.0, double(kNumPrograms - 1)));
        face_->programName(program, text, capacity);
        return true;
    }
    if (id == kBypassId) {
        std::snprintf(text, capacity, "%s", value >= 0.5 ? "bypassed" : "active");
        return true;
    }
    ParameterTable::display(static_cast<int>(id), static_cast<float>(value), text, capacity);
    return true;
}

bool ClapPlugin::textToValue(clap::Id id, const char* text, double& value) const {
    if (!ParameterList::offered(id)) {
        return false;
    }
    if (id == kProgramId) {
        char name[64];
        for (int n = 0; n < kNumPrograms; ++n) {
            face_->programName(n, name, sizeof name);
            if (std::strcmp(name, text) == 0) {
                value = n;
                return true;
            }
        }
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end == text || *end != 0 || n < 0 || n >= kNumPrograms) {
            return false;
        }
        value = static_cast<double>(n);
        return true;
    }
    if (id == kBypassId) {
        if (std::strcmp(text, "bypassed") == 0 || std::strcmp(text, "on") == 0 ||
            std::strcmp(text, "1") == 0) {
            value = 1.0;
        } else if (std::strcmp(text, "active") == 0 || std::strcmp(text, "off") == 0 ||
                   std::strcmp(text, "0") == 0) {
            value = 0.0;
        } else {
            return false;
        }
        return true;
    }
    float parsed = 0.0f;
    if (!ParameterTable::parse(static_cast<int>(id), text, parsed)) {
        return false;
    }
    value = std::clamp(double(parsed), 0.0, 1.0);
    return true;
}

// ---- State ----

bool ClapPlugin::save(const clap::OStream& stream) const {
    if (stream.write == nullptr) {
        return false;
    }
    const std::vector<std::uint8_t> bank = face_->chunk(false);
    if (bank.empty()) {
        return false;
    }
    std::vector<std::uint8_t> bytes(kStateHeader + bank.size());
    std::memcpy(bytes.data(), kStateMagic, 4);
    putWord(bytes.data() + 4, kStateVersion);
    putWord(bytes.data() + 8, static_cast<std::uint32_t>(face_->program()));
    putWord(bytes.data() + 12, static_cast<std::uint32_t>(bank.size()));
    std::memcpy(bytes.data() + kStateHeader, bank.data(), bank.size());
    std::size_t written = 0;
    while (written < bytes.size()) {
        const std::int64_t n = stream.write(&stream, bytes.data() + written, bytes.size() - written);
        if (n <= 0 || static_cast<std::uint64_t>(n) > bytes.size() - written) {
            return false;  // an error, or a stream that takes nothing
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

bool ClapPlugin::load(const clap::IStream& stream) {
    if (stream.read == nullptr) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[4096];
    for (;;) {
        const std::int64_t n = stream.read(&stream, buffer, sizeof buffer);
        if (n == 0) {
            break;
        }
        if (n < 0 || static_cast<std::uint64_t>(n) > sizeof buffer ||
            bytes.size() + std::size_t(n) > kStateLimit) {
            log("Zornbeck: state refused (read error or too long)");
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    bool loaded = false;
    if (bytes.size() >= kStateHeader && std::memcmp(bytes.data(), kStateMagic, 4) == 0) {
        const std::uint32_t version = getWord(bytes.data() + 4);
        const std::uint32_t program = getWord(bytes.data() + 8);
        const std::uint32_t size = getWord(bytes.data() + 12);
        if (version == kStateVersion && program < std::uint32_t(kNumPrograms) &&
            size == bytes.size() - kStateHeader &&
            face_->setChunk(bytes.data() + kStateHeader, size, false)) {
            face_->setProgram(static_cast<int>(program));
            loaded = true;
        }
    } else if (!bytes.empty()) {
        // A VST 2.4 bank or program chunk as it is, from a session or a file of the other format.
        loaded = face_->setChunk(bytes.data(), bytes.size(), false) ||
                 face_->setChunk(bytes.data(), bytes.size(), true);
    }
    if (!loaded) {
        log("Zornbeck: state refused (not a Zornbeck state)");
        return false;
    }
    pendingProgram_.store(-1, std::memory_order_release);
    rescanPending_.store(true, std::memory_order_release);
    serviceMainThread();
    return true;
}

std::uint32_t ClapPlugin::tailFrames() const {
    const double frames = std::ceil(face_->tailSeconds() * face_->sampleRate());
    return frames < 2147483647.0 ? static_cast<std::uint32_t>(std::max(frames, 0.0)) : 2147483647u;
}

// ---- Editor ----

bool ClapPlugin::guiCreate(const char* api, bool floating) {
    if (!face_ || api == nullptr || floating || std::strcmp(api, kWindowApi) != 0 || guiCreated_) {
        return false;
    }
#ifndef _WIN32
    // Its idle work needs the host's timer: a thread of our own would touch the window
    // behind the host's back.
    if (!timerRegistered_) {
        log("Zornbeck: the host offers no timer, so the editor cannot run");
        return false;
    }
#endif
    guiCreated_ = true;
    return true;
}

void ClapPlugin::guiDestroy() {
    if (!guiCreated_) {
        return;
    }
    if (editorFd_ >= 0 && hostFd_ != nullptr && hostFd_->unregisterFd != nullptr) {
        hostFd_->unregisterFd(host_, editorFd_);
    }
    editorFd_ = -1;
    face_->closeEditor();
    guiCreated_ = false;
}

bool ClapPlugin::guiSize(std::uint32_t& width, std::uint32_t& height) const {
    int w = 0, h = 0;
    face_->editorSize(w, h);
    if (w <= 0 || h <= 0) {
        return false;
    }
    width = static_cast<std::uint32_t>(w);
    height = static_cast<std::uint32_t>(h);
    return true;
}

bool ClapPlugin::guiSetScale(double scale) {
    // Both our window systems count in device pixels, so the host's factor is ours to apply.
    // Without this call (Qtractor never makes it) the core chooses the system's factor.
    if (!face_ || std::isnan(scale)) {
        return false;
    }
    face_->setEditorScale(scale);
    return true;
}

bool ClapPlugin::resizeEditor(int width, int height) {
    // A fixed-size editor at a new scale: the host's window has to follow it.
    return guiCreated_ && hostGui_ != nullptr && hostGui_->requestResize != nullptr && width > 0 &&
           height > 0 &&
           hostGui_->requestResize(host_, static_cast<std::uint32_t>(width),
                                   static_cast<std::uint32_t>(height));
}

bool ClapPlugin::guiSetParent(const clap::Window& window) {
    if (!guiCreated_ || window.api == nullptr || std::strcmp(window.api, kWindowApi) != 0) {
        return false;
    }
#ifdef _WIN32
    void* parent = window.win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window.x11));
#endif
    if (parent == nullptr || !face_->openEditor(parent)) {
        return false;
    }
    const int fd = face_->editorEventDescriptor();
    if (fd >= 0 && hostFd_ != nullptr && hostFd_->registerFd != nullptr &&
        hostFd_->registerFd(host_, fd, clap::kFdRead)) {
        editorFd_ = fd;
    }
    return true;
}

}  // namespace zb::clapface
