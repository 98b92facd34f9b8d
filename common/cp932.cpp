#include "common/cp932.h"

namespace zepho {

namespace {

// The position of the character after the one starting at `i`. A lead byte at
// the very end has no second byte and stands alone.
std::size_t NextCharacter(std::string_view text, std::size_t i) {
  return IsLeadByte932(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? i + 2 : i + 1;
}

}  // namespace

std::size_t Find932(std::string_view haystack, std::string_view needle, std::size_t from,
                    ByteSearch search) {
  if (needle.empty() || haystack.empty()) return std::string_view::npos;
  // Candidates come from the plain byte search; each is kept only when it starts
  // a character. A byte that is no lead byte always ends its character, so the
  // character starts before a candidate are known from the run of lead bytes
  // just before it: the candidate starts a character when that run is even.
  // Runs are never read below the last position already known to start a
  // character, so a long text costs one pass at most, wherever the hits are.
  std::size_t known = 0;
  for (std::size_t pos = search(haystack, needle, from); pos != std::string_view::npos;
       pos = search(haystack, needle, pos + 1)) {
    std::size_t run_start = pos;
    while (run_start > known && IsLeadByte932(static_cast<unsigned char>(haystack[run_start - 1])))
      --run_start;
    if ((pos - run_start) % 2 == 0) return pos;
    // The byte at pos is the second of a character that began just before it.
    known = pos + 1;
  }
  return std::string_view::npos;
}

std::size_t Find932(std::string_view haystack, std::string_view needle, std::size_t from) {
  return Find932(haystack, needle, from, FindBytes);
}

bool OccursIn(std::string_view needle, std::string_view haystack) {
  return Find932(haystack, needle) != std::string_view::npos;
}

std::string FolderOf(std::string_view path) {
  std::size_t end = 0;  // one past the last separator found
  for (std::size_t i = 0; i < path.size(); i = NextCharacter(path, i))
    if (path[i] == '\\' || path[i] == ':') end = i + 1;
  return std::string(path.substr(0, end));
}

std::string CutAt932(std::string_view text, std::size_t max_bytes) {
  // Whole characters only: the last one that would end past the limit goes.
  std::size_t cut = 0;
  for (std::size_t next; cut < text.size() && (next = NextCharacter(text, cut)) <= max_bytes;)
    cut = next;
  return std::string(text.substr(0, cut));
}

}  // namespace zepho
