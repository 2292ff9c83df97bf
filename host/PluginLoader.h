// Loads a VST 2.4 module and drives one instance of it the way a DAW does. The host, the
// black-box tests and the benchmarks all go through this class, so they exercise the real binary.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vst/VstInterface.h"

namespace zb {

// One dlopen'ed module; closes it on destruction.
class PluginModule {
public:
    // Null with a one-line message naming the path in `error` when the file is missing or is not
    // a loadable shared object.
    static std::unique_ptr<PluginModule> open(const std::string& path, std::string& error);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // The entry point under `name`, or null.
    VstPluginMainProc entry(const char* name) const;
    // VSTPluginMain, else the legacy `main`, else null.
    VstPluginMainProc findEntry() const;
    const std::string& path() const { return path_; }

private:
    PluginModule(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    void* handle_;
    std::string path_;
};

// A host callback as the plug-in made it.
struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

struct LoadOptions {
    std::string path;
    // Answer to audioMasterVersion; 0 means "no host", which a plug-in must refuse.
    VstIntPtr hostVersion = 2400;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 512;
    // Empty: VSTPluginMain, then main. Otherwise only this symbol.
    std::string entryName;
};

// One loaded module and one instance of its plug-in, started with effOpen, the sample rate, the
// block size and effMainsChanged(1); stopped and unloaded on destruction.
class PluginLoader {
public:
    // Null with a one-line message naming the path in `error` on any failure.
    static std::unique_ptr<PluginLoader> load(const LoadOptions& options, std::string& error);
    ~PluginLoader();
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    AEffect* effect() const { return effect_; }
    const std::string& path() const { return module_->path(); }
    float sampleRate() const { return sampleRate_; }
    VstInt32 blockSize() const { return blockSize_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    // Typed dispatcher calls. Texts are read from a zeroed buffer far larger than the interface's
    // limits, so an over-long answer cannot overrun it.
    std::string effectName();
    std::string vendorString();
    std::string productString();
    VstIntPtr vendorVersion() { return dispatch(effGetVendorVersion); }
    VstIntPtr vstVersion() { return dispatch(effGetVstVersion); }
    VstIntPtr category() { return dispatch(effGetPlugCategory); }
    VstIntPtr canDo(const std::string& what);
    VstInt32 program() { return static_cast<VstInt32>(dispatch(effGetProgram)); }
    void setProgram(VstInt32 program) { dispatch(effSetProgram, 0, program); }
    std::string programName();
    // Empty optional-like: `ok` false when the plug-in answers 0.
    bool programNameIndexed(VstInt32 index, std::string& name);
    std::string parameterName(VstInt32 index);
    std::string parameterLabel(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);
    bool inputProperties(VstInt32 index, VstPinProperties& pin);
    bool outputProperties(VstInt32 index, VstPinProperties& pin);

    // effGetChunk: index 1 for the current program, 0 for the bank. Empty when refused.
    std::vector<std::uint8_t> getChunk(bool program);
    // effSetChunk; the plug-in's answer.
    VstIntPtr setChunk(const std::vector<std::uint8_t>& data, bool program);

    void suspend() { dispatch(effMainsChanged, 0, 0); }
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 frames);

    void process(float** inputs, float** outputs, VstInt32 frames);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);

    // Every host callback the plug-in made since loading (or the last clear).
    std::vector<HostCall> calls() const;
    int countCalls(VstInt32 opcode) const;
    void clearCalls();
    void setHostVersion(VstIntPtr version) { hostVersion_ = version; }

    // Optional hook for audioMasterSizeWindow (width, height); answer 1 if the window was resized.
    using SizeWindowHandler = bool (*)(void* context, int width, int height);
    void setSizeWindowHandler(SizeWindowHandler handler, void* context);

private:
    PluginLoader() = default;
    static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    std::string readText(VstInt32 opcode, VstInt32 index);

    std::unique_ptr<PluginModule> module_;
    AEffect* effect_ = nullptr;
    VstIntPtr hostVersion_ = 2400;
    float sampleRate_ = 44100.0f;
    VstInt32 blockSize_ = 512;
    bool processing_ = false;
    SizeWindowHandler sizeWindow_ = nullptr;
    void* sizeWindowContext_ = nullptr;
    mutable std::mutex callsMutex_;
    std::vector<HostCall> calls_;
};

// "Zrbk" from a unique ID; non-printable bytes become '.'.
std::string fourCharText(VstInt32 code);

}  // namespace zb
