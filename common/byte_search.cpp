#include "common/byte_search.h"

#if defined(ZEPHO_HAVE_SSE2_SEARCH)
#include <emmintrin.h>
#endif

namespace zepho {

std::size_t FindBytesPortable(std::string_view haystack, std::string_view needle,
                              std::size_t from) {
  if (needle.empty()) return std::string_view::npos;
  return haystack.find(needle, from);
}

namespace {

inline bool IsBreakOrNul(char c) { return c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

std::size_t FindBreakOrNulPortable(std::string_view text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i)
    if (IsBreakOrNul(text[i])) return i;
  return std::string_view::npos;
}

#if defined(ZEPHO_HAVE_SSE2_SEARCH)

namespace {

// Index of the lowest set bit of a non-zero mask.
inline unsigned LowestBit(unsigned mask) { return static_cast<unsigned>(__builtin_ctz(mask)); }

// A candidate usually differs within its first bytes: a plain loop beats a call
// into the C library here.
inline bool SameBytes(const char* a, const char* b, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k)
    if (a[k] != b[k]) return false;
  return true;
}

}  // namespace

std::size_t FindBytesSse2(std::string_view haystack, std::string_view needle, std::size_t from) {
  const std::size_t n = needle.size();
  const std::size_t size = haystack.size();
  if (n == 0 || from > size || n > size - from) return std::string_view::npos;

  const char* const h = haystack.data();
  const char* const w = needle.data();
  const std::size_t last_start = size - n;  // the last position a hit can begin at
  const __m128i first = _mm_set1_epi8(w[0]);
  const __m128i last = _mm_set1_epi8(w[n - 1]);

  std::size_t i = from;
  // A step reads bytes i .. i+15 and i+n-1 .. i+n+14: both inside the haystack
  // while i + 16 <= last_start + 1.
  for (; i + 16 <= last_start + 1; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + n - 1));
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const std::size_t pos = i + LowestBit(mask);
      // First and last byte already agree; compare what lies between.
      if (n <= 2 || SameBytes(h + pos + 1, w + 1, n - 2)) return pos;
      mask &= mask - 1;
    }
  }
  for (; i <= last_start; ++i)
    if (SameBytes(h + i, w, n)) return i;
  return std::string_view::npos;
}

std::size_t FindBytes(std::string_view haystack, std::string_view needle, std::size_t from) {
  return FindBytesSse2(haystack, needle, from);
}

std::size_t FindBreakOrNulSse2(std::string_view text, std::size_t from) {
  const char* const t = text.data();
  const std::size_t size = text.size();
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i nul = _mm_setzero_si128();
  std::size_t i = from;
  for (; i + 16 <= size; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                     _mm_cmpeq_epi8(v, nul));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return i + LowestBit(mask);
  }
  return FindBreakOrNulPortable(text, i);
}

std::size_t FindBreakOrNul(std::string_view text, std::size_t from) {
  return FindBreakOrNulSse2(text, from);
}

#else

std::size_t FindBreakOrNul(std::string_view text, std::size_t from) {
  return FindBreakOrNulPortable(text, from);
}


std::size_t FindBytes(std::string_view haystack, std::string_view needle, std::size_t from) {
  return FindBytesPortable(haystack, needle, from);
}

#endif

}  // namespace zepho
