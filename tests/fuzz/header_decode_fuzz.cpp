// Header fields and their decoding on arbitrary bytes: the fields as a plain
// reading of the line rules finds them, every value and text within its bound,
// every text one line of well-formed UTF-16.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/charset_decode.h"
#include "common/header_decode.h"
#include "common/mail_header.h"
#include "common/sender_display.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The whole unfolded value first, then trimmed and cut.
std::string ReferenceValue(std::string_view reply, std::string_view name) {
  std::size_t pos = 0;
  if (reply.substr(0, 3) == "+OK") pos = reply.find('\n') == std::string_view::npos ? reply.size() : reply.find('\n') + 1;
  std::string value;
  bool found = false, in_field = false;
  while (pos < reply.size()) {
    std::size_t end = reply.find('\n', pos);
    if (end == std::string_view::npos) end = reply.size();
    std::string line(reply.substr(pos, end - pos));
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line == ".") break;
    if (Blank(line[0])) {
      if (in_field) value += line;
      continue;
    }
    if (in_field) break;
    if (line[0] == '.') line.erase(0, 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string field = line.substr(0, colon);
    while (!field.empty() && Blank(field.back())) field.pop_back();
    if (!found && SameName(field, name)) {
      found = in_field = true;
      value = line.substr(colon + 1);
    }
  }
  std::size_t start = 0;
  while (start < value.size() && Blank(value[start])) ++start;
  value = value.substr(start, zepho::kMaxHeaderValueBytes);
  while (!value.empty() && Blank(value.back())) value.pop_back();
  return value;
}

void RequireDisplayable(const std::u16string& text, std::size_t from_bytes) {
  Require(text.size() <= zepho::kMaxDecodedUnits && text.size() <= from_bytes);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    Require(c >= 0x20 && !(c >= 0x7F && c <= 0x9F));
    if (c >= 0xD800 && c <= 0xDBFF) {
      Require(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF);
      ++i;
    } else {
      Require(!(c >= 0xDC00 && c <= 0xDFFF));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::array<std::string_view, 3> names = {"From", "Subject", "Date"};
  std::array<std::string, 3> values;
  zepho::ReadHeaderFields(bytes, names, values);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& value = values[i];
    Require(value == zepho::HeaderFieldValue(bytes, names[i]));
    Require(value == ReferenceValue(bytes, names[i]));
    Require(value.size() <= zepho::kMaxHeaderValueBytes);
    Require(value.find('\n') == std::string::npos);
    RequireDisplayable(zepho::DecodeHeaderValue(value), value.size());
  }
  RequireDisplayable(zepho::SenderDisplayText(values[0]), values[0].size());

  // The decoders on the raw bytes.
  RequireDisplayable(zepho::DecodeHeaderValue(bytes), bytes.size());
  for (const zepho::Charset charset :
       {zepho::Charset::UsAscii, zepho::Charset::Latin1, zepho::Charset::Utf8, zepho::Charset::ShiftJis,
        zepho::Charset::EucJp, zepho::Charset::Iso2022Jp}) {
    std::u16string out;
    zepho::Utf16Writer writer(out, 1u << 20);
    zepho::DecodeCharset(charset, bytes, writer);
    Require(out.size() <= bytes.size());
  }
  return 0;
}
