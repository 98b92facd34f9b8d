// Decoding the bytes of a named MIME charset to UTF-16 text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zepho {

enum class Charset {
  UsAscii,
  Latin1,     // ISO-8859-1 read as Windows reads it: code page 1252
  Utf8,
  ShiftJis,   // code page 932 (Shift_JIS, Windows-31J, MS932, ...)
  EucJp,
  Iso2022Jp,  // as code page 50220 reads it, half-width katakana included
};

// The charset of a MIME charset name, in any letter case; an RFC 2231 language
// suffix ("ISO-2022-JP*ja") is ignored. None for a name we cannot read.
std::optional<Charset> CharsetNamed(std::string_view name);

// Appends characters to a UTF-16 string up to a number of code units. The first
// character that does not fit whole (a surrogate pair is never split) is
// dropped with everything after it.
class Utf16Writer {
 public:
  Utf16Writer(std::u16string& out, std::size_t limit) : out_(out), limit_(limit) {}
  void Put(char32_t c);
  bool Full() const { return full_; }

 private:
  std::u16string& out_;
  std::size_t limit_;
  bool full_ = false;
};

// Decodes `bytes` of `charset`; bytes that are invalid in it come out as U+FFFD.
// Never more UTF-16 units than there are bytes. Control characters pass
// through as they are.
void DecodeCharset(Charset charset, std::string_view bytes, Utf16Writer& out);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

}  // namespace zepho
