"""Checks over TLS against Dovecot with certificates made by the test: TLS from
the first byte and STLS, with USER/PASS and APOP; certificates refused for their
name, their issuer or their dates, and STLS refused, each with its message and
with no password on the wire; a self-signed certificate accepted by its pin."""
import os
import shutil
import subprocess
import tempfile
import unittest

import time

from harness import (WINE, Dovecot, E2ETest, SilentListener, ini_for, run_driver,
                     wait_until, wine_env)
from tls_pki import Pki, fingerprint

CERT_STORE = os.environ.get("ZEPHO_CERT_STORE", "")
MESSAGE = b"From: Boss <boss@example.jp>\r\nTo: user@example.jp\r\nSubject: tls\r\n\r\nhi\r\n"
BOX, SETTINGS = "ZEPHO", "ZEPHO設定"


def cert_store(action, der):
    return subprocess.run([WINE, CERT_STORE, action, "Z:" + der.replace("/", "\\")],
                          env=wine_env(), capture_output=True, timeout=60).returncode


def tls_ini(port, mode, extra="", apop=0):
    """Settings for a server reached as localhost, the name its certificate bears."""
    return ini_for(port, apop=apop, extra="IconChange=1\n" + extra).replace(
        'PopAddress="127.0.0.1"', 'PopAddress="localhost"').replace(
        "[OTHER]", "Tls=%d\n[OTHER]" % mode)


class TlsTest(E2ETest):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="zepho-pki-")
        pki = Pki(cls.folder)
        cls.root = pki.ca_der
        good = pki.signed("good", "localhost")
        cls.certs = {
            "name": pki.signed("other", "mail.example.org"),
            "expired": pki.signed("expired", "localhost", ("20200101000000Z", "20200201000000Z")),
            "untrusted": pki.self_signed("untrusted", "localhost"),
        }
        # The test root is trusted in this prefix only while these tests run.
        if cert_store("add", cls.root) != 0:
            raise RuntimeError("cannot trust the test root")
        cls.servers = []
        cls.good = cls.server(tls=good)
        cls.good.add(1, MESSAGE)
        # The server's issuer is to be fetched from a server that never answers.
        cls.silent = SilentListener("127.0.0.1")
        cls.hidden_issuer = cls.server(tls=pki.behind_an_intermediate(
            "hidden", "localhost",
            "http://127.0.0.1:%d/zepho-%d-%d.crt" % (cls.silent.port,
                                                     os.getpid(), int(time.time()))))
        cls.bad = {k: cls.server(tls=v) for k, v in cls.certs.items()}
        cls.bad["untrusted"].add(1, MESSAGE)
        cls.plain = cls.server()

    @classmethod
    def server(cls, tls=None):
        s = Dovecot("user", "secret", tls=tls)
        cls.servers.append(s)
        return s

    @classmethod
    def tearDownClass(cls):
        for s in cls.servers:
            s.stop()
        cls.silent.stop()
        cert_store("remove", cls.root)
        shutil.rmtree(cls.folder, ignore_errors=True)

    def check_completes(self, z, server, login):
        log = wait_until(lambda: b"QUIT" in z.log() and z.log(), 30)
        self.assertTrue(log, z.log())
        self.assertIn(login, log)
        self.assertTrue(wait_until(lambda: server.mail_commands() == ["STAT", "TOP 1 0", "QUIT"], 10),
                        server.mail_commands())
        # The login went over the wire inside TLS only.
        wire = server.wire()
        for word in (b"USER", b"PASS", b"APOP", b"secret"):
            self.assertNotIn(word, wire)
        return log

    def test_tls_from_the_first_byte_with_user_and_pass(self):
        z = self.zepho(tls_ini(self.good.tls_port, 2)).start()
        log = self.check_completes(z, self.good, b"PASS ********\r\r\n")
        self.assertTrue(log.startswith(b"TLS: TLS 1.2, "), log[:120])
        self.assertIn(b"CN=localhost, certificate verified\r\r\n+OK", log)
        self.assertEqual(z.close_box(), 0)

    def test_stls_with_apop_uses_the_greetings_timestamp(self):
        z = self.zepho(tls_ini(self.good.port, 1, apop=1)).start()
        log = self.check_completes(z, self.good, b"\r\r\nAPOP user ")
        self.assertRegex(log, rb"^\+OK [^\r]*<[^>]+@[^>]+>\r\r\nSTLS\r\r\n\+OK[^\r]*\r\r\nTLS: TLS 1\.2")
        self.assertIn(b"STLS\r\n\x16\x03", self.good.wire(), "the handshake follows STLS")
        self.assertEqual(z.close_box(), 0)

    def test_stls_with_user_and_pass(self):
        z = self.zepho(tls_ini(self.good.port, 1)).start()
        self.check_completes(z, self.good, b"PASS ********\r\r\n")
        self.assertEqual(z.close_box(), 0)

    def expect_refusal(self, z, server, texts):
        self.assertEqual(run_driver("wait", BOX, "30")[0], 0, "no message box")
        text = run_driver("text", BOX)[1]
        for t in ["TLS接続に失敗しました", "localhost", "パスワードは送信していません", *texts]:
            self.assertIn(t, text)
        run_driver("key", BOX, "enter")
        # As after a connection that could not be made: the settings window.
        self.assertEqual(run_driver("wait", SETTINGS, "20")[0], 0)
        self.assertIn(b"TLS FAILED: ", z.log())
        self.assertNotIn(b"PASS", z.log())
        for word in (b"USER", b"PASS", b"APOP"):
            self.assertNotIn(word, server.wire())
        self.assertEqual(z.close_box(), 0)

    def test_refused_certificates_show_reason_and_fingerprint(self):
        reasons = {"name": "別の名前", "expired": "有効期間外", "untrusted": "信頼されていません"}
        for kind, reason in reasons.items():
            with self.subTest(kind):
                server = self.bad[kind]
                # The other name over STLS, the others from the first byte.
                mode, port = (1, server.port) if kind == "name" else (2, server.tls_port)
                z = self.zepho(tls_ini(port, mode))
                z.start()
                self.expect_refusal(z, server, [reason, fingerprint(self.certs[kind][0])])
                z.stop()

    def test_an_issuer_that_never_comes_costs_only_the_checks_bound(self):
        # Building the chain fetches the missing issuer, whose server never
        # answers: the window answers all the while, and the check's bound
        # ends the wait with what the machine has, which cannot trust it.
        z = self.zepho(tls_ini(self.hidden_issuer.tls_port, 2)).start()
        started = time.time()
        self.assertTrue(wait_until(lambda: run_driver("answers", "ZEPHOApplication", "1000")[0] == 0,
                                   20))
        while run_driver("state", BOX)[1].strip() != "visible":
            self.assertLess(time.time() - started, 30, "no box")
            self.assertEqual(run_driver("answers", "ZEPHOApplication", "1000")[0], 0,
                             "no answer within a second, %.1f s in" % (time.time() - started))
        self.assertGreater(time.time() - started, 8, "the fetch was waited for, boundedly")
        self.expect_refusal(z, self.hidden_issuer, ["信頼されていません"])

    def test_stls_refused_by_the_server(self):
        z = self.zepho(tls_ini(self.plain.port, 1)).start()
        self.expect_refusal(z, self.plain, ["STLSを受け付けませんでした"])
        self.assertTrue(self.plain.wire().startswith(b"STLS\r\n"), self.plain.wire()[:40])

    def test_self_signed_certificate_accepted_by_its_pin(self):
        pin = fingerprint(self.certs["untrusted"][0]).replace(":", "").lower()
        z = self.zepho(tls_ini(self.bad["untrusted"].tls_port, 2,
                               extra="").replace("Tls=2\n", "Tls=2\nTlsCertSha256=%s\n" % pin)).start()
        log = self.check_completes(z, self.bad["untrusted"], b"PASS ********\r\r\n")
        self.assertIn(b"certificate accepted by its fingerprint", log)
        self.assertEqual(z.close_box(), 0)


if __name__ == "__main__":
    unittest.main()
