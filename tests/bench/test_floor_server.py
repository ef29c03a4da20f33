"""The load runs' floor server (bench/load/floor_server) on real loopback sockets:
exact reply bytes, the reply delay as a lower bound, a frame split over two
writes, UDP answers to the sender, and its counts at SIGTERM."""
import json
import os
import signal
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import crc_ok, reply, request  # noqa: E402

BIN = os.environ.get("HT6630_BIN", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "bin"))
DELAY = 0.2
BAR, BAR2 = "2012345678901", "2012345678902"
ZEROS = b"\x00\x00\x00"


def upload(records):
    """A room-temperature upload (payload 10 02 ...) of `records` records."""
    payload = (b"\x10\x02" + bytes.fromhex("00013800138000") + (3600).to_bytes(2, "big") + bytes.fromhex("2405170830")
               + (15).to_bytes(2, "big") + records.to_bytes(2, "big"))
    for i in range(records):
        payload += (200 + i).to_bytes(2, "big") + (550).to_bytes(2, "big")
    return request(0x2C, BAR, payload)


def notice(address="0" + BAR):
    return bytes.fromhex("7105" "0200AB") + bytes.fromhex(address) + b"\x00\x00\x0D"


def bcd(b):
    assert b >> 4 < 10 and b & 15 < 10, "not BCD: %02X" % b
    return (b >> 4) * 10 + (b & 15)


class Floor:
    def __init__(self, *args):
        self.proc = subprocess.Popen([os.path.join(BIN, "floor_server"), *args, "--delay", str(DELAY)],
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        assert line.startswith("port: "), line
        self.port = int(line.split()[1])

    def stop(self):
        """SIGTERM; the exit code and the counts it printed."""
        self.proc.send_signal(signal.SIGTERM)
        out, _ = self.proc.communicate(timeout=10)
        return self.proc.returncode, json.loads(out.strip().splitlines()[-1])


class FloorServer(unittest.TestCase):
    def recv_exactly(self, s, n):
        data = b""
        while len(data) < n:
            chunk = s.recv(n - len(data))
            self.assertTrue(chunk, "closed after %r" % data)
            data += chunk
        return data

    def exchange(self, s, *parts, expect_len):
        """Writes the parts (0.1 s apart); returns the reply and the time from just before
        the last write to its arrival."""
        for i, part in enumerate(parts):
            if i:
                time.sleep(0.1)
            t0 = time.monotonic()
            s.sendall(part)
        got = self.recv_exactly(s, expect_len)
        return got, time.monotonic() - t0

    def test_tcp(self):
        floor = Floor("--tcp")
        try:
            s = socket.create_connection(("127.0.0.1", floor.port), timeout=10)
            with s:
                cases = [
                    ("registration", request(0x01, BAR, b"\x01\x05"), reply(0x71, BAR, ZEROS)),
                    ("heart beat", request(0x02, BAR, b"\x00\x00\x00"), reply(0x72, BAR, ZEROS)),
                    ("heat-meter upload", request(0x2C, BAR, b"\x00\x00\x03\x05\x02" + b"\xA1" + bytes(61) + b"\xB2"
                                                  + bytes(61)), reply(0x9C, BAR, b"\x03\x05\x02\xA1\xB2")),
                    ("upload-end notice", notice(), bytes.fromhex("51070200AB")),
                ]
                for name, sent, want in cases:
                    got, waited = self.exchange(s, sent, expect_len=len(want))
                    self.assertEqual(got, want, name)
                    self.assertGreaterEqual(waited, DELAY, name)

                # 48 records: acknowledged with the host's clock at receipt (BCD) and 0x01.
                before = time.localtime()
                got, waited = self.exchange(s, upload(48), expect_len=22)
                after = time.localtime()
                self.assertGreaterEqual(waited, DELAY)
                self.assertEqual(got[:12], reply(0x9C, BAR, bytes(7))[:12])
                self.assertTrue(crc_ok(got) and got[-1] == 0x0D, got.hex())
                self.assertEqual(got[18], 0x01)
                clock = tuple(bcd(b) for b in got[12:18])
                stamp = lambda t: (t.tm_year % 100, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)
                self.assertTrue(stamp(before) <= clock <= stamp(after), (clock, stamp(before), stamp(after)))

                # A registration split inside its header, then one split inside its payload.
                for cut in (7, 14):
                    f = request(0x01, BAR2, b"\x01\x05")
                    got, waited = self.exchange(s, f[:cut], f[cut:], expect_len=18)
                    self.assertEqual(got, reply(0x71, BAR2, ZEROS), cut)
                    self.assertGreaterEqual(waited, DELAY)

                # A connection that closes before its reply is due: its reply must not reach
                # the next connection, which may get the same descriptor.
                with socket.create_connection(("127.0.0.1", floor.port), timeout=10) as gone:
                    gone.sendall(request(0x01, BAR, b"\x01\x05"))
                time.sleep(0.05)   # the floor closes its side, and the next accept reuses the descriptor
                with socket.create_connection(("127.0.0.1", floor.port), timeout=10) as fresh:
                    got, waited = self.exchange(fresh, request(0x01, BAR2, b"\x01\x05"), expect_len=18)
                    self.assertEqual(got, reply(0x71, BAR2, ZEROS))
                    self.assertGreaterEqual(waited, DELAY)   # not sent at the closed one's time
                # A notice and a frame in one write: the notice's block ends where the frame
                # starts; both answered, in order.
                got, _ = self.exchange(s, notice() + request(0x01, BAR, b"\x01\x05"), expect_len=23)
                self.assertEqual(got, bytes.fromhex("51070200AB") + reply(0x71, BAR, ZEROS))
        finally:
            code, counts = floor.stop()
        self.assertEqual(code, 0)
        self.assertEqual((counts["blocks"], counts["connections"]), (11, 3))
        # The closed connection's reply is sent only when the floor has not seen the close in time.
        self.assertIn(counts["replies"], (10, 11))

    def test_udp(self):
        floor = Floor("--udp")
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                s.settimeout(10)
                s.bind(("127.0.0.1", 0))
                # No heart-beat answer over UDP, none to a datagram over 32,767 bytes: the first
                # datagram back answers the registration.
                s.sendto(request(0x02, BAR, b"\x00\x00\x00"), ("127.0.0.1", floor.port))
                s.sendto(request(0x01, BAR2, bytes(32768 - 15)), ("127.0.0.1", floor.port))
                t0 = time.monotonic()
                s.sendto(request(0x01, BAR, b"\x01\x05"), ("127.0.0.1", floor.port))
                got, _ = s.recvfrom(65536)
                self.assertGreaterEqual(time.monotonic() - t0, DELAY)
                self.assertEqual(got, reply(0x71, BAR, ZEROS))
                s.sendto(notice(), ("127.0.0.1", floor.port))
                self.assertEqual(s.recvfrom(65536)[0], bytes.fromhex("51070200AB"))
        finally:
            code, counts = floor.stop()
        self.assertEqual((code, counts), (0, {"blocks": 4, "replies": 2, "connections": 0}))


if __name__ == "__main__":
    unittest.main()
