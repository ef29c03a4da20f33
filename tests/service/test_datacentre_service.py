"""ht6630-datacentre, the real program, with the real terminal simulator or
frames sent from here, on loopback."""
import json
import os
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import unittest

from service_support import SERVICE, TERMINAL, Service

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import crc_ok, pack_address, reply, request  # noqa: E402

BAR = "2012345678901"
# A room-temperature upload of two records, 2024-05-17 08:30, 15 minutes apart, 3.68 V.
UPLOAD_PAYLOAD = bytes.fromhex("10 02 00 01 38 00 13 80 00 01 70 24 05 17 08 30 00 0F 00 02 00 32 02 CE 00 3C 02 D5")


def readings(db):
    con = sqlite3.connect(db)
    try:
        return con.execute("SELECT barcode, time, temperature_c, humidity_pct, battery_v, source FROM readings "
                           "ORDER BY barcode, time").fetchall()
    finally:
        con.close()


def simulate(channel, port, *args):
    out = subprocess.run([TERMINAL, "--" + channel, "127.0.0.1:%d" % port, "--set", "barcode=" + BAR,
                          "--set", "clock=240517083000", "--set", "clock-runs=0", *args],
                         check=True, timeout=30, capture_output=True).stdout
    return [json.loads(line) for line in out.splitlines() if b'"dir"' in line]


class UdpTerminal:
    """A UDP socket on loopback that sends frames to the service and reads its answers."""

    def __init__(self, port):
        self.port = port
        self.s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.s.bind(("127.0.0.1", 0))
        self.s.settimeout(5.0)

    def upload_ack(self):
        self.s.sendto(request(0x2C, BAR, UPLOAD_PAYLOAD), ("127.0.0.1", self.port))
        ack = self.s.recv(256)
        # qv 9C, the terminal's address, 7 bytes: the date and time, then the mode byte.
        assert ack[:12] == b"qv\x9c" + pack_address(BAR) + b"\x00\x07" and crc_ok(ack) and len(ack) == 22, ack.hex()
        return ack[18]

    def close(self):
        self.s.close()


class DataCentreService(unittest.TestCase):
    def test_heartbeats_answered_with_each_senders_address(self):
        with Service({"dialogue": {"reply_delay_ms": 100}}) as svc:
            lines = simulate("tcp", svc.tcp_port, "--count", "2", "--once", "--records", "1", "--heartbeat", "1",
                             "--duration", "3.5")
            acks = {}
            for line in lines:
                if line["dir"] == "rx" and line["kind"] in ("registration-ack", "heartbeat-ack"):
                    acks.setdefault((line["term"], line["kind"]), set()).add(line["hex"].replace(" ", ""))
            for term in (BAR, "2012345678902"):
                self.assertEqual(acks.get((term, "registration-ack")), {reply(0x71, term, b"\0\0\0").hex().upper()})
                self.assertEqual(acks.get((term, "heartbeat-ack")), {reply(0x72, term, b"\0\0\0").hex().upper()})
            log = svc.log()
            self.assertIn(b"<6>listening on tcp 127.0.0.1:%d\n" % svc.tcp_port, log)
            self.assertIn(b"<6>registration 2012345678902 from 127.0.0.1:", log)
            self.assertIn(b"<6>terminal 2012345678901 online (tcp connection ", log)
            svc.wait_log(b"<6>terminal 2012345678902 offline (tcp connection ")

    def test_upload_stored_with_its_values(self):
        with Service({"dialogue": {"reply_delay_ms": 100, "mode": "sleep"}}) as svc:
            lines = simulate("udp", svc.udp_port, "--once", "--records", "4", "--duration", "2")
            self.assertEqual([line["mode"] for line in lines if line.get("kind") == "upload-ack"], [0])
            self.assertEqual(svc.terminate()[0], 0)
            self.assertEqual(readings(svc.db), [
                (BAR, "2024-05-17T07:45:00", 5.0, 71.8, 3.68, "UDP"),
                (BAR, "2024-05-17T08:00:00", 6.0, 72.5, 3.68, "UDP"),
                (BAR, "2024-05-17T08:15:00", 7.0, 73.1, 3.68, "UDP"),
                (BAR, "2024-05-17T08:30:00", 7.9, 73.6, 3.68, "UDP"),
            ])
            self.assertIn(b"<6>upload 2012345678901: 4 record(s), battery 3.68 V (udp)\n", svc.log())

    def test_sigterm_during_a_reply_wait(self):
        with Service({"dialogue": {"reply_delay_ms": 1500}}) as svc:
            t = UdpTerminal(svc.udp_port)
            try:
                t.s.sendto(request(0x2C, BAR, UPLOAD_PAYLOAD), ("127.0.0.1", svc.udp_port))
                svc.wait_log(b"<6>upload 2012345678901")
                rc, seconds = svc.terminate()
                self.assertEqual(rc, 0)
                self.assertLess(seconds, 3.0)
                ack = t.s.recv(256)   # the waiting reply left before the exit
                self.assertEqual(ack[:3], b"qv\x9c")
            finally:
                t.close()
            self.assertEqual([r[1] for r in readings(svc.db)], ["2024-05-17T08:15:00", "2024-05-17T08:30:00"])
            self.assertIn(b"<6>stopped\n", svc.log())

    def test_sighup_reloads_the_mode_and_names_restart_only_keys(self):
        with Service({"dialogue": {"reply_delay_ms": 0}}) as svc:
            t = UdpTerminal(svc.udp_port)
            try:
                self.assertEqual(t.upload_ack(), 1)
                svc.write_config({"tcp": {"listen": "127.0.0.1:1"}, "udp": {"listen": "127.0.0.1:%d" % svc.udp_port},
                                  "store": {"path": "readings.db"}, "dialogue": {"mode": "sleep", "reply_delay_ms": 0}})
                svc.proc.send_signal(signal.SIGHUP)
                svc.wait_log(b"<4>changed but applied only after a restart: [tcp] listen\n")
                self.assertEqual(t.upload_ack(), 0)
            finally:
                t.close()

    def test_ready_watchdog_and_stopping_notified(self):
        for abstract in (False, True):
            tmp = tempfile.TemporaryDirectory()
            n = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
            try:
                path = os.path.join(tmp.name, "notify")
                n.bind("\0ht6630-test-%d" % os.getpid() if abstract else path)
                n.settimeout(5.0)
                name = "@ht6630-test-%d" % os.getpid() if abstract else path
                with Service({}, env={"NOTIFY_SOCKET": name, "WATCHDOG_USEC": "200000"}) as svc:
                    self.assertEqual(n.recv(64), b"READY=1")
                    self.assertEqual(n.recv(64), b"WATCHDOG=1")
                    self.assertEqual(n.recv(64), b"WATCHDOG=1")   # again, about 100 ms later
                    svc.proc.send_signal(signal.SIGTERM)
                    while (m := n.recv(64)) == b"WATCHDOG=1":
                        pass
                    self.assertEqual(m, b"STOPPING=1")
                    self.assertEqual(svc.proc.wait(timeout=5), 0)
            finally:
                n.close()
                tmp.cleanup()

    def test_connection_limit(self):
        with Service({"limits": {"connections": 1}}) as svc:
            first = socket.create_connection(("127.0.0.1", svc.tcp_port), timeout=5)
            second = socket.create_connection(("127.0.0.1", svc.tcp_port), timeout=5)
            try:
                self.assertEqual(second.recv(16), b"")   # closed at once
                first.sendall(request(0x01, BAR))
                self.assertEqual(first.recv(64), reply(0x71, BAR, b"\0\0\0"))   # the first one is served
            finally:
                first.close()
                second.close()

    def test_check_config(self):
        with Service({}) as svc:
            good = subprocess.run([SERVICE, "--config", svc.config, "--check-config"], capture_output=True, timeout=10)
            self.assertEqual(good.returncode, 0, good.stderr)
            for section, keys, named in (("dialogue", {"mode": "fast"}, b"[dialogue] mode: must be configuration or sleep"),
                                         ("tcp", {"backlog": "5"}, b"[tcp] backlog: unknown key"),
                                         ("udp", {"listen": "127.0.0.1:99999"}, b"[udp] listen: port must be")):
                svc.write_config({section: keys})
                r = subprocess.run([SERVICE, "--config", svc.config, "--check-config"], capture_output=True, timeout=10)
                self.assertEqual(r.returncode, 2)
                self.assertIn(named, r.stderr)
        for flag, text in (("--version", b"ht6630-datacentre "), ("--help", b"Usage: ht6630-datacentre")):
            r = subprocess.run([SERVICE, flag], capture_output=True, timeout=10)
            self.assertEqual(r.returncode, 0)
            self.assertTrue(r.stdout.startswith(text), r.stdout)


if __name__ == "__main__":
    unittest.main()
