// The part of the CLAP 1.x binary interface the face uses, declared by us: plain C structs of
// natural alignment and C calling convention. Sizes and offsets are checked at the end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clap {

using Id = std::uint32_t;
constexpr Id kInvalidId = 0xFFFFFFFFu;
constexpr std::size_t kNameSize = 256;
constexpr std::size_t kPathSize = 1024;

struct Version {
    std::uint32_t major, minor, revision;
};
// Hosts built with 1.1 load it: only the major number gates loading.
constexpr Version kVersion{1, 2, 0};

struct Host;
struct Plugin;

struct PluginEntry {
    Version version;
    bool (*init)(const char* pluginPath);
    void (*deinit)();
    const void* (*getFactory)(const char* factoryId);
};

struct PluginDescriptor {
    Version version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manualUrl;
    const char* supportUrl;
    const char* versionText;
    const char* description;
    const char* const* features;
};

struct PluginFactory {
    std::uint32_t (*getPluginCount)(const PluginFactory*);
    const PluginDescriptor* (*getPluginDescriptor)(const PluginFactory*, std::uint32_t index);
    const Plugin* (*createPlugin)(const PluginFactory*, const Host* host, const char* pluginId);
};

struct EventHeader {
    std::uint32_t size;
    std::uint32_t time;
    std::uint16_t spaceId;
    std::uint16_t type;
    std::uint32_t flags;
};
constexpr std::uint16_t kCoreEventSpace = 0;
enum EventType : std::uint16_t {
    kEventParamValue = 5,
    kEventParamMod = 6,
    kEventParamGestureBegin = 7,
    kEventParamGestureEnd = 8,
};
constexpr std::uint32_t kEventIsLive = 1;
constexpr std::uint32_t kEventDontRecord = 2;

struct EventParamValue {
    EventHeader header;
    Id paramId;
    void* cookie;
    std::int32_t noteId;
    std::int16_t portIndex;
    std::int16_t channel;
    std::int16_t key;
    double value;
};

struct EventParamGesture {
    EventHeader header;
    Id paramId;
};

struct InputEvents {
    void* ctx;
    std::uint32_t (*size)(const InputEvents*);
    const EventHeader* (*get)(const InputEvents*, std::uint32_t index);
};

struct OutputEvents {
    void* ctx;
    bool (*tryPush)(const OutputEvents*, const EventHeader* event);
};

struct AudioBuffer {
    float** data32;
    double** data64;
    std::uint32_t channelCount;
    std::uint32_t latency;
    std::uint64_t constantMask;
};

struct Process {
    std::int64_t steadyTime;
    std::uint32_t framesCount;
    const void* transport;
    const AudioBuffer* audioInputs;
    AudioBuffer* audioOutputs;
    std::uint32_t audioInputsCount;
    std::uint32_t audioOutputsCount;
    const InputEvents* inEvents;
    const OutputEvents* outEvents;
};

using ProcessStatus = std::int32_t;
enum : ProcessStatus {
    kProcessError = 0,
    kProcessContinue = 1,
    kProcessContinueIfNotQuiet = 2,
    kProcessTail = 3,
    kProcessSleep = 4,
};

struct Plugin {
    const PluginDescriptor* desc;
    void* pluginData;
    bool (*init)(const Plugin*);
    void (*destroy)(const Plugin*);
    bool (*activate)(const Plugin*, double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames);
    void (*deactivate)(const Plugin*);
    bool (*startProcessing)(const Plugin*);
    void (*stopProcessing)(const Plugin*);
    void (*reset)(const Plugin*);
    ProcessStatus (*process)(const Plugin*, const Process*);
    const void* (*getExtension)(const Plugin*, const char* id);
    void (*onMainThread)(const Plugin*);
};

struct Host {
    Version version;
    void* hostData;
    const char* name;
    const char* vendor;
    const char* url;
    const char* versionText;
    const void* (*getExtension)(const Host*, const char* id);
    void (*requestRestart)(const Host*);
    void (*requestProcess)(const Host*);
    void (*requestCallback)(const Host*);
};

// ---- Extensions ----
constexpr const char* kPluginFactoryId = "clap.plugin-factory";
constexpr const char* kExtAudioPorts = "clap.audio-ports";
constexpr const char* kExtAudioPortsConfig = "clap.audio-ports-config";
constexpr const char* kExtParams = "clap.params";
constexpr const char* kExtState = "clap.state";
constexpr const char* kExtLatency = "clap.latency";
constexpr const char* kExtTail = "clap.tail";
constexpr const char* kExtRender = "clap.render";
constexpr const char* kExtGui = "clap.gui";
constexpr const char* kExtTimerSupport = "clap.timer-support";
constexpr const char* kExtPosixFdSupport = "clap.posix-fd-support";
constexpr const char* kExtThreadCheck = "clap.thread-check";
constexpr const char* kExtLog = "clap.log";

struct AudioPortInfo {
    Id id;
    char name[kNameSize];
    std::uint32_t flags;
    std::uint32_t channelCount;
    const char* portType;
    Id inPlacePair;
};
constexpr std::uint32_t kAudioPortIsMain = 1;

struct PluginAudioPorts {
    std::uint32_t (*count)(const Plugin*, bool isInput);
    bool (*get)(const Plugin*, std::uint32_t index, bool isInput, AudioPortInfo* info);
};

struct AudioPortsConfig {
    Id id;
    char name[kNameSize];
    std::uint32_t inputPortCount;
    std::uint32_t outputPortCount;
    bool hasMainInput;
    std::uint32_t mainInputChannelCount;
    const char* mainInputPortType;
    bool hasMainOutput;
    std::uint32_t mainOutputChannelCount;
    const char* mainOutputPortType;
};

struct PluginAudioPortsConfig {
    std::uint32_t (*count)(const Plugin*);
    bool (*get)(const Plugin*, std::uint32_t index, AudioPortsConfig* config);
    bool (*select)(const Plugin*, Id configId);
};

enum ParamFlag : std::uint32_t {
    kParamIsStepped = 1u << 0,
    kParamIsHidden = 1u << 2,
    kParamIsReadonly = 1u << 3,
    kParamIsBypass = 1u << 4,
    kParamIsAutomatable = 1u << 5,
    kParamIsEnum = 1u << 16,
};

struct ParamInfo {
    Id id;
    std::uint32_t flags;
    void* cookie;
    char name[kNameSize];
    char module[kPathSize];
    double minValue;
    double maxValue;
    double defaultValue;
};

struct PluginParams {
    std::uint32_t (*count)(const Plugin*);
    bool (*getInfo)(const Plugin*, std::uint32_t paramIndex, ParamInfo* info);
    bool (*getValue)(const Plugin*, Id id, double* value);
    bool (*valueToText)(const Plugin*, Id id, double value, char* text, std::uint32_t capacity);
    bool (*textToValue)(const Plugin*, Id id, const char* text, double* value);
    void (*flush)(const Plugin*, const InputEvents* in, const OutputEvents* out);
};

constexpr std::uint32_t kParamRescanValues = 1;
struct HostParams {
    void (*rescan)(const Host*, std::uint32_t flags);
    void (*clear)(const Host*, Id id, std::uint32_t flags);
    void (*requestFlush)(const Host*);
};

struct IStream {
    void* ctx;
    std::int64_t (*read)(const IStream*, void* buffer, std::uint64_t size);
};
struct OStream {
    void* ctx;
    std::int64_t (*write)(const OStream*, const void* buffer, std::uint64_t size);
};

struct PluginState {
    bool (*save)(const Plugin*, const OStream*);
    bool (*load)(const Plugin*, const IStream*);
};
struct HostState {
    void (*markDirty)(const Host*);
};

struct PluginLatency {
    std::uint32_t (*get)(const Plugin*);
};
struct PluginTail {
    std::uint32_t (*get)(const Plugin*);
};

constexpr std::int32_t kRenderRealtime = 0;
constexpr std::int32_t kRenderOffline = 1;
struct PluginRender {
    bool (*hasHardRealtimeRequirement)(const Plugin*);
    bool (*set)(const Plugin*, std::int32_t mode);
};

constexpr const char* kWindowApiX11 = "x11";
constexpr const char* kWindowApiWin32 = "win32";
struct Window {
    const char* api;
    union {
        void* cocoa;
        unsigned long x11;
        void* win32;
        void* ptr;
    };
};
struct GuiResizeHints {
    bool canResizeHorizontally;
    bool canResizeVertically;
    bool preserveAspectRatio;
    std::uint32_t aspectRatioWidth;
    std::uint32_t aspectRatioHeight;
};

struct PluginGui {
    bool (*isApiSupported)(const Plugin*, const char* api, bool isFloating);
    bool (*getPreferredApi)(const Plugin*, const char** api, bool* isFloating);
    bool (*create)(const Plugin*, const char* api, bool isFloating);
    void (*destroy)(const Plugin*);
    bool (*setScale)(const Plugin*, double scale);
    bool (*getSize)(const Plugin*, std::uint32_t* width, std::uint32_t* height);
    bool (*canResize)(const Plugin*);
    bool (*getResizeHints)(const Plugin*, GuiResizeHints* hints);
    bool (*adjustSize)(const Plugin*, std::uint32_t* width, std::uint32_t* height);
    bool (*setSize)(const Plugin*, std::uint32_t width, std::uint32_t height);
    bool (*setParent)(const Plugin*, const Window* window);
    bool (*setTransient)(const Plugin*, const Window* window);
    void (*suggestTitle)(const Plugin*, const char* title);
    bool (*show)(const Plugin*);
    bool (*hide)(const Plugin*);
};
struct HostGui {
    void (*resizeHintsChanged)(const Host*);
    bool (*requestResize)(const Host*, std::uint32_t width, std::uint32_t height);
    bool (*requestShow)(const Host*);
    bool (*requestHide)(const Host*);
    void (*closed)(const Host*, bool wasDestroyed);
};

struct PluginTimerSupport {
    void (*onTimer)(const Plugin*, Id timerId);
};
struct HostTimerSupport {
    bool (*registerTimer)(const Host*, std::uint32_t periodMs, Id* timerId);
    bool (*unregisterTimer)(const Host*, Id timerId);
};

constexpr std::uint32_t kFdRead = 1;
struct PluginPosixFdSupport {
    void (*onFd)(const Plugin*, int fd, std::uint32_t flags);
};
struct HostPosixFdSupport {
    bool (*registerFd)(const Host*, int fd, std::uint32_t flags);
    bool (*modifyFd)(const Host*, int fd, std::uint32_t flags);
    bool (*unregisterFd)(const Host*, int fd);
};

struct HostThreadCheck {
    bool (*isMainThread)(const Host*);
    bool (*isAudioThread)(const Host*);
};

constexpr std::int32_t kLogWarning = 2;
struct HostLog {
    void (*log)(const Host*, std::int32_t severity, const char* message);
};

// The layouts every host expects (x86-64, Linux and Windows alike).
static_assert(sizeof(PluginEntry) == 40 && offsetof(PluginEntry, init) == 16);
static_assert(sizeof(PluginDescriptor) == 88 && offsetof(PluginDescriptor, id) == 16 &&
              offsetof(PluginDescriptor, features) == 80);
static_assert(sizeof(PluginFactory) == 24);
static_assert(sizeof(Plugin) == 96 && offsetof(Plugin, onMainThread) == 88);
static_assert(sizeof(Host) == 88 && offsetof(Host, getExtension) == 56 &&
              offsetof(Host, requestCallback) == 80);
static_assert(sizeof(Process) == 64 && offsetof(Process, audioInputsCount) == 40 &&
              offsetof(Process, inEvents) == 48);
static_assert(sizeof(AudioBuffer) == 32 && offsetof(AudioBuffer, constantMask) == 24);
static_assert(sizeof(EventHeader) == 16);
static_assert(sizeof(EventParamValue) == 56 && offsetof(EventParamValue, cookie) == 24 &&
              offsetof(EventParamValue, noteId) == 32 && offsetof(EventParamValue, key) == 40 &&
              offsetof(EventParamValue, value) == 48);
static_assert(sizeof(EventParamGesture) == 20);
static_assert(sizeof(InputEvents) == 24 && sizeof(OutputEvents) == 16);
static_assert(sizeof(AudioPortInfo) == 288 && offsetof(AudioPortInfo, flags) == 260 &&
              offsetof(AudioPortInfo, portType) == 272 && offsetof(AudioPortInfo, inPlacePair) == 280);
static_assert(sizeof(AudioPortsConfig) == 304 && offsetof(AudioPortsConfig, hasMainInput) == 268 &&
              offsetof(AudioPortsConfig, mainInputPortType) == 280 &&
              offsetof(AudioPortsConfig, hasMainOutput) == 288 &&
              offsetof(AudioPortsConfig, mainOutputPortType) == 296);
static_assert(sizeof(ParamInfo) == 1320 && offsetof(ParamInfo, name) == 16 &&
              offsetof(ParamInfo, module) == 272 && offsetof(ParamInfo, minValue) == 1296 &&
              offsetof(ParamInfo, defaultValue) == 1312);
static_assert(sizeof(PluginParams) == 48);
static_assert(sizeof(IStream) == 16 && sizeof(OStream) == 16);
static_assert(sizeof(Window) == 16 && sizeof(GuiResizeHints) == 12);
static_assert(sizeof(PluginGui) == 15 * sizeof(void*) && sizeof(HostGui) == 5 * sizeof(void*));

}  // namespace clap
