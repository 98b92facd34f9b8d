// The user's own web browser, opened on the authorize URL.
#pragma once

#include <string>

namespace zepho {

// True when the shell started a browser for `url`. Under Wine
// this runs winebrowser, which starts the first Unix program that works of
// HKCU\Software\Wine\WineBrowser "Browsers" (a comma-separated list).
bool OpenInBrowser(const std::string& url);

}  // namespace zepho
