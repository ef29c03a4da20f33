"""Paced UDP terminals for the UDP load run (python3 stdlib only, 127.0.0.1 only).

T terminals, each with its own socket (so its own source port), send in turn at
a fixed total rate; every terminal cycles registration -> upload (R records) ->
upload-end notice. Every one of these datagrams is answered by the data centre
after its reply delay; heart beats are not sent (the UDP data centre does not
answer them). Replies are matched per terminal and kind, first in first out.
"""
import collections
import os
import selectors
import socket
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "support"))
from ht6630_frames import frame, pack_address  # noqa: E402

KINDS = ("registration", "upload", "upload-end")


def terminal_frames(k, records):
    bar = "%013d" % (2012345600000 + k)
    addr = pack_address(bar)
    reg = frame(b"QV", 0x01, addr, bytes([0x01, 0x05]))
    payload = bytearray([0x10, 0x02]) + bytes.fromhex("00013800138000") + (3600).to_bytes(2, "big") + bytes([0x24, 0x05, 0x17, 0x08, 0x30])
    payload += (15).to_bytes(2, "big") + records.to_bytes(2, "big")
    for i in range(records):
        payload += ((200 + i) & 0xFFFF).to_bytes(2, "big") + (550).to_bytes(2, "big")
    up = frame(b"QV", 0x2C, addr, bytes(payload))
    end = bytes([0x71, 0x05, 0x02, 0x00, 0xAB]) + addr + bytes([0x00, 0x00, 0x0D])
    return bar, (reg, up, end)


def classify(d):
    if len(d) == 5 and d[0] == 0x51 and d[2] == 0x02 and d[4] == 0xAB:
        return "upload-end"
    if len(d) >= 15 and d[0] == 0x71 and d[1] == 0x76:
        if d[2] == 0x71:
            return "registration"
        if d[2] == 0x9C:
            return "upload"
    return "other"


class Result:
    def __init__(self):
        self.sent = collections.Counter()
        self.answered = collections.Counter()
        self.latency = collections.defaultdict(list)   # kind -> ms
        self.unexpected = 0
        self.send_errors = 0
        self.duration = 0.0


def drive(port, terminals=1000, rate=2000.0, seconds=60.0, records=48, drain=3.0, host="127.0.0.1"):
    assert host == "127.0.0.1"
    sel = selectors.DefaultSelector()
    socks = []
    frames = []
    pending = []
    for k in range(terminals):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((host, 0))
        s.setblocking(False)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 18)
        socks.append(s)
        sel.register(s, selectors.EVENT_READ, k)
        frames.append(terminal_frames(k, records)[1])
        pending.append({kind: collections.deque() for kind in KINDS})
    res = Result()
    dest = (host, port)
    total = int(rate * seconds)
    t0 = time.monotonic()
    i = 0

    def read_ready(timeout):
        for key, _ in sel.select(timeout):
            k = key.data
            s = socks[k]
            while True:
                try:
                    d = s.recv(65536)
                except (BlockingIOError, InterruptedError):
                    break
                except OSError:
                    res.send_errors += 1
                    break
                now = time.monotonic()
                kind = classify(d)
                q = pending[k].get(kind)
                if q:
                    res.answered[kind] += 1
                    res.latency[kind].append((now - q.popleft()) * 1000.0)
                else:
                    res.unexpected += 1

    while i < total:
        now = time.monotonic()
        due = t0 + i / rate
        if due > now:
            read_ready(due - now)
            continue
        # Everything due now (a short burst when the loop fell behind).
        burst = 0
        while i < total and t0 + i / rate <= now and burst < 200:
            k = i % terminals
            step = (i // terminals) % 3
            try:
                socks[k].sendto(frames[k][step], dest)
                pending[k][KINDS[step]].append(time.monotonic())
                res.sent[KINDS[step]] += 1
            except OSError:
                res.send_errors += 1
            i += 1
            burst += 1
        read_ready(0)
    res.duration = time.monotonic() - t0
    end = time.monotonic() + drain
    while time.monotonic() < end and sum(res.answered.values()) < sum(res.sent.values()):
        read_ready(0.05)
    for s in socks:
        sel.unregister(s)
        s.close()
    return res
