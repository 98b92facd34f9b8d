"""The sign-in adapters end to end under Wine (tests/fixtures/oauth_driver):
the browser played by tests/fixtures/scripted_browser.py through Wine's
winebrowser, the stand-in provider (tests/fixtures/oauth_provider.py), the
refresh token under DPAPI in a file, and the XOAUTH2 login to Dovecot with
its oauth2 passdb checking the provider's JWTs."""
import json
import os
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import urllib.request

from harness import ROOT, UI_DRIVER, WINE, to_windows, wine_env
from tls_pki import Pki
from test_tls import CERT_STORE, cert_store

DRIVER = os.path.join(os.path.dirname(UI_DRIVER), "oauth_driver.exe") if UI_DRIVER else ""
BROWSER = os.path.join(ROOT, "tests", "fixtures", "scripted_browser.py")
ACCOUNT = "taro@example.jp"
BROWSER_KEY = r"HKCU\Software\Wine\WineBrowser"


def reg(*args):
    subprocess.run([WINE, "reg", *args], env=wine_env(), capture_output=True, timeout=60)


class Provider:
    """The stand-in provider on a free port; `tls` = (cert, key) for HTTPS."""

    def __init__(self, key_file, tls=None):
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "tests", "fixtures", "oauth_provider.py"),
             "--port", "0", "--key-file", key_file, "--client-id", "zepho-test-client",
             *(["--tls", *tls] if tls else [])], stdout=subprocess.PIPE)
        line = self.proc.stdout.readline().decode()
        if not line.startswith("PORT "):
            raise RuntimeError("provider did not start: %r" % line)
        self.port = int(line.split()[1])
        self.base = "%s://127.0.0.1:%d" % ("https" if tls else "http", self.port)

    def control(self, **settings):
        data = json.dumps(settings).encode() if settings else None
        # The test's own look at its stand-in: no certificate check needed.
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}), urllib.request.HTTPSHandler(
            context=ssl._create_unverified_context()))
        with opener.open(urllib.request.Request(self.base + "/control", data=data), timeout=10) as r:
            return json.loads(r.read())

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()


def driver(*args, timeout=120):
    r = subprocess.run([WINE, DRIVER, *args], env=dict(wine_env(), ZEPHO_BROWSER_RECORD=SignInTest.record),
                       capture_output=True, timeout=timeout)
    out = r.stdout.decode("utf-8", "replace")
    lines = {}
    for line in out.splitlines():
        key, _, value = line.partition(" ")
        lines.setdefault(key, value)
    return r.returncode, lines, out


@unittest.skipUnless(DRIVER and os.path.exists(DRIVER), "oauth_driver.exe not built")
class SignInTest(unittest.TestCase):
    record = ""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="zo.", dir="/tmp")
        os.chmod(cls.folder, 0o755)
        cls.key = os.path.join(cls.folder, "hs256.key")
        with open(cls.key, "wb") as f:
            f.write(os.urandom(32))
        cls.provider = Provider(cls.key)
        # Port 0: the script finds a free port itself and says which it got.
        out = subprocess.run(["bash", os.path.join(ROOT, "scripts", "dovecot.sh"), "start",
                              os.path.join(cls.folder, "dc"), "0", ACCOUNT, "unused-password",
                              "--oauth2", cls.provider.base, cls.key], check=True,
                             stdout=subprocess.PIPE, timeout=60).stdout.decode()
        cls.pop_port = int(re.search(r"^PORT ([0-9]+)$", out, re.M).group(1))
        reg("add", BROWSER_KEY, "/v", "Browsers", "/d", BROWSER, "/f")
        SignInTest.record = os.path.join(cls.folder, "browser.jsonl")

    @classmethod
    def tearDownClass(cls):
        reg("delete", BROWSER_KEY, "/v", "Browsers", "/f")
        subprocess.run(["bash", os.path.join(ROOT, "scripts", "dovecot.sh"), "stop",
                        os.path.join(cls.folder, "dc")], timeout=60)
        cls.provider.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.provider.control(invalid_grant=False, deny=False, dead_tokens=False, rotate=True,
                              expires_in=3600)
        self.store = os.path.join(self.folder, self.id().rsplit(".", 1)[1] + ".token")
        if os.path.exists(self.record):
            os.remove(self.record)

    def visits(self):
        with open(self.record, encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def sign_in(self):
        code, lines, out = driver("sign-in", self.provider.base, "zepho-test-client", ACCOUNT,
                                  to_windows(self.store))
        self.assertEqual(code, 0, out)
        return lines, out

    def check(self):
        return driver("check", self.provider.base, "zepho-test-client", ACCOUNT,
                      to_windows(self.store), str(self.pop_port))

    def test_sign_in_then_checks_with_rotated_refresh_tokens(self):
        before = self.provider.control()["counters"]
        lines, out = self.sign_in()
        self.assertEqual(lines["BROWSER"], "opened")
        self.assertEqual(lines["LISTENER"], "Code")
        self.assertEqual(lines["TOKEN"], "Ready")
        self.assertEqual(lines["STORED"], "yes")
        # The browser went to the provider with PKCE and came back to our listener.
        visit = self.visits()[0]
        asked = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(visit["url"]).query))
        self.assertEqual(asked["code_challenge_method"], "S256")
        self.assertEqual(asked["login_hint"], ACCOUNT)
        self.assertTrue(asked["redirect_uri"].startswith("http://127.0.0.1:"), asked)
        self.assertTrue(visit["final"].startswith(asked["redirect_uri"] + "?"), visit)
        self.assertEqual(visit["status"], 200)
        self.assertIn("このタブは閉じてかまいません", visit["page"])
        # The verifier never went through the browser.
        self.assertNotIn("code_verifier", visit["url"])
        after = self.provider.control()["counters"]
        self.assertEqual(after["code_exchanges"], before["code_exchanges"] + 1)

        with open(self.store) as f:
            stored = f.read()
        # Later checks: no browser; each refresh rotates the token, stored at once.
        for _ in range(2):
            code, lines, out = self.check()
            self.assertEqual(code, 0, out)
            self.assertEqual(lines["UNPROTECTED"], "yes")
            self.assertEqual(lines["TOKEN"], "Ready")
            self.assertEqual(lines["STORED"], "yes")
            self.assertEqual(lines["LOGIN"], "LoggedIn")
            self.assertTrue(lines["STAT"].startswith("+OK"), out)
            self.assertIn("SENT AUTH XOAUTH2", out)
            with open(self.store) as f:
                now = f.read()
            self.assertNotEqual(now, stored, "the rotated token replaced the old one")
            stored = now
        self.assertEqual(len(self.visits()), 1, "the browser was opened once")
        self.assertEqual(self.provider.control()["counters"]["refreshes"], after["refreshes"] + 2)

    def test_refused_grant_means_sign_in_again(self):
        self.sign_in()
        self.provider.control(invalid_grant=True)
        code, lines, out = self.check()
        self.assertNotEqual(code, 0)
        self.assertEqual(lines["TOKEN"], "SignInAgain invalid_grant")
        self.assertNotIn("LOGIN", lines, "no login is tried")

    def test_token_the_server_refuses(self):
        self.sign_in()
        self.provider.control(dead_tokens=True)
        code, lines, out = self.check()
        self.assertNotEqual(code, 0)
        self.assertEqual(lines["TOKEN"], "Ready")
        # Dovecot answers the expired JWT with its JSON challenge, then -ERR.
        self.assertEqual(lines["LOGIN"], "Refused", out)
        self.assertEqual(out.count("SENT "), 3, out)

    def test_denied_in_the_browser(self):
        self.provider.control(deny=True)
        code, lines, out = driver("sign-in", self.provider.base, "zepho-test-client", ACCOUNT,
                                  to_windows(self.store))
        self.assertNotEqual(code, 0)
        self.assertEqual(lines["LISTENER"], "Error access_denied")
        self.assertIn("できませんでした", self.visits()[0]["page"])
        self.assertFalse(os.path.exists(self.store))

    def test_no_token_in_the_output(self):
        lines, out = self.sign_in()
        code, lines, out2 = self.check()
        requests = self.provider.control()["requests"]
        self.assertTrue(any(r.get("grant_type") == "refresh_token" for r in requests))
        # A JWT starts "eyJ"; the driver printed none.
        for text in (out, out2):
            self.assertNotIn("eyJ", text)
            self.assertNotIn("auth=Bearer", text)


@unittest.skipUnless(DRIVER and os.path.exists(DRIVER) and CERT_STORE, "fixtures not built")
class TokenEndpointTlsTest(unittest.TestCase):
    """The token endpoint over HTTPS: the certificate is checked as for POP3."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="zt.", dir="/tmp")
        pki = Pki(cls.folder)
        cls.root = pki.ca_der
        key = os.path.join(cls.folder, "hs256.key")
        with open(key, "wb") as f:
            f.write(os.urandom(32))
        cls.good = Provider(key, pki.signed("good", "localhost"))
        cls.other = Provider(key, pki.signed("other", "idp.example.org"))
        cls.untrusted = Provider(key, pki.self_signed("untrusted", "localhost"))
        if cert_store("add", cls.root) != 0:
            raise RuntimeError("cannot trust the test root")

    @classmethod
    def tearDownClass(cls):
        cert_store("remove", cls.root)
        for provider in (cls.good, cls.other, cls.untrusted):
            provider.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def post(self, provider):
        return driver("post", "https://localhost:%d/token" % provider.port, "zepho-test-client",
                      timeout=60)

    def test_trusted_certificate_for_the_name(self):
        code, lines, out = self.post(self.good)
        self.assertEqual(code, 0, out)
        self.assertEqual(lines["ENDPOINT"], "Answered")
        self.assertEqual(lines["STATUS"], "400 invalid_grant")

    def test_certificate_for_another_name_is_refused(self):
        code, lines, out = self.post(self.other)
        self.assertNotEqual(code, 0)
        self.assertTrue(lines["ENDPOINT"].startswith("Failed TLS FAILED"), out)
        self.assertEqual(self.other.control()["counters"]["refused"], 0, "nothing reached it")

    def test_untrusted_certificate_is_refused(self):
        code, lines, out = self.post(self.untrusted)
        self.assertNotEqual(code, 0)
        self.assertTrue(lines["ENDPOINT"].startswith("Failed TLS FAILED"), out)


if __name__ == "__main__":
    unittest.main()
