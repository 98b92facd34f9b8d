"""The settings window and the check-address editor, used as a user does: typing
into the boxes, clicking, pressing keys, reading the message boxes and the
saved ZEPHO.ini."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import (Dovecot, E2ETest, FaultServer, ini_for, keys, open_tray_menu, run_driver,
                     set_mailbox_path, stored_password, to_windows, tray_icon, wait_until)

SETTINGS = "ZEPHO設定"
EDITOR = "ZEPHO - チェックアドレスの設定"
PROMPT = "ZEPHO - パスワード入力"
FIRST_FILE = "[OTHER]\r\nRecvSleep=0\r\n"

# Control numbers (resources/resource.h).
POPADRESS, POPPORT, POPACOUNT, PASSEDIT, POPTIME, UPDOWN1 = (
    "112", "114", "116", "118", "121", "122")
LISTVIEW, NEW_BUTTON, COMBOACCOUNT, ACCOUNTRELOAD = "132", "133", "150", "151"
COMBOTLS = "126"
CHECKBALLOON = "152"
EDITOR_HEADER, EDITOR_ADDRESS = "402", "404"


def message():
    """The text of the next message box "ZEPHO"; its OK is pressed."""
    code, text = run_driver("msgbox", "10")
    return text.strip() if code == 0 else None


def item(window, control):
    return run_driver("getitem", window, control)[1].rstrip("\r\n")


def focus(window):
    return run_driver("focus", window)[1].strip()


def state_of(window, control):
    return run_driver("state-of", window, control)[1].split()


def type_into(window, control, text):
    run_driver("setitem", window, control, text)


class SettingsWindowTest(E2ETest):
    def open_first_start(self, ini=None):
        z = self.zepho(ini).start()
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0, "settings window not shown")
        return z

    def test_required_edits_then_a_bad_port_then_a_bad_interval(self):
        z = self.open_first_start()
        self.assertEqual(focus(SETTINGS), "102", "OK has the focus at the first opening")
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(message(), "POPアドレスを入力して下さい", "only the first empty edit is told")
        self.assertEqual(wait_until(lambda: focus(SETTINGS) == POPADRESS, 5), True)

        type_into(SETTINGS, POPADRESS, "127.0.0.1")
        type_into(SETTINGS, POPPORT, "")
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(message(), "POPポートを入力して下さい")
        self.assertEqual(wait_until(lambda: focus(SETTINGS) == POPPORT, 5), True)

        type_into(SETTINGS, POPPORT, "11O")
        type_into(SETTINGS, POPACOUNT, "user")
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(message(), "'11O' は整数ではありません")
        type_into(SETTINGS, POPPORT, "110")
        type_into(SETTINGS, POPTIME, "x")
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(message(), "'x' は整数ではありません")
        self.assertEqual(run_driver("state", SETTINGS)[1].strip(), "visible")
        self.assertEqual(z.ini(), FIRST_FILE, "nothing saved")

        # The interval box takes two characters at most.
        type_into(SETTINGS, POPTIME, "")
        run_driver("type", SETTINGS, POPTIME, "123")
        self.assertEqual(wait_until(lambda: item(SETTINGS, POPTIME) == "12", 5), True,
                         item(SETTINGS, POPTIME))
        # A password of 44 bytes could not be stored: refused where it is typed.
        type_into(SETTINGS, PASSEDIT, "p" * 44)
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertIn("パスワードが長すぎます", message())
        self.assertEqual(wait_until(lambda: focus(SETTINGS) == PASSEDIT, 5), True)
        self.assertEqual(z.ini(), FIRST_FILE)
        self.assertEqual(z.close_box(), 0)

    def test_full_save_in_key_order_and_the_next_check_uses_it(self):
        folder = tempfile.mkdtemp(prefix="zepho-settings-")
        self.addCleanup(shutil.rmtree, folder, True)
        server = FaultServer("normal", folder)
        self.addCleanup(server.stop)
        z = self.open_first_start()
        run_driver("tab", SETTINGS, "0")
        type_into(SETTINGS, POPADRESS, "127.0.0.1")
        type_into(SETTINGS, POPPORT, str(server.port))
        type_into(SETTINGS, POPACOUNT, "user")
        type_into(SETTINGS, POPTIME, "7")
        run_driver("click", SETTINGS, "APOP認証する")
        run_driver("click", SETTINGS, "APOP認証する")  # and off again: USER/PASS
        run_driver("tab", SETTINGS, "2")
        run_driver("click", SETTINGS, "受信後自動振り分けする")
        self.assertEqual(wait_until(lambda: state_of(SETTINGS, "147") == ["enabled", "unchecked"],
                                    5), True, "the sorting rule enables NOZARI")
        run_driver("click", SETTINGS, "NOZARI.EXEを活用する")
        run_driver("click", SETTINGS, "ﾀｽｸﾄﾚｲｱｲｺﾝ変化で着信通知")
        self.assertEqual(wait_until(lambda: state_of(SETTINGS, "143") == ["disabled", "unchecked"],
                                    5), True, "the icon rule disables CheckBox1")
        # A new check address, made in the editor.
        run_driver("tab", SETTINGS, "1")
        run_driver("click", SETTINGS, "新規")
        self.assertEqual(run_driver("wait", EDITOR, "10")[0], 0)
        run_driver("click", EDITOR, "ＯＫ")
        self.assertEqual(message(), "ヘッダを設定して下さい")
        type_into(EDITOR, EDITOR_HEADER, "From:")
        run_driver("click", EDITOR, "ＯＫ")
        self.assertEqual(message(), "チェックアドレスを設定して下さい")
        self.assertEqual(item(EDITOR, EDITOR_HEADER), "From:", "what was typed survives the message")
        type_into(EDITOR, EDITOR_ADDRESS, " boss@example.jp")
        run_driver("click", EDITOR, "ＯＫ")
        self.assertEqual(run_driver("gone", EDITOR, "10")[0], 0)
        # Enter in the list opens the editor on the selected entry; Escape leaves it unchanged.
        run_driver("key", SETTINGS, "down", LISTVIEW)
        run_driver("key", SETTINGS, "enter", LISTVIEW)
        self.assertEqual(run_driver("wait", EDITOR, "10")[0], 0)
        self.assertEqual(item(EDITOR, EDITOR_ADDRESS), " boss@example.jp")
        type_into(EDITOR, EDITOR_ADDRESS, "changed")
        run_driver("key", EDITOR, "escape")
        self.assertEqual(run_driver("gone", EDITOR, "10")[0], 0)

        # No password: saved, then the prompt; the typed password starts a check at once.
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(run_driver("wait", PROMPT, "20")[0], 0)
        run_driver("settext", PROMPT, "secret")
        run_driver("key", PROMPT, "enter")
        self.assertEqual(run_driver("gone", PROMPT, "10")[0], 0)
        lines = wait_until(lambda: "QUIT" in server.lines() and server.lines(), 30)
        self.assertEqual(lines[1:3], ["USER user", "PASS secret"], lines)
        ini = wait_until(lambda: "Passwd=" + stored_password("secret") in (z.ini() or "") and z.ini(), 10)
        self.assertEqual(ini, (
            "[OTHER]\r\nRecvSleep=0\r\nInboxMove=0\r\nPopTime=7\r\nPopUpSetting=0\r\nNotPopup=0\r\n"
            "RecvDo=1\r\nRetrySearchToNozari=1\r\nIconChange=1\r\nAllIconChange=0\r\n"
            "AccountTitle=\"\"\r\nAccountPath=\"\"\r\n"
            "[NETWORK]\r\nPopAddress=\"127.0.0.1\"\r\nPopAcount=\"user\"\r\nPopPort=%d\r\n"
            "Apop=0\r\nPasswd=%s\r\n"
            # Written by the check that reached the server: it is known to exist.
            "KnownServer=\"127.0.0.1\"\r\n"
            "[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1=\"From:\"\r\n"
            "CheckString1+A=\" boss@example.jp\"\r\n" % (server.port, stored_password("secret"))))
        self.assertEqual(z.close_box(), 0)

    def test_security_box_suggests_the_port_and_is_saved_after_the_password(self):
        z = self.open_first_start()
        run_driver("tab", SETTINGS, "0")
        self.assertEqual([line.strip() for line in run_driver("items", SETTINGS, COMBOTLS)[1].splitlines()],
                         ["> なし", "STLSを使う", "SSL/TLS（POP3S）"])
        for control, text in ((POPADRESS, "127.0.0.1"), (POPACOUNT, "user"), (PASSEDIT, "abc")):
            type_into(SETTINGS, control, text)
        self.assertEqual(item(SETTINGS, POPPORT), "110")
        run_driver("combo", SETTINGS, COMBOTLS, "2")
        self.assertEqual(wait_until(lambda: item(SETTINGS, POPPORT) == "995", 5), True)
        run_driver("combo", SETTINGS, COMBOTLS, "1")
        self.assertEqual(wait_until(lambda: item(SETTINGS, POPPORT) == "110", 5), True)
        run_driver("combo", SETTINGS, COMBOTLS, "2")
        type_into(SETTINGS, POPPORT, "1995")  # any port can be typed
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        self.assertIn("\r\nPopPort=1995\r\nApop=0\r\nPasswd=HOJMLUNTP[R[\r\nTls=2\r\n", z.ini())
        self.assertEqual(z.close_box(), 0)

    def test_balloon_box_saves_the_key(self):
        z = self.open_first_start()
        for control, text in ((POPADRESS, "127.0.0.1"), (POPACOUNT, "user"), (PASSEDIT, "abc")):
            type_into(SETTINGS, control, text)
        run_driver("tab", SETTINGS, "2")
        self.assertEqual(state_of(SETTINGS, CHECKBALLOON), ["enabled", "unchecked"])
        run_driver("click", SETTINGS, "新着メールをバルーンで知らせる")
        self.assertEqual(wait_until(lambda: state_of(SETTINGS, CHECKBALLOON)[1] == "checked", 5),
                         True)
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        self.assertIn('\r\nAccountPath=""\r\nBalloon=1\r\n[NETWORK]\r\n', z.ini())
        self.assertEqual(z.close_box(), 0)

    def test_password_typed_in_the_window_is_stored_scrambled(self):
        z = self.open_first_start()
        for control, text in ((POPADRESS, "127.0.0.1"), (POPACOUNT, "user"), (PASSEDIT, "abc")):
            type_into(SETTINGS, control, text)
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        self.assertIn("\r\nPasswd=HOJMLUNTP[R[\r\n", z.ini())
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True, "back in the tray")
        self.assertEqual(z.close_box(), 0)

    def test_escape_stays_in_controls_and_cancels_on_the_window(self):
        ini = ('[NETWORK]\nPopAddress="127.0.0.1"\nPopAcount="user"\nPasswd=\n'
               '[CHECKADDRESS]\nSettingNumber=22\n' +
               "".join('CheckString%d="To:"\nCheckString%d+A="a%d"\n' % (i, i, i)
                       for i in range(1, 23)))
        z = self.zepho(ini).start()
        self.assertEqual(run_driver("wait", PROMPT, "20")[0], 0)
        run_driver("key", PROMPT, "escape")  # no password: on to the settings window
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        self.assertEqual(state_of(SETTINGS, NEW_BUTTON), ["disabled"],
                         "22 entries: no new one")
        before = z.ini()
        # On the OK button (the focus at the first opening) and in an edit box: nothing closes.
        run_driver("key", SETTINGS, "escape")
        run_driver("key", SETTINGS, "escape", POPADRESS)
        time.sleep(1.5)
        self.assertEqual(run_driver("state", SETTINGS)[1].strip(), "visible")
        # Reaching the window itself, Escape is Cancel: hidden, nothing saved.
        run_driver("key", SETTINGS, "escape", "window")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        self.assertEqual(run_driver("state", SETTINGS)[1].strip(), "hidden")
        self.assertEqual(z.ini(), before)
        self.assertEqual(wait_until(lambda: tray_icon() == "main", 10), True)
        self.assertEqual(z.close_box(), 0)

    def test_reopening_keeps_the_last_tab_and_the_focus(self):
        z = self.zepho('[NETWORK]\nPopAddress="127.0.0.1"\nPopAcount="user"\nPasswd=\n').start()
        # The prompt refuses a password that could not be stored, and stays.
        self.assertEqual(run_driver("wait", PROMPT, "20")[0], 0)
        run_driver("settext", PROMPT, "q" * 44)
        run_driver("key", PROMPT, "enter")
        self.assertIn("パスワードが長すぎます", message())
        self.assertEqual(run_driver("state", PROMPT)[1].strip(), "visible")
        run_driver("key", PROMPT, "escape")
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        self.assertEqual(run_driver("tab", SETTINGS)[1].strip(), "1", "first on the check addresses")
        self.assertEqual(focus(SETTINGS), "102")

        run_driver("tab", SETTINGS, "0")
        type_into(SETTINGS, PASSEDIT, "p" * 44)
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertIn("パスワードが長すぎます", message())
        self.assertEqual(wait_until(lambda: focus(SETTINGS) == PASSEDIT, 5), True)
        # OK with no password (the focus stays in the password box): saved, then
        # the prompt; giving it up opens the window again, as it was left.
        type_into(SETTINGS, PASSEDIT, "")
        run_driver("command", SETTINGS, "102")
        self.assertEqual(run_driver("wait", PROMPT, "20")[0], 0)
        run_driver("key", PROMPT, "escape")
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        self.assertEqual(run_driver("tab", SETTINGS)[1].strip(), "0", "the tab shown last")
        self.assertEqual(wait_until(lambda: focus(SETTINGS) == PASSEDIT, 5), True,
                         "OK has the focus only the first time: %s" % focus(SETTINGS))
        self.assertIn("\r\nPasswd=\r\n", z.ini())
        self.assertEqual(z.close_box(), 0)

    def test_interval_arrows_step_the_text_within_1_to_99(self):
        z = self.open_first_start("[OTHER]\nPopTime=98\n")
        run_driver("tab", SETTINGS, "0")
        x, y, w, h = (int(v) for v in run_driver("rect", SETTINGS, UPDOWN1)[1].split())

        def arrow(up, expect):
            subprocess.run(["xdotool", "mousemove", str(x + w // 2),
                            str(y + (h // 4 if up else 3 * h // 4)), "click", "1"], check=True)
            self.assertEqual(wait_until(lambda: item(SETTINGS, POPTIME) == expect, 5), True,
                             "%s: %s" % (expect, item(SETTINGS, POPTIME)))

        arrow(True, "99")
        arrow(True, "99")
        arrow(False, "98")
        type_into(SETTINGS, POPTIME, "1")
        arrow(False, "1")
        arrow(True, "2")
        # Not an integer: one click on either arrow, one box, the text as it was.
        type_into(SETTINGS, POPTIME, "ab")
        for up in (True, False, True):
            subprocess.run(["xdotool", "mousemove", str(x + w // 2),
                            str(y + (h // 4 if up else 3 * h // 4)), "click", "1"], check=True)
            self.assertEqual(message(), "'ab' は整数ではありません")
            code, again = run_driver("msgbox", "3")
            self.assertNotEqual(code, 0, "a second box for one click: %s" % again.strip())
            self.assertEqual(item(SETTINGS, POPTIME), "ab")
        subprocess.run(["xdotool", "mousemove", "0", "0"])
        type_into(SETTINGS, POPTIME, "5")
        arrow(True, "6")  # the arrows are not left pressed
        self.assertEqual(z.close_box(), 0)

    def test_a_refused_ok_then_cancel_or_escape_checks_with_the_files_settings(self):
        old = Dovecot("user", "secret")  # the server of the file
        self.addCleanup(old.stop)
        folder = tempfile.mkdtemp(prefix="zepho-refused-")
        self.addCleanup(shutil.rmtree, folder, True)
        typed = FaultServer("normal", folder)  # the one typed before the refused OK
        self.addCleanup(typed.stop)

        def logins():
            return [line for line in old.sent() if line.startswith(("USER", "PASS"))]

        # PopTime 0: every tick (30 s) is due once the window is left.
        z = self.zepho(ini_for(old.port, extra="PopTime=0\n")).start()
        self.assertTrue(wait_until(lambda: old.sent()[-1:] == ["QUIT"], 30), old.sent())
        # A refused interval (the port typed is taken), then a refused port
        # (the server, account and password typed are taken): each time the
        # user gives up, once by Cancel and once by Escape.
        for port, interval, leave in ((str(typed.port), "x", "cancel"), ("11O", "3", "escape")):
            with self.subTest(leave=leave):
                before = len(logins())
                self.assertIsNotNone(open_tray_menu(), "the menu did not open")
                keys("Down", "Down", "Return")  # 設定
                self.assertEqual(run_driver("wait", SETTINGS, "10")[0], 0)
                run_driver("tab", SETTINGS, "0")
                for control, text in ((POPADRESS, "127.0.0.1"), (POPPORT, port),
                                      (POPACOUNT, "taro"), (PASSEDIT, "NewSecret"),
                                      (POPTIME, interval)):
                    type_into(SETTINGS, control, text)
                run_driver("click", SETTINGS, "ＯＫ")
                self.assertEqual(message(), "'%s' は整数ではありません" % (
                    interval if leave == "cancel" else port))
                if leave == "cancel":
                    run_driver("click", SETTINGS, "キャンセル")
                else:
                    run_driver("key", SETTINGS, "escape", "window")
                self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
                self.assertTrue(wait_until(lambda: len(logins()) >= before + 2, 50), old.sent())
                self.assertEqual(logins()[before:], ["USER user", "PASS secret"])
                self.assertEqual(typed.lines(), [], "nothing reached the typed server")
        self.assertNotIn(b"NewSecret", z.log())
        self.assertNotIn("taro", z.ini())
        self.assertEqual(z.close_box(), 0)

    def test_hand_edited_long_list_is_saved_as_it_is(self):
        ini = ('[NETWORK]\nPopAddress="127.0.0.1"\nPasswd=%s\n'
               '[CHECKADDRESS]\nSettingNumber=22\n' % stored_password("secret") +
               "".join('CheckString%d="To:"\nCheckString%d+A="a%d"\n' % (i, i, i)
                       for i in range(1, 23)))
        z = self.open_first_start(ini)  # no account: the window opens at start-up
        type_into(SETTINGS, POPACOUNT, "user")
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        saved = z.ini()
        self.assertIn("SettingNumber=22\r\n", saved)
        self.assertIn('CheckString22+A="a22"\r\n', saved)
        self.assertEqual(z.close_box(), 0)

    def test_account_box_against_a_mailbox_folder(self):
        mailbox = tempfile.mkdtemp(prefix="zepho-corvel-")
        self.addCleanup(shutil.rmtree, mailbox, True)
        for name, title, server in (("Account1", "Home", "pop.home.example"),
                                    ("Account2", "Work", "pop.work.example")):
            os.makedirs(os.path.join(mailbox, "Mailbox", name))
            with open(os.path.join(mailbox, "Mailbox", name, "Account.ini"), "wb") as f:
                f.write(("[Property]\r\nTitle=%s\r\nPOP3Server=%s\r\nPOP3Port=0x6E\r\n"
                         "Account=%s.user\r\n" % (title, server, title.lower())).encode("cp932"))
        set_mailbox_path(mailbox)
        self.addCleanup(set_mailbox_path, None)

        z = self.open_first_start('[OTHER]\nAccountTitle="wORK"\n')
        items = run_driver("items", SETTINGS, COMBOACCOUNT)[1].splitlines()
        self.assertEqual(sorted(i.lstrip("> ") for i in items), ["Home", "Work"])
        self.assertIn("> Work", items, "chosen without regard to letter case")
        self.assertEqual(state_of(SETTINGS, ACCOUNTRELOAD), ["disabled"])

        type_into(SETTINGS, PASSEDIT, "typed")
        run_driver("combo", SETTINGS, COMBOACCOUNT, str(items.index("Home")))
        self.assertEqual(wait_until(lambda: state_of(SETTINGS, ACCOUNTRELOAD) == ["enabled"], 5),
                         True)
        run_driver("click", SETTINGS, "Account情報読込")
        self.assertEqual(wait_until(lambda: item(SETTINGS, POPADRESS) == "pop.home.example", 5),
                         True)
        self.assertEqual(item(SETTINGS, POPPORT), "110")
        self.assertEqual(item(SETTINGS, POPACOUNT), "home.user")
        self.assertEqual(item(SETTINGS, PASSEDIT), "", "the password box is emptied")
        self.assertEqual(state_of(SETTINGS, ACCOUNTRELOAD), ["disabled"])

        type_into(SETTINGS, PASSEDIT, "secret")
        run_driver("click", SETTINGS, "ＯＫ")
        self.assertEqual(run_driver("gone", SETTINGS, "10")[0], 0)
        saved = z.ini()
        self.assertIn('AccountTitle="Home"\r\n', saved)
        self.assertIn('AccountPath="%s\\Mailbox\\Account1"\r\n' % to_windows(mailbox), saved)
        self.assertIn('PopAddress="pop.home.example"\r\n', saved)
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
