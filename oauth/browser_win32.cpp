#include "oauth/browser_win32.h"

#include <windows.h>
#include <shellapi.h>

#include "winlib/text.h"

namespace zepho {

bool OpenInBrowser(const std::string& url) {
  // The fields are percent-encoded; a custom endpoint typed by the user is code page 932.
  const std::wstring wide = winlib::Wide932(url);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

}  // namespace zepho
