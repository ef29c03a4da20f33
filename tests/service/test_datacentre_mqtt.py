"""ht6630-datacentre publishing to a real mosquitto broker on a free loopback
port, read back with mosquitto_sub."""
import getpass
import json
import os
import signal
import subprocess
import tempfile
import time
import unittest

from service_support import Service, free_port
from test_datacentre_service import BAR, simulate


class Broker:
    """mosquitto on a free loopback port. `users` ({name: password}) and `acl`
    (acl_file text) turn anonymous access off; `auth` is then the login the
    helpers below use. `persistent` keeps sessions across stop() and start().
    `tls` (lines of mosquitto.conf) makes the listener a TLS one."""

    def __init__(self, users=None, acl=None, auth=(), persistent=False, tls=()):
        self.dir = tempfile.TemporaryDirectory()
        self.port = free_port()
        self.auth = list(auth)
        self.conf = os.path.join(self.dir.name, "mosquitto.conf")
        lines = ["listener %d 127.0.0.1" % self.port, *tls]
        if persistent:
            # As root mosquitto would switch to a user that cannot write here.
            lines += ["persistence true", "persistence_location %s/" % self.dir.name, "max_queued_messages 0",
                      "user %s" % getpass.getuser()]
        else:
            lines.append("persistence false")
        if users:
            passwords = os.path.join(self.dir.name, "passwords")
            for i, (user, password) in enumerate(users.items()):
                subprocess.run(["mosquitto_passwd", "-b"] + (["-c"] if i == 0 else []) + [passwords, user, password],
                               check=True, timeout=10)
            lines += ["allow_anonymous false", "password_file " + passwords]
            # mosquitto started as root reads these files as its own user.
            os.chmod(self.dir.name, 0o755)
            os.chmod(passwords, 0o644)
        elif not tls:
            lines.append("allow_anonymous true")
        if acl:
            acl_file = os.path.join(self.dir.name, "acl")
            with open(acl_file, "w") as f:
                f.write(acl)
            lines.append("acl_file " + acl_file)
        with open(self.conf, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.start()

    def start(self):
        self.proc = subprocess.Popen(["mosquitto", "-c", self.conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_until_up()

    def stop(self):
        """SIGTERM: a persistent broker saves its sessions."""
        self.proc.terminate()
        self.proc.wait(timeout=10)

    def wait_until_up(self):
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "probe", "-n", *self.auth],
                              capture_output=True, timeout=5).returncode == 0:
                return
            time.sleep(0.05)
        raise AssertionError("mosquitto did not start")

    def subscribe(self, count, *args, topic="t/#"):
        """mosquitto_sub on `topic` for `count` messages (at most 20 s), once its subscription is acknowledged."""
        # Line-buffered: mosquitto_sub writes to a pipe through stdio, which would hold the lines.
        p = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port), "-t", topic, "-v", "-q", "1",
                              "-d", "-C", str(count), "-W", "20", *self.auth, *args], stdout=subprocess.PIPE)
        for line in p.stdout:
            if b"received SUBACK" in line:
                return p
        raise AssertionError("no subscription")

    def publish(self, topic, payload, auth=None):
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-q", "1", "-t", topic, "-m", payload,
                        *(self.auth if auth is None else auth)], check=True, timeout=10)

    def retained(self):
        out = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "t/#", "-v",
                              "--retained-only", "-W", "1", *self.auth], capture_output=True, timeout=10).stdout
        return messages(out.splitlines())

    def close(self):
        self.proc.kill()
        self.proc.wait(timeout=10)
        self.dir.cleanup()


def messages(lines):
    """(topic, payload) of mosquitto_sub -v lines; the -d lines left out."""
    out = []
    for line in lines:
        line = line.rstrip(b"\n")
        if line and not line.startswith((b"Client ", b"Subscribed ")):
            topic, _, payload = line.partition(b" ")
            out.append((topic.decode(), payload.decode()))
    return out


class DataCentreMqtt(unittest.TestCase):
    def setUp(self):
        self.broker = Broker()
        self.mqtt = {"mqtt": {"url": "mqtt://127.0.0.1:%d" % self.broker.port, "prefix": "t"}, "node": {"name": "n1"},
                     "dialogue": {"reply_delay_ms": 100}}

    def tearDown(self):
        self.broker.close()

    def run_two_records(self, readings=None):
        """One terminal's upload of two records: what a subscriber to t/# saw, in order."""
        config = dict(self.mqtt, mqtt=dict(self.mqtt["mqtt"], **({"readings": readings} if readings else {})))
        sub = self.broker.subscribe(7 if readings != "both" else 9, "-R")   # not what an earlier run retained
        try:
            with Service(config) as svc:
                svc.wait_log(b"<6>mqtt: connected to 127.0.0.1:%d\n" % self.broker.port)
                simulate("tcp", svc.tcp_port, "--once", "--records", "2", "--duration", "1")
                svc.wait_log(b"<6>terminal 2012345678901 offline")
                self.assertEqual(svc.terminate()[0], 0)
            got = messages(sub.stdout)
            self.assertEqual(sub.wait(timeout=20), 0)
        finally:
            if sub.poll() is None:
                sub.kill()
        return got

    READINGS = [
        {"barcode": BAR, "time": "2024-05-17T08:15:00", "temperature": 5.0, "humidity": 71.8, "battery": 3.68,
         "node": "n1"},
        {"barcode": BAR, "time": "2024-05-17T08:30:00", "temperature": 6.0, "humidity": 72.5, "battery": 3.68,
         "node": "n1"},
    ]

    def test_node_status_and_an_upload_in_one_message(self):
        got = self.run_two_records()
        self.assertEqual([t for t, _ in got], ["t/nodes/n1", "t/nodes/n1/store", "t/%s/status" % BAR,
                                               "t/%s/readings" % BAR, "t/%s/state" % BAR, "t/%s/status" % BAR,
                                               "t/nodes/n1"])
        self.assertEqual((got[0][1], got[6][1]), ("online", "offline"))
        store = json.loads(got[1][1])
        self.assertRegex(store.pop("since"), r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")
        self.assertEqual(store, {"store": "ok", "node": "n1"})
        del got[1]
        online, offline = json.loads(got[1][1]), json.loads(got[4][1])
        self.assertEqual((online["online"], online["node"], online["channel"]), (True, "n1", "tcp"))
        self.assertRegex(online["address"], r"^127\.0\.0\.1:\d+$")
        self.assertEqual((offline["online"], offline["address"]), (False, online["address"]))
        # The upload's records in order, in one message: exact bytes but for the receipt.
        received = json.loads(got[2][1])["received"]
        self.assertRegex(received, r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")
        self.assertEqual(got[2][1], '{"barcode":"%s","node":"n1","readings":['
                                    '{"battery":3.68,"humidity":71.8,"temperature":5,"time":"2024-05-17T08:15:00"},'
                                    '{"battery":3.68,"humidity":72.5,"temperature":6,"time":"2024-05-17T08:30:00"}],'
                                    '"received":"%s"}' % (BAR, received))
        self.assertEqual(json.loads(got[3][1]), dict(self.READINGS[1], received=received))
        retained = dict(self.broker.retained())
        self.assertEqual(retained["t/nodes/n1"], "offline")
        self.assertFalse(json.loads(retained["t/%s/status" % BAR])["online"])
        self.assertEqual(json.loads(retained["t/%s/state" % BAR])["time"], "2024-05-17T08:30:00")
        self.assertNotIn("t/%s/readings" % BAR, retained)

    def test_one_message_per_reading_where_asked(self):
        for mode, topics in (("each", ["reading", "reading"]), ("both", ["readings", "state", "reading", "reading"])):
            with self.subTest(mode):
                got = self.run_two_records(mode)
                self.assertEqual([t for t, _ in got][3:-2], ["t/%s/%s" % (BAR, t) for t in topics])
                readings = [json.loads(p) for t, p in got if t.endswith("/reading")]
                for r in readings:
                    self.assertRegex(r.pop("received"), r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d")
                self.assertEqual(readings, self.READINGS)

    def test_last_will_when_killed(self):
        with Service(self.mqtt) as svc:
            svc.wait_log(b"<6>mqtt: connected to")
            deadline = time.monotonic() + 5
            while dict(self.broker.retained()).get("t/nodes/n1") != "online":
                self.assertLess(time.monotonic(), deadline, "node never online")
            svc.proc.send_signal(signal.SIGKILL)
            svc.proc.wait(timeout=5)
            deadline = time.monotonic() + 5
            while dict(self.broker.retained()).get("t/nodes/n1") != "offline":
                self.assertLess(time.monotonic(), deadline, "no last will")


if __name__ == "__main__":
    unittest.main()
