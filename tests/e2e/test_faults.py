"""Servers that misbehave: every check ends, and the next one comes by itself.

All scenarios run at once, each against its own copy of the program with a
1-minute interval; a second connection to a server proves that the cycle
resumed after the faulty check."""
import os
import tempfile
import time
import unittest

from harness import E2ETest, FaultServer, ini_for, run_driver

# scenario: (how the first check must end, commands the client sent before it ended).
# "quit": the server answered QUIT and closed; "closed": the client closed at once;
# "timeout": the client closed after the reply time-out; "server": the server
# closed in mid-dialogue and the client noticed it only by the time-out.
EXPECTED = {
    "normal":              ("quit", ["USER user", "PASS secret", "STAT", "TOP 2 0", "TOP 1 0", "QUIT"]),
    "negative_stat":       ("closed", ["USER user", "PASS secret", "STAT"]),
    "quit_no_ok":          ("closed", ["USER user", "PASS secret", "STAT", "TOP 2 0", "TOP 1 0", "QUIT"]),
    "top_garbage":         ("closed", ["USER user", "PASS secret", "STAT", "TOP 2 0"]),
    "huge_line":           ("closed", ["USER user", "PASS secret", "STAT", "TOP 2 0"]),
    "huge_reply":          ("closed", ["USER user", "PASS secret", "STAT", "TOP 2 0"]),
    "slow_drip":           ("quit", ["USER user", "PASS secret", "STAT", "TOP 2 0", "TOP 1 0", "QUIT"]),
    # Nothing more arrives: the reply time-out (7 ticks of 30 s) ends these.
    "stall_greeting":      ("timeout", []),
    "stall_mid_reply":     ("timeout", ["USER user", "PASS secret", "STAT", "TOP 2 0"]),
    "close_mid_reply":     ("server", ["USER user", "PASS secret", "STAT", "TOP 2 0"]),
    "close_after_command": ("server", ["USER user"]),
    # A NUL cuts off the rest of what arrived, the greeting's line end with it:
    # the greeting never completes.
    "nul_bytes":           ("timeout", []),
    "garbage_greeting":    ("timeout", []),
    # TLS: a handshake that stops or whose connection closes midway ends like a
    # time-out, and nothing of the login is sent (None: the client's TLS bytes
    # are no command lines).
    "tls_stall_mid_handshake": ("timeout", None),
    "tls_close_mid_handshake": ("server", None),
    "stls_stall":              ("timeout", ["STLS", None]),
}

# The connection's security per scenario; the others are plain.
TLS_MODE = {"tls_stall_mid_handshake": 2, "tls_close_mid_handshake": 2, "stls_stall": 1}


def connections(lines):
    """The client lines of each connection, in order."""
    out = []
    for line in lines:
        if line == "--- connection":
            out.append([])
        elif out:
            out[-1].append(line)
    return out


class FaultTest(E2ETest):
    def test_every_fault_ends_the_check_and_the_cycle_resumes(self):
        folder = tempfile.mkdtemp(prefix="zepho-faults-")
        servers, copies = {}, {}
        try:
            for scenario in EXPECTED:
                servers[scenario] = FaultServer(scenario, folder)
                ini = ini_for(servers[scenario].port, extra="PopTime=1\nIconChange=1\n")
                if scenario in TLS_MODE:
                    ini = ini.replace("[OTHER]", "Tls=%d\n[OTHER]" % TLS_MODE[scenario])
                z = self.zepho(ini)
                copies[scenario] = z.start()
            # Time-out after 210 s, then the next check 60 s later.
            deadline = time.time() + 360
            pending = set(EXPECTED)
            while pending and time.time() < deadline:
                for scenario in list(pending):
                    if len(connections(servers[scenario].lines())) >= 2:
                        pending.discard(scenario)
                time.sleep(2)
            for scenario, (ending, commands) in EXPECTED.items():
                with self.subTest(scenario=scenario):
                    conns = connections(servers[scenario].lines())
                    self.assertGreaterEqual(len(conns), 2, "no second check: %r" % conns)
                    first = conns[0]
                    if ending in ("closed", "timeout"):
                        self.assertEqual(first[-1:], ["--- closed by client"], first)
                    if ending != "server" and first[-1:] == ["--- closed by client"]:
                        # After a QUIT answered, either side may close first.
                        first = first[:-1]
                    if commands is None or None in commands:
                        # Over TLS: the plain lines that must come, then only
                        # TLS bytes, never a login command in the clear.
                        known = [c for c in commands or [] if c is not None]
                        self.assertEqual(first[:len(known)], known)
                        for line in first:
                            self.assertFalse(line.startswith(("USER", "PASS", "APOP")), first)
                    else:
                        self.assertEqual(first, commands)
                    log = copies[scenario].log()
                    # A closed connection is noticed only by the reply time-out.
                    if ending in ("timeout", "server"):
                        self.assertIn(b"TIME OUT\r\r\n", log)
                    else:
                        self.assertNotIn(b"TIME OUT", log)
                    self.assertTrue(copies[scenario].running(), "the program ended")
        finally:
            # Ended through their close boxes, so no icon is left in the tray.
            run_driver("closeall", "ZEPHO設定", timeout=120)
            for z in copies.values():
                z.wait_exit(timeout=30)
            for s in servers.values():
                s.stop()


if __name__ == "__main__":
    unittest.main()
