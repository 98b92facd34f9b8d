// Prints the `Passwd` value the program writes for a password, for the scripts
// and tests that write a settings file themselves (the demo, the end-to-end
// tests): they take it from the program's own code rather than a copy of it.
//
//   stored_password PASSWORD    the password's bytes as given (code page 932 for Japanese)
//   stored_password --hex HEX   the password's bytes in hexadecimal (a zero byte too)
//
// The value goes to stdout as bytes, then a line feed. It is empty where the
// program stores no password (empty, too long, holding a zero byte).
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

namespace {

int Usage() {
  std::fputs("usage: stored_password PASSWORD | stored_password --hex HEX\n", stderr);
  return 2;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::string password;
  if (argc == 2 && std::string_view(argv[1]) != "--hex") {
    password = argv[1];
  } else if (argc == 3 && std::string_view(argv[1]) == "--hex") {
    const std::optional<std::string> bytes = FromHex(argv[2]);
    if (!bytes) {
      std::fprintf(stderr, "stored_password: not hexadecimal bytes: %s\n", argv[2]);
      return 2;
    }
    password = *bytes;
  } else {
    return Usage();
  }
  const std::string stored = zepho::StoredPasswordValue(password) + "\n";
  return std::fwrite(stored.data(), 1, stored.size(), stdout) == stored.size() &&
                 std::fflush(stdout) == 0
             ? 0
             : 1;
}
