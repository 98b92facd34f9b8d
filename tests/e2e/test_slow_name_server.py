"""A name server that never answers: while the server's name is looked up the
program answers at once (its window takes messages within a second, the tray
menu opens), the check ends at the look-up's bound (15 s, before the C
library's own 30 s here), and the next check comes by itself. The name never
resolved, so the user is told, as for a typing error."""
import os
import shutil
import tempfile
import time
import unittest

from harness import (E2ETest, PrivateHosts, ini_for, keys, open_tray_menu,
                     private_resolver_missing, run_driver)

NO_RESOLVER = private_resolver_missing()
SETTINGS = "ZEPHO設定"


@unittest.skipIf(NO_RESOLVER, "names of its own: %s" % NO_RESOLVER)
class SlowNameServerTest(E2ETest):
    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="zepho-slowns-", dir=os.environ.get("ZEPHO_E2E_TMP"))

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.folder, ignore_errors=True)

    def answers(self):
        """The program's window handles a message within a second."""
        return run_driver("answers", "ZEPHOApplication", "1000")[0] == 0

    def test_the_program_answers_while_a_look_up_hangs(self):
        ini = ini_for(110, extra="PopTime=1\n").replace('PopAddress="127.0.0.1"',
                                                        'PopAddress="pop.hang.zepho.test"')
        z = self.zepho(ini, hosts=PrivateHosts(self.folder), resolver_options="timeout:30 attempts:1")
        started = time.time()
        z.start()
        deadline = started + 20
        while not self.answers():
            self.assertLess(time.time(), deadline, "the program did not come up")
            time.sleep(0.2)
        up = time.time()
        # The first check looks the name up from the start: probe while it hangs.
        probes = 0
        while time.time() - up < 8:
            self.assertTrue(self.answers(), "no answer within a second, %.1f s in" % (time.time() - up))
            probes += 1
        self.assertGreater(probes, 5)
        shown = time.time()
        self.assertTrue(open_tray_menu(), "the tray menu did not open")
        self.assertLess(time.time() - shown, 3)
        keys("Escape")
        # The look-up's bound ends the check: the name never resolved, so the box.
        code, text = run_driver("msgbox", "30")
        ended = time.time() - started
        self.assertEqual(code, 0, "no box")
        self.assertIn("IP ADDRESSの取得に失敗しました", text)
        self.assertGreater(ended, 14)
        self.assertLess(ended, 29, "ended by the look-up's bound, not the C library's time-out")
        self.assertIn(b"NO ADDRESS: look-up timed out\r\r\n", z.log())
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        run_driver("click", SETTINGS, "キャンセル")
        # The next check, an interval later, hangs and ends the same way.
        cancelled = time.time()
        code, text = run_driver("msgbox", "110", timeout=120)
        self.assertEqual(code, 0, "no second check")
        self.assertIn("IP ADDRESSの取得に失敗しました", text)
        self.assertGreater(time.time() - cancelled, 60)
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
