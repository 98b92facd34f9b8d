// Conversions between code page 932 and UTF-16 as the platform makes them. The
// settings document needs them only for a file kept in UTF-16 or UTF-8, whose
// values reach the program as code page 932 bytes.
#pragma once

#include <string>
#include <string_view>

namespace zepho {

class Cp932Codec {
 public:
  virtual ~Cp932Codec() = default;
  // Bytes that are no character of the code page become the platform's stand-in.
  virtual std::u16string ToUtf16(std::string_view cp932) const = 0;
  // A character the code page lacks becomes its nearest one or "?".
  virtual std::string FromUtf16(std::u16string_view text) const = 0;
};

}  // namespace zepho
