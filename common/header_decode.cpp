#include "common/header_decode.h"

#include <algorithm>
#include <optional>

#include "common/charset_decode.h"

namespace zepho {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllBlank(std::string_view s) { return std::all_of(s.begin(), s.end(), IsBlank); }

// A charset token: printable ASCII but the separators of RFC 2047 (the dot is
// let through for names like "ansi_x3.4-1968").
bool IsCharsetChar(char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  constexpr std::string_view kSeparators = "()<>@,;:\"/[]?=";
  return kSeparators.find(c) == std::string_view::npos;
}

struct EncodedWord {
  std::string_view charset;  // language suffix included
  char encoding;             // 'B' or 'Q'
  std::string_view text;
  std::size_t end;  // one past its "?="
};

// The encoded-word whose "=?" stands at `at`, if it is one in form.
std::optional<EncodedWord> ParseEncodedWord(std::string_view s, std::size_t at) {
  std::size_t i = at + 2;
  const std::size_t charset_start = i;
  while (i < s.size() && IsCharsetChar(s[i])) ++i;
  if (i == charset_start || i + 2 >= s.size() || s[i] != '?' || s[i + 2] != '?') return std::nullopt;
  EncodedWord word;
  word.charset = s.substr(charset_start, i - charset_start);
  word.encoding = s[i + 1] == 'b' ? 'B' : s[i + 1] == 'q' ? 'Q' : s[i + 1];
  if (word.encoding != 'B' && word.encoding != 'Q') return std::nullopt;
  i += 3;
  const std::size_t text_start = i;
  while (i < s.size() && s[i] > 0x20 && s[i] < 0x7F && s[i] != '?') ++i;
  if (i + 1 >= s.size() || s[i] != '?' || s[i + 1] != '=') return std::nullopt;
  word.text = s.substr(text_start, i - text_start);
  word.end = i + 2;
  return word;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Padding may be missing; a stray character, padding inside the text or a
// lone sixth of a byte group make the word malformed.
bool DecodeBase64(std::string_view text, std::string& out) {
  std::size_t data = text.size();
  while (data > 0 && text[data - 1] == '=') --data;
  if (text.size() - data > 2 || data % 4 == 1) return false;
  unsigned bits = 0;
  int count = 0;
  for (std::size_t i = 0; i < data; ++i) {
    const int v = Base64Value(text[i]);
    if (v < 0) return false;
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "_" is a blank, "=XX" a byte; an "=" without two hex digits is kept as it is.
void DecodeQ(std::string_view text, std::string& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out.push_back(' ');
    } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
}

// How the bytes outside the encoded-words are read. Words are ASCII, so the
// whole value is valid UTF-8 exactly when the text outside them is.
Charset RawCharset(std::string_view value) {
  const bool eight_bit =
      std::any_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (eight_bit) return IsValidUtf8(value) ? Charset::Utf8 : Charset::ShiftJis;
  for (std::size_t esc = value.find('\x1B'); esc != std::string_view::npos;
       esc = value.find('\x1B', esc + 1))
    if (esc + 1 < value.size() && (value[esc + 1] == '$' || value[esc + 1] == '('))
      return Charset::Iso2022Jp;
  return Charset::UsAscii;
}

// One line of text: tab, CR and LF as a blank, other controls as U+FFFD.
void MakeDisplayable(std::u16string& text) {
  for (char16_t& c : text) {
    if (c == u'\t' || c == u'\r' || c == u'\n')
      c = u' ';
    else if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
      c = 0xFFFD;
  }
}

}  // namespace

std::u16string DecodeHeaderValue(std::string_view value) {
  std::u16string text;
  text.reserve(std::min(value.size(), kMaxDecodedUnits));
  Utf16Writer out(text, kMaxDecodedUnits);
  const Charset raw = RawCharset(value);

  // The decoded bytes of a run of adjacent words of one charset wait in `run`
  // until a word of another charset or other text follows.
  std::string run, payload;
  std::optional<Charset> run_charset;
  std::size_t raw_start = 0;  // the text since the last decoded word
  std::size_t scan = 0;
  while (!out.Full()) {
    const std::size_t at = value.find("=?", scan);
    if (at == std::string_view::npos) break;
    const std::optional<EncodedWord> word = ParseEncodedWord(value, at);
    if (!word) {
      scan = at + 1;
      continue;
    }
    scan = word->end;
    const std::optional<Charset> charset = CharsetNamed(word->charset);
    payload.clear();
    if (!charset) continue;
    if (word->encoding == 'B') {
      if (!DecodeBase64(word->text, payload)) continue;
    } else {
      DecodeQ(word->text, payload);
    }

    const bool joined = run_charset && AllBlank(value.substr(raw_start, at - raw_start));
    if (joined && *run_charset == *charset) {
      run += payload;
    } else {
      if (run_charset) DecodeCharset(*run_charset, run, out);
      if (!joined) DecodeCharset(raw, value.substr(raw_start, at - raw_start), out);
      run.swap(payload);
      run_charset = charset;
    }
    raw_start = word->end;
  }
  if (run_charset) DecodeCharset(*run_charset, run, out);
  DecodeCharset(raw, value.substr(raw_start), out);
  MakeDisplayable(text);
  return text;
}

}  // namespace zepho
