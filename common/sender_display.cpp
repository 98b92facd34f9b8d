#include "common/sender_display.h"

#include "common/header_decode.h"

namespace zepho {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::u16string SenderDisplayText(std::string_view from_value) {
  std::u16string text = DecodeHeaderValue(from_value);
  const std::u16string_view all = Trim(text);
  if (all.size() < 2 || all.front() != u'"' || all.back() != u'>') return text;

  // The quoted string, its backslash escapes undone.
  std::u16string name;
  std::size_t i = 1;
  for (; i < all.size() && all[i] != u'"'; ++i) {
    if (all[i] == u'\\' && i + 1 < all.size()) ++i;
    name.push_back(all[i]);
  }
  if (i == all.size()) return text;
  std::u16string_view rest = Trim(all.substr(i + 1));
  if (rest.size() < 2 || rest.front() != u'<') return text;
  const std::u16string_view address = rest.substr(1, rest.size() - 2);
  if (address.empty() || address.find_first_of(u"<>") != std::u16string_view::npos) return text;

  const std::u16string_view shown = Trim(name);
  if (shown.empty()) return std::u16string(address);
  if (shown.find_first_of(u"\"<>@") != std::u16string_view::npos) return text;
  std::u16string result(shown);
  result += u" <";
  result += address;
  result += u'>';
  return result;
}

}  // namespace zepho
