// What a load of the module leaves behind after it is unloaded. Plug-in scanners load and unload
// a module thousands of times, so anything allocated per load must go with it.
#include <cstddef>  // defines the run-time library macros tested below

#if defined(__linux__)
#include <dlfcn.h>

#if defined(__GLIBCXX__)
// The statically linked C++ run-time's exception emergency pool, allocated when it is loaded.
namespace __gnu_cxx {
void __freeres();
}
#endif

namespace {

// The pixel library builds its tables when it is loaded and has no call to free them; kept loaded,
// it does that once per process instead of once per load. Cairo, FreeType and fontconfig are
// left to unload with us: their caches hold font faces made from bytes inside this module.
__attribute__((constructor)) void keepPixelLibraryLoaded() {
    dlopen("libpixman-1.so.0", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

#if defined(__GLIBCXX__)
__attribute__((destructor)) void releaseRuntime() {
    __gnu_cxx::__freeres();
}
#endif

}  // namespace
#endif
