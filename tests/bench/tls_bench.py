"""Prints how long one check takes against a real Dovecot on loopback in plain
text, with STLS and with TLS from the first byte, from the client's first byte
on the wire to its QUIT (the TLS handshake's cost). A benchmark: it asserts nothing.

Run through scripts/bench.sh, which provides Wine, a display and the builds."""
import glob
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import Dovecot, Zepho, ini_for, wait_until  # noqa: E402
from tls_pki import Pki, fingerprint  # noqa: E402


def stamps(path):
    with open(path, "rb") as f:
        return [(float(line.split(b" ", 1)[0]), line.split(b" ", 1)[1].strip())
                for line in f.read().split(b"\n") if b" " in line]


def newest(server, phase):
    files = [p for p in glob.glob(os.path.join(server.dir, "rawlog", phase, "*.in"))
             if os.path.getsize(p)]
    return stamps(max(files, key=os.path.getmtime)) if files else []


def tls_main(runs=5, count=20):
    import shutil
    import statistics
    import tempfile
    folder = tempfile.mkdtemp(prefix="zepho-bench-pki-")
    cert, key = Pki(folder).self_signed("bench", "localhost")
    pin = fingerprint(cert)
    server = Dovecot(tls=(cert, key))
    try:
        for i in range(1, count + 1):
            server.add(i, b"From: Sender %d <s%d@example.org>\r\nSubject: m%d\r\n\r\nbody\r\n"
                       % (i, i, i))
        print("\n%d messages, %d checks each (certificate accepted by its pin)" % (count, runs))
        print("mode       first byte to QUIT (median, min, max)")
        for name, mode, port in (("plain", 0, server.port), ("STLS", 1, server.port),
                                 ("TLS", 2, server.tls_port)):
            seconds = []
            for _ in range(runs):
                ini = ini_for(port, extra="IconChange=1\n").replace(
                    'PopAddress="127.0.0.1"', 'PopAddress="localhost"')
                if mode:
                    ini = ini.replace("[OTHER]", "Tls=%d\nTlsCertSha256=%s\n[OTHER]" % (mode, pin))
                before = len(glob.glob(os.path.join(server.dir, "rawlog", "post", "*.in")))
                z = Zepho(ini).start()
                try:
                    done = wait_until(lambda: len(glob.glob(os.path.join(
                        server.dir, "rawlog", "post", "*.in"))) > before and
                        newest(server, "post")[-1:] and newest(server, "post")[-1][1] == b"QUIT", 60)
                    if not done:
                        print("%-9s  no QUIT within 60 s" % name)
                        break
                    time.sleep(0.3)
                    seconds.append(newest(server, "post")[-1][0] - newest(server, "pre")[0][0])
                finally:
                    z.stop()
            if seconds:
                print("%-9s  %.3f s  (%.3f .. %.3f)" % (name, statistics.median(seconds),
                                                        min(seconds), max(seconds)))
    finally:
        server.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    tls_main()
