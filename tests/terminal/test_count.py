"""--count: a few hundred terminals, each on its own connection or socket, with
consecutive bar codes, all holding the dialogue with one loopback data centre."""
import selectors
import socket
import time
import unittest

from simkit import Sim, auto_answer, cut_frames

N = 300


def addr_of(f):
    return "".join("%02X" % b for b in f[3:10])


class ManyTerminals(unittest.TestCase):
    def test_tcp_terminals(self):
        srv = socket.socket()
        srv.bind(("127.0.0.1", 0))
        srv.listen(1024)
        srv.setblocking(False)
        sel = selectors.DefaultSelector()
        sel.register(srv, selectors.EVENT_READ)
        sim = Sim("--tcp", "127.0.0.1:%d" % srv.getsockname()[1], "--count", str(N), "--once", "--records", "1",
                  "--quiet", "--heartbeat", "600")
        bufs, addrs, ends = {}, {}, 0
        deadline = time.monotonic() + 60
        try:
            while ends < N and time.monotonic() < deadline:
                for key, _ in sel.select(timeout=0.5):
                    if key.fileobj is srv:
                        try:
                            c, _ = srv.accept()
                        except BlockingIOError:
                            continue
                        c.setblocking(False)
                        sel.register(c, selectors.EVENT_READ)
                        bufs[c] = b""
                        continue
                    c = key.fileobj
                    try:
                        d = c.recv(65536)
                    except BlockingIOError:
                        continue
                    if not d:
                        sel.unregister(c)
                        continue
                    frames, bufs[c] = cut_frames(bufs[c] + d)
                    for f in frames:
                        if f[:3] == b"QV\x01":
                            addrs[c] = addr_of(f)
                        if f[:2] == b"\x71\x05":
                            ends += 1
                        a = auto_answer(f, addrs.get(c, "0"))
                        if a:
                            c.sendall(a)
            time.sleep(1.0)   # the last answers reach the simulator
            self.assertEqual(ends, N)
            self.assertEqual(len(bufs), N, "one connection per terminal")
            want = {"0%013d" % (2012345678901 + k) for k in range(N)}
            self.assertEqual(set(addrs.values()), want)
        finally:
            rc, s = sim.stop(timeout=30)
            for c in list(bufs):
                c.close()
            srv.close()
        self.assertEqual(rc, 0)
        self.assertEqual(s["terminals"], N)
        for kind in ("registration", "upload", "upload-end"):
            self.assertEqual(s["sent"][kind], N)
        for kind in ("registration-ack", "upload-ack", "end-answer"):
            self.assertEqual(s["received"][kind], N)
        self.assertEqual(s["missing"], 0)
        self.assertEqual(len(sim.all), 1, "--quiet keeps only the summary")

    def test_udp_terminals_each_on_its_own_socket(self):
        srv = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        srv.bind(("127.0.0.1", 0))
        srv.settimeout(5)
        n = 100
        sim = Sim("--udp", "127.0.0.1:%d" % srv.getsockname()[1], "--count", str(n), "--once", "--quiet",
                  "--answer-timeout", "1")
        peers = {}
        try:
            while len(peers) < n:
                d, peer = srv.recvfrom(65536)
                if d[:3] == b"QV\x01":
                    peers[peer] = addr_of(d)
                    srv.sendto(auto_answer(d, peers[peer]), peer)
            time.sleep(1.0)
        finally:
            rc, s = sim.stop(timeout=30)
            srv.close()
        self.assertEqual(len(set(peers.values())), n)
        self.assertEqual(s["sent"]["registration"], n)
        self.assertEqual(s["received"]["registration-ack"], n)


if __name__ == "__main__":
    unittest.main()


class Ramp(unittest.TestCase):
    def test_terminals_start_evenly_over_the_ramp(self):
        # 40 terminals over 2 s: the registrations arrive spread over the ramp,
        # about half of them in its first half, none all at once.
        srv = socket.socket()
        srv.bind(("127.0.0.1", 0))
        srv.listen(128)
        srv.settimeout(0.2)
        sim = Sim("--tcp", "127.0.0.1:%d" % srv.getsockname()[1], "--count", "40", "--ramp", "2", "--quiet",
                  "--heartbeat", "600", "--duration", "4")
        times, conns = [], []
        t0 = time.monotonic()
        try:
            while len(times) < 40 and time.monotonic() - t0 < 10:
                try:
                    c, _ = srv.accept()
                except socket.timeout:
                    continue
                times.append(time.monotonic() - t0)
                conns.append(c)
        finally:
            sim.stop(timeout=30)
            for c in conns:
                c.close()
            srv.close()
        self.assertEqual(len(times), 40)
        spread = times[-1] - times[0]
        self.assertGreater(spread, 1.6)
        self.assertLess(spread, 3.0)
        early = sum(1 for t in times if t - times[0] < spread / 2)
        self.assertTrue(12 <= early <= 28, times)


class Sources(unittest.TestCase):
    """--source: the terminals' sockets leave from the given loopback addresses in
    turn; --acked lines carry the host's clock at the acknowledgement."""

    SOURCES = ("127.0.0.2", "127.0.0.3")

    def test_tcp_connections_leave_from_each_source_in_turn(self):
        import os
        import tempfile
        n = 6
        srv = socket.socket()
        srv.bind(("127.0.0.1", 0))
        srv.listen(16)
        srv.settimeout(0.2)
        work = tempfile.TemporaryDirectory()
        acked = os.path.join(work.name, "acked.txt")
        t0 = time.time()
        sim = Sim("--tcp", "127.0.0.1:%d" % srv.getsockname()[1], "--count", str(n), "--once", "--records", "2",
                  "--quiet", "--heartbeat", "600", "--source", ",".join(self.SOURCES), "--acked", acked)
        peer_of, conns, ends = {}, [], 0
        try:
            deadline = time.monotonic() + 20
            while len(conns) < n and time.monotonic() < deadline:
                try:
                    c, _ = srv.accept()
                except socket.timeout:
                    continue
                conns.append(c)
            for c in conns:
                own = None
                buf = b""
                c.settimeout(5)
                while True:
                    frames, buf = cut_frames(buf + c.recv(65536))
                    for f in frames:
                        if f[:3] == b"QV\x01":
                            own = addr_of(f)
                            peer_of[own] = c.getpeername()[0]
                        c.sendall(auto_answer(f, own))
                        ends += f[:2] == b"\x71\x05"
                    if any(f[:2] == b"\x71\x05" for f in frames):
                        break
            time.sleep(0.5)
        finally:
            rc, s = sim.stop(timeout=30)
            for c in conns:
                c.close()
            srv.close()
        t1 = time.time()
        self.assertEqual(ends, n)
        want = {"0%013d" % (2012345678901 + k): self.SOURCES[k % 2] for k in range(n)}
        self.assertEqual(peer_of, want)
        self.assertEqual(s["received"]["upload-ack"], n)
        with open(acked) as f:
            lines = [line.rstrip("\n").split(",") for line in f]
        work.cleanup()
        self.assertEqual(len(lines), 2 * n)
        for bar, when, epoch in lines:
            self.assertEqual(len(bar), 13)
            self.assertRegex(epoch, r"^\d+\.\d{6}$")
            self.assertTrue(t0 <= float(epoch) <= t1, (epoch, t0, t1))

    def test_udp_sockets_bound_to_each_source(self):
        srv = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        srv.bind(("127.0.0.1", 0))
        srv.settimeout(5)
        n = 4
        sim = Sim("--udp", "127.0.0.1:%d" % srv.getsockname()[1], "--count", str(n), "--quiet", "--heartbeat", "600",
                  "--duration", "10", "--source", ",".join(self.SOURCES))
        peer_of = {}
        try:
            while len(peer_of) < n:
                d, peer = srv.recvfrom(65536)
                if d[:3] == b"QV\x01":
                    peer_of[addr_of(d)] = peer[0]
        finally:
            sim.stop(timeout=30)
            srv.close()
        self.assertEqual(peer_of, {"0%013d" % (2012345678901 + k): self.SOURCES[k % 2] for k in range(n)})

    def test_other_addresses_refused(self):
        import subprocess
        from simkit import TERMINAL
        r = subprocess.run([TERMINAL, "--tcp", "127.0.0.1:9", "--source", "127.0.0.2,192.168.1.1"],
                           capture_output=True, timeout=10)
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"'192.168.1.1' is not a loopback address", r.stderr)
        self.assertEqual(r.stdout, b"", "nothing run")
