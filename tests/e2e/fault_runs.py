"""Runs fault-server scenarios, each against its own copy of the program with a
1-minute interval, all at once; a second connection to a server proves that the
cycle resumed after the faulty check."""
import os
import tempfile
import time

from harness import FaultServer, Zepho, ini_for, run_driver, to_windows

# How a first check may end:
# "quit": the server answered QUIT and closed; "closed": the client closed at
# once; "timeout": the client closed after the reply time-out; "server": the
# server closed and the client ended the check at once; "reset": the server
# reset the connection and the client ended the check at once.
# The connection's security per scenario; the others are plain.
TLS_MODE = {"tls_stall_mid_handshake": 2, "tls_close_mid_handshake": 2, "stls_stall": 1}


def connections(lines):
    """(start time, client lines) of each connection, in order."""
    out = []
    for line in lines:
        if line == "--- connection":
            out.append([0.0, []])
        elif line.startswith("--- at ") and out:
            out[-1][0] = float(line.split()[2])
        elif out:
            out[-1][1].append(line)
    return out


def run_scenarios(test, expected, wait):
    """Starts every scenario of `expected` ({scenario: (ending, commands)}) and
    checks how each first check ended, waiting at most `wait` seconds for all
    second connections."""
    folder = tempfile.mkdtemp(prefix="zepho-faults-", dir=os.environ.get("ZEPHO_E2E_TMP"))
    servers, copies = {}, {}
    try:
        for scenario in expected:
            servers[scenario] = FaultServer(scenario, folder)
            ini = ini_for(servers[scenario].port, extra="PopTime=1\nIconChange=1\n")
            if scenario in TLS_MODE:
                ini = ini.replace("[OTHER]", "Tls=%d\n[OTHER]" % TLS_MODE[scenario])
            copy_folder = os.path.join(folder, scenario)
            os.makedirs(copy_folder)
            copies[scenario] = Zepho(ini, folder=copy_folder)
            test.copies.append(copies[scenario])
            copies[scenario].start()
        deadline = time.time() + wait
        pending = set(expected)
        while pending and time.time() < deadline:
            for scenario in list(pending):
                if len(connections(servers[scenario].raw_lines())) >= 2:
                    pending.discard(scenario)
            time.sleep(2)
        for scenario, (ending, commands) in expected.items():
            with test.subTest(scenario=scenario):
                conns = connections(servers[scenario].raw_lines())
                test.assertGreaterEqual(len(conns), 2, "no second check: %r" % conns)
                (started, first), (next_started, _) = conns[0], conns[1]
                if ending in ("closed", "timeout"):
                    test.assertEqual(first[-1:], ["--- closed by client"], first)
                if ending not in ("server", "reset") and first[-1:] == ["--- closed by client"]:
                    # After a QUIT answered, either side may close first.
                    first = first[:-1]
                if commands is None or None in commands:
                    # Over TLS: the plain lines that must come, then only TLS
                    # bytes, never a login command in the clear.
                    known = [c for c in commands or [] if c is not None]
                    test.assertEqual(first[:len(known)], known)
                    for line in first:
                        test.assertFalse(line.startswith(("USER", "PASS", "APOP")), first)
                else:
                    test.assertEqual(first, commands)
                log = copies[scenario].log()
                if ending == "timeout":
                    test.assertIn(b"TIME OUT\r\r\n", log)
                else:
                    test.assertNotIn(b"TIME OUT", log)
                if ending == "server":
                    test.assertIn(b"CONNECTION CLOSED\r\r\n", log)
                if ending in ("server", "reset"):
                    # The next check comes an interval (60 s) after this one
                    # ended: it ended within seconds, not at a time-out.
                    test.assertLess(next_started - started, 100, first)
                test.assertTrue(copies[scenario].running(), "the program ended")
    finally:
        # Ended through their close boxes, so no icon is left in the tray; only
        # these copies (other tests may run beside).
        run_driver("closeunder", "ZEPHO設定", to_windows(folder) + "\\", timeout=120)
        for z in copies.values():
            z.wait_exit(timeout=30)
        for s in servers.values():
            s.stop()
