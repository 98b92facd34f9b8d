"""Certificates for the TLS tests, made with openssl in a folder of the test's:
a test root, server certificates it signed (for localhost, for another name,
for addresses, expired) and a self-signed one that nothing trusts."""
import os
import subprocess

CA_CONFIG = """[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
policy = any
default_md = sha256
unique_subject = no
[any]
commonName = supplied
"""


def openssl(folder, *args):
    subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True, timeout=60)


class Pki:
    def __init__(self, folder):
        self.dir = folder
        with open(os.path.join(folder, "ca.cnf"), "w") as f:
            f.write(CA_CONFIG)
        open(os.path.join(folder, "index.txt"), "w").close()
        with open(os.path.join(folder, "serial"), "w") as f:
            f.write("1000\n")
        openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
                "-out", "ca.pem", "-days", "3", "-subj", "/CN=ZEPHO Test Root",
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        openssl(folder, "x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")
        self.ca_der = os.path.join(folder, "ca.der")

    def _extensions(self, stem, names, extra=""):
        path = os.path.join(self.dir, stem + ".ext")
        with open(path, "w") as f:
            f.write("subjectAltName = %s\nextendedKeyUsage = serverAuth\n"
                    "keyUsage = digitalSignature, keyEncipherment\nbasicConstraints = CA:FALSE\n"
                    % ", ".join(names) + extra)
        return path

    def behind_an_intermediate(self, stem, name, issuer_url):
        """A certificate for `name` signed by an intermediate of the test root
        that the server does not send: where to fetch the intermediate is
        `issuer_url` (its authority information access). Returns (cert, key)."""
        inter = stem + "-ca"
        with open(os.path.join(self.dir, inter + ".ext"), "w") as f:
            f.write("basicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign, cRLSign\n")
        openssl(self.dir, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", inter + ".key",
                "-out", inter + ".csr", "-subj", "/CN=ZEPHO Test Intermediate")
        openssl(self.dir, "ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile",
                "ca.key", "-in", inter + ".csr", "-out", inter + ".pem", "-notext",
                "-extfile", inter + ".ext", "-days", "2")
        openssl(self.dir, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", stem + ".key",
                "-out", stem + ".csr", "-subj", "/CN=" + name)
        openssl(self.dir, "ca", "-batch", "-config", "ca.cnf", "-cert", inter + ".pem", "-keyfile",
                inter + ".key", "-in", stem + ".csr", "-out", stem + ".pem", "-notext",
                "-extfile", self._extensions(stem, ["DNS:" + name],
                                             "authorityInfoAccess = caIssuers;URI:%s\n" % issuer_url),
                "-days", "2")
        return self._pair(stem)

    def signed(self, stem, name, dates=None, ips=()):
        """A certificate for `name` signed by the test root, and for the
        addresses `ips` (its IP entries; with `ips` and no name only for them);
        `dates` are openssl's (start, end) as YYYYMMDDHHMMSSZ. Returns (cert, key)."""
        alt = (["DNS:" + name] if name else []) + ["IP:" + ip for ip in ips]
        openssl(self.dir, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", stem + ".key",
                "-out", stem + ".csr", "-subj", "/CN=" + (name or ips[0]))
        validity = ["-startdate", dates[0], "-enddate", dates[1]] if dates else ["-days", "2"]
        openssl(self.dir, "ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile",
                "ca.key", "-in", stem + ".csr", "-out", stem + ".pem", "-notext",
                "-extfile", self._extensions(stem, alt), *validity)
        return self._pair(stem)

    def self_signed(self, stem, name):
        openssl(self.dir, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                stem + ".key", "-out", stem + ".pem", "-days", "2", "-subj", "/CN=" + name,
                "-addext", "subjectAltName=DNS:" + name,
                "-addext", "extendedKeyUsage=serverAuth")
        return self._pair(stem)

    def _pair(self, stem):
        return os.path.join(self.dir, stem + ".pem"), os.path.join(self.dir, stem + ".key")


def fingerprint(cert):
    """openssl's SHA-256 fingerprint: "AB:CD:..." (upper case, colons)."""
    out = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint", "-sha256"],
                         check=True, capture_output=True, timeout=30).stdout.decode()
    return out.strip().split("=", 1)[1]
