// A fresh folder under the temporary folder, removed with its files afterwards.
// Paths are UTF-16, as the program keeps them.
#pragma once

#include <windows.h>

#include <string>

namespace zepho::testing {

class TempFolder {
 public:
  explicit TempFolder(const std::wstring& name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = base + name + std::to_wstring(GetCurrentProcessId()) + L"\\";
    Remove(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() { Remove(path_); }
  const std::wstring& path() const { return path_; }

  static std::string ReadAll(const std::wstring& file) {
    FILE* f = _wfopen(file.c_str(), L"rb");
    if (!f) return "<missing>";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
  }
  static void WriteAll(const std::wstring& file, const std::string& bytes) {
    FILE* f = _wfopen(file.c_str(), L"wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }

 private:
  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = dir + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Remove(full + L"\\");
        else
          DeleteFileW(full.c_str());
      } while (FindNextFileW(h, &d));
      FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
  }
  std::wstring path_;
};

}  // namespace zepho::testing
