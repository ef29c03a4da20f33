"""Shared parts of the load benchmarks: the console under automation, process
samplers, the automation ping thread, the simulator runner and the tables.

python3 stdlib only. Loopback only (127.0.0.1), free ports only.
"""
import atexit
import json
import os
import resource
import signal
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import Console, PtyPeer, bin_dir, free_port  # noqa: E402,F401

TCP_WIN = "frmServerInfrared_TCP"
UDP_WIN = "frmServerInfrared_UDP"
CLK_TCK = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")


def raise_file_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def binary(name):
    path = os.path.join(bin_dir(), name)
    if not os.path.exists(path):
        raise SystemExit("%s not found: build it or set HT6630_BIN" % path)
    return path


# ---- /proc readings ---------------------------------------------------------

def rss_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def cpu_seconds(pid):
    """User + system CPU seconds of the process so far."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            data = f.read()
    except OSError:
        return 0.0
    rest = data[data.rfind(")") + 2:].split()
    return (int(rest[11]) + int(rest[12])) / CLK_TCK


def loadavg():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


class Sampler(threading.Thread):
    """Samples RSS (kB) and CPU seconds of one process every `interval` s."""

    def __init__(self, pid, interval=0.2):
        super().__init__(daemon=True)
        self.pid = pid
        self.interval = interval
        self.samples = []   # (t, rss_kb, cpu_s)
        self._halt = threading.Event()
        self.cpu0 = cpu_seconds(pid)

    def run(self):
        while not self._halt.is_set():
            self.samples.append((time.monotonic(), rss_kb(self.pid), cpu_seconds(self.pid)))
            self._halt.wait(self.interval)

    def stop(self):
        self._halt.set()
        self.join(2)
        self.samples.append((time.monotonic(), rss_kb(self.pid), cpu_seconds(self.pid)))

    def peak_rss_mb(self):
        return max((s[1] for s in self.samples), default=0) / 1024.0

    def cpu_used(self):
        last = max((s[2] for s in self.samples), default=self.cpu0)
        return last - self.cpu0


class Pinger(threading.Thread):
    """Sends automation `ping` every `interval` s on its own connection and records
    the round trips (ms). A ping is sent only after the previous answer came; a
    late answer makes the next ping leave at once."""

    def __init__(self, socket_path, interval=0.05, timeout=30.0):
        super().__init__(daemon=True)
        self.path = socket_path
        self.interval = interval
        self.timeout = timeout
        self.rtts = []
        self.failures = 0
        self._halt = threading.Event()

    def run(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(self.path)
        s.settimeout(self.timeout)
        buf = b""
        nxt = time.monotonic()
        try:
            while not self._halt.is_set():
                now = time.monotonic()
                if now < nxt:
                    self._halt.wait(nxt - now)
                    continue
                nxt += self.interval
                t0 = time.monotonic()
                try:
                    s.sendall(b'{"op":"ping"}\n')
                    while b"\n" not in buf:
                        chunk = s.recv(4096)
                        if not chunk:
                            raise OSError("closed")
                        buf += chunk
                except OSError:
                    self.failures += 1
                    return
                t1 = time.monotonic()
                _, buf = buf.split(b"\n", 1)
                self.rtts.append((t1 - t0) * 1000.0)
                if nxt < t1:
                    nxt = t1
        finally:
            s.close()

    def stop(self):
        self._halt.set()
        self.join(self.timeout + 1)


# ---- statistics and tables ------------------------------------------------------

def pct(values, q):
    if not values:
        return float("nan")
    v = sorted(values)
    k = max(0, min(len(v) - 1, int(-(-q * len(v) // 1)) - 1))
    return v[k]


def fmt(x, digits=0):
    if x is None:
        return "-"
    if isinstance(x, float):
        if x != x:
            return "-"
        return ("%." + str(digits) + "f") % x
    return str(x)


def print_table(headers, rows, out=sys.stdout):
    cols = [[str(h)] + [str(r[i]) for r in rows] for i, h in enumerate(headers)]
    widths = [max(len(c) for c in col) for col in cols]
    line = "| " + " | ".join(h.ljust(w) for h, w in zip(headers, widths)) + " |"
    out.write(line + "\n")
    out.write("|" + "|".join("-" * (w + 2) for w in widths) + "|\n")
    for r in rows:
        out.write("| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |\n")
    out.flush()


def machine():
    mem = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                mem = int(line.split()[1]) // 1024
    return "nproc %d, memory %d MB, kernel %s, load average %s" % (
        os.cpu_count(), mem, os.uname().release, loadavg())


# ---- the console and its data centres ----------------------------------------------

CONSOLE_ENV = {}   # extra environment of the console (run_tcp.py --env NAME=VALUE)


def start_console():
    raise_file_limit()
    c = Console(start_timeout=20.0, env=CONSOLE_ENV or None)
    atexit.register(c.stop)   # also when a run ends with an exception
    return c


def open_tcp(c, port):
    c.click("frmMainDtu/M_Infrared_TCP")
    c.wait_window(TCP_WIN)
    c.set(TCP_WIN + "/TxtLocalIp1", "127.0.0.1")
    c.set(TCP_WIN + "/TxtLocalPort1", str(port))
    c.click(TCP_WIN + "/CmdYes")
    c.wait_for(lambda: c.get(TCP_WIN + "/StatusBar1")["panels"][0] == "TCP服务已启动!", timeout=10,
               what="TCP service started")


def open_udp(c, port):
    c.click("frmMainDtu/M_Infrared_UDP")
    c.wait_window(UDP_WIN)
    c.set(UDP_WIN + "/TxtLocalIp1", "127.0.0.1")
    c.set(UDP_WIN + "/TxtLocalPort1", str(port))
    c.click(UDP_WIN + "/CmdYes")
    c.wait_for(lambda: c.get(UDP_WIN + "/StatusBar1")["panels"][0].startswith("UDP服务已启动"), timeout=10,
               what="UDP service started")


def free_udp_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
    finally:
        s.close()


class Reference:
    """The bare reference server as a child process."""

    name = "reference server"

    def command(self, tcp, port):
        return [sys.executable, os.path.join(HERE, "reference_server.py"), "--tcp" if tcp else "--udp",
                "--port", str(port)]

    def __init__(self, tcp=True, port=0):
        self.proc = subprocess.Popen(self.command(tcp, port), stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("port: "):
            self.stop()
            raise SystemExit("%s did not start: %r" % (self.name, line))
        self.port = int(line.split()[1])
        self.pid = self.proc.pid
        atexit.register(self.stop)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                out, _ = self.proc.communicate(timeout=10)
                lines = [ln for ln in out.splitlines() if ln.startswith("{")]
                return json.loads(lines[-1]) if lines else {}
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        return {}


class Floor(Reference):
    """The floor server (floor_server, C++ on one epoll loop) as a child process: the
    same answers as the reference server, at the least cost a data centre can have."""

    name = "floor server"

    def command(self, tcp, port):
        return [binary("floor_server"), "--tcp" if tcp else "--udp", "--port", str(port)]


def server_for(target, tcp=True):
    """The bare server of a load-run target: "reference" or "floor"."""
    return (Floor if target == "floor" else Reference)(tcp=tcp)


def cpu_over(run, base):
    """CPU seconds of one run's target over those of `base` (the floor's run, say);
    None without a base, for the base itself or when the base used no CPU."""
    if not base or run is base or not base["cpu_s"]:
        return None
    return run["cpu_s"] / base["cpu_s"]


# Kinds the simulator sends that expect an answer, and the answers' kinds.
ANSWERED = {"registration": "registration-ack", "heartbeat": "heartbeat-ack", "upload": "upload-ack",
            "heat-upload": "heat-ack", "upload-end": "end-answer"}


class SimRun:
    """One ht6630-terminal run; reads its traffic lines as they come (cheap string
    tests only) so that replies still in flight at the end can be told apart from
    replies that never came."""

    def __init__(self, args):
        self.args = [binary("ht6630-terminal")] + args
        self.proc = subprocess.Popen(self.args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     preexec_fn=raise_file_limit)
        self.pid = self.proc.pid
        self.summary = None
        self.tx_times = {}     # kind -> list of send times (simulator clock)
        self.last_t = 0.0
        self.stderr_lines = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._ereader = threading.Thread(target=self._read_err, daemon=True)
        self._ereader.start()

    def _read(self):
        for raw in self.proc.stdout:
            if raw.startswith(b'{"summary"'):
                self.summary = json.loads(raw)["summary"]
                continue
            if b'"dir":"tx"' not in raw:
                continue
            k0 = raw.find(b'"kind":"') + 8
            kind = raw[k0:raw.find(b'"', k0)].decode()
            t = float(raw[5:raw.find(b",")])
            self.tx_times.setdefault(kind, []).append(t)
            self.last_t = t

    def _read_err(self):
        for raw in self.proc.stderr:
            if len(self.stderr_lines) < 50:
                self.stderr_lines.append(raw.decode("utf-8", "replace").rstrip())

    def wait(self, timeout):
        try:
            code = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.send_signal(signal.SIGTERM)
            code = self.proc.wait(30)
        self._reader.join(30)
        self._ereader.join(5)
        return code

    def in_flight(self, end_t, window=1.6):
        """Frames expecting an answer that were sent in the last `window` s."""
        return sum(1 for k, ts in self.tx_times.items() if k in ANSWERED for t in ts if t > end_t - window)


def sim_figures(run, end_t):
    """Sent/answered/missing counts and latency from one simulator run."""
    s = run.summary or {}
    sent = s.get("sent", {})
    recv = s.get("received", {})
    expected = sum(v for k, v in sent.items() if k in ANSWERED)
    answered = sum(recv.get(v, 0) for k, v in ANSWERED.items())
    missing = s.get("missing", None)
    flight = run.in_flight(end_t)
    return {"sent": sent, "received": recv, "expected": expected, "answered": answered,
            "missing": missing, "in_flight_at_end": flight,
            "missing_adj": None if missing is None else max(0, missing - flight),
            "latency": s.get("latency_ms", {}), "errors": s.get("errors")}


class Perf:
    """`perf record` of one process for the length of a run (when perf is there)."""

    def __init__(self, pid, out):
        self.out = out
        # HT6630_PERF_CALLGRAPH=dwarf: whole call chains (the builds keep no frame pointers).
        graph = ["--call-graph", os.environ["HT6630_PERF_CALLGRAPH"]] if os.environ.get("HT6630_PERF_CALLGRAPH") else ["-g"]
        self.proc = subprocess.Popen(["perf", "record", "-F", "499", *graph, "-p", str(pid), "-o", out],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        self.proc.send_signal(signal.SIGINT)
        try:
            self.proc.wait(30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
