// The plain byte search under the program's text search: the first position at
// or after `from` where `needle` stands in `haystack`, byte for byte, or npos.
// It knows nothing of characters; Find932 (common/cp932.h) adds that.
//
// The received-id list is searched as one text of several megabytes once per
// message of a walk, so this search has a vector path. Both paths give the same
// answer for every input; the tests hold them to a brute-force search.
#pragma once

#include <cstddef>
#include <string_view>

namespace zepho {

using ByteSearch = std::size_t (*)(std::string_view haystack, std::string_view needle,
                                   std::size_t from);

// Standard library search: the path for any processor.
std::size_t FindBytesPortable(std::string_view haystack, std::string_view needle, std::size_t from);

#if defined(__SSE2__)
#define ZEPHO_HAVE_SSE2_SEARCH 1
// Sixteen positions per step: a position is a candidate when the needle's first
// and last bytes both stand where they belong; candidates are then compared.
std::size_t FindBytesSse2(std::string_view haystack, std::string_view needle, std::size_t from);
#endif

// The fastest path this build has.
std::size_t FindBytes(std::string_view haystack, std::string_view needle, std::size_t from);

// The first CR, LF or NUL at or after `from`, or npos: the bytes that end a
// line or the content of a line-based file.
std::size_t FindBreakOrNulPortable(std::string_view text, std::size_t from);
#if defined(ZEPHO_HAVE_SSE2_SEARCH)
std::size_t FindBreakOrNulSse2(std::string_view text, std::size_t from);
#endif
std::size_t FindBreakOrNul(std::string_view text, std::size_t from);

}  // namespace zepho
