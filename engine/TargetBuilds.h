// Marks the functions between a begin and ZB_END_TARGET as built for a wider instruction set,
// with each compiler's own pragma; which build runs is measured at load (KernelChoice.h).
#pragma once

#if defined(__clang__)
#define ZB_BEGIN_AVX2 _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define ZB_BEGIN_AVX512 \
    _Pragma("clang attribute push(__attribute__((target(\"avx2,avx512f\"))), apply_to = function)")
#define ZB_END_TARGET _Pragma("clang attribute pop")
#else
#define ZB_BEGIN_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define ZB_BEGIN_AVX512 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,avx512f\")")
#define ZB_END_TARGET _Pragma("GCC pop_options")
#endif
