// What each message examined by a check was: its number, what the walk made
// of it, the check-address entry that matched it, and its From, Subject and
// Date values as the server sent them (decoded only when they are shown).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/new_mail_detection.h"

namespace zepho {

enum class ExaminedState {
  NewNotable,  // new, and the user asked to be told about it
  New,         // new, nothing to tell
  Received,    // the mail client has it: the walk stopped there
};

struct ExaminedMessage {
  std::int32_t number = 0;  // on the server
  ExaminedState state = ExaminedState::New;
  int entry = kNoEntry;     // the slot of the matching check address
  std::string from, subject, date;
  bool operator==(const ExaminedMessage&) const = default;
};

// A walk keeps at most this many rows (the newest); the rest are only counted.
inline constexpr std::size_t kMaxExaminedRows = 1000;
// Each of the three values is kept up to this many bytes.
inline constexpr std::size_t kMaxExaminedValueBytes = 512;

class ExaminedMessages {
 public:
  // A new walk with the check addresses it compares with.
  void Begin(const CheckList& list);
  void Clear() { *this = ExaminedMessages{}; }
  // One message whose TOP reply was evaluated.
  void Record(std::int32_t number, const MessageVerdict& verdict, std::string_view top_reply);

  const std::vector<ExaminedMessage>& rows() const { return rows_; }
  std::size_t dropped() const { return dropped_; }  // examined but not kept
  const CheckList& check_list() const { return list_; }

 private:
  CheckList list_{};
  std::vector<ExaminedMessage> rows_;
  std::size_t dropped_ = 0;
  std::string fields_[3];  // reused for each reply
};

// At most kMaxExaminedValueBytes leading bytes of a header value, cut where
// the value still decodes as far as it goes: at a blank (between two
// encoded-words) when one is near the bound, else at a character boundary of
// UTF-8 or code page 932, whichever the value is in.
std::string BoundedValue(std::string_view value);

}  // namespace zepho
