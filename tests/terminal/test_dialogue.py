"""The data-centre dialogue over loopback TCP and UDP against a scripted data
centre: registration, upload, heat-meter upload, end notice, a queued request."""
import json
import socket
import time
import unittest

from simkit import (Sim, StreamReader, auto_answer, crc_ok, cut_frames, frame, hx, pack_address, spaced)

OWN = "02012345678901"


def check_upload(test, f, records, phone, battery):
    test.assertEqual(f[:3], b"QV\x2c")
    test.assertEqual(f[3:10], pack_address(OWN))
    test.assertTrue(crc_ok(f))
    test.assertEqual(len(f), 15 + 20 + 4 * records)
    test.assertEqual(f[10] << 8 | f[11], 20 + 4 * records)
    test.assertEqual(f[12:14], b"\x10\x02")
    test.assertEqual(f[14:21], hx(phone))
    test.assertEqual(f[21] << 8 | f[22], battery)
    for b in f[23:28]:
        test.assertTrue((b >> 4) <= 9 and (b & 15) <= 9, "upload time is BCD")
    test.assertEqual(f[28:30], b"\x00\x0f")
    test.assertEqual(f[30] << 8 | f[31], records)
    temps = []
    for j in range(records):
        t = int.from_bytes(f[32 + 4 * j:34 + 4 * j], "big", signed=True)
        h = f[34 + 4 * j] << 8 | f[35 + 4 * j]
        test.assertTrue(-100 <= t <= 200 and 350 <= h <= 750, (t, h))
        temps.append(t)
    return temps


def check_heat(test, f, k):
    test.assertEqual(f[:3], b"QV\x2c")
    test.assertTrue(crc_ok(f))
    test.assertEqual(f[14:17], bytes([3, 5, k]))
    test.assertEqual(len(f), 15 + 5 + 62 * k)
    test.assertNotEqual(f[12:14], b"\x10\x02")
    for i in range(k):
        m = 20 + 62 * i
        test.assertEqual(f[17 + 62 * i], i + 1)
        test.assertEqual((f[m], f[m + 9], f[m + 58]), (0x68, 0x81, 0x16))
        test.assertEqual(sum(f[m:m + 57]) % 256, f[m + 57])


class TcpDialogue(unittest.TestCase):
    def setUp(self):
        self.srv = socket.socket()
        self.srv.bind(("127.0.0.1", 0))
        self.srv.listen(8)
        self.srv.settimeout(10)
        self.port = self.srv.getsockname()[1]

    def tearDown(self):
        self.srv.close()

    def test_full_dialogue_with_queued_request(self):
        sim = Sim("--tcp", "127.0.0.1:%d" % self.port, "--once", "--heat-meters", "2", "--records", "3",
                  "--set", "phone=13912345678", "--set", "battery=3.61")
        conn, _ = self.srv.accept()
        rd = StreamReader(conn)
        reg = rd.next()
        self.assertEqual(reg[:3], b"QV\x01")
        self.assertEqual(reg[3:10], pack_address(OWN))
        self.assertTrue(crc_ok(reg))
        conn.sendall(frame(0x71, OWN, [0, 0, 0], reply=True))
        up = rd.next()
        check_upload(self, up, 3, "00013912345678", 361)
        conn.sendall(frame(0x9C, OWN, hx("24 05 17 08 30 00 00"), reply=True))
        heat = rd.next()
        check_heat(self, heat, 2)
        conn.sendall(frame(0x9C, OWN, bytes([3, 5, 2, 1, 2]), reply=True))
        end = rd.next()
        self.assertEqual(end[:5], hx("71 05 02 00 AB"))
        self.assertGreaterEqual(len(end), 15)
        # sleep mode: the notice answer, then the request queued meanwhile
        conn.sendall(hx("51 06 02 00 AB"))
        time.sleep(0.2)
        conn.sendall(frame(0x0A, OWN, [0x04, 0x5A]))
        self.assertEqual(rd.next(), frame(0x7A, OWN, hx("04 5A 00"), reply=True))
        # the clock was set from the upload acknowledgement
        conn.sendall(frame(0x0D, OWN, [0x03]))
        params = rd.next()
        self.assertEqual(len(params), 36)
        self.assertEqual(params[21], 0x5A)
        self.assertEqual(params[27:31], hx("24 05 17 08"))
        self.assertIn(params[31], (0x30, 0x31))
        conn.sendall(hx("51 06 02 AA AB"))        # setting follow-up: nothing to answer
        time.sleep(0.3)
        conn.close()
        self.assertEqual(sim.proc.wait(timeout=10), 0)
        rc, s = sim.stop()
        self.assertEqual(rc, 0)
        self.assertEqual(s["terminals"], 1)
        self.assertEqual(s["sent"], {"registration": 1, "upload": 1, "heat-upload": 1, "upload-end": 1, "response": 2})
        self.assertEqual(s["received"], {"registration-ack": 1, "upload-ack": 1, "heat-ack": 1, "end-answer": 1,
                                         "request": 2, "setting-followup": 1})
        self.assertEqual(s["missing"], 0)
        self.assertEqual(set(s["latency_ms"]), {"registration", "upload", "heat-upload", "upload-end"})
        for v in s["latency_ms"].values():
            self.assertTrue(0 <= v["min"] <= v["p50"] <= v["p99"] <= v["max"] < 10000)
        tx = sim.frames(dir="tx")
        self.assertEqual([o["kind"] for o in tx],
                         ["registration", "upload", "heat-upload", "upload-end", "response", "response"])
        self.assertEqual(tx[1]["hex"], spaced(up))
        self.assertEqual(tx[2]["hex"], spaced(heat))
        self.assertTrue(all(o["term"] == "2012345678901" and isinstance(o["t"], float) for o in tx))
        self.assertEqual(sim.frames(kind="upload-ack")[0]["mode"], 0)
        self.assertEqual(sim.frames(kind="end-answer")[0]["code"], 6)

    def test_heart_beats_and_periodic_uploads(self):
        sim = Sim("--tcp", "127.0.0.1:%d" % self.port, "--heartbeat", "0.3", "--upload-every", "0.8", "--records", "1")
        conn, _ = self.srv.accept()
        rd = StreamReader(conn)
        kinds = []
        temps = []
        end = time.monotonic() + 3.0
        while time.monotonic() < end:
            f = rd.next(timeout=5)
            kinds.append(f[2] if f[:2] == b"QV" else "end")
            if f[:2] == b"QV" and f[2] == 0x02:
                self.assertGreaterEqual(len(f), 18)
                self.assertTrue(crc_ok(f))
            if f[:2] == b"QV" and f[2] == 0x2C:
                temps += check_upload(self, f, 1, "00013800138000", 368)
            a = auto_answer(f, OWN)
            if a:
                conn.sendall(a)
        rc, s = sim.stop()
        conn.close()
        self.assertEqual(rc, 0)
        self.assertGreaterEqual(kinds.count(0x02), 6)
        self.assertGreaterEqual(kinds.count(0x2C), 3)
        self.assertIn(kinds.count(0x2C) - kinds.count("end"), (0, 1))   # the last cycle may be under way
        self.assertEqual(len(set(temps)), len(temps), "the synthetic temperature moves")
        self.assertLessEqual(s["sent"]["heartbeat"] - s["missing"], s["received"]["heartbeat-ack"])
        self.assertLessEqual(s["received"]["heartbeat-ack"], s["sent"]["heartbeat"])
        self.assertIn("heartbeat", s["latency_ms"])

    def test_closed_by_data_centre_and_refused(self):
        sim = Sim("--tcp", "127.0.0.1:%d" % self.port)
        conn, _ = self.srv.accept()
        StreamReader(conn).next()
        conn.close()
        self.assertEqual(sim.proc.wait(timeout=10), 3)
        rc, s = sim.stop()
        self.assertIn(b"closed", sim.stderr)
        self.assertEqual(s["missing"], 1)
        self.srv.close()
        for proto in ("--tcp", "--udp"):
            sim = Sim(proto, "127.0.0.1:%d" % self.port)
            self.assertEqual(sim.proc.wait(timeout=10), 3)
            sim.stop()
            self.assertIn(b"refused", sim.stderr)


class UdpDialogue(unittest.TestCase):
    def test_dialogue_in_datagrams(self):
        srv = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        srv.bind(("127.0.0.1", 0))
        srv.settimeout(10)
        sim = Sim("--udp", "127.0.0.1:%d" % srv.getsockname()[1], "--once", "--heat-meters", "1",
                  "--heartbeat", "0.4", "--records", "2")
        try:
            def next_frame():
                while True:
                    d, peer = srv.recvfrom(65536)
                    if not (d[:3] == b"QV\x02"):
                        return d, peer
                    self.assertGreaterEqual(len(d), 18)   # heart beats are not answered over UDP
            reg, peer = next_frame()
            self.assertEqual(reg[:3], b"QV\x01")
            self.assertEqual(peer[0], "127.0.0.1")
            srv.sendto(frame(0x71, OWN, [0, 0, 0], reply=True), peer)
            up, _ = next_frame()
            check_upload(self, up, 2, "00013800138000", 368)
            srv.sendto(frame(0x9C, OWN, hx("24 05 17 08 30 00 01"), reply=True), peer)
            heat, _ = next_frame()
            check_heat(self, heat, 1)
            srv.sendto(frame(0x9C, OWN, bytes([3, 5, 1, 1]), reply=True), peer)
            end, _ = next_frame()
            self.assertEqual(end[:5], hx("71 05 02 00 AB"))
            srv.sendto(hx("51 06 02 00 AB"), peer)
            time.sleep(0.1)
            srv.sendto(frame(0x09, OWN, [0x03]), peer)
            resp, _ = next_frame()
            self.assertEqual(resp, frame(0x79, OWN, hx("03 00 00 EB 01 C8"), reply=True))
            time.sleep(1.0)
        finally:
            rc, s = sim.stop()
            srv.close()
        self.assertEqual(rc, 0)
        self.assertGreaterEqual(s["sent"]["heartbeat"], 2)
        self.assertEqual(s["missing"], 0)
        self.assertEqual(s["received"], {"registration-ack": 1, "upload-ack": 1, "heat-ack": 1, "end-answer": 1,
                                         "request": 1})
        self.assertEqual(sim.frames(kind="upload-ack")[0]["mode"], 1)


if __name__ == "__main__":
    unittest.main()
