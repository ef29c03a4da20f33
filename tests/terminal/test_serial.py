"""The simulator on a pseudo-terminal: every catalogue request gets its response
byte for byte; wrong CRC or address gets none; the line can be reopened."""
import os
import select
import signal
import tty
import unittest

from simkit import BARCODE_ADDR, Sim, crc_ok, frame, hx, read_for, spaced

OWN = "02012345678901"
PARAMS_FROM_THE_MANUAL = [
    "--set", "clock=240517083000", "--set", "clock-runs=0", "--set", "comm=udp",
    "--set", "firmware=1.05", "--set", "acquisition=15", "--set", "upload=60", "--set", "heartbeat=60",
    "--set", "silence-flag=AA", "--set", "silence-start=11/15", "--set", "silence-end=3/15",
]


class PtyTerminal(unittest.TestCase):
    def setUp(self):
        self.sim = Sim("--pty", *PARAMS_FROM_THE_MANUAL, "--set", "temperature=-10", "--set", "humidity=45.6")
        line = self.sim.next_line(timeout=10)
        self.assertTrue(line.startswith("pty: /dev/pts/"), line)
        self.path = line[len("pty: "):]
        self.fd = os.open(self.path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def tearDown(self):
        os.close(self.fd)
        rc, summary = self.sim.stop()
        self.assertEqual(rc, 0)
        self.assertIsNotNone(summary)

    def ask(self, request, preamble=False, quiet=0.3):
        os.write(self.fd, (b"\x00" * 201 if preamble else b"") + request)
        return read_for(self.fd, quiet=quiet, total=quiet + 3)

    def silent(self, request):
        os.write(self.fd, request)
        r, _, _ = select.select([self.fd], [], [], 1.0)
        self.assertEqual(r, [], "the terminal answered a request it must ignore")

    def test_reads_and_manual_examples_byte_for_byte(self):
        self.assertEqual(spaced(self.ask(frame(0x0D, OWN, [0x03]))),
                         "71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C AA 0B 0F 03 0F "
                         "24 05 17 08 30 00 AA 45 0D")
        self.assertEqual(self.ask(frame(0x04, BARCODE_ADDR, [0x00]), preamble=True),
                         frame(0x74, OWN, hx("00 00 02 01 23 45 67 89 01"), reply=True))
        self.assertEqual(self.ask(frame(0x06, OWN, [0x05, 0x0B]), preamble=True),
                         frame(0x76, OWN, hx("05 0B 7F 00 00 01 07 E4"), reply=True))
        self.assertEqual(self.ask(frame(0x08, OWN, [0x00]), preamble=True),
                         frame(0x78, OWN, hx("7F 00 00 01 07 E5"), reply=True))
        live = self.ask(frame(0x09, OWN, [0x03]))
        self.assertEqual(live, frame(0x79, OWN, hx("03 00 FF 9C 01 C8"), reply=True))
        self.assertEqual(len(live), 21)
        # the heart-beat acknowledgement quoted for the serial console, exactly
        self.assertEqual(spaced(self.ask(frame(0x0A, OWN, [0x04, 0x3C]))),
                         "71 76 7A 02 01 23 45 67 89 01 00 03 04 3C 00 2D 88 0D")

    def test_writes_are_acknowledged_and_applied(self):
        writes = [
            (0x05, [0x05, 0x0B, 192, 168, 1, 2, 0x1F, 0x90], 0x75, hx("05 0B C0 A8 01 02 1F 90"), 23),
            (0x07, [10, 0, 0, 1, 0x27, 0x10], 0x77, hx("0A 00 00 01 27 10"), 21),
            (0x0A, [0x01, 0x00, 0x1E], 0x7A, hx("01 00 1E"), 18),
            (0x0A, [0x02, 0x00, 0x78], 0x7A, hx("02 00 78"), 18),
            (0x0A, [0x03, 0x00], 0x7A, hx("03 00 00"), 18),
            (0x0A, [0x04, 0x5A], 0x7A, hx("04 5A 00"), 18),
            (0x0A, [0x05, 0x55, 1, 2, 3, 4], 0x7A, hx("05 55 01"), 18),
            (0x0A, [0x06, 0x01], 0x7A, hx("06 01 00"), 18),
            (0x0A, hx("07 25 12 31 23 59 58"), 0x7A, hx("07 25 12"), 18),
        ]
        for code, payload, rcode, rpayload, length in writes:
            with self.subTest(code=hex(code), payload=spaced(bytes(payload))):
                got = self.ask(frame(code, OWN, payload), preamble=code in (0x05, 0x07))
                self.assertEqual(got, frame(rcode, OWN, rpayload, reply=True))
                self.assertEqual(len(got), length)
        self.assertEqual(self.ask(frame(0x06, OWN, [0x05, 0x0B])),
                         frame(0x76, OWN, hx("05 0B C0 A8 01 02 1F 90"), reply=True))
        self.assertEqual(self.ask(frame(0x08, OWN, [0x00])), frame(0x78, OWN, hx("0A 00 00 01 27 10"), reply=True))
        self.assertEqual(self.ask(frame(0x0D, OWN, [0x03])),
                         frame(0x7D, OWN, hx("03 00 01 05 00 1E 00 78 00 5A 55 01 02 03 04 25 12 31 23 59 58"),
                               reply=True))
        # set the bar code: the answer carries the new address, the old one is no longer answered
        new = "02012345678902"
        got = self.ask(frame(0x03, BARCODE_ADDR, hx(new)), preamble=True)
        self.assertEqual(got, frame(0x73, new, hx(new), reply=True))
        self.assertEqual(len(got), 22)
        self.silent(frame(0x09, OWN, [0x03]))
        self.assertEqual(len(self.ask(frame(0x09, new, [0x03]))), 21)
        self.assertEqual(self.ask(frame(0x04, BARCODE_ADDR, [0x00])),
                         frame(0x74, new, hx("00 00") + hx(new), reply=True))

    def test_requests_it_must_not_answer(self):
        good = frame(0x09, OWN, [0x03])
        bad_crc = good[:-3] + bytes([good[-3] ^ 0xFF]) + good[-2:]
        self.silent(bad_crc)
        self.silent(frame(0x09, "02012345678902", [0x03]))        # another terminal
        self.silent(frame(0x04, OWN, [0x00]))                     # bar-code read not on 999…
        self.silent(frame(0x0D, BARCODE_ADDR, [0x03]))            # other commands not on 999…
        self.silent(frame(0x3F, OWN, [0x00]))                     # unknown function code
        # and it still answers afterwards
        self.assertTrue(crc_ok(self.ask(good)))
        ignored = [o.get("ignored") for o in self.sim.frames(dir="rx", kind="request") if "ignored" in o]
        self.assertEqual(ignored, ["bad CRC", "another terminal's address",
                                   "bar-code command not on address 99999999999999",
                                   "another terminal's address", "unknown function code"])

    def test_second_opener(self):
        self.assertEqual(len(self.ask(frame(0x09, OWN, [0x03]))), 21)
        os.close(self.fd)
        self.fd = os.open(self.path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        self.assertEqual(len(self.ask(frame(0x0D, OWN, [0x03]), preamble=True)), 36)
        rx = self.sim.frames(dir="rx", kind="request")
        self.assertEqual([o.get("preamble", False) for o in rx], [False, True])
        self.assertEqual([o["op"] for o in rx], ["读取实时温度湿度", "读取室温采集终端配置参数"])


class PtyFaults(unittest.TestCase):
    def run_with(self, fault):
        sim = Sim("--pty", "--fault", fault, "--set", "temperature=23.5")
        path = sim.next_line(timeout=10)[len("pty: "):]
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(fd)
        try:
            os.write(fd, frame(0x09, OWN, [0x03]))
            return read_for(fd, quiet=0.5, total=5)
        finally:
            os.close(fd)
            sim.stop()

    def test_response_faults(self):
        good = frame(0x79, OWN, hx("03 00 00 EB 01 C8"), reply=True)
        got = self.run_with("bad-crc")
        self.assertEqual(got[:-3], good[:-3])
        self.assertFalse(crc_ok(got))
        self.assertEqual(self.run_with("truncated"), good[:len(good) - len(good) // 3])
        self.assertEqual(self.run_with("coalesced"), good + good)
        got = self.run_with("garbage")
        self.assertEqual(got[24:], good)
        self.assertFalse(set(got[:24]) & {0x51, 0x71, 0x0D})
        self.assertEqual(self.run_with("drip"), good)


class BadArguments(unittest.TestCase):
    def test_exit_code_two_with_message(self):
        import subprocess
        from simkit import TERMINAL
        for args in (["--bogus"], [], ["--tcp", "nohostport"], ["--pty", "--set", "heartbeat=999"],
                     ["--pty", "--set", "colour=red"], ["--pty", "--fault", "meteor"], ["--tcp", "127.0.0.1:1",
                     "--heat-meters", "4"], ["--pty", "--count"]):
            with self.subTest(args=args):
                p = subprocess.run([TERMINAL, *args], capture_output=True, timeout=10)
                self.assertEqual(p.returncode, 2)
                self.assertIn(b"ht6630-terminal: ", p.stderr)
        p = subprocess.run([TERMINAL, "--help"], capture_output=True, timeout=10)
        self.assertEqual(p.returncode, 0)
        for name in (b"bad-crc", b"truncated", b"split", b"coalesced", b"drip", b"disconnect-mid-frame",
                     b"garbage", b"oversized-datagram", b"heat-overcount", b"barcode=", b"clock-runs="):
            self.assertIn(name, p.stdout)


if __name__ == "__main__":
    unittest.main()
