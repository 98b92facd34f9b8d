// The report of the last check: when it ended, how (its result, or why it
// failed) and the messages it examined. The cycle writes it, the results
// window and the balloon read it.
#pragma once

#include <cstdint>

#include "pop3/examined_messages.h"

namespace zepho {

// A local date and time as the shell's clock gives it; the core reads no clock.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const LocalTime&) const = default;
};

enum class CheckOutcome {
  Done,             // the walk ended: new_count and notable_count hold
  NoConnection,     // the connection could not be made, or failed before the greeting
  ConnectionLost,   // the connection failed or was closed in the dialogue
  TimedOut,         // a reply, or the whole check, took too long
  PasswordRefused,  // the login was refused
  TlsFailed,        // TLS was refused or failed
  ServerError,      // the server answered a command negatively and the check ended
};

struct CheckReport {
  bool checked = false;  // false until the first check ended
  LocalTime ended;
  CheckOutcome outcome = CheckOutcome::Done;
  std::int32_t new_count = 0;
  std::int32_t notable_count = 0;
  ExaminedMessages examined;
};

}  // namespace zepho
