// The settings file as the program's own document: a Profile whose reads come
// from the document in memory and whose writes change it; the file is read
// whole and replaced whole. Inside an update one reading serves every call and
// the commit writes the file once; outside one each call reads the file, and
// each write or delete replaces it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "settings/cp932_codec.h"
#include "settings/ini_document.h"
#include "settings/ini_file.h"
#include "settings/profile.h"

namespace zepho {

class DocumentProfile : public Profile {
 public:
  DocumentProfile(std::unique_ptr<IniFile> file, const Cp932Codec& codec);
  DocumentProfile(DocumentProfile&&) = default;
  DocumentProfile& operator=(DocumentProfile&&) = default;

  std::wstring Path() const override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool DeleteKey(const std::string& section, const std::string& key) override;

  void BeginUpdate() override;
  bool CommitUpdate() override;
  void DiscardUpdate() override;

 private:
  // The document of the file as it is now. A file that cannot be read (or is
  // too large) reads as empty and is never replaced: `readable` says which.
  struct Loaded {
    IniDocument document;
    bool readable;
  };
  Loaded Load() const;
  bool Store(const Loaded& loaded);
  template <typename Change>
  bool Apply(Change change);

  std::unique_ptr<IniFile> file_;
  const Cp932Codec* codec_;
  std::optional<Loaded> update_;  // from the outermost BeginUpdate on
  int depth_ = 0;
  bool spoiled_ = false;  // an inner update was discarded
};

}  // namespace zepho
