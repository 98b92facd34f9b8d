#include "common/cp932.h"

namespace zepho {

namespace {

// The position of the character after the one starting at `i`. A lead byte at
// the very end has no second byte and stands alone.
std::size_t NextCharacter(std::string_view text, std::size_t i) {
  return IsLeadByte932(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? i + 2 : i + 1;
}

}  // namespace

std::size_t Find932(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (needle.empty() || haystack.empty()) return std::string_view::npos;
  // Candidates come from the plain byte search; each is kept only when it starts
  // a character. The walk over character starts only ever moves forward, so a
  // long text (the whole received-id list) costs one pass at most.
  std::size_t boundary = 0;
  for (std::size_t pos = haystack.find(needle, from); pos != std::string_view::npos;
       pos = haystack.find(needle, pos + 1)) {
    while (boundary < pos) boundary = NextCharacter(haystack, boundary);
    if (boundary == pos) return pos;
  }
  return std::string_view::npos;
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
