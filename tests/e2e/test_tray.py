"""The tray icon's clicks and its menu, used like a user with the mouse and the keys."""
import os
import tempfile
import time
import unittest

from harness import (CORVEL, TO_CHECK_NOW, TO_EXIT, TO_PAUSE, TO_SETTINGS, TO_VERSION, Dovecot, E2ETest,
                     FaultServer, StandIn, click_tray_icon, ini_for, keys, open_tray_menu,
                     run_driver, tray_icon, wait_until)

SETTINGS = "ZEPHO設定"
VERSION = "バージョン情報"
RESTORE = "main WM_SYSCOMMAND 61728 0"
RECEIVE = "main WM_COMMAND 32835 0"


class TrayTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.server = Dovecot("user", "secret")
        cls.server.add(1, b"From: someone@example.org\r\nSubject: x\r\n\r\nx\r\n")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="tray-", dir=os.environ.get("ZEPHO_E2E_TMP"))

    def logins(self):
        return sum(1 for line in self.server.sent() if line == "USER user")

    def started(self, extra="IconChange=1\n"):
        """A copy that has finished its first check."""
        before = self.logins()
        z = self.zepho(ini_for(self.server.port, extra=extra)).start()
        self.assertTrue(wait_until(lambda: self.logins() > before and
                                   self.server.sent()[-1] == "QUIT", 30))
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True, tray_icon())
        return z

    def choose(self, *names):
        self.assertIsNotNone(open_tray_menu(), "the menu did not open")
        keys(*names)

    def test_every_menu_item_by_keyboard(self):
        # PopTime 0: every tick (30 s) is due.
        z = self.started("IconChange=1\nPopTime=0\n")
        # Pause: the stop picture at once, and the due check is skipped.
        self.choose(*TO_PAUSE)
        self.assertEqual(wait_until(lambda: tray_icon() == "stop", 5), True, tray_icon())
        logins = self.logins()
        time.sleep(34)
        self.assertEqual(self.logins(), logins, "a check ran while paused")
        self.assertEqual(tray_icon(), "stop")
        # Resume.
        self.choose(*TO_PAUSE)
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 5), True, tray_icon())
        # Settings: the window, and the icon leaves the tray until it is closed.
        self.choose(*TO_SETTINGS)
        self.assertEqual(run_driver("wait", SETTINGS, "10")[0], 0)
        self.assertEqual(tray_icon(), "none")
        run_driver("click", SETTINGS, "キャンセル")
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True, tray_icon())
        # Version.
        self.choose(*TO_VERSION)
        self.assertEqual(run_driver("wait", VERSION, "10")[0], 0)
        run_driver("key", VERSION, "escape")
        self.assertEqual(run_driver("gone", VERSION, "10")[0], 0)
        # Exit.
        self.choose(*TO_EXIT)
        self.assertEqual(z.wait_exit(), 0)
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 5), True)

    def test_during_a_check_the_menu_is_grey_and_the_left_click_does_nothing(self):
        corvel = StandIn(CORVEL, self.folder, "corvel")
        self.addCleanup(corvel.stop)
        server = FaultServer("stall_greeting", self.folder)  # the check stays open
        self.addCleanup(server.stop)
        z = self.zepho(ini_for(server.port, extra="IconChange=1\n")).start()
        self.assertTrue(wait_until(lambda: "--- connection" in server.lines(), 20))
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True, tray_icon())
        # Exit and pause are greyed: Enter on them does nothing.
        self.choose("Up", "Return")
        time.sleep(1)
        keys(*TO_PAUSE[:-1], "Return", "Escape")
        time.sleep(1)
        keys("Escape")
        # "Check now" too: no second connection.
        self.choose(*TO_CHECK_NOW)
        time.sleep(2)
        keys("Escape")
        self.assertEqual(server.lines().count("--- connection"), 1)
        self.assertTrue(z.running())
        self.assertEqual(tray_icon(), "main")
        click_tray_icon(1)
        time.sleep(2)
        self.assertEqual(corvel.received(), [])
        self.assertEqual(z.close_box(), 0)

    def test_left_click_between_checks_brings_the_client_up(self):
        corvel = StandIn(CORVEL, self.folder, "corvel")
        self.addCleanup(corvel.stop)
        z = self.started()
        click_tray_icon(1)
        self.assertTrue(wait_until(lambda: len(corvel.received()) >= 3, 10), corvel.received())
        self.assertEqual(corvel.received(), [RESTORE, RECEIVE, RECEIVE])
        # From the submenu: the client into its tray, then "pop up" brings it back.
        self.choose("Down", "Down", "Down", "Right", "Return")  # "TaskTrayへ"
        self.assertTrue(wait_until(lambda: len(corvel.received()) >= 4, 10), corvel.received())
        self.assertEqual(corvel.received()[3], "main WM_COMMAND 32828 0")
        self.choose("Down", "Down", "Down", "Right", "Down", "Down", "Return")  # "ポップアップ"
        self.assertTrue(wait_until(lambda: len(corvel.received()) >= 5, 10), corvel.received())
        self.assertEqual(corvel.received()[4], "tray 1247 1 515")
        self.assertEqual(z.close_box(), 0)

    def test_exit_while_the_client_is_awaited_ends_the_program_cleanly(self):
        # This client never shows its window: the left click waits for it (10 s at most).
        corvel = StandIn(CORVEL, self.folder, "corvel", "--hidden", "--stay-hidden")
        self.addCleanup(corvel.stop)
        z = self.started()
        click_tray_icon(1)
        self.assertTrue(wait_until(lambda: corvel.received(), 10))
        started = time.time()
        self.choose(*TO_EXIT)
        self.assertEqual(z.wait_exit(timeout=20), 0)
        self.assertLess(time.time() - started, 8, "the wait went on to its bound")
        time.sleep(1)
        self.assertEqual(corvel.received(), ["tray 1247 1 515"], "nothing is sent afterwards")
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 5), True)

    def test_icon_comes_back_when_the_taskbar_is_created_again(self):
        z = self.started()
        # The shell lost its icons (as when it restarts), then says it is back.
        self.assertEqual(run_driver("untray", "ZEPHOApplication")[0], 0)
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 5), True, tray_icon())
        run_driver("broadcast", "TaskbarCreated")
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 5), True, tray_icon())
        # While the settings window is shown the icon stays out.
        self.choose(*TO_SETTINGS)
        self.assertEqual(run_driver("wait", SETTINGS, "10")[0], 0)
        run_driver("broadcast", "TaskbarCreated")
        time.sleep(1)
        self.assertEqual(tray_icon(), "none")
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
