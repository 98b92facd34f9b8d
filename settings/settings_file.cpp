#include "settings/settings_file.h"

#include <algorithm>
#include <limits>

namespace zepho {
namespace {

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::int32_t> ParseHex(const std::string& digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (unsigned char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(d);
  }
  // A 32-bit pattern: 0xFFFFFFFF is -1.
  return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ParseDecimal(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  // Accumulated as a magnitude so that INT32_MIN is accepted.
  const std::uint64_t limit =
      negative ? std::uint64_t{1} << 31 : std::uint64_t{std::numeric_limits<std::int32_t>::max()};
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return std::nullopt;
  }
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                  : static_cast<std::int32_t>(magnitude);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void Write(Profile& p, const std::string& section, const std::string& key,
           const std::string& value) {
  if (!p.WriteString(section, key, value)) throw SettingsWriteError(p.Path());
}

void WriteInt(Profile& p, const std::string& section, const std::string& key, std::int32_t value) {
  Write(p, section, key, std::to_string(value));
}

void Delete(Profile& p, const std::string& section, const std::string& key) {
  if (!p.DeleteKey(section, key)) throw SettingsWriteError(p.Path());
}

// A count read from the file, limited so that a hand-edited count (even
// 2000000000) costs at most `limit` entries' worth of reads or deletes.
int CheckAddressCount(Profile& p, int limit) {
  const std::int32_t n = ReadProfileInt(p, kSectionCheckAddress, "SettingNumber", 0);
  return std::clamp<std::int32_t>(n, 0, limit);
}

bool HasKey(Profile& p, const std::string& section, const std::string& key) {
  // No value read back from a file holds a line break.
  const std::string absent = "\n";
  return p.ReadString(section, key, absent) != absent;
}

void CommitOrThrow(ProfileUpdate& update, Profile& p) {
  if (!update.Commit()) throw SettingsWriteError(p.Path());
}

std::string HeaderKey(int i) { return "CheckString" + std::to_string(i); }
std::string AddressKey(int i) { return HeaderKey(i) + "+A"; }

bool IsStorable(const std::string& plain) {
  // Beyond 43 bytes the sums wrap; a zero byte would end the text on the platform.
  return !plain.empty() && plain.size() <= kMaxStoredPasswordBytes &&
         plain.find('\0') == std::string::npos;
}

}  // namespace

std::optional<std::int32_t> ParseInteger(const std::string& text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return ParseHex(text.substr(2));
  return ParseDecimal(text);
}

std::int32_t ParseProfileInt(const std::string& text, std::int32_t def) {
  return ParseInteger(text).value_or(def);
}

std::int32_t ReadProfileInt(Profile& p, const std::string& section, const std::string& key,
                            std::int32_t def) {
  return ParseProfileInt(p.ReadString(section, key, ""), def);
}

void LoadSettings(Profile& p, Settings& s) {
  const std::string net = kSectionNetwork;
  const std::string other = kSectionOther;
  ProfileUpdate update(p);

  s.PopAddress = p.ReadString(net, "PopAddress", "");
  s.PopAcount = p.ReadString(net, "PopAcount", "");
  s.PopPort = ReadProfileInt(p, net, "PopPort", s.PopPort);
  s.Apop = ReadProfileInt(p, net, "Apop", s.Apop);

  s.InboxMove = ReadProfileInt(p, other, "InboxMove", s.InboxMove);
  s.PopTime = ReadProfileInt(p, other, "PopTime", s.PopTime);
  s.PopUpSetting = ReadProfileInt(p, other, "PopUpSetting", s.PopUpSetting);
  s.NotPopup = ReadProfileInt(p, other, "NotPopup", s.NotPopup);
  s.RecvDo = ReadProfileInt(p, other, "RecvDo", s.RecvDo);
  s.RetrySearchToNozari = ReadProfileInt(p, other, "RetrySearchToNozari", s.RetrySearchToNozari);
  s.RecvSleep = ReadProfileInt(p, other, "RecvSleep", s.RecvSleep);
  s.IconChange = ReadProfileInt(p, other, "IconChange", s.IconChange);
  s.AllIconChange = ReadProfileInt(p, other, "AllIconChange", s.AllIconChange);
  s.AccountTitle = p.ReadString(other, "AccountTitle", "");
  s.AccountPath = p.ReadString(other, "AccountPath", "");
  s.LOG = ReadProfileInt(p, other, "LOG", 0);

  // Puts the key into the file for editing by hand; a nonzero value is left alone.
  // A file that cannot be written must not cost the password: it is still read,
  // and the failure is reported afterwards.
  const bool written = s.RecvSleep != 0 || p.WriteString(other, "RecvSleep", "0");

  s.Passwd = PasswordFromStoredValue(p.ReadString(net, "Passwd", ""));

  // Absent means plain, whatever was in memory; an unknown mode is plain too.
  s.Tls = ReadProfileInt(p, net, "Tls", kTlsNone);
  if (s.Tls != kTlsStls && s.Tls != kTlsImplicit) s.Tls = kTlsNone;
  s.TlsCertSha256 = p.ReadString(net, "TlsCertSha256", "");
  s.Balloon = ReadProfileInt(p, other, "Balloon", 0) == 1 ? 1 : 0;
  const bool committed = update.Commit();
  if (!written || !committed) throw SettingsWriteError(p.Path());
}

// Whole: the file gets every key or keeps its old bytes.
void SaveSettings(Profile& p, const Settings& s) {
  const std::string net = kSectionNetwork;
  const std::string other = kSectionOther;
  ProfileUpdate update(p);

  Write(p, net, "PopAddress", Quoted(s.PopAddress));
  Write(p, net, "PopAcount", Quoted(s.PopAcount));
  WriteInt(p, net, "PopPort", s.PopPort);
  WriteInt(p, net, "Apop", s.Apop);

  WriteInt(p, other, "InboxMove", s.InboxMove);
  WriteInt(p, other, "PopTime", s.PopTime);
  WriteInt(p, other, "PopUpSetting", s.PopUpSetting);
  WriteInt(p, other, "NotPopup", s.NotPopup);
  WriteInt(p, other, "RecvDo", s.RecvDo);
  WriteInt(p, other, "RetrySearchToNozari", s.RetrySearchToNozari);
  WriteInt(p, other, "IconChange", s.IconChange);
  WriteInt(p, other, "AllIconChange", s.AllIconChange);
  Write(p, other, "AccountTitle", Quoted(s.AccountTitle));
  Write(p, other, "AccountPath", Quoted(s.AccountPath));

  Write(p, net, "Passwd", StoredPasswordValue(s.Passwd));

  // The connection's security comes last, and only into a file that uses it:
  // a user who never chose it keeps exactly the keys, values and order above.
  if (s.Tls != kTlsNone || HasKey(p, net, "Tls")) WriteInt(p, net, "Tls", s.Tls);
  if (!s.TlsCertSha256.empty() || HasKey(p, net, "TlsCertSha256"))
    Write(p, net, "TlsCertSha256", Quoted(s.TlsCertSha256));
  // The balloon likewise: only into a file that uses it.
  if (s.Balloon != 0 || HasKey(p, other, "Balloon")) WriteInt(p, other, "Balloon", s.Balloon);
  CommitOrThrow(update, p);
}

std::vector<CheckAddress> ReadCheckAddresses(Profile& p, int limit) {
  std::vector<CheckAddress> entries;
  ProfileUpdate reading(p);  // one reading of the file; nothing to commit
  const int n = CheckAddressCount(p, std::min(limit, kMaxStoredCheckAddresses));
  for (int i = 1; i <= n; ++i) {
    std::string header = p.ReadString(kSectionCheckAddress, HeaderKey(i), "");
    std::string address = p.ReadString(kSectionCheckAddress, AddressKey(i), "");
    if (header.empty()) continue;
    entries.push_back({i, std::move(header), std::move(address)});
  }
  return entries;
}

// Whole: the file gets the new list or keeps its old bytes.
void WriteCheckAddresses(Profile& p, const std::vector<CheckAddress>& entries) {
  ProfileUpdate update(p);
  const int old_count = CheckAddressCount(p, kMaxStoredCheckAddresses);
  for (int i = 1; i <= old_count; ++i) {
    Delete(p, kSectionCheckAddress, HeaderKey(i));
    Delete(p, kSectionCheckAddress, AddressKey(i));
  }
  // A hand-edited list longer than 20 is kept as it is; new-mail detection
  // uses its first 20.
  const int n = static_cast<int>(
      std::min<std::size_t>(entries.size(), static_cast<std::size_t>(kMaxStoredCheckAddresses)));
  WriteInt(p, kSectionCheckAddress, "SettingNumber", n);
  for (int i = 1; i <= n; ++i) {
    const CheckAddress& e = entries[static_cast<std::size_t>(i - 1)];
    Write(p, kSectionCheckAddress, HeaderKey(i), Quoted(e.header));
    Write(p, kSectionCheckAddress, AddressKey(i), Quoted(e.address));
  }
  CommitOrThrow(update, p);
}

std::string ScramblePassword(const std::string& plain) {
  std::string out;
  out.reserve(plain.size() * 2);
  unsigned k = 65;
  for (unsigned char b : plain) {
    out.push_back(static_cast<char>(((b >> 4) + k + 3) & 0xFF));
    ++k;
    out.push_back(static_cast<char>(((b & 15u) + k + 3) & 0xFF));
    ++k;
  }
  return out;
}

std::string UnscramblePassword(const std::string& scrambled) {
  // An odd last byte has no partner and stands for nothing.
  std::string out;
  out.reserve(scrambled.size() / 2);
  unsigned k = 65;
  for (std::size_t i = 0; i + 1 < scrambled.size(); i += 2) {
    const unsigned h = (static_cast<unsigned char>(scrambled[i]) - k - 3) & 0xFF;
    ++k;
    const unsigned l = (static_cast<unsigned char>(scrambled[i + 1]) - k - 3) & 0xFF;
    ++k;
    out.push_back(static_cast<char>(((h << 4) & 0xFF) | l));
  }
  return out;
}

std::string StoredPasswordValue(const std::string& plain) {
  if (!IsStorable(plain)) return "";
  return ScramblePassword(ScramblePassword(plain));
}

std::string PasswordFromStoredValue(const std::string& stored) {
  // Only a value that saving could have written is taken; anything else (odd or
  // overlong, hand-edited, from a password that was too long) means "ask again".
  if (stored.empty() || stored.size() % 4 != 0 || stored.size() > 4 * kMaxStoredPasswordBytes)
    return "";
  std::string plain = UnscramblePassword(UnscramblePassword(stored));
  if (!IsStorable(plain) || StoredPasswordValue(plain) != stored) return "";
  return plain;
}

}  // namespace zepho
