"""Configuration requests kept until their terminal comes: two real service nodes, a
real mosquitto (with persistence) on a free loopback port, the terminal simulator."""
import json
import signal
import subprocess
import time
import unittest

from service_support import TERMINAL, Service
from test_datacentre_cmd import FIRST, RawTerminal, Results, cmd
from test_datacentre_mqtt import Broker


def node(broker, name, **mqtt):
    svc = Service({"mqtt": dict({"url": "mqtt://127.0.0.1:%d" % broker.port, "prefix": "t"}, **mqtt), "node": {"name": name},
                   "log": {"level": "debug"}, "dialogue": {"reply_delay_ms": 100}})
    return svc.__enter__()


def subscribed(svc, times=1, timeout=15.0):
    """The node took the retained results and then subscribed to the requests, `times` times in its log."""
    deadline = time.monotonic() + timeout
    while svc.log().count(b"<7>mqtt: subscribed to t/+/cmd\n") < times:
        if time.monotonic() > deadline:
            raise AssertionError("not subscribed %d time(s): %r" % (times, svc.log()))
        time.sleep(0.05)


def restart(svc):
    """SIGTERM, then the same configuration and store again."""
    assert svc.terminate()[0] == 0
    svc.log_file.close()
    svc.__enter__()
    subscribed(svc)


def terminal_visit(svc, bar, seconds, upload_every=2):
    """The simulated terminal registers on `svc`, uploads every `upload_every` s and stays
    `seconds`; the request frames it received."""
    out = subprocess.run([TERMINAL, "--tcp", "127.0.0.1:%d" % svc.tcp_port, "--set", "barcode=%s" % bar,
                          "--upload-every", str(upload_every), "--records", "1", "--heartbeat", "60",
                          "--duration", str(seconds)],
                         capture_output=True, timeout=seconds + 20).stdout
    lines = [json.loads(line) for line in out.splitlines() if b'"dir"' in line]
    return [line for line in lines if line["kind"] == "request"]


class KeptRequests(unittest.TestCase):
    def setUp(self):
        self.broker = Broker(persistent=True)
        self.addCleanup(self.broker.close)

    def node(self, name, **mqtt):
        svc = node(self.broker, name, **mqtt)
        self.addCleanup(svc.__exit__, None, None, None)
        subscribed(svc)
        return svc

    def retained(self, bar):
        r = dict(self.broker.retained())
        return (json.loads(r["t/%s/cmd/result" % bar]) if "t/%s/cmd/result" % bar in r else None,
                json.loads(r["t/%s/cmd" % bar]) if r.get("t/%s/cmd" % bar) else None)

    def wait_state(self, bar, state, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            result, copy = self.retained(bar)
            if result and result["state"] == state:
                return result, copy
            time.sleep(0.1)
        raise AssertionError("no %s for %s: %r" % (state, bar, self.retained(bar)))

    def test_offline_terminal_restarts_other_node_once(self):
        n1, n2 = self.node("n1"), self.node("n2")
        bar = str(FIRST)
        # No node holds the terminal: the steward (the smallest name) keeps it and says so.
        self.broker.publish("t/%s/cmd" % bar, cmd("q1", "cmdShowPra"))
        result, copy = self.wait_state(bar, "queued")
        self.assertEqual(result, {"id": "q1", "state": "queued", "ok": None, "message": "queued", "fields": {}, "node": "n1"})
        self.assertEqual((copy["id"], copy["op"]), ("q1", "cmdShowPra"))
        self.assertLess(abs(copy["queued_at"] / 1000 - time.time()), 10)
        # The node restarts, then the broker: the request is still kept.
        restart(n1)
        self.broker.stop()
        self.broker.start()
        subscribed(n1, 2, timeout=40)
        subscribed(n2, 2, timeout=40)
        self.assertEqual(self.retained(bar), (result, copy))
        results = self.results()
        # The terminal comes to the other node: one request frame, one answer.
        frames = terminal_visit(n2, bar, 4)
        self.assertEqual([f["hex"] for f in frames], ["51 56 09 02 01 23 45 67 89 01 00 01 03 48 58 0D"])
        got = results.take(1)
        self.assertEqual(got["q1"][1], {"id": "q1", "state": "answered", "ok": True, "message": "提示信息:读取实时温度湿度成功！",
                                        "fields": {"txtTemp": "23.5", "txtHumi": "45.6"}, "node": "n2"})
        self.assertEqual(results.progress, [(bar, "q1", "queued", "n1"), (bar, "q1", "sent", "n2")])
        self.assertEqual(self.retained(bar), (got["q1"][1], None))
        # Both nodes restart; the same request published again; the terminal visits each node: nothing.
        restart(n1)
        restart(n2)
        self.broker.publish("t/%s/cmd" % bar, cmd("q1", "cmdShowPra"))
        self.assertEqual(terminal_visit(n1, bar, 3) + terminal_visit(n2, bar, 3), [])
        self.assertRaises(AssertionError, results.take, 1, 1.0)
        self.assertEqual(results.progress[2:], [])
        self.assertIn(b"<6>cmd q1 for %s: sent or ended before, ignored" % bar.encode(), n1.log())

    def test_request_kept_by_a_killed_node_runs_at_the_next(self):
        n1, n2 = self.node("n1"), self.node("n2")
        results = self.results()
        bar = str(FIRST + 3)
        first = RawTerminal(n1.tcp_port, bar)   # registers, never uploads
        self.addCleanup(first.close)
        n1.wait_log(b"<7>mqtt: following t/%s/cmd\n" % bar.encode())
        self.broker.publish("t/%s/cmd" % bar, cmd("k1", "cmdHear", {"txtHeartbeat": "90"}, "upload-end"))
        n1.wait_log(b"cmd k1 for %s: cmdHear kept for the upload end" % bar.encode())
        self.assertEqual(self.wait_state(bar, "queued")[1]["id"], "k1")
        n1.terminate(signal.SIGKILL)
        self.assertIsNone(first.frame(0.5))
        first.close()
        self.assertEqual([f["hex"][:8] for f in terminal_visit(n2, bar, 5)], ["51 56 0A"])   # cmdHear, once
        self.assertEqual(results.take(1)["k1"][1], {"id": "k1", "state": "answered", "ok": True, "fields": {}, "node": "n2",
                                                    "message": "提示信息:设置心跳包时间间隔成功！"})
        self.assertEqual(results.progress, [(bar, "k1", "queued", "n1"), (bar, "k1", "queued", "n2"), (bar, "k1", "sent", "n2")])

    def test_sent_by_a_killed_node_ends_timeout(self):
        n1, n2 = self.node("n1", cmd_timeout_ms=1000), self.node("n2", cmd_timeout_ms=1000)
        results = self.results()
        bar = str(FIRST + 4)
        term = RawTerminal(n1.tcp_port, bar)
        self.addCleanup(term.close)
        n1.wait_log(b"<7>mqtt: following t/%s/cmd\n" % bar.encode())
        self.broker.publish("t/%s/cmd" % bar, cmd("s1", "cmdShowPra"))
        self.assertEqual(term.frame(5)[:3], b"QV\x09")
        n1.terminate(signal.SIGKILL)
        # Its last will said offline: the steward ends it once the answer could no longer come.
        self.assertEqual(results.take(1, timeout=10)["s1"][1], {"id": "s1", "state": "timeout", "ok": False,
                                                               "message": "node left", "fields": {}, "node": "n2"})
        n1.proc.wait(timeout=10)
        n1.log_file.close()
        n1.__enter__()
        subscribed(n1)
        self.assertRaises(AssertionError, results.take, 1, 2.0)
        self.assertEqual(results.progress, [(bar, "s1", "sent", "n1")])

    def test_expiry_and_cancel(self):
        self.node("n1")
        results = self.results()
        a, b = str(FIRST + 1), str(FIRST + 2)
        self.broker.publish("t/%s/cmd" % a, json.dumps({"id": 7, "op": "cmdCJR", "expires_s": 2}))
        self.broker.publish("t/%s/cmd" % b, cmd("c1", "cmdHear", {"txtHeartbeat": "90"}, "upload-end"))
        self.wait_state(b, "queued")
        self.broker.publish("t/%s/cmd" % b, json.dumps({"cancel": "c1"}))
        got = results.take(2, timeout=10)
        self.assertEqual(got[7][1], {"id": 7, "state": "expired", "ok": False, "message": "expired", "fields": {}, "node": "n1"})
        self.assertEqual(got["c1"][1], {"id": "c1", "state": "cancelled", "ok": False, "message": "cancelled", "fields": {},
                                        "node": "n1"})
        self.assertEqual(self.retained(a)[1], None)
        self.assertEqual(self.retained(b)[1], None)

    def results(self):
        r = Results(self.broker)
        self.addCleanup(r.close)
        return r


if __name__ == "__main__":
    unittest.main()
