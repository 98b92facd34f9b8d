"""Servers that misbehave and end a check by what they do (a close, a reset, a
reply that cannot be right): every check ends at once, and the next one comes
by itself."""
import unittest

from fault_runs import run_scenarios
from harness import E2ETest

LOGIN = ["USER user", "PASS secret", "STAT"]
WALK = LOGIN + ["TOP 2 0", "TOP 1 0", "QUIT"]

# scenario: (how the first check must end, commands the client sent before it ended).
EXPECTED = {
    "normal":                ("quit", WALK),
    "negative_stat":         ("closed", LOGIN),
    "quit_no_ok":            ("closed", WALK),
    "top_garbage":           ("closed", LOGIN + ["TOP 2 0"]),
    "huge_line":             ("closed", LOGIN + ["TOP 2 0"]),
    "huge_reply":            ("closed", LOGIN + ["TOP 2 0"]),
    "slow_drip":             ("quit", WALK),
    # NUL bytes in the greeting and in header lines hide no line end.
    "nul_bytes":             ("quit", WALK),
    # A greeting of random bytes (NULs among them) is no positive greeting.
    "garbage_greeting":      ("closed", []),
    # The server hangs up: before the greeting, at PASS, in the middle of a
    # reply, over TLS in the middle of the handshake; or resets the connection.
    "close_before_greeting": ("server", []),
    "close_after_command":   ("server", ["USER user"]),
    "close_at_pass":         ("server", ["USER user", "PASS secret"]),
    "close_mid_reply":       ("server", LOGIN + ["TOP 2 0"]),
    "tls_close_mid_handshake": ("server", None),
    "reset_mid_reply":       ("reset", LOGIN + ["TOP 2 0"]),
}


class FaultTest(E2ETest):
    def test_every_fault_ends_the_check_at_once_and_the_cycle_resumes(self):
        run_scenarios(self, EXPECTED, wait=150)


if __name__ == "__main__":
    unittest.main()
