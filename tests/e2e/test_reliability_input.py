"""Hostile operator input on both data-centre consoles: every text field filled
with hostile text, every button pressed. Expected: a message box with a text
and a title, or nothing; no request leaves that the value checks should stop;
the console keeps serving. Bounded: fixed texts, fixed buttons, short waits."""
import os
import socket
import sys
import threading
import time
import unittest

import test_reliability_network as rn

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import crc_ok, frame_length  # noqa: E402

BAR = rn.BAR
LONG = "9" * 10000
# Texts no value check may accept.
INVALID = ["", "   ", LONG, "A" * 10000, "-1", "-0.5", "１２３", "温度", "\x01\x02\x7f", "12\n34", "\t"]
# Texts a number check may read as a number: whatever leaves must be a well-formed frame.
NUMERIC_ODD = ["2.5", "1e2", "0.0001", "1E-3", "+7"]
# Texts that can never be taken for an address (used in the UDP endpoint fields).
NOT_ADDRESS = ["", "   ", "A" * 10000, "温度", "\x01\x02\x7f"]

FIELDS = (["TxtDQID", "txtBarCode", "txtCJ", "txtSC", "txtHeartbeat", "txtTemp", "txtHumi", "txtVer"]
          + ["txtIp(%d)" % i for i in range(5)] + ["txtSpareIp(%d)" % i for i in range(5)]
          + ["txtDate(%d)" % i for i in range(4)] + ["Txtrq(%d)" % i for i in range(6)])
BUTTONS = ["cmdBarCodeR", "cmdBarCodeW", "cmdIpR", "cmdIpW", "cmdSpareIpR", "cmdSpareIpW", "cmdSleep", "cmdCJR",
           "cmdTime", "cmdCJW", "cmdSCW", "cmdHear", "cmdCommType", "cmdSetSilence", "cmdShowPra", "CmdClear",
           "CmdQKJSQ1"]
# Requests whose values come from text fields: (function code, first payload byte or None).
SETTINGS = {(0x03, None), (0x05, None), (0x07, None), (0x0A, 0x01), (0x0A, 0x02), (0x0A, 0x04), (0x0A, 0x05),
            (0x0A, 0x07)}


def frames_in(data):
    """Cuts the console's QV frames out of received bytes; the rest is ignored."""
    out = []
    i = 0
    while True:
        i = data.find(b"QV", i)
        total = None if i < 0 else frame_length(data, i)
        if total is None:
            return out
        out.append(data[i:i + total])
        i += total


def well_formed(f):
    return len(f) >= 15 and f[-1] == 0x0D and crc_ok(f)


class Peer:
    """The terminal side: a registered TCP connection or UDP socket collecting what the console sends."""

    def __init__(self, c):
        self.c = c
        self.data = b""
        self.lock = threading.Lock()
        self.stop_ev = threading.Event()
        if c.tcp:
            self.s = socket.create_connection(("127.0.0.1", c.port), timeout=5)
            self.s.sendall(rn.registration())
        else:
            self.s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            self.s.bind(("127.0.0.1", 0))
            self.s.sendto(rn.registration(), ("127.0.0.1", c.port))
            self.addr = self.s.getsockname()
        self.s.settimeout(0.05)
        self.t = threading.Thread(target=self._run, daemon=True)
        self.t.start()

    def _run(self):
        while not self.stop_ev.is_set():
            try:
                d = self.s.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            if not d and self.c.tcp:
                return
            with self.lock:
                self.data += d

    def take(self):
        with self.lock:
            d, self.data = self.data, b""
        return d

    def close(self):
        self.stop_ev.set()
        self.t.join(2)
        self.s.close()


class HostileInput(unittest.TestCase):
    def setUp(self):
        self.c = None

    def tearDown(self):
        if self.c:
            self.c.stop()

    def dismiss(self):
        quiet = 0
        for _ in range(50):
            time.sleep(0.01)
            if self.c.msgboxes():
                self.c.answer(check=False)
                quiet = 0
            else:
                quiet += 1
                if quiet >= 3:
                    return
        self.fail("message boxes keep opening: %r" % self.c.msgboxes())

    def press_all(self, skip=()):
        for b in BUTTONS:
            if b in skip:
                continue
            self.c.click(self.c.win + "/" + b)
            self.dismiss()

    def fill(self, text, fields):
        for f in fields:
            self.c.set(self.c.win + "/" + f, text, check=False)

    def check_sent(self, peer, text, allow_settings):
        sent = frames_in(peer.take())
        for f in sent:
            self.assertTrue(well_formed(f), (text[:20], f.hex(" ")))
            key = (f[2], f[12] if f[2] == 0x0A and len(f) > 15 else None)
            if not allow_settings:
                self.assertNotIn(key, SETTINGS, "setting sent with %r: %s" % (text[:20], f.hex(" ")))
        return sent

    def run_console(self, tcp):
        self.c = c = rn.DataCentre()
        c.start_service(tcp=tcp)
        peer = Peer(c)
        try:
            c.wait_for(lambda: c.text(c.win + "/TxtDQID") == BAR if not tcp else
                       c.get(rn.TCP + "/List1")["items"] == [BAR], timeout=5, what="terminal registered")
            c.wait_for(lambda: peer.take() or None, timeout=3, what="registration answered")
            if tcp:
                c.select(rn.TCP + "/List1", 0)
                c.wait_for(lambda: c.text(rn.TCP + "/TxtDQID") == BAR, what="terminal chosen")
            c.click(c.win + "/Option5(1)")   # custom time: the clock fields keep what is typed
            fields = FIELDS + ([] if tcp else [])
            # Pass 1: every field hostile, the target bar code included: only the
            # bar-code read (which checks nothing) may leave.
            for text in INVALID + NUMERIC_ODD:
                self.fill(text, fields)
                if not tcp and text in NOT_ADDRESS:
                    self.fill(text, ["CboId", "Txtport"])
                    self.press_all(skip=("cmdBarCodeR",))
                else:
                    self.press_all()
                time.sleep(0.05)
                for f in self.check_sent(peer, text, allow_settings=False):
                    self.assertEqual(f[2], 0x04, (text[:20], f.hex(" ")))
                if not tcp:
                    self.fill("127.0.0.1", ["CboId"])
                    self.fill(str(peer.addr[1]), ["Txtport"])
            # Pass 2: a valid target, hostile values: reads may leave, settings only
            # for texts a number check can read.
            for text in INVALID + NUMERIC_ODD:
                self.fill(text, [f for f in fields if f != "TxtDQID"])
                self.fill(BAR, ["TxtDQID"])
                self.press_all()
                time.sleep(0.05)
                sent = self.check_sent(peer, text, allow_settings=text in NUMERIC_ODD)
                # The reads check no value: they prove the requests do reach the terminal.
                self.assertIn(0x0D, [f[2] for f in sent], "parameter read not sent with %r" % text[:20])
            boxes = c.msglog()
            self.assertTrue(boxes, "no message box at all")
            for b in boxes:
                self.assertTrue(b["text"].strip(), b)
                self.assertIn(b["icon"], ("critical", "warning", "information", "question", "none"), b)
            self.assertTrue(c.alive())
        finally:
            peer.close()
        c.set(c.win + "/TxtLocalIp1", "127.0.0.1")
        rn.assert_still_serving(self, c)

    def test_tcp_console(self):
        self.run_console(True)

    def test_udp_console(self):
        self.run_console(False)

    def test_start_with_hostile_ports_gives_a_message_and_stays_stopped(self):
        for tcp in (True, False):
            with self.subTest(tcp=tcp):
                self.c = c = rn.DataCentre()
                c.start_service(tcp=tcp)
                good = c.port
                c.click(c.win + "/CmdNo")
                c.wait_for(lambda: "停止" in c.get(c.win + "/StatusBar1")["panels"][0], what="stopped")
                for text in ["", "   ", "-1", "65536", "70000", "99999999999", "abc", "端口", "\x01", LONG]:
                    c.set(c.win + "/TxtLocalIp1", "127.0.0.1")
                    c.set(c.win + "/TxtLocalPort1", text)
                    c.click(c.win + "/CmdYes")
                    box = c.wait_msgbox()
                    self.assertTrue(box["text"].strip(), (text[:10], box))
                    c.answer()
                    self.assertIn("停止", c.get(c.win + "/StatusBar1")["panels"][0], text[:10])
                c.set(c.win + "/TxtLocalPort1", str(good))
                c.click(c.win + "/CmdYes")
                c.wait_for(lambda: "启动" in c.get(c.win + "/StatusBar1")["panels"][0], what="started again")
                rn.assert_still_serving(self, c)
                c.stop()
                self.c = None


if __name__ == "__main__":
    unittest.main()
