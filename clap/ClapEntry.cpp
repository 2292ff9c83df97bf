// The exported entry: a counted init/deinit and the factory of the one plug-in.
#include <cstring>
#include <mutex>
#include <new>

#include "clap/ClapAbi.h"
#include "clap/ClapPlugin.h"

#ifndef ZB_CLAP_VERSION
#define ZB_CLAP_VERSION "0"
#endif

namespace zb::clapface {

namespace {

const char* const kFeatures[] = {"audio-effect", "chorus", "delay", "frequency-shifter",
                                 "reverb",       "stereo", nullptr};

std::mutex initMutex;
int initCount = 0;

std::uint32_t factoryCount(const clap::PluginFactory*) {
    return 1;
}

const clap::PluginDescriptor* factoryDescriptor(const clap::PluginFactory*, std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap::Plugin* factoryCreate(const clap::PluginFactory*, const clap::Host* host, const char* id) {
    if (host == nullptr || id == nullptr || std::strcmp(id, kDescriptor.id) != 0) {
        return nullptr;
    }
    ClapPlugin* plugin = new (std::nothrow) ClapPlugin(host);
    return plugin != nullptr ? plugin->plugin() : nullptr;
}

const clap::PluginFactory kFactory{factoryCount, factoryDescriptor, factoryCreate};

bool entryInit(const char*) {
    std::lock_guard lock(initMutex);
    ++initCount;
    return true;
}

void entryDeinit() {
    std::lock_guard lock(initMutex);
    if (initCount > 0) {
        --initCount;
    }
}

const void* entryFactory(const char* id) {
    return id != nullptr && std::strcmp(id, clap::kPluginFactoryId) == 0 ? &kFactory : nullptr;
}

}  // namespace

const clap::PluginDescriptor kDescriptor{
    clap::kVersion,
    "com.quillfen.zornbeck",
    "Zornbeck",
    "Quillfen",
    "",
    "",
    "",
    ZB_CLAP_VERSION,
    "One voice becomes a crowd: up to 59 shifted, delayed and panned people and a room",
    kFeatures,
};

}  // namespace zb::clapface

#ifdef _WIN32
#define ZB_CLAP_EXPORT __declspec(dllexport)
#else
#define ZB_CLAP_EXPORT __attribute__((visibility("default")))
#endif

extern "C" ZB_CLAP_EXPORT const clap::PluginEntry clap_entry{
    clap::kVersion, zb::clapface::entryInit, zb::clapface::entryDeinit, zb::clapface::entryFactory};
