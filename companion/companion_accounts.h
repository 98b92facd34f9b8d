// The mail client's data: its registry value, its account folders, the
// account settings and the list of ids it has already received.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_file.h"

namespace zepho {

inline constexpr char kCompanionRegistryKey[] = "Software\\MOREX\\Corvel";
inline constexpr char kCompanionMailboxValue[] = "MailboxPath";
inline constexpr int kMaxAccounts = 99;

// What the core needs of the registry and the file system. Paths are wide
// text (UTF-16 on Windows) from the registry or the folder search to the call
// that opens the file; the values read from files are code page 932 bytes.
class MailboxStore {
 public:
  virtual ~MailboxStore() = default;

  struct MailboxPath {
    enum class Kind { Absent, Text, NotText } kind = Kind::Absent;
    std::wstring text;
  };
  // HKCU\Software\MOREX\Corvel, value MailboxPath (the key is created when missing).
  virtual MailboxPath ReadMailboxPath() = 0;

  struct FolderEntry {
    std::wstring name;
    bool directory = false;
    bool hidden = false;
    bool system = false;
  };
  // The platform's file search for `pattern`; `visit` returns false to stop.
  virtual void FindFiles(const std::wstring& pattern,
                         const std::function<bool(const FolderEntry&)>& visit) = 0;

  // A profile-string read of an INI file (Account.ini); the value as code page 932 bytes.
  virtual std::string ReadIniString(const std::wstring& path, const std::string& section,
                                    const std::string& key, const std::string& def) = 0;

  // The whole content of a file, or nullopt when it cannot be opened.
  virtual std::optional<std::string> ReadFile(const std::wstring& path) = 0;

  // The settings file keeps an account folder in code page 932. A character
  // that code page cannot hold is stored as "?", which no file name contains,
  // never as a look-alike.
  virtual std::string StoredPath(const std::wstring& path) = 0;
  virtual std::wstring PathFromStored(const std::string& stored) = 0;
};

// The client's received ids as the one text they are searched in: every line
// of the Uidl file followed by CR LF.
struct ReceivedIdList {
  std::string text;
  std::vector<std::string> Lines() const;
};

struct AccountRow {
  std::string title;    // code page 932 bytes, as in Account.ini
  std::wstring folder;  // the account folder's full path
};
using AccountTable = std::vector<AccountRow>;  // at most kMaxAccounts rows

// Lines end at CR, LF or CR LF; the content ends at the first NUL; a final line
// break adds no entry; an empty line inside is an empty entry.
std::vector<std::string> SplitUidlLines(std::string_view bytes);

// Every line followed by CR LF.
std::string WholeText(const std::vector<std::string>& lines);

// WholeText(SplitUidlLines(bytes)) in one pass, without a string per line. A
// file whose breaks are all CR LF (the usual case) keeps its own buffer.
std::string UidlWholeText(std::string bytes);

// Refills `list` from the chosen account's Uidl file and returns 1, or returns 0
// when no list applies (then the caller drops its list).
int LoadReceivedIdList(MailboxStore& store, const Settings& s, std::optional<ReceivedIdList>& list);

// Lists the account folders; with exactly one, it becomes the chosen account.
void EnumerateAccounts(MailboxStore& store, AccountTable& table, Settings& s);

// Makes `row` the chosen account: its title and the stored form of its folder.
void ChooseAccount(MailboxStore& store, const AccountRow& row, Settings& s);

// The folder that a stored AccountPath names, or nullopt when it names none.
// A stored form that lost characters (holds "?") stands for the one account
// folder below `mailbox` whose stored form it is; when several folders share
// it, the title decides; when that does not single one out, none is named.
std::optional<std::wstring> AccountFolderFromStored(MailboxStore& store,
                                                    const std::wstring& mailbox,
                                                    const Settings& s);

struct AccountSettings {
  std::string server;
  std::string port;  // decimal text
  std::string account;
};
AccountSettings LoadAccountSettings(MailboxStore& store, const AccountRow& row,
                                    std::int32_t current_port);

}  // namespace zepho
