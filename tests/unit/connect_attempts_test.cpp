#include "pop3/connect_attempts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/ip_address_printer.h"

namespace zepho {
namespace {

using G = std::array<std::uint16_t, 8>;

const IpAddress kV6a = Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1});
const IpAddress kV6b = Ipv6(G{0x2001, 0xdb8, 0, 0, 0, 0, 0, 2});
const IpAddress kV6c = Ipv6(G{0x2001, 0xdb8, 0, 0, 0, 0, 0, 3});
const IpAddress kV4a = Ipv4(127, 0, 0, 1);
const IpAddress kV4b = Ipv4(192, 0, 2, 2);
const IpAddress kV4c = Ipv4(192, 0, 2, 3);

std::string Text(const DialActions& actions) {
  std::string s;
  for (const DialAction& a : actions) {
    if (!s.empty()) s += ", ";
    switch (a.kind) {
      case DialAction::Kind::Start:
        s += "start " + std::to_string(a.attempt) + " " + FormatIpAddress(a.address);
        break;
      case DialAction::Kind::Abandon: s += "abandon " + std::to_string(a.attempt); break;
      case DialAction::Kind::ArmTimer: s += "timer " + std::to_string(a.ms); break;
      case DialAction::Kind::StopTimer: s += "stop"; break;
      case DialAction::Kind::Connected: s += "connected " + std::to_string(a.attempt); break;
      case DialAction::Kind::Failed:
        s += "failed " + std::to_string(a.error) + (a.timed_out ? " timed out" : "");
        break;
    }
  }
  return s;
}

struct Event {
  enum Kind { Failed, Connected, Timer } kind;
  std::size_t attempt = 0;
  int error = 0;
  const char* then;  // the actions it brings
};

struct Scenario {
  const char* name;
  std::vector<IpAddress> addresses;
  const char* begin;
  std::vector<Event> events;
};

TEST(ConnectAttempts, Scenarios) {
  const Scenario scenarios[] = {
      {"one address connects",
       {kV4a},
       "start 0 127.0.0.1, timer 30000",
       {{Event::Connected, 0, 0, "stop, connected 0"}}},
      {"::1 refused, then 127.0.0.1 at once",
       {kV6a, kV4a},
       "start 0 ::1, timer 2000",
       {{Event::Failed, 0, 10061, "start 1 127.0.0.1, timer 30000"},
        {Event::Connected, 1, 0, "stop, connected 1"}}},
      {"a silent address costs one stagger, then the next wins",
       {kV6b, kV4b},
       "start 0 2001:db8::2, timer 2000",
       {{Event::Timer, 0, 0, "start 1 192.0.2.2, timer 30000"},
        {Event::Connected, 1, 0, "stop, abandon 0, connected 1"}}},
      {"the slow first address still wins after the next started",
       {kV6b, kV4b},
       "start 0 2001:db8::2, timer 2000",
       {{Event::Timer, 0, 0, "start 1 192.0.2.2, timer 30000"},
        {Event::Connected, 0, 0, "stop, abandon 1, connected 0"},
        {Event::Connected, 1, 0, ""},
        {Event::Failed, 1, 10061, ""},
        {Event::Timer, 0, 0, ""}}},
      {"every address refused: the last error",
       {kV6a, kV4a},
       "start 0 ::1, timer 2000",
       {{Event::Failed, 0, 10061, "start 1 127.0.0.1, timer 30000"},
        {Event::Failed, 1, 10065, "stop, failed 10065"}}},
      {"nobody answers: the final wait ends it",
       {kV6b, kV4b},
       "start 0 2001:db8::2, timer 2000",
       {{Event::Timer, 0, 0, "start 1 192.0.2.2, timer 30000"},
        {Event::Timer, 0, 0, "abandon 0, abandon 1, failed 0 timed out"},
        {Event::Connected, 0, 0, ""}}},
      {"an earlier attempt fails while the last is open: wait for the last",
       {kV6b, kV4b},
       "start 0 2001:db8::2, timer 2000",
       {{Event::Timer, 0, 0, "start 1 192.0.2.2, timer 30000"},
        {Event::Failed, 0, 10060, ""},
        {Event::Timer, 0, 0, "abandon 1, failed 10060 timed out"}}},
      {"a failure beside an open attempt starts the next at once",
       {kV6b, kV4b, kV6c},
       "start 0 2001:db8::2, timer 2000",
       {{Event::Timer, 0, 0, "start 1 192.0.2.2, timer 2000"},
        {Event::Failed, 1, 10061, "start 2 2001:db8::3, timer 30000"},
        {Event::Connected, 2, 0, "stop, abandon 0, connected 2"}}},
      {"events of attempts never started or already over change nothing",
       {kV6a, kV4a},
       "start 0 ::1, timer 2000",
       {{Event::Connected, 1, 0, ""},
        {Event::Failed, 5, 1, ""},
        {Event::Failed, 0, 10061, "start 1 127.0.0.1, timer 30000"},
        {Event::Failed, 0, 10061, ""},
        {Event::Connected, 0, 0, ""},
        {Event::Connected, 1, 0, "stop, connected 1"}}},
      {"no address at all", {}, "failed 0", {{Event::Timer, 0, 0, ""}}},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    ConnectAttempts machine;
    EXPECT_EQ(Text(machine.Begin(s.addresses)), s.begin);
    for (std::size_t i = 0; i < s.events.size(); ++i) {
      const Event& e = s.events[i];
      DialActions out;
      switch (e.kind) {
        case Event::Failed: out = machine.OnFailed(e.attempt, e.error); break;
        case Event::Connected: out = machine.OnConnected(e.attempt); break;
        case Event::Timer: out = machine.OnTimer(); break;
      }
      EXPECT_EQ(Text(out), e.then) << "event " << i;
    }
    EXPECT_TRUE(machine.finished());
  }
}

TEST(ConnectAttempts, SilentAddressesAreBoundedAsAWhole) {
  // Twelve addresses that never answer: the first eight are tried, each after
  // one stagger, and all are given up together when the final wait ends.
  std::vector<IpAddress> many;
  for (std::uint8_t i = 1; i <= 12; ++i) many.push_back(Ipv4(192, 0, 2, i));
  const ConnectLimits limits;
  ConnectAttempts machine;
  std::uint64_t elapsed = 0, armed = 0;
  std::size_t started = 0, abandoned = 0;
  auto run = [&](const DialActions& actions) {
    for (const DialAction& a : actions) {
      if (a.kind == DialAction::Kind::ArmTimer) armed = a.ms;
      if (a.kind == DialAction::Kind::Start) ++started;
      if (a.kind == DialAction::Kind::Abandon) ++abandoned;
    }
  };
  run(machine.Begin(many, limits));
  for (int guard = 0; !machine.finished() && guard < 100; ++guard) {
    elapsed += armed;  // the timer ran out
    run(machine.OnTimer());
  }
  ASSERT_TRUE(machine.finished());
  EXPECT_EQ(started, limits.max_addresses);
  EXPECT_EQ(abandoned, limits.max_addresses);
  EXPECT_EQ(elapsed, (limits.max_addresses - 1) * limits.stagger_ms + limits.final_wait_ms);
}

TEST(ConnectAttempts, AbandonsEveryStartedAttempt) {
  std::vector<IpAddress> many;
  for (std::uint8_t i = 1; i <= 5; ++i) many.push_back(Ipv4(192, 0, 2, i));
  ConnectAttempts machine;
  std::vector<int> opened(5), closed(5);
  auto count = [&](const DialActions& actions) {
    for (const DialAction& a : actions) {
      if (a.kind == DialAction::Kind::Start) ++opened[a.attempt];
      if (a.kind == DialAction::Kind::Abandon) ++closed[a.attempt];
    }
  };
  count(machine.Begin(many));
  count(machine.OnTimer());
  count(machine.OnFailed(1, 10061));  // attempt 1 ends by itself, no abandon needed
  count(machine.OnTimer());
  count(machine.OnTimer());
  count(machine.OnConnected(3));
  EXPECT_EQ(opened, (std::vector<int>{1, 1, 1, 1, 1}));
  EXPECT_EQ(closed, (std::vector<int>{1, 0, 1, 0, 1})) << "the winner and the failed one stay";
}

TEST(ConnectAttempts, OrderAlternatesFamiliesAndDropsDuplicates) {
  const IpAddress mapped = *ParseIpv6("::ffff:127.0.0.1");
  const struct {
    std::vector<IpAddress> in;
    std::size_t max;
    std::vector<IpAddress> want;
  } cases[] = {
      {{kV6a, kV4a}, 8, {kV6a, kV4a}},
      {{kV4a, kV6a}, 8, {kV4a, kV6a}},
      // Several of one family do not keep the other waiting.
      {{kV6a, kV6b, kV6c, kV4a}, 8, {kV6a, kV4a, kV6b, kV6c}},
      {{kV4a, kV4b, kV6a, kV6b, kV4c}, 8, {kV4a, kV6a, kV4b, kV6b, kV4c}},
      {{kV6a, kV4a, kV6a, kV4a, kV6b}, 8, {kV6a, kV4a, kV6b}},
      {{mapped, kV4a, kV6a}, 8, {kV4a, kV6a}},
      {{kV6a, kV6b, kV4a, kV4b}, 3, {kV6a, kV4a, kV6b}},
      {{kV4a}, 8, {kV4a}},
      {{}, 8, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(AttemptOrder(c.in, c.max), c.want);
}

}  // namespace
}  // namespace zepho
