"""Configuration requests over MQTT: ht6630-datacentre, a real mosquitto on a free
loopback port, and terminals on real TCP sockets (the simulator, or frames sent
from here)."""
import json
import os
import queue
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from service_support import TERMINAL, Service
from test_datacentre_mqtt import Broker, messages

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import crc_ok, pack_address, reply, request  # noqa: E402

FIRST = 2012345678901
CLOCK = {"Txtrq(%d)" % i: v for i, v in enumerate(["24", "05", "17", "08", "30", "00"])}
# The terminal's clock as cmdCJR reads it: set by the upload acknowledgements, so only its form is known.
CLOCK_READ = {"Txtrq(%d)" % i: "%02d" for i in range(6)}
# op, fields, the consoles' success text, the decoded values of the simulator's defaults
# ("BAR": the bar code of the terminal the request goes to).
OPS = [
    ("cmdBarCodeR", {}, "读取条形码成功！", {"txtBarCode": "BAR"}),
    ("cmdBarCodeW", {"txtBarCode": "BAR"}, "设置条形码成功！", {}),
    ("cmdIpR", {}, "读取Velmar内部IP和端口成功！", {"txtIp(0)": "127", "txtIp(1)": "0", "txtIp(2)": "0", "txtIp(3)": "1", "txtIp(4)": "2020"}),
    ("cmdIpW", {"txtIp(0)": "10", "txtIp(1)": "1", "txtIp(2)": "2", "txtIp(3)": "3", "txtIp(4)": 5000},
     "设置内部VelmarIp和端口成功！", {}),
    ("cmdSpareIpR", {}, "读取备用IP和端口成功！",
     {"txtSpareIp(0)": "127", "txtSpareIp(1)": "0", "txtSpareIp(2)": "0", "txtSpareIp(3)": "1", "txtSpareIp(4)": "2021"}),
    ("cmdSpareIpW", {"txtSpareIp(%d)" % i: v for i, v in enumerate(["10", "1", "2", "4", "5001"])}, "设置备用Ip和端口成功！", {}),
    ("cmdShowPra", {}, "读取实时温度湿度成功！", {"txtTemp": "23.5", "txtHumi": "45.6"}),
    ("cmdCJR", {}, "读取采集终端参数配置成功！",
     dict({"txtVer": "V1.05", "txtCJ": "15", "txtSC": "60", "Combo1": "0", "txtHeartbeat": "60", "optEnabled": "0",
           "txtDate(0)": "11", "txtDate(1)": "15", "txtDate(2)": "3", "txtDate(3)": "15"}, **CLOCK_READ)),
    ("cmdCJW", {"txtCJ": "10"}, "设置采集数据时间间隔成功！", {}),
    ("cmdSCW", {"txtSC": 30}, "设置上传数据时间间隔成功！", {}),
    ("cmdCommType", {"Combo1": "0"}, "设置通讯类型成功！", {}),
    ("cmdHear", {"txtHeartbeat": "90"}, "设置心跳包时间间隔成功！", {}),
    ("cmdSetSilence", {"optEnabled": "1", "txtDate(0)": "11", "txtDate(1)": "15", "txtDate(2)": "3", "txtDate(3)": "15"},
     "配置静默参数成功！", {}),
    ("设置是否休眠", {"opSleep": "0"}, "设置是否休眠成功！", {}),
    ("cmdTime", CLOCK, "设置实时日期与时间成功！", {}),
]


class Results:
    """mosquitto_sub on every cmd/result topic, read on a thread."""

    def __init__(self, broker, auth=None):
        args = ["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-t", "t/+/cmd/result",
                "-v", "-q", "1", "-d", *(broker.auth if auth is None else auth)]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE)
        self.queue = queue.Queue()
        self.progress = []
        for line in self.proc.stdout:
            if b"received SUBACK" in line:
                break
        else:
            raise AssertionError("no subscription to the results")
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            for topic, payload in messages([line]):
                self.queue.put((topic.split("/")[1], json.loads(payload)))

    def take(self, count, timeout=20.0):
        """`count` final results as {id: (bar code, result)}, within `timeout` seconds;
        the states before them ("queued", "sent") go to self.progress in order."""
        deadline = time.monotonic() + timeout
        got = {}
        while len(got) < count:
            try:
                bar, result = self.queue.get(timeout=max(0.01, deadline - time.monotonic()))
            except queue.Empty:
                raise AssertionError("%d of %d results: %r" % (len(got), count, got)) from None
            if result["state"] in ("queued", "sent"):
                self.progress.append((bar, result["id"], result["state"], result["node"]))
            else:
                got[result["id"]] = (bar, result)
        return got

    def close(self):
        self.proc.kill()
        self.proc.wait(timeout=10)


class RawTerminal:
    """A terminal on one TCP connection: registers, then reads what the service sends
    (each frame in one write, so one read on loopback)."""

    def __init__(self, port, bar=str(FIRST)):
        self.s = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.s.sendall(request(0x01, bar, b"\x01\x05"))
        assert self.frame(5)[2] == 0x71

    def frame(self, timeout):
        """The bytes of the next read, or None when nothing came within `timeout` seconds."""
        self.s.settimeout(timeout)
        try:
            return self.s.recv(4096) or None
        except socket.timeout:
            return None

    def close(self):
        self.s.close()


def cmd(id_, op, fields=None, when="now"):
    return json.dumps({"id": id_, "op": op, "fields": fields or {}, "when": when})


class CmdTestCase(unittest.TestCase):
    broker_args = {}
    service_mqtt = {}

    def setUp(self):
        self.broker = Broker(**self.broker_args)
        self.addCleanup(self.broker.close)
        self.ini = {"mqtt": dict({"url": "mqtt://127.0.0.1:%d" % self.broker.port, "prefix": "t"}, **self.service_mqtt),
                    "node": {"name": "n1"}, "log": {"level": "debug"}, "dialogue": {"reply_delay_ms": 100}}

    def service(self, **mqtt):
        self.ini["mqtt"].update(mqtt)
        svc = Service(self.ini).__enter__()
        self.addCleanup(svc.__exit__, None, None, None)
        return svc

    def results(self, auth=None):
        r = Results(self.broker, auth)
        self.addCleanup(r.close)
        return r


def following(svc, bar):
    """The node holds the terminal and the broker has its cmd subscription."""
    svc.wait_log(b"<7>mqtt: subscribed to t/+/cmd\n")
    svc.wait_log(b"<7>mqtt: following t/%s/cmd\n" % str(bar).encode())


class Requests(CmdTestCase):
    def test_every_op_now_and_at_upload_end(self):
        svc = self.service()
        results = self.results()
        bars = [str(FIRST + i) for i in range(len(OPS))]
        out = tempfile.TemporaryFile()
        self.addCleanup(out.close)
        sim = subprocess.Popen([TERMINAL, "--tcp", "127.0.0.1:%d" % svc.tcp_port, "--count", str(len(OPS)),
                                "--set", "barcode=%d" % FIRST, "--upload-every", "3", "--records", "1",
                                "--heartbeat", "60", "--duration", "10"], stdout=out)
        self.addCleanup(lambda: sim.poll() is None and sim.kill())
        for bar in bars:
            following(svc, bar)

        def own(values, bar):
            return {k: bar if v == "BAR" else v for k, v in values.items()}

        for when in ("now", "upload-end"):
            for i, (op, fields, _, _) in enumerate(OPS):
                self.broker.publish("t/%s/cmd" % bars[i], cmd("%s-%d" % (when, i), op, own(fields, bars[i]), when))
            got = results.take(len(OPS), timeout=20)
            for i, (op, _, text, values) in enumerate(OPS):
                bar, result = got["%s-%d" % (when, i)]
                for name, value in result["fields"].items():
                    if name.startswith("Txtrq("):
                        self.assertRegex(value, r"^\d\d$")
                        result["fields"][name] = "%02d"
                self.assertEqual((bar, result), (bars[i], {"id": "%s-%d" % (when, i), "state": "answered", "ok": True,
                                                           "message": "提示信息:" + text, "fields": own(values, bars[i]),
                                                           "node": "n1"}), op)
        self.assertEqual(sorted(results.progress),
                         sorted([(bars[i], "now-%d" % i, "sent", "n1") for i in range(len(OPS))] +
                                [(bars[i], "upload-end-%d" % i, s, "n1") for i in range(len(OPS)) for s in ("queued", "sent")]))
        sim.wait(timeout=30)
        out.seek(0)
        lines = [json.loads(line) for line in out.read().splitlines() if b'"dir"' in line]
        # Each kept request followed an upload-end answer announcing it (06); the others answer 07.
        self.assertEqual({line.get("code") for line in lines if line["kind"] == "end-answer"}, {6, 7})
        self.assertEqual(len([line for line in lines if line["kind"] == "request"]), 2 * len(OPS))

    def test_udp_now_and_at_upload_end(self):
        svc = self.service()
        results = self.results()
        sim = subprocess.Popen([TERMINAL, "--udp", "127.0.0.1:%d" % svc.udp_port, "--set", "barcode=%d" % FIRST,
                                "--upload-every", "2", "--records", "1", "--heartbeat", "60", "--duration", "8"],
                               stdout=subprocess.DEVNULL)
        self.addCleanup(lambda: sim.poll() is None and sim.kill())
        following(svc, FIRST)
        self.broker.publish("t/%d/cmd" % FIRST, cmd("u1", "cmdShowPra"))
        self.assertEqual(results.take(1)["u1"][1]["fields"], {"txtTemp": "23.5", "txtHumi": "45.6"})
        self.broker.publish("t/%d/cmd" % FIRST, cmd("u2", "cmdHear", {"txtHeartbeat": "120"}, "upload-end"))
        self.assertEqual(results.take(1)["u2"][1]["message"], "提示信息:设置心跳包时间间隔成功！")

    def test_silent_udp_terminal_goes_offline(self):
        self.ini["udp"] = {"offline_after_s": 2}
        svc = self.service()
        results = self.results()
        term = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(term.close)
        term.bind(("127.0.0.1", 0))
        term.settimeout(5)
        term.sendto(request(0x01, str(FIRST), b"\x01\x05"), ("127.0.0.1", svc.udp_port))
        self.assertEqual(term.recv(256)[2], 0x71)
        following(svc, FIRST)
        self.broker.publish("t/%d/cmd" % FIRST, cmd("q1", "cmdCJR", when="upload-end"))
        svc.wait_log(b"cmd q1 for %d: cmdCJR kept" % FIRST)
        # Nothing more from it: offline about 2 s after the registration, as if its connection had closed;
        # its request, never sent, waits for it on the broker.
        svc.wait_log(b"<7>mqtt: no longer following t/%d/cmd\n" % FIRST)
        retained = dict(self.broker.retained())
        self.assertEqual(json.loads(retained["t/%d/cmd/result" % FIRST]),
                         {"id": "q1", "state": "queued", "ok": None, "message": "queued", "fields": {}, "node": "n1"})
        self.assertEqual(set(json.loads(retained["t/%d/cmd" % FIRST])), {"id", "op", "fields", "when", "queued_at"})
        self.assertIn(b"<6>terminal %d offline (udp, nothing from 127.0.0.1:" % FIRST, svc.log())
        status = dict(self.broker.retained())["t/%d/status" % FIRST]
        self.assertEqual({k: v for k, v in json.loads(status).items() if k != "since"},
                         {"online": False, "node": "n1", "channel": "udp", "address": "127.0.0.1:%d" % term.getsockname()[1]})

    def test_refusals_send_nothing(self):
        svc = self.service()
        results = self.results()
        term = RawTerminal(svc.tcp_port)
        self.addCleanup(term.close)
        following(svc, FIRST)
        cases = [
            (cmd("r1", "cmdHear", {"txtHeartbeat": "20"}), "r1", "心跳包时间间隔超范围，请重新输入"),
            (cmd("r2", "cmdTime", dict(CLOCK, **{"Txtrq(1)": "13"})), "r2", "月必须1-12"),
            (cmd("r3", "cmdIpW", {"txtIp(0)": "10"}), "r3", "请输入IP和端口"),
            (cmd("r4", "cmdExplode"), "r4", 'unknown op "cmdExplode"'),
            (cmd("r5", "cmdHear", {"txtHeartbat": "60"}), "r5", 'unknown field "txtHeartbat"'),
            (cmd("r6", "cmdCommType", {"Combo1": "2"}), "r6", 'bad value "2" for Combo1 (0 or 1)'),
            (cmd("r7", "cmdHear", {"txtHeartbeat": "60"}, "later"), "r7", '"when" must be "now" or "upload-end"'),
            ('{"id": "r8", "op": ', None, "malformed JSON: "),
            (json.dumps({"op": "cmdHear"}), None, 'missing or unusable "id"'),
            (json.dumps({"id": "r9", "op": "cmdCJR", "expires_s": 0}), "r9",
             '"expires_s" must be a whole number of seconds from 1 to 31622400'),
        ]
        for payload, id_, message in cases:
            self.broker.publish("t/%d/cmd" % FIRST, payload)
            got = results.take(1)
            self.assertEqual(list(got), [id_])
            result = got[id_][1]
            self.assertEqual((result["state"], result["ok"]), ("refused", False))
            self.assertTrue(result["message"].startswith(message), result["message"])
        self.assertIsNone(term.frame(0.5))

    def test_ends_without_a_response(self):
        svc = self.service(cmd_timeout_ms=600)
        results = self.results()
        term = RawTerminal(svc.tcp_port)
        following(svc, FIRST)
        topic = "t/%d/cmd" % FIRST
        # Sent and never answered: a timeout, about cmd_timeout_ms after it left.
        self.broker.publish(topic, cmd("t1", "cmdShowPra"))
        f = term.frame(5)
        self.assertTrue(f and f[:3] == b"QV\x09" and f[3:10] == pack_address(str(FIRST)) and crc_ok(f), f)
        started = time.monotonic()
        self.broker.publish(topic, json.dumps({"cancel": "t1"}))   # sent: it ends as it ends
        self.assertEqual(results.take(1)["t1"][1]["message"], "timeout")
        self.assertIn(b"<6>cmd t1 for %d: already sent, not cancelled\n" % FIRST, svc.log())
        self.assertGreater(time.monotonic() - started, 0.4)
        # A newer kept request replaces the older; the terminal leaving ends the newer.
        self.broker.publish(topic, cmd("k1", "cmdHear", {"txtHeartbeat": "60"}, "upload-end"))
        svc.wait_log(b"cmd k1 for %d: cmdHear kept" % FIRST)
        self.broker.publish(topic, cmd("k2", "cmdCJW", {"txtCJ": "5"}, "upload-end"))
        self.assertEqual(results.take(1)["k1"][1], {"id": "k1", "state": "replaced", "ok": False,
                                                    "message": "replaced by a newer request", "fields": {}, "node": "n1"})
        svc.wait_log(b"cmd k2 for %d: cmdCJW kept" % FIRST)
        self.assertIsNone(term.frame(0.3))
        # Sent and unanswered when the terminal leaves: it may have been applied, so it ends.
        self.broker.publish(topic, cmd("l1", "cmdShowPra"))
        self.assertEqual(term.frame(5), request(0x09, str(FIRST), b"\x03"))
        term.close()
        got = results.take(2)
        self.assertEqual(got["k2"][1]["state"], "replaced")
        self.assertEqual(got["l1"][1], {"id": "l1", "state": "timeout", "ok": False, "message": "terminal left",
                                        "fields": {}, "node": "n1"})
        self.assertEqual([p[1:3] for p in results.progress], [("t1", "sent"), ("k1", "queued"), ("k2", "queued"), ("l1", "sent")])
        svc.wait_log(b"<7>mqtt: no longer following t/%d/cmd\n" % FIRST)
        # A request still kept when the service stops.
        term = RawTerminal(svc.tcp_port, str(FIRST + 1))
        self.addCleanup(term.close)
        following(svc, (FIRST + 1))
        self.broker.publish("t/%d/cmd" % (FIRST + 1), cmd("s1", "cmdCJR", when="upload-end"))
        svc.wait_log(b"cmd s1 for %d: cmdCJR kept" % (FIRST + 1))
        self.assertEqual(svc.terminate()[0], 0)
        # Not sent: it stays queued, kept on the broker.
        retained = dict(self.broker.retained())
        self.assertEqual(json.loads(retained["t/%d/cmd/result" % (FIRST + 1)])["state"], "queued")
        self.assertEqual(json.loads(retained["t/%d/cmd" % (FIRST + 1)])["id"], "s1")


NODE, OPERATOR, INTRUDER = ("node1", "n-pw"), ("operator", "o-pw"), ("intruder", "i-pw")
ACL = """user node1
topic write t/+/readings
topic write t/+/state
topic write t/+/status
topic write t/nodes/#
topic read t/nodes/+
topic readwrite t/+/cmd/result
topic readwrite t/+/cmd

user operator
topic write t/+/cmd
topic read t/+/cmd/result

user intruder
topic readwrite t/+/reading
"""


def login(user):
    return ["-u", user[0], "-P", user[1]]


class Access(CmdTestCase):
    broker_args = {"users": dict([NODE, OPERATOR, INTRUDER]), "acl": ACL, "auth": login(OPERATOR)}
    service_mqtt = {"user": NODE[0], "password": NODE[1]}

    def test_only_the_operator_reaches_a_terminal(self):
        svc = self.service()
        results = self.results()
        term = RawTerminal(svc.tcp_port)
        self.addCleanup(term.close)
        following(svc, FIRST)
        topic = "t/%d/cmd" % FIRST
        self.broker.publish(topic, cmd("x1", "cmdShowPra"), auth=login(INTRUDER))
        self.assertIsNone(term.frame(2.0))
        self.assertNotIn(b"cmd x", svc.log())
        self.broker.publish(topic, cmd("o1", "cmdShowPra"))
        f = term.frame(5)
        self.assertEqual(f, request(0x09, str(FIRST), b"\x03"))
        term.s.sendall(reply(0x79, str(FIRST), b"\x03\x00\x00\xeb\x01\xc8"))
        self.assertEqual(results.take(1)["o1"][1], {"id": "o1", "state": "answered", "ok": True,
                                                    "message": "提示信息:读取实时温度湿度成功！",
                                                    "fields": {"txtTemp": "23.5", "txtHumi": "45.6"}, "node": "n1"})


if __name__ == "__main__":
    unittest.main()
