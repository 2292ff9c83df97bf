// Scanners load and unload a module thousands of times: a load must leave next to nothing behind.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <string>

namespace {

std::string modulePath() {
    const char* dir = std::getenv("ZORNBECK_BUILD");
    return std::string(dir ? dir : ".") + "/Zornbeck.so";
}

}  // namespace

TEST(ModuleUnload, LoadingAndUnloadingLeavesNoHeapBehind) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator does not report through mallinfo2";
#endif
    const std::string path = modulePath();
    auto cycle = [&] {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        ASSERT_NE(dlsym(handle, "VSTPluginMain"), nullptr);
        dlclose(handle);
    };
    for (int i = 0; i < 3; ++i) {
        cycle();  // the loader's own bookkeeping settles
    }
    const std::size_t before = mallinfo2().uordblks;
    constexpr int kCycles = 50;
    for (int i = 0; i < kCycles; ++i) {
        cycle();
    }
    const double perCycle =
        (static_cast<double>(mallinfo2().uordblks) - static_cast<double>(before)) / kCycles;
    // The run-time's exception pool and the pixel library's tables were 83 kB a load.
    EXPECT_LT(perCycle, 1024.0) << "bytes per load";
}
