#include "oauth/random_bytes_win32.h"

#include <windows.h>
#include <ntsecapi.h>

namespace zepho {

std::optional<std::string> SystemRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  // RtlGenRandom (SystemFunction036 of advapi32): there since Windows XP,
  // without a provider handle to acquire.
  if (count && !RtlGenRandom(bytes.data(), static_cast<ULONG>(count))) return std::nullopt;
  return bytes;
}

}  // namespace zepho
