"""The download for users: scripts/release.sh builds the archive twice from the
same sources; a user unpacks it into a folder of its own, reads the guide in
Notepad's code page and runs the program from there.

The archive holds the program of the architecture this machine's Wine runs
(ZEPHO_WINE_ARCH): the 32-bit release itself, or, where 32-bit code cannot run,
the x86_64 build of the same sources packed by the same script."""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile

from harness import ROOT, WINE, run_driver, tray_icon, wait_until, wine_env

ARCH = os.environ.get("ZEPHO_WINE_ARCH", "win32")
SETTINGS = "ZEPHO設定"
VERSION_WINDOW = "バージョン情報"


# The version the build makes from project(VERSION), as ctest passes it: the text
# the user reads and the four numbers of the version resource.
VERSION = os.environ["ZEPHO_VERSION_TEXT"]
NUMBERS = tuple(int(n) for n in os.environ["ZEPHO_VERSION_NUMBERS"].split("."))
ARCHIVE = "ZEPHO-%s%s.zip" % (VERSION, "" if ARCH == "win32" else "-" + ARCH)

# What a user must find in the guide: every key of the settings file, the tray
# menu, the tabs and the options of the settings window, the program's files.
GUIDE_MUST_NAME = [
    "PopAddress", "PopAcount", "PopPort", "Apop", "Passwd", "PopTime", "PopUpSetting", "NotPopup",
    "IconChange", "AllIconChange", "RecvDo", "InboxMove", "RetrySearchToNozari", "RecvSleep",
    "AccountTitle", "AccountPath", "LOG", "SettingNumber", "CheckString1", "CheckString1+A",
    "KnownServer",
    "バージョン情報", "設定", "Corvel操作", "TaskTrayへ", "アイコン化", "ポップアップ", "メールの受信",
    "メールチェック休止", "メールチェック再開", "ZEPHO終了", "今すぐチェック", "チェック結果",
    "ZEPHO - チェック結果", "コピー", "閉じる", "Balloon", "新着メールをバルーンで知らせる",
    "接続", "チェックアドレス", "その他", "ＰＯＰサーバ", "ポート番号", "アカウント", "パスワード",
    "到着チェック間隔", "APOP認証する", "指定ﾍｯﾀﾞ＆ｱﾄﾞﾚｽ以外で自動ポップアップする", "新規", "編集", "削除",
    "ﾀｽｸﾄﾚｲｱｲｺﾝ変化で着信通知", "指定ﾍｯﾀﾞ＆ｱﾄﾞﾚｽ以外でもｱｲｺﾝ変化",
    "指定ﾍｯﾀﾞ・ｱﾄﾞﾚｽ受信時Corvel32自動ﾎﾟｯﾌﾟｱｯﾌﾟ確認する", "受信後自動振り分けする",
    "振り分け前に郵便受けに移動", "NOZARI.EXEを活用する", "対象アカウント", "Account情報読込",
    "ZEPHO.ini", "ZEPHO.LOG", "MailboxPath", "Uidl",
]


def version_resource(exe):
    """The VS_VERSIONINFO block of a program: (fixed numbers, {name: text})."""
    def block(at):
        length, value_length, kind = struct.unpack_from("<HHH", exe, at)
        end, k = at + length, at + 6
        while exe[k:k + 2] != b"\0\0":
            k += 2
        name = exe[at + 6:k].decode("utf-16-le")
        value_at = (k + 2 + 3) & ~3
        size = value_length * 2 if kind == 1 else value_length
        value = exe[value_at:value_at + size]
        children, child = [], (value_at + size + 3) & ~3
        while child < end:
            node, child_end = block(child)
            children.append(node)
            child = (child_end + 3) & ~3
        return (name, value, kind, children), end

    (name, fixed, _, children), _ = block(exe.index("VS_VERSION_INFO\0".encode("utf-16-le")) - 6)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    assert signature == 0xFEEF04BD
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    texts = {}
    for child in children:
        if child[0] == "StringFileInfo":
            for table in child[3]:
                for key, value, _, _ in table[3]:
                    texts[key] = value.decode("utf-16-le").rstrip("\0")
    return split(file_ms, file_ls), split(product_ms, product_ls), texts


def manifest(exe):
    start = exe.index(b"<assembly")
    end = exe.index(b"</assembly>", start) + len(b"</assembly>")
    return ET.fromstring(exe[start:end])


class ReleaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="release-", dir=os.environ.get("ZEPHO_E2E_TMP"))
        cls.runs = []
        # Two builds from scratch in different folders, as on two machines.
        for run in ("first", "second"):
            out = os.path.join(cls.tmp, run)
            r = subprocess.run(["bash", os.path.join(ROOT, "scripts", "release.sh"), "--allow-dirty",
                                "--arch", ARCH, "--out", out], capture_output=True, timeout=1200)
            if r.returncode != 0:
                raise AssertionError("release.sh failed:\n" + (r.stdout + r.stderr).decode(
                    "utf-8", "replace")[-3000:])
            cls.runs.append(out)
        with open(os.path.join(cls.runs[0], ARCHIVE), "rb") as f:
            cls.archive = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def open_archive(self):
        return zipfile.ZipFile(os.path.join(self.runs[0], ARCHIVE))

    def test_the_same_sources_give_the_same_bytes(self):
        with open(os.path.join(self.runs[1], ARCHIVE), "rb") as f:
            self.assertEqual(f.read(), self.archive, "two builds of one tree differ")
        for run in self.runs:
            with open(os.path.join(run, ARCHIVE + ".sha256"), encoding="ascii") as f:
                self.assertEqual(f.read(), "%s  %s\n" % (hashlib.sha256(self.archive).hexdigest(),
                                                         ARCHIVE))

    def test_the_archive_holds_the_program_and_the_guide(self):
        with self.open_archive() as z:
            infos = z.infolist()
            self.assertEqual([i.filename for i in infos], ["ZEPHO.exe", "ZEPHO.txt"])
            self.assertEqual(len({i.date_time for i in infos}), 1, "one fixed time for all files")
            self.assertTrue(all(i.create_system == 0 for i in infos), "MS-DOS attributes")
            exe = z.read("ZEPHO.exe")
        machine = struct.unpack_from("<H", exe, struct.unpack_from("<I", exe, 0x3C)[0] + 4)[0]
        self.assertEqual(machine, 0x14C if ARCH == "win32" else 0x8664)

    def test_the_guide_reads_in_notepad(self):
        with self.open_archive() as z:
            raw = z.read("ZEPHO.txt")
        self.assertIsNone(re.search(rb"\r(?!\n)|(?<!\r)\n", raw), "every line ends in CR LF")
        self.assertTrue(raw.endswith(b"\r\n"))
        text = raw.decode("cp932")  # strict: every byte is code page 932
        with open(os.path.join(ROOT, "docs", "ZEPHO.txt"), encoding="utf-8") as f:
            source = f.read()
        self.assertEqual(text, source.replace("@VERSION@", VERSION).replace("\n", "\r\n"))
        self.assertIn("ZEPHO Version " + VERSION, text)
        for line in raw.split(b"\r\n"):
            self.assertLessEqual(len(line), 78, "fits Notepad's window unwrapped: %r"
                                 % line.decode("cp932"))
        for name in GUIDE_MUST_NAME:
            self.assertIn(name, text, "the guide does not mention " + name)

    def test_the_program_carries_its_version_and_manifest(self):
        with self.open_archive() as z:
            exe = z.read("ZEPHO.exe")
        file_version, product_version, texts = version_resource(exe)
        self.assertEqual(file_version, NUMBERS)
        self.assertEqual(product_version, NUMBERS)
        self.assertEqual(texts["FileVersion"], VERSION)
        self.assertEqual(texts["ProductVersion"], VERSION)
        self.assertEqual(texts["ProductName"], "ZEPHO")
        self.assertEqual(texts["OriginalFilename"], "ZEPHO.exe")
        for key in ("FileDescription", "CompanyName", "LegalCopyright"):
            self.assertTrue(texts.get(key), key + " is empty")

        root = manifest(exe)
        asm, asm3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
        self.assertEqual(root.find(asm + "assemblyIdentity").get("version"),
                         ".".join(map(str, NUMBERS)))
        controls = [e for e in root.iter(asm + "assemblyIdentity")
                    if e.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual([e.get("version") for e in controls], ["6.0.0.0"])
        self.assertEqual(root.find(".//%srequestedExecutionLevel" % asm3).get("level"), "asInvoker")
        dpi = root.find(".//{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")
        self.assertEqual(dpi.text, "true")

    def test_unpacked_the_program_runs_from_its_own_folder(self):
        folder = os.path.join(self.tmp, "My Tools", "ZEPHO")
        elsewhere = os.path.join(self.tmp, "elsewhere")
        os.makedirs(folder)
        os.makedirs(elsewhere)
        with self.open_archive() as z:
            z.extractall(folder)
        proc = subprocess.Popen([WINE, os.path.join(folder, "ZEPHO.exe")], cwd=elsewhere,
                                env=wine_env(), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            # The first start writes its settings beside the program and asks for them.
            self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0, "settings window not shown")
            with open(os.path.join(folder, "ZEPHO.ini"), "rb") as f:
                self.assertEqual(f.read(), b"[OTHER]\r\nRecvSleep=0\r\n")
            run_driver("click", SETTINGS, "バージョン")
            self.assertEqual(run_driver("wait", VERSION_WINDOW, "10")[0], 0)
            self.assertIn("ZEPHO Version " + VERSION, run_driver("text", VERSION_WINDOW)[1])
            run_driver("key", VERSION_WINDOW, "escape")
            self.assertEqual(run_driver("gone", VERSION_WINDOW, "10")[0], 0)
            run_driver("close", SETTINGS)
            self.assertEqual(proc.wait(timeout=20), 0)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.assertEqual(sorted(os.listdir(folder)), ["ZEPHO.exe", "ZEPHO.ini", "ZEPHO.txt"])
        self.assertEqual(os.listdir(elsewhere), [])
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 5), True)


if __name__ == "__main__":
    unittest.main()
