"""Runs ZEPHO.exe under Wine like a user would, for the end-to-end tests.

The environment comes from scripts/test.sh (Wine prefix, DISPLAY with Wine's
virtual desktop) and from ctest (paths of the programs under test)."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXE = os.environ.get("ZEPHO_EXE", "")
UI_DRIVER = os.environ.get("ZEPHO_UI_DRIVER", "")
WINE = os.environ.get("ZEPHO_WINE", "wine")

# Where Wine's virtual desktop draws the notification area (1024 x 768 desktop).
TRAY_BOX = (1000, 748, 24, 20)


def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    return env


def to_windows(path):
    return "Z:" + path.replace("/", "\\")


def run_driver(*args, timeout=30):
    r = subprocess.run([WINE, UI_DRIVER, *args], env=wine_env(), capture_output=True,
                       timeout=timeout)
    return r.returncode, r.stdout.decode("utf-8", "replace")


class Zepho:
    """One copy of ZEPHO.exe in a folder of its own, started and ended by the test."""

    def __init__(self, ini=None, name="zepho"):
        self.dir = tempfile.mkdtemp(prefix=name + "-", dir=os.environ.get("ZEPHO_E2E_TMP"))
        self.exe = os.path.join(self.dir, "ZEPHO.exe")
        shutil.copy(EXE, self.exe)
        self.ini_path = os.path.join(self.dir, "ZEPHO.ini")
        self.log_path = os.path.join(self.dir, "ZEPHO.LOG")
        if ini is not None:
            with open(self.ini_path, "wb") as f:
                f.write(ini.encode("cp932").replace(b"\n", b"\r\n"))
        self.proc = None

    def start(self, cwd=None):
        self.proc = subprocess.Popen([WINE, self.exe], cwd=cwd or self.dir, env=wine_env(),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def wait_exit(self, timeout=20):
        return self.proc.wait(timeout=timeout)

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def close_box(self):
        """The program's own way out: the close box of its (maybe hidden) settings
        window. Only for tests that run one copy at a time."""
        run_driver("close", "ZEPHO設定")
        return self.wait_exit()

    def stop(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def ini(self):
        try:
            with open(self.ini_path, "rb") as f:
                return f.read().decode("cp932")
        except FileNotFoundError:
            return None

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""


def wait_until(predicate, timeout, step=0.2):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def tray_colours():
    """How many pixels of each colour the notification area of the virtual desktop shows."""
    x, y, w, h = TRAY_BOX
    out = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "txt:-"],
                         capture_output=True, env=wine_env(), timeout=30).stdout.decode()
    counts = {}
    for line in out.splitlines()[1:]:
        parts = line.split()
        if len(parts) >= 3 and parts[2].startswith("#"):
            colour = parts[2][1:7].upper()
            counts[colour] = counts.get(colour, 0) + 1
    return counts


# Colours of the standard 16-colour palette that tell the pictures apart.
RED, DARK_RED, YELLOW, GREEN, BLUE = "FF0000", "800000", "FFFF00", "008000", "0000FF"


def tray_icon():
    """Which of the program's pictures the tray shows: main, stop, recv, other or none."""
    c = tray_colours()
    red, dark_red = c.get(RED, 0), c.get(DARK_RED, 0)
    if c.get(GREEN, 0) and dark_red:
        # The stop picture is the main one crossed out in bright red.
        return "stop" if red > dark_red else "main"
    if c.get(BLUE, 0) and red:
        return "recv"
    if c.get(YELLOW, 0) > 20 and not red:
        return "other"
    return "none"


class E2ETest(unittest.TestCase):
    def setUp(self):
        self.copies = []

    def tearDown(self):
        for z in self.copies:
            z.stop()

    def zepho(self, ini=None):
        z = Zepho(ini)
        self.copies.append(z)
        return z
