#pragma once

// The steps are inlined into their loops, scalar and in lanes, wherever they
// are used.
#if defined(__GNUC__)
#define MANDEL_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define MANDEL_ALWAYS_INLINE inline
#endif
