"""ht6630-datacentre for operations: overdue terminals on their retained status,
against a real mosquitto."""
import json
import signal
import subprocess
import time
import unittest

from service_support import TERMINAL, Service
from test_datacentre_mqtt import Broker, messages
from test_datacentre_service import BAR


def stop(proc):
    """Kills `proc` if it still runs and reaps it."""
    if proc.poll() is None:
        proc.kill()
    proc.wait(timeout=10)
    if proc.stdout:
        proc.stdout.close()


class OpsTestCase(unittest.TestCase):
    def setUp(self):
        self.broker = Broker()
        self.addCleanup(self.broker.close)
        self.ini = {"mqtt": {"url": "mqtt://127.0.0.1:%d" % self.broker.port, "prefix": "t"}, "node": {"name": "n1"},
                    "dialogue": {"reply_delay_ms": 100}, "log": {"level": "debug"}}

    def service(self):
        svc = Service(self.ini).__enter__()
        self.addCleanup(svc.__exit__, None, None, None)
        return svc

    def subscriber(self, count, *topics):
        """mosquitto_sub on `topics` for `count` messages, retained ones left out."""
        extra = [a for t in topics[1:] for a in ("-t", t)]
        sub = self.broker.subscribe(count, "-R", *extra, topic=topics[0])
        self.addCleanup(stop, sub)
        return sub

    def received(self, sub):
        got = messages(sub.stdout)
        self.assertEqual(sub.wait(timeout=25), 0, got)
        return got


class Overdue(OpsTestCase):
    def test_status_says_overdue_until_the_terminal_reports_again(self):
        svc = self.service()
        sub = self.subscriber(3, "t/+/status")
        sim = subprocess.Popen([TERMINAL, "--tcp", "127.0.0.1:%d" % svc.tcp_port, "--set", "barcode=" + BAR,
                                "--once", "--records", "1", "--heartbeat", "1", "--duration", "40"],
                               stdout=subprocess.DEVNULL)
        self.addCleanup(stop, sim)
        # Three heart beats, two intervals of about 1 s: overdue after about 3 s of silence.
        deadline = time.monotonic() + 15
        while svc.log().count(b"<7>heartbeat %s from" % BAR.encode()) < 3:
            self.assertLess(time.monotonic(), deadline, "no heart beats")
            time.sleep(0.05)
        sim.send_signal(signal.SIGSTOP)   # the connection stays, nothing is sent
        try:
            svc.wait_log(b"<4>terminal %s overdue: nothing for " % BAR.encode(), timeout=20)
        finally:
            sim.send_signal(signal.SIGCONT)
        svc.wait_log(b"<6>terminal %s reports again\n" % BAR.encode(), timeout=20)
        got = self.received(sub)
        online = json.loads(got[0][1])
        self.assertEqual((online["online"], online["channel"]), (True, "tcp"))
        self.assertNotIn("overdue", online)
        self.assertEqual(json.loads(got[1][1]), dict(online, overdue=True))
        self.assertEqual(got[2][1], got[0][1])   # back: the status it came online with


if __name__ == "__main__":
    unittest.main()
