// ZEPHO.LOG kept to a size on disk. A line never starts in a file that holds
// kLogTurnOverBytes already: that file becomes the older log (ZEPHO.LOG.1,
// replacing the one before it) and a new ZEPHO.LOG begins. The log is opened at
// a check's first line, so a long log turns over there, before the check's
// transcript; a check that writes past the bound itself goes on in a new file.
// The two files together stay under twice the bound plus two lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zepho {

inline constexpr std::uint64_t kLogTurnOverBytes = std::uint64_t{1} << 20;  // 1 MiB

// The log file, as the bound needs it.
class LogStore {
 public:
  virtual ~LogStore() = default;
  // Opens the log for appending, creating it: its size in bytes, or nullopt
  // when it cannot be opened.
  virtual std::optional<std::uint64_t> Open() = 0;
  // Appends the bytes to the open log.
  virtual void Write(std::string_view bytes) = 0;
  virtual void Close() = 0;
  // The closed log becomes the older log, replacing it; false when it could
  // not, and the log is as it was.
  virtual bool TurnOver() = 0;
};

class BoundedLog {
 public:
  explicit BoundedLog(LogStore& store) : store_(store) {}
  BoundedLog(const BoundedLog&) = delete;
  BoundedLog& operator=(const BoundedLog&) = delete;

  // Appends `text` as a text-mode stream writes it (every LF as CR LF). When
  // the log cannot be opened the text is lost and the next line tries again.
  void Append(std::string_view text);
  // The check is over: the file is let go until the next line.
  void Close();
  bool IsOpen() const { return open_; }

 private:
  bool Open();

  LogStore& store_;
  bool open_ = false;
  std::uint64_t size_ = 0;
  // A turn-over that failed (the older log held open, say) is not tried again
  // before the next check, so a failing one costs one attempt per check.
  bool turn_over_failed_ = false;
  std::string line_;  // the text-mode spelling of the line being written
};

}  // namespace zepho
