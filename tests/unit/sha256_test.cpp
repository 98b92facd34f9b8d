#include "common/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "net/tls_certificate.h"

namespace zepho {
namespace {

std::string Hex(const Sha256Digest& d) {
  std::string s = FormatFingerprint(d);
  std::erase(s, ':');
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// FIPS 180-4 examples, and lengths on either side of the one-or-two-block padding.
TEST(Sha256, KnownDigests) {
  struct Case { std::string input, hex; };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(Sha256(c.input)), c.hex) << c.input.size() << " bytes";
}

TEST(Fingerprint, ParseTable) {
  const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const Sha256Digest abc = Sha256("abc");
  std::string colons;
  for (std::size_t i = 0; i < lower.size(); i += 2) colons += (i ? ":" : "") + lower.substr(i, 2);
  std::string upper = colons;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Case { std::string text; bool ok; };
  const Case cases[] = {
      {lower, true},
      {upper, true},
      {colons, true},
      {":" + lower + "::", true},   // colons anywhere
      {lower.substr(1), false},     // 63 digits
      {lower + "0", false},         // 65 digits
      {lower.substr(0, 63) + "g", false},
      {" " + lower, false},         // blanks are not colons
      {"", false},
  };
  for (const Case& c : cases) {
    const auto d = ParseFingerprint(c.text);
    EXPECT_EQ(d.has_value(), c.ok) << c.text;
    if (d && c.ok) {
      EXPECT_EQ(*d, abc) << c.text;
    }
  }
  EXPECT_EQ(FormatFingerprint(abc), upper);
  EXPECT_EQ(ParseFingerprint(FormatFingerprint(abc)), abc);
}

TEST(Fingerprint, FailureLogLineIsOneLine) {
  TlsFailure f{TlsFailure::Reason::CertExpired, "bad\r\ndate", "AB:CD"};
  EXPECT_EQ(TlsFailureLogLine(f),
            "TLS FAILED: certificate expired or not yet valid (bad  date) SHA-256 AB:CD\r\n");
}

}  // namespace
}  // namespace zepho
