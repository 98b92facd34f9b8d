// Whether a server that could not be reached is lost to a network outage or
// wrongly set, and how soon to try again.
//
// A server counts as known once its name has resolved, or (given as an
// address) once it was reached: in this run, or in an earlier one since the
// server setting last changed (the shell keeps it in the settings file). A
// failure to look a known server up or to reach it is an outage: the check
// ends quietly and the next one comes sooner than the interval: one tick of
// the check timer later (30 s), then every two ticks (1 min), never later
// than the interval; so mail is noticed within a minute of the network's
// return even where the system reports no change of address. A check that
// reaches the server ends the outage.
#pragma once

#include <cstdint>
#include <string>

namespace zepho {

class NetworkOutage {
 public:
  // The server known from before ("" for none).
  void Remember(std::string server) { known_ = std::move(server); }
  const std::string& known() const { return known_; }
  bool Known(const std::string& server) const { return !server.empty() && server == known_; }

  bool offline() const { return offline_; }
  // Another check found the network gone.
  void Failed() {
    offline_ = true;
    ++failures_;
  }
  // A check reached the server, or failed for another reason than the network.
  void Over() {
    offline_ = false;
    failures_ = 0;
  }
  // The computer woke up: should the network still be gone, the retries start
  // again from the first, shortest delay.
  void Restart() { failures_ = 0; }

  // Ticks of the check timer from the end of one check to the next: the
  // interval (2 x `pop_time`), or while offline the retry delay.
  std::int64_t DueTicks(std::int32_t pop_time) const;

 private:
  std::string known_;
  bool offline_ = false;
  int failures_ = 0;  // since the outage began, or since the last wake-up
};

}  // namespace zepho
