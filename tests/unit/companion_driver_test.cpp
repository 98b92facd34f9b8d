#include "companion/companion_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_window_system.h"

namespace zepho {
namespace {

using Trace = std::vector<std::string>;
using Window = FakeWindowSystem::Window;
constexpr auto Win = FakeWindowSystem::Win;
using Item = FakeWindowSystem::Item;
constexpr std::uint32_t kNever = FakeWindowSystem::kNever;

// "サーバに接続する(&C)" and "サーバから切断する(&D)" as the client's menu shows them.
const std::string kConnect = std::string(companion::kConnectItem) + "(&C)";
const std::string kDisconnect = std::string(companion::kDisconnectItem) + "(&D)";
// "メール振り分け"
const std::string kSorting = companion::kSortingTitle;

enum class Client { Visible, InTray, Absent };

struct DriverTest : ::testing::Test {
  FakeWindowSystem ws;
  DriveOptions options;
  int tray_normal = 0;
  CompanionDriver driver{ws, [this] { return options; }, [this] {
                           ++tray_normal;
                           ws.trace.push_back("tray normal");
                           ws.trace_time.push_back(ws.now);
                         }};

  // The client: a window that merely mentions Corvel, its main window, its tray window.
  void AddClient(Client state, std::uint32_t grey_until = 0) {
    if (state == Client::Absent) return;
    ws.Add(Win("notes", "Corvel notes", "Notepad"));
    Window main = Win("corvel", "Corvel32 - [Inbox]", "Afx:400000:b");
    main.visible_from = state == Client::Visible ? 0 : kNever;
    main.has_menu_bar = true;
    main.menus = {{{"File"}}, {{"Edit"}}, {{"View"}},
                  {{"Accounts"}, {kConnect, grey_until}, {kDisconnect, grey_until}}};
    ws.Add(main);
    ws.Add(Win("tray", "", "Corvel32Class").Hidden());
  }
  void AddNozari() { ws.Add(Win("nozari", "NOZARI", "Tnozarimain")); }
  Window& Main() { return ws.At(ws.Named("corvel")); }
  std::uint32_t TimeOf(const std::string& entry) {
    for (std::size_t i = 0; i < ws.trace.size(); ++i)
      if (ws.trace[i] == entry) return ws.trace_time[i];
    ADD_FAILURE() << "not in trace: " << entry;
    return 0;
  }
};

// --- The search ---------------------------------------------------------------

TEST_F(DriverTest, FindCompanionTakesTheFirstWindowWhoseTitleAndClassMatch) {
  struct Case {
    const char* name;
    std::vector<Window> windows;
    const char* found;  // nullptr: none
  };
  const std::string long_title = std::string(249, 'x') + "Corvel";  // "Corvel" ends at byte 255
  const Case cases[] = {
      {"title and class", {Win("a", "Corvel32", "Afx:1")}, "a"},
      {"title without Afx class", {Win("a", "Corvel32", "TForm")}, nullptr},
      {"class without Corvel title", {Win("a", "Mail", "Afx:1")}, nullptr},
      {"case counts", {Win("a", "CORVEL", "AFX")}, nullptr},
      {"empty texts", {Win("a", "", "")}, nullptr},
      {"parts anywhere", {Win("a", "[x] Corvel", "x:Afx:y")}, "a"},
      {"first of two",
       {Win("a", "Corvel", "TForm"),
        Win("b", "Corvel A", "Afx:1"),
        Win("c", "Corvel B", "Afx:2")},
       "b"},
      {"title read into 255 bytes",
       {Win("a", long_title, "Afx"),
        Win("b", long_title.substr(1), "Afx")},
       "b"},
      // "Corvel" only as bytes that straddle a double-byte character.
      {"not on a trail byte", {Win("a", "\x83" "Corvel", "Afx")}, nullptr},
  };
  for (const Case& c : cases) {
    ws.windows = c.windows;
    driver.CompanionFound = 1;
    driver.CompanionWindow = 99;
    driver.FindCompanion();
    const WindowId want = c.found ? ws.Named(c.found) : 0;
    EXPECT_EQ(driver.CompanionWindow, want) << c.name;
    EXPECT_EQ(driver.CompanionFound, c.found ? 1 : 0) << c.name;
  }
}

// --- The receive sequence -----------------------------------------------------

struct PopUpCase {
  const char* name;
  Client client;
  std::int32_t recv_do, inbox_move, nozari_flag, recv_sleep;
  bool nozari_running;
  Trace expected;
};

TEST_F(DriverTest, PopUpCompanionSendsTheseMessagesInThisOrder) {
  const Trace receive = {"send corvel WM_COMMAND 32835", "send corvel WM_COMMAND 32835",
                         "tray normal"};
  const Trace raise = {"fg corvel", "send corvel SC_RESTORE"};
  const std::string restore = "send tray 1247 1 515";
  const std::string server_menu = "send corvel WM_INITMENUPOPUP corvel.menu3";
  auto join = [](std::initializer_list<Trace> parts) {
    Trace t;
    for (const Trace& p : parts) t.insert(t.end(), p.begin(), p.end());
    return t;
  };
  const PopUpCase cases[] = {
      {"client not running", Client::Absent, 1, 1, 1, 2, true, {"sleep 1000"}},
      {"visible, receive only", Client::Visible, 0, 0, 0, 0, false, join({raise, receive})},
      {"inbox needs RecvDo", Client::Visible, 0, 1, 1, 0, true, join({raise, receive})},
      {"in its tray, RecvSleep 1", Client::InTray, 0, 0, 0, 1, false,
       join({{"sleep 500", restore}, receive, {"sleep 1000"}})},
      {"in its tray, sort: no 500 ms after a restore", Client::InTray, 1, 0, 0, 0, false,
       join({{restore}, receive, {server_menu, "send corvel WM_COMMAND 32825"}})},
      {"visible, sort", Client::Visible, 1, 0, 0, 0, false,
       join({raise, {"sleep 500"}, receive, {server_menu, "send corvel WM_COMMAND 32825"}})},
      {"visible, inbox, sort, NOZARI", Client::Visible, 1, 1, 1, 2, true,
       join({{"sleep 1000"}, raise,
             {"sleep 500", "send corvel WM_INITMENUPOPUP corvel.menu0",
              "send corvel WM_COMMAND 11000", "sleep 100"},
             receive,
             {"sleep 2000", server_menu, "send corvel WM_COMMAND 32825", "sleep 500",
              "send nozari WM_COMMAND 2"}})},
      {"NOZARI wanted but not running", Client::Visible, 1, 0, 1, 0, false,
       join({raise, {"sleep 500"}, receive, {server_menu, "send corvel WM_COMMAND 32825"}})},
      {"NOZARI running but not wanted", Client::Visible, 1, 0, 0, 0, true,
       join({raise, {"sleep 500"}, receive, {server_menu, "send corvel WM_COMMAND 32825"}})},
      {"RecvSleep below 0 counts as 0", Client::Visible, 0, 0, 0, -5, false,
       join({raise, receive})},
      {"RecvSleep is at most 10", Client::Visible, 0, 0, 0, 2000000000, false,
       join({{"sleep 5000"}, raise, receive, {"sleep 10000"}})},
  };
  for (const PopUpCase& c : cases) {
    ws = FakeWindowSystem{};
    AddClient(c.client);
    if (c.nozari_running) AddNozari();
    options.RecvDo = c.recv_do;
    options.InboxMove = c.inbox_move;
    options.RetrySearchToNozari = c.nozari_flag;
    options.RecvSleep = c.recv_sleep;
    driver.CompanionFound = 0;
    driver.PopUpCompanion();
    EXPECT_EQ(ws.trace, c.expected) << c.name;
    EXPECT_FALSE(driver.Busy());
  }
}

TEST_F(DriverTest, PopUpUsesTheWindowFoundBeforeAndSearchesOnlyWithoutOne) {
  AddClient(Client::Visible);
  ws.Add(Win("second", "Corvel32 (2)", "Afx:2"));
  driver.CompanionFound = 1;
  driver.CompanionWindow = ws.Named("second");
  driver.PopUpCompanion();
  EXPECT_EQ(ws.trace[0], "fg second");
  ws.trace.clear();
  driver.CompanionFound = 0;
  driver.PopUpCompanion();
  EXPECT_EQ(ws.trace[0], "fg corvel");
}

TEST_F(DriverTest, SortFollowsWithinOneRoundOfTheServerItemTurningEnabled) {
  options.RecvDo = 1;
  AddClient(Client::Visible, /*grey_until=*/3000);
  ws.now = 0;
  driver.PopUpCompanion();
  const std::uint32_t sort = TimeOf("send corvel WM_COMMAND 32825");
  EXPECT_GE(sort, 3000u);
  EXPECT_LE(sort, 3500u);
  // One test of the server menu per 500 ms round, the first after 500 ms.
  int tests = 0;
  std::uint32_t first = 0;
  for (std::size_t i = 0; i < ws.trace.size(); ++i)
    if (ws.trace[i] == "send corvel WM_INITMENUPOPUP corvel.menu3" && tests++ == 0)
      first = ws.trace_time[i];
  EXPECT_EQ(tests, 5);  // at 1000, 1500, 2000, 2500 grey; at 3000 enabled
  EXPECT_EQ(first - TimeOf("tray normal"), 500u);
  // The rounds handle messages rather than block.
  EXPECT_GT(ws.pumps, 6);
}

// --- Bounds of the waits and what follows them -------------------------------

struct BoundCase {
  const char* name;
  std::function<void(DriverTest&)> arrange;
  std::string last_sent;     // nothing is sent after it
  std::uint32_t min_ms, max_ms;  // when the sequence ended
};

TEST_F(DriverTest, EveryWaitEndsAndNothingIsSentAfterIt) {
  const BoundCase cases[] = {
      {"client never shows from its tray",
       [](DriverTest& t) {
         t.AddClient(Client::InTray);
         t.ws.At(t.ws.Named("tray")).show_after_restore = kNever - 1;
       },
       "send tray 1247 1 515", 10000, 10100},
      {"client closed while it is awaited",
       [](DriverTest& t) {
         t.AddClient(Client::InTray);
         t.ws.At(t.ws.Named("tray")).show_after_restore = 5000;
         t.Main().gone_at = 700;
       },
       "send tray 1247 1 515", 700, 800},
      {"server item grey for ever",
       [](DriverTest& t) {
         t.options.RecvDo = 1;
         t.AddClient(Client::Visible, kNever);
       },
       "send corvel WM_INITMENUPOPUP corvel.menu3", 300000, 301000},
      {"client closed while it receives",
       [](DriverTest& t) {
         t.options.RecvDo = 1;
         t.AddClient(Client::Visible, kNever);
         t.Main().gone_at = 4000;
       },
       "send corvel WM_INITMENUPOPUP corvel.menu3", 4000, 4600},
      {"sorting window stays",
       [](DriverTest& t) {
         t.options.RecvDo = 1;
         t.options.RetrySearchToNozari = 1;
         t.AddClient(Client::Visible);
         t.AddNozari();
         t.ws.Add(Win("sorting", kSorting, "#32770"));
       },
       "send corvel WM_COMMAND 32825", 120000, 121600},
      {"NOZARI closed while the sorting window is up",
       [](DriverTest& t) {
         t.options.RecvDo = 1;
         t.options.RetrySearchToNozari = 1;
         t.AddClient(Client::Visible);
         t.AddNozari();
         t.ws.At(t.ws.Named("nozari")).gone_at = 9000;
         t.ws.Add(Win("sorting", kSorting, "#32770"));
       },
       "send corvel WM_COMMAND 32825", 9000, 9200},
      {"hung client: the first send times out",
       [](DriverTest& t) {
         t.options.RecvDo = 1;
         t.AddClient(Client::Visible);
         t.Main().hung = true;
       },
       "send corvel SC_RESTORE (timed out)", 5000, 5000},
      {"hung client: the receive command is not sent twice",
       [](DriverTest& t) {
         t.AddClient(Client::InTray);
         t.Main().hung = true;
       },
       "send corvel WM_COMMAND 32835 (timed out)", 5200, 5300},
      {"hung tray window",
       [](DriverTest& t) {
         t.AddClient(Client::InTray);
         t.ws.At(t.ws.Named("tray")).hung = true;
       },
       "send tray 1247 1 515 (timed out)", 5000, 5000},
  };
  for (const BoundCase& c : cases) {
    ws = FakeWindowSystem{};
    options = DriveOptions{};
    tray_normal = 0;
    c.arrange(*this);
    driver.CompanionFound = 0;
    driver.PopUpCompanion();
    std::string last;
    for (const std::string& e : ws.trace)
      if (e.rfind("send ", 0) == 0) last = e;
    EXPECT_EQ(last, c.last_sent) << c.name;
    EXPECT_GE(ws.now, c.min_ms) << c.name;
    EXPECT_LE(ws.now, c.max_ms) << c.name;
    EXPECT_FALSE(driver.Busy()) << c.name;
  }
}

TEST_F(DriverTest, SortingWindowClosingLetsNozariBeTold) {
  options.RecvDo = 1;
  options.RetrySearchToNozari = 1;
  AddClient(Client::Visible);
  AddNozari();
  ws.Add(Win("sorting", kSorting, "#32770").GoneAt(2500));
  driver.PopUpCompanion();
  ASSERT_EQ(ws.trace.back(), "send nozari WM_COMMAND 2");
  EXPECT_GE(ws.trace_time.back(), 2500u);
  EXPECT_LE(ws.trace_time.back(), 2600u);
}

// --- One sequence at a time; the program ending during a wait ----------------

TEST_F(DriverTest, SequencesStartedDuringAWaitAreRefused) {
  options.RecvDo = 1;
  AddClient(Client::InTray, /*grey_until=*/1500);
  int refused_checks = 0;
  ws.on_pump = [&] {
    if (!driver.Busy()) return;
    const std::size_t before = ws.trace.size();
    driver.PopUpCompanion();
    driver.K3Click();
    driver.IconizeCompanion();
    driver.CompanionToTray();
    EXPECT_EQ(ws.trace.size(), before);
    ++refused_checks;
  };
  driver.PopUpCompanion();
  EXPECT_GT(refused_checks, 3);
  EXPECT_EQ(ws.trace.back(), "send corvel WM_COMMAND 32825");
  EXPECT_FALSE(driver.Busy());
  // Once it has ended, the next one runs.
  ws.on_pump = nullptr;
  ws.trace.clear();
  driver.K3Click();
  EXPECT_EQ(ws.trace, (Trace{"fg corvel", "send corvel SC_RESTORE"}));
}

TEST_F(DriverTest, ProgramEndingDuringAWaitStopsTheSequence) {
  const std::function<void(DriverTest&)> waits[] = {
      [](DriverTest& t) { t.AddClient(Client::InTray); },  // waiting to be visible
      [](DriverTest& t) {                                  // waiting for receiving to end
        t.options.RecvDo = 1;
        t.AddClient(Client::Visible, kNever);
      },
      [](DriverTest& t) {  // waiting for the sorting window
        t.options.RecvDo = 1;
        t.options.RetrySearchToNozari = 1;
        t.AddClient(Client::Visible);
        t.AddNozari();
        t.ws.Add(Win("sorting", kSorting, "#32770"));
      },
  };
  for (const auto& arrange : waits) {
    ws = FakeWindowSystem{};
    options = DriveOptions{};
    CompanionDriver d(ws, [this] { return options; }, [] {});
    arrange(*this);
    std::size_t sent_at_cancel = 0;
    ws.on_pump = [&] {
      if (ws.now >= 100 && sent_at_cancel == 0) {
        d.Cancel();
        sent_at_cancel = ws.trace.size();
      }
    };
    d.PopUpCompanion();
    EXPECT_NE(sent_at_cancel, 0u);
    EXPECT_EQ(ws.trace.size(), sent_at_cancel) << ws.trace.back();
    EXPECT_LT(ws.now, 1000u);
    // Nothing starts any more.
    d.K3Click();
    EXPECT_EQ(ws.trace.size(), sent_at_cancel);
  }
}

TEST_F(DriverTest, WaitsReadTheWindowAnewAfterATimerTickSearchedAgain) {
  AddClient(Client::InTray);
  ws.At(ws.Named("tray")).show_after_restore = kNever - 1;  // this one never shows
  ws.Add(Win("new", "Corvel32", "Afx:new").Hidden());
  bool searched = false;
  ws.on_pump = [&] {
    if (ws.now < 1000 || searched) return;
    // The client was restarted: its old window is gone, a new one shows.
    Main().gone_at = ws.now;
    ws.At(ws.Named("new")).visible_from = ws.now;
    driver.FindCompanion();
    searched = true;
  };
  driver.PopUpCompanion();
  EXPECT_EQ(driver.CompanionWindow, ws.Named("new"));
  EXPECT_EQ(ws.trace, (Trace{"send tray 1247 1 515", "send new WM_COMMAND 32835",
                             "send new WM_COMMAND 32835", "tray normal"}));
}

// --- The single operations ---------------------------------------------------

struct OperationCase {
  const char* name;
  Client client;
  void (CompanionDriver::*operation)();
  Trace expected;
};

TEST_F(DriverTest, MenuOperations) {
  const OperationCase cases[] = {
      {"to tray, visible", Client::Visible, &CompanionDriver::CompanionToTray,
       {"send corvel WM_COMMAND 32828"}},
      {"to tray, already hidden", Client::InTray, &CompanionDriver::CompanionToTray, {}},
      {"to tray, not running", Client::Absent, &CompanionDriver::CompanionToTray, {}},
      {"iconize, visible", Client::Visible, &CompanionDriver::IconizeCompanion,
       {"fg corvel", "send corvel SC_MINIMIZE"}},
      {"iconize, in its tray", Client::InTray, &CompanionDriver::IconizeCompanion,
       {"send tray 1247 1 515", "fg corvel", "send corvel SC_MINIMIZE"}},
      {"iconize, not running", Client::Absent, &CompanionDriver::IconizeCompanion, {}},
      {"pop up, visible", Client::Visible, &CompanionDriver::K3Click,
       {"fg corvel", "send corvel SC_RESTORE"}},
      {"pop up, in its tray", Client::InTray, &CompanionDriver::K3Click,
       {"send tray 1247 1 515"}},
      {"pop up, not running", Client::Absent, &CompanionDriver::K3Click, {}},
  };
  for (const OperationCase& c : cases) {
    ws = FakeWindowSystem{};
    AddClient(c.client);
    driver.FindCompanion();
    (driver.*c.operation)();
    EXPECT_EQ(ws.trace, c.expected) << c.name;
  }
}

TEST_F(DriverTest, PopUpFromTheTrayWorksWithoutAFoundMainWindow) {
  // Only the client's tray window exists: the search found nothing.
  ws.Add(Win("tray", "", "Corvel32Class").Hidden());
  driver.FindCompanion();
  ASSERT_EQ(driver.CompanionFound, 0);
  driver.K3Click();
  EXPECT_EQ(ws.trace, (Trace{"send tray 1247 1 515"}));
}

TEST_F(DriverTest, IconizeWaitsForTheWindowToShowBeforeMinimising) {
  AddClient(Client::InTray);
  ws.At(ws.Named("tray")).show_after_restore = 1200;
  driver.FindCompanion();
  driver.IconizeCompanion();
  EXPECT_GE(TimeOf("send corvel SC_MINIMIZE"), 1200u);
  EXPECT_LE(TimeOf("send corvel SC_MINIMIZE"), 1300u);
}

// --- The server item ---------------------------------------------------------

TEST_F(DriverTest, IsServerItemGrayed) {
  struct Case {
    const char* name;
    std::vector<std::vector<Item>> menus;
    bool has_menu_bar;
    int count_override;
    std::int32_t expected;
    Trace sent;
  };
  const Trace prepared = {"send corvel WM_INITMENUPOPUP corvel.menu3"};
  const std::vector<Item> head = {{"File"}};
  auto menus = [&](std::vector<Item> fourth) {
    return std::vector<std::vector<Item>>{head, head, head, std::move(fourth)};
  };
  const Case cases[] = {
      {"connect item grey", menus({{"x"}, {kConnect, kNever}}), true, 0, 1, prepared},
      {"connect item enabled", menus({{kConnect}}), true, 0, 0, prepared},
      {"disconnect item grey", menus({{kDisconnect, kNever}}), true, 0, 1, prepared},
      {"first such item decides", menus({{kConnect}, {kDisconnect, kNever}}), true, 0, 0,
       prepared},
      {"plain text, no shortcut", menus({{companion::kConnectItem, kNever}}), true, 0, 1, prepared},
      {"no such item", menus({{"Accounts", kNever}}), true, 0, 0, prepared},
      {"item count unavailable", menus({{kConnect, kNever}}), true, -1, 0, prepared},
      {"item gone while read", menus({{kConnect, kNever, true}}), true, 0, 0, prepared},
      {"no menu bar", menus({{kConnect, kNever}}), false, 0, 0, {}},
      {"only three menus", {head, head, {{kConnect, kNever}}}, true, 0, 0, {}},
  };
  for (const Case& c : cases) {
    ws = FakeWindowSystem{};
    Window w = Win("corvel", "Corvel32", "Afx");
    w.has_menu_bar = c.has_menu_bar;
    w.menus = c.menus;
    w.item_count_override = c.count_override;
    const WindowId id = ws.Add(w);
    EXPECT_EQ(driver.IsServerItemGrayed(id), c.expected) << c.name;
    EXPECT_EQ(ws.trace, c.sent) << c.name;
  }
}

}  // namespace
}  // namespace zepho
