// The floor a check's duration is measured against: a minimal blocking POP3
// client that sends given commands one after the other, each after the reply
// to the one before is complete, with nothing else to do. It runs on the same
// platform as the program (under Wine, the same sockets and the same server
// round trips), so what the program needs beyond it is its own cost.
//
// Usage: pop3_floor HOST PORT COMMANDS-FILE   (one command a line)
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Reads until `buffer` holds a complete reply: one line, or with `multi` and a
// positive status a block ending in a line holding one dot.
bool ReadReply(SOCKET s, bool multi) {
  std::string buffer;
  char chunk[65536];
  for (;;) {
    const bool positive = buffer.rfind("+OK", 0) == 0;
    if (buffer.find("\r\n") != std::string::npos &&
        (!multi || !positive || buffer.find("\r\n.\r\n") != std::string::npos))
      return true;
    const int n = recv(s, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: pop3_floor HOST PORT COMMANDS-FILE\n");
    return 2;
  }
  std::vector<std::string> commands;
  if (std::FILE* f = std::fopen(argv[3], "rb")) {
    char line[1024];
    while (std::fgets(line, sizeof line, f)) {
      std::string c(line);
      while (!c.empty() && (c.back() == '\n' || c.back() == '\r')) c.pop_back();
      if (!c.empty()) commands.push_back(c + "\r\n");
    }
    std::fclose(f);
  }
  WSADATA data;
  if (WSAStartup(0x0202, &data) != 0) return 1;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(std::atoi(argv[2])));
  to.sin_addr.s_addr = inet_addr(argv[1]);
  if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return 1;
  if (!ReadReply(s, false)) return 1;
  for (const std::string& c : commands) {
    send(s, c.data(), static_cast<int>(c.size()), 0);
    if (!ReadReply(s, c.rfind("TOP ", 0) == 0)) return 1;
  }
  closesocket(s);
  WSACleanup();
  std::printf("%zu commands\n", commands.size());
  return 0;
}
