// Which messages on the server are new to the mail client, and which of them
// the user asked to be told about (the check-address list).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/check_list.h"

namespace zepho {

inline constexpr char kDummyUid[] = "dmy data strings";

// A text as far as its first NUL byte: a NUL ends what is read out of a
// reply (an id, the APOP timestamp, a header line to match), as it ends a
// text in the platform's string functions.
std::string_view TextBeforeNul(std::string_view bytes);

// The id of a positive UIDL reply: after its second space, up to the first CR.
// A reply with fewer than two spaces gives the empty id.
std::string ParseUid(std::string_view reply);

// `received` is the whole text of the client's received-id list (each line
// followed by CR LF), or null when the client has no list.
bool IsNewMessage(const std::string* received, std::string_view uid);

// The slot of the first entry whose two texts occur in the line, or kNoEntry.
// The line is matched as far as its first NUL byte.
inline constexpr int kNoEntry = -1;
int LineMatchingEntry(const CheckList& list, std::string_view line);
bool LineMatches(const CheckList& list, std::string_view line);
// The entry that matched the first matching line of a TOP reply, or kNoEntry.
int MatchingEntry(const CheckList& list, std::string_view top_reply);
bool HeadersMatch(const CheckList& list, std::string_view top_reply);

struct WalkState {
  std::int32_t MatchFound = 0;
  std::int32_t NewMailCount = 0;
  std::int32_t MessageIndex = 0;
};

// What the walk made of one message: whether it was new and notable, and the
// check-address entry that matched it (kNoEntry when none did).
struct MessageVerdict {
  bool is_new = false;
  bool notable = false;
  int entry = kNoEntry;
  bool operator==(const MessageVerdict&) const = default;
};

MessageVerdict EvaluateMessage(const CheckList& list, std::int32_t not_popup,
                               const std::string* received, std::string_view uid,
                               std::string_view top_reply, WalkState& walk);

}  // namespace zepho
