#include "app/check_cycle.h"

#include <gtest/gtest.h>

#include "unit/fakes/toy_tls_port.h"

#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace zepho {
namespace {

const char* NameOf(TrayMode m) {
  switch (m) {
    case TrayMode::Remove: return "Remove";
    case TrayMode::Add: return "Add";
    case TrayMode::Normal: return "Normal";
    case TrayMode::Matched: return "Matched";
    case TrayMode::Other: return "Other";
  }
  return "?";
}

const char* NameOf(Notice n) {
  switch (n) {
    case Notice::SocketInitFailed: return "SocketInitFailed";
    case Notice::SocketCreateFailed: return "SocketCreateFailed";
    case Notice::AddressFailed: return "AddressFailed";
    case Notice::ConnectFailed: return "ConnectFailed";
    case Notice::WrongPassword: return "WrongPassword";
    case Notice::ConfirmStartCompanion: return "ConfirmStartCompanion";
  }
  return "?";
}

const char* NameOf(TlsFailure::Reason r) {
  using R = TlsFailure::Reason;
  switch (r) {
    case R::StlsRefused: return "StlsRefused";
    case R::StlsInjected: return "StlsInjected";
    case R::Unavailable: return "Unavailable";
    case R::HandshakeFailed: return "HandshakeFailed";
    case R::Protocol: return "Protocol";
    case R::CertUntrusted: return "CertUntrusted";
    case R::CertExpired: return "CertExpired";
    case R::CertNameMismatch: return "CertNameMismatch";
    case R::CertWrongUsage: return "CertWrongUsage";
    case R::CertRevoked: return "CertRevoked";
    case R::CertUnchecked: return "CertUnchecked";
  }
  return "?";
}

// Records what the cycle asks of the window system, as short event strings.
struct FakeShell : CycleShell, CycleTimers, TrayIconView, CycleNotices {
  std::vector<std::string> events;
  bool check_timer = false, timeout_timer = false;
  bool confirm_answer = true;
  // What the password prompt does when shown: the password typed, or "" for Escape.
  std::string prompt_types;
  bool companion_busy = false;
  // Run while the shell handles waiting messages (a queued tick, say).
  std::function<void()> on_pump;

  void Post(ProgramMessage m, std::int32_t lparam) override {
    std::string what = "post " + Name(m);
    if (lparam == TRAY_SHOW_SETTINGS)
      what += " TRAY_SHOW_SETTINGS";
    else if (lparam != 0)
      what += " " + std::to_string(lparam);
    events.push_back(what);
  }
  void SetCheckTimer(bool on) override { check_timer = on; }
  void SetTimeoutTimer(bool on) override {
    timeout_timer = on;
    timeout_calls.push_back(on);
  }
  std::vector<bool> timeout_calls;  // every call, in order
  void SetCheckBoundTimer(bool on) override { check_bound = on; }
  bool check_bound = false;
  bool timeout_timer_at_box = false;
  void SetTrayIcon(TrayMode m, bool paused) override {
    events.push_back(std::string("tray ") + NameOf(m) + (paused ? " paused" : ""));
  }
  void ShowBalloon(const TrayBalloon& b) override {
    events.push_back("balloon");
    balloons.push_back(b);
  }
  std::vector<TrayBalloon> balloons;
  LocalTime now{2024, 5, 6, 7, 8, 9};
  LocalTime LocalTimeNow() override { return now; }
  void CheckReported() override { ++reports; }
  int reports = 0;
  // The tip, apart from the events: it follows every connection.
  void SetOffline(bool offline) override { offline_tip = offline; }
  void NoteServerReached() override { ++reached; }
  bool offline_tip = false;
  int reached = 0;
  void InfoBox(Notice n) override {
    events.push_back(std::string("info ") + NameOf(n));
    timeout_timer_at_box = timeout_timer;
  }
  bool ConfirmBox(Notice n) override {
    events.push_back(std::string("confirm ") + NameOf(n));
    return confirm_answer;
  }
  void WriteErrorBox(const SettingsWriteError&) override { events.push_back("write error"); }
  void PumpMessages() override {
    events.push_back("pump");
    if (on_pump) on_pump();
  }
  void ShowSettings() override { events.push_back("settings"); }
  void FindCompanion() override { ++find_companion; }
  void PopUpCompanion(bool search_again) override {
    events.push_back(search_again ? "popup afresh" : "popup");
  }
  bool CompanionBusy() override { return companion_busy; }
  std::function<void()> on_prompt;  // run while the prompt is up
  std::optional<std::string> ShowPasswordPrompt() override {
    events.push_back("prompt");
    if (on_prompt) on_prompt();
    if (prompt_types.empty()) return std::nullopt;
    return prompt_types;
  }
  void ClearPasswordBox() override { events.push_back("clear passedit"); }
  void TlsFailureBox(const std::string& server, const TlsFailure& f) override {
    events.push_back("tls box " + server + " " + NameOf(f.reason));
    tls_failures.push_back(f);
  }
  int find_companion = 0;
  std::vector<TlsFailure> tls_failures;

  static std::string Name(ProgramMessage m) {
    switch (m) {
      case ProgramMessage::Tray: return "tray";
      case ProgramMessage::AskPassword: return "ask";
      case ProgramMessage::StartCheck: return "start";
      case ProgramMessage::EndCheck: return "end";
      case ProgramMessage::Socket: return "socket";
      case ProgramMessage::Lookup: return "lookup";
      case ProgramMessage::CertificateChecked: return "certificate";
      case ProgramMessage::NetworkChanged: return "network";
    }
    return "?";
  }
};

struct FakeConnection : Connection {
  std::optional<OpenFailure> result;  // known at once; nullopt: under way
  std::vector<std::string> calls;
  std::optional<OpenFailure> Open(const std::string& host, std::int32_t port) override {
    calls.push_back("open " + host + ":" + std::to_string(port));
    return result;
  }
  void Close() override { calls.push_back("close"); }
  void Drop() override { calls.push_back("drop"); }
  void Send(const std::string& bytes) override { calls.push_back("send " + bytes); }
};

struct FakeSources : CycleSources {
  int list_result = 0;
  std::vector<std::string> ids;
  std::string log;
  // The source that fails (as a huge list fails to load: no memory).
  enum class Failing { None, IdList, CheckList, Log, CloseLog } failing = Failing::None;
  void FailIf(Failing at) {
    if (failing == at) throw std::bad_alloc();
  }
  int LoadReceivedIdList(std::optional<ReceivedIdList>& list) override {
    FailIf(Failing::IdList);
    if (list_result == 0) return 0;
    if (!list) list.emplace();
    list->text = WholeText(ids);
    return 1;
  }
  CheckList LoadCheckList() override {
    FailIf(Failing::CheckList);
    CheckList l{};
    l[0] = {"From:", "boss@example.com"};
    return l;
  }
  void AppendLog(const std::string& text) override {
    FailIf(Failing::Log);
    log += text;
  }
  void CloseLog() override {
    ++log_closes;
    FailIf(Failing::CloseLog);
  }
  void SaveSettings() override {
    ++saves;
    if (save_fails) throw SettingsWriteError(L"C:\\ZEPHO\\ZEPHO.ini");
  }
  std::string LoadKnownServer() override { return known_server; }
  void SaveKnownServer(const std::string& server) override {
    known_server = server;
    ++known_saves;
  }
  std::string known_server;  // as kept in the settings file
  int known_saves = 0;
  int log_closes = 0;
  int saves = 0;
  bool save_fails = false;
};

struct CycleTest : ::testing::Test {
  Settings settings;
  FakeShell shell;
  FakeConnection connection;
  FakeSources sources;
  CheckCycle cycle{settings, Ports()};
  CyclePorts Ports(TlsPort* tls = nullptr) {
    return {shell, shell, shell, shell, connection, sources, tls};
  }
  void SetUp() override {
    settings.PopAddress = "127.0.0.1";
    settings.PopAcount = "user";
    settings.Passwd = "secret";
  }
  // Ticks until the cycle posts something; returns the number of ticks.
  int TicksUntilDue(int limit) {
    for (int i = 1; i <= limit; ++i) {
      cycle.Timer1Timer();
      if (!shell.events.empty()) return i;
    }
    return -1;
  }
};

TEST_F(CycleTest, DueTickIsTwicePopTime) {
  struct Case { std::int32_t pop_time; int due_at; };
  const Case cases[] = {{1, 2}, {3, 6}, {99, 198}, {0, 1}, {-5, 1}, {2147483647, -1}};
  for (const Case& c : cases) {
    settings.PopTime = c.pop_time;
    shell.events.clear();
    cycle.CheckTicks = 0;
    cycle.ArmCheckTimer();
    ASSERT_TRUE(shell.check_timer);
    EXPECT_EQ(TicksUntilDue(500), c.due_at) << "PopTime " << c.pop_time;
    if (c.due_at > 0) {
      EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
      EXPECT_FALSE(shell.check_timer);
      EXPECT_EQ(cycle.Waiting(), 0);
    }
  }
}

TEST_F(CycleTest, EveryTickSearchesTheCompanion) {
  settings.PopTime = 99;
  cycle.ArmCheckTimer();
  for (int i = 0; i < 198; ++i) cycle.Timer1Timer();
  EXPECT_EQ(shell.find_companion, 198);
  EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
}

TEST_F(CycleTest, PausedDueTickSkipsTheCheck) {
  settings.PopTime = 1;
  EXPECT_EQ(cycle.K6mStopClick(), 1);
  shell.events.clear();
  cycle.Timer1Timer();
  cycle.Timer1Timer();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  settings.IconChange = 1;
  shell.events.clear();
  cycle.EndCheck();
  EXPECT_EQ(connection.calls, std::vector<std::string>{"close"});  // never opened
  EXPECT_EQ(shell.events, std::vector<std::string>{"tray Normal paused"});  // the stop picture
  EXPECT_EQ(cycle.K6mStopClick(), 0);
}

TEST_F(CycleTest, RestartIntervalCountsAFullIntervalAgain) {
  settings.PopTime = 2;
  cycle.ArmCheckTimer();
  for (int i = 0; i < 3; ++i) cycle.Timer1Timer();  // one tick before due
  shell.check_timer = false;
  shell.timeout_timer = true;
  cycle.RestartInterval();
  EXPECT_EQ(cycle.CheckTicks, 0);
  EXPECT_EQ(cycle.Waiting(), 1);
  EXPECT_TRUE(shell.check_timer);
  EXPECT_FALSE(shell.timeout_timer);
  EXPECT_EQ(TicksUntilDue(10), 4);
}

TEST_F(CycleTest, StartupGoesToTrayOrSettings) {
  EXPECT_TRUE(cycle.BeginAtStartup());
  EXPECT_EQ(shell.events, (std::vector<std::string>{"post start", "tray Add"}));
  EXPECT_EQ(cycle.Waiting(), 0);

  shell.events.clear();
  settings.Passwd.clear();
  EXPECT_TRUE(cycle.BeginAtStartup());
  EXPECT_EQ(shell.events, (std::vector<std::string>{"post ask", "tray Add"}));

  shell.events.clear();
  settings.PopAcount.clear();
  EXPECT_FALSE(cycle.BeginAtStartup());
  EXPECT_EQ(shell.events, std::vector<std::string>{"post tray TRAY_SHOW_SETTINGS"});
}

OpenFailure Failure(OpenFailure::Kind kind, LookupOutcome::Status lookup = {}, int error = 0) {
  OpenFailure f;
  f.kind = kind;
  f.lookup = lookup;
  f.error = error;
  return f;
}

// A connection that could not be opened, told at once or when its look-up or
// connects are over: a box for what the user may mend, then the settings
// window; connects that went out and failed end the check quietly.
TEST_F(CycleTest, FailedOpenShowsItsMessageEndsAndOpensSettings) {
  using K = OpenFailure::Kind;
  using S = LookupOutcome::Status;
  struct Case {
    OpenFailure failure;
    std::vector<std::string> events;
    std::string log;
  };
  const Case cases[] = {
      {Failure(K::SocketFailed, {}, 10047), {"info SocketCreateFailed", "tray Normal", "settings"},
       "CONNECT FAILED: no socket (10047)\r\n"},
      {Failure(K::NoAddress), {"info AddressFailed", "tray Normal", "settings"},
       "NO ADDRESS: not a server name\r\n"},
      {Failure(K::NoAddress, S::NoSuchName, 11001), {"info AddressFailed", "tray Normal", "settings"},
       "NO ADDRESS: no such name (11001)\r\n"},
      {Failure(K::NoAddress, S::TimedOut), {"info AddressFailed", "tray Normal", "settings"},
       "NO ADDRESS: look-up timed out\r\n"},
      {Failure(K::ConnectFailed, {}, 10051), {"info ConnectFailed", "tray Normal", "settings"},
       "CONNECT FAILED: refused on this machine (10051)\r\n"},
      {Failure(K::Unreachable, {}, 10061), {"post end"}, "CONNECT FAILED (10061)\r\n"},
  };
  settings.IconChange = 1;
  settings.LOG = 1;
  for (const bool at_once : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(at_once ? "at once: " : "later: ") + c.log);
      shell.events.clear();
      sources.log.clear();
      connection.calls.clear();
      connection.result = at_once ? std::optional<OpenFailure>(c.failure) : std::nullopt;
      cycle.StartCheck();
      if (!at_once) {
        EXPECT_TRUE(shell.timeout_timer) << "the look-up and the connects count as the greeting's";
        EXPECT_TRUE(shell.events.empty());
        cycle.OnOpenFailed(c.failure);
      }
      // The check ends (its result shown) before the settings window opens.
      EXPECT_EQ(shell.events, c.events);
      EXPECT_EQ(sources.log, c.log);
      EXPECT_FALSE(shell.timeout_timer);
      EXPECT_FALSE(shell.check_bound);
      EXPECT_FALSE(shell.timeout_timer_at_box) << "no reply timer under the box";
      EXPECT_EQ(connection.calls[0], "open 127.0.0.1:110");
      if (c.events[0] == "post end") {
        EXPECT_EQ(cycle.phase(), CheckPhase::Ending);
        cycle.EndCheck();
      }
      EXPECT_EQ(cycle.Waiting(), 1) << "the check ended before the window opened";
      // An outcome that comes after the end is not the check's.
      shell.events.clear();
      cycle.OnOpenFailed(c.failure);
      cycle.OnConnected();
      EXPECT_TRUE(shell.events.empty());
      EXPECT_EQ(cycle.phase(), CheckPhase::Waiting);
    }
  }
}

// The look-up and the connects are bounded by the greeting's time-out too.
TEST_F(CycleTest, AnOpenThatNeverEndsTimesOut) {
  cycle.StartCheck();
  for (int i = 0; i < kTimeoutTicks; ++i) cycle.Timer2Timer();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  EXPECT_EQ(connection.calls.back(), "close") << "the open under way is let go";
  cycle.EndCheck();
  shell.events.clear();
  cycle.OnConnected();  // too late
  cycle.OnReceived("+OK ready\r\n");
  EXPECT_TRUE(shell.events.empty());
  EXPECT_EQ(connection.calls.back(), "close");
}

TEST_F(CycleTest, TimeoutAfterSevenTicksLogsAndEnds) {
  settings.LOG = 1;
  cycle.StartCheck();
  EXPECT_TRUE(shell.timeout_timer);
  for (int i = 0; i < 6; ++i) cycle.Timer2Timer();
  EXPECT_TRUE(shell.events.empty());
  cycle.Timer2Timer();
  EXPECT_EQ(sources.log, "TIME OUT\r\n");
  EXPECT_FALSE(shell.timeout_timer);
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  EXPECT_EQ(connection.calls.back(), "close");
}

TEST_F(CycleTest, LogIsWrittenOnlyWhenSwitchedOn) {
  cycle.WriteLog("x");
  EXPECT_EQ(sources.log, "");
  settings.LOG = -3;
  cycle.WriteLog("y");
  EXPECT_EQ(sources.log, "y");
}

TEST_F(CycleTest, SocketErrorDropsTheConnectionAndEnds) {
  cycle.StartCheck();
  cycle.OnSocketError();
  EXPECT_EQ(connection.calls.back(), "drop");
  EXPECT_FALSE(shell.timeout_timer);
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
}

TEST_F(CycleTest, ReceivedListIsDroppedWhenNoneApplies) {
  EXPECT_TRUE(cycle.received_ids().has_value());
  cycle.StartCheck();
  EXPECT_FALSE(cycle.received_ids().has_value());
  sources.list_result = 1;
  sources.ids = {"a", "b"};
  cycle.StartCheck();
  ASSERT_TRUE(cycle.received_ids().has_value());
  EXPECT_EQ(cycle.received_ids()->text, "a\r\nb\r\n");
}

// The result table of the end of a check, from a real dialogue's results.
TEST_F(CycleTest, EndCheckShowsTheResult) {
  struct Case {
    std::int32_t icon_change, all_icon, popup_setting;
    bool match; int new_mail; bool confirm;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {1, 0, 0, true, 1, true, {"tray Matched"}},
      {1, 1, 0, false, 2, true, {"tray Other"}},
      {1, 0, 0, false, 2, true, {"tray Normal"}},
      {1, 1, 0, false, 0, true, {"tray Normal"}},
      {5, 1, 0, true, 1, true, {"tray Matched"}},               // any non-zero value is on
      {0, 0, 1, true, 1, true, {"confirm ConfirmStartCompanion", "popup"}},
      {0, 0, 1, true, 1, false, {"confirm ConfirmStartCompanion"}},
      {0, 0, 0, true, 1, true, {"popup"}},
      {0, 1, 0, false, 3, true, {"tray Other"}},
      {0, 2, 0, false, 3, true, {}},                      // AllIconChange counts only as 1
      {0, 0, 0, false, 3, true, {}},
  };
  for (const Case& c : cases) {
    settings.IconChange = c.icon_change;
    settings.AllIconChange = c.all_icon;
    settings.PopUpSetting = c.popup_setting;
    shell.confirm_answer = c.confirm;
    // Feed a dialogue whose walk finds c.new_mail new messages, the first matching or not.
    sources.list_result = 0;
    cycle.StartCheck();
    cycle.OnConnected();
    cycle.OnReceived("+OK ready\r\n");
    cycle.OnReceived("+OK\r\n");
    cycle.OnReceived("+OK\r\n");
    cycle.OnReceived("+OK " + std::to_string(c.new_mail) + " 100\r\n");
    for (int i = 0; i < c.new_mail; ++i) {
      const bool matching = c.match && i == 0;
      cycle.OnReceived(std::string("+OK\r\nFrom: ") +
                       (matching ? "boss@example.com" : "other@example.com") + "\r\n\r\n.\r\n");
      if (matching) break;
    }
    EXPECT_EQ(cycle.MatchFound(), c.match ? 1 : 0);
    EXPECT_EQ(cycle.NewMailCount(), c.match ? 1 : c.new_mail);
    shell.events.clear();
    cycle.CheckTicks = 5;
    cycle.EndCheck();
    EXPECT_EQ(shell.events, c.events) << "IconChange " << c.icon_change << " AllIconChange "
                                      << c.all_icon << " match " << c.match;
    EXPECT_EQ(cycle.MatchFound(), 0);
    EXPECT_EQ(cycle.NewMailCount(), 0);
    EXPECT_EQ(cycle.CheckTicks, 0);
    EXPECT_EQ(cycle.Waiting(), 1);
    EXPECT_TRUE(shell.check_timer);
  }
}

TEST_F(CycleTest, RejectedPasswordAsksAgain) {
  cycle.StartCheck();
  cycle.OnConnected();
  cycle.OnReceived("+OK ready\r\n");
  cycle.OnReceived("+OK\r\n");
  shell.events.clear();
  shell.check_timer = true;
  shell.prompt_types = "new-secret";
  cycle.OnReceived("-ERR [AUTH] Authentication failed.\r\n");
  EXPECT_EQ(shell.events, (std::vector<std::string>{"info WrongPassword", "prompt", "post start"}));
  EXPECT_FALSE(shell.check_timer);
  EXPECT_EQ(settings.Passwd, "new-secret");
  EXPECT_EQ(sources.saves, 1) << "the typed password is saved";
  // The box runs a message loop: the reply timer is stopped and the log let go before it.
  EXPECT_FALSE(shell.timeout_timer_at_box);
  EXPECT_EQ(sources.log_closes, 1);
}

// Each arrival sets the reply timer at most once: restarted (true) for the
// next command, stopped (false) at the end, and not at all while the reply is
// incomplete, whose deadline counts from its command.
TEST_F(CycleTest, EachArrivalSetsTheReplyTimerOnce) {
  struct Step { std::string bytes; std::vector<bool> calls; };
  const Step steps[] = {
      {"+OK ready\r\n", {true}},        // USER sent
      {"+O", {}},                        // incomplete: the deadline stays
      {"K\r\n", {true}},                 // PASS sent
      {"+OK\r\n", {true}},               // STAT sent
      {"+OK 1 100\r\n", {true}},         // TOP 1 0 sent
      {"+OK\r\nSubject: a\r\n", {}},     // header not complete yet
      {"\r\n.\r\n", {true}},             // QUIT sent
      {"+OK bye\r\n", {false}},          // the end
  };
  cycle.StartCheck();
  cycle.OnConnected();
  for (const Step& step : steps) {
    shell.timeout_calls.clear();
    cycle.OnReceived(step.bytes);
    EXPECT_EQ(shell.timeout_calls, step.calls) << step.bytes;
  }
  EXPECT_EQ(connection.calls.back(), "close");
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
}

TEST_F(CycleTest, EndCheckLetsGoOfTheListAndTheLog) {
  sources.list_result = 1;
  sources.ids.assign(50000, "1700000001.M123456P4567.host,S=12345");
  cycle.StartCheck();
  ASSERT_TRUE(cycle.received_ids().has_value());
  EXPECT_GT(cycle.received_ids()->text.size(), 1000000u);
  cycle.EndCheck();
  // Still present (the next check start decides again), but holding nothing.
  ASSERT_TRUE(cycle.received_ids().has_value());
  EXPECT_LE(cycle.received_ids()->text.capacity(), std::string().capacity());
  EXPECT_EQ(sources.log_closes, 1);
}

TEST_F(CycleTest, PromptGivenUpOpensTheSettingsWindow) {
  shell.prompt_types = "";
  cycle.AskPassword();
  EXPECT_EQ(settings.Passwd, "");
  EXPECT_EQ(shell.events,
            (std::vector<std::string>{"prompt", "clear passedit", "post tray TRAY_SHOW_SETTINGS"}));
}

// A due check with no password (a Cancel after it could not be stored, say)
// asks for it rather than sending an empty PASS.
TEST_F(CycleTest, CheckWithoutPasswordAsksForItFirst) {
  struct Case { std::string typed; std::vector<std::string> events; };
  const Case cases[] = {
      {"", {"prompt", "clear passedit", "post tray TRAY_SHOW_SETTINGS"}},
      {"typed", {"prompt", "post start"}},
  };
  for (const Case& c : cases) {
    settings.Passwd.clear();
    shell.events.clear();
    connection.calls.clear();
    shell.prompt_types = c.typed;
    cycle.StartCheck();
    EXPECT_EQ(shell.events, c.events);
    EXPECT_TRUE(connection.calls.empty()) << "no connection without a password";
  }
  cycle.StartCheck();  // with the typed password
  EXPECT_EQ(connection.calls, (std::vector<std::string>{"open 127.0.0.1:110"}));
}

TEST_F(CycleTest, SettingsShownStopsCounting) {
  cycle.ArmCheckTimer();
  cycle.CheckTicks = 4;
  cycle.SettingsShown();
  EXPECT_FALSE(shell.check_timer);
  EXPECT_FALSE(shell.timeout_timer);
  EXPECT_EQ(cycle.CheckTicks, 0);
}


// A failure anywhere in a check (here: no memory in one of the sources) ends
// that check and arms the cycle again: the tray stays usable.
TEST_F(CycleTest, AFailureInACheckEndsItAndTheCycleGoesOn) {
  using F = FakeSources::Failing;
  struct Case { const char* name; F failing; int arrivals; };
  const Case cases[] = {
      {"loading the received ids", F::IdList, 0},
      {"writing the first log line", F::Log, 1},
      {"loading the check list at STAT", F::CheckList, 4},
      {"letting go of the log at the end", F::CloseLog, 6},
  };
  const std::string server[] = {"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 10\r\n",
                                "+OK\r\nFrom: x\r\n\r\n.\r\n", "+OK bye\r\n"};
  settings.LOG = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sources.failing = c.failing;
    connection.calls.clear();
    shell.check_timer = false;
    bool failed = false;
    try {
      cycle.StartCheck();
      cycle.OnConnected();
      for (int i = 0; i < c.arrivals && i < 6; ++i) cycle.OnReceived(server[i]);
      cycle.EndCheck();
    } catch (const std::bad_alloc&) {
      failed = true;  // the shell shows it
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(cycle.Waiting(), 1) << "the tray menu is usable again";
    EXPECT_TRUE(shell.check_timer) << "the next check comes";
    EXPECT_FALSE(shell.timeout_timer);
    EXPECT_FALSE(shell.check_bound);
    if (!connection.calls.empty() && connection.calls[0].rfind("open", 0) == 0) {
      EXPECT_TRUE(connection.calls.back() == "drop" || connection.calls.back() == "close")
          << connection.calls.back();
    }
    // The next check runs as usual.
    sources.failing = F::None;
    cycle.StartCheck();
    EXPECT_EQ(cycle.phase(), CheckPhase::Running);
    cycle.OnSocketError();
    cycle.EndCheck();
  }
}

// A reply must be complete within 7 ticks of its command, however its bytes
// trickle in: arrivals do not put its deadline off.
TEST_F(CycleTest, ATricklingReplyEndsAtItsDeadline) {
  settings.LOG = 1;
  cycle.StartCheck();
  cycle.OnConnected();
  cycle.OnReceived("+OK ready\r\n");  // USER sent: its deadline starts
  for (int tick = 1; tick < kTimeoutTicks; ++tick) {
    cycle.OnReceived("+");
    cycle.Timer2Timer();
    ASSERT_TRUE(shell.events.empty()) << "tick " << tick;
  }
  cycle.OnReceived("O");
  cycle.Timer2Timer();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  EXPECT_EQ(connection.calls.back(), "close");
  EXPECT_NE(sources.log.find("TIME OUT\r\n"), std::string::npos);
}

// The server's close ends the check at once, in whatever state, after what it
// sent before was handled.
TEST_F(CycleTest, AClosedConnectionEndsTheCheckAtOnce) {
  struct Case { const char* name; std::vector<std::string> before; std::string sent_last; };
  const Case cases[] = {
      {"before the greeting", {}, ""},
      {"after USER", {"+OK ready\r\n"}, "send USER user\r\n"},
      {"in the middle of a TOP reply",
       {"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 10\r\n", "+OK\r\nFrom: a\r\n"},
       "send TOP 2 0\r\n"},
  };
  settings.LOG = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shell.events.clear();
    connection.calls.clear();
    sources.log.clear();
    cycle.StartCheck();
    cycle.OnConnected();
    for (const std::string& bytes : c.before) cycle.OnReceived(bytes);
    if (!c.sent_last.empty()) {
      ASSERT_GE(connection.calls.size(), 2u);
      EXPECT_EQ(connection.calls[connection.calls.size() - 1], c.sent_last);
    }
    cycle.OnClosed();
    EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
    EXPECT_EQ(connection.calls.back(), "drop");
    EXPECT_FALSE(shell.timeout_timer);
    EXPECT_TRUE(sources.log.ends_with("CONNECTION CLOSED\r\n")) << sources.log;
    // Late events of that connection are not the check's.
    cycle.OnReceived("+OK\r\n");
    cycle.OnClosed();
    EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
    cycle.EndCheck();
  }
  // After the reply to QUIT the connection is closed already: nothing more.
  shell.events.clear();
  cycle.StartCheck();
  cycle.OnConnected();
  for (const char* bytes : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK bye\r\n"})
    cycle.OnReceived(bytes);
  cycle.OnClosed();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
}

// However its replies come, a check ends at its bound; the bound's timer runs
// only while a check does.
TEST_F(CycleTest, TheWholeCheckIsBounded) {
  settings.LOG = 1;
  cycle.StartCheck();
  EXPECT_TRUE(shell.check_bound);
  cycle.OnConnected();
  cycle.OnReceived("+OK ready\r\n");
  cycle.CheckBoundTimer();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  EXPECT_EQ(connection.calls.back(), "close");
  EXPECT_FALSE(shell.check_bound);
  cycle.EndCheck();
  shell.events.clear();
  cycle.CheckBoundTimer();  // a late tick between checks
  EXPECT_TRUE(shell.events.empty());
  // Every other end of a check stops it too.
  cycle.StartCheck();
  cycle.OnSocketError();
  cycle.EndCheck();
  EXPECT_FALSE(shell.check_bound);
}

// The tray menu's loop handles the timers: a check that fell due while the
// menu was open voids the item chosen in it.
TEST_F(CycleTest, AMenuChoiceMadeAfterACheckStartedIsVoid) {
  settings.PopTime = 1;
  cycle.ArmCheckTimer();
  const bool enabled = cycle.Waiting() == 1;
  EXPECT_TRUE(cycle.MenuChoiceStands(enabled));
  cycle.Timer1Timer();
  cycle.Timer1Timer();  // due while the menu is open
  EXPECT_FALSE(cycle.MenuChoiceStands(enabled));
  cycle.StartCheck();
  EXPECT_FALSE(cycle.MenuChoiceStands(enabled));
  cycle.OnSocketError();
  cycle.EndCheck();
  EXPECT_TRUE(cycle.MenuChoiceStands(enabled)) << "a check that came and went changes nothing";
  EXPECT_FALSE(cycle.MenuChoiceStands(false));
}

// The prompt's Enter keeps the password for this run even when the settings
// file cannot be written: the failure is told and the check still starts.
TEST_F(CycleTest, TypedPasswordIsUsedWhenItCannotBeSaved) {
  settings.Passwd.clear();
  sources.save_fails = true;
  shell.prompt_types = "typed";
  cycle.OnAskPasswordMessage();
  EXPECT_EQ(shell.events, (std::vector<std::string>{"prompt", "write error", "post start"}));
  EXPECT_EQ(settings.Passwd, "typed");
}

// The program's own message asks only while no password is set: a second one
// queued behind a prompt that was answered does nothing.
TEST_F(CycleTest, AskPasswordMessageAsksOnlyWithoutPassword) {
  cycle.OnAskPasswordMessage();
  EXPECT_TRUE(shell.events.empty());
  settings.Passwd.clear();
  shell.prompt_types = "typed";
  cycle.OnAskPasswordMessage();
  EXPECT_EQ(shell.events, (std::vector<std::string>{"prompt", "post start"}));
}

// What the settings window's buttons lead to.
TEST_F(CycleTest, SettingsWindowOkAndCancel) {
  struct Case {
    const char* name;
    bool ok;
    std::string password;
    std::vector<std::string> events;
    bool armed;
  };
  const Case cases[] = {
      {"OK with a password", true, "secret", {}, true},
      {"OK without a password asks for it", true, "", {"post ask"}, false},
      {"Cancel with a password", false, "secret", {}, true},
      {"Cancel without one: the due check asks", false, "", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shell.events.clear();
    settings.Passwd = c.password;
    cycle.ArmCheckTimer();
    cycle.SettingsShown();
    ASSERT_FALSE(shell.check_timer);
    if (c.ok)
      cycle.SettingsAccepted();
    else
      cycle.SettingsCancelled();
    EXPECT_EQ(shell.events, c.events);
    EXPECT_EQ(shell.check_timer, c.armed);
  }
}

// The left click between checks brings the mail client up and counts a full
// interval again; during a check or a drive sequence it does nothing, and a
// check that started while the click waited keeps its own end.
TEST_F(CycleTest, TrayLeftClick) {
  settings.PopTime = 1;
  // Between checks.
  cycle.ArmCheckTimer();
  cycle.Timer1Timer();
  cycle.TrayLeftClick();
  EXPECT_EQ(shell.events, (std::vector<std::string>{"pump", "popup afresh"}));
  EXPECT_EQ(cycle.CheckTicks, 0);
  EXPECT_TRUE(shell.check_timer);
  EXPECT_EQ(cycle.Waiting(), 1);

  // A check is due: nothing.
  shell.events.clear();
  cycle.Timer1Timer();
  cycle.Timer1Timer();
  ASSERT_EQ(shell.events, std::vector<std::string>{"post start"});
  shell.events.clear();
  cycle.TrayLeftClick();
  EXPECT_TRUE(shell.events.empty());

  // The mail client is being driven already: nothing.
  cycle.EndCheck();
  shell.events.clear();
  shell.companion_busy = true;
  cycle.TrayLeftClick();
  EXPECT_TRUE(shell.events.empty());
  shell.companion_busy = false;

  // A tick handled while the click pumps makes a check due: the click does
  // not arm the timer under it.
  cycle.CheckTicks = 1;
  shell.on_pump = [&] { cycle.Timer1Timer(); };
  cycle.TrayLeftClick();
  EXPECT_EQ(shell.events, (std::vector<std::string>{"pump", "post start", "popup afresh"}));
  EXPECT_FALSE(shell.check_timer);
  EXPECT_EQ(cycle.Waiting(), 0);

  // The program began to close while the client came up: nothing is armed.
  shell.on_pump = nullptr;
  cycle.EndCheck();
  shell.check_timer = false;
  cycle.Closing();
  shell.events.clear();
  cycle.TrayLeftClick();
  EXPECT_EQ(shell.events, (std::vector<std::string>{"pump", "popup afresh"}));
  EXPECT_FALSE(shell.check_timer);
}

// A check is running from its start, however it was started: also one that
// the prompt started after the settings window's OK, while the cycle was
// waiting with its timer stopped.
TEST_F(CycleTest, ACheckRunsFromItsStart) {
  cycle.ArmCheckTimer();
  cycle.SettingsShown();
  settings.Passwd.clear();
  cycle.SettingsAccepted();
  shell.prompt_types = "typed";
  cycle.OnAskPasswordMessage();
  ASSERT_EQ(cycle.Waiting(), 1);
  cycle.StartCheck();
  EXPECT_EQ(cycle.phase(), CheckPhase::Running);
  EXPECT_EQ(cycle.Waiting(), 0) << "the tray menu is greyed under a running check";
  shell.events.clear();
  cycle.TrayLeftClick();
  EXPECT_TRUE(shell.events.empty());
  cycle.OnSocketError();
  EXPECT_EQ(cycle.phase(), CheckPhase::Ending);
  cycle.EndCheck();
  EXPECT_EQ(cycle.phase(), CheckPhase::Waiting);
}

// ---------------------------------------------------------------- the report of a check

// A check whose walk meets `messages` new messages (the first one matching
// the check address when `match`), through to the reply to QUIT.
void RunWalk(CheckCycle& cycle, int messages, bool match) {
  cycle.StartCheck();
  cycle.OnConnected();
  for (const char* r : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n"}) cycle.OnReceived(r);
  cycle.OnReceived("+OK " + std::to_string(messages) + " 100\r\n");
  for (int i = 0; i < messages; ++i) {
    const bool matching = match && i == 0;
    cycle.OnReceived(std::string("+OK\r\nFrom: ") +
                     (matching ? "boss@example.com" : "other@example.com") +
                     "\r\nSubject: m" + std::to_string(i) + "\r\n\r\n.\r\n");
    if (matching) break;
  }
  cycle.OnReceived("+OK bye\r\n");
}

// How each way a check ends is reported, with the local time the shell gives
// at its end.
TEST_F(CycleTest, EveryEndOfACheckIsReported) {
  struct Case {
    const char* name;
    std::function<void(CheckCycle&, FakeConnection&, Settings&)> run;
    CheckOutcome outcome;
    std::size_t rows;
  };
  const auto to_login = [](CheckCycle& c) {
    c.StartCheck();
    c.OnConnected();
    c.OnReceived("+OK ready\r\n");
    c.OnReceived("+OK\r\n");
  };
  const Case cases[] = {
      {"a walk with new mail", [](CheckCycle& c, auto&, auto&) { RunWalk(c, 2, false); },
       CheckOutcome::Done, 2},
      {"no connection", [](CheckCycle& c, FakeConnection& conn, auto&) {
         conn.result = OpenFailure{OpenFailure::Kind::ConnectFailed};
         c.StartCheck();
         conn.result.reset();
       }, CheckOutcome::NoConnection, 0},
      {"a lost network, ended quietly", [](CheckCycle& c, FakeConnection&, auto&) {
         c.StartCheck();
         c.OnOpenFailed(OpenFailure{OpenFailure::Kind::Unreachable});
       }, CheckOutcome::NoConnection, 0},
      {"going to sleep in the dialogue", [&](CheckCycle& c, auto&, auto&) {
         to_login(c);
         c.Suspending();
       }, CheckOutcome::ConnectionLost, 0},
      {"refused before the greeting", [](CheckCycle& c, auto&, auto&) {
         c.StartCheck();
         c.OnSocketError();
       }, CheckOutcome::NoConnection, 0},
      {"closed in the dialogue", [&](CheckCycle& c, auto&, auto&) {
         to_login(c);
         c.OnClosed();
       }, CheckOutcome::ConnectionLost, 0},
      {"closed in the walk keeps what was examined", [](CheckCycle& c, auto&, auto&) {
         c.StartCheck();
         c.OnConnected();
         for (const char* r : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK 3 1\r\n",
                               "+OK\r\nFrom: a@x\r\n\r\n.\r\n"})
           c.OnReceived(r);
         c.OnSocketError();
       }, CheckOutcome::ConnectionLost, 1},
      {"time-out", [&](CheckCycle& c, auto&, auto&) {
         to_login(c);
         for (int i = 0; i < kTimeoutTicks; ++i) c.Timer2Timer();
       }, CheckOutcome::TimedOut, 0},
      {"the whole check's bound", [&](CheckCycle& c, auto&, auto&) {
         to_login(c);
         c.CheckBoundTimer();
       }, CheckOutcome::TimedOut, 0},
      {"a refused STAT", [&](CheckCycle& c, auto&, auto&) {
         to_login(c);
         c.OnReceived("+OK\r\n");
         c.OnReceived("-ERR mailbox locked\r\n");
       }, CheckOutcome::ServerError, 0},
      {"TLS that cannot be had", [](CheckCycle& c, auto&, Settings& s) {
         s.Tls = kTlsImplicit;
         c.StartCheck();
         c.OnConnected();
         s.Tls = kTlsNone;
       }, CheckOutcome::TlsFailed, 0},
  };
  settings.PopTime = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int reports = shell.reports;
    shell.now.second = static_cast<int>(&c - cases);
    c.run(cycle, connection, settings);
    if (cycle.phase() == CheckPhase::Ending) {
      EXPECT_EQ(shell.reports, reports) << "reported where the check ends, not before";
      cycle.EndCheck();
    }
    EXPECT_EQ(shell.reports, reports + 1);
    const CheckReport& r = cycle.last_report();
    EXPECT_TRUE(r.checked);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.ended, shell.now);
    EXPECT_EQ(r.examined.rows().size(), c.rows);
    ASSERT_EQ(cycle.Waiting(), 1);
  }
}

TEST_F(CycleTest, TheReportHoldsTheCountsAndTheRows) {
  EXPECT_FALSE(cycle.last_report().checked);
  RunWalk(cycle, 3, true);
  cycle.EndCheck();
  const CheckReport& r = cycle.last_report();
  EXPECT_EQ(r.outcome, CheckOutcome::Done);
  EXPECT_EQ(r.new_count, 1);
  EXPECT_EQ(r.notable_count, 1);
  ASSERT_EQ(r.examined.rows().size(), 1u);
  EXPECT_EQ(r.examined.rows()[0].number, 3);
  EXPECT_EQ(r.examined.rows()[0].state, ExaminedState::NewNotable);
  EXPECT_EQ(r.examined.rows()[0].entry, 0);
  EXPECT_EQ(r.examined.check_list()[0].address, "boss@example.com");
  EXPECT_EQ(cycle.NewMailCount(), 0) << "the cycle's own results are cleared as before";
}

// A rejected login hands over to the prompt: its report is made before the
// prompt's loop runs (the window may be looked at meanwhile).
TEST_F(CycleTest, ARefusedPasswordIsReportedBeforeThePrompt) {
  cycle.StartCheck();
  cycle.OnConnected();
  cycle.OnReceived("+OK ready\r\n");
  cycle.OnReceived("+OK\r\n");
  int reports_at_prompt = -1;
  shell.prompt_types = "";
  shell.on_prompt = [&] { reports_at_prompt = shell.reports; };
  cycle.OnReceived("-ERR [AUTH] failed\r\n");
  EXPECT_EQ(reports_at_prompt, 1);
  EXPECT_EQ(cycle.last_report().outcome, CheckOutcome::PasswordRefused);
}

// A due check skipped while paused, or a check that failed in the program
// itself, leaves the last report as it was.
TEST_F(CycleTest, NoCheckNoNewReport) {
  RunWalk(cycle, 1, false);
  cycle.EndCheck();
  ASSERT_EQ(shell.reports, 1);
  settings.PopTime = 1;
  cycle.K6mStopClick();
  cycle.Timer1Timer();
  cycle.Timer1Timer();
  cycle.EndCheck();
  EXPECT_EQ(shell.reports, 1);
  cycle.K6mStopClick();
  sources.failing = FakeSources::Failing::CheckList;
  EXPECT_THROW(RunWalk(cycle, 2, false), std::bad_alloc);
  EXPECT_EQ(shell.reports, 1);
  EXPECT_EQ(cycle.last_report().examined.rows().size(), 1u);
}

// ---------------------------------------------------------------- check now, the menu

TEST_F(CycleTest, TheMenuIsEnabledOnlyWhileTheCycleWaits) {
  struct Case { const char* name; std::function<void()> to; bool enabled; };
  const Case cases[] = {
      {"waiting", [&] { cycle.ArmCheckTimer(); }, true},
      {"paused, waiting", [&] { cycle.K6mStopClick(); }, true},
      {"due", [&] { cycle.K6mStopClick(); cycle.CheckNow(); }, false},
      {"running", [&] { cycle.StartCheck(); }, false},
      {"ending", [&] { cycle.OnSocketError(); }, false},
      {"ended", [&] { cycle.EndCheck(); }, true},
      {"settings window shown", [&] { cycle.SettingsShown(); }, true},
  };
  for (const Case& c : cases) {
    c.to();
    EXPECT_EQ(cycle.MenuEnabled(), c.enabled) << c.name;
    EXPECT_EQ(cycle.MenuEnabled(), cycle.Waiting() == 1) << c.name;
  }
}

TEST_F(CycleTest, CheckNowStartsACheckOnlyWhileTheCycleWaits) {
  struct Case { const char* name; bool paused; std::function<void()> before; bool starts; };
  const Case cases[] = {
      {"waiting", false, [] {}, true},
      {"waiting, paused: the user asked for it", true, [] {}, true},
      {"due", false, [&] { cycle.CheckNow(); }, false},
      {"running", false, [&] { cycle.CheckNow(); cycle.StartCheck(); }, false},
  };
  settings.PopTime = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (cycle.Paused() != (c.paused ? 1 : 0)) cycle.K6mStopClick();
    cycle.CheckTicks = 0;
    cycle.ArmCheckTimer();
    cycle.Timer1Timer();  // a tick of the interval counted
    c.before();
    shell.events.clear();
    cycle.CheckNow();
    EXPECT_EQ(shell.events, c.starts ? std::vector<std::string>{"post start"}
                                     : std::vector<std::string>{});
    EXPECT_FALSE(shell.check_timer) << "no tick counts while the check is due";
    EXPECT_EQ(cycle.Waiting(), 0);
    EXPECT_EQ(cycle.Paused(), c.paused ? 1 : 0) << "the pause stays as it was";
    // The check runs, and the next interval counts from its end.
    if (cycle.phase() == CheckPhase::Due) cycle.StartCheck();
    cycle.OnSocketError();
    cycle.EndCheck();
    EXPECT_EQ(cycle.CheckTicks, 0);
    if (!c.paused) {
      shell.events.clear();
      EXPECT_EQ(TicksUntilDue(10), 4);
    }
  }
}

// A tick of the check timer queued before "check now" stopped it (or before
// the due tick did) starts nothing more: one check at a time.
TEST_F(CycleTest, AStaleTickStartsNoSecondCheck) {
  settings.PopTime = 1;
  cycle.ArmCheckTimer();
  cycle.Timer1Timer();
  cycle.CheckNow();
  shell.events.clear();
  cycle.Timer1Timer();  // would have been the due tick
  cycle.StartCheck();
  cycle.Timer1Timer();
  EXPECT_TRUE(shell.events.empty());
  EXPECT_FALSE(shell.check_timer);
  EXPECT_EQ(shell.find_companion, 3) << "the search for the client still runs at every tick";
  EXPECT_EQ(connection.calls, std::vector<std::string>{"open 127.0.0.1:110"});
}

// ---------------------------------------------------------------- the balloon

// With Balloon=1 a check that turns the icon to RECVICON or OTHERICON also
// shows a balloon; nothing else does, and without the key nothing does.
TEST_F(CycleTest, TheBalloonFollowsTheIcon) {
  struct Case {
    std::int32_t balloon, icon_change, all_icon;
    bool match; int new_mail;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {1, 1, 0, true, 2, {"tray Matched", "balloon"}},
      {1, 1, 1, false, 2, {"tray Other", "balloon"}},
      {1, 1, 0, false, 2, {"tray Normal"}},
      {1, 1, 1, false, 0, {"tray Normal"}},
      {1, 0, 1, false, 2, {"tray Other", "balloon"}},
      {1, 0, 0, true, 1, {"popup"}},
      {0, 1, 0, true, 2, {"tray Matched"}},
      {0, 1, 1, false, 2, {"tray Other"}},
      {2, 1, 0, true, 2, {"tray Matched"}},  // only 1 is on
  };
  for (const Case& c : cases) {
    settings.Balloon = c.balloon;
    settings.IconChange = c.icon_change;
    settings.AllIconChange = c.all_icon;
    RunWalk(cycle, c.new_mail, c.match);
    shell.events.clear();
    shell.balloons.clear();
    cycle.EndCheck();
    EXPECT_EQ(shell.events, c.events) << "Balloon " << c.balloon << " IconChange "
                                      << c.icon_change << " match " << c.match;
    if (!shell.balloons.empty()) {
      EXPECT_EQ(shell.balloons[0], NewMailBalloon(cycle.last_report())) << "of this check";
      EXPECT_NE(shell.balloons[0].text.find(u"m0"), std::u16string::npos);
    }
  }
}

}  // namespace
}  // namespace zepho

namespace zepho {
namespace {

using testing::DataRecord;
using testing::Record;

const std::string kFlight = Record(0x16, "SERVER-HELLO") + Record(0x16, "FINISHED");
const std::string kClientHello = Record(0x16, "CLIENT-HELLO");
const std::string kClientFinished = Record(0x16, "CLIENT-FINISHED");

struct TlsCycleTest : CycleTest {
  testing::ToyTlsPort port;
  CheckCycle tls_cycle{settings, Ports(&port)};
  void SetUp() override {
    CycleTest::SetUp();
    settings.PopAddress = "pop.example.jp";
    settings.LOG = 1;
  }
  void Start() {
    tls_cycle.StartCheck();
    tls_cycle.OnConnected();
  }
  // The certificate's check, started by the handshake's end, is over.
  void Verdict() {
    ASSERT_TRUE(port.verifying) << "no check was started";
    port.verifying = false;
    tls_cycle.OnCertificateChecked(port.verdict, port.Detail());
  }
  // Everything sent, in order, but the first `skip` sends.
  std::vector<std::string> Sent(std::size_t skip = 0) const {
    std::vector<std::string> out;
    for (const std::string& call : connection.calls)
      if (call.rfind("send ", 0) == 0) out.push_back(call.substr(5));
    out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(std::min(skip, out.size())));
    return out;
  }
  bool AnySentHolds(const std::string& text) const {
    for (const std::string& s : Sent())
      if (s.find(text) != std::string::npos) return true;
    return false;
  }
};

TEST_F(TlsCycleTest, ImplicitTlsCheckRunsTheDialogueInsideTls) {
  settings.Tls = kTlsImplicit;
  Start();
  EXPECT_EQ(Sent(), std::vector<std::string>{kClientHello});
  EXPECT_TRUE(shell.timeout_timer);
  tls_cycle.OnReceived(kFlight + DataRecord("+OK ready\r\n"));
  EXPECT_EQ(Sent(), (std::vector<std::string>{kClientHello, kClientFinished}))
      << "the greeting waits for the certificate's check";
  Verdict();
  EXPECT_EQ(Sent(), (std::vector<std::string>{kClientHello, kClientFinished,
                                              DataRecord("USER user\r\n")}));
  tls_cycle.OnReceived(DataRecord("+OK\r\n"));
  tls_cycle.OnReceived(DataRecord("+OK\r\n"));
  tls_cycle.OnReceived(DataRecord("+OK 0 0\r\n"));
  tls_cycle.OnReceived(DataRecord("+OK bye\r\n"));
  const std::vector<std::string> sent = Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2], DataRecord("QUIT\r\n"));
  EXPECT_EQ(sent.back(), Record(0x15, "\x01\x00")) << "close_notify before the close";
  EXPECT_EQ(connection.calls.back(), "close");
  EXPECT_FALSE(AnySentHolds("PASS")) << "no password in the clear";
  // The log is the dialogue as without TLS, after one line on the connection.
  EXPECT_EQ(sources.log,
            "TLS: TLS 1.2, TOY-XOR, CN=pop.example.jp, certificate verified\r\n"
            "+OK ready\r\nUSER user\r\n+OK\r\nPASS ********\r\n+OK\r\nSTAT\r\n+OK 0 0\r\n"
            "QUIT\r\n+OK bye\r\n");
  EXPECT_EQ(port.verified_name, "pop.example.jp");
  EXPECT_TRUE(port.peer.send_server_name);
  EXPECT_TRUE(shell.tls_failures.empty());
}

// A server given as an address: no name is sent, and its certificate must
// list that address; the box names the server as typed.
TEST_F(TlsCycleTest, AnAddressIsCheckedAsAnAddress) {
  settings.Tls = kTlsImplicit;
  settings.PopAddress = "[::1]";
  Start();
  EXPECT_EQ(port.peer.name, "::1");
  EXPECT_FALSE(port.peer.send_server_name);
  ASSERT_TRUE(port.peer.address);
  EXPECT_EQ(FormatIpAddress(*port.peer.address), "::1");
  port.verdict = CertVerdict::NameMismatch;
  tls_cycle.OnReceived(kFlight);
  Verdict();
  EXPECT_EQ(shell.events, (std::vector<std::string>{"tls box [::1] CertNameMismatch", "settings"}));
}

// The verdict comes from another thread's work, through the queue: one that
// comes after its check ended belongs to no check.
TEST_F(TlsCycleTest, ALateVerdictIsDropped) {
  settings.Tls = kTlsImplicit;
  Start();
  tls_cycle.OnReceived(kFlight);
  ASSERT_TRUE(port.verifying);
  for (int i = 0; i < kTimeoutTicks; ++i) tls_cycle.Timer2Timer();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  EXPECT_FALSE(port.verifying) << "the check is let go with the connection";
  tls_cycle.EndCheck();
  const std::size_t calls = connection.calls.size();
  tls_cycle.OnCertificateChecked(CertVerdict::Ok, "");
  tls_cycle.OnCertificateChecked(CertVerdict::Revoked, "late");
  EXPECT_EQ(connection.calls.size(), calls);
  EXPECT_TRUE(shell.tls_failures.empty());
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
}

// Over TLS too, each arrival sets the reply timer once: in the handshake, at
// the switch to the dialogue, and in the dialogue itself.
TEST_F(TlsCycleTest, EachArrivalSetsTheReplyTimerOnce) {
  settings.Tls = kTlsImplicit;
  Start();
  struct Step { std::string bytes; std::vector<bool> calls; };
  const std::string hello = Record(0x16, "SERVER-HELLO");
  const Step steps[] = {
      {hello.substr(0, 4), {}},                                        // part of a record
      {hello.substr(4), {}},                                           // the handshake goes on
      {Record(0x16, "FINISHED"), {}},                                  // the check starts
      {DataRecord("+OK ready\r\n"), {}},                               // kept for after it
      {"", {true}},                                                    // its verdict: USER sent
      {DataRecord("+O"), {}},                                          // incomplete reply
      {DataRecord("K\r\n"), {true}},                                   // PASS sent
      {DataRecord("+OK\r\n"), {true}},                                 // STAT sent
      {DataRecord("+OK 0 0\r\n"), {true}},                             // QUIT sent
      {DataRecord("+OK bye\r\n"), {false}},                            // the end
  };
  for (const Step& step : steps) {
    shell.timeout_calls.clear();
    if (step.bytes.empty())
      Verdict();
    else
      tls_cycle.OnReceived(step.bytes);
    EXPECT_EQ(shell.timeout_calls, step.calls) << step.bytes;
  }
  EXPECT_EQ(connection.calls.back(), "close");
}

TEST_F(TlsCycleTest, StlsUpgradesThenLogsIn) {
  settings.Tls = kTlsStls;
  settings.Apop = 1;
  Start();
  EXPECT_TRUE(Sent().empty());
  tls_cycle.OnReceived("+OK <1.2@host>\r\n");
  EXPECT_EQ(Sent(), std::vector<std::string>{"STLS\r\n"});
  tls_cycle.OnReceived("+OK begin\r\n");
  EXPECT_EQ(Sent(1), std::vector<std::string>{kClientHello});
  tls_cycle.OnReceived(kFlight.substr(0, 7));  // a piece: the handshake waits, the timer runs
  EXPECT_TRUE(shell.timeout_timer);
  EXPECT_EQ(tls_cycle.TimeoutTicks, 0);
  tls_cycle.OnReceived(kFlight.substr(7));
  Verdict();
  const std::vector<std::string> sent = Sent(1);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1], kClientFinished);
  EXPECT_EQ(testing::Xor(sent[2].substr(5, 10)), "APOP user ") << "the login goes inside TLS";
  EXPECT_EQ(tls_cycle.session().state(), SessionState::Apop);
  EXPECT_NE(sources.log.find("+OK begin\r\nTLS: TLS 1.2"), std::string::npos) << sources.log;
}

TEST_F(TlsCycleTest, RefusalsEndTheCheckWithTheirReasonAndNoPassword) {
  struct Case {
    const char* name;
    std::int32_t mode;
    CertVerdict verdict;
    std::string pin;
    std::vector<std::string> server;
    TlsFailure::Reason reason;
    bool fingerprint;
  };
  const std::string offered = FormatFingerprint(Sha256(port.certificate));
  const Case cases[] = {
      {"untrusted", kTlsImplicit, CertVerdict::Untrusted, "", {kFlight},
       TlsFailure::Reason::CertUntrusted, true},
      {"expired", kTlsImplicit, CertVerdict::Expired, "", {kFlight},
       TlsFailure::Reason::CertExpired, true},
      {"another name", kTlsStls, CertVerdict::NameMismatch, "",
       {"+OK hi\r\n", "+OK\r\n", kFlight}, TlsFailure::Reason::CertNameMismatch, true},
      {"a pin of another certificate", kTlsImplicit, CertVerdict::Untrusted,
       std::string(64, 'a'), {kFlight}, TlsFailure::Reason::CertUntrusted, true},
      {"handshake alert", kTlsImplicit, CertVerdict::Ok, "", {Record(0x16, "BAD")},
       TlsFailure::Reason::HandshakeFailed, false},
      {"STLS refused", kTlsStls, CertVerdict::Ok, "", {"+OK hi\r\n", "-ERR what?\r\n"},
       TlsFailure::Reason::StlsRefused, false},
      {"data behind the STLS reply", kTlsStls, CertVerdict::Ok, "",
       {"+OK hi\r\n", "+OK\r\n+OK fake\r\n"}, TlsFailure::Reason::StlsInjected, false},
      {"revoked", kTlsImplicit, CertVerdict::Revoked, "", {kFlight + DataRecord("+OK hi\r\n")},
       TlsFailure::Reason::CertRevoked, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shell.events.clear();
    shell.tls_failures.clear();
    connection.calls.clear();
    sources.log.clear();
    settings.Tls = c.mode;
    settings.TlsCertSha256 = c.pin;
    port.verdict = c.verdict;
    Start();
    for (const std::string& bytes : c.server) tls_cycle.OnReceived(bytes);
    if (port.verifying) Verdict();
    ASSERT_EQ(shell.tls_failures.size(), 1u);
    EXPECT_EQ(shell.tls_failures[0].reason, c.reason);
    EXPECT_EQ(shell.tls_failures[0].fingerprint, c.fingerprint ? offered : "");
    EXPECT_EQ(shell.events, (std::vector<std::string>{
                                std::string("tls box pop.example.jp ") + NameOf(c.reason),
                                "settings"}));
    EXPECT_FALSE(AnySentHolds("USER")) << "the login never starts";
    EXPECT_FALSE(AnySentHolds(DataRecord("USER")));
    EXPECT_EQ(connection.calls.back(), "close");
    EXPECT_FALSE(shell.timeout_timer);
    EXPECT_NE(sources.log.find("TLS FAILED: "), std::string::npos);
    // Whatever arrives afterwards is ignored.
    const std::size_t calls = connection.calls.size();
    tls_cycle.OnReceived(DataRecord("+OK\r\n"));
    EXPECT_EQ(connection.calls.size(), calls);
  }
}

TEST_F(TlsCycleTest, WithoutPlatformTlsNothingIsSent) {
  CheckCycle no_tls{settings, Ports()};
  settings.Tls = kTlsImplicit;
  no_tls.StartCheck();
  no_tls.OnConnected();
  ASSERT_EQ(shell.tls_failures.size(), 1u);
  EXPECT_EQ(shell.tls_failures[0].reason, TlsFailure::Reason::Unavailable);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(TlsCycleTest, StalledHandshakeEndsLikeATimeOut) {
  settings.Tls = kTlsImplicit;
  Start();
  tls_cycle.OnReceived(kFlight.substr(0, 10));
  for (int i = 0; i < kTimeoutTicks; ++i) tls_cycle.Timer2Timer();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  EXPECT_EQ(connection.calls.back(), "close");
  EXPECT_EQ(sources.log, "TIME OUT\r\n");
  EXPECT_TRUE(shell.tls_failures.empty());
}

TEST_F(TlsCycleTest, PlainCheckIsUntouchedByTheTlsPort) {
  Start();
  tls_cycle.OnReceived("+OK hi\r\n");
  EXPECT_EQ(Sent(), std::vector<std::string>{"USER user\r\n"});
  EXPECT_EQ(port.begins, 0);
}

}  // namespace
}  // namespace zepho

namespace zepho {
namespace {

// A lost network is not a wrong setting: failures for a server known to exist
// end quietly and are tried again soon; one that never resolved is reported.
struct OutageTest : CycleTest {
  void SetUp() override {
    CycleTest::SetUp();
    settings.PopAddress = "pop.example.jp";
    settings.PopTime = 3;
    settings.IconChange = 1;
  }
  // A check that starts (when due) and whose open fails so.
  void FailingCheck(const OpenFailure& f) {
    shell.events.clear();
    cycle.StartCheck();
    cycle.OnOpenFailed(f);
  }
  // A check that reaches the server and walks an empty mailbox.
  void GoodCheck() {
    cycle.StartCheck();
    cycle.OnConnected();
    for (const char* bytes : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK bye\r\n"})
      cycle.OnReceived(bytes);
    cycle.EndCheck();
  }
  void Start() {
    cycle.BeginAtStartup();
    shell.events.clear();
  }
};

using K = OpenFailure::Kind;
using S = LookupOutcome::Status;

TEST_F(OutageTest, QuietFailuresAreRetriedSoonAndASuccessRestoresTheInterval) {
  sources.known_server = "pop.example.jp";  // it resolved in an earlier run
  Start();
  ASSERT_FALSE(cycle.offline());
  // Retries after 30 s, then every minute, never later than the interval.
  const int expected_ticks[] = {1, 2, 2, 2};
  for (const int ticks : expected_ticks) {
    FailingCheck(Failure(K::NoAddress, S::NoAnswer, 11002));
    EXPECT_EQ(shell.events, std::vector<std::string>{"post end"}) << "no box, no window";
    EXPECT_TRUE(cycle.offline());
    EXPECT_TRUE(shell.offline_tip);
    shell.events.clear();
    cycle.EndCheck();
    EXPECT_TRUE(shell.events.empty()) << "the icon is left as it was: the check learnt nothing";
    EXPECT_EQ(TicksUntilDue(10), ticks);
    EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
  }
  // The first success: the normal interval again, and the tip as before.
  shell.events.clear();
  GoodCheck();
  EXPECT_FALSE(cycle.offline());
  EXPECT_FALSE(shell.offline_tip);
  EXPECT_GE(shell.reached, 1);
  shell.events.clear();
  EXPECT_EQ(TicksUntilDue(10), 6);
  // With an interval of one minute the retries never wait longer.
  settings.PopTime = 1;
  FailingCheck(Failure(K::Unreachable, {}, 10060));
  cycle.EndCheck();
  shell.events.clear();
  EXPECT_EQ(TicksUntilDue(10), 1);
  FailingCheck(Failure(K::Unreachable, {}, 10060));
  cycle.EndCheck();
  shell.events.clear();
  EXPECT_EQ(TicksUntilDue(10), 2);
}

// Which failures of a known server are an outage: not being able to look it
// up or reach it, whatever the code; not this machine's own trouble.
TEST_F(OutageTest, WhatCountsAsAnOutage) {
  const struct {
    OpenFailure failure;
    bool outage;
  } cases[] = {
      {Failure(K::NoAddress, S::NoSuchName, 11001), true},  // a dead network may say so
      {Failure(K::NoAddress, S::NoAnswer, 11002), true},
      {Failure(K::NoAddress, S::TimedOut), true},
      {Failure(K::ConnectFailed, {}, 10051), true},
      {Failure(K::Unreachable, {}, 10061), true},
      {Failure(K::NoAddress, S::NotStarted), false},
      {Failure(K::SocketFailed, {}, 10047), false},
  };
  sources.known_server = "pop.example.jp";
  Start();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.failure.kind)) + " " +
                 std::to_string(static_cast<int>(c.failure.lookup)));
    FailingCheck(c.failure);
    EXPECT_EQ(cycle.offline(), c.outage);
    EXPECT_EQ(shell.events.back() == "settings", !c.outage);
    if (c.outage) cycle.EndCheck();
    EXPECT_EQ(cycle.Waiting(), 1);
  }
}

// A name that never resolved is a typing error until it does: today's box
// and the settings window. Once it resolved (this run, even in a check whose
// connects then failed), it is known, and kept for the next start.
TEST_F(OutageTest, ANameThatNeverResolvedStillAsksTheUser) {
  Start();
  FailingCheck(Failure(K::NoAddress, S::NoSuchName, 11001));
  EXPECT_EQ(shell.events, (std::vector<std::string>{"info AddressFailed", "tray Normal", "settings"}));
  EXPECT_FALSE(cycle.offline());
  EXPECT_EQ(sources.known_saves, 0);
  cycle.SettingsCancelled();

  OpenFailure resolved = Failure(K::Unreachable, {}, 10061);
  resolved.resolved = true;
  FailingCheck(resolved);
  EXPECT_TRUE(cycle.offline()) << "it resolved: the server is down or out of reach";
  EXPECT_EQ(sources.known_server, "pop.example.jp");
  EXPECT_EQ(sources.known_saves, 1);
  cycle.EndCheck();
  FailingCheck(Failure(K::NoAddress, S::NoSuchName, 11001));
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  cycle.EndCheck();
  GoodCheck();
  EXPECT_EQ(sources.known_saves, 1) << "written only when it changes";

  // Another server typed in the settings window is not known yet.
  settings.PopAddress = "pop.exmaple.jp";
  FailingCheck(Failure(K::NoAddress, S::NoSuchName, 11001));
  EXPECT_EQ(shell.events, (std::vector<std::string>{"info AddressFailed", "tray Normal", "settings"}));
  EXPECT_FALSE(cycle.offline());
  EXPECT_FALSE(shell.offline_tip);
}

// Windows tells a wake-up twice: one check follows, and the interval restarts
// from its end.
TEST_F(OutageTest, AWakeUpBringsOneCheck) {
  Start();
  GoodCheck();
  shell.events.clear();
  cycle.Timer1Timer();
  cycle.Resumed();
  cycle.Resumed();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
  EXPECT_FALSE(shell.check_timer);
  GoodCheck();
  shell.events.clear();
  cycle.Resumed();  // late, still the same wake-up
  EXPECT_TRUE(shell.events.empty());
  EXPECT_EQ(TicksUntilDue(10), 6) << "a full interval from the end of that check";
  // The next sleep and wake-up count again.
  GoodCheck();
  shell.events.clear();
  cycle.Suspending();
  cycle.Resumed();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
}

// Paused stays paused; nothing starts behind the settings window or the
// password prompt: the check comes at the first tick after they close.
TEST_F(OutageTest, AWakeUpWaitsForTheWindowAndNeverEndsAPause) {
  Start();
  GoodCheck();
  shell.events.clear();
  cycle.K6mStopClick();
  shell.events.clear();
  cycle.Resumed();
  EXPECT_TRUE(shell.events.empty());
  cycle.K6mStopClick();
  cycle.Suspending();

  cycle.SettingsShown();
  shell.events.clear();
  cycle.Resumed();
  EXPECT_TRUE(shell.events.empty()) << "nothing behind the settings window";
  cycle.SettingsCancelled();
  EXPECT_EQ(TicksUntilDue(10), 1) << "the first tick after it closed";
  GoodCheck();

  // The prompt's modal loop handles the wake-up: only the prompt's own check comes.
  cycle.Suspending();
  settings.Passwd.clear();
  shell.prompt_types = "typed";
  shell.on_prompt = [&] { cycle.Resumed(); };
  shell.events.clear();
  cycle.OnAskPasswordMessage();
  EXPECT_EQ(shell.events, (std::vector<std::string>{"prompt", "post start"}));
  shell.on_prompt = nullptr;
  GoodCheck();
  shell.events.clear();
  EXPECT_EQ(TicksUntilDue(10), 6) << "that check served the wake-up";
}

// A check under way when the computer goes to sleep ends, quietly; its
// connection's late events are not its.
TEST_F(OutageTest, SleepEndsACheckUnderWay) {
  settings.LOG = 1;
  Start();
  cycle.StartCheck();
  cycle.OnConnected();
  cycle.OnReceived("+OK ready\r\n");
  shell.events.clear();
  cycle.Suspending();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"});
  EXPECT_EQ(connection.calls.back(), "close");
  EXPECT_FALSE(shell.timeout_timer);
  EXPECT_FALSE(shell.check_bound);
  EXPECT_TRUE(sources.log.ends_with("SUSPEND\r\n"));
  cycle.OnReceived("+OK\r\n");
  cycle.EndCheck();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post end"}) << "no result shown";
  EXPECT_EQ(cycle.Waiting(), 1);
  // The wake-up brings the next check.
  shell.events.clear();
  cycle.Resumed();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
  // Going to sleep between checks, or with a check due, changes nothing.
  shell.events.clear();
  cycle.Suspending();
  EXPECT_TRUE(shell.events.empty());
  EXPECT_EQ(cycle.phase(), CheckPhase::Due);
}

// After a wake-up the retries start again from 30 s; a new address brings a
// check at once, but only while offline.
TEST_F(OutageTest, WakeUpsAndNewAddressesHurryTheRetries) {
  sources.known_server = "pop.example.jp";
  Start();
  cycle.NetworkChanged();
  EXPECT_TRUE(shell.events.empty()) << "online: a new address changes nothing";
  for (int i = 0; i < 3; ++i) {
    FailingCheck(Failure(K::NoAddress, S::NoAnswer));
    cycle.EndCheck();
  }
  shell.events.clear();
  cycle.Suspending();
  cycle.Resumed();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
  FailingCheck(Failure(K::NoAddress, S::NoAnswer));
  cycle.EndCheck();
  shell.events.clear();
  EXPECT_EQ(TicksUntilDue(10), 1) << "from the shortest delay again";
  // Offline and waiting: a new address, a check now.
  FailingCheck(Failure(K::NoAddress, S::NoAnswer));
  cycle.EndCheck();
  shell.events.clear();
  cycle.NetworkChanged();
  EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
  cycle.NetworkChanged();  // the check due serves
  EXPECT_EQ(shell.events, std::vector<std::string>{"post start"});
  GoodCheck();
  EXPECT_FALSE(cycle.offline());
}

}  // namespace
}  // namespace zepho
