// What keeping the examined messages for the results window costs a walk:
// one dialogue of 1,000 new messages (TOP only, no id list) through the
// session, with the rows collected and without, in the same run. Prints the
// best of several walks of each (microseconds per message) and their ratio,
// and the bytes the rows hold. Built for Linux and for Windows (run under Wine).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "pop3/examined_messages.h"
#include "pop3/pop3_session.h"

namespace {

constexpr int kMessages = 1000;
constexpr int kWalks = 15;

// A header as a server hands it out: relays, a name in an encoded-word, a
// Japanese subject, the usual fields.
std::string TopReply(int i) {
  std::string top = "+OK\r\nReturn-Path: <s@example.org>\r\nDelivered-To: user@example.jp\r\n";
  for (int r = 0; r < 4; ++r)
    top += "Received: from relay" + std::to_string(r) +
           ".example.org (relay.example.org [192.0.2.1])\r\n\tby mx.example.jp with ESMTPS id " +
           std::to_string(i * 7 + r) + "\r\n\tfor <user@example.jp>; Mon, 6 May 2024 10:00:00 +0900\r\n";
  top += "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <s" + std::to_string(i) +
         "@example.org>\r\nTo: user@example.jp\r\nSubject: =?ISO-2022-JP?B?GyRCMnE1RBsoQg==?= " +
         std::to_string(i) +
         "\r\nDate: Mon, 6 May 2024 10:00:00 +0900\r\nMessage-ID: <" + std::to_string(i) +
         "@example.org>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
         "\r\n.\r\n";
  return top;
}

// One walk; the time spent in the session, in microseconds.
double Walk(const std::vector<std::string>& replies, zepho::ExaminedMessages* examined) {
  zepho::SessionConfig config;
  config.account = "user";
  config.password = "secret";
  config.load_check_list = [] {
    zepho::CheckList list{};
    list[0] = {"From:", "boss@example.jp"};
    return list;
  };
  config.examined = examined;
  zepho::Pop3Session session;
  const auto start = std::chrono::steady_clock::now();
  session.Begin(std::move(config));
  session.OnConnected();
  for (const char* r : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n"}) session.OnReceived(r);
  session.OnReceived("+OK " + std::to_string(kMessages) + " 0\r\n");
  for (const std::string& reply : replies) session.OnReceived(reply);
  session.OnReceived("+OK bye\r\n");
  const auto end = std::chrono::steady_clock::now();
  if (!session.finished() || session.walk().NewMailCount != kMessages) std::puts("walk went wrong");
  return std::chrono::duration<double, std::micro>(end - start).count();
}

}  // namespace

int main() {
  std::vector<std::string> replies;
  std::size_t bytes = 0;
  for (int i = kMessages; i >= 1; --i) {
    replies.push_back(TopReply(i));
    bytes += replies.back().size();
  }
  double without = 1e300, with = 1e300;
  std::size_t kept = 0;
  for (int w = 0; w < kWalks; ++w) {
    without = std::min(without, Walk(replies, nullptr));
    zepho::ExaminedMessages examined;
    with = std::min(with, Walk(replies, &examined));
    kept = 0;
    for (const zepho::ExaminedMessage& m : examined.rows())
      kept += sizeof m + m.from.capacity() + m.subject.capacity() + m.date.capacity();
  }
  std::printf("walk of %d new messages (%zu bytes of TOP replies), best of %d walks\n", kMessages,
              bytes, kWalks);
  std::printf("  dialogue alone           %8.2f us/message\n", without / kMessages);
  std::printf("  with the rows collected  %8.2f us/message   ratio %.3f\n", with / kMessages,
              with / without);
  std::printf("  the rows hold about %zu KiB\n", kept / 1024);
  return 0;
}
