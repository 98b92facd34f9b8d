#include "common/charset_decode.h"

#include "common/cp932.h"
#include "common/cp932_unicode.h"

namespace zepho {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

unsigned char At(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

bool EqualsIgnoreCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

struct Alias {
  std::string_view name;  // lower case
  Charset charset;
};

// The names mail programs write, with the usual aliases of each.
constexpr Alias kAliases[] = {
    {"us-ascii", Charset::UsAscii},        {"ascii", Charset::UsAscii},
    {"us", Charset::UsAscii},              {"ansi_x3.4-1968", Charset::UsAscii},
    {"iso646-us", Charset::UsAscii},       {"csascii", Charset::UsAscii},
    {"iso-8859-1", Charset::Latin1},       {"iso8859-1", Charset::Latin1},
    {"iso_8859-1", Charset::Latin1},       {"iso_8859-1:1987", Charset::Latin1},
    {"latin1", Charset::Latin1},           {"l1", Charset::Latin1},
    {"iso-ir-100", Charset::Latin1},       {"cp819", Charset::Latin1},
    {"ibm819", Charset::Latin1},           {"csisolatin1", Charset::Latin1},
    {"windows-1252", Charset::Latin1},     {"cp1252", Charset::Latin1},
    {"x-cp1252", Charset::Latin1},
    {"utf-8", Charset::Utf8},              {"utf8", Charset::Utf8},
    {"shift_jis", Charset::ShiftJis},      {"shift-jis", Charset::ShiftJis},
    {"sjis", Charset::ShiftJis},           {"x-sjis", Charset::ShiftJis},
    {"ms_kanji", Charset::ShiftJis},       {"csshiftjis", Charset::ShiftJis},
    {"windows-31j", Charset::ShiftJis},    {"cswindows31j", Charset::ShiftJis},
    {"cp932", Charset::ShiftJis},          {"ms932", Charset::ShiftJis},
    {"x-ms-cp932", Charset::ShiftJis},     {"windows-932", Charset::ShiftJis},
    {"euc-jp", Charset::EucJp},            {"eucjp", Charset::EucJp},
    {"euc_jp", Charset::EucJp},            {"x-euc-jp", Charset::EucJp},
    {"cseucpkdfmtjapanese", Charset::EucJp},
    {"iso-2022-jp", Charset::Iso2022Jp},   {"iso2022jp", Charset::Iso2022Jp},
    {"csiso2022jp", Charset::Iso2022Jp},
};

// Code page 1252's characters for 0x80-0x9F; its five unassigned bytes keep
// the C1 code points, as Windows gives them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The UTF-8 sequence at `i`: its length and code point when well-formed, else
// the length of its longest valid beginning (the bytes one U+FFFD stands for).
struct Utf8Step {
  std::size_t length;
  char32_t code_point;
  bool valid;
};

Utf8Step ReadUtf8(std::string_view s, std::size_t i) {
  const unsigned char b = At(s, i);
  if (b < 0x80) return {1, b, true};
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  char32_t cp;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2, cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, cp = b & 0x0F;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, cp = b & 0x07;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {1, 0, false};
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= s.size()) return {k, 0, false};
    const unsigned char c = At(s, i + k);
    if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return {k, 0, false};
    cp = (cp << 6) | (c & 0x3F);
  }
  return {length, cp, true};
}

void DecodeUtf8(std::string_view s, Utf16Writer& out) {
  for (std::size_t i = 0; i < s.size() && !out.Full();) {
    const Utf8Step step = ReadUtf8(s, i);
    out.Put(step.valid ? step.code_point : kReplacement);
    i += step.length;
  }
}

bool IsTrailByte932(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

void DecodeCp932(std::string_view s, Utf16Writer& out) {
  for (std::size_t i = 0; i < s.size() && !out.Full();) {
    const unsigned char b = At(s, i);
    if (!IsLeadByte932(b)) {
      out.Put(Cp932SingleByte(b));
      ++i;
    } else if (i + 1 < s.size() && IsTrailByte932(At(s, i + 1))) {
      // An unmapped pair is one character that has no code point; a byte that
      // cannot be a trail byte is read again on its own.
      const char16_t c = Cp932Pair(b, At(s, i + 1));
      out.Put(c != 0 ? c : kReplacement);
      i += 2;
    } else {
      out.Put(kReplacement);
      ++i;
    }
  }
}

bool IsEucByte(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }

void DecodeEucJp(std::string_view s, Utf16Writer& out) {
  for (std::size_t i = 0; i < s.size() && !out.Full();) {
    const unsigned char b = At(s, i);
    const unsigned char next = i + 1 < s.size() ? At(s, i + 1) : 0;
    if (b < 0x80) {
      out.Put(b);
      ++i;
    } else if (b == 0x8E && next >= 0xA1 && next <= 0xDF) {  // SS2: half-width katakana
      out.Put(0xFF61 + (next - 0xA1));
      i += 2;
    } else if (b == 0x8F && IsEucByte(next) && i + 2 < s.size() && IsEucByte(At(s, i + 2))) {
      // SS3: JIS X 0212, which code page 932 does not hold.
      out.Put(kReplacement);
      i += 3;
    } else if (IsEucByte(b) && IsEucByte(next)) {
      const char16_t c = Jis0208Char(b - 0x80, next - 0x80);
      out.Put(c != 0 ? c : kReplacement);
      i += 2;
    } else {
      out.Put(kReplacement);
      ++i;
    }
  }
}

// What the G0 set of an ISO-2022-JP text is, after its last designation.
enum class Iso2022Set { Ascii, Katakana, Jis0208, OtherSingle, OtherDouble };

// The length of a designation escape at `i` (ESC included) and its set; 0 for
// bytes that are no designation we know.
std::size_t ReadDesignation(std::string_view s, std::size_t i, Iso2022Set& set) {
  auto byte = [&](std::size_t k) -> unsigned char { return i + k < s.size() ? At(s, i + k) : 0; };
  const auto final_byte = [](unsigned char b) { return b >= 0x40 && b <= 0x7E; };
  if (byte(1) == '(' && final_byte(byte(2))) {
    // ESC ( J is JIS X 0201 Roman, read as ASCII as code page 932 reads its
    // single bytes.
    const unsigned char f = byte(2);
    set = f == 'B' || f == 'J' ? Iso2022Set::Ascii
        : f == 'I'             ? Iso2022Set::Katakana
                               : Iso2022Set::OtherSingle;
    return 3;
  }
  if (byte(1) == '$') {
    if (byte(2) == '@' || byte(2) == 'B') {
      set = Iso2022Set::Jis0208;
      return 3;
    }
    if (byte(2) == 'A') {  // GB 2312
      set = Iso2022Set::OtherDouble;
      return 3;
    }
    if (byte(2) == '(' && final_byte(byte(3))) {
      set = byte(3) == '@' || byte(3) == 'B' ? Iso2022Set::Jis0208 : Iso2022Set::OtherDouble;
      return 4;
    }
  }
  return 0;
}

void DecodeIso2022Jp(std::string_view s, Utf16Writer& out) {
  constexpr unsigned char kEsc = 0x1B, kShiftOut = 0x0E, kShiftIn = 0x0F;
  Iso2022Set set = Iso2022Set::Ascii;
  bool shifted_out = false;  // SO: half-width katakana until SI
  for (std::size_t i = 0; i < s.size() && !out.Full();) {
    const unsigned char b = At(s, i);
    if (b == kEsc) {
      if (const std::size_t n = ReadDesignation(s, i, set); n != 0) {
        i += n;
      } else if (i + 2 < s.size() && At(s, i + 1) == '&' && At(s, i + 2) == '@') {
        i += 3;  // announces the 1990 edition of JIS X 0208: nothing to do
      } else if (i + 2 < s.size() && At(s, i + 1) == ')' && At(s, i + 2) == 'I') {
        i += 3;  // half-width katakana as G1: SO alone selects them here
      } else {
        out.Put(kReplacement);
        ++i;
      }
      continue;
    }
    if (b == kShiftOut || b == kShiftIn) {
      shifted_out = b == kShiftOut;
      ++i;
      continue;
    }
    if (b <= 0x20 || b == 0x7F) {  // blanks and controls stand for themselves in any set
      out.Put(b);
      ++i;
      continue;
    }
    if (b >= 0x80) {
      out.Put(kReplacement);
      ++i;
      continue;
    }
    if (shifted_out || set == Iso2022Set::Katakana) {
      out.Put(b <= 0x5F ? char32_t{0xFF61} + (b - 0x21) : kReplacement);
      ++i;
    } else if (set == Iso2022Set::Ascii) {
      out.Put(b);
      ++i;
    } else if (set == Iso2022Set::OtherSingle) {
      out.Put(kReplacement);
      ++i;
    } else if (i + 1 < s.size() && At(s, i + 1) >= 0x21 && At(s, i + 1) <= 0x7E) {
      const char16_t c = set == Iso2022Set::Jis0208 ? Jis0208Char(b, At(s, i + 1)) : 0;
      out.Put(c != 0 ? c : kReplacement);
      i += 2;
    } else {
      out.Put(kReplacement);
      ++i;
    }
  }
}

}  // namespace

std::optional<Charset> CharsetNamed(std::string_view name) {
  name = name.substr(0, name.find('*'));
  for (const Alias& alias : kAliases)
    if (EqualsIgnoreCase(name, alias.name)) return alias.charset;
  return std::nullopt;
}

void Utf16Writer::Put(char32_t c) {
  if (full_) return;
  const std::size_t units = c >= 0x10000 ? 2 : 1;
  if (out_.size() + units > limit_) {
    full_ = true;
    return;
  }
  if (units == 1) {
    out_.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out_.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out_.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

void DecodeCharset(Charset charset, std::string_view bytes, Utf16Writer& out) {
  switch (charset) {
    case Charset::UsAscii:
      for (std::size_t i = 0; i < bytes.size() && !out.Full(); ++i)
        out.Put(At(bytes, i) < 0x80 ? At(bytes, i) : kReplacement);
      return;
    case Charset::Latin1:
      for (std::size_t i = 0; i < bytes.size() && !out.Full(); ++i) {
        const unsigned char b = At(bytes, i);
        out.Put(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : b);
      }
      return;
    case Charset::Utf8: DecodeUtf8(bytes, out); return;
    case Charset::ShiftJis: DecodeCp932(bytes, out); return;
    case Charset::EucJp: DecodeEucJp(bytes, out); return;
    case Charset::Iso2022Jp: DecodeIso2022Jp(bytes, out); return;
  }
}

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const Utf8Step step = ReadUtf8(bytes, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

}  // namespace zepho
