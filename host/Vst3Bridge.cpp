#include "Vst3Bridge.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "vst3/Vst3Interfaces.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <poll.h>
#endif

namespace zb {

bool isVst3Bundle(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) {
        p.pop_back();
    }
    return p.size() > 5 && p.compare(p.size() - 5, 5, ".vst3") == 0;
}

std::string vst3BinaryPath(const std::string& bundle) {
    std::string p = bundle;
    while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) {
        p.pop_back();
    }
    const std::string name = p.substr(p.find_last_of("/\\") + 1);
    const std::string stem = name.substr(0, name.size() - 5);
#ifdef _WIN32
    return p + "\\Contents\\x86_64-win\\" + stem + ".vst3";
#else
    return p + "/Contents/x86_64-linux/" + stem + ".so";
#endif
}

namespace {

using namespace vst3;

// A growing memory stream for states.
class MemoryStream final : public IBStream {
  public:
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
    tresult ZB_VST3_CALL queryInterface(const char* iid, void** obj) override {
        *obj = FUnknown::iid.is(iid) || IBStream::iid.is(iid) ? this : nullptr;
        return *obj != nullptr ? kResultOk : kNoInterface;
    }
    uint32 ZB_VST3_CALL addRef() override { return 1; }
    uint32 ZB_VST3_CALL release() override { return 1; }
    tresult ZB_VST3_CALL read(void* buffer, int32 n, int32* done) override {
        const std::size_t got = std::min<std::size_t>(static_cast<std::size_t>(std::max(n, 0)), bytes.size() - pos);
        std::memcpy(buffer, bytes.data() + pos, got);
        pos += got;
        if (done != nullptr) {
            *done = static_cast<int32>(got);
        }
        return kResultOk;
    }
    tresult ZB_VST3_CALL write(void* buffer, int32 n, int32* done) override {
        if (n < 0) {
            return kInvalidArgument;
        }
        bytes.resize(std::max(bytes.size(), pos + static_cast<std::size_t>(n)));
        std::memcpy(bytes.data() + pos, buffer, static_cast<std::size_t>(n));
        pos += static_cast<std::size_t>(n);
        if (done != nullptr) {
            *done = n;
        }
        return kResultOk;
    }
    tresult ZB_VST3_CALL seek(int64 to, int32 mode, int64* result) override {
        const int64 base = mode == 0 ? 0 : mode == 1 ? static_cast<int64>(pos) : static_cast<int64>(bytes.size());
        if (base + to < 0) {
            return kInvalidArgument;
        }
        pos = static_cast<std::size_t>(base + to);
        bytes.resize(std::max(bytes.size(), pos));
        if (result != nullptr) {
            *result = static_cast<int64>(pos);
        }
        return kResultOk;
    }
    tresult ZB_VST3_CALL tell(int64* at) override {
        *at = static_cast<int64>(pos);
        return kResultOk;
    }
};

class Queue final : public IParamValueQueue {
  public:
    ParamID id = 0;
    std::vector<std::pair<int32, ParamValue>> points;
    tresult ZB_VST3_CALL queryInterface(const char*, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 ZB_VST3_CALL addRef() override { return 1; }
    uint32 ZB_VST3_CALL release() override { return 1; }
    ParamID ZB_VST3_CALL getParameterId() override { return id; }
    int32 ZB_VST3_CALL getPointCount() override { return static_cast<int32>(points.size()); }
    tresult ZB_VST3_CALL getPoint(int32 i, int32* offset, ParamValue* value) override {
        if (i < 0 || i >= getPointCount()) {
            return kInvalidArgument;
        }
        *offset = points[static_cast<std::size_t>(i)].first;
        *value = points[static_cast<std::size_t>(i)].second;
        return kResultOk;
    }
    tresult ZB_VST3_CALL addPoint(int32 offset, ParamValue value, int32* index) override {
        points.emplace_back(offset, value);
        *index = getPointCount() - 1;
        return kResultOk;
    }
};

class Changes final : public IParameterChanges {
  public:
    std::vector<Queue> queues;
    std::size_t used = 0;
    tresult ZB_VST3_CALL queryInterface(const char*, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 ZB_VST3_CALL addRef() override { return 1; }
    uint32 ZB_VST3_CALL release() override { return 1; }
    int32 ZB_VST3_CALL getParameterCount() override { return static_cast<int32>(used); }
    IParamValueQueue* ZB_VST3_CALL getParameterData(int32 i) override {
        return i >= 0 && static_cast<std::size_t>(i) < used ? &queues[static_cast<std::size_t>(i)] : nullptr;
    }
    IParamValueQueue* ZB_VST3_CALL addParameterData(const ParamID* id, int32* index) override {
        for (std::size_t i = 0; i < used; ++i) {
            if (queues[i].id == *id) {
                *index = static_cast<int32>(i);
                return &queues[i];
            }
        }
        if (used == queues.size()) {
            queues.emplace_back();
        }
        queues[used].id = *id;
        queues[used].points.clear();
        *index = static_cast<int32>(used);
        return &queues[used++];
    }
    void clear() { used = 0; }
};

class Bridge;

// The host's side for the plug-in: edits become VST 2.4 automation; the frame and, on Linux, the
// run loop the editor idles through.
class Handler final : public IComponentHandler, public IPlugFrame, public IRunLoop {
  public:
    explicit Handler(Bridge& bridge) : bridge_(bridge) {}
    tresult ZB_VST3_CALL queryInterface(const char* iid, void** obj) override {
        if (FUnknown::iid.is(iid) || IComponentHandler::iid.is(iid)) {
            *obj = static_cast<IComponentHandler*>(this);
        } else if (IPlugFrame::iid.is(iid)) {
            *obj = static_cast<IPlugFrame*>(this);
        } else if (IRunLoop::iid.is(iid)) {
            *obj = static_cast<IRunLoop*>(this);
        } else {
            *obj = nullptr;
            return kNoInterface;
        }
        return kResultOk;
    }
    uint32 ZB_VST3_CALL addRef() override { return 1; }
    uint32 ZB_VST3_CALL release() override { return 1; }
    tresult ZB_VST3_CALL beginEdit(ParamID id) override;
    tresult ZB_VST3_CALL performEdit(ParamID id, ParamValue value) override;
    tresult ZB_VST3_CALL endEdit(ParamID id) override;
    tresult ZB_VST3_CALL restartComponent(int32) override { return kResultOk; }
    tresult ZB_VST3_CALL resizeView(IPlugView* view, ViewRect* rect) override;
    tresult ZB_VST3_CALL registerEventHandler(IEventHandler* handler, int fd) override {
        events[handler] = fd;
        return kResultOk;
    }
    tresult ZB_VST3_CALL unregisterEventHandler(IEventHandler* handler) override {
        return events.erase(handler) == 1 ? kResultOk : kInvalidArgument;
    }
    tresult ZB_VST3_CALL registerTimer(ITimerHandler* handler, uint64 ms) override {
        if (ms == 0) {
            return kInvalidArgument;
        }
        timers.push_back(handler);
        return kResultOk;
    }
    tresult ZB_VST3_CALL unregisterTimer(ITimerHandler* handler) override {
        timers.erase(std::remove(timers.begin(), timers.end(), handler), timers.end());
        return kResultOk;
    }

    // One round of the run loop: every timer, and every readable descriptor.
    void idle() {
        const auto now = timers;
        for (ITimerHandler* t : now) {
            t->onTimer();
        }
#ifndef _WIN32
        const auto watched = events;
        for (const auto& [handler, fd] : watched) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 0) > 0) {
                handler->onFDIsSet(fd);
            }
        }
#endif
    }

    std::vector<ITimerHandler*> timers;
    std::map<IEventHandler*, int> events;

  private:
    Bridge& bridge_;
};

template <class T>
T* queried(FUnknown* from) {
    void* p = nullptr;
    return from != nullptr && from->queryInterface(T::iid.data(), &p) == kResultOk ? static_cast<T*>(p) : nullptr;
}

class Bridge {
  public:
    AEffect record{};
    audioMasterCallback master = nullptr;

    ~Bridge() {
        closeEditor();
        if (processor_ != nullptr) {
            processor_->setProcessing(0);
        }
        if (component_ != nullptr) {
            component_->setActive(0);
        }
        if (controller_ != nullptr) {
            controller_->setComponentHandler(nullptr);
            controller_->terminate();
            controller_->release();
        }
        if (units_ != nullptr) {
            units_->release();
        }
        if (vendorCalls_ != nullptr) {
            vendorCalls_->release();
        }
        if (processor_ != nullptr) {
            processor_->release();
        }
        if (component_ != nullptr) {
            component_->terminate();
            component_->release();
        }
        if (factory_ != nullptr) {
            factory_->release();
        }
        unload();
    }

    bool open(const std::string& binary, std::string& error) {
#ifdef _WIN32
        HMODULE h = LoadLibraryA(binary.c_str());
        handle_ = h;
        auto sym = [&](const char* s) { return reinterpret_cast<void*>(GetProcAddress(h, s)); };
        auto init = reinterpret_cast<bool (*)()>(sym("InitDll"));
        if (h == nullptr || (init != nullptr && !init())) {
            error = "cannot load '" + binary + "'";
            return false;
        }
#else
        handle_ = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto sym = [&](const char* s) { return handle_ != nullptr ? dlsym(handle_, s) : nullptr; };
        auto entry = reinterpret_cast<bool (*)(void*)>(sym("ModuleEntry"));
        if (handle_ == nullptr || entry == nullptr || !entry(handle_)) {
            error = "cannot load '" + binary + "' as a VST 3 module";
            return false;
        }
        entered_ = true;
#endif
        auto getFactory = reinterpret_cast<IPluginFactory* (*)()>(sym("GetPluginFactory"));
        factory_ = getFactory != nullptr ? getFactory() : nullptr;
        if (factory_ == nullptr) {
            error = "'" + binary + "' has no plug-in factory";
            return false;
        }
        PClassInfo info{};
        const int32 count = factory_->countClasses();
        int32 found = -1;
        for (int32 i = 0; i < count && found < 0; ++i) {
            if (factory_->getClassInfo(i, &info) == kResultOk && std::strcmp(info.category, "Audio Module Class") == 0) {
                found = i;
            }
        }
        if (found < 0) {
            error = "'" + binary + "' holds no audio effect";
            return false;
        }
        name_ = info.name;
        if (auto* f2 = queried<IPluginFactory2>(factory_)) {
            PClassInfo2 info2{};
            if (f2->getClassInfo2(found, &info2) == kResultOk) {
                vendor_ = info2.vendor;
                version_ = info2.version;
            }
            f2->release();
        }
        if (vendor_.empty()) {
            PFactoryInfo fi{};
            factory_->getFactoryInfo(&fi);
            vendor_ = fi.vendor;
        }
        void* obj = nullptr;
        if (factory_->createInstance(info.cid, IComponent::iid.data(), &obj) != kResultOk || obj == nullptr) {
            error = "'" + binary + "' made no instance of " + name_;
            return false;
        }
        component_ = static_cast<IComponent*>(obj);
        component_->initialize(nullptr);
        processor_ = queried<IAudioProcessor>(component_);
        controller_ = queried<IEditController>(component_);
        if (processor_ == nullptr || controller_ == nullptr) {
            error = name_ + ": a VST 3 effect without its processor and controller in one object is not supported";
            return false;
        }
        controller_->initialize(nullptr);
        controller_->setComponentHandler(&handler_);
        units_ = queried<IUnitInfo>(component_);
        vendorCalls_ = queried<IZornbeckVendor>(component_);
        describe();
        std::memcpy(&record.uniqueID, info.cid, 4);
        return true;
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        char* text = static_cast<char*>(ptr);
        switch (opcode) {
            case effClose:
                delete this;
                return 1;
            case effSetSampleRate:
                rate_ = opt;
                return 1;
            case effSetBlockSize:
                block_ = static_cast<int>(value);
                return 1;
            case effMainsChanged:
                return value != 0 ? start() : stop();
            case effGetProgram:
                return currentProgram();
            case effSetProgram:
                if (programId_ != kNoParam && value >= 0 && value < programs_) {
                    setValue(programId_, programs_ > 1 ? double(value) / (programs_ - 1) : 0.0);
                }
                return 0;
            case effGetProgramName:
                return programName(currentProgram(), text, 24);
            case effGetProgramNameIndexed:
                return programName(index, text, 24);
            case effGetParamName:
            case effGetParamLabel:
            case effGetParamDisplay:
                return paramText(opcode, index, text);
            case effGetChunk: {
                chunk_.bytes.clear();
                chunk_.pos = 0;
                if (component_->getState(&chunk_) != kResultOk) {
                    return 0;
                }
                *static_cast<void**>(ptr) = chunk_.bytes.data();
                return static_cast<VstIntPtr>(chunk_.bytes.size());
            }
            case effSetChunk: {
                MemoryStream s;
                s.bytes.assign(static_cast<std::uint8_t*>(ptr), static_cast<std::uint8_t*>(ptr) + value);
                if (component_->setState(&s) != kResultOk) {
                    return 0;
                }
                s.pos = 0;
                controller_->setComponentState(&s);
                return 1;
            }
            case effEditGetRect:
                return editorRect(static_cast<ERect**>(ptr));
            case effEditOpen:
                return openEditor(ptr);
            case effEditClose:
                closeEditor();
                return 1;
            case effEditIdle:
                handler_.idle();
                return 1;
            case effGetEffectName:
            case effGetProductString:
                copyText(text, kVstMaxProductStrLen, name_.c_str());
                return 1;
            case effGetVendorString:
                copyText(text, kVstMaxVendorStrLen, vendor_.c_str());
                return 1;
            case effGetVendorVersion: {
                int major = 0, minor = 0, patch = 0;
                std::sscanf(version_.c_str(), "%d.%d.%d", &major, &minor, &patch);
                return major * 1000 + minor * 100 + patch;
            }
            case effGetVstVersion:
                return 2400;
            case effGetPlugCategory:
                return kPlugCategEffect;
            case effGetTailSize:
                return static_cast<VstIntPtr>(processor_->getTailSamples());
            case effVendorSpecific:
                return vendorCalls_ != nullptr ? static_cast<VstIntPtr>(vendorCalls_->vendorSpecific(index, value, ptr, opt)) : 0;
            case effGetInputProperties:
            case effGetOutputProperties:
                return pin(opcode == effGetInputProperties ? kInput : kOutput, index, static_cast<VstPinProperties*>(ptr));
            default:
                return 0;
        }
    }

    void process(float** in, float** out, VstInt32 frames) {
        {
            std::lock_guard lock(pendingMutex_);
            input_.clear();
            for (const auto& [id, v] : pending_) {
                int32 index = 0;
                input_.addParameterData(&id, &index)->addPoint(0, v, &index);
            }
            pending_.clear();
        }
        output_.clear();
        AudioBusBuffers inBus{};
        inBus.numChannels = 2;
        inBus.channelBuffers32 = in;
        AudioBusBuffers outBus{};
        outBus.numChannels = 2;
        outBus.channelBuffers32 = out;
        ProcessData d{};
        d.processMode = kOffline;
        d.symbolicSampleSize = kSample32;
        d.numSamples = frames;
        d.numInputs = 1;
        d.numOutputs = 1;
        d.inputs = &inBus;
        d.outputs = &outBus;
        d.inputParameterChanges = &input_;
        d.outputParameterChanges = &output_;
        processor_->process(&d);
    }

    // The controller's value at once, and the processor's from the next block, as VST 3 hosts do.
    void setValue(ParamID id, double v) {
        controller_->setParamNormalized(id, v);
        std::lock_guard lock(pendingMutex_);
        pending_.emplace_back(id, v);
    }
    float getValue(VstInt32 index) { return static_cast<float>(controller_->getParamNormalized(static_cast<ParamID>(index))); }

    void automated(ParamID id, ParamValue v) {
        if (id < static_cast<ParamID>(record.numParams)) {
            master(&record, audioMasterAutomate, static_cast<VstInt32>(id), 0, nullptr, static_cast<float>(v));
        }
    }
    void gesture(VstInt32 opcode, ParamID id) {
        if (id < static_cast<ParamID>(record.numParams)) {
            master(&record, opcode, static_cast<VstInt32>(id), 0, nullptr, 0.0f);
        }
    }
    bool resized(int width, int height) {
        return master(&record, audioMasterSizeWindow, width, height, nullptr, 0.0f) != 0;
    }

  private:
    static constexpr ParamID kNoParam = 0xFFFFFFFF;

    void describe() {
        const int32 n = controller_->getParameterCount();
        ParamID highest = 0;
        for (int32 i = 0; i < n; ++i) {
            ParameterInfo info{};
            if (controller_->getParameterInfo(i, &info) != kResultOk) {
                continue;
            }
            if (info.flags & kIsProgramChange) {
                programId_ = info.id;
                programs_ = info.stepCount + 1;
            } else if (!(info.flags & kIsBypass)) {
                highest = std::max(highest, info.id);
                infos_[info.id] = info;
            }
        }
        record.numParams = static_cast<VstInt32>(highest + 1);
        if (units_ != nullptr && units_->getProgramListCount() > 0) {
            ProgramListInfo list{};
            if (units_->getProgramListInfo(0, &list) == kResultOk) {
                listId_ = list.id;
                programs_ = list.programCount;
            }
        }
        record.numPrograms = programs_;
        IPlugView* probe = controller_->createView("editor");
        if (probe != nullptr) {
            record.flags |= effFlagsHasEditor;
            probe->release();
        }
    }

    VstIntPtr start() {
        if (running_) {
            return 0;
        }
        ProcessSetup setup{kOffline, kSample32, block_, rate_};
        processor_->setupProcessing(&setup);
        SpeakerArrangement stereo = kArrangementStereo;
        component_->activateBus(kAudio, kInput, 0, 1);
        component_->activateBus(kAudio, kOutput, 0, 1);
        processor_->setBusArrangements(&stereo, 1, &stereo, 1);
        component_->setActive(1);
        processor_->setProcessing(1);
        running_ = true;
        return 0;
    }

    VstIntPtr stop() {
        if (running_) {
            processor_->setProcessing(0);
            component_->setActive(0);
            running_ = false;
        }
        return 0;
    }

    int currentProgram() {
        if (programId_ == kNoParam || programs_ < 2) {
            return 0;
        }
        const double v = controller_->getParamNormalized(programId_);
        return std::clamp(static_cast<int>(std::floor(v * (programs_ - 1) + 0.5)), 0, programs_ - 1);
    }

    VstIntPtr programName(int program, char* text, std::size_t capacity) {
        char16 name[128] = {};
        if (units_ == nullptr || listId_ < 0 || units_->getProgramName(listId_, program, name) != kResultOk) {
            text[0] = 0;
            return 0;
        }
        toUtf8(text, capacity + 1, name);
        return 1;
    }

    VstIntPtr paramText(VstInt32 opcode, VstInt32 index, char* text) {
        text[0] = 0;
        auto it = infos_.find(static_cast<ParamID>(index));
        if (it == infos_.end()) {
            return 0;
        }
        char16 value[128] = {};
        const char16* from = opcode == effGetParamName ? it->second.title : it->second.units;
        if (opcode == effGetParamDisplay) {
            controller_->getParamStringByValue(it->first, controller_->getParamNormalized(it->first), value);
            from = value;
        }
        toUtf8(text, 64, from);
        return 1;
    }

    VstIntPtr pin(BusDirection dir, VstInt32 index, VstPinProperties* pin) {
        BusInfo bus{};
        if (index < 0 || index > 1 || component_->getBusInfo(kAudio, dir, 0, &bus) != kResultOk) {
            return 0;
        }
        std::memset(pin, 0, sizeof *pin);
        toUtf8(pin->label, sizeof pin->label, bus.name);
        pin->flags = kVstPinIsActive | kVstPinIsStereo;
        return 1;
    }

    VstIntPtr editorRect(ERect** rect) {
        IPlugView* view = view_ != nullptr ? view_ : controller_->createView("editor");
        ViewRect size{};
        if (view == nullptr || view->getSize(&size) != kResultOk) {
            return 0;
        }
        if (view != view_) {
            view->release();
        }
        rect_ = {0, 0, static_cast<VstInt16>(size.bottom - size.top), static_cast<VstInt16>(size.right - size.left)};
        *rect = &rect_;
        return 1;
    }

    VstIntPtr openEditor(void* parent) {
        closeEditor();
        view_ = controller_->createView("editor");
        if (view_ == nullptr) {
            return 0;
        }
#ifdef _WIN32
        const char* platform = "HWND";
#else
        const char* platform = "X11EmbedWindowID";
#endif
        view_->setFrame(&handler_);
        if (view_->attached(parent, platform) != kResultOk) {
            closeEditor();
            return 0;
        }
        attached_ = true;
        return 1;
    }

    void closeEditor() {
        if (view_ == nullptr) {
            return;
        }
        if (attached_) {
            view_->removed();
            attached_ = false;
        }
        view_->setFrame(nullptr);
        view_->release();
        view_ = nullptr;
    }

    void unload() {
#ifdef _WIN32
        if (handle_ != nullptr) {
            auto exitDll = reinterpret_cast<bool (*)()>(
                reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), "ExitDll")));
            if (exitDll != nullptr) {
                exitDll();
            }
            FreeLibrary(static_cast<HMODULE>(handle_));
        }
#else
        if (handle_ != nullptr) {
            auto exitModule = reinterpret_cast<bool (*)()>(dlsym(handle_, "ModuleExit"));
            if (entered_ && exitModule != nullptr) {
                exitModule();
            }
            dlclose(handle_);
        }
#endif
    }

    void* handle_ = nullptr;
    bool entered_ = false;
    IPluginFactory* factory_ = nullptr;
    IComponent* component_ = nullptr;
    IAudioProcessor* processor_ = nullptr;
    IEditController* controller_ = nullptr;
    IUnitInfo* units_ = nullptr;
    IZornbeckVendor* vendorCalls_ = nullptr;
    IPlugView* view_ = nullptr;
    bool attached_ = false;
    Handler handler_{*this};
    std::string name_, vendor_, version_;
    std::map<ParamID, ParameterInfo> infos_;
    ParamID programId_ = kNoParam;
    ProgramListID listId_ = -1;
    int programs_ = 1;
    double rate_ = 44100.0;
    int block_ = 512;
    bool running_ = false;
    MemoryStream chunk_;
    ERect rect_{};
    Changes input_, output_;
    std::mutex pendingMutex_;
    std::vector<std::pair<ParamID, double>> pending_;
};

tresult Handler::beginEdit(ParamID id) {
    bridge_.gesture(audioMasterBeginEdit, id);
    return kResultOk;
}
tresult Handler::performEdit(ParamID id, ParamValue value) {
    bridge_.automated(id, value);
    return kResultOk;
}
tresult Handler::endEdit(ParamID id) {
    bridge_.gesture(audioMasterEndEdit, id);
    return kResultOk;
}
tresult Handler::resizeView(IPlugView* view, ViewRect* rect) {
    if (rect == nullptr || !bridge_.resized(rect->right - rect->left, rect->bottom - rect->top)) {
        return kResultFalse;
    }
    return view->onSize(rect);
}

Bridge* of(AEffect* e) { return static_cast<Bridge*>(e->object); }

VstIntPtr dispatchProc(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return of(e)->dispatch(opcode, index, value, ptr, opt);
}
void processProc(AEffect* e, float** in, float** out, VstInt32 frames) { of(e)->process(in, out, frames); }
void setParameterProc(AEffect* e, VstInt32 index, float value) {
    if (index >= 0 && index < e->numParams) {
        of(e)->setValue(static_cast<ParamID>(index), value);
    }
}
float getParameterProc(AEffect* e, VstInt32 index) { return of(e)->getValue(index); }

}  // namespace

AEffect* openVst3Bridge(const std::string& binary, audioMasterCallback host, std::string& error) {
    auto* bridge = new Bridge();
    bridge->master = host;
    AEffect& r = bridge->record;
    r.magic = kEffectMagic;
    r.dispatcher = &dispatchProc;
    r.process = &processProc;
    r.processReplacing = &processProc;
    r.setParameter = &setParameterProc;
    r.getParameter = &getParameterProc;
    r.numInputs = 2;
    r.numOutputs = 2;
    r.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    r.object = bridge;
    if (!bridge->open(binary, error)) {
        delete bridge;
        return nullptr;
    }
    return &r;
}

}  // namespace zb
