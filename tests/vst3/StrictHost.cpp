#include "StrictHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace sh {

Tuid tuid(const char* hex) {
    unsigned char plain[16] = {};
    for (int i = 0; i < 16; ++i) {
        auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        plain[i] = static_cast<unsigned char>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
    }
    Tuid t{};
    std::memcpy(t.b, plain, 16);
#ifdef _WIN32
    // COM layout: the first word reversed, then each half of the second word reversed.
    const int order[8] = {3, 2, 1, 0, 5, 4, 7, 6};
    for (int i = 0; i < 8; ++i) {
        t.b[i] = plain[order[i]];
    }
#endif
    return t;
}

std::string printed(const unsigned char* b) {
    unsigned char plain[16];
    std::memcpy(plain, b, 16);
#ifdef _WIN32
    const int order[8] = {3, 2, 1, 0, 5, 4, 7, 6};
    for (int i = 0; i < 8; ++i) {
        plain[order[i]] = b[i];
    }
#endif
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : plain) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

namespace iid {
const Tuid FUnknown = tuid("0000000000000000C000000000000046");
const Tuid PluginBase = tuid("22888DDB156E45AE8358B34808190625");
const Tuid Factory = tuid("7A4D811C52114A1FAED9D2EE0B43BF9F");
const Tuid Factory2 = tuid("0007B650F24B4C0BA464EDB9F00B2ABB");
const Tuid Factory3 = tuid("4555A2ABC1234E579B12291036878931");
const Tuid Component = tuid("E831FF31F2D54301928EBBEE25697802");
const Tuid AudioProcessor = tuid("42043F99B7DA453CA569E79D9AAEC33D");
const Tuid EditController = tuid("DCD7BBE37742448DA874AACC979C759E");
const Tuid EditController2 = tuid("7F4EFE59F3204967AC27A3AEAFB63038");
const Tuid UnitInfo = tuid("3D4BD6B5913A4FD2A886E768A5EB92C1");
const Tuid ConnectionPoint = tuid("70A4156F6E6E4026989148BFAA60D8D1");
const Tuid PlugView = tuid("5BC32507D06049EAA6151B522B755B29");
const Tuid PlugFrame = tuid("367FAF01AFA946938D4DA2A0ED0882A3");
const Tuid RunLoop = tuid("18C3536697764F1A9C5B83857A871389");
const Tuid TimerHandler = tuid("10BDD94F41424774821FAD8FECA72CA9");
const Tuid EventHandler = tuid("561E65C913A0496F813A2C35654D7983");
const Tuid HostApplication = tuid("58E595CCDB2D49698B6AAF8C36A664E5");
const Tuid ComponentHandler = tuid("93A0BEA30BD045DB8E890B0CC1E46AC6");
const Tuid BStream = tuid("C3BF6EA2309947529B6BF9901EE33E9B");
const Tuid ParameterChanges = tuid("A47796630BB64A56B44384A8466FEB9D");
const Tuid ParamValueQueue = tuid("01263A18ED074F6F98C9D3564686F9BA");
}  // namespace iid

void* query(void* obj, const Tuid& id) {
    void* out = reinterpret_cast<void*>(1);
    const tresult r = call<tresult>(obj, 0, id.data(), &out);
    if (r != kOk) {
        EXPECT_EQ(out, nullptr) << "a refused queryInterface must clear the pointer";
        return nullptr;
    }
    return out;
}

std::string utf8(const char16_t* text) {
    std::string s;
    for (int i = 0; i < 128 && text[i] != 0; ++i) {
        const unsigned c = text[i];
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return s;
}

// ---- Host objects: plain functions in tables ----
namespace {

bool same(const char* a, const Tuid& b) { return std::memcmp(a, b.b, 16) == 0; }

tresult noInterface(void*, const char*, void** obj) {
    *obj = nullptr;
    return kNoInterface;
}
std::uint32_t one(void*) { return 1; }

template <class T>
std::uint32_t countedAdd(void* self) {
    return ++static_cast<T*>(self)->refs;
}
template <class T>
std::uint32_t countedRelease(void* self) {
    return --static_cast<T*>(self)->refs;
}

// IBStream
tresult streamQuery(void* self, const char* id, void** obj) {
    if (same(id, iid::BStream) || same(id, iid::FUnknown)) {
        *obj = self;
        ++static_cast<Stream*>(self)->refs;
        return kOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
tresult streamRead(void* self, void* buffer, std::int32_t n, std::int32_t* done) {
    auto* s = static_cast<Stream*>(self);
    const std::int64_t left = std::max<std::int64_t>(0, static_cast<std::int64_t>(s->bytes.size()) - s->pos);
    const std::int32_t got = static_cast<std::int32_t>(std::min<std::int64_t>(std::max(n, 0), left));
    if (got > 0) {
        std::memcpy(buffer, s->bytes.data() + s->pos, static_cast<std::size_t>(got));
    }
    s->pos += got;
    if (done != nullptr) {
        *done = got;
    }
    return kOk;  // short reads succeed, as Ardour's streams do
}
tresult streamWrite(void* self, void* buffer, std::int32_t n, std::int32_t* done) {
    auto* s = static_cast<Stream*>(self);
    if (n < 0 || buffer == nullptr) {
        return kInvalidArgument;
    }
    if (s->bytes.size() < static_cast<std::size_t>(s->pos + n)) {
        s->bytes.resize(static_cast<std::size_t>(s->pos + n));
    }
    std::memcpy(s->bytes.data() + s->pos, buffer, static_cast<std::size_t>(n));
    s->pos += n;
    if (done != nullptr) {
        *done = n;
    }
    return kOk;
}
tresult streamSeek(void* self, std::int64_t pos, std::int32_t mode, std::int64_t* result) {
    auto* s = static_cast<Stream*>(self);
    const std::int64_t base = mode == 0 ? 0 : mode == 1 ? s->pos : static_cast<std::int64_t>(s->bytes.size());
    if (base + pos < 0) {
        return kInvalidArgument;
    }
    s->pos = base + pos;
    if (result != nullptr) {
        *result = s->pos;
    }
    return kOk;
}
tresult streamTell(void* self, std::int64_t* pos) {
    *pos = static_cast<Stream*>(self)->pos;
    return kOk;
}
void* streamTable[] = {reinterpret_cast<void*>(&streamQuery), reinterpret_cast<void*>(&countedAdd<Stream>),
                       reinterpret_cast<void*>(&countedRelease<Stream>), reinterpret_cast<void*>(&streamRead),
                       reinterpret_cast<void*>(&streamWrite), reinterpret_cast<void*>(&streamSeek),
                       reinterpret_cast<void*>(&streamTell)};

// IParamValueQueue
std::uint32_t queueId(void* self) { return static_cast<Queue*>(self)->id; }
std::int32_t queueCount(void* self) { return static_cast<std::int32_t>(static_cast<Queue*>(self)->points.size()); }
tresult queuePoint(void* self, std::int32_t i, std::int32_t* offset, double* value) {
    auto* q = static_cast<Queue*>(self);
    if (i < 0 || i >= static_cast<std::int32_t>(q->points.size())) {
        return kInvalidArgument;
    }
    *offset = q->points[static_cast<std::size_t>(i)].offset;
    *value = q->points[static_cast<std::size_t>(i)].value;
    return kOk;
}
tresult queueAdd(void* self, std::int32_t offset, double value, std::int32_t* index) {
    auto* q = static_cast<Queue*>(self);
    q->points.push_back({offset, value});
    if (index != nullptr) {
        *index = static_cast<std::int32_t>(q->points.size() - 1);
    }
    return kOk;
}
void* queueTable[] = {reinterpret_cast<void*>(&noInterface), reinterpret_cast<void*>(&one),
                      reinterpret_cast<void*>(&one), reinterpret_cast<void*>(&queueId),
                      reinterpret_cast<void*>(&queueCount), reinterpret_cast<void*>(&queuePoint),
                      reinterpret_cast<void*>(&queueAdd)};

// IParameterChanges
std::int32_t changesCount(void* self) {
    return static_cast<std::int32_t>(static_cast<Changes*>(self)->queues.size());
}
void* changesData(void* self, std::int32_t i) {
    auto* c = static_cast<Changes*>(self);
    return i >= 0 && i < static_cast<std::int32_t>(c->queues.size()) ? c->queues[static_cast<std::size_t>(i)].get()
                                                                     : nullptr;
}
void* changesAdd(void* self, const std::uint32_t* id, std::int32_t* index) {
    auto* c = static_cast<Changes*>(self);
    for (std::size_t i = 0; i < c->queues.size(); ++i) {
        if (c->queues[i]->id == *id) {
            *index = static_cast<std::int32_t>(i);
            return c->queues[i].get();
        }
    }
    c->queues.push_back(std::make_unique<Queue>());
    c->queues.back()->id = *id;
    *index = static_cast<std::int32_t>(c->queues.size() - 1);
    return c->queues.back().get();
}
void* changesTable[] = {reinterpret_cast<void*>(&noInterface), reinterpret_cast<void*>(&one),
                        reinterpret_cast<void*>(&one), reinterpret_cast<void*>(&changesCount),
                        reinterpret_cast<void*>(&changesData), reinterpret_cast<void*>(&changesAdd)};

// IComponentHandler (the handler answers IPlugFrame with its frame, and IRunLoop while a view is
// attached: like Ardour's)
tresult handlerQuery(void* self, const char* id, void** obj) {
    auto* h = static_cast<Handler*>(self);
    *obj = nullptr;
    if (same(id, iid::ComponentHandler) || same(id, iid::FUnknown)) {
        *obj = h;
    } else if (same(id, iid::PlugFrame)) {
        *obj = &h->frame;
    } else {
        return kNoInterface;
    }
    ++h->refs;
    return kOk;
}
tresult handlerBegin(void* self, std::uint32_t id) {
    static_cast<Handler*>(self)->edits.push_back({'b', id, 0.0});
    return kOk;
}
tresult handlerPerform(void* self, std::uint32_t id, double v) {
    EXPECT_TRUE(v >= 0.0 && v <= 1.0) << "performEdit of " << id << " with " << v;
    static_cast<Handler*>(self)->edits.push_back({'p', id, v});
    return kOk;
}
tresult handlerEnd(void* self, std::uint32_t id) {
    static_cast<Handler*>(self)->edits.push_back({'e', id, 0.0});
    return kOk;
}
tresult handlerRestart(void* self, std::int32_t flags) {
    static_cast<Handler*>(self)->restarts.push_back(flags);
    return kOk;
}
void* handlerTable[] = {reinterpret_cast<void*>(&handlerQuery), reinterpret_cast<void*>(&countedAdd<Handler>),
                        reinterpret_cast<void*>(&countedRelease<Handler>), reinterpret_cast<void*>(&handlerBegin),
                        reinterpret_cast<void*>(&handlerPerform), reinterpret_cast<void*>(&handlerEnd),
                        reinterpret_cast<void*>(&handlerRestart)};

// IPlugFrame
tresult frameQuery(void* self, const char* id, void** obj) {
    auto* f = static_cast<Frame*>(self);
    *obj = nullptr;
    if (same(id, iid::PlugFrame) || same(id, iid::FUnknown)) {
        *obj = f;
    } else if (same(id, iid::RunLoop)) {
        *obj = &f->owner->loop;
    } else {
        return kNoInterface;
    }
    ++f->owner->refs;
    return kOk;
}
std::uint32_t frameAdd(void* self) { return ++static_cast<Frame*>(self)->owner->refs; }
std::uint32_t frameRelease(void* self) { return --static_cast<Frame*>(self)->owner->refs; }
tresult frameResize(void* self, void* view, ViewRect* rect) {
    ++static_cast<Frame*>(self)->owner->resizes;
    if (rect != nullptr) {
        static_cast<Frame*>(self)->owner->lastResize = *rect;
    }
    return call<tresult>(view, 10, rect);  // onSize, as Ardour does inside resizeView
}
void* frameTable[] = {reinterpret_cast<void*>(&frameQuery), reinterpret_cast<void*>(&frameAdd),
                      reinterpret_cast<void*>(&frameRelease), reinterpret_cast<void*>(&frameResize)};

// IRunLoop: refuses what Ardour refuses (a 0 ms timer, a second handler on one descriptor)
std::uint32_t loopAdd(void* self) { return ++static_cast<RunLoop*>(self)->owner->refs; }
std::uint32_t loopRelease(void* self) { return --static_cast<RunLoop*>(self)->owner->refs; }
tresult loopRegisterEvents(void* self, void* handler, int fd) {
    Handler* h = static_cast<RunLoop*>(self)->owner;
    for (const auto& [other, otherFd] : h->fds) {
        if (otherFd == fd) {
            return kInvalidArgument;
        }
    }
    if (handler == nullptr || fd < 0) {
        return kInvalidArgument;
    }
    h->fds[handler] = fd;
    return kOk;
}
tresult loopUnregisterEvents(void* self, void* handler) {
    return static_cast<RunLoop*>(self)->owner->fds.erase(handler) == 1 ? kOk : kInvalidArgument;
}
tresult loopRegisterTimer(void* self, void* handler, std::uint64_t ms) {
    if (handler == nullptr || ms == 0) {
        return kInvalidArgument;
    }
    static_cast<RunLoop*>(self)->owner->timers[handler] = ms;
    return kOk;
}
tresult loopUnregisterTimer(void* self, void* handler) {
    return static_cast<RunLoop*>(self)->owner->timers.erase(handler) == 1 ? kOk : kInvalidArgument;
}
void* loopTable[] = {reinterpret_cast<void*>(&noInterface),          reinterpret_cast<void*>(&loopAdd),
                     reinterpret_cast<void*>(&loopRelease),          reinterpret_cast<void*>(&loopRegisterEvents),
                     reinterpret_cast<void*>(&loopUnregisterEvents), reinterpret_cast<void*>(&loopRegisterTimer),
                     reinterpret_cast<void*>(&loopUnregisterTimer)};

// IHostApplication
tresult appQuery(void* self, const char* id, void** obj) {
    if (same(id, iid::HostApplication) || same(id, iid::FUnknown)) {
        *obj = self;
        ++static_cast<HostApp*>(self)->refs;
        return kOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
tresult appName(void*, char16_t* name) {
    const char* text = "Strict test host";
    int i = 0;
    for (; text[i] != 0; ++i) {
        name[i] = static_cast<char16_t>(text[i]);
    }
    name[i] = 0;
    return kOk;
}
tresult appCreate(void*, const char*, const char*, void** obj) {
    *obj = nullptr;
    return kNoInterface;
}
void* appTable[] = {reinterpret_cast<void*>(&appQuery), reinterpret_cast<void*>(&countedAdd<HostApp>),
                    reinterpret_cast<void*>(&countedRelease<HostApp>), reinterpret_cast<void*>(&appName),
                    reinterpret_cast<void*>(&appCreate)};

}  // namespace

Stream::Stream() : vtbl(streamTable) {}
Queue::Queue() : vtbl(queueTable) {}
Changes::Changes() : vtbl(changesTable) {}
Frame::Frame() : vtbl(frameTable) {}
RunLoop::RunLoop() : vtbl(loopTable) {}
HostApp::HostApp() : vtbl(appTable) {}
Handler::Handler() : vtbl(handlerTable) {
    frame.owner = this;
    loop.owner = this;
}

void Changes::add(std::uint32_t id, std::int32_t offset, double value) {
    std::int32_t index = 0;
    auto* q = static_cast<Queue*>(changesAdd(this, &id, &index));
    q->points.push_back({offset, value});
}

bool Changes::last(std::uint32_t id, double& value) const {
    for (const auto& q : queues) {
        if (q->id == id && !q->points.empty()) {
            value = q->points.back().value;
            return true;
        }
    }
    return false;
}

void Handler::pump() {
    const auto timersNow = timers;
    for (const auto& [handler, ms] : timersNow) {
        if (timers.count(handler) != 0) {
            call<void>(handler, 3);  // onTimer
        }
    }
#ifndef _WIN32
    const auto fdsNow = fds;
    for (const auto& [handler, fd] : fdsNow) {
        pollfd p{fd, POLLIN, 0};
        if (fds.count(handler) != 0 && poll(&p, 1, 0) > 0) {
            call<void>(handler, 3, fd);  // onFDIsSet
        }
    }
#endif
}

// ---- Module ----

std::string bundlePath() {
    const char* dir = std::getenv("ZORNBECK_BUILD");
    std::string base = dir != nullptr ? dir : ".";
#ifdef _WIN32
    if (dir == nullptr) {
        char exe[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
        base = std::string(exe, n);
        base = base.substr(0, base.find_last_of("\\/"));
    }
    return base + "\\Zornbeck.vst3";
#else
    return base + "/Zornbeck.vst3";
#endif
}

std::unique_ptr<Module> Module::load(const std::string& bundle, std::string& error) {
    auto m = std::unique_ptr<Module>(new Module());
    // The binary is named like the bundle, in the folder of this system's architecture.
    const std::string name = bundle.substr(bundle.find_last_of("\\/") + 1);
    const std::string stem = name.substr(0, name.size() - 5);
#ifdef _WIN32
    m->binaryPath = bundle + "\\Contents\\x86_64-win\\" + stem + ".vst3";
    HMODULE h = LoadLibraryA(m->binaryPath.c_str());
    if (h == nullptr) {
        error = "cannot load " + m->binaryPath;
        return nullptr;
    }
    m->handle_ = h;
    auto sym = [&](const char* s) { return reinterpret_cast<void*>(GetProcAddress(h, s)); };
    if (auto init = reinterpret_cast<bool (*)()>(sym("InitDll")); init != nullptr && !init()) {
        error = "InitDll failed";
        return nullptr;
    }
#else
    m->binaryPath = bundle + "/Contents/x86_64-linux/" + stem + ".so";
    void* h = dlopen(m->binaryPath.c_str(), RTLD_LOCAL | RTLD_LAZY);
    if (h == nullptr) {
        error = std::string("cannot load: ") + dlerror();
        return nullptr;
    }
    m->handle_ = h;
    auto sym = [&](const char* s) { return dlsym(h, s); };
    auto entry = reinterpret_cast<bool (*)(void*)>(sym("ModuleEntry"));
    if (entry == nullptr || sym("ModuleExit") == nullptr || !entry(h)) {
        error = "ModuleEntry/ModuleExit missing or failing";
        return nullptr;
    }
#endif
    auto get = reinterpret_cast<void* (*)()>(sym("GetPluginFactory"));
    m->factory_ = get != nullptr ? get() : nullptr;
    if (m->factory_ == nullptr) {
        error = "no factory";
        return nullptr;
    }
    unsigned char info[116] = {};  // PClassInfo
    if (call<std::int32_t>(m->factory_, 4) < 1 || call<tresult>(m->factory_, 5, 0, info) != kOk) {
        error = "no class";
        return nullptr;
    }
    std::memcpy(m->cid_.b, info, 16);
    return m;
}

Module::~Module() {
    if (factory_ != nullptr) {
        release(factory_);
    }
#ifdef _WIN32
    if (handle_ != nullptr) {
        auto exitDll = reinterpret_cast<bool (*)()>(reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), "ExitDll")));
        if (exitDll != nullptr) {
            exitDll();
        }
        FreeLibrary(static_cast<HMODULE>(handle_));
    }
#else
    if (handle_ != nullptr) {
        if (auto exitModule = reinterpret_cast<bool (*)()>(dlsym(handle_, "ModuleExit"))) {
            exitModule();
        }
        dlclose(handle_);
    }
#endif
}

// ---- Instance ----

Instance::Instance(Module& module, double rate, int maxBlock, bool begin) {
    void* obj = nullptr;
    if (call<tresult>(module.factory(), 6, module.classId().data(), iid::Component.data(), &obj) != kOk ||
        obj == nullptr) {
        ADD_FAILURE() << "createInstance failed";
        return;
    }
    component = obj;
    EXPECT_EQ(call<tresult>(component, 3, static_cast<void*>(&app)), kOk);
    processor = query(component, iid::AudioProcessor);
    controller = query(component, iid::EditController);
    units = query(component, iid::UnitInfo);
    EXPECT_NE(processor, nullptr);
    EXPECT_NE(controller, nullptr);
    EXPECT_NE(units, nullptr);
    if (processor == nullptr || controller == nullptr) {
        component = nullptr;
        return;
    }
    // The same object initialised again as controller: refused, harmlessly.
    EXPECT_EQ(call<tresult>(controller, 3, static_cast<void*>(&app)), kFalse);
    EXPECT_EQ(call<tresult>(controller, 16, static_cast<void*>(&handler)), kOk);
    setup(rate, maxBlock);
    std::uint64_t stereo = 3;
    for (std::int32_t dir = 0; dir < 2; ++dir) {
        EXPECT_EQ(call<tresult>(component, 10, 0, dir, 0, static_cast<std::uint8_t>(1)), kOk);
    }
    EXPECT_EQ(call<tresult>(processor, 3, &stereo, 1, &stereo, 1), kOk);
    if (begin) {
        start();
    }
}

void Instance::setup(double rate, int maxBlock) {
    ProcessSetup s{processMode, 0, maxBlock, rate};
    EXPECT_EQ(call<tresult>(processor, 7, &s), kOk);
}

void Instance::start() {
    EXPECT_EQ(call<tresult>(component, 11, static_cast<std::uint8_t>(1)), kOk);
    EXPECT_EQ(call<tresult>(processor, 8, static_cast<std::uint8_t>(1)), kOk);
    active_ = true;
}

void Instance::stop() {
    call<tresult>(processor, 8, static_cast<std::uint8_t>(0));
    EXPECT_EQ(call<tresult>(component, 11, static_cast<std::uint8_t>(0)), kOk);
    active_ = false;
}

Instance::~Instance() {
    if (component == nullptr) {
        return;
    }
    if (active_) {
        stop();
    }
    EXPECT_EQ(call<tresult>(controller, 16, static_cast<void*>(nullptr)), kOk);
    EXPECT_EQ(call<tresult>(controller, 4), kOk);
    EXPECT_NE(call<tresult>(component, 4), kOk) << "a second terminate is refused";
    release(units);
    release(controller);
    release(processor);
    EXPECT_EQ(release(component), 0u) << "references left on the plug-in";
    EXPECT_EQ(handler.refs.load(), 1u) << "the plug-in kept the handler";
    EXPECT_EQ(app.refs.load(), 1u) << "the plug-in kept the host context";
}

tresult Instance::process(float* const* in, float* const* out, int frames, Changes* points, Changes* reported) {
    AudioBusBuffers inBus{2, 0, const_cast<float**>(in)};
    AudioBusBuffers outBus{2, 0, const_cast<float**>(out)};
    Changes none;
    Changes outChanges;
    ProcessData d{processMode, 0,        frames,  1,       1,       &inBus, &outBus,
                  points != nullptr ? points : &none, reported != nullptr ? reported : &outChanges, nullptr, nullptr,
                  nullptr};
    return call<tresult>(processor, 9, &d);
}

std::vector<std::uint8_t> Instance::getState() {
    Stream s;
    EXPECT_EQ(call<tresult>(component, 13, static_cast<void*>(&s)), kOk);
    EXPECT_EQ(s.refs.load(), 1u);
    return s.bytes;
}

tresult Instance::setState(const std::vector<std::uint8_t>& bytes) {
    Stream s;
    s.bytes = bytes;
    const tresult r = call<tresult>(component, 12, static_cast<void*>(&s));
    if (r == kOk) {
        s.pos = 0;
        EXPECT_EQ(call<tresult>(controller, 5, static_cast<void*>(&s)), kOk);  // setComponentState
    }
    return r;
}

std::vector<ParameterInfo> Instance::parameters() {
    std::vector<ParameterInfo> list;
    const std::int32_t n = call<std::int32_t>(controller, 8);
    for (std::int32_t i = 0; i < n; ++i) {
        ParameterInfo info{};
        EXPECT_EQ(call<tresult>(controller, 9, i, &info), kOk);
        list.push_back(info);
    }
    ParameterInfo past{};
    EXPECT_NE(call<tresult>(controller, 9, n, &past), kOk);
    return list;
}

std::string Instance::text(std::uint32_t id, double v) {
    char16_t s[128] = {};
    if (call<tresult>(controller, 10, id, v, s) != kOk) {
        return "(refused)";
    }
    return utf8(s);
}

static_assert(sizeof(ProcessSetup) == 24 && sizeof(AudioBusBuffers) == 24 && sizeof(ProcessData) == 80);
static_assert(sizeof(ParameterInfo) == 792 && sizeof(BusInfo) == 276 && sizeof(ViewRect) == 16);

}  // namespace sh
