// Arbitrary bytes as a stored password and as integer texts of the settings file.
// Whatever loads as a password must be one that saving writes back byte for byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "settings/settings_file.h"
#include "../unit/fakes/memory_profile.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
  }
}

// An independent reading of the integer rule, on the standard library's parsers.
std::optional<std::int32_t> Reference(const std::string& t) {
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    const std::string digits = t.substr(2);
    if (digits.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, 16);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return static_cast<std::int32_t>(v);
  }
  std::string body = t;
  if (!body.empty() && body[0] == '+') {
    body.erase(0, 1);
    if (!body.empty() && body[0] == '-') return std::nullopt;
  }
  std::int32_t v = 0;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v, 10);
  if (body.empty() || ec != std::errc() || end != body.data() + body.size()) return std::nullopt;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using zepho::Settings;
  FuzzedDataProvider in(data, size);
  const std::string int_text = in.ConsumeRandomLengthString(24);
  const std::string bytes = in.ConsumeRemainingBytesAsString();

  // The integer rule against the reference, with two defaults to show when the default is used.
  const std::optional<std::int32_t> want = Reference(int_text);
  Check(zepho::ParseProfileInt(int_text, 0) == want.value_or(0), "integer rule (default 0)");
  Check(zepho::ParseProfileInt(int_text, 1) == want.value_or(1), "integer rule (default 1)");

  // Single scrambling is a bijection on byte strings of any length.
  Check(zepho::UnscramblePassword(zepho::ScramblePassword(bytes)) == bytes, "scramble round trip");
  (void)zepho::UnscramblePassword(bytes);

  // The bytes as a stored password (as a hand edit would leave it).
  {
    zepho::testing::MemoryProfile p;
    p.Set(zepho::kSectionNetwork, "Passwd", bytes);
    p.Set(zepho::kSectionOther, "PopTime", int_text);
    Settings s;
    zepho::LoadSettings(p, s);
    const std::string stored = p.ReadString(zepho::kSectionNetwork, "Passwd", "");
    Check(s.Passwd.empty() || zepho::StoredPasswordValue(s.Passwd) == stored,
          "loaded password saves back to the stored text");
    Check(s.Passwd.size() <= zepho::kMaxStoredPasswordBytes, "loaded password length");
    // The profile drops blanks and quotes first, so the rule applies to the text as read.
    const std::string time_text = p.ReadString(zepho::kSectionOther, "PopTime", "");
    Check(s.PopTime == Reference(time_text).value_or(Settings{}.PopTime),
          "PopTime through LoadSettings");
  }

  // The bytes as a typed password: saved and loaded, it comes back or is asked for again.
  {
    zepho::testing::MemoryProfile p;
    Settings s;
    s.Passwd = bytes;
    zepho::SaveSettings(p, s);
    Settings loaded;
    zepho::LoadSettings(p, loaded);
    Check(loaded.Passwd == bytes || loaded.Passwd.empty(), "saved password loads back");
    const bool storable = !bytes.empty() && bytes.size() <= zepho::kMaxStoredPasswordBytes &&
                          bytes.find('\0') == std::string::npos;
    Check(loaded.Passwd.empty() != storable, "storable passwords survive");
  }
  return 0;
}
