"""Prints how long one check takes against a real Dovecot on loopback, side by
side with the floor: a minimal blocking client (pop3_floor.exe, under the same
Wine) that sends the identical commands on the same mailbox in the same run.
Durations are taken from Dovecot's own transcript, from the client's USER to its
QUIT; medians of several runs, ZEPHO and the floor alternating. Also prints
ZEPHO's resident memory after the check. With LOG 0 and 1, the runs of both
alternate too. A benchmark: it asserts nothing.

The 1,000-message case also runs a build of an earlier commit (ZEPHO_BASELINE_EXE,
built by scripts/bench.sh), alternating with this one: what a check keeps for the
results window (the examined messages) is measured against a program without it.

Run through scripts/bench.sh, which provides Wine, a display and the builds.
Environment: ZEPHO_EXE, ZEPHO_FLOOR (pop3_floor.exe), ZEPHO_BENCH_LOG ("0", "1"
or "both": the LOG setting of the cases that do not name one), ZEPHO_BENCH_RUNS,
ZEPHO_BASELINE_EXE and ZEPHO_BASELINE (its commit, for the title), ZEPHO_BENCH_ONLY
(run only the cases whose name holds this text)."""
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import (WINE, Dovecot, Zepho, ini_for, set_mailbox_path, to_windows,  # noqa: E402
                     wait_until, wine_env)

FLOOR = os.environ.get("ZEPHO_FLOOR", "")
RUNS = int(os.environ.get("ZEPHO_BENCH_RUNS", "7"))
BASELINE_EXE = os.environ.get("ZEPHO_BASELINE_EXE", "")
BASELINE = os.environ.get("ZEPHO_BASELINE", "")[:10]
ONLY = os.environ.get("ZEPHO_BENCH_ONLY", "")


def stamps(path):
    with open(path, "rb") as f:
        return [(float(line.split(b" ", 1)[0]), line.split(b" ", 1)[1].strip())
                for line in f.read().split(b"\n") if b" " in line]


def sessions(server):
    """(USER time, QUIT time, commands) of every logged-in session, in order."""
    pre = {}
    for p in glob.glob(os.path.join(server.dir, "rawlog/pre/*.in")):
        lines = stamps(p)
        users = [t for t, text in lines if text.startswith(b"USER")]
        if users:
            pre[users[0]] = [text for _, text in lines]
    posts = []
    for p in glob.glob(os.path.join(server.dir, "rawlog/post/*.in")):
        lines = stamps(p)
        if lines:
            posts.append(lines)
    out = []
    for user_time in sorted(pre):
        # The session after login whose first command follows this USER first.
        later = [p for p in posts if p[0][0] >= user_time]
        if not later:
            continue  # still logging in
        post = min(later, key=lambda p: p[0][0])
        posts.remove(post)
        quits = [t for t, text in post if text == b"QUIT"]
        if quits:
            out.append((user_time, quits[-1], pre[user_time] + [text for _, text in post]))
    return out


def resident_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return -1


class Mailbox:
    """Dovecot with `count` messages; ids are the maildir names."""

    def __init__(self, count):
        self.server = Dovecot()
        self.count = count
        message = b"From: Sender <s@example.org>\r\nSubject: m\r\n\r\nbody\r\n"
        self.server.add(1, message)  # makes the maildir with its owner
        new = glob.glob(os.path.join(self.server.dir, "home/*/Maildir/new"))[0]
        st = os.stat(new)
        for i in range(2, count + 1):
            name = os.path.join(new, "%d.M%dP1.test" % (1700000000 + i, i))
            with open(name, "wb") as f:
                f.write(message)
            os.chown(name, st.st_uid, st.st_gid)

    def uid(self, i):
        return "%d.M%dP1.test" % (1700000000 + i, i)

    def stop(self):
        self.server.stop()


class Companion:
    """The mail client's folder: Account1 with a Uidl of `filler` ids that are
    not on the server, then the ids of the `known` oldest messages."""

    def __init__(self, mailbox, filler, known):
        self.dir = tempfile.mkdtemp(prefix="zb-companion-",
                                    dir=os.environ.get("ZEPHO_E2E_TMP"))
        account = os.path.join(self.dir, "Mailbox", "Account1")
        os.makedirs(account)
        with open(os.path.join(account, "Account.ini"), "wb") as f:
            f.write(b"[Property]\r\nTitle=bench\r\nNotDelete=1\r\nOldPopper=0\r\n")
        with open(os.path.join(account, "Uidl"), "wb") as f:
            for i in range(filler):
                f.write(b"%d.M%06dP%d.mx%d.host,S=%d\r\n" % (
                    1600000000 + i * 7, (i * 7919) % 1000000, 1000 + i % 9000, 1 + i % 3,
                    800 + (i * 131) % 90000))
            for i in range(1, known + 1):
                f.write(mailbox.uid(i).encode() + b"\r\n")
        set_mailbox_path(self.dir)

    def stop(self):
        set_mailbox_path(None)
        shutil.rmtree(self.dir, ignore_errors=True)


def run_zepho(mailbox, log, exe=None):
    before = len(sessions(mailbox.server))
    z = Zepho(ini_for(mailbox.server.port, extra="IconChange=1\n").replace(
        "LOG=1", "LOG=%d" % log), exe=exe).start()
    try:
        if not wait_until(lambda: len(sessions(mailbox.server)) > before, 300, step=0.05):
            return None
        time.sleep(0.5)  # the check has ended; the program waits for the next
        rss = resident_kib(z.proc.pid)
        user, quit_, commands = sessions(mailbox.server)[-1]
        return quit_ - user, commands, rss
    finally:
        z.stop()


def run_floor(mailbox, commands):
    with tempfile.NamedTemporaryFile("wb", suffix=".txt", delete=False,
                                     dir=os.environ.get("ZEPHO_E2E_TMP")) as f:
        f.write(b"\r\n".join(commands) + b"\r\n")
        path = f.name
    try:
        before = len(sessions(mailbox.server))
        subprocess.run([WINE, FLOOR, "127.0.0.1", str(mailbox.server.port), to_windows(path)],
                       env=wine_env(), capture_output=True, timeout=300)
        wait_until(lambda: len(sessions(mailbox.server)) > before, 10, step=0.05)
        user, quit_, _ = sessions(mailbox.server)[-1]
        return quit_ - user
    finally:
        os.remove(path)


ROW = "%-44s %6d %5d %10.1f %10.1f %6.2f %6.2f %9.3f %9.3f %9d"


def case(name, messages, logs, filler=None, known=0):
    """One row per LOG value; the runs of all of them and of the floor alternate."""
    if ONLY not in name:
        return
    mailbox = Mailbox(messages)
    companion = Companion(mailbox, filler, known) if filler is not None else None
    try:
        z_times = {log: [] for log in logs}
        rss = {log: [] for log in logs}
        f_times = []
        commands = None
        for _ in range(RUNS):
            for log in logs:
                got = run_zepho(mailbox, log)
                if got is None:
                    print("%-44s no check within 300 s" % name)
                    return
                seconds, commands, kib = got
                z_times[log].append(seconds)
                rss[log].append(kib)
            f_times.append(run_floor(mailbox, commands))
        f = statistics.median(f_times)
        n = len(commands)
        for log in logs:
            z = statistics.median(z_times[log])
            print(ROW
                  % (name, n, log, z * 1000, f * 1000, z / f, min(z_times[log]) / min(f_times),
                     z * 1000 / n, f * 1000 / n, statistics.median(rss[log])), flush=True)
    finally:
        if companion:
            companion.stop()
        mailbox.stop()


def against_baseline(name, messages):
    """This build (the examined messages kept for the window) and the baseline
    build, LOG=0, alternating with each other and with the floor."""
    if ONLY not in name:
        return
    if not BASELINE_EXE:
        print("%-44s no baseline build (scripts/bench.sh makes one)" % name)
        return
    mailbox = Mailbox(messages)
    try:
        times = {"today": [], "rows": []}
        rss = {"today": [], "rows": []}
        f_times = []
        commands = None
        builds = [("today", BASELINE_EXE), ("rows", None)]
        for run in range(RUNS):
            # Each run in turn goes first: a run just after another is slowed
            # by its end (a copy of the same build against itself shows it).
            for which, exe in builds if run % 2 == 0 else builds[::-1]:
                time.sleep(1)
                got = run_zepho(mailbox, 0, exe)
                if got is None:
                    print("%-44s no check within 300 s" % name)
                    return
                times[which].append(got[0])
                commands = got[1]
                rss[which].append(got[2])
            f_times.append(run_floor(mailbox, commands))
        f = statistics.median(f_times)
        n = len(commands)
        for which, label in (("today", "baseline %s" % BASELINE), ("rows", "rows collected")):
            z = statistics.median(times[which])
            print(ROW % ("%s, %s" % (name, label), n, 0, z * 1000, f * 1000, z / f,
                         min(times[which]) / min(f_times), z * 1000 / n, f * 1000 / n,
                         statistics.median(rss[which])), flush=True)
        print("%-44s median %.3f, best %.3f (target: within 1.05)" % (
            "  rows collected / baseline", statistics.median(times["rows"]) /
            statistics.median(times["today"]), min(times["rows"]) / min(times["today"])),
            flush=True)
    finally:
        mailbox.stop()


def main():
    logs = {"0": [0], "1": [1], "both": [0, 1]}[os.environ.get("ZEPHO_BENCH_LOG", "0")]
    print("check duration, USER to QUIT, median of %d runs; ratio = ZEPHO / floor of the medians,"
          % RUNS)
    print("best = of the fastest runs; per command = duration / commands;")
    print("RSS = ZEPHO's resident memory after the check (KiB)")
    print("%-44s %6s %5s %10s %10s %6s %6s %9s %9s %9s" % (
        "case", "cmds", "LOG", "ZEPHO ms", "floor ms", "ratio", "best", "Z ms/cmd", "F ms/cmd",
        "RSS KiB"))
    case("1 message, no id list", 1, logs)
    case("30 messages, 20 new, id list 0 + 10 ids", 30, logs, filler=0, known=10)
    case("30 messages, 20 new, id list 20,000 + 10", 30, logs, filler=20000, known=10)
    case("30 messages, 20 new, id list 200,000 + 10", 30, logs, filler=200000, known=10)
    # The cost of the log: LOG 0 and 1 side by side, whatever was asked for.
    case("1,000 messages, all new (1,000 TOP)", 1000, sorted(set(logs) | {0, 1}))
    # What the results window keeps of a check, against a build without it.
    against_baseline("1,000 all new", 1000)


if __name__ == "__main__":
    main()
