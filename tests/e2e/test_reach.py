"""Any address a user types. A server on ::1 only is reached by "::1", by
"[::1]" and by a name that resolves to ::1 only; a silent listener on 127.0.0.1
at the same port would hold a check that went there until its time-out. A name
of ::1 and 127.0.0.1, with the server on 127.0.0.1 only, is checked at once.
Over TLS, a server given as an address passes with a certificate that lists
the address and is refused with one that names only a host."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import (WINE, Dovecot, E2ETest, PrivateHosts, SilentListener, ini_for,
                     private_resolver_missing, run_driver, wait_until, wine_env)
from tls_pki import Pki

CERT_STORE = os.environ.get("ZEPHO_CERT_STORE", "")
MESSAGE = b"From: Boss <boss@example.jp>\r\nTo: user@example.jp\r\nSubject: reach\r\n\r\nhi\r\n"
NO_RESOLVER = private_resolver_missing()


def ini_at(address, port, extra=""):
    """Settings for the server `address` (as typed); one check, then a long interval."""
    return ini_for(port, extra="PopTime=99\n" + extra).replace(
        'PopAddress="127.0.0.1"', 'PopAddress="%s"' % address)


class ReachTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="zepho-reach-", dir=os.environ.get("ZEPHO_E2E_TMP"))
        cls.v6 = Dovecot(listen="::1")
        cls.v6.add(1, MESSAGE)
        cls.decoy = SilentListener("127.0.0.1", cls.v6.port)
        cls.v4 = Dovecot()
        cls.v4.add(1, MESSAGE)

    @classmethod
    def tearDownClass(cls):
        cls.decoy.stop()
        cls.v6.stop()
        cls.v4.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def check_completes(self, z, server, within):
        """The copy's first check walks the mailbox and quits within `within` s."""
        start = time.time()
        z.start()
        log = wait_until(lambda: b"QUIT\r\r\n+OK" in z.log() and z.log(), within + 10)
        elapsed = time.time() - start
        self.assertTrue(log, z.log())
        self.assertLess(elapsed, within, "the check took %.1f s" % elapsed)
        self.assertEqual(server.mail_commands()[-3:], ["STAT", "TOP 1 0", "QUIT"])
        self.assertEqual(z.close_box(), 0)
        return log

    def test_an_ipv6_address_with_or_without_brackets(self):
        for typed in ("::1", "[::1]"):
            with self.subTest(typed):
                z = self.zepho(ini_at(typed, self.v6.port))
                self.check_completes(z, self.v6, 15)
                z.stop()
        self.assertEqual(self.decoy.connections(), 0, "nothing went to 127.0.0.1")

    @unittest.skipIf(NO_RESOLVER, "names of its own: %s" % NO_RESOLVER)
    def test_a_name_of_ipv6_only(self):
        hosts = PrivateHosts(self.folder, ["::1 v6only.zepho.test"])
        z = self.zepho(ini_at("v6only.zepho.test", self.v6.port), hosts=hosts)
        self.check_completes(z, self.v6, 15)
        self.assertEqual(self.decoy.connections(), 0, "nothing went to 127.0.0.1")

    @unittest.skipIf(NO_RESOLVER, "names of its own: %s" % NO_RESOLVER)
    def test_a_name_of_both_with_the_server_on_ipv4_only(self):
        # ::1 comes first and refuses: 127.0.0.1 is tried at once.
        hosts = PrivateHosts(self.folder, ["::1 dual.zepho.test", "127.0.0.1 dual.zepho.test"])
        z = self.zepho(ini_at("dual.zepho.test", self.v4.port), hosts=hosts)
        self.check_completes(z, self.v4, 10)


class ReachOverTlsTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="zepho-reach-tls-")
        pki = Pki(cls.folder)
        cls.root = pki.ca_der
        if subprocess.run([WINE, CERT_STORE, "add", "Z:" + cls.root.replace("/", "\\")],
                          env=wine_env(), capture_output=True, timeout=60).returncode != 0:
            raise RuntimeError("cannot trust the test root")
        cls.listed = Dovecot(tls=pki.signed("ips", None, ips=["127.0.0.1", "::1"]))
        cls.listed.add(1, MESSAGE)
        cls.named = Dovecot(tls=pki.signed("named", "localhost"))

    @classmethod
    def tearDownClass(cls):
        cls.listed.stop()
        cls.named.stop()
        subprocess.run([WINE, CERT_STORE, "remove", "Z:" + cls.root.replace("/", "\\")],
                       env=wine_env(), capture_output=True, timeout=60)
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_a_certificate_that_lists_the_address_passes(self):
        z = self.zepho(ini_at("127.0.0.1", self.listed.tls_port, "IconChange=1\n").replace(
            "[OTHER]", "Tls=2\n[OTHER]")).start()
        log = wait_until(lambda: b"QUIT\r\r\n+OK" in z.log() and z.log(), 30)
        self.assertTrue(log, z.log())
        self.assertIn(b"certificate verified\r\r\n", log)
        self.assertEqual(z.close_box(), 0)

    def test_a_certificate_for_a_host_name_only_is_refused(self):
        z = self.zepho(ini_at("127.0.0.1", self.named.tls_port).replace(
            "[OTHER]", "Tls=2\n[OTHER]")).start()
        self.assertEqual(run_driver("wait", "ZEPHO", "30")[0], 0, "no message box")
        text = run_driver("text", "ZEPHO")[1]
        for t in ["TLS接続に失敗しました", "127.0.0.1", "別の名前", "パスワードは送信していません"]:
            self.assertIn(t, text)
        run_driver("key", "ZEPHO", "enter")
        self.assertEqual(run_driver("wait", "ZEPHO設定", "20")[0], 0)
        self.assertIn(b"TLS FAILED: certificate for another name", z.log())
        for word in (b"USER", b"PASS"):
            self.assertNotIn(word, self.named.wire())
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
