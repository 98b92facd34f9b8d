#include "pop3/pop3_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pop3/md5.h"

namespace zepho {
namespace {

using Kind = SessionAction::Kind;
using namespace std::string_literals;

enum class EndKind { None, End, LoginRejected, StlsRefused, StlsInjected };

// Stands in the client's lines where the TLS handshake runs.
const std::string kHandshake = "(TLS handshake)";

const char* Name(EndKind k) {
  switch (k) {
    case EndKind::None: return "none";
    case EndKind::End: return "End";
    case EndKind::LoginRejected: return "LoginRejected";
    case EndKind::StlsRefused: return "StlsRefused";
    case EndKind::StlsInjected: return "StlsInjected";
  }
  return "?";
}

struct Setup {
  std::string account = "alice";
  std::string password = "secret";
  std::int32_t apop = 0;
  std::int32_t not_popup = 0;
  bool stls = false;
  std::optional<std::string> received;  // the client's id list, or none
  CheckList list{};
};

// One arrival of server bytes and the command lines the client sends after it.
struct Step {
  std::string server;
  std::vector<std::string> client;
  bool logged = true;  // the reply (or this part of it) goes to the log
};

struct Dialogue {
  const char* name;
  Setup setup;
  std::vector<Step> steps;
  EndKind end;
  int match = 0;
  int count = 0;
  int list_loads = 0;
  // Whether the outcome holds however the arrivals are cut (bytes injected
  // behind the STLS reply are seen only when they come with it).
  bool splittable = true;
  std::optional<std::string> log = std::nullopt;  // when not simply derived from the steps
};

struct Outcome {
  std::vector<std::vector<std::string>> sent;  // per step
  std::string log;
  EndKind end = EndKind::None;
  WalkState walk;
  int list_loads = 0;
};

using Splitter = std::function<std::vector<std::string>(std::size_t step, const std::string&)>;

std::vector<std::string> Whole(std::size_t, const std::string& s) { return {s}; }

// Plays the dialogue's server side into a session, each step cut into pieces
// by `split`, and checks what must hold of every arrival.
Outcome Replay(const Dialogue& d, const Splitter& split) {
  Outcome o;
  SessionConfig config;
  config.account = d.setup.account;
  config.password = d.setup.password;
  config.apop = d.setup.apop;
  config.not_popup = d.setup.not_popup;
  config.stls = d.setup.stls;
  config.received = d.setup.received ? &*d.setup.received : nullptr;
  config.load_check_list = [&] {
    ++o.list_loads;
    return d.setup.list;
  };
  Pop3Session session;
  session.Begin(std::move(config));
  session.OnConnected();
  for (std::size_t i = 0; i < d.steps.size(); ++i) {
    o.sent.emplace_back();
    const std::vector<std::string> pieces = split(i, d.steps[i].server);
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      const bool was_finished = session.finished();
      const SessionActions actions = session.OnReceived(pieces[p]);
      if (was_finished) {
        EXPECT_TRUE(actions.empty()) << "step " << i << ": actions after the end";
        continue;
      }
      EXPECT_LE(session.buffer().size(), kMaxReplyBytes);
      if (p + 1 < pieces.size()) {
        // Before its last byte a step's reply is incomplete: nothing happens,
        // and its deadline still counts from its command.
        EXPECT_TRUE(actions.empty()) << "step " << i << " piece " << p;
        continue;
      }
      // A step may end a part of a reply (nothing happens); a complete reply
      // first stops the timer.
      if (actions.empty()) continue;
      EXPECT_EQ(actions.front().kind, Kind::StopReplyTimer);
      SessionActions all = actions;
      for (std::size_t a = 0; a < all.size(); ++a) {
        const SessionAction& act = all[a];
        if (act.kind == Kind::StartTls) {
          // The handshake succeeds at once; the dialogue goes on below TLS.
          o.sent[i].push_back(kHandshake);
          EXPECT_EQ(a + 1, all.size()) << "the handshake is the last action";
          EXPECT_EQ(session.state(), SessionState::TlsHandshake);
          const SessionActions after = session.OnTlsReady();
          EXPECT_FALSE(after.empty());
          all.insert(all.end(), after.begin(), after.end());
          continue;
        }
        if (act.kind == Kind::Send) {
          o.sent[i].push_back(act.text);
          EXPECT_LE(act.text.size(), kMaxCommandLineBytes);
        } else if (act.kind == Kind::Log) {
          o.log += act.text;
        } else if (act.kind == Kind::End || act.kind == Kind::LoginRejected ||
                   act.kind == Kind::StlsRefused || act.kind == Kind::StlsInjected) {
          EXPECT_EQ(o.end, EndKind::None);
          o.end = act.kind == Kind::End             ? EndKind::End
                  : act.kind == Kind::LoginRejected ? EndKind::LoginRejected
                  : act.kind == Kind::StlsRefused   ? EndKind::StlsRefused
                                                    : EndKind::StlsInjected;
          EXPECT_EQ(a + 1, all.size()) << "the end is the last action";
          EXPECT_TRUE(session.finished());
        }
      }
    }
  }
  o.walk = session.walk();
  return o;
}

// A command line as the log must show it: the secret of PASS and of APOP
// (the last word) as eight asterisks.
std::string Masked(const std::string& line) {
  if (line.rfind("PASS ", 0) != 0 && line.rfind("APOP ", 0) != 0) return line;
  return line.substr(0, line.rfind(' ') + 1) + "********\r\n";
}

std::string ExpectedLog(const Dialogue& d) {
  if (d.log) return *d.log;
  std::string log;
  for (const Step& s : d.steps) {
    // The log is text: NUL bytes are left out of it.
    if (s.logged) {
      std::string text = s.server;
      std::erase(text, '\0');
      log += text;
    }
    for (const std::string& line : s.client)
      if (line != kHandshake) log += Masked(line);
  }
  return log;
}

void ExpectOutcome(const Dialogue& d, const Outcome& o) {
  for (std::size_t i = 0; i < d.steps.size(); ++i)
    EXPECT_EQ(o.sent[i], d.steps[i].client) << "lines sent after step " << i;
  EXPECT_EQ(o.log, ExpectedLog(d));
  EXPECT_EQ(o.end, d.end) << Name(o.end) << " instead of " << Name(d.end);
  EXPECT_EQ(o.walk.MatchFound, d.match);
  EXPECT_EQ(o.walk.NewMailCount, d.count);
  EXPECT_EQ(o.list_loads, d.list_loads);
}

std::vector<Step> Join(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::string kGreeting = "+OK POP3 ready\r\n";

std::vector<Step> Login() {
  return {{kGreeting, {"USER alice\r\n"}},
          {"+OK\r\n", {"PASS secret\r\n"}},
          {"+OK logged in\r\n", {"STAT\r\n"}}};
}

std::string Top(const std::string& from) {
  return "+OK\r\nReturn-Path: <" + from + ">\r\nFrom: " + from +
         "\r\nSubject: hello\r\n\r\n.\r\n";
}

CheckList Boss() {
  CheckList list{};
  list[0] = {"From:", "boss@example.com"};
  return list;
}

Setup WithList(std::string received, CheckList list = {}) {
  Setup s;
  s.received = std::move(received);
  s.list = std::move(list);
  return s;
}

Setup Apop(std::string account, std::string password, std::int32_t apop = 1) {
  Setup s;
  s.apop = apop;
  s.account = std::move(account);
  s.password = std::move(password);
  return s;
}

const std::string kRfcGreeting = "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n";

Setup Stls(Setup s = {}) {
  s.stls = true;
  return s;
}

std::vector<Dialogue> Dialogues() {
  Setup no_list;
  Setup boss_no_list;
  boss_no_list.list = Boss();
  Setup inverted = boss_no_list;
  inverted.not_popup = 1;
  Setup long_user;
  long_user.account = std::string(248, 'u');  // "USER " + 248 + CR LF = 255
  Setup too_long_user;
  too_long_user.account = std::string(249, 'u');
  Setup too_long_pass;
  too_long_pass.password = std::string(249, 'p');
  const std::string ts_1023 = "<1@" + std::string(1017, 'x') + ">";  // with "pw": 1023 bytes

  return {
      {"user/pass walk 3,2,1 with a received list", WithList("old1\r\nold2\r\n", Boss()),
       Join(Login(), {{"+OK 3 1200\r\n", {"UIDL 3\r\n"}},
                      {"+OK 3 new3\r\n", {"TOP 3 0\r\n"}},
                      {Top("a@example.com"), {"UIDL 2\r\n"}},
                      {"+OK 2 new2\r\n", {"TOP 2 0\r\n"}},
                      {Top("b@example.com"), {"UIDL 1\r\n"}},
                      {"+OK 1 new1\r\n", {"TOP 1 0\r\n"}},
                      {Top("c@example.com"), {"QUIT\r\n"}},
                      {"+OK bye\r\n", {}}}),
       EndKind::End, 0, 3, 1},
      {"without a received list no UIDL is sent", no_list,
       Join(Login(), {{"+OK 3 1200\r\n", {"TOP 3 0\r\n"}},
                      {Top("a@example.com"), {"TOP 2 0\r\n"}},
                      {Top("b@example.com"), {"TOP 1 0\r\n"}},
                      {Top("c@example.com"), {"QUIT\r\n"}},
                      {"+OK bye\r\n", {}}}),
       EndKind::End, 0, 3, 1},
      {"APOP sends the digest of timestamp and password", Apop("mrose", "tanstaaf"),
       {{kRfcGreeting, {"APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n"}},
        {"+OK mrose's maildrop has 0 messages\r\n", {"STAT\r\n"}},
        {"+OK 0 0\r\n", {"QUIT\r\n"}},
        {"+OK\r\n", {}}},
       EndKind::End},
      {"Apop other than 1 logs in with USER", Apop("alice", "secret", 2),
       {{kRfcGreeting, {"USER alice\r\n"}}}, EndKind::None},
      {"APOP greeting without timestamp ends with nothing sent", Apop("alice", "secret"),
       {{kGreeting, {}}}, EndKind::End},
      {"negative greeting ends, later bytes are ignored", no_list,
       {{"-ERR busy\r\n", {}, false}, {"+OK\r\n", {}, false}}, EndKind::End},
      {"USER refused ends", no_list,
       {{kGreeting, {"USER alice\r\n"}}, {"-ERR no such user\r\n", {}}}, EndKind::End},
      {"PASS refused is a rejected login", no_list,
       {{kGreeting, {"USER alice\r\n"}},
        {"+OK\r\n", {"PASS secret\r\n"}},
        {"-ERR invalid password\r\n", {}},
        {"+OK\r\n", {}, false}},
       EndKind::LoginRejected},
      {"APOP refused is a rejected login", Apop("mrose", "tanstaaf"),
       {{kRfcGreeting, {"APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n"}},
        {"-ERR permission denied\r\n", {}}},
       EndKind::LoginRejected},
      {"STAT 0 quits without reading the check list", no_list,
       Join(Login(), {{"+OK 0 0\r\n", {"QUIT\r\n"}}, {"+OK\r\n", {}}}), EndKind::End},
      {"negative STAT ends", no_list, Join(Login(), {{"-ERR locked\r\n", {}, false}}),
       EndKind::End},
      {"negative UIDL gives the dummy id, which is new", WithList("old\r\n"),
       Join(Login(), {{"+OK 1 100\r\n", {"UIDL 1\r\n"}},
                      {"-ERR not supported\r\n", {"TOP 1 0\r\n"}},
                      {Top("a@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 1, 1},
      {"the dummy id is looked up like any id", WithList("dmy data strings\r\n"),
       Join(Login(), {{"+OK 2 100\r\n", {"UIDL 2\r\n"}},
                      {"-ERR not supported\r\n", {"TOP 2 0\r\n"}},
                      {Top("a@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 0, 1},
      {"UIDL reply without an id counts as new", WithList("abc\r\n"),
       Join(Login(), {{"+OK 1 100\r\n", {"UIDL 1\r\n"}},
                      {"+OK 1\r\n", {"TOP 1 0\r\n"}},
                      {Top("a@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 1, 1},
      {"negative TOP skips the message uncounted", no_list,
       Join(Login(), {{"+OK 2 100\r\n", {"TOP 2 0\r\n"}},
                      {"-ERR no such message\r\n", {"TOP 1 0\r\n"}, false},
                      {Top("a@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 1, 1},
      {"negative TOP of message 1 quits", no_list,
       Join(Login(), {{"+OK 1 100\r\n", {"TOP 1 0\r\n"}},
                      {"-ERR no such message\r\n", {"QUIT\r\n"}, false},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 0, 1},
      {"walk stops at the first known id", WithList("aaa\r\nbbb\r\n"),
       Join(Login(), {{"+OK 3 300\r\n", {"UIDL 3\r\n"}},
                      {"+OK 3 ccc\r\n", {"TOP 3 0\r\n"}},
                      {Top("a@example.com"), {"UIDL 2\r\n"}},
                      {"+OK 2 bbb\r\n", {"TOP 2 0\r\n"}},
                      {Top("b@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 1, 1},
      {"walk stops at the first new notable message", boss_no_list,
       Join(Login(), {{"+OK 3 300\r\n", {"TOP 3 0\r\n"}},
                      {Top("a@example.com"), {"TOP 2 0\r\n"}},
                      {Top("boss@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 1, 2, 1},
      {"NotPopup 1: a message matching none is notable", inverted,
       Join(Login(), {{"+OK 3 300\r\n", {"TOP 3 0\r\n"}},
                      {Top("a@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 1, 1, 1},
      {"TOP header lines come before the final line", no_list,
       Join(Login(), {{"+OK 1 300\r\n", {"TOP 1 0\r\n"}},
                      {"+OK\r\nFrom: a@example.com\r\n\r\n", {}},
                      {".\r\n", {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 1, 1},
      {"a reply beginning with a minus but holding +OK is positive", no_list,
       {{kGreeting, {"USER alice\r\n"}},
        {"+OK\r\n", {"PASS secret\r\n"}},
        {"-ERR? no, +OK after all\r\n", {"STAT\r\n"}}},
       EndKind::None},
      // A NUL byte does not hide the line end after it; the log leaves it out.
      {"a NUL byte in the greeting", no_list,
       {{"+OK ready\0junk\r\n"s, {"USER alice\r\n"}}}, EndKind::None},
      // The fault of old: everything after a NUL of an arrival was dropped, the
      // final line with it, and the walk stalled there.
      {"a NUL byte in a header with the final line in the same arrival", no_list,
       Join(Login(), {{"+OK 2 300\r\n", {"TOP 2 0\r\n"}},
                      {"+OK\r\nFrom: Nul\0Sender <a@example.com>\r\n\r\n.\r\n"s, {"TOP 1 0\r\n"}},
                      {Top("b@example.com"), {"QUIT\r\n"}},
                      {"+OK\r\n", {}}}),
       EndKind::End, 0, 2, 1},
      {"QUIT answered negatively still ends", no_list,
       Join(Login(), {{"+OK 0 0\r\n", {"QUIT\r\n"}}, {"-ERR whatever\r\n", {}}}), EndKind::End},
      {"TOP reply with neither +OK nor -ER ends", no_list,
       Join(Login(), {{"+OK 1 300\r\n", {"TOP 1 0\r\n"}}, {"what?\r\n", {}, false}}),
       EndKind::End, 0, 0, 1},
      {"USER line of 255 bytes is sent", long_user,
       {{kGreeting, {"USER " + long_user.account + "\r\n"}}}, EndKind::None},
      {"USER line over 255 bytes is not sent", too_long_user, {{kGreeting, {}}}, EndKind::End},
      {"PASS line over 255 bytes is not sent", too_long_pass,
       {{kGreeting, {"USER alice\r\n"}}, {"+OK\r\n", {}}}, EndKind::End},
      {"APOP line of 255 bytes is sent", Apop(std::string(215, 'a'), "tanstaaf"),
       {{kRfcGreeting,
         {"APOP " + std::string(215, 'a') + " c4c9334bac560ecc979e58001b3e22fb\r\n"}}},
       EndKind::None},
      {"APOP line over 255 bytes is not sent", Apop(std::string(216, 'a'), "tanstaaf"),
       {{kRfcGreeting, {}}}, EndKind::End},
      {"timestamp and password of 1023 bytes", Apop("alice", "pw"),
       {{"+OK " + ts_1023 + "\r\n", {"APOP alice 8dc578e6f6bc0a58e94d9399f60e5bd0\r\n"}}},
       EndKind::None},
      {"timestamp and password over 1023 bytes", Apop("alice", "pw!"),
       {{"+OK " + ts_1023 + "\r\n", {}}}, EndKind::End},
      {"STLS, the handshake, then USER/PASS as before", Stls(),
       {{kGreeting, {"STLS\r\n"}},
        {"+OK Begin TLS negotiation now.\r\n", {kHandshake, "USER alice\r\n"}},
        {"+OK\r\n", {"PASS secret\r\n"}},
        {"+OK logged in\r\n", {"STAT\r\n"}},
        {"+OK 0 0\r\n", {"QUIT\r\n"}},
        {"+OK bye\r\n", {}}},
       EndKind::End},
      {"STLS then APOP with the greeting's timestamp", Stls(Apop("mrose", "tanstaaf")),
       {{kRfcGreeting, {"STLS\r\n"}},
        {"+OK\r\n", {kHandshake, "APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n"}},
        {"+OK maildrop has 0 messages\r\n", {"STAT\r\n"}}},
       EndKind::None},
      {"STLS refused: nothing more is sent", Stls(),
       {{kGreeting, {"STLS\r\n"}}, {"-ERR Unknown command: STLS\r\n", {}}, {"+OK\r\n", {}, false}},
       EndKind::StlsRefused},
      {"STLS refused with APOP: no digest goes out", Stls(Apop("mrose", "tanstaaf")),
       {{kRfcGreeting, {"STLS\r\n"}}, {"-ERR TLS not configured\r\n", {}}},
       EndKind::StlsRefused},
      {"APOP with STLS but no timestamp ends before STLS", Stls(Apop("alice", "secret")),
       {{kGreeting, {}}}, EndKind::End},
      {"negative greeting with STLS ends quietly", Stls(),
       {{"-ERR busy\r\n", {}, false}}, EndKind::End},
      // Bytes behind the reply arrived in the clear; they are refused, never
      // taken as the server's words. Only an arrival holding both shows it.
      {"bytes after the STLS reply end the check", Stls(),
       {{kGreeting, {"STLS\r\n"}}, {"+OK\r\n+OK injected\r\n", {}}},
       EndKind::StlsInjected, 0, 0, 0, false},
  };
}

TEST(Pop3SessionDialogues, WholeArrivals) {
  for (const Dialogue& d : Dialogues()) {
    SCOPED_TRACE(d.name);
    ExpectOutcome(d, Replay(d, Whole));
  }
}

TEST(Pop3SessionDialogues, EachStepSplitAtEveryByte) {
  for (const Dialogue& d : Dialogues()) {
    if (!d.splittable) continue;
    for (std::size_t step = 0; step < d.steps.size(); ++step) {
      for (std::size_t cut = 1; cut < d.steps[step].server.size(); ++cut) {
        SCOPED_TRACE(std::string(d.name) + ", step " + std::to_string(step) + " cut at " +
                     std::to_string(cut));
        const Outcome o = Replay(d, [&](std::size_t i, const std::string& s) {
          if (i != step) return std::vector<std::string>{s};
          return std::vector<std::string>{s.substr(0, cut), s.substr(cut)};
        });
        ExpectOutcome(d, o);
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

TEST(Pop3SessionDialogues, ByteByByte) {
  for (const Dialogue& d : Dialogues()) {
    if (!d.splittable) continue;
    SCOPED_TRACE(d.name);
    ExpectOutcome(d, Replay(d, [](std::size_t, const std::string& s) {
                    std::vector<std::string> bytes;
                    for (char c : s) bytes.emplace_back(1, c);
                    return bytes;
                  }));
  }
}

// What the caller sees, action by action, for one arrival.
class Pop3SessionArrival : public ::testing::Test {
 protected:
  void Start(SessionConfig config = {}) {
    if (config.account.empty()) config.account = "alice";
    if (config.password.empty()) config.password = "secret";
    session.Begin(std::move(config));
    session.OnConnected();
  }
  // Drives a USER/PASS login through STAT with `stat` as its reply.
  SessionActions ToStat(const std::string& stat, SessionConfig config = {}) {
    Start(std::move(config));
    session.OnReceived(kGreeting);
    session.OnReceived("+OK\r\n");
    session.OnReceived("+OK\r\n");
    return session.OnReceived(stat);
  }
  static SessionAction Act(Kind k, std::string text = {}) { return {k, std::move(text)}; }

  Pop3Session session;
};

TEST_F(Pop3SessionArrival, ActionSequences) {
  Start();
  // An incomplete reply changes nothing: its deadline counts from its command.
  EXPECT_EQ(session.OnReceived("+OK PO"), SessionActions{});
  EXPECT_EQ(session.OnReceived(""), SessionActions{});
  EXPECT_EQ(session.OnReceived("P3 ready\r\n"),
            (SessionActions{Act(Kind::StopReplyTimer), Act(Kind::Log, kGreeting),
                            Act(Kind::Log, "USER alice\r\n"), Act(Kind::Send, "USER alice\r\n"),
                            Act(Kind::StartReplyTimer)}));
  EXPECT_EQ(session.state(), SessionState::User);
  EXPECT_TRUE(session.buffer().empty());
  EXPECT_EQ(session.OnReceived("+OK\r\n").back(), Act(Kind::StartReplyTimer));
  EXPECT_EQ(session.OnReceived("-ERR bad\r\n"),
            (SessionActions{Act(Kind::StopReplyTimer), Act(Kind::Log, "-ERR bad\r\n"),
                            Act(Kind::LoginRejected)}));
  EXPECT_TRUE(session.finished());
  EXPECT_TRUE(session.OnReceived("+OK\r\n").empty());
}

// The password goes to the server as typed and never to the log: its line is
// "PASS ********" whatever its length; the APOP digest is masked the same way.
TEST_F(Pop3SessionArrival, LogMasksThePasswordAndTheDigest) {
  const std::string passwords[] = {"p", "Secret1234567890", std::string(43, 'w'),
                                   "\x83\x70\x83\x58 ********", " "};
  for (const std::string& password : passwords) {
    for (const std::int32_t apop : {0, 1}) {
      SCOPED_TRACE(password + (apop ? " APOP" : " USER/PASS"));
      session = Pop3Session{};
      SessionConfig config;
      config.password = password;
      config.apop = apop;
      Start(std::move(config));
      std::string log, sent;
      const auto take = [&](const SessionActions& actions) {
        for (const SessionAction& a : actions) {
          if (a.kind == Kind::Log) log += a.text;
          if (a.kind == Kind::Send) sent += a.text;
        }
      };
      take(session.OnReceived("+OK POP3 ready <1896.697170952@dbc.mtview.ca.us>\r\n"));
      if (apop == 0) take(session.OnReceived("+OK\r\n"));
      take(session.OnReceived("+OK\r\n"));
      const std::string digest = Md5Hex("<1896.697170952@dbc.mtview.ca.us>" + password);
      if (apop == 0) {
        EXPECT_NE(sent.find("PASS " + password + "\r\n"), std::string::npos) << sent;
        EXPECT_NE(log.find("\r\nPASS ********\r\n+OK\r\nSTAT\r\n"), std::string::npos) << log;
      } else {
        EXPECT_NE(sent.find("APOP alice " + digest + "\r\n"), std::string::npos) << sent;
        EXPECT_NE(log.find(">\r\nAPOP alice ********\r\n+OK\r\nSTAT\r\n"), std::string::npos)
            << log;
      }
      EXPECT_EQ(log.find(digest), std::string::npos);
      if (password.size() > 1) {
        EXPECT_EQ(log.find(password), std::string::npos) << log;
      }
    }
  }
}

TEST_F(Pop3SessionArrival, NegativeGreetingEndsWithoutLog) {
  Start();
  EXPECT_EQ(session.OnReceived("-ERR go away\r\n"),
            (SessionActions{Act(Kind::StopReplyTimer), Act(Kind::End)}));
}

TEST_F(Pop3SessionArrival, TopWithoutFinalLineKeepsWaiting) {
  SessionConfig config;
  ToStat("+OK 2 10\r\n", std::move(config));
  EXPECT_EQ(session.state(), SessionState::Top);
  const SessionActions waiting{};
  EXPECT_EQ(session.OnReceived("+OK\r\nFrom: a@b\r\n"), waiting);
  EXPECT_EQ(session.OnReceived("\r\n"), waiting);
  EXPECT_EQ(session.OnReceived(".\r"), waiting);
  const SessionActions done = session.OnReceived("\n");
  ASSERT_EQ(done.size(), 5u);
  EXPECT_EQ(done[1], Act(Kind::Log, "+OK\r\nFrom: a@b\r\n\r\n.\r\n"));
  EXPECT_EQ(done[3], Act(Kind::Send, "TOP 1 0\r\n"));
  EXPECT_EQ(session.walk().NewMailCount, 1);
}

TEST_F(Pop3SessionArrival, StatCount) {
  struct Case { std::string reply, next; };
  const Case cases[] = {
      {"+OK 3 100\r\n", "TOP 3 0\r\n"},
      {"+OK\t7\t1\r\n", "TOP 7 0\r\n"},
      {"  +OK 6 1\r\n", "TOP 6 0\r\n"},
      {"+OK +4 0\r\n", "TOP 4 0\r\n"},
      {"+OK 12abc\r\n", "TOP 12 0\r\n"},
      {"+OK 2147483647 0\r\n", "TOP 2147483647 0\r\n"},
      {"+OK" + std::string(300, 'x') + " 5 0\r\n", "TOP 5 0\r\n"},  // a long first word
      {"+OK\r\n5\r\n", "TOP 5 0\r\n"},                              // line ends are blanks
      {"+OK 0 0\r\n", "QUIT\r\n"},
      {"+OK\r\n", "QUIT\r\n"},
      {"+OK lots of mail\r\n", "QUIT\r\n"},
      {"+OK -2 0\r\n", "QUIT\r\n"},
      {"+OK -2147483648 0\r\n", "QUIT\r\n"},
      {"+OK 2147483648 0\r\n", "QUIT\r\n"},
      {"+OK 99999999999999999999999 0\r\n", "QUIT\r\n"},
      {"+OK - 5\r\n", "QUIT\r\n"},
      {"-ERR +OK 5\r\n", "QUIT\r\n"},  // positive, but its second word is no number
      {"-ERR 5 0\r\n", ""},            // negative: the check ends
  };
  for (const Case& c : cases) {
    const SessionActions out = ToStat(c.reply);
    std::string sent;
    for (const SessionAction& a : out)
      if (a.kind == Kind::Send) sent += a.text;
    EXPECT_EQ(sent, c.next) << c.reply;
    EXPECT_EQ(session.finished(), c.next.empty()) << c.reply;
  }
}

TEST_F(Pop3SessionArrival, TlsReadyOutsideTheHandshakeDoesNothing) {
  Start();
  EXPECT_TRUE(session.OnTlsReady().empty());
  session.OnReceived(kGreeting);
  EXPECT_TRUE(session.OnTlsReady().empty());
  EXPECT_EQ(session.state(), SessionState::User);
}

TEST_F(Pop3SessionArrival, StlsRefusalCarriesTheReply) {
  SessionConfig config;
  config.stls = true;
  Start(std::move(config));
  session.OnReceived(kGreeting);
  EXPECT_EQ(session.OnReceived("-ERR no\r\n"),
            (SessionActions{Act(Kind::StopReplyTimer), Act(Kind::Log, "-ERR no\r\n"),
                            Act(Kind::StlsRefused, "-ERR no\r\n")}));
  EXPECT_TRUE(session.finished());
}

TEST(Pop3SessionApopTimestamp, Table) {
  struct Case { std::string greeting, timestamp; };
  const Case cases[] = {
      {"+OK <1896.697170952@dbc.mtview.ca.us>\r\n", "<1896.697170952@dbc.mtview.ca.us>"},
      {"+OK ready\r\n", ""},
      {"+OK <1896.697170952>\r\n", ""},         // no at sign anywhere
      {"+OK <1896.697> admin@host\r\n", "<1896.697>"},  // the at sign may stand outside
      {"+OK >a@b<\r\n", ""},                    // no ">" after the first "<"
      {"+OK > <a@b>\r\n", "<a@b>"},
      {"+OK <a@b <c@d>\r\n", "<a@b <c@d>"},     // from the first "<" to the next ">"
      {"+OK <a@b\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ApopTimestamp(c.greeting), c.timestamp) << c.greeting;
}

class Pop3SessionBounds : public Pop3SessionArrival {};

TEST_F(Pop3SessionBounds, GreetingOfExactlyTheBoundIsHandled) {
  Start();
  std::string greeting = "+OK ";
  greeting += std::string(kMaxReplyBytes - greeting.size() - 2, 'g') + "\r\n";
  ASSERT_EQ(greeting.size(), kMaxReplyBytes);
  const SessionActions out = session.OnReceived(greeting);
  EXPECT_EQ(out.back(), Act(Kind::StartReplyTimer));
  EXPECT_EQ(session.state(), SessionState::User);
}

TEST_F(Pop3SessionBounds, IncompleteReplyAtTheBoundWaitsOneByteOverEnds) {
  Start();
  const std::string start = "+OK " + std::string(kMaxReplyBytes - 4, 'g');
  EXPECT_EQ(session.OnReceived(start), SessionActions{});
  EXPECT_EQ(session.buffer().size(), kMaxReplyBytes);
  // The line end comes too late: it is past the bound.
  EXPECT_EQ(session.OnReceived("\r\n"), (SessionActions{Act(Kind::StopReplyTimer), Act(Kind::End)}));
  EXPECT_LE(session.buffer().size(), kMaxReplyBytes);
  EXPECT_TRUE(session.finished());
}

TEST_F(Pop3SessionBounds, OversizeArrivalWithoutLineEndEnds) {
  Start();
  const SessionActions out = session.OnReceived(std::string(kMaxReplyBytes + 1, '+'));
  EXPECT_EQ(out.back(), Act(Kind::End));
  EXPECT_EQ(session.buffer().size(), kMaxReplyBytes);
}

TEST_F(Pop3SessionBounds, EndlessTopReplyEndsKeepingTheResults) {
  ToStat("+OK 2 10\r\n");
  session.OnReceived(Top("a@example.com"));  // message 2: new
  ASSERT_EQ(session.state(), SessionState::Top);
  session.OnReceived("+OK\r\n");
  const std::string header = "Received: from somewhere\r\n";
  SessionActions last;
  std::size_t fed = 5;
  while (!session.finished() && fed <= 2 * kMaxReplyBytes) {
    last = session.OnReceived(header);
    fed += header.size();
    EXPECT_LE(session.buffer().size(), kMaxReplyBytes);
  }
  EXPECT_EQ(last.back(), Act(Kind::End));
  EXPECT_GT(fed, kMaxReplyBytes);
  EXPECT_EQ(session.walk().NewMailCount, 1);
}

TEST_F(Pop3SessionBounds, ReplyCompleteWithinTheBoundIsHandledDespiteExcess) {
  ToStat("+OK 1 10\r\n");
  const std::string top = Top("a@example.com");
  const SessionActions out =
      session.OnReceived(top + std::string(kMaxReplyBytes, 'z'));  // junk past the bound
  bool quit = false;
  for (const SessionAction& a : out) quit |= a == Act(Kind::Send, "QUIT\r\n");
  EXPECT_TRUE(quit);
  EXPECT_EQ(session.walk().NewMailCount, 1);
}

TEST_F(Pop3SessionBounds, NulBytesCountTowardTheBound) {
  Start();
  EXPECT_EQ(session.OnReceived(std::string("+OK", 3) + std::string(kMaxReplyBytes / 2, '\0')),
            SessionActions{});
  EXPECT_EQ(session.buffer().size(), 3 + kMaxReplyBytes / 2);
  // A server that sends only NUL bytes cannot hold the check open forever.
  EXPECT_EQ(session.OnReceived(std::string(kMaxReplyBytes / 2, '\0')).back(), Act(Kind::End));
}

TEST_F(Pop3SessionArrival, BeginForgetsThePreviousCheck) {
  SessionConfig first;
  first.not_popup = 1;
  ToStat("+OK 1 10\r\n", std::move(first));
  session.OnReceived(Top("a@example.com"));
  session.OnReceived("+OK\r\n");
  ASSERT_TRUE(session.finished());
  ASSERT_EQ(session.walk().MatchFound, 1);

  SessionConfig second;
  second.account = "bob";
  session.Begin(std::move(second));
  EXPECT_FALSE(session.finished());
  EXPECT_TRUE(session.buffer().empty());
  EXPECT_EQ(session.walk().MatchFound, 0);
  EXPECT_EQ(session.walk().NewMailCount, 0);
  session.OnConnected();
  EXPECT_EQ(session.state(), SessionState::Greeting);
  EXPECT_EQ(session.OnReceived(kGreeting)[3], Act(Kind::Send, "USER bob\r\n"));
}

}  // namespace
}  // namespace zepho
