// What a check reads and writes beside the server: the settings file (the
// check addresses, the password saved from the prompt), the mail client's
// mailbox (its received ids) and the log. The settings file is the program's
// own document for every reader and writer of it (start-up, the settings
// window, the prompt, the check list): read whole, replaced whole, its values
// the bytes they are.
#pragma once

#include <string>

#include "app/check_cycle.h"
#include "companion/mailbox_store_win32.h"
#include "pop3/bounded_log.h"
#include "pop3/log_file_win32.h"
#include "settings/ini_file_win32.h"

namespace zepho {

class CheckSourcesWin32 : public CycleSources {
 public:
  explicit CheckSourcesWin32(Settings& settings) : settings_(settings) {}
  CheckSourcesWin32(const CheckSourcesWin32&) = delete;
  CheckSourcesWin32& operator=(const CheckSourcesWin32&) = delete;

  // The settings file and the log, by their full paths.
  void SetPaths(const std::wstring& ini_path, const std::wstring& log_path);

  int LoadReceivedIdList(std::optional<ReceivedIdList>& list) override;
  CheckList LoadCheckList() override;
  void AppendLog(const std::string& text) override;
  void CloseLog() override;
  void SaveSettings() override;
  std::string LoadKnownServer() override;
  void SaveKnownServer(const std::string& server) override;

  Profile& profile() { return profile_; }
  MailboxStore& mailbox() { return mailbox_; }

 private:
  Settings& settings_;
  IniProfileWin32 profile_{L""};
  MailboxStoreWin32 mailbox_;
  LogFileWin32 log_file_;
  BoundedLog log_{log_file_};
};

}  // namespace zepho
