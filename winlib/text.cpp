#include "winlib/text.h"

#include <windows.h>

namespace winlib {

namespace {
std::wstring ToWide(UINT cp, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
  return w;
}
std::string FromWide(UINT cp, std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}
}  // namespace

std::wstring Wide932(std::string_view bytes) { return ToWide(932, bytes); }
std::string Narrow932(std::wstring_view text) { return FromWide(932, text); }
std::string AnsiPath(std::string_view path932) { return FromWide(CP_ACP, Wide932(path932)); }

}  // namespace winlib
