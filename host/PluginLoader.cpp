#include "PluginLoader.h"

#include "Vst3Bridge.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ClapBridge.h"

namespace zb {

namespace {

// The plug-in calls back before it has handed us its AEffect (the version query, and requests made
// during its construction), so the loader being set up is known per thread until then. Afterwards
// the loader sits in resvd1, the field the interface reserves for the host; the registry of live
// loaders keeps a stray value there from being followed.
thread_local PluginLoader* loaderBeingSetUp = nullptr;
std::mutex registryMutex;
std::vector<PluginLoader*> liveLoaders;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

std::string fourCharText(VstInt32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

std::unique_ptr<PluginModule> PluginModule::open(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = "cannot load " + quoted(path) + ": no such file";
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "cannot load " + quoted(path) + ": it is a directory";
        return nullptr;
    }
#ifdef _WIN32
    // The module's own folder is searched for what it imports, as Windows DAWs load plug-ins.
    HMODULE handle = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (handle == nullptr) {
        error = "cannot load " + quoted(path) + ": not a loadable DLL (error " + std::to_string(::GetLastError()) +
                ")";
        return nullptr;
    }
#else
    // A bare name would make dlopen search the system's library path instead of the file meant.
    const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        error = "cannot load " + quoted(path) + ": not a loadable shared object (" +
                (reason != nullptr ? reason : "unknown reason") + ")";
        return nullptr;
    }
#endif
    return std::unique_ptr<PluginModule>(new PluginModule(reinterpret_cast<void*>(handle), path));
}

#ifdef _WIN32
PluginModule::~PluginModule() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

VstPluginMainProc PluginModule::entry(const char* name) const {
    return reinterpret_cast<VstPluginMainProc>(
        reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name)));
}
#else
PluginModule::~PluginModule() { ::dlclose(handle_); }

VstPluginMainProc PluginModule::entry(const char* name) const {
    ::dlerror();
    void* symbol = ::dlsym(handle_, name);
    return reinterpret_cast<VstPluginMainProc>(symbol);
}
#endif

VstPluginMainProc PluginModule::findEntry() const {
    if (VstPluginMainProc proc = entry("VSTPluginMain")) {
        return proc;
    }
    return entry("main");
}

std::unique_ptr<PluginLoader> PluginLoader::load(const LoadOptions& options, std::string& error) {
    std::unique_ptr<PluginLoader> loader(new PluginLoader());
    // A VST 3 bundle is its binary, driven through an adapter with a VST 2.4 record.
    const bool bundle = isVst3Bundle(options.path);
    loader->module_ = PluginModule::open(bundle ? vst3BinaryPath(options.path) : options.path, error);
    if (!loader->module_) {
        return nullptr;
    }
    const std::string& path = options.path;
    VstPluginMainProc entry = options.entryName.empty() ? loader->module_->findEntry()
                                                        : loader->module_->entry(options.entryName.c_str());
    if (isClapPath(path) && options.entryName.empty()) {
        entry = clapBridgeEntry(path);  // a CLAP plug-in behind a VST 2.4 record
    }
    if (entry == nullptr && !bundle) {
        error = quoted(path) + " is not a VST 2.4 plug-in: it exports no " +
                (options.entryName.empty() ? std::string("VSTPluginMain or main") : options.entryName);
        return nullptr;
    }
    loader->hostVersion_ = options.hostVersion;
    loader->sampleRate_ = options.sampleRate;
    loader->blockSize_ = options.blockSize;

    loaderBeingSetUp = loader.get();
    AEffect* effect = bundle ? openVst3Bridge(loader->module_->path(), &PluginLoader::hostCallback, error)
                             : entry(&PluginLoader::hostCallback);
    loaderBeingSetUp = nullptr;
    if (effect == nullptr && bundle) {
        return nullptr;
    }
    if (effect == nullptr) {
        error = isClapPath(path) ? clapBridgeError()
                                 : quoted(path) + " refused to load: its entry point returned no plug-in";
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(effect->magic));
        // The record is not ours to close: with a wrong magic nothing in it can be trusted.
        error = quoted(path) + " is not a VST 2.4 plug-in: its entry point returned a record with magic " + hex +
                " instead of 'VstP'";
        return nullptr;
    }
    if (effect->dispatcher == nullptr) {
        error = quoted(path) + " is not a usable VST 2.4 plug-in: it has no dispatcher";
        return nullptr;
    }
    loader->effect_ = effect;
    effect->resvd1 = reinterpret_cast<VstIntPtr>(loader.get());
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        liveLoaders.push_back(loader.get());
    }

    // The order a DAW uses: open, then rate and block size while suspended, then resume.
    loaderBeingSetUp = loader.get();
    loader->dispatch(effOpen);
    loaderBeingSetUp = nullptr;
    loader->dispatch(effSetSampleRate, 0, 0, nullptr, loader->sampleRate_);
    loader->dispatch(effSetBlockSize, 0, loader->blockSize_);
    loader->dispatch(effMainsChanged, 0, 1);
    return loader;
}

PluginLoader::~PluginLoader() {
    if (effect_ != nullptr) {
        dispatch(effMainsChanged, 0, 0);
        // effClose deletes the plug-in together with its AEffect.
        effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
        effect_ = nullptr;
        std::lock_guard<std::mutex> lock(registryMutex);
        liveLoaders.erase(std::remove(liveLoaders.begin(), liveLoaders.end(), this), liveLoaders.end());
    }
    // module_ goes last: dlclose only after the plug-in is gone.
}

VstIntPtr PluginLoader::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginLoader::readText(VstInt32 opcode, VstInt32 index) {
    char buffer[512] = {};
    dispatch(opcode, index, 0, buffer, 0.0f);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string PluginLoader::effectName() { return readText(effGetEffectName, 0); }
std::string PluginLoader::vendorString() { return readText(effGetVendorString, 0); }
std::string PluginLoader::productString() { return readText(effGetProductString, 0); }
std::string PluginLoader::programName() { return readText(effGetProgramName, 0); }
std::string PluginLoader::parameterName(VstInt32 index) { return readText(effGetParamName, index); }
std::string PluginLoader::parameterLabel(VstInt32 index) { return readText(effGetParamLabel, index); }
std::string PluginLoader::parameterDisplay(VstInt32 index) { return readText(effGetParamDisplay, index); }

VstIntPtr PluginLoader::canDo(const std::string& what) {
    std::vector<char> text(what.begin(), what.end());
    text.push_back('\0');
    return dispatch(effCanDo, 0, 0, text.data(), 0.0f);
}

bool PluginLoader::programNameIndexed(VstInt32 index, std::string& name) {
    char buffer[512] = {};
    const bool ok = dispatch(effGetProgramNameIndexed, index, -1, buffer, 0.0f) != 0;
    buffer[sizeof buffer - 1] = '\0';
    name = buffer;
    return ok;
}

bool PluginLoader::inputProperties(VstInt32 index, VstPinProperties& pin) {
    pin = VstPinProperties{};
    return dispatch(effGetInputProperties, index, 0, &pin, 0.0f) != 0;
}

bool PluginLoader::outputProperties(VstInt32 index, VstPinProperties& pin) {
    pin = VstPinProperties{};
    return dispatch(effGetOutputProperties, index, 0, &pin, 0.0f) != 0;
}

std::vector<std::uint8_t> PluginLoader::getChunk(bool program) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, program ? 1 : 0, 0, &data, 0.0f);
    if (size <= 0 || data == nullptr) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

VstIntPtr PluginLoader::setChunk(const std::vector<std::uint8_t>& data, bool program) {
    // The plug-in may keep nothing of ours, but it gets a writable copy all the same.
    std::vector<std::uint8_t> copy = data;
    return dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(copy.size()), copy.data(), 0.0f);
}

void PluginLoader::setSampleRate(float rate) {
    sampleRate_ = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void PluginLoader::setBlockSize(VstInt32 frames) {
    blockSize_ = frames;
    dispatch(effSetBlockSize, 0, frames);
}

void PluginLoader::process(float** inputs, float** outputs, VstInt32 frames) {
    processing_ = true;
    effect_->processReplacing(effect_, inputs, outputs, frames);
    processing_ = false;
}

void PluginLoader::setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }

float PluginLoader::getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }

std::vector<HostCall> PluginLoader::calls() const {
    std::lock_guard<std::mutex> lock(callsMutex_);
    return calls_;
}

int PluginLoader::countCalls(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(callsMutex_);
    return static_cast<int>(
        std::count_if(calls_.begin(), calls_.end(), [opcode](const HostCall& c) { return c.opcode == opcode; }));
}

void PluginLoader::clearCalls() {
    std::lock_guard<std::mutex> lock(callsMutex_);
    calls_.clear();
}

void PluginLoader::setSizeWindowHandler(SizeWindowHandler handler, void* context) {
    sizeWindow_ = handler;
    sizeWindowContext_ = context;
}

VstIntPtr PluginLoader::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt) {
    PluginLoader* loader = loaderBeingSetUp;
    if (loader == nullptr && effect != nullptr) {
        auto* candidate = reinterpret_cast<PluginLoader*>(effect->resvd1);
        std::lock_guard<std::mutex> lock(registryMutex);
        if (std::find(liveLoaders.begin(), liveLoaders.end(), candidate) != liveLoaders.end()) {
            loader = candidate;
        }
    }
    if (loader == nullptr) {
        // A call we cannot place: only the version question has a meaningful answer.
        return opcode == audioMasterVersion ? 2400 : 0;
    }
    return loader->answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginLoader::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    try {
        std::lock_guard<std::mutex> lock(callsMutex_);
        calls_.push_back(HostCall{opcode, index, value, opt});
    } catch (...) {
        // Recording is for tests; a failed allocation must not cross into the plug-in.
    }
    switch (opcode) {
        case audioMasterVersion:
            return hostVersion_;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate_);
        case audioMasterGetBlockSize:
            return blockSize_;
        case audioMasterGetCurrentProcessLevel:
            return processing_ ? 2 : 1;
        case audioMasterGetVendorString:
            if (ptr != nullptr) {
                std::strcpy(static_cast<char*>(ptr), "Quillfen");
                return 1;
            }
            return 0;
        case audioMasterGetProductString:
            if (ptr != nullptr) {
                std::strcpy(static_cast<char*>(ptr), "zornbeck host");
                return 1;
            }
            return 0;
        case audioMasterIOChanged:
            // The counts and latency are read from the record at every use, so a change is taken.
            return 1;
        case audioMasterSizeWindow:
            return sizeWindow_ != nullptr && sizeWindow_(sizeWindowContext_, index, static_cast<int>(value)) ? 1 : 0;
        default:
            return 0;
    }
}

}  // namespace zb
