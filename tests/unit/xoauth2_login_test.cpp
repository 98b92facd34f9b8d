// The XOAUTH2 login as data: server bytes in, client lines and the outcome
// out, each dialogue replayed with its replies split at every byte.
#include "oauth/xoauth2_login.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oauth/base64.h"

namespace zepho {
namespace {

using Kind = Xoauth2Login::Step::Kind;

const std::string kPayload = Xoauth2Payload("taro@example.jp", "ya29.token");

TEST(Xoauth2Payload, IsTheSaslStringInBase64) {
  EXPECT_EQ(Base64Decode(kPayload),
            std::string("user=taro@example.jp\x01" "auth=Bearer ya29.token\x01\x01"));
  // The example of Google's XOAUTH2 documentation.
  EXPECT_EQ(Xoauth2Payload("someuser@example.com", "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"),
            "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52"
            "YjNSbGNrQmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
}

struct Dialogue {
  const char* name;
  std::vector<std::string> replies;  // one per line the client sends
  std::vector<std::string> sent;     // the lines sent, the first included
  Kind outcome;
};

const std::string kChallenge =
    "+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZ29vZ2xlLmNvbS8ifQ==\r\n";

const Dialogue kDialogues[] = {
    {"accepted", {"+ \r\n", "+OK Logged in.\r\n"}, {"AUTH XOAUTH2\r\n", kPayload + "\r\n"}, Kind::LoggedIn},
    {"bare plus", {"+\r\n", "+OK\r\n"}, {"AUTH XOAUTH2\r\n", kPayload + "\r\n"}, Kind::LoggedIn},
    {"json challenge", {"+ \r\n", kChallenge, "-ERR [AUTH] Authentication failed.\r\n"},
     {"AUTH XOAUTH2\r\n", kPayload + "\r\n", "\r\n"}, Kind::Refused},
    {"refused at once", {"+ \r\n", "-ERR Authentication failure: unknown user name or bad password.\r\n"},
     {"AUTH XOAUTH2\r\n", kPayload + "\r\n"}, Kind::Refused},
    {"no xoauth2", {"-ERR Unsupported authentication mechanism.\r\n"}, {"AUTH XOAUTH2\r\n"}, Kind::Failed},
    {"+OK to AUTH itself", {"+OK\r\n"}, {"AUTH XOAUTH2\r\n"}, Kind::Failed},
    {"nonsense to the credentials", {"+ \r\n", "* what\r\n"}, {"AUTH XOAUTH2\r\n", kPayload + "\r\n"},
     Kind::Failed},
    {"+OK after the challenge", {"+ \r\n", kChallenge, "+OK\r\n"},
     {"AUTH XOAUTH2\r\n", kPayload + "\r\n", "\r\n"}, Kind::Failed},
};

// Feeds each reply in pieces cut at `cut` (0: whole) and returns what was
// sent and the outcome.
struct Replay { std::vector<std::string> sent; Kind outcome = Kind::Wait; std::string log; };

Replay ReplayDialogue(const Dialogue& d, std::size_t reply_index, std::size_t cut) {
  Replay r;
  Xoauth2Login login;
  Xoauth2Login::Step s = login.Begin("taro@example.jp", "ya29.token");
  r.sent.push_back(s.line);
  r.log += s.log;
  for (std::size_t i = 0; i < d.replies.size(); ++i) {
    const std::string& reply = d.replies[i];
    std::vector<std::string> pieces;
    if (i == reply_index && cut > 0 && cut < reply.size())
      pieces = {reply.substr(0, cut), reply.substr(cut)};
    else
      pieces = {reply};
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      s = login.OnReceived(pieces[p]);
      if (p + 1 < pieces.size()) {
        EXPECT_EQ(s.kind, Kind::Wait) << d.name << ": nothing before the line ends";
        continue;
      }
    }
    if (s.kind == Kind::Send) {
      r.sent.push_back(s.line);
      r.log += s.log;
    } else {
      r.outcome = s.kind;
      EXPECT_EQ(s.reply, reply) << d.name;
    }
  }
  return r;
}

TEST(Xoauth2Login, DialoguesSplitAtEveryByte) {
  for (const Dialogue& d : kDialogues) {
    for (std::size_t reply = 0; reply < d.replies.size(); ++reply) {
      for (std::size_t cut = 0; cut < d.replies[reply].size(); ++cut) {
        const Replay r = ReplayDialogue(d, reply, cut);
        EXPECT_EQ(r.sent, d.sent) << d.name << " reply " << reply << " cut " << cut;
        EXPECT_EQ(r.outcome, d.outcome) << d.name << " reply " << reply << " cut " << cut;
        EXPECT_EQ(r.log.find(kPayload), std::string::npos) << d.name << ": the log masks the token";
      }
    }
  }
}

TEST(Xoauth2Login, LogShowsTheCommandAndAMask) {
  const Replay r = ReplayDialogue(kDialogues[2], 0, 0);
  EXPECT_EQ(r.log, "AUTH XOAUTH2\r\n" + std::string(kXoauth2LogMask) + "\r\n");
}

TEST(Xoauth2Login, BytesBehindAReplyEndTheLogin) {
  Xoauth2Login login;
  login.Begin("u", "t");
  EXPECT_EQ(login.OnReceived("+ \r\n+OK\r\n").kind, Kind::Failed);
  // Nothing happens after the end.
  EXPECT_EQ(login.OnReceived("+OK\r\n").kind, Kind::Wait);
}

TEST(Xoauth2Login, LineBound) {
  for (std::size_t length : {kMaxXoauth2LineBytes, kMaxXoauth2LineBytes + 1}) {
    Xoauth2Login login;
    login.Begin("u", "t");
    login.OnReceived("+ \r\n");
    const std::string line = "-ERR " + std::string(length - 7, 'x') + "\r\n";
    EXPECT_EQ(login.OnReceived(line).kind,
              length <= kMaxXoauth2LineBytes ? Kind::Refused : Kind::Failed) << length;
  }
  // A line that never ends fails as soon as it is too long.
  Xoauth2Login login;
  login.Begin("u", "t");
  EXPECT_EQ(login.OnReceived(std::string(kMaxXoauth2LineBytes, '+')).kind, Kind::Wait);
  EXPECT_EQ(login.OnReceived("+").kind, Kind::Failed);
}

TEST(Xoauth2Login, NothingBeforeBegin) {
  Xoauth2Login login;
  EXPECT_EQ(login.OnReceived("+ \r\n").kind, Kind::Wait);
}

}  // namespace
}  // namespace zepho
