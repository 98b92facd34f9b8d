// An INI file kept in memory that follows the platform's profile rules: names
// match regardless of case, a new key or section is appended, reads drop
// surrounding blanks and one pair of enclosing quotes and keep at most 1023 bytes.
// `fail_writes_from` makes every write from that call on fail, like a
// read-only file.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "settings/profile.h"

namespace zepho::testing {

class MemoryProfile : public Profile {
 public:
  struct Key { std::string name, value; };
  struct Section { std::string name; std::vector<Key> keys; };

  explicit MemoryProfile(std::wstring path = L"C:\\ZEPHO\\ZEPHO.ini") : path_(std::move(path)) {}

  std::wstring Path() const override { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) override {
    ++reads;
    const Key* k = FindKey(section, key);
    if (!k) return def;
    std::string v = k->value;
    const auto blank = [](unsigned char c) { return c == ' ' || c == '\t'; };
    while (!v.empty() && blank(v.front())) v.erase(v.begin());
    while (!v.empty() && blank(v.back())) v.pop_back();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    if (v.size() > 1023) v.resize(1023);
    return v;
  }

  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override {
    if (WriteFails()) return false;
    log.push_back("W " + section + "/" + key + "=" + value);
    Section& s = FindOrAddSection(section);
    for (Key& k : s.keys)
      if (Same(k.name, key)) { k.value = value; return true; }
    s.keys.push_back({key, value});
    return true;
  }

  bool DeleteKey(const std::string& section, const std::string& key) override {
    if (WriteFails()) return false;
    log.push_back("D " + section + "/" + key);
    for (Section& s : sections)
      if (Same(s.name, section))
        std::erase_if(s.keys, [&](const Key& k) { return Same(k.name, key); });
    return true;
  }

  // Sets a raw value as a hand edit would (no quoting added).
  void Set(const std::string& section, const std::string& key, const std::string& raw) {
    Section& s = FindOrAddSection(section);
    for (Key& k : s.keys)
      if (Same(k.name, key)) { k.value = raw; return; }
    s.keys.push_back({key, raw});
  }

  const Key* FindKey(const std::string& section, const std::string& key) const {
    for (const Section& s : sections)
      if (Same(s.name, section))
        for (const Key& k : s.keys)
          if (Same(k.name, key)) return &k;
    return nullptr;
  }

  // The file as text, for assertions on order and form.
  std::string Text() const {
    std::string t;
    for (const Section& s : sections) {
      t += "[" + s.name + "]\n";
      for (const Key& k : s.keys) t += k.name + "=" + k.value + "\n";
    }
    return t;
  }

  std::vector<Section> sections;
  std::vector<std::string> log;  // writes and deletes in order
  int reads = 0;
  int writes_done = 0;
  int fail_writes_from = -1;  // index of the first write that fails; -1 = none

 private:
  static bool Same(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
             return std::tolower(x) == std::tolower(y);
           });
  }
  bool WriteFails() {
    const int index = writes_done++;
    return fail_writes_from >= 0 && index >= fail_writes_from;
  }
  Section& FindOrAddSection(const std::string& name) {
    for (Section& s : sections)
      if (Same(s.name, name)) return s;
    sections.push_back({name, {}});
    return sections.back();
  }

  std::wstring path_;
};

}  // namespace zepho::testing
