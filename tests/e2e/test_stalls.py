"""Servers that stop answering, or answer too slowly to ever finish a reply:
the reply time-out (7 ticks of 30 s from the command, or from the connection
for the greeting) ends each check, and the next one comes by itself."""
import unittest

from fault_runs import run_scenarios
from harness import E2ETest

# scenario: (how the first check must end, commands the client sent before it ended).
EXPECTED = {
    "stall_greeting":      ("timeout", []),
    # Bytes keep coming, but the greeting never completes: arrivals do not put
    # the deadline off.
    "trickle_greeting":    ("timeout", []),
    "stall_mid_reply":     ("timeout", ["USER user", "PASS secret", "STAT", "TOP 2 0"]),
    # TLS: a handshake that stops midway ends like a time-out, and nothing of
    # the login is sent (None: the client's TLS bytes are no command lines).
    "tls_stall_mid_handshake": ("timeout", None),
    "stls_stall":          ("timeout", ["STLS", None]),
}


class StallTest(E2ETest):
    def test_every_stall_ends_at_the_time_out_and_the_cycle_resumes(self):
        # The time-out after 210 s, then the next check 60 s later.
        run_scenarios(self, EXPECTED, wait=360)


if __name__ == "__main__":
    unittest.main()
