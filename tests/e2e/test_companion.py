"""Driving the mail client and NOZARI: stand-ins that own the windows ZEPHO looks
for and record every message they receive."""
import os
import tempfile
import time
import unittest

from harness import (CORVEL, NOZARI, Dovecot, E2ETest, StandIn, click_tray_icon, ini_for,
                     run_driver, tray_icon, wait_until)

MATCHING = b"From: Boss <boss@example.jp>\r\nTo: user@example.jp\r\nSubject: hi\r\n\r\nhi\r\n"
CHECK_BOSS = '[CHECKADDRESS]\nSettingNumber=1\nCheckString1="From:"\nCheckString1+A="boss@example.jp"\n'
RESTORE = "main WM_SYSCOMMAND 61728 0"  # SC_RESTORE
RECEIVE = "main WM_COMMAND 32835 0"
FROM_TRAY = "tray 1247 1 515"


class CompanionTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.server = Dovecot("user", "secret")
        cls.server.add(1, MATCHING)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="standins-", dir=os.environ.get("ZEPHO_E2E_TMP"))

    def standin(self, exe, name, *args):
        s = StandIn(exe, self.folder, name, *args)
        self.addCleanup(s.stop)
        return s

    def start(self, other):
        return self.zepho(ini_for(self.server.port, extra=other) + CHECK_BOSS).start()

    def logins(self):
        return sum(1 for line in self.server.sent() if line == "USER user")

    def test_matching_mail_brings_the_client_up_receives_sorts_and_tells_nozari(self):
        corvel = self.standin(CORVEL, "corvel", "--grey-ms", "1500", "--sort-ms", "1500")
        nozari = self.standin(NOZARI, "nozari")
        z = self.start("IconChange=0\nRecvDo=1\nInboxMove=1\nRetrySearchToNozari=1\n")
        self.assertTrue(wait_until(lambda: nozari.received(), 30), corvel.received())
        messages = [m for m in corvel.received() if m.split()[1] != "enabled"]
        # Wine keeps a program's menus to that program: GetSubMenu on the client's
        # menu bar fails here, so the steps that hand over a submenu
        # (WM_INITMENUPOPUP, the server item test) are left out and the sort comes
        # at once. Those steps are tested on a window of the test's own
        # (tests/win32) and against the fake window system.
        self.assertEqual(messages, [RESTORE, "main WM_COMMAND 11000 0", RECEIVE, RECEIVE,
                                    "main WM_COMMAND 32825 0", "main sorted 0 0"])
        ticks = dict((what, tick) for tick, what in corvel.entries())
        # NOZARI hears of it once the sorting window has gone.
        self.assertEqual(nozari.received(), ["nozari WM_COMMAND 2 0"])
        self.assertGreaterEqual(nozari.entries()[0][0], ticks["main sorted 0 0"])
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True, tray_icon())
        self.assertEqual(z.close_box(), 0)

    def test_confirmation_box_first_then_the_client_comes_from_its_tray(self):
        corvel = self.standin(CORVEL, "corvel", "--hidden")
        z = self.start("IconChange=0\nPopUpSetting=1\n")
        self.assertEqual(run_driver("wait", "ZEPHO", "30")[0], 0)
        self.assertIn("メールが届いています Corvel32を起動しますか？", run_driver("text", "ZEPHO")[1])
        time.sleep(0.5)
        self.assertEqual(corvel.received(), [], "nothing before the user said OK")
        run_driver("key", "ZEPHO", "enter")
        wait_until(lambda: len(corvel.received()) >= 3, 15)
        self.assertEqual(corvel.received(), [FROM_TRAY, RECEIVE, RECEIVE])
        self.assertEqual(run_driver("state", "Corvel32 - [受信箱]")[1].strip(), "visible")
        self.assertEqual(z.close_box(), 0)

    def test_hung_client_does_not_hold_the_program(self):
        corvel = self.standin(CORVEL, "corvel", "--hung")
        before = self.logins()
        # PopTime 0: every tick of 30 s is due.
        z = self.start("IconChange=0\nPopTime=0\n")
        self.assertTrue(wait_until(lambda: self.logins() > before, 30))
        # The first send to the client cannot be handled; the program answers all the same.
        self.assertTrue(wait_until(lambda: run_driver("answers", "ZEPHOApplication", "1000")[0] == 0,
                                   15))
        self.assertTrue(wait_until(lambda: self.logins() > before + 1, 50),
                        "the next check did not come")
        self.assertEqual(corvel.running(), True)
        self.assertEqual(z.close_box(), 0)

    def test_client_closed_while_awaited_ends_the_wait(self):
        z = self.start("IconChange=1\n")
        self.assertEqual(wait_until(lambda: tray_icon() == "recv", 30), True, tray_icon())
        # This client ends when asked to come out of its tray: the wait for its
        # window to show has nothing left to wait for.
        first = self.standin(CORVEL, "first", "--hidden", "--exit-on-restore")
        click_tray_icon(1)
        self.assertTrue(wait_until(lambda: not first.running(), 15), first.received())
        self.assertEqual(first.received()[0], FROM_TRAY)
        gone = time.time()
        second = self.standin(CORVEL, "second")
        time.sleep(1)  # a click while the taskbar takes in the new window can be lost
        click_tray_icon(1)
        # Within the 10 s bound of that wait: it ended when the window went.
        self.assertTrue(wait_until(lambda: len(second.received()) >= 3, 8),
                        "the second click was refused: %s" % second.received())
        self.assertLess(time.time() - gone, 10)
        self.assertEqual(second.received(), [RESTORE, RECEIVE, RECEIVE])
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True, tray_icon())
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
