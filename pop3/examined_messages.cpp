#include "pop3/examined_messages.h"

#include <array>

#include "common/charset_decode.h"
#include "common/cp932.h"
#include "common/mail_header.h"

namespace zepho {

namespace {

ExaminedState StateOf(const MessageVerdict& v) {
  if (!v.is_new) return ExaminedState::Received;
  return v.notable ? ExaminedState::NewNotable : ExaminedState::New;
}

bool IsUtf8Continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::string BoundedValue(std::string_view value) {
  if (value.size() <= kMaxExaminedValueBytes) return std::string(value);
  std::string_view head = value.substr(0, kMaxExaminedValueBytes);
  // A blank in the last quarter: encoded-words stand whole before it.
  const std::size_t blank = head.find_last_of(" \t");
  if (blank != std::string_view::npos && blank >= kMaxExaminedValueBytes * 3 / 4)
    return std::string(head.substr(0, blank));
  if (IsValidUtf8(value)) {
    std::size_t cut = head.size();
    while (cut > 0 && IsUtf8Continuation(static_cast<unsigned char>(value[cut]))) --cut;
    return std::string(head.substr(0, cut));
  }
  return CutAt932(value, kMaxExaminedValueBytes);
}

void ExaminedMessages::Begin(const CheckList& list) {
  list_ = list;
  rows_.clear();
  dropped_ = 0;
}

void ExaminedMessages::Record(std::int32_t number, const MessageVerdict& verdict,
                              std::string_view top_reply) {
  if (rows_.size() >= kMaxExaminedRows) {
    ++dropped_;
    return;
  }
  static constexpr std::array<std::string_view, 3> kNames = {"From", "Subject", "Date"};
  ReadHeaderFields(top_reply, kNames, fields_);
  rows_.push_back({number, StateOf(verdict), verdict.entry, BoundedValue(fields_[0]),
                   BoundedValue(fields_[1]), BoundedValue(fields_[2])});
}

}  // namespace zepho
