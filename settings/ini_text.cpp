#include "settings/ini_text.h"

#include "common/cp932.h"

namespace zepho {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // a byte b is kept as U+DC00 + b (b >= 0x80)

bool IsEscape(char16_t u) { return u >= 0xDC80 && u <= 0xDCFF; }
bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The length of the valid UTF-8 sequence at `i`, 0 when the byte there starts none.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  std::size_t n;
  char32_t min;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, cp = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  // No overlong forms, nothing past U+10FFFF: such bytes stay escapes. A surrogate
  // in three bytes is how the document writes a lone one (an escape among them).
  if (cp < min || cp > 0x10FFFF) return 0;
  return n;
}

std::u16string DecodeUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const std::size_t n = Utf8SequenceLength(s, i, cp);
    if (n == 0) {
      out.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(s[i])));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {  // a pair
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  return out;
}

void AppendUtf8(std::string& out, std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    // A lone surrogate (an escape too) takes three bytes: written as the bare
    // byte, an escape could join its neighbours into a character.
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

bool HoldsEscape(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      ++i;
    } else if (IsEscape(units[i])) {
      return true;
    }
  }
  return false;
}

// UTF-16 for code page 932 text, exact or not at all.
bool ExactUtf16(std::string_view cp932, const Cp932Codec& codec, std::u16string& out) {
  out = codec.ToUtf16(cp932);
  return !out.empty() && !HoldsEscape(out) && codec.FromUtf16(out) == cp932;
}

}  // namespace

std::size_t CharacterLength932(std::u16string_view units, std::size_t i) {
  const char16_t c = units[i];
  return c < 0x100 && IsLeadByte932(static_cast<unsigned char>(c)) && i + 1 < units.size() &&
                 units[i + 1] < 0x100 && IsTrailByte932(static_cast<unsigned char>(units[i + 1]))
             ? 2
             : 1;
}

std::size_t CharacterLength932(std::string_view bytes, std::size_t i) {
  return IsLeadByte932(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() &&
                 IsTrailByte932(static_cast<unsigned char>(bytes[i + 1]))
             ? 2
             : 1;
}

std::size_t MarkSize(IniEncoding encoding) {
  switch (encoding) {
    case IniEncoding::kAnsi: return 0;
    case IniEncoding::kUtf8: return 3;
    case IniEncoding::kUtf16Le:
    case IniEncoding::kUtf16Be: return 2;
  }
  return 0;
}

IniText DecodeIniText(std::string_view file) {
  const auto starts = [&](std::string_view mark) { return file.substr(0, mark.size()) == mark; };
  IniText text;
  if (starts("\xEF\xBB\xBF")) {
    text.encoding = IniEncoding::kUtf8;
    text.units = DecodeUtf8(file.substr(3));
    return text;
  }
  const bool le = starts("\xFF\xFE");
  if (le || starts("\xFE\xFF")) {
    text.encoding = le ? IniEncoding::kUtf16Le : IniEncoding::kUtf16Be;
    const std::string_view body = file.substr(2);
    text.units.reserve((body.size() + 1) / 2);
    for (std::size_t i = 0; i < body.size(); i += 2) {
      const unsigned first = static_cast<unsigned char>(body[i]);
      const unsigned second = i + 1 < body.size() ? static_cast<unsigned char>(body[i + 1]) : 0;
      text.units.push_back(static_cast<char16_t>(le ? first | (second << 8) : (first << 8) | second));
    }
    return text;
  }
  text.units.assign(file.begin(), file.end());
  for (char16_t& u : text.units) u &= 0xFF;  // char may be signed
  return text;
}

std::size_t EncodedSize(IniEncoding encoding, std::u16string_view units) {
  switch (encoding) {
    case IniEncoding::kAnsi: return units.size();
    case IniEncoding::kUtf16Le:
    case IniEncoding::kUtf16Be: return 2 * units.size();
    case IniEncoding::kUtf8: {
      std::string out;
      AppendUtf8(out, units);
      return out.size();
    }
  }
  return units.size();
}

std::string EncodeIniText(IniEncoding encoding, std::u16string_view units) {
  std::string out;
  switch (encoding) {
    case IniEncoding::kAnsi:
      out.reserve(units.size());
      for (char16_t u : units) out.push_back(static_cast<char>(u));
      break;
    case IniEncoding::kUtf8:
      out = "\xEF\xBB\xBF";
      AppendUtf8(out, units);
      break;
    case IniEncoding::kUtf16Le:
    case IniEncoding::kUtf16Be: {
      const bool le = encoding == IniEncoding::kUtf16Le;
      out.reserve(2 + 2 * units.size());
      out = le ? "\xFF\xFE" : "\xFE\xFF";
      for (char16_t u : units) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        out.push_back(le ? low : high);
        out.push_back(le ? high : low);
      }
      break;
    }
  }
  return out;
}

std::u16string UnitsFrom932(std::string_view cp932, IniEncoding encoding, const Cp932Codec& codec) {
  std::u16string out;
  if (encoding == IniEncoding::kAnsi) {
    out.reserve(cp932.size());
    for (char c : cp932) out.push_back(static_cast<unsigned char>(c));
    return out;
  }
  if (cp932.empty() || ExactUtf16(cp932, codec, out)) return out;
  // Character by character: what the code page cannot carry exactly keeps its bytes.
  out.clear();
  std::u16string one;
  for (std::size_t i = 0; i < cp932.size();) {
    const std::size_t n = CharacterLength932(cp932, i);
    const std::string_view c = cp932.substr(i, n);
    const auto b = static_cast<unsigned char>(c[0]);
    if (n == 1 && b < 0x80) {
      out.push_back(b);
    } else if (ExactUtf16(c, codec, one)) {
      out += one;
    } else {
      for (char byte : c) {
        const auto u = static_cast<unsigned char>(byte);
        out.push_back(static_cast<char16_t>(u < 0x80 ? u : kEscapeBase + u));
      }
    }
    i += n;
  }
  return out;
}

std::string Cp932FromUnits(std::u16string_view units, IniEncoding encoding, const Cp932Codec& codec) {
  std::string out;
  if (encoding == IniEncoding::kAnsi) {
    out.reserve(units.size());
    for (char16_t u : units) out.push_back(static_cast<char>(u));
    return out;
  }
  std::size_t run = 0;  // start of the text not yet converted
  const auto flush = [&](std::size_t end) {
    if (end > run) out += codec.FromUtf16(units.substr(run, end - run));
  };
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      ++i;
    } else if (IsEscape(units[i])) {
      flush(i);
      out.push_back(static_cast<char>(units[i] - kEscapeBase));
      run = i + 1;
    }
  }
  flush(units.size());
  return out;
}

}  // namespace zepho
