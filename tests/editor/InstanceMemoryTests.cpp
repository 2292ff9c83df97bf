// Many instances in one host process, as a session of a DAW has them: the resident memory they
// take together.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "PluginLoader.h"
#include "tests/blackbox/BlackBox.h"
#include "vst/ZornbeckExtensions.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define ZB_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZB_SANITIZED 1
#endif

namespace {

// Sanitizers keep shadow memory and quarantines: their resident figures say nothing of ours.
bool sanitized() {
#ifdef ZB_SANITIZED
    return true;
#else
    return false;
#endif
}

// Resident set size of this process, in kB.
long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// A module the linker has just written sits in the page cache in the large pieces it was written
// in, and the kernel maps a whole piece at the first touch: 2.4 MB more of its read-only data
// counted resident than when a host loads it from disk. Its cached pages are dropped first, so
// the figure is a host's (the tests run alone, so no other process holds them mapped).
void dropModuleFromPageCache() {
    const int fd = open(bb::modulePath().c_str(), O_RDONLY);
    if (fd < 0)
        return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

// Loads an instance the way a host does (open, rate, block size, resume), asks for its editor's
// size and processes a second of noise.
std::unique_ptr<zb::PluginLoader> startInstance(unsigned seed, bool drawEditor = false) {
    auto plugin = bb::loadModule();
    if (!plugin)
        return nullptr;
    ERect* rect = nullptr;
    plugin->dispatch(effEditGetRect, 0, 0, &rect);
    if (drawEditor) {
        // The editor built, drawn and closed again, as for a host's thumbnail.
        std::vector<std::uint32_t> pixels(620 * 432);
        ZornbeckScreenshot shot{620, 432, 620 * 4, pixels.data()};
        if (plugin->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot) != 1)
            return nullptr;
    }
    bb::Stereo in(512), out(512);
    for (int block = 0; block < 87; ++block) {
        bb::fillNoise(in.left, seed);
        bb::fillNoise(in.right, seed);
        plugin->process(in.both(), out.both(), 512);
    }
    return plugin;
}

TEST(InstanceMemory, SixteenInstancesStayUnder45MB) {
    if (sanitized())
        GTEST_SKIP() << "resident memory is not comparable under a sanitizer";
    dropModuleFromPageCache();
    const long before = residentKb();
    std::vector<std::unique_ptr<zb::PluginLoader>> instances;
    std::vector<long> after;
    for (unsigned i = 0; i < 16; ++i) {
        instances.push_back(startInstance(i + 1));
        ASSERT_NE(instances.back(), nullptr);
        after.push_back(residentKb());
    }
    const long perInstance = (after[15] - after[0]) / 15;
    std::printf(
        "resident: %ld kB before, %ld kB with one instance, %ld kB with 16 (%ld kB per further instance)\n",
        before, after[0], after[15], perInstance);
    EXPECT_LE(after[15], 45L * 1024);
}

TEST(InstanceMemory, SixteenInstancesWithTheirEditorsDrawnStayUnder45MB) {
    if (sanitized())
        GTEST_SKIP() << "resident memory is not comparable under a sanitizer";
    dropModuleFromPageCache();
    std::vector<std::unique_ptr<zb::PluginLoader>> instances;
    std::vector<long> after;
    for (unsigned i = 0; i < 16; ++i) {
        instances.push_back(startInstance(i + 1, true));
        ASSERT_NE(instances.back(), nullptr);
        after.push_back(residentKb());
    }
    std::printf("resident with each editor drawn once: %ld kB with one instance, %ld kB with 16\n", after[0],
                after[15]);
    EXPECT_LE(after[15], 45L * 1024);
}

}  // namespace
