"""Checking that survives sleep and a lost network. After a wake-up (the
WM_POWERBROADCAST messages Windows sends, posted to the application window)
one check follows at once. A server name that resolved before and resolves no
more is an outage: no box, no settings window, the icon stays in the tray, and
the check is tried again 30 s later, at once when the system reports a new
address, and succeeds once the name is back. A name that never resolved is
still reported."""
import os
import shutil
import tempfile
import time
import unittest

from harness import (Dovecot, E2ETest, PrivateHosts, ini_for, private_resolver_missing,
                     run_driver, tray_icon, wait_until)

NO_RESOLVER = private_resolver_missing()
MESSAGE = b"From: Boss <boss@example.jp>\r\nTo: user@example.jp\r\nSubject: wake\r\n\r\nhi\r\n"
SETTINGS = "ZEPHO設定"
WM_POWERBROADCAST, PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMRESUMEAUTOMATIC = 0x218, 4, 7, 0x12
MSG_NETWORK_CHANGED = 0x40B


def post(message, wparam):
    code, _ = run_driver("post", "ZEPHOApplication", hex(message), hex(wparam))
    return code == 0


def sleep_and_wake():
    """What Windows tells a program around a sleep: suspend, then both resumes."""
    return all(post(WM_POWERBROADCAST, w)
               for w in (PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND))


class OfflineTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.server = Dovecot()
        cls.server.add(1, MESSAGE)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="zepho-offline-", dir=os.environ.get("ZEPHO_E2E_TMP"))

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.folder, ignore_errors=True)

    def ini(self, address, minutes=99):
        """One check at start-up, then one an interval later: any other check
        within a test comes from a wake-up, a retry or a new address."""
        return ini_for(self.server.port, extra="PopTime=%d\nIconChange=1\n" % minutes).replace(
            'PopAddress="127.0.0.1"', 'PopAddress="%s"' % address)

    @staticmethod
    def checks(z):
        """Checks that reached the server and quit."""
        return z.log().count(b"QUIT\r\r\n+OK")

    def test_a_wake_up_brings_one_check(self):
        z = self.zepho(self.ini("127.0.0.1")).start()
        self.assertTrue(wait_until(lambda: self.checks(z) == 1, 20), z.log())
        woke = time.time()
        self.assertTrue(sleep_and_wake())
        self.assertTrue(wait_until(lambda: self.checks(z) == 2, 10), z.log())
        self.assertLess(time.time() - woke, 10)
        time.sleep(8)
        self.assertEqual(self.checks(z), 2, "the two resume messages count as one")
        self.assertEqual(z.close_box(), 0)

    @unittest.skipIf(NO_RESOLVER, "names of its own: %s" % NO_RESOLVER)
    def test_a_name_that_stops_resolving_is_an_outage(self):
        hosts = PrivateHosts(self.folder, ["127.0.0.1 pop.zepho.test"])
        z = self.zepho(self.ini("pop.zepho.test"), hosts=hosts).start()
        self.assertTrue(wait_until(lambda: self.checks(z) == 1, 20), z.log())
        self.assertIn('KnownServer="pop.zepho.test"', z.ini() or "")
        # The name server no longer knows it (a dead network may say just that).
        hosts.write([])
        self.assertTrue(sleep_and_wake())
        self.assertTrue(wait_until(lambda: z.log().count(b"NO ADDRESS") == 1, 15), z.log())
        failed = time.time()
        self.assertIn(b"NO ADDRESS: no such name (11001)\r\r\n", z.log())
        self.assertNotEqual(run_driver("wait", "ZEPHO", "4")[0], 0, "a box was shown")
        self.assertNotEqual(run_driver("state", SETTINGS)[1].strip(), "visible")
        self.assertEqual(tray_icon(), "main", "the icon stays in the tray")
        # Tried again about 30 s later, far sooner than the interval.
        self.assertTrue(wait_until(lambda: z.log().count(b"NO ADDRESS") == 2, 45), z.log())
        self.assertGreater(time.time() - failed, 25)
        self.assertNotEqual(run_driver("state", SETTINGS)[1].strip(), "visible")
        # The name is back; the system reports a new address: a check at once.
        hosts.write(["127.0.0.1 pop.zepho.test"])
        back = time.time()
        self.assertTrue(post(MSG_NETWORK_CHANGED, 0))
        self.assertTrue(wait_until(lambda: self.checks(z) == 2, 10), z.log())
        self.assertLess(time.time() - back, 10)
        self.assertEqual(self.server.mail_commands()[-3:], ["STAT", "TOP 1 0", "QUIT"])
        self.assertEqual(z.close_box(), 0)

    @unittest.skipIf(NO_RESOLVER, "names of its own: %s" % NO_RESOLVER)
    def test_a_name_that_never_resolved_is_reported(self):
        hosts = PrivateHosts(self.folder)
        z = self.zepho(self.ini("pop.zepho.test"), hosts=hosts).start()
        code, text = run_driver("msgbox", "30")
        self.assertEqual(code, 0, "no box")
        self.assertIn("IP ADDRESSの取得に失敗しました", text)
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        self.assertNotIn("KnownServer", z.ini() or "")
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
