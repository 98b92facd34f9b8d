// The address forms of the core against the platform's own readers and writer:
// inet_addr (what the program used before), inet_pton and inet_ntop.
#include "net/ip_address.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pop3/socket_transport_win32.h"

namespace zepho {
namespace {

// Newer than the Windows version the program targets: looked up by name.
using InetPton = int(WSAAPI*)(int, const char*, void*);
using InetNtop = const char*(WSAAPI*)(int, const void*, char*, size_t);

struct PlatformForms : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(StartupSockets(), 0);
    HMODULE ws2 = GetModuleHandleW(L"ws2_32.dll");
    pton = reinterpret_cast<InetPton>(reinterpret_cast<void*>(GetProcAddress(ws2, "inet_pton")));
    ntop = reinterpret_cast<InetNtop>(reinterpret_cast<void*>(GetProcAddress(ws2, "inet_ntop")));
    ASSERT_TRUE(pton && ntop);
  }
  void TearDown() override { CleanupSockets(); }
  InetPton pton = nullptr;
  InetNtop ntop = nullptr;
};

TEST_F(PlatformForms, Ipv4AsInetAddrReadsIt) {
  const char* forms[] = {
      "127.0.0.1", "127.1", "127.0.1", "0x7f.1", "0X7F.1", "0177.0.0.1", "0x7f000001",
      "2130706433", "01.02.03.010", "1.0xffffff", "1.2.0xffff", "1.0x0000000000000002", "0",
      "00", "10.0.0.255", "127.0.0.256", "1.16777216", "1.2.65536", "1.2.3.0x100", "256.1",
      "4294967296", "0x100000000", "040000000000", "", "1.2.3.4.5", "1.2.3.", "1..2.3",
      ".1.2.3", "0x", "0xg", "08.1.1.1", "099", "-1", "+1", "127.0.0.1x", " 127.0.0.1",
      "255.255.255.255", "0xFFFFFFFF", "037777777777"};
  for (const char* form : forms) {
    const unsigned long platform = inet_addr(form);
    const auto core = ParseIpv4(form);
    if (platform == INADDR_NONE) {
      // All ones is both an address and inet_addr's "no address".
      EXPECT_TRUE(!core || *core == Ipv4(255, 255, 255, 255)) << "[" << form << "]";
    } else {
      ASSERT_TRUE(core) << "[" << form << "]";
      EXPECT_EQ(std::memcmp(core->bytes.data(), &platform, 4), 0) << "[" << form << "]";
    }
  }
  // Where the two differ on purpose: inet_addr ignores anything after a blank,
  // the core takes the text whole (the server address trims blanks around it).
  for (const char* form : {"127.0.0.1 ", "127.0.0.1 x", "1.2.3.4\t"}) {
    EXPECT_NE(inet_addr(form), INADDR_NONE) << "[" << form << "]";
    EXPECT_FALSE(ParseIpv4(form)) << "[" << form << "]";
  }
}

TEST_F(PlatformForms, Ipv6AsInetPtonReadsItAndInetNtopWritesIt) {
  const char* forms[] = {"::1", "::", "1::", "2001:db8::1", "2001:DB8:0:0:0:0:0:1",
                         "0001:02:003:0004:5:6:7:8", "1:2:3:4:5:6:7::", "::2:3:4:5:6:7:8",
                         "::ffff:127.0.0.1", "64:ff9b::192.0.2.33", "1:2:3:4:5:6:1.2.3.4",
                         "2001:db8:0:1:1:1:1:1", "2001:0:0:1:0:0:0:1", "2001:db8:0:0:1:0:0:1",
                         "fe80::204:61ff:fe9d:f156", ":", ":::", "1::2::3", ":1::2", "1::2:",
                         "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", "12345::1", "g::1", "::1.2.3",
                         "::1.2.3.256", "1.2.3.4::", "::1.2.3.4:1", "[::1]", "::1 "};
  for (const char* form : forms) {
    in6_addr platform{};
    const bool platform_ok = pton(AF_INET6, form, &platform) == 1;
    const auto core = ParseIpv6(form);
    ASSERT_EQ(core.has_value(), platform_ok) << "[" << form << "]";
    if (!core) continue;
    EXPECT_EQ(std::memcmp(core->bytes.data(), &platform, 16), 0) << "[" << form << "]";
    char written[64];
    ASSERT_TRUE(ntop(AF_INET6, &platform, written, sizeof written)) << form;
    EXPECT_EQ(FormatIpAddress(*core), written) << "[" << form << "]";
  }
}

}  // namespace
}  // namespace zepho
