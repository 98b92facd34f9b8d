#include "companion/mailbox_store_win32.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "settings/profile_win32.h"
#include "winlib/handles.h"
#include "winlib/text.h"

namespace zepho {

MailboxStore::MailboxPath MailboxStoreWin32::ReadMailboxPath() {
  MailboxPath result;
  HKEY raw = nullptr;
  // Opening with full access creates the key when the client never ran.
  if (RegCreateKeyExW(HKEY_CURRENT_USER, winlib::Wide932(kCompanionRegistryKey).c_str(), 0, nullptr,
                      0, KEY_ALL_ACCESS, nullptr, &raw, nullptr) != ERROR_SUCCESS)
    return result;
  winlib::UniqueRegKey key(raw);
  const std::wstring name = winlib::Wide932(kCompanionMailboxValue);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return result;
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    result.kind = MailboxPath::Kind::NotText;
    return result;
  }
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer.data()), &got) != ERROR_SUCCESS)
    return result;
  std::wstring text(buffer.data(), got / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  result.kind = MailboxPath::Kind::Text;
  result.text = std::move(text);
  return result;
}

void MailboxStoreWin32::FindFiles(const std::wstring& pattern,
                                  const std::function<bool(const FolderEntry&)>& visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    FolderEntry e;
    e.name = data.cFileName;
    e.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    e.system = (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    if (!visit(e)) break;
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

std::string MailboxStoreWin32::ReadIniString(const std::wstring& path, const std::string& section,
                                             const std::string& key, const std::string& def) {
  return ReadProfileString(path, section, key, def);
}

std::optional<std::string> MailboxStoreWin32::ReadFile(const std::wstring& path) {
  // Read as bytes: the line rules are applied by the caller.
  std::unique_ptr<FILE, int (*)(FILE*)> f(_wfopen(path.c_str(), L"rb"), fclose);
  if (!f) return std::nullopt;
  // Sized from the file's length and read with one call: no growing copies of
  // a list of several megabytes. Two bytes more are reserved for the line
  // break that a last line may lack. Bytes added meanwhile are read too.
  std::string content;
  if (fseek(f.get(), 0, SEEK_END) == 0) {
    const long size = ftell(f.get());
    if (size > 0) {
      content.reserve(static_cast<size_t>(size) + 2);
      content.resize(static_cast<size_t>(size));
    }
    fseek(f.get(), 0, SEEK_SET);
  }
  content.resize(fread(content.data(), 1, content.size(), f.get()));
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f.get())) > 0) content.append(chunk, n);
  return content;
}

std::string MailboxStoreWin32::StoredPath(const std::wstring& path) {
  return winlib::Stored932(path);
}

std::wstring MailboxStoreWin32::PathFromStored(const std::string& stored) {
  return winlib::Wide932(stored);
}

}  // namespace zepho
