"""Holds many TCP connections to 127.0.0.1:PORT for a test, driven by lines on stdin.

    python3 connection_holder.py PORT COUNT FIRST_SOURCE_PORT

Each socket is bound to its own source port on 127.0.0.1 (from FIRST_SOURCE_PORT
up, skipping ports in use), so the count does not depend on the ephemeral port
range. Prints one JSON line after connecting ({"connected": n}), then answers:
  check  -> {"closed": n, "open": m}   sockets the peer has closed (end of stream or reset)
  close  -> resets every socket and exits
"""
import json
import resource
import select
import socket
import struct
import sys


def raise_file_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def connect_all(port, count, source):
    held = []
    p = source
    while len(held) < count and p <= 65535:
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            s.bind(("127.0.0.1", p))
        except OSError:
            s.close()
            p += 1
            continue
        p += 1
        s.settimeout(15)
        s.connect(("127.0.0.1", port))
        held.append(s)
    return held


def closed_by_peer(held):
    closed = 0
    ep = select.epoll()
    for s in held:
        ep.register(s.fileno(), select.EPOLLIN | select.EPOLLRDHUP)
    ready = ep.poll(0.5, maxevents=len(held) or 1)
    ep.close()
    by_fd = {s.fileno(): s for s in held}
    for fd, _ in ready:
        s = by_fd[fd]
        try:
            s.setblocking(False)
            if s.recv(1) == b"":
                closed += 1
        except ConnectionResetError:
            closed += 1
        except BlockingIOError:
            pass
    return closed


def main():
    port, count, source = (int(x) for x in sys.argv[1:4])
    raise_file_limit()
    held = connect_all(port, count, source)
    print(json.dumps({"connected": len(held)}), flush=True)
    for line in sys.stdin:
        cmd = line.strip()
        if cmd == "check":
            n = closed_by_peer(held)
            print(json.dumps({"closed": n, "open": len(held) - n}), flush=True)
        elif cmd == "close":
            for s in held:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                s.close()
            print(json.dumps({"closed_all": len(held)}), flush=True)
            return


if __name__ == "__main__":
    main()
