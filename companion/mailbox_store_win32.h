// The mail client's registry value and files, through the Windows API.
#pragma once

#include "companion/companion_accounts.h"

namespace zepho {

class MailboxStoreWin32 : public MailboxStore {
 public:
  MailboxPath ReadMailboxPath() override;
  void FindFiles(const std::wstring& pattern,
                 const std::function<bool(const FolderEntry&)>& visit) override;
  std::string ReadIniString(const std::wstring& path, const std::string& section,
                            const std::string& key, const std::string& def) override;
  std::optional<std::string> ReadFile(const std::wstring& path) override;
  std::string StoredPath(const std::wstring& path) override;
  std::wstring PathFromStored(const std::string& stored) override;
};

}  // namespace zepho
