// The loopback listener's request: any bytes, in any pieces, end in a
// bounded result, and every request that ends is answered.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "oauth/redirect_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = data[0] % 31 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  // A state the fuzzer can find in its dictionary of compared strings.
  zepho::RedirectRequestParser p("st4te");
  zepho::RedirectResult r;
  for (std::size_t at = 0; at < bytes.size() && r.kind == zepho::RedirectResult::Kind::Incomplete;
       at += piece)
    r = p.Feed(bytes.substr(at, piece));
  if (r.kind == zepho::RedirectResult::Kind::Incomplete) {
    if (bytes.size() > zepho::kMaxRedirectRequestBytes + 4) std::abort();
    return 0;
  }
  if (r.response.empty()) std::abort();
  if (r.kind == zepho::RedirectResult::Kind::Code && r.code.empty()) std::abort();
  return 0;
}
