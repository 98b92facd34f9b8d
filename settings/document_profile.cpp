#include "settings/document_profile.h"

namespace zepho {

DocumentProfile::DocumentProfile(std::unique_ptr<IniFile> file, const Cp932Codec& codec)
    : file_(std::move(file)), codec_(&codec) {}

std::wstring DocumentProfile::Path() const { return file_->Path(); }

DocumentProfile::Loaded DocumentProfile::Load() const {
  std::string bytes;
  switch (file_->Read(bytes, IniDocument::kMaxFileBytes)) {
    case IniFile::ReadResult::kRead:
      if (std::optional<IniDocument> doc = IniDocument::Parse(bytes, *codec_))
        return {std::move(*doc), true};
      break;
    case IniFile::ReadResult::kMissing:
      return {IniDocument(*codec_), true};
    case IniFile::ReadResult::kFailed:
      break;
  }
  return {IniDocument(*codec_), false};
}

bool DocumentProfile::Store(const Loaded& loaded) {
  if (!loaded.document.Changed()) return true;
  // Never put the document of a file it could not read in that file's place.
  if (!loaded.readable) return false;
  return file_->Replace(loaded.document.Bytes());
}

std::string DocumentProfile::ReadString(const std::string& section, const std::string& key,
                                        const std::string& def) {
  if (update_) return update_->document.Read(section, key, def);
  return Load().document.Read(section, key, def);
}

template <typename Change>
bool DocumentProfile::Apply(Change change) {
  if (update_) return update_->readable && change(update_->document);
  Loaded loaded = Load();
  return loaded.readable && change(loaded.document) && Store(loaded);
}

bool DocumentProfile::WriteString(const std::string& section, const std::string& key,
                                  const std::string& value) {
  return Apply([&](IniDocument& doc) { return doc.Write(section, key, value); });
}

bool DocumentProfile::DeleteKey(const std::string& section, const std::string& key) {
  return Apply([&](IniDocument& doc) {
    doc.Delete(section, key);
    return true;
  });
}

void DocumentProfile::BeginUpdate() {
  if (depth_++ == 0) {
    update_ = Load();
    spoiled_ = false;
  }
}

bool DocumentProfile::CommitUpdate() {
  if (depth_ == 0) return false;
  if (--depth_ > 0) return !spoiled_;
  const bool stored = !spoiled_ && Store(*update_);
  update_.reset();
  return stored;
}

void DocumentProfile::DiscardUpdate() {
  if (depth_ == 0) return;
  if (--depth_ > 0) {
    spoiled_ = true;
    return;
  }
  update_.reset();
}

}  // namespace zepho
