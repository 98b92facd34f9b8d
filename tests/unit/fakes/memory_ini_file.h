// The settings document's file in memory: absent, readable or not, and a
// replacement that can be made to fail, as with a read-only or locked file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace zepho::testing {

class MemoryIniFile : public IniFile {
 public:
  explicit MemoryIniFile(std::optional<std::string> initial = std::nullopt,
                         std::wstring path = L"C:\\ZEPHO\\ZEPHO.ini")
      : bytes(std::move(initial)), path_(std::move(path)) {}

  std::wstring Path() const override { return path_; }

  ReadResult Read(std::string& out, std::size_t max_bytes) override {
    ++reads;
    out.clear();
    if (!bytes) return ReadResult::kMissing;
    if (unreadable || bytes->size() > max_bytes) return ReadResult::kFailed;
    out = *bytes;
    return ReadResult::kRead;
  }

  bool Replace(std::string_view new_bytes) override {
    ++replaces;
    if (fail_replace) return false;
    bytes = std::string(new_bytes);
    return true;
  }

  std::optional<std::string> bytes;  // nullopt: no file
  bool unreadable = false;
  bool fail_replace = false;
  int reads = 0;
  int replaces = 0;

 private:
  std::wstring path_;
};

}  // namespace zepho::testing
