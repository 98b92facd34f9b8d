#include "oauth/user_secret_win32.h"

#include <windows.h>
#include <wincrypt.h>

#include "oauth/base64.h"

namespace zepho {

namespace {

// Extra entropy bound to this use: another program running as the same user
// cannot unprotect the blob by a plain CryptUnprotectData call.
constexpr char kEntropy[] = "ZEPHO OAuth 2.0 refresh token";

DATA_BLOB Blob(std::string_view bytes) {
  return DATA_BLOB{static_cast<DWORD>(bytes.size()),
                   reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

// Takes the system's buffer, wiping it before it is freed.
std::string Take(DATA_BLOB& out) {
  std::string bytes(reinterpret_cast<const char*>(out.pbData), out.cbData);
  SecureZeroMemory(out.pbData, out.cbData);
  LocalFree(out.pbData);
  return bytes;
}

}  // namespace

std::optional<std::string> ProtectForCurrentUser(std::string_view secret) {
  DATA_BLOB in = Blob(secret), entropy = Blob(std::string_view(kEntropy, sizeof kEntropy - 1)), out{};
  if (!CryptProtectData(&in, L"ZEPHO", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
    return std::nullopt;
  return Base64Encode(Take(out));
}

std::optional<std::string> UnprotectForCurrentUser(std::string_view stored) {
  const auto blob = Base64Decode(stored);
  if (!blob || blob->empty()) return std::nullopt;
  DATA_BLOB in = Blob(*blob), entropy = Blob(std::string_view(kEntropy, sizeof kEntropy - 1)), out{};
  if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
    return std::nullopt;
  return Take(out);
}

}  // namespace zepho
