// The refresh token protected for the current user, through the real Data
// Protection API (Wine's own under test).
#include "oauth/user_secret_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "oauth/base64.h"

namespace zepho {
namespace {

TEST(UserSecret, RoundTrip) {
  for (const std::string& secret :
       {std::string("0.AXEA8pGsHMp2JEayYyZt-PE3xNNuxuP-5HFDkjv9vLzpuR5xAAA.AgABAAAAAAD"),
        std::string("1//xEoDL4iW3cxlI7yDbSRFYNG01kVKM2C-259HOF2aQbI"), std::string(3000, 'r'),
        std::string("\0\x01\xff", 3)}) {
    const auto stored = ProtectForCurrentUser(secret);
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(Base64Decode(*stored).has_value()) << "stored as base64 text";
    EXPECT_EQ(stored->find(secret.substr(0, 8)), std::string::npos) << "not in clear";
    EXPECT_EQ(UnprotectForCurrentUser(*stored), secret);
  }
}

TEST(UserSecret, AlteredOrForeignTextIsNoSecret) {
  const auto stored = ProtectForCurrentUser("refresh-token-value");
  ASSERT_TRUE(stored.has_value());
  const std::string blob = *Base64Decode(*stored);
  // The cipher text and its signature at the end of the blob. (Wine leaves
  // some header fields, the key's GUIDs and the description, unsigned.)
  for (std::size_t from_end : {1, 20, 40}) {
    std::string altered = blob;
    altered[blob.size() - from_end] = static_cast<char>(altered[blob.size() - from_end] ^ 0x5A);
    EXPECT_FALSE(UnprotectForCurrentUser(Base64Encode(altered)).has_value()) << from_end;
  }
  EXPECT_FALSE(UnprotectForCurrentUser(stored->substr(0, stored->size() - 4)).has_value()) << "cut";
  EXPECT_FALSE(UnprotectForCurrentUser("refresh-token-value").has_value()) << "in clear";
  EXPECT_FALSE(UnprotectForCurrentUser("").has_value());
  EXPECT_FALSE(UnprotectForCurrentUser(Base64Encode("not a blob at all")).has_value());
}

}  // namespace
}  // namespace zepho
