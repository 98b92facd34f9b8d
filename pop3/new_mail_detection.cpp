#include "pop3/new_mail_detection.h"

#include "common/cp932.h"

namespace zepho {

std::string_view TextBeforeNul(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string ParseUid(std::string_view reply) {
  reply = TextBeforeNul(reply);
  const std::size_t first = reply.find(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t second = reply.find(' ', first + 1);
  if (second == std::string_view::npos) return {};
  std::string_view rest = reply.substr(second + 1);
  return std::string(rest.substr(0, rest.find('\r')));
}

bool IsNewMessage(const std::string* received, std::string_view uid) {
  if (received == nullptr || received->empty()) return true;
  return !OccursIn(uid, *received);
}

int LineMatchingEntry(const CheckList& list, std::string_view line) {
  line = TextBeforeNul(line);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (OccursIn(list[i].header, line) && OccursIn(list[i].address, line))
      return static_cast<int>(i);
  return kNoEntry;
}

bool LineMatches(const CheckList& list, std::string_view line) {
  return LineMatchingEntry(list, line) != kNoEntry;
}

bool HeadersMatch(const CheckList& list, std::string_view top_reply) {
  return MatchingEntry(list, top_reply) != kNoEntry;
}

int MatchingEntry(const CheckList& list, std::string_view top_reply) {
  std::size_t pos = 0;
  while (pos < top_reply.size()) {
    // A line runs through its CR, or up to (not through) a bare LF; the byte
    // after it is skipped either way.
    const std::size_t stop = top_reply.find_first_of("\r\n", pos);
    std::string_view line;
    std::size_t next;
    if (stop == std::string_view::npos) {
      line = top_reply.substr(pos);
      next = top_reply.size();
    } else if (top_reply[stop] == '\r') {
      line = top_reply.substr(pos, stop + 1 - pos);
      next = stop + 2;
    } else {
      line = top_reply.substr(pos, stop - pos);
      next = stop + 1;
    }
    if (const int entry = LineMatchingEntry(list, line); entry != kNoEntry) return entry;
    // Two bytes is the "." line, but also any one-character line.
    if (line.size() == 2) return kNoEntry;
    pos = next;
  }
  return kNoEntry;
}

MessageVerdict EvaluateMessage(const CheckList& list, std::int32_t not_popup,
                               const std::string* received, std::string_view uid,
                               std::string_view top_reply, WalkState& walk) {
  const int entry = MatchingEntry(list, top_reply);
  const bool matched = entry != kNoEntry;
  const bool notable = (matched && not_popup == 0) || (!matched && not_popup == 1);
  const bool is_new = IsNewMessage(received, uid);
  if (notable) {
    if (is_new) {
      walk.MatchFound = 1;
      walk.MessageIndex = 0;
    } else {
      walk.MatchFound = 0;
    }
  }
  if (is_new)
    ++walk.NewMailCount;
  else
    walk.MessageIndex = 0;
  return {is_new, notable, entry};
}

}  // namespace zepho
