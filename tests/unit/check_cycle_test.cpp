#include "app/check_cycle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zepho {
namespace {

// Records what the cycle asks of the window system, as short event strings.
struct FakeShell : CycleShell {
  std::vector<std::string> events;
  bool check_timer = false, timeout_timer = false;
  bool confirm_answer = true;
  // What the password prompt does when shown: the password typed, or "" for Escape.
  std::string prompt_types;
  Settings* settings = nullptr;

  void Post(ProgramMessage m, std::int32_t lparam) override {
    events.push_back("post " + Name(m) + (lparam ? " " + std::to_string(lparam) : ""));
  }
  void SetCheckTimer(bool on) override { check_timer = on; }
  void SetTimeoutTimer(bool on) override { timeout_timer = on; }
  void SetTrayIcon(TrayMode m) override { events.push_back("tray " + std::to_string(int(m))); }
  void InfoBox(Notice n) override { events.push_back("info " + std::to_string(int(n))); }
  bool ConfirmBox(Notice n) override {
    events.push_back("confirm " + std::to_string(int(n)));
    return confirm_answer;
  }
  void PumpMessages() override { events.push_back("pump"); }
  void ShowSettings() override { events.push_back("settings"); }
  void FindCompanion() override { ++find_companion; }
  void PopUpCompanion() override { events.push_back("popup"); }
  void ShowPasswordPrompt() override {
    events.push_back("prompt");
    if (!prompt_types.empty()) {
      settings->Passwd = prompt_types;
      Post(ProgramMessage::StartCheck, 0);
    }
  }
  void ClearPasswordBox() override { events.push_back("clear passedit"); }
  int find_companion = 0;

  static std::string Name(ProgramMessage m) {
    switch (m) {
      case ProgramMessage::Tray: return "tray";
      case ProgramMessage::AskPassword: return "ask";
      case ProgramMessage::StartCheck: return "start";
      case ProgramMessage::EndCheck: return "end";
      case ProgramMessage::Socket: return "socket";
    }
    return "?";
  }
};

struct FakeConnection : Connection {
  OpenResult result = OpenResult::Ok;
  std::vector<std::string> calls;
  OpenResult Open(const std::string& host, std::int32_t port) override {
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
  int LoadReceivedIdList(std::optional<ReceivedIdList>& list) override {
    if (list_result == 0) return 0;
    if (!list) list.emplace();
    list->lines = ids;
    return 1;
  }
  CheckList LoadCheckList() override {
    CheckList l{};
    l[0] = {"From:", "boss@example.com"};
    return l;
  }
  void AppendLog(const std::string& text) override { log += text; }
};

struct CycleTest : ::testing::Test {
  Settings settings;
  FakeShell shell;
  FakeConnection connection;
  FakeSources sources;
  CheckCycle cycle{settings, shell, connection, sources};
  void SetUp() override {
    shell.settings = &settings;
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
      EXPECT_EQ(cycle.Waiting, 0);
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
  EXPECT_EQ(shell.events, std::vector<std::string>{"tray 2"});  // the normal (stopped) icon
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
  EXPECT_EQ(cycle.Waiting, 1);
  EXPECT_TRUE(shell.check_timer);
  EXPECT_FALSE(shell.timeout_timer);
  EXPECT_EQ(TicksUntilDue(10), 4);
}

TEST_F(CycleTest, StartupGoesToTrayOrSettings) {
  EXPECT_TRUE(cycle.BeginAtStartup());
  EXPECT_EQ(shell.events, (std::vector<std::string>{"post start", "tray 1"}));
  EXPECT_EQ(cycle.Waiting, 0);

  shell.events.clear();
  settings.Passwd.clear();
  EXPECT_TRUE(cycle.BeginAtStartup());
  EXPECT_EQ(shell.events, (std::vector<std::string>{"post ask", "tray 1"}));

  shell.events.clear();
  settings.PopAcount.clear();
  EXPECT_FALSE(cycle.BeginAtStartup());
  EXPECT_EQ(shell.events, std::vector<std::string>{"post tray 1224"});
}

TEST_F(CycleTest, FailedConnectionShowsItsMessageEndsAndOpensSettings) {
  struct Case { Connection::OpenResult r; Notice n; };
  const Case cases[] = {{Connection::OpenResult::SocketFailed, Notice::SocketCreateFailed},
                        {Connection::OpenResult::NoAddress, Notice::AddressFailed},
                        {Connection::OpenResult::ConnectFailed, Notice::ConnectFailed}};
  for (const Case& c : cases) {
    shell.events.clear();
    connection.result = c.r;
    cycle.StartCheck();
    EXPECT_EQ(shell.events, (std::vector<std::string>{"info " + std::to_string(int(c.n)),
                                                      "post end", "pump", "settings"}));
    EXPECT_FALSE(shell.timeout_timer);
  }
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
  EXPECT_EQ(cycle.received_ids()->lines.size(), 2u);
}

// The result table of the end of a check, from a real dialogue's results.
TEST_F(CycleTest, EndCheckShowsTheResult) {
  struct Case {
    std::int32_t icon_change, all_icon, popup_setting;
    bool match; int new_mail; bool confirm;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {1, 0, 0, true, 1, true, {"tray 3"}},
      {1, 1, 0, false, 2, true, {"tray 4"}},
      {1, 0, 0, false, 2, true, {"tray 2"}},
      {1, 1, 0, false, 0, true, {"tray 2"}},
      {5, 1, 0, true, 1, true, {"tray 3"}},               // any non-zero value is on
      {0, 0, 1, true, 1, true, {"confirm 5", "popup"}},
      {0, 0, 1, true, 1, false, {"confirm 5"}},
      {0, 0, 0, true, 1, true, {"popup"}},
      {0, 1, 0, false, 3, true, {"tray 4"}},
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
    EXPECT_EQ(cycle.Waiting, 1);
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
  EXPECT_EQ(shell.events, (std::vector<std::string>{"info 4", "prompt", "post start"}));
  EXPECT_FALSE(shell.check_timer);
  EXPECT_EQ(settings.Passwd, "new-secret");
}

TEST_F(CycleTest, PromptGivenUpOpensTheSettingsWindow) {
  shell.prompt_types = "";
  cycle.AskPassword();
  EXPECT_EQ(settings.Passwd, "");
  EXPECT_EQ(shell.events,
            (std::vector<std::string>{"prompt", "clear passedit", "post tray 1224"}));
}

TEST_F(CycleTest, SettingsShownStopsCounting) {
  cycle.ArmCheckTimer();
  cycle.CheckTicks = 4;
  cycle.SettingsShown();
  EXPECT_FALSE(shell.check_timer);
  EXPECT_FALSE(shell.timeout_timer);
  EXPECT_EQ(cycle.CheckTicks, 0);
}

}  // namespace
}  // namespace zepho
