// Base64, percent-encoding and PKCE: the encodings every request of a sign-in
// is built from.
#include <gtest/gtest.h>

#include <string>

#include "oauth/base64.h"
#include "oauth/percent_encoding.h"
#include "oauth/pkce.h"

namespace zepho {
namespace {

// RFC 4648 section 10, and bytes that use the last characters of each alphabet.
TEST(Base64, Rfc4648Vectors) {
  struct Case { std::string bytes, standard, url; };
  const Case cases[] = {
      {"", "", ""},
      {"f", "Zg==", "Zg"},
      {"fo", "Zm8=", "Zm8"},
      {"foo", "Zm9v", "Zm9v"},
      {"foob", "Zm9vYg==", "Zm9vYg"},
      {"fooba", "Zm9vYmE=", "Zm9vYmE"},
      {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
      {"\xfb\xff\xbf", "+/+/", "-_-_"},
      {std::string("\0\x01\x02", 3), "AAEC", "AAEC"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Base64Encode(c.bytes), c.standard);
    EXPECT_EQ(Base64UrlEncode(c.bytes), c.url);
    EXPECT_EQ(Base64Decode(c.standard), c.bytes) << c.standard;
  }
}

TEST(Base64, DecodeRefusesWhatIsNotStrictBase64) {
  for (const char* text : {"Zg", "Zg=", "Zm9v\r\n", "Zm 9v", "Z===", "Zg==Zg==", "=Zg=", "-_-_",
                           "Zh==",  // unused bits not zero
                           "Zm9=", "Zm9vY", "Zm9vYg=a"})
    EXPECT_FALSE(Base64Decode(text).has_value()) << text;
  // Every byte value round-trips.
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(PercentEncoding, KeepsOnlyUnreservedCharacters) {
  EXPECT_EQ(PercentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(PercentEncode("http://127.0.0.1:5000/"), "http%3A%2F%2F127.0.0.1%3A5000%2F");
  EXPECT_EQ(PercentEncode("a b+c&d=e?f#g%h/i"), "a%20b%2Bc%26d%3De%3Ff%23g%25h%2Fi");
  EXPECT_EQ(PercentEncode("\x01\x7f\xff"), "%01%7F%FF");
  EXPECT_EQ(PercentEncode("東"), "%E6%9D%B1");  // UTF-8 bytes, each escaped
}

TEST(PercentEncoding, QueriesParseBackToTheirFields) {
  const QueryFields fields = {{"redirect_uri", "http://127.0.0.1:5000/"},
                              {"scope", "https://outlook.office.com/POP.AccessAsUser.All offline_access"},
                              {"empty", ""},
                              {"odd&=+%", "v=1&w"}};
  EXPECT_EQ(ParseQuery(EncodeQuery(fields)), fields);

  struct Case { std::string query; std::optional<QueryFields> fields; };
  const Case cases[] = {
      {"code=M.C5_B&state=xyz", QueryFields{{"code", "M.C5_B"}, {"state", "xyz"}}},
      {"a=1+2&b=%2b", QueryFields{{"a", "1 2"}, {"b", "+"}}},
      {"&&a=1&&", QueryFields{{"a", "1"}}},
      {"flag&b=", QueryFields{{"flag", ""}, {"b", ""}}},
      {"a=%41%6a", QueryFields{{"a", "Aj"}}},
      {"a=%4", std::nullopt},
      {"a=%", std::nullopt},
      {"a=%zz", std::nullopt},
      {"%g1=1", std::nullopt},
      {"", QueryFields{}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseQuery(c.query), c.fields) << c.query;
}

// RFC 7636 Appendix B.
TEST(Pkce, Rfc7636Example) {
  const unsigned char octets[32] = {116, 24,  223, 180, 151, 153, 224, 37,  79,  250, 96,
                                    125, 216, 173, 187, 186, 22,  212, 37,  77,  105, 214,
                                    191, 240, 91,  88,  5,   88,  83,  132, 141, 121};
  const std::string verifier = PkceVerifier(std::string(reinterpret_cast<const char*>(octets), 32));
  EXPECT_EQ(verifier, "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
  EXPECT_EQ(PkceChallenge(verifier), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(Pkce, SameSecretComparesWholeTexts) {
  EXPECT_TRUE(SameSecret("abc", "abc"));
  EXPECT_TRUE(SameSecret("", ""));
  EXPECT_FALSE(SameSecret("abc", "abd"));
  EXPECT_FALSE(SameSecret("abc", "ab"));
  EXPECT_FALSE(SameSecret("abc", "xbc"));
  EXPECT_FALSE(SameSecret("", "a"));
}

}  // namespace
}  // namespace zepho
