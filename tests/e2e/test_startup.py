"""Start-up, the settings window and the ways out, as a user meets them."""
import os
import tempfile
import unittest

from harness import E2ETest, run_driver, tray_icon, wait_until

SETTINGS = "ZEPHO設定"


class StartupTest(E2ETest):
    def test_first_start_shows_settings_and_creates_the_file(self):
        z = self.zepho().start()
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0, "settings window not shown")
        self.assertEqual(z.ini(), "[OTHER]\r\nRecvSleep=0\r\n")
        self.assertEqual(tray_icon(), "none", "no tray icon while the settings window is up")
        # The close box ends the program; nothing is written on the way out.
        self.assertEqual(z.close_box(), 0)
        self.assertEqual(z.ini(), "[OTHER]\r\nRecvSleep=0\r\n")
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 5), True)

    def test_started_elsewhere_uses_the_file_beside_the_program(self):
        z = self.zepho("[OTHER]\nPopTime=7\n")
        elsewhere = tempfile.mkdtemp(prefix="zepho-cwd-")
        z.start(cwd=elsewhere)
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        self.assertEqual(z.ini(), "[OTHER]\r\nPopTime=7\r\nRecvSleep=0\r\n")
        self.assertEqual(os.listdir(elsewhere), [], "nothing is written into the working folder")
        self.assertEqual(z.close_box(), 0)
        os.rmdir(elsewhere)

    def test_cancel_and_escape_go_to_the_tray_without_saving(self):
        z = self.zepho().start()
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        run_driver("click", SETTINGS, "キャンセル")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True)
        self.assertEqual(z.ini(), "[OTHER]\r\nRecvSleep=0\r\n")
        z.close_box()
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 10), True,
                         "the close box leaves no tray icon")

    def test_escape_on_the_window_hides_it(self):
        z = self.zepho().start()
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        # Escape reaching the window itself (on a control it stays there).
        run_driver("key", SETTINGS, "escape", "window")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        self.assertEqual(run_driver("state", SETTINGS)[1].strip(), "hidden")
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True)
        self.assertEqual(z.close_box(), 0)

    def test_version_window_and_quit_button(self):
        z = self.zepho().start()
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        run_driver("click", SETTINGS, "バージョン")
        self.assertEqual(run_driver("wait", "バージョン情報", "10")[0], 0)
        code, text = run_driver("text", "バージョン情報")
        self.assertIn("ZEPHO Version 1.01.06b", text)
        self.assertIn("Corvel32専用 Biff Soft", text)
        run_driver("key", "バージョン情報", "escape")
        self.assertEqual(run_driver("gone", "バージョン情報", "10")[0], 0)
        run_driver("click", SETTINGS, "終了")
        self.assertEqual(z.wait_exit(), 0)
        self.assertEqual(wait_until(lambda: tray_icon() == "none", 5), True)


if __name__ == "__main__":
    unittest.main()
