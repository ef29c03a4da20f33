"""Readings kept for the broker while it is away: a persistent mosquitto stopped
and started again, UDP uploads from the test, a persistent-session subscriber
that must see every reading, in order per terminal, with exact values. Also the
heat-meter topic."""
import json
import os
import sqlite3
import subprocess
import threading
import time
import unittest

from service_support import Service
from test_datacentre_mqtt import Broker
from test_datacentre_service import BAR, UdpTerminal, request

TERMINALS = ["2012345678901", "2012345678902", "2012345678903"]


class Subscriber:
    """mosquitto_sub, QoS 1 with a persistent session (it reconnects by itself)."""

    def __init__(self, port, topic):
        self.proc = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-p", str(port), "-h", "127.0.0.1", "-t", topic,
                                      "-q", "1", "-c", "-i", "replay-test", "-v", "-d"], stdout=subprocess.PIPE)
        self.got, self.subscribed = [], threading.Event()
        threading.Thread(target=self.read, daemon=True).start()
        assert self.subscribed.wait(10), "no subscription"

    def read(self):
        for line in self.proc.stdout:
            self.subscribed.set() if b"received SUBACK" in line else None
            if line.strip() and not line.startswith((b"Client ", b"Subscribed ")):
                message = json.loads(line.partition(b" ")[2])
                # An upload's message: its records, each with the upload's bar code, node and receipt.
                records = message.pop("readings", None)
                self.got += [dict(message, **r) for r in records] if records is not None else [message]

    def wait_for(self, count, timeout=40.0):
        """What arrived once `count` messages have (at most `timeout` s), and half a second more for extra ones."""
        deadline = time.monotonic() + timeout
        while len(self.got) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.5)
        self.close()
        return [dict(r, received=None) for r in self.got]

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=10)


def upload(term, k, t):
    """Sends terminal t's upload k (two records 15 min apart, 30 min after upload k-1); returns the readings due."""
    end = 8 * 60 + 30 + 30 * k
    clock = "%02d %02d %02d" % (17 + end // 1440, end % 1440 // 60, end % 60)
    values = [(100 * t + 2 * k + j, 400 + 3 * k + j) for j in (0, 1)]
    payload = bytes.fromhex("10 02 00 01 38 00 13 80 00 01 70 24 05" + clock + "00 0F 00 02")
    payload += b"".join(a.to_bytes(2, "big") + b.to_bytes(2, "big") for a, b in values)
    term.s.sendto(request(0x2C, TERMINALS[t], payload), ("127.0.0.1", term.port))
    assert term.s.recv(256)[:3] == b"qv\x9c"
    return [{"barcode": TERMINALS[t], "time": "2024-05-%02dT%02d:%02d:00" % (17 + m // 1440, m % 1440 // 60, m % 60),
             "temperature": a / 10, "humidity": b / 10, "battery": 3.68, "node": "n1", "received": None}
            for m, (a, b) in zip((end - 15, end), values)]


def publish_log(db):
    """(rows in the log, the mark); None while the service has not made its tables yet."""
    con = sqlite3.connect(db)
    try:
        return con.execute("SELECT (SELECT count(*) FROM publish_log), last_id FROM publish_marks").fetchone()
    except sqlite3.OperationalError as e:
        if "no such table" in str(e):
            return None
        raise
    finally:
        con.close()


class Replay(unittest.TestCase):
    def setUp(self):
        self.broker = Broker(persistent=True)
        self.config = {"mqtt": {"url": "mqtt://127.0.0.1:%d" % self.broker.port, "prefix": "t"},
                       "node": {"name": "n1"}, "dialogue": {"reply_delay_ms": 0}}

    def tearDown(self):
        self.broker.close()

    def wait_for_mark(self, db, logged_and_mark):
        """All acknowledged: the mark on the last reading, the log emptied (at most 5 s)."""
        deadline = time.monotonic() + 5
        while publish_log(db) != logged_and_mark:
            self.assertLess(time.monotonic(), deadline, publish_log(db))
            time.sleep(0.05)

    def check(self, got, want, once):
        """Each terminal's readings in order with their values; repeats only where allowed."""
        for bar in TERMINALS:
            seen = [r for r in got if r["barcode"] == bar]
            self.assertEqual([r for i, r in enumerate(seen) if r not in seen[:i]], [r for r in want if r["barcode"] == bar])
            if once:
                self.assertEqual(len(seen), len([r for r in want if r["barcode"] == bar]), "published twice")

    def test_broker_stopped_and_started_during_uploads(self):
        sub = Subscriber(self.broker.port, "t/+/readings")
        self.addCleanup(sub.close)
        with Service(self.config) as svc:
            svc.wait_log(b"<6>mqtt: connected to")
            term, want = UdpTerminal(svc.udp_port), []
            for i in range(90):
                self.broker.stop() if i == 30 else self.broker.start() if i == 60 else None
                want += upload(term, i // 3, i % 3)
            term.close()
            # SIGTERM with messages in flight: one may come twice, none may go missing.
            self.check(sub.wait_for(len(want)), want, once=False)
            self.assertIn(b"<4>mqtt: connection lost", svc.log())
            self.wait_for_mark(svc.db, (0, len(want)))

    def test_service_restarted_while_the_broker_is_away(self):
        sub = Subscriber(self.broker.port, "t/+/readings")
        self.addCleanup(sub.close)
        svc, want = Service(self.config), []
        try:
            for run in range(3):
                svc.log_path = os.path.join(svc.dir.name, "service-%d.log" % run)
                svc.__enter__()
                if run == 2:
                    break
                term = UdpTerminal(svc.udp_port)
                want += [r for i in range(30 * run, 30 * run + 30) for r in upload(term, i // 3, i % 3)]
                term.close()
                if run == 0:
                    self.wait_for_mark(svc.db, (0, len(want)))
                self.assertEqual(svc.terminate()[0], 0)
                svc.log_file.close()
                if run == 0:
                    self.broker.stop()   # run 1 stores its readings with nowhere to publish them
            self.assertEqual(publish_log(svc.db), (60, 60))
            self.broker.start()
            # Clean stops and an acknowledged mark: nothing comes twice.
            self.check(sub.wait_for(len(want)), want, once=True)
            self.assertIn(b"<6>mqtt: publishing the stored readings after log id 60", svc.log())
        finally:
            svc.__exit__(None, None, None)

    def test_heat_meter_records(self):
        """Uploaded while the broker is away, kept across a restart, published once it is back."""
        sub = Subscriber(self.broker.port, "t/+/heat")
        self.addCleanup(sub.close)
        svc = Service(self.config)
        try:
            svc.__enter__()
            svc.wait_log(b"<6>mqtt: connected to")
            self.broker.stop()
            term = UdpTerminal(svc.udp_port)
            records = [meter_record(1, "78 56 34 12 00", "50 45 00", "00 40 00", 0x05),
                       meter_record(2, "11 11 11 11 11", "37 45 00", "12 40 00", 0x80)]
            term.s.sendto(request(0x2C, BAR, bytes((0, 0, 3, 5, 2)) + b"".join(records)), ("127.0.0.1", svc.udp_port))
            svc.wait_log(b"heat-meter upload")
            term.close()
            self.assertEqual(svc.terminate()[0], 0)
            svc.log_file.close()
            self.broker.start()
            svc.log_path = os.path.join(svc.dir.name, "service-again.log")
            svc.__enter__()
            got = sub.wait_for(2, timeout=20)
        finally:
            svc.__exit__(None, None, None)
        flags = ["supply_sensor_open", "return_sensor_open", "supply_sensor_short", "return_sensor_short",
                 "negative_difference", "low_voltage", "flow_error", "pipes_reversed"]
        common = {"barcode": BAR, "node": "n1", "received": None, "meter_time": "2024-05-17T08:30:00",
                  "last_heat": 1234.5, "heat": 1300, "power": 50, "flow": 1.25, "total_flow": 9900, "working_hours": 1234}
        self.assertEqual(got, [
            dict(common, meter_address="0012345678", supply_temperature=45.5, return_temperature=40,
                 temperature_difference=5.5, flags=5, **{f: f in ("low_voltage", "pipes_reversed") for f in flags}),
            dict(common, meter_address="1111111111", supply_temperature=45.37, return_temperature=40.12,
                 temperature_difference=5.25, flags=0x80, **{f: f == "supply_sensor_open" for f in flags})])


def meter_record(tag, address, supply, ret, status):
    """A heat-meter upload's record: tag, two bytes, the 59-byte meter frame (filler EE where not read)."""
    m = bytearray(b"\xEE" * 59)
    for at, hexes in {0: "68", 2: address, 9: "81", 15: "50 34 12 00", 20: "00 00 13 00", 25: "00 50 00 00",
                      30: "00 25 01 00", 35: "00 00 99 00", 39: supply, 42: ret, 45: "34 12 00",
                      48: "00 30 08 17 05 24 20"}.items():
        m[at:at + len(bytes.fromhex(hexes))] = bytes.fromhex(hexes)
    m[55], m[58] = status, 0x16
    m[57] = sum(m[:57]) & 0xFF
    return bytes((tag, 0, 0)) + bytes(m)


if __name__ == "__main__":
    unittest.main()
