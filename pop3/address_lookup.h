// What looking a server's name up gave, as the check needs it.
#pragma once

#include <vector>

#include "net/ip_address.h"

namespace zepho {

struct LookupOutcome {
  enum class Status {
    Found,       // `addresses`, in the system's order (IPv6 and IPv4 as it sorts them)
    NoSuchName,  // the name server says the name does not exist, or has no address
    NoAnswer,    // no name server could be asked or none answered: no network, or an outage
    TimedOut,    // no outcome within the look-up's bound; the look-up was let go
    NotStarted,  // the look-up could not even be started
  };
  Status status = Status::NotStarted;
  std::vector<IpAddress> addresses;
  int error = 0;  // the system's own code, for the log
};

}  // namespace zepho
