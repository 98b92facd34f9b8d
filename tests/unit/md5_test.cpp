#include "pop3/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace zepho {
namespace {

TEST(Md5, Rfc1321TestSuite) {
  struct Case { std::string input, hex; };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) EXPECT_EQ(Md5Hex(c.input), c.hex) << '"' << c.input << '"';
}

// The padding takes one block or two depending on the length mod 64; these
// lengths sit on either side of each switch.
TEST(Md5, PaddingBoundaries) {
  struct Case { std::size_t length; std::string hex; };
  const Case cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},
      {56, "3b0c8ac703f828b04c6c197006d17218"},
      {57, "652b906d60af96844ebd21b674f35e93"},
      {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},
  };
  for (const Case& c : cases) EXPECT_EQ(Md5Hex(std::string(c.length, 'a')), c.hex) << c.length;
}

TEST(Md5, MillionBytes) {
  EXPECT_EQ(Md5Hex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, ApopExampleOfRfc1939) {
  EXPECT_EQ(Md5Hex("<1896.697170952@dbc.mtview.ca.us>tanstaaf"),
            "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(Md5, BytesAboveAsciiAndZeroBytes) {
  // Bytes are taken unsigned, and a zero byte is data like any other.
  EXPECT_EQ(Md5Hex(std::string("\x82\xa0\xff", 3)), "3dceeb5537f302e67df4e538011cd21c");
  EXPECT_EQ(Md5Hex(std::string("a\0b", 3)), "70350f6027bce3713f6b76473084309b");
}

TEST(Md5, DigestBytesMatchHexInOrder) {
  const auto digest = Md5("abc");
  EXPECT_EQ(digest[0], 0x90);
  EXPECT_EQ(digest[1], 0x01);
  EXPECT_EQ(digest[15], 0x72);
}

}  // namespace
}  // namespace zepho
