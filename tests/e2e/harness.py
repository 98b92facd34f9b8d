"""Runs ZEPHO.exe under Wine like a user would, for the end-to-end tests.

The environment comes from scripts/test.sh (Wine prefix, DISPLAY with Wine's
virtual desktop) and from ctest (paths of the programs under test)."""
import glob
import os
import re
import signal
import socket
import sys
import shutil
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXE = os.environ.get("ZEPHO_EXE", "")
UI_DRIVER = os.environ.get("ZEPHO_UI_DRIVER", "")
CORVEL = os.environ.get("ZEPHO_CORVEL", "")
NOZARI = os.environ.get("ZEPHO_NOZARI", "")
WINE = os.environ.get("ZEPHO_WINE", "wine")
PRIVATE_RESOLVER = os.path.join(ROOT, "tests", "fixtures", "private_resolver.sh")

# Where Wine's virtual desktop (1024 x 768) draws the notification area, and
# the middle of its first icon.
TRAY_BOX = (784, 748, 240, 20)
FIRST_TRAY_ICON = (1014, 758)

def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    return env


def locale_env(lang):
    """The Wine environment of a locale (scripts/wine-env.sh): its LANG and the
    prefix of that locale, made ready and with its wineserver running."""
    script = ('unset WINEPREFIX; export ZEPHO_LANG="$1"; source "$2/scripts/wine-env.sh" 2>/dev/null; '
              'zepho_prepare_prefix && zepho_start_server && env -0')
    out = subprocess.run(["bash", "-c", script, "-", lang, ROOT], env=wine_env(),
                         capture_output=True, timeout=300, check=True).stdout.decode()
    env = dict(item.split("=", 1) for item in out.split("\0") if "=" in item)
    env.setdefault("WINEDEBUG", "-all")
    return env


def to_windows(path):
    return "Z:" + path.replace("/", "\\")


def run_driver(*args, timeout=30, env=None):
    r = subprocess.run([WINE, UI_DRIVER, *args], env=env or wine_env(), capture_output=True,
                       timeout=timeout)
    return r.returncode, r.stdout.decode("utf-8", "replace")


def private_resolver_missing():
    """Why a program cannot get name look-ups of its own here (None: it can):
    tests/fixtures/private_resolver.sh needs root, unshare and no nscd."""
    if os.geteuid() != 0:
        return "needs root"
    if not shutil.which("unshare") or not shutil.which("ip"):
        return "needs unshare and ip"
    if os.path.exists("/run/nscd/socket"):
        return "nscd answers look-ups from outside"
    return None


class PrivateHosts:
    """A hosts file of the test's own, for copies of the program started with
    it: the names they look up resolve as its lines say, any other goes to the
    stand-in name server (tests/fixtures/name_server.py)."""

    def __init__(self, folder, lines=()):
        self.path = os.path.join(folder, "hosts")
        self.write(lines)

    def write(self, lines):
        """Changes what the names resolve to; the next look-up of a running copy
        reads it (written in place: the copies see this very file)."""
        text = ("127.0.0.1 localhost\n::1 localhost\n127.0.0.1 %s\n" % socket.gethostname()
                + "".join(line + "\n" for line in lines))
        with open(self.path, "w") as f:
            f.write(text)


class Zepho:
    """One copy of ZEPHO.exe in a folder of its own, started and ended by the test.
    With `hosts` (PrivateHosts) it looks names up through that file and the
    stand-in name server; `resolver_options` are the C library's (how long a
    name the stand-in never answers hangs)."""

    def __init__(self, ini=None, name="zepho", folder=None, env=None, exe=None, hosts=None,
                 resolver_options=None):
        self.dir = folder or tempfile.mkdtemp(prefix=name + "-", dir=os.environ.get("ZEPHO_E2E_TMP"))
        self.env = dict(env or wine_env())
        self.hosts = hosts
        if hosts:
            self.env["ZEPHO_PRIVATE_HOSTS"] = hosts.path
            if resolver_options:
                self.env["ZEPHO_RESOLVER_OPTIONS"] = resolver_options
        self.exe = os.path.join(self.dir, "ZEPHO.exe")
        shutil.copy(exe or EXE, self.exe)
        self.ini_path = os.path.join(self.dir, "ZEPHO.ini")
        self.log_path = os.path.join(self.dir, "ZEPHO.LOG")
        if ini is not None:
            with open(self.ini_path, "wb") as f:
                f.write(ini.encode("cp932").replace(b"\n", b"\r\n"))
        self.proc = None

    def start(self, cwd=None):
        command = [WINE, self.exe]
        if self.hosts:
            command = ["bash", PRIVATE_RESOLVER] + command
        # A session of its own: stop() ends the program and whatever runs it.
        self.proc = subprocess.Popen(command, cwd=cwd or self.dir, env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     start_new_session=True)
        return self

    def wait_exit(self, timeout=20):
        return self.proc.wait(timeout=timeout)

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def close_box(self):
        """The program's own way out: the close box of its (maybe hidden) settings
        window. Only for tests that run one copy at a time."""
        run_driver("close", "ZEPHO設定", env=self.env)
        return self.wait_exit()

    def stop(self):
        if self.running():
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
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


# The tray menu's selectable items from the top: version, settings, the Corvel
# submenu, check now, the results, pause/resume, exit (the arrows skip
# separators and greyed items).
TO_VERSION = ("Down", "Return")
TO_SETTINGS = ("Down", "Down", "Return")
TO_CHECK_NOW = ("Down",) * 4 + ("Return",)
TO_RESULTS = ("Down",) * 5 + ("Return",)
TO_PAUSE = ("Down",) * 6 + ("Return",)
TO_EXIT = ("Up", "Return")


def list_view(title, control):
    """A list view of another program's window as rows of cells, its column
    captions first (None: not read)."""
    code, out = run_driver("listview", title, control)
    if code != 0:
        return None
    return [line.split("\t") for line in out.replace("\r\n", "\n").split("\n")[:-1]]


def clipboard():
    code, out = run_driver("clipboard", "-")
    return out if code == 0 else None


def balloons():
    """The texts of the balloons shown now, their line breaks as "|"."""
    return [line.rstrip("\r") for line in run_driver("balloons", "-")[1].splitlines() if line.strip()]


def wait_until(predicate, timeout, step=0.2):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def xdotool(*args):
    subprocess.run(["xdotool", *args], env=wine_env(), capture_output=True, timeout=30)


def click_tray_icon(button):
    """A click on the program's icon: 1 left, 3 right."""
    x, y = FIRST_TRAY_ICON
    xdotool("mousemove", str(x), str(y), "click", str(button))
    # Away again, to an empty spot of the desktop: the tip would cover the icon,
    # and the keys typed next go where the pointer is.
    xdotool("mousemove", "500", "300")


def open_tray_menu():
    """A right click on the icon; returns the open menu's rectangle (None: no menu).
    Wine hands the keys typed to the menu only when X delivers them to the menu's
    own X window: the X focus goes to the root (keys then go to the window under
    the pointer, whatever window of the program had the focus before), and the
    pointer onto the menu's frame, where it selects no item."""
    click_tray_icon(3)
    code, out = run_driver("menu", "-")
    if code != 0:
        return None
    left, top, right, bottom = (int(v) for v in out.split())
    root = subprocess.run(["xdotool", "search", "--maxdepth", "0", "--name", ""], env=wine_env(),
                          capture_output=True, timeout=30).stdout.decode().split()
    if root:
        xdotool("windowfocus", root[0])
    xdotool("mousemove", str(left + 1), str(top + 1))
    time.sleep(0.3)
    return left, top, right, bottom


def keys(*names):
    """Keys typed by the user into what has the keyboard (an open menu)."""
    xdotool("key", "--delay", "150", *names)


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], env=wine_env(), capture_output=True,
                   timeout=30)


class StandIn:
    """tests/fixtures/corvel_standin.cpp or nozari_standin.cpp, recording what it receives."""

    def __init__(self, exe, folder, name, *args):
        self.record = os.path.join(folder, name + ".record")
        open(self.record, "wb").close()
        self.proc = subprocess.Popen([WINE, exe, to_windows(self.record), *args], env=wine_env(),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_until(lambda: " ready " in self.text(), 30):
            self.stop()
            raise RuntimeError("stand-in %s did not start" % name)

    def text(self):
        with open(self.record, "rb") as f:
            return f.read().decode("latin-1")

    def entries(self):
        """(tick, "window message wParam lParam") for each message received."""
        out = []
        for line in self.text().splitlines():
            tick, rest = line.split(" ", 1)
            if " ready " not in " " + rest + " ":
                out.append((int(tick), rest))
        return out

    def received(self):
        return [what for _, what in self.entries()]

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        if self.running():
            self.proc.kill()
        self.proc.wait()


def tray_pixels():
    """The notification area as rows of colours ("RRGGBB")."""
    x, y, w, h = TRAY_BOX
    out = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8",
                          "txt:-"], capture_output=True, env=wine_env(), timeout=30).stdout.decode()
    rows = [["FFFFFF"] * w for _ in range(h)]
    for line in out.splitlines()[1:]:
        parts = line.split()
        if len(parts) >= 3 and parts[2].startswith("#"):
            cx, cy = (int(v) for v in parts[0].rstrip(":").split(","))
            if cx < w and cy < h:
                rows[cy][cx] = parts[2][1:7].upper()
    return rows


# Colours of the standard 16-colour palette that tell the pictures apart.
RED, DARK_RED, YELLOW, GREEN, BLUE = "FF0000", "800000", "FFFF00", "008000", "0000FF"


def classify(counts):
    red, dark_red = counts.get(RED, 0), counts.get(DARK_RED, 0)
    if counts.get(GREEN, 0) and dark_red:
        # The stop picture is the main one crossed out in bright red.
        return "stop" if red > dark_red else "main"
    if counts.get(BLUE, 0) and red:
        return "recv"
    if counts.get(YELLOW, 0) > 20 and not red:
        return "other"
    return "unknown"


def tray_icons():
    """The pictures in the notification area, from left to right."""
    rows = tray_pixels()
    width = len(rows[0])
    used = [any(row[x] != "FFFFFF" for row in rows) for x in range(width)]
    icons, x = [], 0
    while x < width:
        if not used[x]:
            x += 1
            continue
        start = x
        # An icon ends at a gap of three empty columns.
        while x < width and any(used[x:x + 3]):
            x += 1
        counts = {}
        for row in rows:
            for colour in row[start:x]:
                counts[colour] = counts.get(colour, 0) + 1
        icons.append(classify(counts))
    return icons


def tray_icon():
    """The one picture in the tray: main, stop, recv, other, or none; "several"
    when more than one program put an icon there."""
    icons = tray_icons()
    if not icons:
        return "none"
    return icons[0] if len(icons) == 1 else "several: " + ",".join(icons)


class E2ETest(unittest.TestCase):
    def setUp(self):
        self.copies = []

    def tearDown(self):
        for z in self.copies:
            z.stop()

    def zepho(self, ini=None, **kwargs):
        z = Zepho(ini, **kwargs)
        self.copies.append(z)
        return z


def ini_for(port, password="secret", account="user", extra="", apop=0):
    """A settings file for a server on 127.0.0.1; the password in its stored form."""
    return ("[NETWORK]\nPopAddress=\"127.0.0.1\"\nPopAcount=\"%s\"\nPopPort=%d\nApop=%d\n"
            "Passwd=%s\n[OTHER]\nRecvSleep=0\nLOG=1\n%s"
            % (account, port, apop, stored_password(password), extra))


def stored_password(plain):
    """The `Passwd` value the program writes for a password (tools/stored_password,
    the program's own code, built for this machine by the Windows build)."""
    tool = os.environ.get("ZEPHO_STORED_PASSWORD")
    if not tool or not os.access(tool, os.X_OK):
        raise RuntimeError("ZEPHO_STORED_PASSWORD (%r) is not the stored_password tool: "
                           "build the Windows preset, run through ctest" % tool)
    out = subprocess.run([tool, "--hex", plain.encode("cp932").hex()], capture_output=True,
                         check=True, timeout=30).stdout
    return out.removesuffix(b"\n").decode("latin-1")


class FaultServer:
    """tests/fixtures/fault_server.py in one scenario, on a free port."""

    def __init__(self, scenario, folder):
        self.record = os.path.join(folder, scenario + ".record")
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "tests", "fixtures", "fault_server.py"),
             "--port", "0", "--scenario", scenario, "--record", self.record],
            stdout=subprocess.PIPE)
        line = self.proc.stdout.readline().decode()
        if not line.startswith("PORT "):
            raise RuntimeError("fault server did not start: %r" % line)
        self.port = int(line.split()[1])

    def raw_lines(self):
        """The record as it stands, the time stamp of each connection included."""
        with open(self.record, "rb") as f:
            return f.read().decode("latin-1").splitlines()

    def lines(self):
        """The client's lines and the markers of connections and closes."""
        return [line for line in self.raw_lines() if not line.startswith("--- at ")]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()


class Dovecot:
    """A private Dovecot on 127.0.0.1 (scripts/dovecot.sh), or on the addresses
    `listen` ("::1"). With `tls` (the PEM files of a certificate and its key) it
    offers STLS on `port` and TLS from the first byte on `tls_port`."""

    def __init__(self, user="user", password="secret", tls=None, listen=None):
        self.dir = tempfile.mkdtemp(prefix="zd.", dir="/tmp")
        self.user = user
        # Port 0: the script finds free ports itself and says which it got.
        extra = ["--tls", tls[0], tls[1], "0"] if tls else []
        if listen:
            extra += ["--listen", listen]
        out = subprocess.run(["bash", os.path.join(ROOT, "scripts", "dovecot.sh"), "start", self.dir,
                              "0", user, password, *extra], check=True, stdout=subprocess.PIPE,
                             timeout=60).stdout.decode()
        ports = dict(re.findall(r"^(PORT|TLSPORT) ([0-9]+)$", out, re.M))
        self.port = int(ports["PORT"])
        self.tls_port = int(ports["TLSPORT"]) if tls else None

    def wire(self):
        """Every byte clients sent, as it came over the wire (over TLS the login
        process records the records it decrypts for the mail process too), all
        connections together, without the transcript's time stamps."""
        data = b""
        for path in sorted(glob.glob(os.path.join(self.dir, "rawlog", "pre", "*.in"))):
            with open(path, "rb") as f:
                data += b"\n".join(line.partition(b" ")[2] for line in f.read().split(b"\n"))
        return data

    def mail_commands(self):
        """The commands of the latest session after its login (STAT onwards),
        as the mail process saw them: plain text also over TLS."""
        files = glob.glob(os.path.join(self.dir, "rawlog", "post", "*.in"))
        if not files:
            return []
        with open(max(files, key=os.path.getmtime), "rb") as f:
            return [line.partition(b" ")[2].rstrip(b"\r").decode("latin-1")
                    for line in f.read().split(b"\n") if line]

    def add(self, index, message):
        path = os.path.join(self.dir, "msg%d.eml" % index)
        with open(path, "wb") as f:
            f.write(message)
        return subprocess.run(["bash", os.path.join(ROOT, "scripts", "dovecot.sh"), "add",
                               self.dir, self.user, str(index), path], check=True,
                              capture_output=True, timeout=30).stdout.decode().strip()

    def sent(self):
        return subprocess.run(["bash", os.path.join(ROOT, "scripts", "dovecot.sh"), "sent",
                               self.dir], capture_output=True, timeout=30).stdout.decode(
                                   "latin-1").splitlines()

    def stop(self):
        subprocess.run(["bash", os.path.join(ROOT, "scripts", "dovecot.sh"), "stop", self.dir],
                       timeout=60)
        shutil.rmtree(self.dir, ignore_errors=True)


class SilentListener:
    """Accepts connections (the system does) and never says a word: a check that
    connects here waits for a greeting that never comes."""

    def __init__(self, address, port=0):
        self.sock = socket.socket(socket.AF_INET6 if ":" in address else socket.AF_INET)
        self.sock.bind((address, port))  # 0: a free port, told by .port
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]

    def connections(self):
        """How many connections came so far."""
        self.sock.setblocking(False)
        count = 0
        while True:
            try:
                conn, _ = self.sock.accept()
            except BlockingIOError:
                return count
            conn.close()
            count += 1

    def stop(self):
        self.sock.close()


def set_mailbox_path(path, env=None):
    """The mail client's registry value (None removes it)."""
    key = r"HKCU\Software\MOREX\Corvel"
    if path is None:
        args = ["reg", "delete", key, "/v", "MailboxPath", "/f"]
    else:
        args = ["reg", "add", key, "/v", "MailboxPath", "/d", to_windows(path), "/f"]
    subprocess.run([WINE, *args], env=env or wine_env(), capture_output=True, timeout=60)
