// An INI file through the platform's profile functions: every read and write
// is one call on the file's path, values through the ANSI code page. The mail
// client's Account.ini is read this way, as that program writes it. Our own
// settings file is the document (ini_file_win32); ProfileWin32 is what the
// document's tests compare it with, byte for byte.
#pragma once

#include "settings/profile.h"

namespace zepho {

class ProfileWin32 : public Profile {
 public:
  explicit ProfileWin32(std::wstring path) : path_(std::move(path)) {}
  std::wstring Path() const override { return path_; }
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool DeleteKey(const std::string& section, const std::string& key) override;

 private:
  std::wstring path_;
};

// The same read for any INI file by path (the mail client's Account.ini: read,
// never written, so wholeness does not arise, and its values come back as
// the functions its writer used return them).
std::string ReadProfileString(const std::wstring& path, const std::string& section,
                              const std::string& key, const std::string& def);

}  // namespace zepho
