"""The program unpacked in folders of any name, on a Japanese and on a Western
Windows: the settings beside it, the log, the mail client's folders and a check
against Dovecot. Paths stay UTF-16 throughout; values keep their bytes."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import (WINE, Dovecot, Zepho, locale_env, run_driver, set_mailbox_path,
                     stored_password, to_windows, wait_until)

JAPANESE, WESTERN = "ja_JP.UTF-8", "en_US.UTF-8"  # ANSI code pages 932 and 1252
FOLDERS = [
    "ZEPHO",
    "José",            # "é" is in code page 1252, not in 932
    "表示ソフト",       # in 932 (trail bytes 0x5C), not in 1252
    "José 表示ソフト",  # in neither
]
MESSAGES = {i: b"From: a%d@example.org\r\nSubject: m%d\r\n\r\nbody\r\n" % (i, i) for i in (1, 2, 3)}
PROMPT = "ZEPHO - パスワード入力"
SETTINGS = "ZEPHO設定"
TMP = os.environ.get("ZEPHO_E2E_TMP") or tempfile.gettempdir()
SHOTS = os.path.join(TMP, "shots")
DESKTOP = "shell - Wine desktop"


def desktops(env):
    r = subprocess.run(["xdotool", "search", "--name", DESKTOP], env=env, capture_output=True)
    return len(r.stdout.split())


def screenshot(env, name):
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, name + ".png")
    subprocess.run(["import", "-window", "root", path], env=env, check=True, timeout=30)
    return path


class PathsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Dovecot("user", "secret")
        cls.uids = {i: cls.server.add(i, m) for i, m in sorted(MESSAGES.items())}
        cls.envs = {JAPANESE: locale_env(JAPANESE), WESTERN: locale_env(WESTERN)}
        # The Western prefix gets a virtual desktop of its own, on top of the
        # Japanese one; it goes with its wineserver at the end.
        before = desktops(cls.envs[WESTERN])
        cls.desktop = subprocess.Popen([WINE, "explorer", "/desktop=shell,1024x768"],
                                       env=cls.envs[WESTERN], stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: desktops(cls.envs[WESTERN]) > before, 20)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        for lang in (JAPANESE, WESTERN):
            set_mailbox_path(None, cls.envs[lang])
        subprocess.run([cls.envs[WESTERN]["WINESERVER"], "-k"], env=cls.envs[WESTERN])
        cls.desktop.wait(timeout=30)

    def check_in_folder(self, lang, name):
        env = self.envs[lang]
        root = tempfile.mkdtemp(prefix="paths-", dir=TMP)
        self.addCleanup(shutil.rmtree, root, True)
        folder = os.path.join(root, name)
        os.makedirs(folder)
        # The stand-in mail client: two accounts, each with its own received ids.
        mailbox = os.path.join(root, "Corvel " + name)
        for n, (title, known) in enumerate((("仕事", [1]), ("私用", [1, 2])), 1):
            account = os.path.join(mailbox, "Mailbox", "Account%d" % n)
            os.makedirs(account)
            with open(os.path.join(account, "Account.ini"), "wb") as f:
                f.write(("[Property]\r\nTitle=%s\r\nNotDelete=1\r\nOldPopper=0\r\n" % title)
                        .encode("cp932"))
            with open(os.path.join(account, "Uidl"), "wb") as f:
                f.write(b"".join(self.uids[i].encode() + b"\r\n" for i in known))
        set_mailbox_path(mailbox, env)
        # The chosen account's folder in its stored form: code page 932, "?" for
        # what that code page cannot hold.
        account_path = (to_windows(mailbox) + "\\Mailbox\\Account2").encode("cp932", "replace")
        ini = (b'[NETWORK]\r\nPopAddress="127.0.0.1"\r\nPopAcount="user"\r\nPopPort=%d\r\n'
               b'[OTHER]\r\nLOG=1\r\nIconChange=1\r\nAccountTitle="%s"\r\nAccountPath="%s"\r\n'
               % (self.server.port, "私用".encode("cp932"), account_path))
        z = Zepho(folder=folder, env=env)
        self.addCleanup(z.stop)
        with open(z.ini_path, "wb") as f:
            f.write(ini)
        before = len(self.server.sent())
        z.start()

        # No password stored: it is asked for, then saved beside the program.
        self.assertEqual(run_driver("wait", PROMPT, "30", env=env)[0], 0, "no password prompt")
        if lang == WESTERN and name == FOLDERS[-1]:
            screenshot(env, "western-password-prompt")
        run_driver("settext", PROMPT, "secret", env=env)
        run_driver("key", PROMPT, "enter", env=env)
        self.assertEqual(run_driver("gone", PROMPT, "10", env=env)[0], 0)

        # The walk stops at the first id in the chosen account's Uidl, message 2;
        # the other account's list would have taken it on to message 1.
        expected = ["USER user", "PASS secret", "STAT", "UIDL 3", "TOP 3 0", "UIDL 2", "TOP 2 0",
                    "QUIT"]
        sent = wait_until(lambda: len(self.server.sent()) >= before + len(expected) and
                          self.server.sent()[before:], 30)
        self.assertEqual(sent, expected)
        log = wait_until(lambda: b"QUIT" in z.log() and z.log(), 10)
        self.assertIn(b"UIDL 2\r\r\n", log or b"<no ZEPHO.LOG>")

        with open(z.ini_path, "rb") as f:
            saved = f.read()
        self.assertIn(b"RecvSleep=0\r\n", saved)
        self.assertIn(b"Passwd=" + stored_password("secret").encode("latin-1") + b"\r\n", saved)
        # The account's title and folder go back with the bytes they had.
        self.assertIn(b'AccountTitle="' + "私用".encode("cp932") + b'"\r\n', saved)
        self.assertIn(b'AccountPath="' + account_path + b'"\r\n', saved)
        self.assertEqual(z.close_box(), 0)

    def test_check_from_a_folder_of_any_name(self):
        for lang in (JAPANESE, WESTERN):
            for name in FOLDERS:
                with self.subTest(lang=lang, folder=name):
                    self.check_in_folder(lang, name)

    def test_settings_window_on_a_western_windows(self):
        env = self.envs[WESTERN]
        root = tempfile.mkdtemp(prefix="paths-", dir=TMP)
        self.addCleanup(shutil.rmtree, root, True)
        folder = os.path.join(root, FOLDERS[-1])
        os.makedirs(folder)
        set_mailbox_path(None, env)
        z = Zepho(folder=folder, env=env)
        self.addCleanup(z.stop)
        z.start()
        self.assertEqual(run_driver("wait", SETTINGS, "30", env=env)[0], 0, "no settings window")
        time.sleep(0.5)
        screenshot(env, "western-settings-window")
        self.assertEqual(z.ini(), "[OTHER]\r\nRecvSleep=0\r\n")
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
