// Denormals are flushed while the engine renders; the host thread's own mode is restored
// afterwards.
#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define ZB_HAVE_MXCSR 1
#endif

class DenormalGuard {
  public:
#ifdef ZB_HAVE_MXCSR
    DenormalGuard() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ | 0x8040u);
    }
    ~DenormalGuard() {
        _mm_setcsr(saved_);
    }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

  private:
    unsigned int saved_;
#endif
};
