"""What arrived: the results window read from its list view as a user's tools
would, "コピー" on the clipboard, "今すぐチェック" from the tray menu, and the
balloon with Balloon=1 (and none without it)."""
import base64
import os
import re
import time
import unittest

from harness import (TO_CHECK_NOW, TO_RESULTS, Dovecot, E2ETest, balloons, clipboard, ini_for,
                     keys, list_view, open_tray_menu, run_driver, screenshot, tray_icon,
                     wait_until)

RESULTS = "ZEPHO - チェック結果"
STATUS, LIST = "501", "502"  # resources/resource.h
NIN_BALLOONUSERCLICK = "1029"
CHECK_ADDRESS = ('[CHECKADDRESS]\nSettingNumber=1\nCheckString1="From:"\n'
                 'CheckString1+A="boss@example.jp"\n')
COLUMNS = ["No.", "状態", "条件", "差出人", "件名", "日付"]


def word(text, charset="ISO-2022-JP"):
    data = text.encode("iso2022_jp" if charset == "ISO-2022-JP" else charset)
    return "=?%s?B?%s?=" % (charset, base64.b64encode(data).decode())


def message(sender, subject, date):
    return ("From: %s\r\nSubject: %s\r\nDate: %s\r\n\r\nbody\r\n" % (sender, subject, date)).encode()


# From the oldest: the walk meets 3 (new), then 2 (new, matching: it stops).
MESSAGES = [
    message("someone@example.org", "weekly report", "Mon, 6 May 2024 09:00:00 +0900"),
    message(word("山田部長") + " <boss@example.jp>", word("会議の件について"),
            "Mon, 6 May 2024 10:00:00 +0900"),
    # A display name that would turn the address around.
    message('"' + word("Mallory \u202etxt.exe", "UTF-8") + '" <mallory@example.net>',
            word("お知らせ ①㈱", "UTF-8"), "Mon, 6 May 2024 11:00:00 +0900"),
]
ROW_3 = ["3", "新着", "", "Mallory \ufffdtxt.exe <mallory@example.net>", "お知らせ ①㈱",
         "Mon, 6 May 2024 11:00:00 +0900"]
ROW_2 = ["2", "新着・通知", "From: boss@example.jp", "山田部長 <boss@example.jp>", "会議の件について",
         "Mon, 6 May 2024 10:00:00 +0900"]
BALLOON_LINES = ("山田部長 <boss@example.jp> — 会議の件について|"
                 "Mallory \ufffdtxt.exe <mallory@example.net> — お知らせ ①㈱")
STATUS_LINE = re.compile(r"^最終チェック: \d{4}/\d\d/\d\d \d\d:\d\d:\d\d\u3000(.*)$")


class ResultsTest(E2ETest):
    def setUp(self):
        super().setUp()
        self.server = Dovecot("user", "secret")
        self.addCleanup(self.server.stop)
        for i, m in enumerate(MESSAGES, 1):
            self.server.add(i, m)

    def logins(self):
        return sum(1 for line in self.server.sent() if line == "USER user")

    def checked(self, extra):
        """A copy that has finished its first check."""
        z = self.zepho(ini_for(self.server.port, extra=extra) + CHECK_ADDRESS).start()
        self.assertTrue(wait_until(lambda: self.logins() == 1 and self.server.sent()[-1] == "QUIT",
                                   30))
        return z

    def choose(self, *names):
        self.assertIsNotNone(open_tray_menu(), "the menu did not open")
        keys(*names)

    def status(self):
        return run_driver("getitem", RESULTS, STATUS)[1].rstrip("\r\n")

    def test_window_rows_copy_and_check_now(self):
        z = self.checked("IconChange=1\n")
        self.assertEqual(wait_until(lambda: tray_icon() == "recv", 10), True, tray_icon())
        # No balloon without the key: it would show 2 s after the check.
        time.sleep(4)
        self.assertEqual(balloons(), [])

        self.choose(*TO_RESULTS)
        self.assertEqual(run_driver("wait", RESULTS, "10")[0], 0, "the window did not open")
        self.assertEqual(list_view(RESULTS, LIST), [COLUMNS, ROW_3, ROW_2])
        status = self.status()
        self.assertEqual(STATUS_LINE.match(status).group(1), "新着 2通（通知 1通）", status)
        screenshot(os.path.join(z.dir, "..", "results-window.png"))

        run_driver("click", RESULTS, "コピー")
        expected = "\r\n".join([status] + ["\t".join(r) for r in (ROW_3, ROW_2)])
        self.assertEqual(wait_until(lambda: clipboard() == expected, 5), True, clipboard())

        # A new message, then "check now" with the window left open: the check
        # comes at once (the interval is 3 minutes) and the window shows it.
        self.server.add(4, message("news@example.com", "=?utf-8?q?caf=C3=A9?=", "Tue, 7 May 2024"))
        started = time.time()
        self.choose(*TO_CHECK_NOW)
        self.assertTrue(wait_until(lambda: self.logins() == 2 and self.server.sent()[-1] == "QUIT",
                                   20), "no check at once")
        self.assertLess(time.time() - started, 20)
        row_4 = ["4", "新着", "", "news@example.com", "café", "Tue, 7 May 2024"]
        self.assertEqual(wait_until(lambda: list_view(RESULTS, LIST) == [COLUMNS, row_4, ROW_3, ROW_2],
                                    10), True, list_view(RESULTS, LIST))
        self.assertEqual(STATUS_LINE.match(self.status()).group(1), "新着 3通（通知 1通）")

        # Escape in the list closes it; it opens again with the same check.
        run_driver("key", RESULTS, "escape", LIST)
        self.assertEqual(run_driver("gone", RESULTS, "10")[0], 0)
        self.choose(*TO_RESULTS)
        self.assertEqual(run_driver("wait", RESULTS, "10")[0], 0)
        self.assertEqual(len(list_view(RESULTS, LIST)), 4)
        run_driver("click", RESULTS, "閉じる")
        self.assertEqual(run_driver("gone", RESULTS, "10")[0], 0)
        self.assertNotIn("Balloon", z.ini(), "the file keeps exactly its keys")
        self.assertEqual(z.close_box(), 0)

    def test_balloon_names_the_new_mail_and_its_click_opens_the_window(self):
        z = self.checked("IconChange=1\nBalloon=1\n")
        self.assertEqual(wait_until(lambda: BALLOON_LINES in balloons(), 10), True, balloons())
        screenshot(os.path.join(z.dir, "..", "balloon.png"))
        self.assertEqual(tray_icon(), "recv")
        # Wine's tray sends nothing when its balloon is clicked: the shell's
        # message is posted as Windows would send it.
        self.assertEqual(run_driver("tray", "ZEPHOApplication", NIN_BALLOONUSERCLICK)[0], 0)
        self.assertEqual(run_driver("wait", RESULTS, "10")[0], 0, "the window did not open")
        self.assertEqual(list_view(RESULTS, LIST), [COLUMNS, ROW_3, ROW_2])
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
