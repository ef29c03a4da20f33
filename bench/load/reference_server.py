#!/usr/bin/python3
"""Bare reference data centre for the load benchmarks (python3 stdlib only).

Answers the frames a terminal sends on its own after the same 1.0 s wait as the
console, on 127.0.0.1 only, with no window, no log and no decoding:

  registration (0x01)            -> 0x71, payload 00 00 00
  heart beat (0x02, 18+ bytes)   -> 0x72, payload 00 00 00      (TCP only)
  room-temperature upload 0x2C   -> 0x9C, BCD clock + mode byte 0x01
  heat-meter records 0x2C 03 05  -> 0x9C, 03 05 n + the n tags
  upload-end notice 71 05 02 00 AB (15+ bytes) -> 51 07 02 00 AB

TCP arrivals are cut the way the console cuts them: a block starting "QV" or
"qv" ends after 15 + its length field; other bytes go on as they came.

    reference_server.py --tcp|--udp [--port P] [--delay 1.0]

Prints "port: P" once listening, and on SIGTERM/SIGINT one JSON line with the
counts of blocks handled and replies sent.
"""
import argparse
import asyncio
import json
import os
import resource
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "support"))
from ht6630_frames import frame_length, reply as reply_frame  # noqa: E402

HOST = "127.0.0.1"


def bcd(v):
    return ((v // 10) << 4) | (v % 10)


def clock_payload():
    t = time.localtime()
    return bytes([bcd(t.tm_year % 100), bcd(t.tm_mon), bcd(t.tm_mday),
                  bcd(t.tm_hour), bcd(t.tm_min), bcd(t.tm_sec), 0x01])


def answers(block, tcp):
    """The reply frames for one block, in the order the console sends them."""
    n = len(block)
    if n <= 14:
        return []
    out = []
    if block[0] == 0x51 and block[1] == 0x56 and block[-1] == 0x0D:
        fc = block[2]
        addr = bytes(block[3:10])
        if fc == 0x01:
            out.append(reply_frame(0x71, addr, b"\x00\x00\x00"))
        elif fc == 0x02:
            if tcp and n >= 18:
                out.append(reply_frame(0x72, addr, b"\x00\x00\x00"))
        elif fc == 0x2C:
            if block[12] == 0x10 and block[13] == 0x02:
                out.append(reply_frame(0x9C, addr, clock_payload()))
            if n > 16 and block[14] == 0x03 and block[15] == 0x05:
                k = block[16]
                tags = bytes(block[17 + 62 * i] for i in range(k) if 17 + 62 * i < n)
                out.append(reply_frame(0x9C, addr, bytes([0x03, 0x05, k]) + tags))
    elif block[0] == 0x71 and block[1] == 0x05 and block[2] == 0x02 and block[3] == 0x00 and block[4] == 0xAB:
        out.append(bytes([0x51, 0x07, 0x02, 0x00, 0xAB]))
    return out


class Stats:
    blocks = 0
    replies = 0
    connections = 0


def cut(buf):
    """Splits the held bytes into blocks; returns (blocks, rest)."""
    blocks = []
    pos = 0
    n = len(buf)
    while pos < n:
        if n - pos >= 2 and buf[pos:pos + 2] in (b"QV", b"qv"):
            total = frame_length(buf, pos)
            if total is None or n - pos < total:
                break
            blocks.append(bytes(buf[pos:pos + total]))
            pos += total
        elif n - pos == 1 and buf[pos] in (0x51, 0x71):
            break
        else:
            # Up to the next frame start, as it came.
            nxt = n
            for s in (b"QV", b"qv"):
                k = buf.find(s, pos + 1)
                if k != -1 and k < nxt:
                    nxt = k
            blocks.append(bytes(buf[pos:nxt]))
            pos = nxt
    return blocks, buf[pos:]


class TcpConn(asyncio.Protocol):
    def __init__(self, delay):
        self.delay = delay
        self.buf = b""
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport
        Stats.connections += 1

    def connection_lost(self, exc):
        self.transport = None

    def data_received(self, data):
        self.buf += data
        blocks, self.buf = cut(self.buf)
        loop = asyncio.get_running_loop()
        for b in blocks:
            Stats.blocks += 1
            for r in answers(b, True):
                loop.call_later(self.delay, self._send, r)

    def _send(self, frame):
        if self.transport is not None and not self.transport.is_closing():
            self.transport.write(frame)
            Stats.replies += 1


class UdpSide(asyncio.DatagramProtocol):
    def __init__(self, delay):
        self.delay = delay
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, addr):
        Stats.blocks += 1
        if len(data) > 32767:
            return
        loop = asyncio.get_running_loop()
        for r in answers(data, False):
            loop.call_later(self.delay, self._send, r, addr)

    def _send(self, frame, addr):
        if self.transport is not None:
            self.transport.sendto(frame, addr)
            Stats.replies += 1


def raise_file_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


async def main_async(args):
    loop = asyncio.get_running_loop()
    done = asyncio.Event()
    for s in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(s, done.set)
    if args.tcp:
        server = await loop.create_server(lambda: TcpConn(args.delay), HOST, args.port, backlog=8192)
        port = server.sockets[0].getsockname()[1]
    else:
        transport, _ = await loop.create_datagram_endpoint(lambda: UdpSide(args.delay), local_addr=(HOST, args.port))
        port = transport.get_extra_info("sockname")[1]
    print("port: %d" % port, flush=True)
    await done.wait()
    print(json.dumps({"blocks": Stats.blocks, "replies": Stats.replies, "connections": Stats.connections}), flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    g = p.add_mutually_exclusive_group(required=True)
    g.add_argument("--tcp", action="store_true")
    g.add_argument("--udp", action="store_true")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--delay", type=float, default=1.0)
    args = p.parse_args()
    raise_file_limit()
    asyncio.run(main_async(args))


if __name__ == "__main__":
    sys.exit(main())
