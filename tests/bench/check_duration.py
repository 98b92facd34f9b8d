"""Prints how long one check takes against a real Dovecot on loopback: from the
client's first command (USER) to its QUIT, for mailboxes of several sizes where
every message is new (the longest walk). A benchmark: it asserts nothing.

Run through scripts/bench.sh, which provides Wine, a display and the builds."""
import glob
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import Dovecot, Zepho, ini_for, wait_until  # noqa: E402


def stamps(path):
    with open(path, "rb") as f:
        return [(float(line.split(b" ", 1)[0]), line.split(b" ", 1)[1].strip())
                for line in f.read().split(b"\n") if b" " in line]


def check_seconds(server):
    # The server's own readiness probe also left a transcript: take the session
    # in which the client logged in.
    first = min(t for p in glob.glob(os.path.join(server.dir, "rawlog/pre/*.in"))
                for t, text in stamps(p) if text.startswith(b"USER"))
    quits = [t for p in glob.glob(os.path.join(server.dir, "rawlog/post/*.in"))
             for t, text in stamps(p) if text == b"QUIT"]
    return max(quits) - first


def main():
    print("messages  commands  check (USER to QUIT)")
    for count in (1, 20, 100):
        server = Dovecot()
        try:
            for i in range(1, count + 1):
                server.add(i, b"From: Sender %d <s%d@example.org>\r\nSubject: m%d\r\n\r\nbody\r\n"
                           % (i, i, i))
            z = Zepho(ini_for(server.port, extra="IconChange=1\n")).start()
            try:
                if not wait_until(lambda: "QUIT" in server.sent(), 120):
                    print("%8d  no QUIT within 120 s" % count)
                    continue
                time.sleep(0.5)
                print("%8d  %8d  %.3f s" % (count, len(server.sent()), check_seconds(server)))
            finally:
                z.stop()
        finally:
            server.stop()


if __name__ == "__main__":
    main()
