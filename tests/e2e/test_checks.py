"""Checks against a real Dovecot, from start-up to the tray icon."""
import os
import re
import shutil
import tempfile
import unittest

from harness import (Dovecot, E2ETest, ini_for, run_driver, set_mailbox_path, stored_password,
                     tray_icon, wait_until)

MESSAGES = {
    1: b"From: Old Sender <old@example.org>\r\nTo: user@example.jp\r\nSubject: old\r\n\r\nold\r\n",
    2: b"From: Boss <boss@example.jp>\r\nTo: user@example.jp\r\nSubject: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?=\r\n\r\nhi\r\n",
    3: b"From: News <news@example.org>\r\nTo: user@example.jp\r\nSubject: news\r\n\r\nthe body text\r\n",
}
CHECK_BOSS = '[CHECKADDRESS]\nSettingNumber=1\nCheckString1="From:"\nCheckString1+A="boss@example.jp"\n'


class CheckTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.server = Dovecot("user", "secret")
        cls.uids = {i: cls.server.add(i, m) for i, m in sorted(MESSAGES.items())}

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        super().setUp()
        self.before = len(self.server.sent())
        set_mailbox_path(None)
        self.addCleanup(set_mailbox_path, None)

    def new_commands(self, count, timeout=30):
        """The next `count` lines the server received from this test on."""
        lines = wait_until(lambda: len(self.server.sent()) >= self.before + count and
                           self.server.sent(), timeout)
        return (lines or self.server.sent())[self.before:]

    def test_user_pass_check_shows_matching_mail_in_the_tray(self):
        z = self.zepho(ini_for(self.server.port, extra="IconChange=1\n") + CHECK_BOSS).start()
        sent = self.new_commands(6)
        self.assertEqual(sent, ["USER user", "PASS secret", "STAT", "TOP 3 0", "TOP 2 0", "QUIT"])
        self.assertEqual(wait_until(lambda: tray_icon() == "recv", 15), True, tray_icon())
        log = wait_until(lambda: b"QUIT" in z.log() and z.log(), 10)
        # A plain transcript; the C library writes each LF of a CR LF as CR LF.
        self.assertTrue(log.startswith(b"+OK"), log[:80])
        for piece in (b"USER user\r\r\n", b"PASS ********\r\r\n", b"TOP 2 0\r\r\n",
                      b"From: Boss <boss@example.jp>\r\r\n", b"QUIT\r\r\n"):
            self.assertIn(piece, log)
        self.assertNotIn(b"secret", log, "the password never reaches the log")
        self.assertNotIn(b"the body text", log, "bodies are never fetched")
        self.assertEqual(z.close_box(), 0)
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 10), True)

    def test_apop_with_the_clients_received_list_stops_at_the_first_known_id(self):
        mailbox = tempfile.mkdtemp(prefix="zepho-corvel-")
        self.addCleanup(shutil.rmtree, mailbox, True)
        account = os.path.join(mailbox, "Mailbox", "Account1")
        os.makedirs(account)
        with open(os.path.join(account, "Account.ini"), "wb") as f:
            f.write("[Property]\r\nTitle=仕事\r\nNotDelete=1\r\nOldPopper=0\r\n".encode("cp932"))
        with open(os.path.join(account, "Uidl"), "wb") as f:
            f.write(("%s\r\n%s\r\n" % (self.uids[1], self.uids[2])).encode())
        set_mailbox_path(mailbox)

        z = self.zepho(ini_for(self.server.port, extra="IconChange=1\nAllIconChange=1\n",
                               apop=1)).start()
        sent = self.new_commands(7)
        self.assertEqual(len(sent), 7, sent)
        self.assertRegex(sent[0], r"^APOP user [0-9a-f]{32}$")
        self.assertEqual(sent[1:], ["STAT", "UIDL 3", "TOP 3 0", "UIDL 2", "TOP 2 0", "QUIT"])
        # One new message, matching no check address: the other-mail picture.
        self.assertEqual(wait_until(lambda: tray_icon() == "other", 15), True, tray_icon())
        # The digest, which with the greeting's timestamp would let the password
        # be guessed offline, is masked in the log like the password.
        log = wait_until(lambda: b"QUIT" in z.log() and z.log(), 10)
        self.assertIn(b"\r\r\nAPOP user ********\r\r\n+OK", log)
        self.assertNotIn(sent[0].split()[2].encode(), log)
        # The only account became the chosen one; it is saved with the settings later.
        self.assertEqual(z.close_box(), 0)

    def test_wrong_password_is_asked_for_again_and_saved(self):
        z = self.zepho(ini_for(self.server.port, password="wrong", extra="IconChange=1\n")).start()
        self.assertEqual(run_driver("wait", "ZEPHO", "30")[0], 0)
        code, text = run_driver("text", "ZEPHO")
        self.assertIn("パスワードが違います", text)
        run_driver("key", "ZEPHO", "enter")
        prompt = "ZEPHO - パスワード入力"
        self.assertEqual(run_driver("wait", prompt, "20")[0], 0)
        run_driver("settext", prompt, "secret")
        run_driver("key", prompt, "enter")
        self.assertEqual(run_driver("gone", prompt, "10")[0], 0)
        sent = self.new_commands(7)
        self.assertEqual(sent[:2], ["USER user", "PASS wrong"])
        self.assertEqual(sent[2:7], ["USER user", "PASS secret", "STAT", "TOP 3 0", "TOP 2 0"])
        ini = wait_until(lambda: "Passwd=" + stored_password("secret") in (z.ini() or "") and z.ini(), 10)
        self.assertTrue(ini, z.ini())
        self.assertEqual(z.close_box(), 0)

    def test_missing_password_is_asked_first_and_escape_opens_the_settings(self):
        z = self.zepho(ini_for(self.server.port, password="")).start()
        prompt = "ZEPHO - パスワード入力"
        self.assertEqual(run_driver("wait", prompt, "30")[0], 0)
        self.assertEqual(self.server.sent()[self.before:], [], "no connection before a password")
        run_driver("key", prompt, "escape")
        self.assertEqual(run_driver("wait", "ZEPHO設定", "20")[0], 0)
        self.assertEqual(self.server.sent()[self.before:], [])
        self.assertEqual(tray_icon(), "none")
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
