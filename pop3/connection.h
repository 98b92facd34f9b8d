// The connection of one check, as the check cycle sees it: opened, written to
// and closed through Connection; what happens on it comes back through
// ConnectionEvents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pop3/address_lookup.h"

namespace zepho {

// Why a connection could not be opened.
struct OpenFailure {
  enum class Kind {
    SocketFailed,   // no socket could be made for any of the server's addresses
    NoAddress,      // the server has no address: not a name or an address, or the look-up found none
    ConnectFailed,  // this machine refused every connect at once: nothing went out
    Unreachable,    // connects went out, and were refused or never answered
  };
  Kind kind = Kind::NoAddress;
  // NoAddress: what the look-up said; NotStarted also for a text that names no server.
  LookupOutcome::Status lookup = LookupOutcome::Status::NotStarted;
  // The server is a host name and its look-up found addresses in this open.
  bool resolved = false;
  int error = 0;  // the system's own code, for the log
};

class Connection {
 public:
  virtual ~Connection() = default;
  // Starts opening a connection to `host` (a name or an address) at `port`,
  // without waiting. nullopt: it is under way, and OnConnected or OnOpenFailed
  // follows; otherwise the failure known at once (no event follows).
  virtual std::optional<OpenFailure> Open(const std::string& host, std::int32_t port) = 0;
  // Shutdown and close; an open under way is let go (nothing of it comes any
  // more). Harmless when closed.
  virtual void Close() = 0;
  virtual void Drop() = 0;  // the same without shutdown, after a socket error
  virtual void Send(const std::string& bytes) = 0;
};

class ConnectionEvents {
 public:
  virtual ~ConnectionEvents() = default;
  virtual void OnConnected() = 0;
  // The open under way failed; the connection is closed.
  virtual void OnOpenFailed(const OpenFailure& failure) = 0;
  virtual void OnReceived(std::string_view bytes) = 0;
  // The connection failed, or a receive did.
  virtual void OnSocketError() = 0;
  // The server closed the connection; every byte it sent before has come.
  virtual void OnClosed() = 0;
};

}  // namespace zepho
