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
std::string FromWide(UINT cp, DWORD flags, const char* fallback, std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, fallback, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), s.data(), n, fallback,
                      nullptr);
  return s;
}
}  // namespace

std::wstring Wide932(std::string_view bytes) { return ToWide(932, bytes); }
std::string Narrow932(std::wstring_view text) { return FromWide(932, 0, nullptr, text); }
std::string Stored932(std::wstring_view text) {
  return FromWide(932, WC_NO_BEST_FIT_CHARS, "?", text);
}
std::wstring WideAnsi(std::string_view bytes) { return ToWide(CP_ACP, bytes); }
std::string NarrowAnsi(std::wstring_view text) { return FromWide(CP_ACP, 0, nullptr, text); }

}  // namespace winlib
