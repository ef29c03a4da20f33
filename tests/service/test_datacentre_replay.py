"""ht6630-datacentre keeps readings for the broker while it is away: a real
mosquitto (with persistence, so a subscriber's session survives its restart) on
a free loopback port, terminals uploading over UDP from the test, and a
persistent-session mosquitto_sub that sees every reading once, in order per
terminal, with its exact values. Also the heat-meter topic."""
import getpass
import json
import os
import re
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from service_support import Service, free_port
from test_datacentre_service import BAR, UdpTerminal

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import request  # noqa: E402

TERMINALS = ["2012345678901", "2012345678902", "2012345678903"]
RECEIVED = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")


class Broker:
    """mosquitto on a fixed free port that can be stopped (SIGTERM: it saves its
    sessions) and started again."""

    def __init__(self):
        self.dir = tempfile.TemporaryDirectory()
        self.port = free_port()
        self.conf = os.path.join(self.dir.name, "mosquitto.conf")
        with open(self.conf, "w") as f:
            # user: started as root, mosquitto would become "mosquitto" and could not save its sessions here.
            f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence true\npersistence_location %s/\n"
                    "max_queued_messages 0\nuser %s\n" % (self.port, self.dir.name, getpass.getuser()))
        self.proc = None
        self.start()

    def start(self):
        self.proc = subprocess.Popen(["mosquitto", "-c", self.conf], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "probe", "-n"],
                             capture_output=True, timeout=5).returncode != 0:
            self.assert_(time.monotonic() < deadline, "mosquitto did not start")
            time.sleep(0.05)

    @staticmethod
    def assert_(ok, text):
        if not ok:
            raise AssertionError(text)

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=10)

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)
        self.dir.cleanup()


class Subscriber:
    """mosquitto_sub with a persistent session on `topic`, QoS 1; it reconnects by itself."""

    def __init__(self, port, topic):
        self.proc = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", topic,
                                      "-q", "1", "-c", "-i", "replay-test", "-v", "-d"], stdout=subprocess.PIPE)
        self.got = []
        self.subscribed = threading.Event()
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()
        if not self.subscribed.wait(10):
            raise AssertionError("no subscription")

    def read(self):
        for line in self.proc.stdout:
            if b"received SUBACK" in line:
                self.subscribed.set()
            elif line.strip() and not line.startswith((b"Client ", b"Subscribed ")):
                topic, _, payload = line.rstrip(b"\n").partition(b" ")
                self.got.append((topic.decode(), json.loads(payload)))

    def wait_for(self, count, timeout=40.0):
        """The messages once `count` have arrived (at most `timeout` s), and a little longer for extra ones."""
        deadline = time.monotonic() + timeout
        while len(self.got) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.5)
        return list(self.got)

    def close(self):
        self.proc.kill()
        self.proc.wait(timeout=10)


def upload_payload(k, t):
    """Upload k of terminal t: two records 15 minutes apart, distinct times and values."""
    minutes = 8 * 60 + 30 + 30 * k
    day, minutes = 17 + minutes // (24 * 60), minutes % (24 * 60)
    clock = bytes.fromhex("24 05 %02d %02d %02d" % (day, minutes // 60, minutes % 60))   # BCD, to the minute
    records = b"".join((100 * t + 2 * k + j).to_bytes(2, "big") + (400 + 3 * k + j).to_bytes(2, "big") for j in (0, 1))
    return bytes.fromhex("10 02 00 01 38 00 13 80 00 01 70") + clock + bytes.fromhex("00 0F 00 02") + records


def expected_readings(k, t):
    minutes = 8 * 60 + 30 + 30 * k
    out = []
    for j, back in ((0, 15), (1, 0)):
        m = minutes - back
        day, m = 17 + m // (24 * 60), m % (24 * 60)
        out.append({"barcode": TERMINALS[t], "time": "2024-05-%02dT%02d:%02d:00" % (day, m // 60, m % 60),
                    "temperature": (100 * t + 2 * k + j) / 10, "humidity": (400 + 3 * k + j) / 10, "battery": 3.68,
                    "node": "n1"})
    return out


class Uploader(UdpTerminal):
    def upload(self, k, t):
        self.s.sendto(request(0x2C, TERMINALS[t], upload_payload(k, t)), ("127.0.0.1", self.port))
        ack = self.s.recv(256)
        assert ack[:3] == b"qv\x9c", ack.hex()


class Restartable(Service):
    """The service started and stopped again on the same folder, configuration and store."""
    runs = 0

    def start(self):
        self.runs += 1
        self.log_path = os.path.join(self.dir.name, "service-%d.log" % self.runs)
        return self.__enter__()

    def stop(self):
        rc, seconds = self.terminate()
        self.log_file.close()
        return rc, seconds


def publish_log(db):
    con = sqlite3.connect(db)
    try:
        return (con.execute("SELECT count(*) FROM publish_log").fetchone()[0],
                con.execute("SELECT last_id FROM publish_marks WHERE consumer = 'mqtt'").fetchone()[0])
    finally:
        con.close()


class Replay(unittest.TestCase):
    def setUp(self):
        self.broker = Broker()
        self.config = {"mqtt": {"url": "mqtt://127.0.0.1:%d" % self.broker.port, "prefix": "t"},
                       "node": {"name": "n1"}, "dialogue": {"reply_delay_ms": 0}}

    def tearDown(self):
        self.broker.close()

    def check(self, got, uploads, duplicates_allowed):
        """Every reading of `uploads` (k, t) exactly once (or at least once), in order per terminal, exact values."""
        readings = []
        for topic, r in got:
            self.assertEqual(topic, "t/%s/reading" % r["barcode"])
            self.assertRegex(r.pop("received"), RECEIVED)
            readings.append(r)
        for t, bar in enumerate(TERMINALS):
            want = [r for k, tt in uploads if tt == t for r in expected_readings(k, t)]
            seen = [r for r in readings if r["barcode"] == bar]
            first = [r for i, r in enumerate(seen) if r not in seen[:i]]
            self.assertEqual(first, want, bar)
            if not duplicates_allowed:
                self.assertEqual(len(seen), len(want), "%s: published twice" % bar)

    def test_broker_stopped_and_started_in_the_middle_of_uploads(self):
        sub = Subscriber(self.broker.port, "t/+/reading")
        term = None
        try:
            with Service(self.config) as svc:
                svc.wait_log(b"<6>mqtt: connected to")
                term = Uploader(svc.udp_port)
                uploads = [(k, t) for k in range(30) for t in range(len(TERMINALS))]
                for i, (k, t) in enumerate(uploads):
                    if i == 30:
                        self.broker.stop()
                    if i == 60:
                        self.broker.start()
                    term.upload(k, t)
                got = sub.wait_for(2 * len(uploads))
                # Broker SIGTERMed with messages in flight: a reading may come twice, never go missing.
                self.check(got, uploads, duplicates_allowed=True)
                self.assertLessEqual(len(got), 2 * len(uploads) + 800)
                self.assertIn(b"<4>mqtt: connection lost", svc.log())
                # Every reading acknowledged: the mark reaches the last one and the log is emptied.
                deadline = time.monotonic() + 5
                while publish_log(svc.db)[0] != 0:
                    self.assertLess(time.monotonic(), deadline, "publish log not emptied")
                    time.sleep(0.05)
                self.assertGreaterEqual(publish_log(svc.db)[1], 2 * len(uploads))
        finally:
            if term:
                term.close()
            sub.close()

    def test_back_log_of_a_restart_while_the_broker_is_away(self):
        sub = Subscriber(self.broker.port, "t/+/reading")
        svc = Restartable(self.config)
        term = None
        try:
            svc.start()
            term = Uploader(svc.udp_port)
            before = [(k, t) for k in range(5) for t in range(len(TERMINALS))]
            for k, t in before:
                term.upload(k, t)
            sub.wait_for(2 * len(before), timeout=20)
            self.assertEqual(svc.stop()[0], 0)

            self.broker.stop()
            svc.start()   # the broker is away: stored, not published
            away = [(k, t) for k in range(5, 25) for t in range(len(TERMINALS))]
            for k, t in away:
                term.upload(k, t)
            rc, seconds = svc.stop()
            self.assertEqual(rc, 0)
            self.assertLess(seconds, 3.0)
            self.assertEqual(publish_log(svc.db)[0], 2 * len(away))

            self.broker.start()
            svc.start()
            got = sub.wait_for(2 * (len(before) + len(away)))
            # Clean stops and an acknowledged mark: nothing comes twice.
            self.check(got, before + away, duplicates_allowed=False)
            self.assertIn(b"<6>mqtt: publishing the stored readings after log id %d" % (2 * len(before)), svc.log())
        finally:
            if term:
                term.close()
            sub.close()
            svc.__exit__(None, None, None)

    def test_heat_meter_records(self):
        sub = Subscriber(self.broker.port, "t/+/heat")
        try:
            with Service(self.config) as svc:
                svc.wait_log(b"<6>mqtt: connected to")
                term = UdpTerminal(svc.udp_port)
                try:
                    term.s.sendto(heat_frame(), ("127.0.0.1", svc.udp_port))
                    got = sub.wait_for(2, timeout=10)
                finally:
                    term.close()
        finally:
            sub.close()
        self.assertEqual([t for t, _ in got], ["t/%s/heat" % BAR] * 2)
        for _, r in got:
            self.assertRegex(r.pop("received"), RECEIVED)
        flags = ["supply_sensor_open", "return_sensor_open", "supply_sensor_short", "return_sensor_short",
                 "negative_difference", "low_voltage", "flow_error", "pipes_reversed"]
        self.assertEqual(got[0][1], dict({
            "barcode": BAR, "node": "n1", "meter_address": "0012345678", "meter_time": "2024-05-17T08:30:00",
            "last_heat": 1234.5, "heat": 1300, "power": 50, "flow": 1.25, "total_flow": 9900,
            "supply_temperature": 45.5, "return_temperature": 40, "temperature_difference": 5.5,
            "working_hours": 1234, "flags": 5}, **{f: f in ("low_voltage", "pipes_reversed") for f in flags}))
        second = got[1][1]
        self.assertEqual((second["meter_address"], second["supply_temperature"], second["return_temperature"],
                          second["temperature_difference"], second["flags"], second["supply_sensor_open"],
                          second["low_voltage"]), ("1111111111", 45.37, 40.12, 5.25, 0x80, True, False))


def meter_record(tag, address, supply, ret, status):
    """One 62-byte record of a heat-meter upload (tag, two bytes, the 59-byte meter frame)."""
    m = bytearray(b"\xEE" * 59)
    m[0] = 0x68
    fields = {2: address, 15: "50 34 12 00", 20: "00 00 13 00", 25: "00 50 00 00", 30: "00 25 01 00",
              35: "00 00 99 00", 39: supply, 42: ret, 45: "34 12 00", 48: "00 30 08 17 05 24 20"}
    for at, hexes in fields.items():
        v = bytes.fromhex(hexes)
        m[at:at + len(v)] = v
    m[9] = 0x81
    m[55] = status
    m[57] = sum(m[:57]) & 0xFF
    m[58] = 0x16
    return bytes((tag, 0, 0)) + bytes(m)


def heat_frame():
    records = [meter_record(1, "78 56 34 12 00", "50 45 00", "00 40 00", 0x05),
               meter_record(2, "11 11 11 11 11", "37 45 00", "12 40 00", 0x80)]
    return request(0x2C, BAR, bytes((0, 0, 3, 5, len(records))) + b"".join(records))


if __name__ == "__main__":
    unittest.main()
