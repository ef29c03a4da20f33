"""Each fault mode produces what it names, on the wire of a loopback data centre."""
import select
import socket
import time
import unittest

from simkit import Sim, auto_answer, crc_ok, cut_frames, frame, hx, pack_address

OWN = "02012345678901"


def tcp_session(test, *args, seconds=2.5, answer=True):
    """Runs the simulator against a data centre that answers what it can cut;
    returns (recv chunks with times, all bytes, summary, exit code, eof seen)."""
    srv = socket.socket()
    srv.bind(("127.0.0.1", 0))
    srv.listen(4)
    srv.settimeout(10)
    sim = Sim("--tcp", "127.0.0.1:%d" % srv.getsockname()[1], "--once", "--answer-timeout", "0.5", *args)
    conn, _ = srv.accept()
    chunks, buf, data, eof = [], b"", b"", False
    end = time.monotonic() + seconds
    try:
        while time.monotonic() < end and not eof:
            r, _, _ = select.select([conn], [], [], 0.05)
            if not r:
                continue
            c = conn.recv(65536)
            if not c:
                eof = True
                break
            chunks.append((time.monotonic(), c))
            data += c
            frames, buf = cut_frames(buf + c)
            for f in frames:
                a = auto_answer(f, OWN) if answer else None
                if a:
                    conn.sendall(a)
    finally:
        rc, summary = sim.stop()
        conn.close()
        srv.close()
    return chunks, data, summary, rc, eof


def after_registration(data):
    reg_len = 15 + (data[10] << 8 | data[11])
    return data[reg_len:]


class NetworkFaults(unittest.TestCase):
    def test_bad_crc(self):
        _, data, s, rc, _ = tcp_session(self, "--fault", "bad-crc")
        frames, _ = cut_frames(data)
        framed = [f for f in frames if f[:2] == b"QV"]
        self.assertGreaterEqual(len(framed), 2)
        self.assertFalse(any(crc_ok(f) for f in framed))

    def test_truncated(self):
        _, data, s, rc, _ = tcp_session(self, "--fault", "truncated", "--records", "6")
        rest = after_registration(data)
        self.assertEqual(rest[:3], b"QV\x2c")
        declared = 15 + (rest[10] << 8 | rest[11])
        self.assertEqual(declared, 15 + 20 + 24)
        # what follows the cut upload is the end notice, a third of the upload early
        cut = declared - declared // 3
        self.assertEqual(rest[cut:cut + 5], hx("71 05 02 00 AB"))

    def test_split(self):
        chunks, data, s, rc, _ = tcp_session(self, "--fault", "split", "--records", "4")
        reg_len = 15 + 2
        self.assertGreaterEqual(len(chunks), 3)
        sizes = [len(c) for _, c in chunks[:3]]
        self.assertEqual(sum(sizes), reg_len)
        self.assertEqual(sizes, [reg_len // 3, 2 * reg_len // 3 - reg_len // 3, reg_len - 2 * reg_len // 3])
        gaps = [chunks[k + 1][0] - chunks[k][0] for k in range(2)]
        self.assertTrue(all(0.12 < g < 1.0 for g in gaps), gaps)
        self.assertEqual(s["missing"], 0)

    def test_coalesced(self):
        chunks, data, s, rc, _ = tcp_session(self, "--fault", "coalesced", "--heat-meters", "1", "--records", "2")
        second = chunks[1][1]
        frames, rest = cut_frames(second)
        self.assertEqual(rest, b"")
        self.assertEqual([f[:3] for f in frames], [b"QV\x2c", b"QV\x2c", hx("71 05 02")])
        self.assertEqual(frames[1][14:17], bytes([3, 5, 1]))
        self.assertEqual(s["missing"], 0)

    def test_drip(self):
        chunks, data, s, rc, _ = tcp_session(self, "--fault", "drip", seconds=2.5)
        # One byte per write with pauses: the reader sees many small pieces spread over
        # time (a loaded machine may still hand two bytes to one read).
        first = []
        for t, c in chunks:
            first.append((t, c))
            if sum(len(c) for _, c in first) >= 17:
                break
        self.assertGreaterEqual(len(first), 9)
        self.assertTrue(all(len(c) <= 2 for _, c in first))
        self.assertGreater(first[-1][0] - first[0][0], 0.12)
        self.assertEqual(data[:17], frame(0x01, OWN, [0x01, 0x05]))

    def test_disconnect_mid_frame(self):
        chunks, data, s, rc, eof = tcp_session(self, "--fault", "disconnect-mid-frame", "--records", "4")
        self.assertTrue(eof)
        rest = after_registration(data)
        self.assertEqual(rest[:3], b"QV\x2c")
        self.assertEqual(len(rest), (15 + 20 + 16) // 2)
        self.assertEqual(rc, 0)

    def test_garbage(self):
        _, data, s, rc, _ = tcp_session(self, "--fault", "garbage")
        rest = after_registration(data)
        self.assertFalse(set(rest[:24]) & {0x51, 0x71, 0x0D, 0x00})
        self.assertEqual(rest[24:27], b"QV\x2c")

    def test_heat_overcount(self):
        _, data, s, rc, _ = tcp_session(self, "--fault", "heat-overcount", "--heat-meters", "2", "--records", "1")
        frames, _ = cut_frames(data)
        heat = [f for f in frames if f[:3] == b"QV\x2c" and f[14:16] == b"\x03\x05"]
        self.assertEqual(len(heat), 1)
        h = heat[0]
        self.assertTrue(crc_ok(h))
        self.assertEqual(h[16], 3)
        self.assertLess(len(h), 15 + 5 + 62 * 3)
        self.assertGreaterEqual(len(h), 15 + 5 + 62 * 2)

    def test_oversized_datagram(self):
        srv = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        srv.bind(("127.0.0.1", 0))
        srv.settimeout(10)
        sim = Sim("--udp", "127.0.0.1:%d" % srv.getsockname()[1], "--once", "--fault", "oversized-datagram",
                  "--answer-timeout", "0.5", "--quiet")
        try:
            sizes = []
            big = None
            while big is None:
                d, peer = srv.recvfrom(70000)
                sizes.append(len(d))
                if len(d) > 32767:
                    big = d
                a = auto_answer(d, OWN)
                if a:
                    srv.sendto(a, peer)
        finally:
            rc, s = sim.stop()
            srv.close()
        self.assertEqual(big[:3], b"QV\x2c")
        self.assertEqual(len(big), 15 + (big[10] << 8 | big[11]))
        self.assertTrue(crc_ok(big))
        self.assertEqual(s["sent"].get("oversized"), 1)


if __name__ == "__main__":
    unittest.main()
