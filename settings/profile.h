// The port through which the settings rules reach an INI (profile) file: one
// call per key, outside an update nothing cached. On Windows it is the
// platform's profile API or the settings document.
#pragma once

#include <string>

namespace zepho {

class Profile {
 public:
  virtual ~Profile() = default;

  // The full path of the file in UTF-16, as the platform opens it and as the
  // error message names it. Only values are code page 932 bytes.
  virtual std::wstring Path() const = 0;

  // The value of `key` in `section` with surrounding blanks and one pair of
  // enclosing quotes removed, at most 1023 bytes; `def` when the file, section
  // or key is absent. Names match regardless of letter case.
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) = 0;

  // Writes (creating file, section and key as needed); false when the write failed.
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;

  // Deletes a key; false when the file could not be written.
  virtual bool DeleteKey(const std::string& section, const std::string& key) = 0;

  // The calls between BeginUpdate and CommitUpdate or DiscardUpdate make one
  // whole: they read the file as it was at BeginUpdate, and their writes and
  // deletes reach it together on CommitUpdate (false: the file keeps its old
  // bytes) or not at all on DiscardUpdate. Updates may nest; the outermost one
  // decides. A profile that writes key by key keeps each write as it comes.
  virtual void BeginUpdate() {}
  virtual bool CommitUpdate() { return true; }
  virtual void DiscardUpdate() {}
};

// One update of a profile for the length of a scope: unless Commit succeeds,
// the file keeps the bytes it had, whatever was written meanwhile.
class ProfileUpdate {
 public:
  explicit ProfileUpdate(Profile& p) : p_(p) { p_.BeginUpdate(); }
  ~ProfileUpdate() {
    if (open_) p_.DiscardUpdate();
  }
  ProfileUpdate(const ProfileUpdate&) = delete;
  ProfileUpdate& operator=(const ProfileUpdate&) = delete;
  bool Commit() {
    open_ = false;
    return p_.CommitUpdate();
  }

 private:
  Profile& p_;
  bool open_ = true;
};

}  // namespace zepho
