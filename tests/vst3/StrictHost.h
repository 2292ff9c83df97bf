// A strict VST 3 host for tests, written from the published binary layout on its own: it calls
// the plug-in through raw vtable slots and answers with its own objects, so a face that got a
// slot, an offset or an identifier wrong fails here instead of agreeing with itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sh {

using tresult = std::int32_t;
#ifdef _WIN32
constexpr tresult kOk = 0, kFalse = 1, kNoInterface = static_cast<tresult>(0x80004002u),
                  kInvalidArgument = static_cast<tresult>(0x80070057u),
                  kNotImplemented = static_cast<tresult>(0x80004001u);
#else
constexpr tresult kOk = 0, kFalse = 1, kNoInterface = -1, kInvalidArgument = 2, kNotImplemented = 3;
#endif

// An identifier from its printed form (32 hex digits), laid out for this system.
struct Tuid {
    unsigned char b[16];
    const char* data() const { return reinterpret_cast<const char*>(b); }
};
Tuid tuid(const char* hex32);
std::string printed(const unsigned char* bytes16);

namespace iid {
extern const Tuid FUnknown, PluginBase, Factory, Factory2, Factory3, Component, AudioProcessor, EditController,
    UnitInfo, ConnectionPoint, PlugView, PlugFrame, RunLoop, TimerHandler, EventHandler, HostApplication,
    ComponentHandler, BStream, ParameterChanges, ParamValueQueue, EditController2;
}

// Slot `slot` of the interface at `obj`, called with `obj` first.
template <class R, class... A>
R call(void* obj, int slot, A... args) {
    auto** table = *static_cast<void***>(obj);
    return reinterpret_cast<R (*)(void*, A...)>(table[slot])(obj, args...);
}
inline std::uint32_t addRef(void* obj) { return call<std::uint32_t>(obj, 1); }
inline std::uint32_t release(void* obj) { return call<std::uint32_t>(obj, 2); }
// The interface, or null; the answer holds a reference.
void* query(void* obj, const Tuid& iid);

// ---- Structures, at the published offsets ----
struct ProcessSetup {
    std::int32_t mode, sampleSize, maxSamples;
    double rate;
};
struct AudioBusBuffers {
    std::int32_t numChannels;
    std::uint64_t silenceFlags;
    float** buffers;
};
struct ProcessData {
    std::int32_t mode, sampleSize, numSamples, numInputs, numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    void* inputChanges;
    void* outputChanges;
    void* inputEvents;
    void* outputEvents;
    void* context;
};
struct ParameterInfo {
    std::uint32_t id;
    char16_t title[128], shortTitle[128], units[128];
    std::int32_t stepCount;
    double defaultValue;
    std::int32_t unitId, flags;
};
constexpr std::int32_t kCanAutomate = 1, kIsReadOnly = 2, kIsList = 8, kIsHidden = 16, kIsProgramChange = 1 << 15,
                       kIsBypass = 1 << 16;
struct BusInfo {
    std::int32_t mediaType, direction, channelCount;
    char16_t name[128];
    std::int32_t busType;
    std::uint32_t flags;
};
struct ViewRect {
    std::int32_t left, top, right, bottom;
};

std::string utf8(const char16_t* text);

// ---- The host's own objects. Each starts with its table pointer. ----

// A memory stream with a read limit, so a test can hand over a window as Ardour does.
struct Stream {
    Stream();
    void** vtbl;
    std::atomic<std::uint32_t> refs{1};
    std::vector<std::uint8_t> bytes;
    std::int64_t pos = 0;
    void* self() { return this; }
};

struct Point {
    std::int32_t offset;
    double value;
};

// One parameter's points for one block, as the host sends or receives them.
struct Queue {
    Queue();
    void** vtbl;
    std::uint32_t id = 0;
    std::vector<Point> points;
};

struct Changes {
    Changes();
    void** vtbl;
    std::vector<std::unique_ptr<Queue>> queues;
    void add(std::uint32_t id, std::int32_t offset, double value);
    // The last point the plug-in reported for `id`, if any.
    bool last(std::uint32_t id, double& value) const;
    void clear() { queues.clear(); }
};

struct Edit {
    char kind;  // 'b'egin, 'p'erform, 'e'nd
    std::uint32_t id;
    double value;
};

// The component handler, which is also the view's frame and, while a view is attached, lends its
// run loop (as Ardour's does).
struct Handler;
struct RunLoop {
    RunLoop();
    void** vtbl;
    Handler* owner = nullptr;
};
struct Frame {
    Frame();
    void** vtbl;
    Handler* owner = nullptr;
};
struct Handler {
    Handler();
    void** vtbl;
    std::atomic<std::uint32_t> refs{1};
    Frame frame;
    RunLoop loop;
    std::vector<Edit> edits;
    std::vector<std::int32_t> restarts;
    std::map<void*, std::uint64_t> timers;  // handler -> milliseconds
    std::map<void*, int> fds;
    int resizes = 0;
    ViewRect lastResize{};  // the size the view last asked its frame for
    // Runs every timer once and every event handler whose descriptor is readable.
    void pump();
};

struct HostApp {
    HostApp();
    void** vtbl;
    std::atomic<std::uint32_t> refs{1};
};

// ---- The module and one instance, driven in the order a DAW drives them ----

class Module {
  public:
    // Null with a message when it cannot be loaded.
    static std::unique_ptr<Module> load(const std::string& bundle, std::string& error);
    ~Module();
    void* factory() const { return factory_; }
    const Tuid& classId() const { return cid_; }
    std::string binaryPath;

  private:
    void* handle_ = nullptr;
    void* factory_ = nullptr;
    Tuid cid_{};
};

std::string bundlePath();  // the built bundle, beside the test

class Instance {
  public:
    // Created, initialised (component, then again as controller), handler set, set up for `rate`
    // and `maxBlock`, stereo buses activated, active and processing.
    Instance(Module& module, double rate = 44100.0, int maxBlock = 512, bool start = true);
    ~Instance();
    bool ok() const { return component != nullptr; }

    void setup(double rate, int maxBlock);
    void start();
    void stop();

    // One block of stereo in and out (or in place) with these parameter points.
    tresult process(float* const* in, float* const* out, int frames, Changes* points = nullptr,
                    Changes* reported = nullptr);

    std::vector<std::uint8_t> getState();
    tresult setState(const std::vector<std::uint8_t>& bytes);
    double get(std::uint32_t id) { return call<double>(controller, 14, id); }
    tresult set(std::uint32_t id, double v) { return call<tresult>(controller, 15, id, v); }
    std::vector<ParameterInfo> parameters();
    std::string text(std::uint32_t id, double v);

    void* component = nullptr;
    void* processor = nullptr;
    void* controller = nullptr;
    void* units = nullptr;
    HostApp app;
    Handler handler;
    std::int32_t processMode = 0;

  private:
    bool active_ = false;
};

}  // namespace sh
