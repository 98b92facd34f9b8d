#include "pop3/bounded_log.h"

namespace zepho {

bool BoundedLog::Open() {
  const std::optional<std::uint64_t> size = store_.Open();
  open_ = size.has_value();
  size_ = size.value_or(0);
  return open_;
}

void BoundedLog::Append(std::string_view text) {
  if (!open_ && !Open()) return;
  if (size_ >= kLogTurnOverBytes && !turn_over_failed_) {
    store_.Close();
    open_ = false;
    if (!store_.TurnOver()) turn_over_failed_ = true;
    if (!Open()) return;
  }
  line_.clear();
  for (const char c : text) {
    if (c == '\n') line_ += '\r';
    line_ += c;
  }
  store_.Write(line_);
  size_ += line_.size();
}

void BoundedLog::Close() {
  if (open_) store_.Close();
  open_ = false;
  turn_over_failed_ = false;
  std::string().swap(line_);  // a long reply's copy is not kept
}

}  // namespace zepho
