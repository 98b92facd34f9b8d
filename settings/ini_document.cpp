#include "settings/ini_document.h"

#include "common/cp932.h"

namespace zepho {
namespace {

// The platform's blanks: tab to carriage return, Ctrl-Z (a DOS end of file) and space.
bool IsBlank(char16_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}
std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}
std::u16string_view Trim(std::u16string_view s) { return TrimRight(TrimLeft(s)); }

// The platform keeps names and values as zero-ended strings.
std::u16string_view CutAtZero(std::u16string_view s) { return s.substr(0, s.find(u'\0')); }
std::string_view CutAtZero(std::string_view s) { return s.substr(0, s.find('\0')); }

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool HoldsLineBreakOrZero(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

IniDocument::IniDocument(const Cp932Codec& codec) : IniDocument(codec, IniEncoding::kAnsi) {
  sections_.push_back({});
}

IniDocument::IniDocument(const Cp932Codec& codec, IniEncoding encoding)
    : codec_(&codec), encoding_(encoding) {}

std::optional<IniDocument> IniDocument::Parse(std::string_view file, const Cp932Codec& codec) {
  if (file.size() > kMaxFileBytes) return std::nullopt;
  IniText text = DecodeIniText(file);
  IniDocument doc(codec, text.encoding);
  doc.ParseUnits(text.units);
  doc.original_ = file;
  doc.size_ = file.size();
  return doc;
}

// The platform's reading: a line ends at any run of CR and LF; blank lines go; a
// line that starts with "[" and holds "]" names a section (up to its last "]");
// other lines are a name, or a name and a value around the first "=". Of two
// empty-named lines in a row the second goes.
void IniDocument::ParseUnits(std::u16string_view units) {
  const bool dbcs = encoding_ == IniEncoding::kAnsi;
  sections_.assign(1, Section{});
  bool after_empty_name = false;  // the line before in this section had an empty name
  bool first_in_section = true;
  for (std::size_t i = 0; i < units.size();) {
    const std::size_t start = i;
    while (i < units.size() && units[i] != u'\r' && units[i] != u'\n') ++i;
    const std::u16string_view line = Trim(units.substr(start, i - start));
    while (i < units.size() && (units[i] == u'\r' || units[i] == u'\n')) ++i;
    if (line.empty()) continue;

    if (line.front() == u'[') {
      std::size_t close = std::u16string_view::npos;
      for (std::size_t k = 0; k < line.size();) {
        const std::size_t n = dbcs ? CharacterLength932(line, k) : 1;
        if (n == 1 && line[k] == u']') close = k;
        k += n;
      }
      if (close != std::u16string_view::npos) {
        sections_.push_back({std::u16string(CutAtZero(Trim(line.substr(1, close - 1)))), {}});
        first_in_section = true;
        continue;
      }
    }

    const std::size_t eq = line.find(u'=');
    const std::u16string_view name = eq == std::u16string_view::npos ? line : TrimRight(line.substr(0, eq));
    if (name.empty() && !first_in_section && after_empty_name) continue;
    Entry e;
    e.name = CutAtZero(name);
    if (eq != std::u16string_view::npos) {
      e.has_value = true;
      e.value = CutAtZero(TrimLeft(line.substr(eq + 1)));
    }
    after_empty_name = e.name.empty();
    first_in_section = false;
    sections_.back().entries.push_back(std::move(e));
  }
}

std::u16string IniDocument::RenderUnits() const {
  std::u16string out;
  const auto entry = [&](const Entry& e, std::u16string_view name_tail,
                         std::u16string_view value_tail) {
    out += e.name;
    out += name_tail;
    if (e.has_value) {
      out += u'=';
      out += e.value;
      out += value_tail;
    }
    out += u"\r\n";
  };
  for (std::size_t si = 0; si < sections_.size(); ++si) {
    const Section& s = sections_[si];
    const bool touched = pending_.section == si;
    if (!s.name.empty()) {
      out += u'[';
      out += s.name;
      if (touched) out += pending_.section_tail;
      out += u"]\r\n";
    }
    for (std::size_t ei = 0; ei <= s.entries.size(); ++ei) {
      if (touched && pending_.ghost_at == ei) entry(pending_.ghost, {}, {});
      if (ei == s.entries.size()) break;
      if (touched && pending_.entry == ei) {
        entry(s.entries[ei], pending_.name_tail, pending_.value_tail);
      } else {
        entry(s.entries[ei], {}, {});
      }
    }
  }
  return out;
}

std::string IniDocument::Bytes() const {
  if (!changed_) return original_;
  if (rendered_) return *rendered_;
  return EncodeIniText(encoding_, RenderUnits());
}

std::size_t IniDocument::Encoded(std::u16string_view units) const {
  return EncodedSize(encoding_, units);
}

std::size_t IniDocument::EntrySize(const Entry& e, std::u16string_view name_tail,
                                   std::u16string_view value_tail) const {
  std::size_t n = Encoded(e.name) + Encoded(name_tail) + Encoded(u"\r\n");
  if (e.has_value) n += Encoded(u"=") + Encoded(e.value) + Encoded(value_tail);
  return n;
}

std::size_t IniDocument::HeaderSize(std::u16string_view name, std::u16string_view tail) const {
  return name.empty() ? 0 : Encoded(u"[") + Encoded(name) + Encoded(tail) + Encoded(u"]\r\n");
}

std::size_t IniDocument::RenderedSize() const {
  std::size_t n = MarkSize(encoding_);
  for (const Section& s : sections_) {
    n += HeaderSize(s.name, {});
    for (const Entry& e : s.entries) n += EntrySize(e, {}, {});
  }
  return n + PendingSize();
}

std::size_t IniDocument::PendingSize() const {
  std::size_t n = Encoded(pending_.section_tail) + Encoded(pending_.name_tail) +
                  Encoded(pending_.value_tail);
  if (pending_.ghost_at != kNone) n += EntrySize(pending_.ghost, {}, {});
  return n;
}

// The size of the file that the next change starts from, as read from the file.
std::size_t IniDocument::SizeBeforeChange() const {
  if (!changed_ || rendered_) return RenderedSize();
  return size_ - PendingSize();
}

void IniDocument::BeginChange(std::size_t size) {
  rendered_.reset();
  pending_ = {};
  size_ = size;
}

// The first change rewrites the file in the platform's form; the next call reads
// that form back, so the document becomes what reading it gives. Later changes
// start from that form and keep it, unless the file now begins like a
// byte-order mark (its first line lost its blanks, or the lines before it went):
// the next reading then takes it for another encoding.
void IniDocument::EndChange() {
  if (changed_ && !BeginsLikeMark()) return;
  changed_ = true;
  rendered_ = EncodeIniText(encoding_, RenderUnits());
  pending_ = {};
  IniText text = DecodeIniText(*rendered_);
  encoding_ = text.encoding;
  ParseUnits(text.units);
  size_ = rendered_->size();
  std::string().swap(original_);
}

bool IniDocument::BeginsLikeMark() const {
  if (encoding_ != IniEncoding::kAnsi) return false;  // a UTF file begins with its own mark
  std::u16string first;
  for (const Section& s : sections_) {
    if (!s.name.empty() || !s.entries.empty()) {
      first = s.name.empty() ? s.entries.front().name : u"[";
      break;
    }
  }
  return DecodeIniText(EncodeIniText(encoding_, first.substr(0, 3))).encoding != IniEncoding::kAnsi;
}

bool IniDocument::SameName(std::u16string_view a, std::u16string_view b) const {
  if (a.size() != b.size()) return false;
  const bool dbcs = encoding_ == IniEncoding::kAnsi;
  for (std::size_t i = 0; i < a.size();) {
    // The second byte of a double-byte character is no letter.
    if (dbcs && CharacterLength932(a, i) == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      i += 2;
      continue;
    }
    if (Fold(a[i]) != Fold(b[i])) return false;
    ++i;
  }
  return true;
}

std::size_t IniDocument::FindSection(std::u16string_view name) const {
  for (std::size_t i = 0; i < sections_.size(); ++i)
    if (SameName(sections_[i].name, name)) return i;
  return kNone;
}

std::size_t IniDocument::FindEntry(const Section& s, std::u16string_view name) const {
  for (std::size_t i = 0; i < s.entries.size(); ++i)
    if (SameName(s.entries[i].name, name)) return i;
  return kNone;
}

std::u16string IniDocument::Units(std::string_view cp932) const {
  return UnitsFrom932(cp932, encoding_, *codec_);
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const std::u16string s = Units(CutAtZero(section)), k = Units(CutAtZero(key));
  const std::u16string_view sn = Trim(s), kn = Trim(k);
  if (sn.empty() || kn.empty()) return std::nullopt;
  const std::size_t si = FindSection(sn);
  if (si == kNone) return std::nullopt;
  const std::size_t ei = FindEntry(sections_[si], kn);
  if (ei == kNone || !sections_[si].entries[ei].has_value) return std::nullopt;
  return ReadValue(sections_[si].entries[ei].value);
}

std::string IniDocument::Read(std::string_view section, std::string_view key,
                              std::string_view def) const {
  std::optional<std::string> v = Find(section, key);
  return v ? std::move(*v) : std::string(def);
}

// The platform copies at most 1023 characters after an opening quote, and takes
// the last one off when a closing quote matched and the rest fitted in 1024:
// that is the closing quote, or with 1024 characters, the last one copied.
std::string IniDocument::ReadValue(std::u16string_view v) const {
  const bool dbcs = encoding_ == IniEncoding::kAnsi;
  bool quoted = false;
  if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) {
    quoted = true;
    v.remove_prefix(1);
  }
  std::size_t copied = 0, chars = 0, last = 0;
  for (std::size_t i = 0; i < v.size(); ++chars) {
    const std::size_t n = dbcs ? CharacterLength932(v, i) : 1;
    if (chars < kMaxValueBytes) {
      last = i;
      copied = i + n;
    }
    i += n;
  }
  if (quoted && chars <= kMaxValueBytes + 1 && copied > 0) copied = last;
  std::string bytes = Cp932FromUnits(v.substr(0, copied), encoding_, *codec_);
  // The platform fills the rest of a full buffer with whatever was there; whole
  // characters only here.
  std::size_t cut = 0;
  for (std::size_t n; cut < bytes.size() && cut + (n = CharacterLength932(bytes, cut)) <= kMaxValueBytes;)
    cut += n;
  bytes.resize(cut);
  return bytes;
}

bool IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  if (HoldsLineBreakOrZero(section) || HoldsLineBreakOrZero(key) || HoldsLineBreakOrZero(value))
    return false;
  const std::u16string s = Units(section), k = Units(key), v = Units(value);
  // Names and value lose their leading blanks; their trailing ones are written
  // this once and gone when the file is read again.
  const std::u16string_view sl = TrimLeft(s), kl = TrimLeft(k), vl = TrimLeft(v);
  const std::u16string_view sn = TrimRight(sl), kn = TrimRight(kl), vn = TrimRight(vl);
  if (sn.empty() || kn.empty()) return false;
  // Such a key would read back as another key, or as a section.
  if (kn.find(u'=') != std::u16string_view::npos || kn.front() == u'[') return false;
  if (encoding_ == IniEncoding::kAnsi) {
    // A last lead byte would take the closing "]" as its second byte.
    std::size_t i = 0;
    while (i + CharacterLength932(sn, i) < sn.size()) i += CharacterLength932(sn, i);
    if (CharacterLength932(sn, i) == 1 && sn[i] < 0x100 &&
        IsLeadByte932(static_cast<unsigned char>(sn[i])))
      return false;
  }

  const std::size_t si = FindSection(sn);
  const std::size_t ei = si == kNone ? kNone : FindEntry(sections_[si], kn);
  if (ei != kNone) {
    const Entry& e = sections_[si].entries[ei];
    if (e.has_value && e.value == vl) return true;  // nothing to change, nothing written
  }

  const std::u16string_view section_tail = sl.substr(sn.size()), name_tail = kl.substr(kn.size()),
                            value_tail = vl.substr(vn.size());
  Entry added;
  added.name = kn;
  added.value = vn;
  added.has_value = true;
  std::size_t size = SizeBeforeChange();
  if (ei != kNone) {
    const Entry& e = sections_[si].entries[ei];
    size = size - EntrySize(e, {}, {}) + EntrySize({e.name, added.value, true}, {}, value_tail);
  } else {
    size += EntrySize(added, name_tail, value_tail);
    if (si == kNone) size += HeaderSize(sn, section_tail);
  }
  if (size > kMaxFileBytes) return false;

  BeginChange(size);
  std::size_t touched_section = si, touched_entry = ei;
  if (ei != kNone) {
    Entry& e = sections_[si].entries[ei];
    e.value = std::move(added.value);
    e.has_value = true;
  } else {
    if (si == kNone) {
      sections_.push_back({std::u16string(sn), {}});
      touched_section = sections_.size() - 1;
      pending_.section_tail = section_tail;
    }
    std::vector<Entry>& entries = sections_[touched_section].entries;
    entries.push_back(std::move(added));
    touched_entry = entries.size() - 1;
    pending_.name_tail = name_tail;
  }
  pending_.section = touched_section;
  pending_.entry = touched_entry;
  pending_.value_tail = value_tail;
  EndChange();
  return true;
}

void IniDocument::Delete(std::string_view section, std::string_view key) {
  section = CutAtZero(section);
  key = CutAtZero(key);
  if (section.empty() || key.empty()) return;
  const std::u16string s = Units(section), k = Units(key);
  for (std::size_t si = 0; si < sections_.size(); ++si) {
    if (!SameName(sections_[si].name, s)) continue;
    const std::size_t ei = FindEntry(sections_[si], k);
    if (ei == kNone) continue;
    const bool first_change = !changed_;
    std::vector<Entry>& entries = sections_[si].entries;
    BeginChange(SizeBeforeChange() - EntrySize(entries[ei], {}, {}));
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(ei));
    // Two empty-named lines now in a row: the file keeps the second, a reading drops it.
    if (!first_change && ei > 0 && ei < entries.size() && entries[ei - 1].name.empty() &&
        entries[ei].name.empty()) {
      pending_.section = si;
      pending_.ghost_at = ei;
      pending_.ghost = std::move(entries[ei]);
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(ei));
    }
    EndChange();
    return;
  }
}

}  // namespace zepho
