#pragma once

#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QUORVEL_SSE2 1
#endif

namespace quorvel {

// The first of `a` or `b` in [from, to); `to` when neither is there. Eight
// units at a time where the processor allows: pages are walked by it.
inline const char16_t* findEither(const char16_t* from, const char16_t* to, char16_t a,
                                  char16_t b) {
#ifdef QUORVEL_SSE2
    const __m128i va = _mm_set1_epi16(short(a));
    const __m128i vb = _mm_set1_epi16(short(b));
    while (to - from >= 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(x, va), _mm_cmpeq_epi16(x, vb))));
        if (mask != 0) {
            return from + (std::countr_zero(mask) >> 1);
        }
        from += 8;
    }
#endif
    while (from < to && *from != a && *from != b) {
        ++from;
    }
    return from;
}

}  // namespace quorvel
