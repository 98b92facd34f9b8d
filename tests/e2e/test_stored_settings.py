"""What the program keeps on disk, on a Japanese and on a Western Windows: a
password typed into the prompt survives a restart byte for byte, a read-only
ZEPHO.ini keeps its bytes and says so, and ZEPHO.LOG holds no password and
turns over past its bound."""
import os
import subprocess
import unittest

from harness import (WINE, Dovecot, Zepho, locale_env, run_driver, stored_password, to_windows,
                     wait_until)

JAPANESE, WESTERN = "ja_JP.UTF-8", "en_US.UTF-8"  # ANSI code pages 932 and 1252
# Sixteen letters and digits, as a mail provider's app password: its stored form
# is no valid code page 932 text.
PASSWORD = "k7Qz2Wm9Xr4Tb8Ln"
PROMPT = "ZEPHO - パスワード入力"
DESKTOP = "shell - Wine desktop"
LOG_BOUND = 1 << 20


def desktops(env):
    r = subprocess.run(["xdotool", "search", "--name", DESKTOP], env=env, capture_output=True)
    return len(r.stdout.split())


def settings_file(port, extra=b""):
    return (b'[NETWORK]\r\nPopAddress="127.0.0.1"\r\nPopAcount="user"\r\nPopPort=%d\r\n'
            b'[OTHER]\r\nRecvSleep=0\r\nLOG=1\r\n%s' % (port, extra))


def read(path):
    with open(path, "rb") as f:
        return f.read()


class StoredSettingsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Dovecot("user", PASSWORD)
        cls.envs = {JAPANESE: locale_env(JAPANESE), WESTERN: locale_env(WESTERN)}
        # The Western prefix gets a virtual desktop of its own; it goes with its
        # wineserver at the end.
        before = desktops(cls.envs[WESTERN])
        cls.desktop = subprocess.Popen([WINE, "explorer", "/desktop=shell,1024x768"],
                                       env=cls.envs[WESTERN], stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: desktops(cls.envs[WESTERN]) > before, 20)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        subprocess.run([cls.envs[WESTERN]["WINESERVER"], "-k"], env=cls.envs[WESTERN])
        cls.desktop.wait(timeout=30)

    def logins(self):
        return [line for line in self.server.sent() if line.startswith(("USER ", "PASS "))]

    def next_login(self, before, timeout=30):
        """The USER and PASS lines of the next login after `before` logins."""
        wait_until(lambda: len(self.logins()) >= before + 2, timeout)
        return self.logins()[before:before + 2]

    def copy(self, lang, ini):
        z = Zepho(env=self.envs[lang])
        self.addCleanup(z.stop)
        with open(z.ini_path, "wb") as f:
            f.write(ini)
        return z

    def password_survives_a_restart(self, lang):
        env = self.envs[lang]
        z = self.copy(lang, settings_file(self.server.port))
        # A log just past its bound from earlier checks.
        earlier = b"+OK earlier check\r\r\n" * (LOG_BOUND // 20 + 1)
        with open(z.log_path, "wb") as f:
            f.write(earlier)

        before = len(self.logins())
        z.start()
        self.assertEqual(run_driver("wait", PROMPT, "30", env=env)[0], 0, "no password prompt")
        run_driver("settext", PROMPT, PASSWORD, env=env)
        run_driver("key", PROMPT, "enter", env=env)
        self.assertEqual(run_driver("gone", PROMPT, "10", env=env)[0], 0)
        self.assertEqual(self.next_login(before), ["USER user", "PASS " + PASSWORD])
        self.assertIn(b"\r\nPasswd=" + stored_password(PASSWORD).encode("latin-1") + b"\r\n",
                      read(z.ini_path))

        # The log turned over before this check: the earlier one is ZEPHO.LOG.1
        # as it was, and the new one holds this check with its password masked.
        log = wait_until(lambda: b"QUIT" in z.log() and z.log(), 10)
        self.assertTrue(log, "no ZEPHO.LOG")
        self.assertTrue(read(z.log_path + ".1") == earlier, "ZEPHO.LOG.1 is not the earlier log")
        self.assertTrue(log.startswith(b"+OK"), log[:80])
        self.assertIn(b"\r\r\nUSER user\r\r\n+OK", log)
        self.assertIn(b"\r\r\nPASS ********\r\r\n+OK", log)
        self.assertNotIn(PASSWORD.encode(), log)
        self.assertLess(len(log), 4096)
        self.assertEqual(z.close_box(), 0)

        # Started again: no prompt, and the stored password logs in.
        before = len(self.logins())
        z.start()
        self.assertEqual(self.next_login(before), ["USER user", "PASS " + PASSWORD])
        self.assertEqual(run_driver("state", PROMPT, env=env)[1].strip(), "none")
        log = wait_until(lambda: z.log().count(b"QUIT") == 2 and z.log(), 10)
        self.assertTrue(log, z.log()[-200:])
        self.assertNotIn(PASSWORD.encode(), log + read(z.log_path + ".1"))
        self.assertEqual(z.close_box(), 0)

    def read_only_file_keeps_its_bytes(self, lang):
        env = self.envs[lang]
        ini = settings_file(self.server.port)
        z = self.copy(lang, ini)
        os.chmod(z.ini_path, 0o444)
        self.addCleanup(os.chmod, z.ini_path, 0o644)
        before = len(self.logins())
        z.start()
        self.assertEqual(run_driver("wait", PROMPT, "30", env=env)[0], 0, "no password prompt")
        run_driver("settext", PROMPT, PASSWORD, env=env)
        run_driver("key", PROMPT, "enter", env=env)
        code, text = run_driver("msgbox", "20", env=env)
        self.assertEqual(code, 0, "no message box")
        self.assertEqual(text.strip(), to_windows(z.ini_path) + " に書き込めません")
        # The password typed serves this run all the same.
        self.assertEqual(self.next_login(before), ["USER user", "PASS " + PASSWORD])
        self.assertEqual(read(z.ini_path), ini)
        self.assertEqual(sorted(os.listdir(z.dir)), ["ZEPHO.LOG", "ZEPHO.exe", "ZEPHO.ini"],
                         "no temporary file left beside it")
        self.assertEqual(z.close_box(), 0)

    def test_password_typed_into_the_prompt_survives_a_restart(self):
        for lang in (JAPANESE, WESTERN):
            with self.subTest(lang=lang):
                self.password_survives_a_restart(lang)

    def test_read_only_settings_file_keeps_its_bytes_and_says_so(self):
        for lang in (JAPANESE, WESTERN):
            with self.subTest(lang=lang):
                self.read_only_file_keeps_its_bytes(lang)


if __name__ == "__main__":
    unittest.main()
