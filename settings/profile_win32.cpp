#include "settings/profile_win32.h"

#include <windows.h>

#include "winlib/text.h"

namespace zepho {

// The A functions keep values as raw bytes (code page 932 in, code page 932
// out) whatever the system's code page; only the path is in the ANSI code page.
std::string ReadProfileString(const std::string& path932, const std::string& section,
                              const std::string& key, const std::string& def) {
  char buffer[1024];
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer,
                                           sizeof buffer, winlib::AnsiPath(path932).c_str());
  return std::string(buffer, n);
}

std::string ProfileWin32::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) {
  return ReadProfileString(path_, section, key, def);
}

bool ProfileWin32::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                    winlib::AnsiPath(path_).c_str()) != 0;
}

bool ProfileWin32::DeleteKey(const std::string& section, const std::string& key) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr,
                                    winlib::AnsiPath(path_).c_str()) != 0;
}

}  // namespace zepho
