// The port through which the settings document reaches its file: read whole,
// replaced whole. On Windows it writes a temporary file beside the old one and
// puts it in place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zepho {

class IniFile {
 public:
  enum class ReadResult { kRead, kMissing, kFailed };

  virtual ~IniFile() = default;
  // The full path in UTF-16, as the error message names it.
  virtual std::wstring Path() const = 0;
  // The whole file into `bytes`. kMissing when there is no file; kFailed when it
  // cannot be read or holds more than `max_bytes`.
  virtual ReadResult Read(std::string& bytes, std::size_t max_bytes) = 0;
  // Puts `bytes` in place of the file, creating it; false leaves the file as it was.
  virtual bool Replace(std::string_view bytes) = 0;
};

}  // namespace zepho
