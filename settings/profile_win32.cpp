#include "settings/profile_win32.h"

#include <windows.h>

#include <vector>

#include "winlib/text.h"

namespace zepho {

namespace {

constexpr size_t kMaxValueBytes = 1023;

// The first `max` bytes of ANSI code page text, never ending inside a
// double-byte character.
std::string CutAnsi(std::string text, size_t max) {
  if (text.size() <= max) return text;
  size_t i = 0;
  while (i < max) {
    const size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
    if (i + step > max) break;
    i += step;
  }
  text.resize(i);
  return text;
}

}  // namespace

// The path goes to the W functions as it is. Values are converted with the ANSI
// code page both ways, as the A functions do, so the file holds the same bytes
// that they would write and a value reads back as the bytes they would return
// (on a Japanese Windows the code page 932 bytes as they are; elsewhere every
// byte through the ANSI code page and back).
std::string ReadProfileString(const std::wstring& path, const std::string& section,
                              const std::string& key, const std::string& def) {
  const std::wstring section_w = winlib::WideAnsi(section);
  const std::wstring key_w = winlib::WideAnsi(key);
  const std::wstring def_w = winlib::WideAnsi(def);
  // A value of 1023 bytes may be up to 1023 characters; a longer one is cut to
  // 1023 bytes below, as the A function's buffer of 1024 bytes would.
  std::vector<wchar_t> buffer(kMaxValueBytes + 2);
  const DWORD n = GetPrivateProfileStringW(section_w.c_str(), key_w.c_str(), def_w.c_str(),
                                           buffer.data(), static_cast<DWORD>(buffer.size()),
                                           path.c_str());
  return CutAnsi(winlib::NarrowAnsi(std::wstring_view(buffer.data(), n)), kMaxValueBytes);
}

std::string ProfileWin32::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) {
  return ReadProfileString(path_, section, key, def);
}

bool ProfileWin32::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  return WritePrivateProfileStringW(winlib::WideAnsi(section).c_str(),
                                    winlib::WideAnsi(key).c_str(),
                                    winlib::WideAnsi(value).c_str(), path_.c_str()) != 0;
}

bool ProfileWin32::DeleteKey(const std::string& section, const std::string& key) {
  return WritePrivateProfileStringW(winlib::WideAnsi(section).c_str(),
                                    winlib::WideAnsi(key).c_str(), nullptr, path_.c_str()) != 0;
}

}  // namespace zepho
