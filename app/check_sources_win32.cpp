#include "app/check_sources_win32.h"

#include "settings/known_server.h"

namespace zepho {

void CheckSourcesWin32::SetPaths(const std::wstring& ini_path, const std::wstring& log_path) {
  profile_ = IniProfileWin32(ini_path);
  log_file_.SetPath(log_path);
}

int CheckSourcesWin32::LoadReceivedIdList(std::optional<ReceivedIdList>& list) {
  return zepho::LoadReceivedIdList(mailbox_, settings_, list);
}

CheckList CheckSourcesWin32::LoadCheckList() { return zepho::LoadCheckList(profile_); }

void CheckSourcesWin32::AppendLog(const std::string& text) { log_.Append(text); }

void CheckSourcesWin32::CloseLog() { log_.Close(); }

void CheckSourcesWin32::SaveSettings() { zepho::SaveSettings(profile_, settings_); }

}  // namespace zepho

namespace zepho {

std::string CheckSourcesWin32::LoadKnownServer() { return ReadKnownServer(profile_); }

// A file that cannot be written costs only the memory of the next start.
void CheckSourcesWin32::SaveKnownServer(const std::string& server) {
  WriteKnownServer(profile_, server);
}

}  // namespace zepho
