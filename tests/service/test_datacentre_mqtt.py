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
    def __init__(self, persistent=False):
        self.dir = tempfile.TemporaryDirectory()
        self.port = free_port()
        self.conf = os.path.join(self.dir.name, "mosquitto.conf")
        with open(self.conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\n" % self.port)
            # Sessions kept across stop() and start(); as root mosquitto would switch to a user that cannot write here.
            f.write("persistence true\npersistence_location %s/\nmax_queued_messages 0\nuser %s\n"
                    % (self.dir.name, getpass.getuser()) if persistent else "persistence false\n")
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
            if subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "probe", "-n"],
                              capture_output=True, timeout=5).returncode == 0:
                return
            time.sleep(0.05)
        raise AssertionError("mosquitto did not start")

    def subscribe(self, count, *args):
        """mosquitto_sub on t/# for `count` messages (at most 20 s), once its subscription is acknowledged."""
        # Line-buffered: mosquitto_sub writes to a pipe through stdio, which would hold the lines.
        p = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "t/#", "-v", "-q", "1",
                              "-d", "-C", str(count), "-W", "20", *args], stdout=subprocess.PIPE)
        for line in p.stdout:
            if b"received SUBACK" in line:
                return p
        raise AssertionError("no subscription")

    def retained(self):
        out = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "t/#", "-v",
                              "--retained-only", "-W", "1"], capture_output=True, timeout=10).stdout
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

    def test_node_status_and_readings(self):
        sub = self.broker.subscribe(6)
        try:
            with Service(self.mqtt) as svc:
                svc.wait_log(b"<6>mqtt: connected to 127.0.0.1:%d\n" % self.broker.port)
                simulate("tcp", svc.tcp_port, "--once", "--records", "2", "--duration", "1")
                svc.wait_log(b"<6>terminal 2012345678901 offline")
                self.assertEqual(svc.terminate()[0], 0)
            got = messages(sub.stdout)
            self.assertEqual(sub.wait(timeout=20), 0)
        finally:
            if sub.poll() is None:
                sub.kill()
        topics = [t for t, _ in got]
        self.assertEqual(topics, ["t/nodes/n1", "t/%s/status" % BAR, "t/%s/reading" % BAR, "t/%s/reading" % BAR,
                                  "t/%s/status" % BAR, "t/nodes/n1"])
        self.assertEqual((got[0][1], got[5][1]), ("online", "offline"))
        online, offline = json.loads(got[1][1]), json.loads(got[4][1])
        self.assertEqual((online["online"], online["node"], online["channel"]), (True, "n1", "tcp"))
        self.assertRegex(online["address"], r"^127\.0\.0\.1:\d+$")
        self.assertEqual((offline["online"], offline["address"]), (False, online["address"]))
        readings = [json.loads(p) for _, p in got[2:4]]
        for r in readings:
            self.assertRegex(r.pop("received"), r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d")
        self.assertEqual(readings, [
            {"barcode": BAR, "time": "2024-05-17T08:15:00", "temperature": 5.0, "humidity": 71.8, "battery": 3.68,
             "node": "n1"},
            {"barcode": BAR, "time": "2024-05-17T08:30:00", "temperature": 6.0, "humidity": 72.5, "battery": 3.68,
             "node": "n1"},
        ])
        retained = dict(self.broker.retained())
        self.assertEqual(retained["t/nodes/n1"], "offline")
        self.assertFalse(json.loads(retained["t/%s/status" % BAR])["online"])

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
