"""Helpers for the terminal simulator's tests: frames built apart from the
simulator (tests/support/ht6630_frames.py), and a wrapper that runs
ht6630-terminal and reads its JSON lines."""
import json
import os
import queue
import select
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import ht6630_frames  # noqa: E402
from ht6630_frames import crc_ok, frame_length, pack_address  # noqa: E402,F401

BIN = os.environ.get("HT6630_BIN", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
TERMINAL = os.path.join(BIN, "ht6630-terminal")
BARCODE_ADDR = "99999999999999"


def frame(code, addr, payload, reply=False):
    """A "QV" frame, or a "qv" one with reply=True; addr: 14 hex digits."""
    return ht6630_frames.frame(ht6630_frames.REPLY if reply else ht6630_frames.REQUEST, code, addr, payload)


def hx(s):
    return bytes.fromhex(s.replace(" ", ""))


def spaced(b):
    return " ".join("%02X" % x for x in b)


class Sim:
    """A running ht6630-terminal; its stdout lines are collected by a thread."""

    def __init__(self, *args, env=None):
        self.proc = subprocess.Popen([TERMINAL, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     env=env or os.environ.copy())
        self.lines = queue.Queue()
        self.all = []
        self.stderr = b""
        self._t = threading.Thread(target=self._pump, daemon=True)
        self._t.start()
        self._e = threading.Thread(target=self._pump_err, daemon=True)
        self._e.start()

    def _pump(self):
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            self.all.append(line)
            self.lines.put(line)

    def _pump_err(self):
        self.stderr = self.proc.stderr.read()

    def next_line(self, timeout=10.0):
        return self.lines.get(timeout=timeout)

    def wait_json(self, pred, timeout=10.0):
        """The next JSON line for which pred(obj) holds."""
        end = time.monotonic() + timeout
        while True:
            left = end - time.monotonic()
            if left <= 0:
                raise AssertionError("no matching line within %.1fs; seen: %s" % (timeout, self.all[-20:]))
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            try:
                obj = json.loads(line)
            except ValueError:
                continue
            if pred(obj):
                return obj

    def stop(self, sig=signal.SIGTERM, timeout=10.0):
        """Ends the run (if still running) and returns (exit code, summary)."""
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            rc = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("simulator did not end within %.1fs" % timeout)
        self._t.join(timeout=5)
        self._e.join(timeout=5)
        self.proc.stdout.close()
        self.proc.stderr.close()
        summary = json.loads(self.all[-1])["summary"] if self.all and self.all[-1].startswith('{"summary"') else None
        return rc, summary

    def frames(self, **match):
        out = []
        for line in self.all:
            try:
                o = json.loads(line)
            except ValueError:
                continue
            if "summary" in o:
                continue
            if all(o.get(k) == v for k, v in match.items()):
                out.append(o)
        return out


def read_for(fd, quiet=0.4, total=5.0):
    """Bytes from fd until `quiet` seconds pass without any (or `total` in all)."""
    got = b""
    end = time.monotonic() + total
    while time.monotonic() < end:
        r, _, _ = select.select([fd], [], [], quiet)
        if not r:
            if got:
                break
            continue
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            break
        if not chunk:
            break
        got += chunk
    return got


def cut_frames(buf):
    """Splits a byte stream the way the console's TCP side does: QV/qv by length,
    5-byte short frames; returns (frames, rest)."""
    out = []
    i = 0
    while i < len(buf):
        if buf[i] in (0x51, 0x71) and i + 1 < len(buf) and buf[i + 1] in (0x56, 0x76):
            total = frame_length(buf, i)
            if total is None or len(buf) - i < total:
                break
            out.append(buf[i:i + total])
            i += total
        elif buf[i] == 0x71 and len(buf) - i >= 5 and buf[i + 1:i + 5] == b"\x05\x02\x00\xab":
            # the simulator's upload-end notice is 15 bytes
            if len(buf) - i < 15:
                break
            out.append(buf[i:i + 15])
            i += 15
        else:
            out.append(buf[i:i + 1])
            i += 1
    return out, buf[i:]


class StreamReader:
    """Frames from a TCP connection, cut as they arrive; also keeps each recv()
    chunk with its arrival time."""

    def __init__(self, conn):
        self.conn = conn
        self.buf = b""
        self.ready = []
        self.chunks = []

    def next(self, timeout=10.0):
        end = time.monotonic() + timeout
        while not self.ready:
            left = end - time.monotonic()
            if left <= 0:
                raise AssertionError("no frame within %.1fs (held %s)" % (timeout, spaced(self.buf)))
            r, _, _ = select.select([self.conn], [], [], left)
            if not r:
                continue
            chunk = self.conn.recv(65536)
            if not chunk:
                raise EOFError("connection closed (held %s)" % spaced(self.buf))
            self.chunks.append((time.monotonic(), chunk))
            frames, self.buf = cut_frames(self.buf + chunk)
            self.ready.extend(frames)
        return self.ready.pop(0)

    def next_not(self, code, timeout=10.0):
        """The next frame that is not a terminal frame with this function code."""
        while True:
            f = self.next(timeout)
            if not (f[:2] == b"QV" and f[2] == code):
                return f


def auto_answer(frame_bytes, own_addr, end_code=0x07):
    """What a plain data centre answers to a terminal frame (None: nothing)."""
    f = frame_bytes
    if f[:2] == b"QV" and f[2] == 0x01:
        return frame(0x71, own_addr, [0, 0, 0], reply=True)
    if f[:2] == b"QV" and f[2] == 0x02 and len(f) >= 18:
        return frame(0x72, own_addr, [0, 0, 0], reply=True)
    if f[:2] == b"QV" and f[2] == 0x2C and len(f) >= 16:
        if f[12:14] == b"\x10\x02":
            return frame(0x9C, own_addr, hx("24 05 17 08 30 00 01"), reply=True)
        if f[14:16] == b"\x03\x05":
            n = f[16]
            tags = [f[17 + 62 * i] for i in range(n) if 17 + 62 * i < len(f)]
            return frame(0x9C, own_addr, bytes([3, 5, n] + tags), reply=True)
    if f[:5] == b"\x71\x05\x02\x00\xab":
        return bytes([0x51, end_code, 0x02, 0x00, 0xAB])
    return None
