// The settings document's file on Windows: read whole by its UTF-16 path,
// replaced whole through a temporary file beside it. IniProfileWin32 is the
// settings file as the shell uses it.
#pragma once

#include <string>
#include <string_view>

#include "settings/cp932_codec.h"
#include "settings/document_profile.h"
#include "settings/ini_file.h"

namespace zepho {

class IniFileWin32 : public IniFile {
 public:
  explicit IniFileWin32(std::wstring path) : path_(std::move(path)) {}
  std::wstring Path() const override { return path_; }
  ReadResult Read(std::string& bytes, std::size_t max_bytes) override;
  // The new bytes go to a temporary file in the same folder, flushed to the disk,
  // which then takes the old file's place in one step. A read-only or locked file,
  // a full disk or a folder that cannot be written: false, the old file as it was
  // and no temporary file left.
  bool Replace(std::string_view bytes) override;

 private:
  std::wstring path_;
};

// Code page 932 named explicitly, whatever the ANSI code page.
class Cp932CodecWin32 : public Cp932Codec {
 public:
  static const Cp932CodecWin32& Instance();
  std::u16string ToUtf16(std::string_view cp932) const override;
  std::string FromUtf16(std::u16string_view text) const override;
};

// The settings file as the shell holds it; SaveSettings and
// WriteCheckAddresses through it write the file whole or not at all.
class IniProfileWin32 : public DocumentProfile {
 public:
  explicit IniProfileWin32(std::wstring path);
};

}  // namespace zepho
