// Byte-string helpers for code page 932 (Shift-JIS) text. All data of the program
// (settings values, paths, ids, header lines) are kept as such bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/byte_search.h"

namespace zepho {

// True for a byte that starts a double-byte character in code page 932.
constexpr bool IsLeadByte932(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The one text search of the program: is `needle` found in `haystack`, byte for
// byte and case-sensitive, at a position that is not the second byte of a
// double-byte character? An empty needle never occurs, nothing occurs in an
// empty haystack.
bool OccursIn(std::string_view needle, std::string_view haystack);

// Position of the first such hit at or after `from`, or npos.
std::size_t Find932(std::string_view haystack, std::string_view needle, std::size_t from = 0);
// The same with a chosen byte search (the tests hold every path to one oracle).
std::size_t Find932(std::string_view haystack, std::string_view needle, std::size_t from,
                    ByteSearch search);

// The folder part of a full path, up to and including its last backslash or
// colon that is not the second byte of a double-byte character; empty if none.
std::string FolderOf(std::string_view path);

// At most `max_bytes` leading bytes of `text`, never ending inside a
// double-byte character.
std::string CutAt932(std::string_view text, std::size_t max_bytes);

}  // namespace zepho
