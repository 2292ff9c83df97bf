#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "PluginLoader.h"
#include "TestPaths.h"

namespace {

using zb::LoadOptions;
using zb::PluginLoader;

std::string loadError(const LoadOptions& options) {
    std::string error;
    std::unique_ptr<PluginLoader> plugin = PluginLoader::load(options, error);
    EXPECT_EQ(plugin, nullptr);
    return error;
}

std::string loadError(const std::string& path) {
    LoadOptions options;
    options.path = path;
    return loadError(options);
}

std::string libmPath() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&::cos)), &info);
    return info.dli_fname;
}

TEST(Loader, RefusesWhatIsNotAPluginWithOneLineNamingThePath) {
    const std::string missing = buildPath("no-such-module.so");
    const std::string notElf = buildPath("loader-test-not-a-module.so");
    std::ofstream(notElf) << "just text\n";
    const std::string libm = libmPath();

    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {missing, "no such file"},
        {notElf, "not a loadable shared object"},
        {buildDir(), "directory"},
        {libm, "not a VST 2.4 plug-in"},
        {buildPath("zbtest_refuses.so"), "refused to load"},
        {buildPath("zbtest_badmagic.so"), "magic"},
    };
    for (const Case& c : cases) {
        const std::string error = loadError(c.path);
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    unlink(notElf.c_str());
}

TEST(Loader, AHostAnsweringVersionZeroGetsNoPlugin) {
    LoadOptions options;
    options.path = buildPath("zbtest_fake.so");
    options.hostVersion = 0;
    EXPECT_NE(loadError(options).find("refused to load"), std::string::npos);
}

TEST(Loader, LooksUpOnlyTheEntryItIsToldTo) {
    LoadOptions options;
    options.path = buildPath("zbtest_fake.so");
    options.entryName = "main";  // the fake exports only VSTPluginMain
    EXPECT_NE(loadError(options).find("exports no main"), std::string::npos);
}

TEST(Loader, StartsAndStopsThePluginInTheOrderOfADaw) {
    const std::string path = buildPath("zbtest_fake.so");
    LoadOptions options;
    options.path = path;
    options.sampleRate = 48000.0f;
    options.blockSize = 256;
    std::string error;
    std::unique_ptr<PluginLoader> plugin = PluginLoader::load(options, error);
    ASSERT_NE(plugin, nullptr) << error;

    // Our own reference keeps the module mapped after the loader's dlclose, so its log can be read.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto logCount = reinterpret_cast<int (*)()>(dlsym(handle, "zbtestLogCount"));
    auto logEntry = reinterpret_cast<const VstIntPtr* (*)(int)>(dlsym(handle, "zbtestLogEntry"));
    ASSERT_NE(logCount, nullptr);
    ASSERT_NE(logEntry, nullptr);
    const int before = logCount();

    // The request made during construction reached this loader, after the version question.
    const std::vector<zb::HostCall> calls = plugin->calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[1].opcode, audioMasterWantMidi);

    plugin.reset();
    std::vector<std::pair<VstIntPtr, VstIntPtr>> log;
    for (int i = 0; i < logCount(); ++i) {
        log.emplace_back(logEntry(i)[0], logEntry(i)[1]);
    }
    dlclose(handle);

    const std::vector<std::pair<VstIntPtr, VstIntPtr>> start = {
        {effOpen, 0}, {effSetSampleRate, 48000}, {effSetBlockSize, 256}, {effMainsChanged, 1}};
    const std::vector<std::pair<VstIntPtr, VstIntPtr>> stop = {{effMainsChanged, 0}, {effClose, 0}};
    ASSERT_GE(before, 4);
    ASSERT_EQ(log.size(), static_cast<std::size_t>(before) + 2);
    EXPECT_EQ(std::vector(log.begin() + before - 4, log.begin() + before), start);
    EXPECT_EQ(std::vector(log.begin() + before, log.end()), stop);
}

TEST(Loader, TypedCallsReachThePlugin) {
    LoadOptions options;
    options.path = buildPath("zbtest_fake.so");
    std::string error;
    std::unique_ptr<PluginLoader> plugin = PluginLoader::load(options, error);
    ASSERT_NE(plugin, nullptr) << error;
    EXPECT_EQ(plugin->vendorString(), "Test Vendor");
    EXPECT_EQ(zb::fourCharText(plugin->effect()->uniqueID), "Fake");
    std::string name;
    EXPECT_TRUE(plugin->programNameIndexed(1, name));
    EXPECT_EQ(name, "Beta Two");
    EXPECT_FALSE(plugin->programNameIndexed(3, name));
    plugin->setProgram(2);
    EXPECT_EQ(plugin->program(), 2);
    plugin->setParameter(0, 0.75f);
    EXPECT_EQ(plugin->getParameter(0), 0.75f);

    std::vector<float> in(64, 0.5f), out0(64), out1(64);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    plugin->process(inputs, outputs, 64);
    EXPECT_EQ(out0[63], 0.375f);
    EXPECT_EQ(out1[0], 0.375f);
}

}  // namespace
