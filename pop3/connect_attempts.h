// Reaching a server that has several addresses: the order they are tried in,
// and the attempts as a small state machine. Events go in (an attempt failed,
// one connected, the attempt timer is due), actions come out (start or abandon
// an attempt, arm the timer, the outcome). It never touches a socket or a clock.
//
// An address that does not answer costs one stagger delay before the next is
// tried beside it (the earlier attempt stays open and may still win, as in RFC
// 8305); a refused one costs nothing. Once the last address is started, every
// open attempt gets the final wait, then the whole connection has failed. So
// connecting is bounded by (max_addresses - 1) * stagger_ms + final_wait_ms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/ip_address.h"

namespace zepho {

struct ConnectLimits {
  std::uint32_t stagger_ms = 2000;
  std::uint32_t final_wait_ms = 30000;
  std::size_t max_addresses = 8;
};

// The system's order kept within each family, duplicates dropped (an
// IPv4-mapped address counts as its IPv4 address), the families alternating
// from the first address's, at most `max` addresses.
std::vector<IpAddress> AttemptOrder(const std::vector<IpAddress>& addresses, std::size_t max);

struct DialAction {
  enum class Kind {
    Start,      // open attempt `attempt` to `address`
    Abandon,    // close attempt `attempt`: another won, or time ran out
    ArmTimer,   // (re)start the attempt timer: due once after `ms`
    StopTimer,
    Connected,  // attempt `attempt` is the connection
    Failed,     // no attempt connected: `error` of the last that failed (0 if none
                // did), `timed_out` when the final wait ran out
  };
  Kind kind;
  std::size_t attempt = 0;
  IpAddress address;
  std::uint32_t ms = 0;
  int error = 0;
  bool timed_out = false;
  bool operator==(const DialAction&) const = default;
};
using DialActions = std::vector<DialAction>;

// The driver carries out each batch of actions in order. A Start that fails at
// once (no socket of that family, connect refused on the spot) is reported with
// OnFailed after the whole batch is carried out. Events of attempts that are no
// longer open, and any event after the outcome, change nothing.
class ConnectAttempts {
 public:
  // The first attempt starts at once; an empty list fails at once.
  DialActions Begin(const std::vector<IpAddress>& addresses, ConnectLimits limits = {});
  DialActions OnFailed(std::size_t attempt, int error);
  DialActions OnConnected(std::size_t attempt);
  DialActions OnTimer();

  bool finished() const { return finished_; }
  const std::vector<IpAddress>& order() const { return order_; }

 private:
  enum class Attempt { NotStarted, Open, Failed, Abandoned, Won };
  void StartNext(DialActions& out);
  bool AnyOpen() const;
  void Fail(bool timed_out, DialActions& out);

  ConnectLimits limits_;
  std::vector<IpAddress> order_;
  std::vector<Attempt> attempts_;
  std::size_t next_ = 0;
  int last_error_ = 0;
  bool finished_ = true;
};

}  // namespace zepho
