"""ht6630-datacentre on a TLS broker that takes only client certificates of its
own CA (mosquitto: require_certificate, the certificate's name as the user)."""
import json
import os
import subprocess
import tempfile
import unittest

from service_support import SERVICE, Service
from test_datacentre_mqtt import Broker, messages
from test_datacentre_service import BAR, simulate


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, timeout=30, capture_output=True)


class Pki:
    """A CA, the broker's certificate for 127.0.0.1 and client certificates, in `folder`."""

    def __init__(self, folder):
        self.folder = folder
        self.ca = self.key_and_cert("ca", None)
        self.server = self.key_and_cert("server", "subjectAltName=IP:127.0.0.1,DNS:localhost")
        os.chmod(folder, 0o755)   # mosquitto started as root reads them as its own user
        for name in os.listdir(folder):
            os.chmod(os.path.join(folder, name), 0o644)

    def path(self, name):
        return os.path.join(self.folder, name)

    def key_and_cert(self, name, extension, ca=None):
        """(certificate, key) for CN=name, signed by `ca` (self-signed for the CA itself)."""
        key, crt = self.path(name + ".key"), self.path(name + ".crt")
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key]
        if extension is None and ca is None:
            openssl("req", "-x509", *ec, "-out", crt, "-days", "2", "-subj", "/CN=" + name)
            return crt, key
        csr, ext = self.path(name + ".csr"), self.path(name + ".ext")
        with open(ext, "w") as f:
            f.write((extension or "basicConstraints=CA:FALSE") + "\n")
        ca_crt, ca_key = ca or self.ca
        openssl("req", *ec, "-out", csr, "-subj", "/CN=" + name)
        openssl("x509", "-req", "-in", csr, "-CA", ca_crt, "-CAkey", ca_key, "-CAcreateserial", "-out", crt,
                "-days", "2", "-extfile", ext)
        os.chmod(key, 0o644)
        return crt, key


class DataCentreTls(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.pki = Pki(cls.tmp.name)
        cls.node = cls.pki.key_and_cert("n1", None, ca=cls.pki.ca)
        cls.operator = cls.pki.key_and_cert("operator", None, ca=cls.pki.ca)
        # A certificate from a CA the broker does not know.
        other_ca = cls.pki.key_and_cert("other-ca", None)
        cls.stranger = cls.pki.key_and_cert("stranger", None, ca=other_ca)
        ca = cls.pki.ca[0]
        cls.broker = Broker(tls=["cafile " + ca, "certfile " + cls.pki.server[0], "keyfile " + cls.pki.server[1],
                                 "require_certificate true", "use_identity_as_username true", "allow_anonymous false"],
                            auth=["--cafile", ca, "--cert", cls.operator[0], "--key", cls.operator[1]])

    @classmethod
    def tearDownClass(cls):
        cls.broker.close()
        cls.tmp.cleanup()

    def mqtt(self, cert=None):
        keys = {"url": "mqtts://127.0.0.1:%d" % self.broker.port, "prefix": "t", "ca_file": self.pki.ca[0]}
        if cert:
            keys.update(cert_file=cert[0], key_file=cert[1])
        return {"mqtt": keys, "node": {"name": "n1"}, "dialogue": {"reply_delay_ms": 100}}

    def test_readings_over_tls_with_a_client_certificate(self):
        sub = self.broker.subscribe(1, topic="t/+/readings")
        try:
            with Service(self.mqtt(self.node)) as svc:
                svc.wait_log(b"<6>mqtt: connected to 127.0.0.1:%d\n" % self.broker.port)
                simulate("tcp", svc.tcp_port, "--once", "--records", "2", "--duration", "1")
                self.assertEqual(sub.wait(timeout=20), 0)
                got = messages(sub.stdout)
                self.assertEqual(svc.terminate()[0], 0)
        finally:
            if sub.poll() is None:
                sub.kill()
        self.assertEqual([t for t, _ in got], ["t/%s/readings" % BAR])
        self.assertEqual([r["temperature"] for r in json.loads(got[0][1])["readings"]], [5.0, 6.0])
        self.assertEqual(dict(self.broker.retained())["t/nodes/n1"], "offline")

    def test_a_refused_handshake_is_said_once(self):
        for name, cert in (("no certificate", None), ("another CA's", self.stranger)):
            sections = dict(self.mqtt(cert), log={"level": "debug"})
            with self.subTest(name), Service(sections) as svc:
                said = b"mqtt: cannot connect to 127.0.0.1:%d (" % self.broker.port
                svc.wait_log(b"<4>" + said)
                svc.wait_log(b"<7>" + said, timeout=15)   # a retry, only at debug level
                self.assertEqual(svc.terminate()[0], 0)
                self.assertEqual(svc.log().count(b"<4>" + said), 1)
                self.assertNotIn(b"mqtt: connected", svc.log())

    def test_tls_files_checked_with_the_configuration(self):
        cases = ((dict(cert_file=self.node[0], key_file="missing.key"), b"[mqtt] key_file: cannot read "),
                 (dict(cert_file=self.node[0]), b"[mqtt] cert_file: needs [mqtt] key_file"))
        for keys, reason in cases:
            sections = self.mqtt()
            sections["mqtt"].update(keys)
            svc = Service(sections)
            try:
                run = subprocess.run([SERVICE, "--config", svc.config, "--check-config"], capture_output=True, timeout=10)
            finally:
                svc.dir.cleanup()
            self.assertEqual(run.returncode, 2)
            self.assertIn(reason, run.stderr)


if __name__ == "__main__":
    unittest.main()
