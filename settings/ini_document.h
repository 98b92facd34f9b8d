// A settings file held in memory as the program's own document. Read from the
// file's bytes, it answers reads as the platform's profile functions answer them
// for that file; writes and deletes change it as those functions change the file,
// and Bytes() is then the file they would have written. A document nothing has
// changed gives back the very bytes it was read from.
//
// Unlike those functions it never takes a value through a code page: values are
// the program's code page 932 bytes, kept as they are (in a UTF-16 or UTF-8 file
// too, where a byte that is no text of the code page is kept as an escape).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/cp932_codec.h"
#include "settings/ini_text.h"

namespace zepho {

class IniDocument {
 public:
  // A file beyond this is not read, and no write makes the document larger.
  static constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
  // A read yields at most this many bytes, as the platform's read into a buffer of
  // 1024 bytes, but always whole characters.
  static constexpr std::size_t kMaxValueBytes = 1023;

  // The document of a file that does not exist yet; it is written in the ANSI code page.
  explicit IniDocument(const Cp932Codec& codec);
  // nullopt when `file` is larger than kMaxFileBytes.
  static std::optional<IniDocument> Parse(std::string_view file, const Cp932Codec& codec);

  // The value of `key` in the first section named `section`, blanks around it
  // and one pair of enclosing quotes removed, at most kMaxValueBytes; nullopt when
  // the section, the key or its "=" is missing. Names match regardless of the
  // letter case of ASCII letters, blanks around them do not count, and an empty
  // name names nothing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string Read(std::string_view section, std::string_view key, std::string_view def) const;

  // Sets the value (its leading blanks dropped), appending the key to the first
  // section of that name or a new section to the file. False, and nothing
  // changed, for what cannot be stored as one line that reads back as written:
  // a line break or zero byte in a name or value, an empty name, a key holding
  // "=" or starting with "[", a section name ending inside a character, or a
  // document that would grow past kMaxFileBytes.
  bool Write(std::string_view section, std::string_view key, std::string_view value);
  // Deletes the first line of that name (comments and lines without "=" too) in
  // the first section of that name holding one; names as given, blanks included.
  void Delete(std::string_view section, std::string_view key);

  bool Changed() const { return changed_; }
  IniEncoding encoding() const { return encoding_; }
  std::string Bytes() const;

 private:
  struct Entry {
    std::u16string name;
    std::u16string value;
    bool has_value = false;
  };
  struct Section {
    std::u16string name;  // empty for the lines before the first section
    std::vector<Entry> entries;
  };
  // The profile functions work on the file as it is at each call. What the last
  // change wrote beyond what a reading of the file gives: the trailing blanks of
  // the names and value it wrote, and an empty-named line that a reading drops.
  struct Pending {
    std::size_t section = kNone;
    std::size_t entry = kNone;
    std::u16string section_tail, name_tail, value_tail;
    std::size_t ghost_at = kNone;
    Entry ghost;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  IniDocument(const Cp932Codec& codec, IniEncoding encoding);
  void ParseUnits(std::u16string_view units);
  std::u16string RenderUnits() const;
  std::size_t Encoded(std::u16string_view units) const;
  std::size_t EntrySize(const Entry& e, std::u16string_view name_tail,
                        std::u16string_view value_tail) const;
  std::size_t HeaderSize(std::u16string_view name, std::u16string_view tail) const;
  std::size_t RenderedSize() const;
  std::size_t PendingSize() const;
  std::size_t SizeBeforeChange() const;
  void BeginChange(std::size_t size);
  void EndChange();
  bool BeginsLikeMark() const;
  std::size_t FindSection(std::u16string_view name) const;
  std::size_t FindEntry(const Section& s, std::u16string_view name) const;
  bool SameName(std::u16string_view a, std::u16string_view b) const;
  std::u16string Units(std::string_view cp932) const;
  std::string ReadValue(std::u16string_view value) const;

  const Cp932Codec* codec_;
  IniEncoding encoding_ = IniEncoding::kAnsi;
  std::vector<Section> sections_;
  std::string original_;                 // the bytes read, until the first change
  std::optional<std::string> rendered_;  // the file after the first change, until the next
  Pending pending_;
  std::size_t size_ = 0;  // bytes of the file after the last change
  bool changed_ = false;
};

}  // namespace zepho
