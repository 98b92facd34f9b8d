// The settings record, its load and save rules, the check-address list and the
// scrambling of the stored password.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/profile.h"

namespace zepho {

inline constexpr char kIniFileName[] = "ZEPHO.ini";
inline constexpr char kSectionNetwork[] = "NETWORK";
inline constexpr char kSectionOther[] = "OTHER";
inline constexpr char kSectionCheckAddress[] = "CHECKADDRESS";

// One field per key of the settings file; the initial values are the defaults.
struct Settings {
  std::string PopAcount;
  std::string PopAddress;
  std::string AccountTitle;
  std::string AccountPath;
  std::int32_t PopPort = 110;
  std::int32_t PopTime = 3;
  std::int32_t LOG = 0;
  std::string Passwd;  // as typed; stored scrambled
  std::int32_t PopUpSetting = 0;
  std::int32_t Apop = 0;
  std::int32_t InboxMove = 0;
  std::int32_t NotPopup = 0;
  std::int32_t RecvDo = 0;
  std::int32_t RetrySearchToNozari = 0;
  std::int32_t RecvSleep = 0;
  std::int32_t IconChange = 0;
  std::int32_t AllIconChange = 0;
  // The connection's security (NETWORK/Tls): plain, STLS or TLS from the first
  // byte; any other stored value reads as plain.
  std::int32_t Tls = 0;
  // A certificate trusted by its SHA-256 fingerprint (NETWORK/TlsCertSha256),
  // as stored: 64 hex digits, colons allowed; empty = none.
  std::string TlsCertSha256;
  // A balloon from the tray icon when a check changes it for new mail
  // (OTHER/Balloon): 1 = on; absent or any other stored value reads as off.
  std::int32_t Balloon = 0;

  friend bool operator==(const Settings&, const Settings&) = default;
};

// A failed write of the settings file. The shell shows "<path> に書き込めません".
class SettingsWriteError : public std::runtime_error {
 public:
  explicit SettingsWriteError(std::wstring path)
      : std::runtime_error("cannot write the settings file"), path_(std::move(path)) {}
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

inline constexpr std::int32_t kTlsNone = 0;      // plain POP3
inline constexpr std::int32_t kTlsStls = 1;      // STLS on the plain connection
inline constexpr std::int32_t kTlsImplicit = 2;  // TLS from the first byte (POP3S)

// Integer rule of the file: "0x"/"0X" followed by at least one character is
// hexadecimal, anything else decimal; absent or invalid gives `def`.
std::int32_t ParseProfileInt(const std::string& text, std::int32_t def);
// The same rule without a default: nullopt when the text is no integer.
std::optional<std::int32_t> ParseInteger(const std::string& text);
std::int32_t ReadProfileInt(Profile& p, const std::string& section, const std::string& key,
                            std::int32_t def);

// Throw SettingsWriteError on the first failed write. Each is one update of the
// profile: over the settings document a failure leaves the file as it was; over
// a profile that writes key by key the keys before it stay written.
void LoadSettings(Profile& p, Settings& s);
void SaveSettings(Profile& p, const Settings& s);

struct CheckAddress {
  int number = 0;  // its number in the file (1-based); 0 for entries not yet stored
  std::string header;
  std::string address;
};

// New-mail detection has 20 slots, and the settings window adds entries up to 20.
inline constexpr int kMaxCheckAddresses = 20;
// A list edited by hand may be longer; it is read and saved as it is, up to this
// many entries, so that an absurd count cannot make a read or a save run for long.
inline constexpr int kMaxStoredCheckAddresses = 1000;

// The entries numbered 1 ... min(SettingNumber, limit).
std::vector<CheckAddress> ReadCheckAddresses(Profile& p, int limit = kMaxStoredCheckAddresses);
// Writes at most kMaxStoredCheckAddresses entries.
void WriteCheckAddresses(Profile& p, const std::vector<CheckAddress>& entries);

// The stored form of a password is ScramblePassword applied twice.
std::string ScramblePassword(const std::string& plain);
std::string UnscramblePassword(const std::string& scrambled);

// Longest password whose stored form reads back exactly.
inline constexpr std::size_t kMaxStoredPasswordBytes = 43;

// The `Passwd` value written for a password: empty when the password is empty
// or cannot be stored exactly (longer than kMaxStoredPasswordBytes, or holding
// a zero byte), so the next start asks for it instead of restoring another text.
std::string StoredPasswordValue(const std::string& plain);

// The password a stored `Passwd` value stands for; empty (ask for it) when the
// value is not one that StoredPasswordValue can produce.
std::string PasswordFromStoredValue(const std::string& stored);

}  // namespace zepho
