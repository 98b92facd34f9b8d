#include "companion/companion_accounts.h"

#include <utility>

#include "common/byte_search.h"

namespace zepho {

namespace {

constexpr char kPropertySection[] = "Property";

// The client's data folder, or nullopt when there is none. A value that is not
// text is treated like a missing one: nothing below it can be trusted.
std::optional<std::wstring> MailboxFolder(MailboxStore& store) {
  MailboxStore::MailboxPath value = store.ReadMailboxPath();
  if (value.kind != MailboxStore::MailboxPath::Kind::Text) return std::nullopt;
  return std::move(value.text);
}

std::int32_t ReadAccountInt(MailboxStore& store, const std::wstring& ini, const char* key,
                            std::int32_t def) {
  // An absent key reads as the empty text, which the integer rule turns into `def`.
  return ParseProfileInt(store.ReadIniString(ini, kPropertySection, key, ""), def);
}

std::wstring AccountIni(const std::wstring& folder) { return folder + L"\\Account.ini"; }

// Visits the account folders below the mailbox folder in search order: folders
// named "Account…", neither hidden nor system. `visit` returns false to stop.
void ForEachAccountFolder(MailboxStore& store, const std::wstring& mailbox,
                          const std::function<bool(const std::wstring&)>& visit) {
  const std::wstring base = mailbox + L"\\Mailbox\\";
  store.FindFiles(base + L"Account*", [&](const MailboxStore::FolderEntry& entry) {
    if (entry.hidden || entry.system || !entry.directory) return true;
    return visit(base + entry.name);
  });
}

}  // namespace

std::vector<std::string> ReceivedIdList::Lines() const { return SplitUidlLines(text); }

std::string WholeText(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> SplitUidlLines(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);

  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') continue;
    lines.emplace_back(bytes.substr(start, i - start));
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  // Text after the last line break is a line of its own; a break at the very end
  // leaves nothing here and so adds no entry.
  if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
  return lines;
}

std::string UidlWholeText(std::string bytes) {
  // One pass over the breaks finds the end of the content (the first NUL) and
  // the size of the text: a lone CR or LF becomes CR LF, and a last line
  // without a break gets one.
  const std::string_view all(bytes);
  std::size_t end = all.size();
  std::size_t lone_breaks = 0;
  for (std::size_t i = FindBreakOrNul(all, 0); i != std::string_view::npos;
       i = FindBreakOrNul(all, i + 1)) {
    if (all[i] == '\0') {
      end = i;
      break;
    }
    if (all[i] == '\r' && i + 1 < all.size() && all[i + 1] == '\n') {
      ++i;
      continue;
    }
    ++lone_breaks;
  }
  const bool open_last_line = end > 0 && all[end - 1] != '\n' && all[end - 1] != '\r';
  if (lone_breaks == 0) {
    // The usual file: its own buffer is the text (read with room for a final
    // CR LF, so none is copied).
    bytes.resize(end);
    if (open_last_line) bytes += "\r\n";
    return bytes;
  }

  // Built once at its exact size: the file and the text are the peak, never
  // a text reserved at twice the file's size beside it.
  const std::string_view content = all.substr(0, end);
  std::string text;
  text.reserve(end + lone_breaks + (open_last_line ? 2 : 0));
  std::size_t start = 0;
  for (std::size_t i = FindBreakOrNul(content, 0); i != std::string_view::npos;
       i = FindBreakOrNul(content, start)) {
    text.append(content, start, i - start);
    text += "\r\n";
    if (content[i] == '\r' && i + 1 < end && content[i + 1] == '\n') ++i;
    start = i + 1;
  }
  // Text after the last line break is a line of its own.
  if (start < end) {
    text.append(content, start, end - start);
    text += "\r\n";
  }
  return text;
}

int LoadReceivedIdList(MailboxStore& store, const Settings& s,
                       std::optional<ReceivedIdList>& list) {
  const std::optional<std::wstring> mailbox = MailboxFolder(store);
  if (!mailbox) return 0;

  // Only the title decides: a stale AccountPath without a title still means Account1.
  const std::optional<std::wstring> folder =
      s.AccountTitle.empty() ? std::optional(*mailbox + L"\\Mailbox\\Account1")
                             : AccountFolderFromStored(store, *mailbox, s);
  if (!folder) return 0;
  const std::wstring ini_path = AccountIni(*folder);

  // The Uidl file mirrors the server only when the client leaves mail there and
  // does not use its old receiver.
  if (ReadAccountInt(store, ini_path, "NotDelete", 0) == 0) return 0;
  if (ReadAccountInt(store, ini_path, "OldPopper", 1) == 1) return 0;

  std::optional<std::string> content = store.ReadFile(*folder + L"\\Uidl");
  if (!content) return 0;

  if (!list) list.emplace();
  list->text = UidlWholeText(std::move(*content));
  return 1;
}

void EnumerateAccounts(MailboxStore& store, AccountTable& table, Settings& s) {
  table.clear();
  const std::optional<std::wstring> mailbox = MailboxFolder(store);
  if (!mailbox) return;

  ForEachAccountFolder(store, *mailbox, [&](const std::wstring& folder) {
    AccountRow row;
    row.folder = folder;
    row.title = store.ReadIniString(AccountIni(folder), kPropertySection, "Title", "");
    table.push_back(std::move(row));
    return table.size() < static_cast<std::size_t>(kMaxAccounts);
  });

  if (table.size() == 1) ChooseAccount(store, table[0], s);
}

void ChooseAccount(MailboxStore& store, const AccountRow& row, Settings& s) {
  s.AccountTitle = row.title;
  s.AccountPath = store.StoredPath(row.folder);
}

std::optional<std::wstring> AccountFolderFromStored(MailboxStore& store,
                                                    const std::wstring& mailbox,
                                                    const Settings& s) {
  if (s.AccountPath.find('?') == std::string::npos) return store.PathFromStored(s.AccountPath);
  // Code page 932 has no trail byte "?", so this is a character that was lost.
  std::vector<std::wstring> same_path, same_title;
  ForEachAccountFolder(store, mailbox, [&](const std::wstring& folder) {
    if (store.StoredPath(folder) != s.AccountPath) return true;
    same_path.push_back(folder);
    if (store.ReadIniString(AccountIni(folder), kPropertySection, "Title", "") == s.AccountTitle)
      same_title.push_back(folder);
    return true;
  });
  if (same_path.size() == 1) return same_path[0];
  if (same_title.size() == 1) return same_title[0];
  return std::nullopt;
}

AccountSettings LoadAccountSettings(MailboxStore& store, const AccountRow& row,
                                    std::int32_t current_port) {
  const std::wstring ini = AccountIni(row.folder);
  AccountSettings out;
  out.server = store.ReadIniString(ini, kPropertySection, "POP3Server", "");
  out.port = std::to_string(ReadAccountInt(store, ini, "POP3Port", current_port));
  out.account = store.ReadIniString(ini, kPropertySection, "Account", "");
  return out;
}

}  // namespace zepho
