// What Windows Sockets tells a window about a non-blocking connection, as the
// transport relies on it, for IPv6 and IPv4 on loopback: the connection made
// or refused, and the server's close (FIN or reset) after the bytes before it.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "pop3/socket_transport_win32.h"
#include "select_window.h"

namespace zepho {
namespace {

using test::LoopbackListener;
using test::SelectEvent;
using test::SelectWindow;
using G = std::array<std::uint16_t, 8>;

const IpAddress kLoop6 = Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1});
const IpAddress kLoop4 = Ipv4(127, 0, 0, 1);

struct SocketEvents : ::testing::TestWithParam<IpAddress> {
  void SetUp() override { ASSERT_EQ(StartupSockets(), 0); }
  void TearDown() override {
    if (client != INVALID_SOCKET) closesocket(client);
    CleanupSockets();
  }

  // A non-blocking connect of a watched socket, as the transport makes it.
  void Connect(unsigned short port) {
    const IpAddress& ip = GetParam();
    client = socket(ip.family == IpAddress::Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM, 0);
    ASSERT_NE(client, INVALID_SOCKET);
    ASSERT_TRUE(window.Watch(client));
    int len = 0;
    sockaddr_storage to = test::SocketAddress(ip, port, len);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&to), len), SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  }

  SelectWindow window;
  SOCKET client = INVALID_SOCKET;
};

TEST_P(SocketEvents, ConnectionIsMadeAndCarriesBytes) {
  LoopbackListener server(GetParam());
  ASSERT_TRUE(server.ok());
  Connect(server.port());
  SOCKET peer = server.Accept();
  SelectEvent e;
  ASSERT_TRUE(window.Next(e));
  EXPECT_EQ(e.socket, client);
  EXPECT_EQ(e.event, FD_CONNECT);
  EXPECT_EQ(e.error, 0);
  send(peer, "+OK ready\r\n", 11, 0);
  ASSERT_TRUE(window.Next(e));
  EXPECT_EQ(e.event, FD_READ);
  std::string bytes;
  ASSERT_TRUE(ReceiveChunk(client, bytes));
  EXPECT_EQ(bytes, "+OK ready\r\n");
  closesocket(peer);
}

TEST_P(SocketEvents, RefusalComesAtOnceAsAnError) {
  unsigned short port;
  {
    LoopbackListener gone(GetParam());
    ASSERT_TRUE(gone.ok());
    port = gone.port();
  }
  const DWORD start = GetTickCount();
  Connect(port);
  SelectEvent e;
  ASSERT_TRUE(window.Next(e));
  EXPECT_EQ(e.event, FD_CONNECT);
  EXPECT_EQ(e.error, WSAECONNREFUSED);
  EXPECT_LT(GetTickCount() - start, 1000u);
}

// The server's close, by FIN or by reset, with or without a reply before it.
// The transport reads one chunk per FD_READ and, on FD_CLOSE, whatever is left
// (Windows may report the close while bytes are unread; Wine reports it only
// once they are read). Wine reports a reset like a FIN: FD_CLOSE without error
// and recv 0; Windows gives WSAECONNRESET or WSAECONNABORTED.
struct Close {
  const char* name;
  bool reset;
  std::size_t reply;  // bytes sent before the close
};

TEST_P(SocketEvents, CloseComesAfterTheBytesBeforeIt) {
  const Close cases[] = {
      {"FIN", false, 0},
      {"FIN after a line", false, 11},
      {"FIN after a long reply", false, 100000},
      {"reset", true, 0},
      {"reset after a line", true, 11},
  };
  for (const Close& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackListener server(GetParam());
    ASSERT_TRUE(server.ok());
    Connect(server.port());
    SelectEvent e;
    ASSERT_TRUE(window.Next(e));
    ASSERT_EQ(e.event, FD_CONNECT);
    // The server on a thread of its own: a long reply does not fit the buffers.
    const std::string reply(c.reply, 'r');
    std::thread serve([&] {
      SOCKET peer = server.Accept();
      if (!reply.empty()) send(peer, reply.data(), static_cast<int>(reply.size()), 0);
      Sleep(50);
      if (c.reset) {
        const linger abort{1, 0};
        setsockopt(peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                   sizeof abort);
      }
      closesocket(peer);
    });

    std::string got, chunk;
    bool closed = false;
    int close_error = -1;
    while (!closed && window.Next(e, 3000)) {
      // No ASSERT until the server's thread is joined.
      EXPECT_EQ(e.socket, client);
      if (e.event == FD_READ) {
        if (!ReceiveChunk(client, chunk)) {
          ADD_FAILURE() << "recv failed";
          break;
        }
        got += chunk;
      } else if (e.event == FD_CLOSE) {
        closed = true;
        close_error = e.error;
        // What is left, until the orderly end (0) or an error.
        char buf[30000];
        int n;
        while ((n = recv(client, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
        if (!c.reset) {
          EXPECT_EQ(n, 0) << "recv tells the end of an orderly close";
        }
      }
    }
    serve.join();
    ASSERT_TRUE(closed) << "FD_CLOSE comes";
    if (c.reset) {
      EXPECT_TRUE(close_error == 0 || close_error == WSAECONNRESET ||
                  close_error == WSAECONNABORTED)
          << close_error;
      // A reset may throw unread bytes away.
      EXPECT_TRUE(got.empty() || got == reply);
    } else {
      EXPECT_EQ(close_error, 0);
      EXPECT_EQ(got.size(), reply.size()) << "every byte before the FIN";
    }
    closesocket(client);
    client = INVALID_SOCKET;
  }
}

INSTANTIATE_TEST_SUITE_P(Loopback, SocketEvents, ::testing::Values(kLoop6, kLoop4),
                         [](const ::testing::TestParamInfo<IpAddress>& info) {
                           return info.param.family == IpAddress::Family::V6 ? "Ipv6" : "Ipv4";
                         });

}  // namespace
}  // namespace zepho
