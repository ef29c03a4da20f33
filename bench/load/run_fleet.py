#!/usr/bin/python3
"""A fleet of data-centre nodes on this machine, one command, with one fault a run:

    bench/load/run_fleet.py [--terminals 30000] [--nodes 3] [--ramp S] [--duration S]
                            [--fault none|kill-node|broker|store-full] [--json FILE]

Starts one mosquitto (listener on 127.0.0.1, a free port), one QoS 1 subscriber on
ht6630/+/readings (run_service.Subscriber: each message stamped with the host's
clock as it arrives), and N ht6630-datacentre nodes n1..nN, each its own process
listening for TCP on its own loopback address 127.0.0.(10+i), with its own store
folder. The terminals are split into N groups: group i has node i as its main data
centre and node i+1 as its spare one (--set ip/port/spare-ip/spare-port). Each
group runs in one or more ht6630-terminal processes (at most --per-sim terminals
each, under the descriptor limit of a process) with --reconnect, an --acked file
and --source addresses of their own, so that no source address runs out of ports.
Traffic is production-like by default: 4 records an upload, an upload every 120 s,
a heart beat every 30 s; the terminals start evenly over --ramp seconds (default
one per 4 ms: 120 s for 30,000, what two cores take with the nodes, the broker and
the simulators on them).

Faults (one a run, --fault), injected --fault-at seconds after the start (default
30 s after the ramp, at full load):

  kill-node   node 1 gets SIGKILL; its terminals reconnect to their spare, node 2.
              Figures: the time from the kill until each of node 1's terminals is
              answered again (its first registration acknowledgement after the kill,
              from the simulators' traffic lines; node 2's log lines "registration
              <barcode> from <peer>" confirm which node took it): p50, p99, max;
              where the time goes: the simulators' reports of each attempt (stamped
              as read), the spare's own record of the registrations (its events
              table), the kernel's accept-queue overflows. --restart-after seconds
              later node 1 starts again on the same store and hands on what it
              stored but the broker had not acknowledged (its publish log after
              the saved mark: published again, a few readings twice).
  broker      mosquitto gets SIGKILL and is started again --outage seconds later on
              the same port, with persistence (a snapshot every 5 s) and the
              subscriber on a persistent session. Figures: readings lost and
              delivered twice, how long the backlog takes to drain (from the
              broker's restart until the subscriber has every reading acknowledged
              before it), the nodes' RSS meanwhile.
  store-full  node 1's store is on a tmpfs (--tmpfs-mb, at least 16 MiB: SQLite's
              write-ahead log needs a few MiB of room), which a filler file fills;
              --full-for seconds after node 1 says its store fails (its write-ahead
              log reuses its own space for a while first), the filler goes.
              Figures: when node 1 says its store fails and is written again (its
              log), heart beats and registrations of its terminals answered
              meanwhile, upload acknowledgements withheld, every reading
              acknowledged so far in a store just before the space is freed, the
              first acknowledgement after it.

The nodes publish with clean MQTT sessions (the service has no setting for it):
what the broker has not acknowledged stays in the node, in libmosquitto's queue and
in the store's publish log, and goes again on the next connection; the broker
keeps nothing for a node. The subscriber is what needs a session the broker keeps.

Figures, as tables: frames answered and missing and the reply p99 per simulator
process (their summaries); readings acknowledged (the union of the --acked files,
keyed (barcode, time)), stored (the union of the nodes' stores), delivered (seen by
the subscriber) and lost (acknowledged, never delivered); each node's CPU seconds
and peak RSS, and its CPU per terminal (the steady part of the run: after the ramp,
before the fault) against the fleet's.

Exit code 0 only when readings were acknowledged and none of them was lost, every
node that was not killed on purpose ran to the end and stopped cleanly, and every
simulator process ended well (exit 0).
Loopback only; every process stops at the end, the tmpfs is unmounted.
"""
import argparse
import errno
import json
import math
import os
import random
import re
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loadlib as L  # noqa: E402
import run_service as RS  # noqa: E402

BARCODE_BASE = 2_000_000_000_000
PREFIX = "ht6630"
DESCRIPTORS_KEPT = 64   # a node's own descriptors beyond its connections (store, broker, logs, epoll)


def group_of(barcode):
    """Group (0-based) of a bar code made by sim_barcode."""
    return (int(barcode) - BARCODE_BASE) // 10_000_000 - 1


def sim_barcode(group, part):
    return "%013d" % (BARCODE_BASE + (group + 1) * 10_000_000 + part * 1_000_000)


def free_port_on(address):
    import socket
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        s.bind((address, 0))
        return s.getsockname()[1]
    finally:
        s.close()


# ---- the broker -----------------------------------------------------------------------

class FleetBroker(RS.Broker):
    """mosquitto on a free 127.0.0.1 port that can be killed and started again on the
    same port; with `persistent`, a persistence file in the work folder (saved every
    5 s and at a clean stop) so that sessions and their queued messages outlive it."""

    def __init__(self, work, persistent):
        self.work = work
        self.port = L.free_port()
        self.starts = 0
        self.conf = os.path.join(work, "mosquitto.conf")
        store = os.path.join(work, "mosquitto-db") + "/"
        os.makedirs(store, exist_ok=True)
        with open(self.conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\n" % self.port)
            if persistent:
                # Run as root, mosquitto would drop to its own user, which may not write here.
                f.write("%spersistence true\npersistence_location %s\nautosave_interval 5\n"
                        % ("user root\n" if os.geteuid() == 0 else "", store))
            else:
                f.write("persistence false\n")
            # A measuring subscriber: no QoS 1 message dropped for a full queue.
            f.write("max_queued_messages 0\nmax_inflight_messages 0\n"
                    "log_dest stderr\nlog_type error\nlog_type warning\nlog_type notice\nlog_type subscribe\n")
        self.start()

    def start(self):
        self.starts += 1
        self.log_path = os.path.join(self.work, "mosquitto-%d.log" % self.starts)
        self.log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(["mosquitto", "-c", self.conf], stdout=self.log, stderr=self.log)
        self.pid = self.proc.pid
        # Listening once a client gets in.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self.proc.poll() is None:
            if subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "probe", "-n"],
                              capture_output=True, timeout=5).returncode == 0:
                return
            time.sleep(0.05)
        raise SystemExit("mosquitto did not start: %s" % self.text()[-500:])

    def kill(self):
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait(10)
        self.log.close()


# ---- the nodes ------------------------------------------------------------------------

class Node:
    """One ht6630-datacentre node: n<i> on 127.0.0.(10+i), its store in its own folder
    (or on a given one: the tmpfs of the store-full run)."""

    def __init__(self, work, i, broker_port, store_dir=None, log_level="info"):
        self.i, self.name = i, "n%d" % i
        self.address = "127.0.0.%d" % (10 + i)
        self.port = free_port_on(self.address)
        self.dir = os.path.join(work, self.name)
        os.makedirs(self.dir, exist_ok=True)
        self.store_dir = store_dir or self.dir
        self.db = os.path.join(self.store_dir, "readings.db")
        self.conf = os.path.join(self.dir, "datacentre.ini")
        with open(self.conf, "w") as f:
            f.write("[tcp]\nlisten = %s:%d\n[store]\npath = %s\n[node]\nname = %s\n[log]\nlevel = %s\n"
                    "[mqtt]\nurl = mqtt://127.0.0.1:%d\nprefix = %s\n"
                    % (self.address, self.port, self.db, self.name, log_level, broker_port, PREFIX))
        self.starts = 0
        self.samplers = []   # one per start
        self.exits = []      # (how, code, error lines) per start
        self.start()

    def start(self):
        self.starts += 1
        self.log_path = os.path.join(self.dir, "datacentre-%d.log" % self.starts)
        self.log = open(self.log_path, "wb")
        self.launched_at = time.time()
        self.proc = subprocess.Popen([L.binary("ht6630-datacentre"), "--config", self.conf],
                                     stdout=subprocess.DEVNULL, stderr=self.log)
        self.pid = self.proc.pid
        deadline = time.monotonic() + 30
        while b"<6>ready\n" not in self.text():
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise SystemExit("%s did not start: %s" % (self.name, self.text()[-1000:].decode("utf-8", "replace")))
            time.sleep(0.05)
        self.started_at = time.time()
        sampler = L.Sampler(self.pid)
        sampler.start()
        self.samplers.append(sampler)

    def text(self, path=None):
        with open(path or self.log_path, "rb") as f:
            return f.read()

    def logs(self):
        return [os.path.join(self.dir, "datacentre-%d.log" % k) for k in range(1, self.starts + 1)]

    def kill(self):
        self.samplers[-1].stop()   # before the pid can be reused
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait(10)
        self.log.close()
        self.exits.append(("killed", self.proc.returncode, []))

    def stop(self):
        if self.proc.poll() is not None and self.log.closed:
            return
        alive = self.proc.poll() is None
        code = RS.stop_proc(self.proc)
        self.samplers[-1].stop()
        self.log.close()
        errors = [ln.decode("utf-8", "replace") for ln in self.text().splitlines() if ln.startswith(b"<3>")]
        self.exits.append(("stopped" if alive else "died", code, errors))

    def own_view(self):
        """The node's own account at its last stop: how late its replies left and how late
        its event loop ran a due timer (ms)."""
        m = re.search(rb"replies: (\d+) sent, late by ([\d.]+) ms at p50, ([\d.]+) ms at p99, ([\d.]+) ms at most; "
                      rb"event loop late by ([\d.]+) ms at p99, ([\d.]+) ms at most", self.text())
        if not m:
            return None
        return {k: float(v) for k, v in zip(("replies", "late_p50", "late_p99", "late_max", "loop_p99", "loop_max"),
                                            m.groups())}

    def cpu_s(self):
        return sum(s.cpu_used() for s in self.samplers)

    def peak_rss_mb(self, t0=None, t1=None):
        return max((kb for s in self.samplers for t, kb, _ in s.samples
                    if (t0 is None or t >= t0) and (t1 is None or t <= t1)), default=0) / 1024.0

    def cpu_between(self, t0, t1):
        """CPU seconds used between two monotonic times (from the samples)."""
        total = 0.0
        for s in self.samplers:
            inside = [c for t, _, c in s.samples if t0 <= t <= t1]
            if len(inside) >= 2:
                total += inside[-1] - inside[0]
        return total

    def store_mb(self):
        """The store's file, its write-ahead log and shared memory file, MB (tmpfs: before it is unmounted)."""
        return sum(os.path.getsize(self.db + x) for x in ("", "-wal", "-shm") if os.path.exists(self.db + x)) / 1e6

    def stored(self):
        """(barcode, time) of every reading in this node's store."""
        try:
            con = sqlite3.connect("file:%s?mode=ro" % self.db, uri=True)
            try:
                return set(con.execute("SELECT barcode, time FROM readings"))
            finally:
                con.close()
        except sqlite3.Error:
            return set()


class LogWatch(threading.Thread):
    """Follows the nodes' logs and stamps (host clock) the lines a fault's figures need."""

    NEEDLES = (b"<3>", b"<4>", b"is written again", b"mqtt: connected")

    def __init__(self, nodes):
        super().__init__(daemon=True)
        self.nodes = nodes
        self.events = []   # (epoch, node name, line)
        self._pos = {}
        self._halt = threading.Event()

    def run(self):
        while not self._halt.is_set():
            self.poll()
            self._halt.wait(0.1)

    def poll(self):
        for n in self.nodes:
            path = n.log_path
            pos = self._pos.get(path, 0)
            try:
                with open(path, "rb") as f:
                    f.seek(pos)
                    data = f.read()
            except OSError:
                continue
            end = data.rfind(b"\n") + 1
            self._pos[path] = pos + end
            now = time.time()
            for line in data[:end].splitlines():
                if any(k in line for k in self.NEEDLES):
                    self.events.append((now, n.name, line.decode("utf-8", "replace")))

    def stop(self):
        self._halt.set()
        self.join(2)
        self.poll()

    def first(self, node, needle, after=0.0):
        return next(((t, ln) for t, nm, ln in self.events if nm == node and needle in ln and t >= after), (None, None))


# ---- the simulators -------------------------------------------------------------------

class FleetSim(L.SimRun):
    """One ht6630-terminal process of a group. Beyond SimRun's send times it keeps the
    times of the answers it read, per kind, and each terminal's registration
    acknowledgements; and the offset of the simulator's clock to this one's (the
    smallest lag seen between a line's stamp and its reading here)."""

    def __init__(self, args, group, part, count, sources):
        self.group, self.part, self.count, self.sources = group, part, count, sources
        self.rx_times = {}      # kind -> [t]
        self.reg_acks = {}      # barcode -> [t]
        self.reconnects = []    # (monotonic, barcode, reason, next address)
        self.offset = float("inf")   # monotonic here = simulator t + offset
        self.cpu = None
        super().__init__(args)
        self.sampler = L.Sampler(self.pid, interval=1.0)
        self.sampler.start()

    def _read(self):
        for raw in self.proc.stdout:
            if raw.startswith(b'{"summary"'):
                self.summary = json.loads(raw)["summary"]
                continue
            try:
                t = float(raw[5:raw.find(b",")])
            except ValueError:
                continue
            lag = time.monotonic() - t
            if lag < self.offset:
                self.offset = lag
            k0 = raw.find(b'"kind":"') + 8
            kind = raw[k0:raw.find(b'"', k0)].decode()
            if b'"dir":"tx"' in raw:
                self.tx_times.setdefault(kind, []).append(t)
                self.last_t = t
                continue
            self.rx_times.setdefault(kind, []).append(t)
            if kind == "registration-ack":
                b0 = raw.find(b'"term":"') + 8
                self.reg_acks.setdefault(raw[b0:raw.find(b'"', b0)].decode(), []).append(t)

    RECONNECT = re.compile(rb"^ht6630-terminal: (\d{13}): (.*); connecting to ([\d.]+):\d+ in (\d+) ms")

    def _read_err(self):
        # --reconnect reports each lost or failed connection and the next attempt,
        # without a time: stamped here as it is read (standard error is unbuffered).
        for raw in self.proc.stderr:
            m = self.RECONNECT.match(raw)
            if m:
                why = m.group(2).decode("utf-8", "replace")
                why = why[:why.find(" (")] if " (" in why else why
                self.reconnects.append((time.monotonic(), m.group(1).decode(), why, m.group(3).decode()))
            elif len(self.stderr_lines) < 50:
                self.stderr_lines.append(raw.decode("utf-8", "replace").rstrip())

    def sim_t(self, mono):
        """A monotonic time of this process as the simulator's clock."""
        return mono - self.offset

    def rx_between(self, kind, t0, t1):
        return sum(1 for t in self.rx_times.get(kind, []) if t0 <= t < t1)

    def tx_between(self, kind, t0, t1):
        return sum(1 for t in self.tx_times.get(kind, []) if t0 <= t < t1)


def read_acked(paths):
    """(barcode, time) -> epoch of its first acknowledgement, over all --acked files."""
    acked = {}
    for path in paths:
        if not os.path.exists(path):
            continue
        with open(path) as f:
            for line in f:
                parts = line.rstrip("\n").split(",")
                if len(parts) >= 3:
                    try:
                        e = float(parts[2])
                    except ValueError:
                        continue
                    key = (parts[0], parts[1])
                    if key not in acked or e < acked[key]:
                        acked[key] = e
    return acked


def arrivals(path):
    """Records arrived at the subscriber, repeats included; the keys that came again in
    the same message (same node, same "received": a QoS 1 redelivery) and the keys
    that came again in another upload (a terminal that sent the record again, to
    another node or after its acknowledgement was lost)."""
    total, first, again, redelivered = 0, {}, set(), set()
    with open(path, "rb") as f:
        for raw in f:
            try:
                m = json.loads(raw.partition(b" ")[2])
                origin = (m["node"], m["received"])
                keys = [(m["barcode"], r["time"]) for r in m["readings"]]
            except (ValueError, KeyError, TypeError):
                continue
            total += len(keys)
            for k in keys:
                o = first.setdefault(k, origin)
                if o is not origin:
                    (redelivered if o == origin else again).add(k)
    return total, redelivered, again - redelivered


# ---- figures --------------------------------------------------------------------------

def pcts(values, scale=1.0):
    return {"n": len(values), "p50": L.pct(values, .5) * scale, "p99": L.pct(values, .99) * scale,
            "max": max(values) * scale if values else float("nan")}


def preflight(a, per_node_peak):
    problems = []
    limit = RS.raise_limits(20000)
    biggest_sim = min(a.per_sim, math.ceil(a.terminals / a.nodes))
    if per_node_peak + DESCRIPTORS_KEPT > limit:
        problems.append("a node would hold %d connections (%s), more than the descriptor limit %d of a process "
                        "allows (%d kept for its own files): use more nodes (--nodes %d)"
                        % (per_node_peak, "its group and, after the kill, node 1's" if a.fault == "kill-node"
                           else "its group", limit, DESCRIPTORS_KEPT,
                           math.ceil(a.terminals * (2 if a.fault == "kill-node" else 1) / (limit - DESCRIPTORS_KEPT))))
    if biggest_sim + DESCRIPTORS_KEPT > limit:
        problems.append("a simulator process would hold %d connections, limit %d: lower --per-sim" % (biggest_sim, limit))
    file_max = RS.read_int("/proc/sys/fs/file-max", 1 << 20)
    in_use = RS.read_int("/proc/sys/fs/file-nr", 0)
    if file_max - in_use < 2 * a.terminals + 4096:
        problems.append("fs.file-max %d with %d in use: %d terminals need %d" % (file_max, in_use, a.terminals,
                                                                               2 * a.terminals + 4096))
    if a.fault == "store-full" and os.geteuid() != 0:
        problems.append("store-full mounts a tmpfs: run as root")
    return problems


def fill(path):
    """Writes a file until the file system is full; returns the bytes written."""
    written = 0
    with open(path, "wb", buffering=0) as f:
        for chunk in (1 << 20, 1 << 12, 1):
            block = b"\0" * chunk
            while True:
                try:
                    f.write(block)
                    written += chunk
                except OSError as e:
                    if e.errno != errno.ENOSPC:
                        raise
                    break
    return written


def listen_drops():
    """The kernel's count of connections a full accept queue turned away (all listeners)."""
    try:
        with open("/proc/net/netstat") as f:
            lines = f.read().splitlines()
    except OSError:
        return {}
    for names, values in zip(lines[::2], lines[1::2]):
        if names.startswith("TcpExt:"):
            table = dict(zip(names.split()[1:], (int(v) for v in values.split()[1:])))
            return {k: table.get(k, 0) for k in ("ListenOverflows", "ListenDrops")}
    return {}


def df_free_mb(path):
    st = os.statvfs(path)
    return st.f_bavail * st.f_frsize / 1048576.0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--terminals", type=int, default=30000)
    p.add_argument("--nodes", type=int, default=3)
    p.add_argument("--ramp", type=float, help="start the terminals evenly over this many seconds "
                                              "(default: 250 a second, 120 s for 30,000)")
    p.add_argument("--duration", type=float, help="simulator run length (default: the ramp and 180 s)")
    p.add_argument("--fault", choices=("none", "kill-node", "broker", "store-full"), default="none")
    p.add_argument("--fault-at", type=float, help="seconds after the start (default: 30 s after the ramp)")
    p.add_argument("--restart-after", type=float, default=20.0, help="kill-node: node 1 starts again after (default 20)")
    p.add_argument("--outage", type=float, default=15.0, help="broker: seconds without a broker (default 15)")
    p.add_argument("--full-for", type=float, default=30.0,
                   help="store-full: seconds the space stays taken once node 1 says its store fails (default 30)")
    p.add_argument("--tmpfs-mb", type=int, help="store-full: node 1's tmpfs, MiB (default: 16 and 1 kB per terminal "
                                                "of node 1 per minute of the run)")
    p.add_argument("--upload-every", type=float, default=120.0)
    p.add_argument("--records", type=int, default=4)
    p.add_argument("--heartbeat", type=float, default=30.0)
    p.add_argument("--per-sim", type=int, default=10000, help="terminals per simulator process at most (default 10000)")
    p.add_argument("--settle", type=float, default=60.0,
                   help="after the fleet ends, wait at most this long for every acknowledged reading (default 60)")
    p.add_argument("--log-level", default="info", choices=("debug", "info", "warning"))
    p.add_argument("--keep", action="store_true", help="keep the work folder (logs, stores) and print its path")
    p.add_argument("--json", help="also write the figures to this file")
    a = p.parse_args()
    if a.ramp is None:
        a.ramp = max(5.0, a.terminals / 250.0)
    if a.duration is None:
        a.duration = a.ramp + 180.0
    if a.fault_at is None:
        a.fault_at = a.ramp + 30.0
    if a.fault != "none" and a.nodes < 2 and a.fault == "kill-node":
        sys.stderr.write("run_fleet: kill-node needs two nodes at least\n")
        return 2
    group_sizes = [a.terminals // a.nodes + (1 if g < a.terminals % a.nodes else 0) for g in range(a.nodes)]
    peak = max(group_sizes) + (group_sizes[0] if a.fault == "kill-node" else 0)
    problems = preflight(a, peak)
    if problems:
        for line in problems:
            sys.stderr.write("run_fleet: %s\n" % line)
        return 2

    work = tempfile.mkdtemp(prefix="ht6630-fleet-")
    broker = sub = watch = None
    nodes, sims, mounted = [], [], None
    res = {"terminals": a.terminals, "nodes": a.nodes, "ramp_s": a.ramp, "duration_s": a.duration, "fault": a.fault,
           "fault_at_s": a.fault_at if a.fault != "none" else None, "upload_every_s": a.upload_every,
           "records": a.records, "heartbeat_s": a.heartbeat, "machine": L.machine()}
    fault = {}
    try:
        broker = FleetBroker(work, persistent=(a.fault == "broker"))
        sub = RS.Subscriber(broker, work, prefix=PREFIX, topic="readings", persistent=(a.fault == "broker"))
        for i in range(1, a.nodes + 1):
            store_dir = None
            if i == 1 and a.fault == "store-full":
                store_dir = os.path.join(work, "n1-disk")
                os.makedirs(store_dir)
                # 16 MiB and room for node 1's store over the whole run (at most about 1 kB a
                # terminal a minute: the heart beats are events, then the readings and their
                # publish log), so that the space freed after the fill lasts to the end.
                mb = a.tmpfs_mb or int(16 + group_sizes[0] * (a.duration / 60.0) * 1.0 / 1024)
                subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dm" % mb, "tmpfs", store_dir], check=True)
                mounted = store_dir
                fault["tmpfs_mb"] = mb
            nodes.append(Node(work, i, broker.port, store_dir=store_dir, log_level=a.log_level))
        watch = LogWatch(nodes)
        watch.start()
        broker_sampler = L.Sampler(broker.pid, interval=1.0)
        broker_sampler.start()
        broker_samplers = [broker_sampler]

        # The groups' simulator processes, each with source addresses of its own (twice
        # what its terminals need: reconnections take new ports).
        parts = []
        for g, size in enumerate(group_sizes):
            k = max(1, math.ceil(size / a.per_sim))
            for part in range(k):
                n = size // k + (1 if part < size % k else 0)
                if n:
                    parts.append((g, part, n))
        octets = random.sample(range(16, 240), len(parts))
        t0 = time.monotonic()
        for (g, part, n), octet in zip(parts, octets):
            main_n, spare_n = nodes[g], nodes[(g + 1) % a.nodes]
            sources = RS.sources_for(2 * n, octet)
            acked = os.path.join(work, "acked-%d-%d.txt" % (g + 1, part))
            args = ["--tcp", "%s:%d" % (main_n.address, main_n.port),
                    "--set", "ip=%s" % main_n.address, "--set", "port=%d" % main_n.port,
                    "--set", "spare-ip=%s" % spare_n.address, "--set", "spare-port=%d" % spare_n.port,
                    "--set", "barcode=%s" % sim_barcode(g, part), "--count", str(n), "--reconnect",
                    "--upload-every", str(a.upload_every), "--records", str(a.records),
                    "--heartbeat", str(a.heartbeat), "--duration", str(a.duration), "--ramp", str(a.ramp),
                    "--source", ",".join(sources), "--acked", acked]
            sim = FleetSim(args, g, part, n, sources)
            sim.acked_path = acked
            sims.append(sim)
        sys.stderr.write("[run_fleet] %d terminals, %d nodes, %d simulator processes, ramp %.0f s, %.0f s, fault %s%s; "
                         "work %s; load %s\n"
                         % (a.terminals, a.nodes, len(sims), a.ramp, a.duration, a.fault,
                            " at %.0f s" % a.fault_at if a.fault != "none" else "", work, L.loadavg()))

        def sleep_until(t):
            while time.monotonic() < t0 + t:
                time.sleep(max(0.0, min(0.2, t0 + t - time.monotonic())))

        drops0 = listen_drops()
        if a.fault != "none":
            sleep_until(a.fault_at)
            fault["listen_drops_before"] = listen_drops()
            fault["at_mono"], fault["at_epoch"] = time.monotonic(), time.time()
            sys.stderr.write("[run_fleet] %.0f s: fault %s, load %s\n" % (time.monotonic() - t0, a.fault, L.loadavg()))
            if a.fault == "kill-node":
                nodes[0].kill()
                sleep_until(a.fault_at + min(a.restart_after, 19.0))
                fault["listen_drops_after"] = listen_drops()
                sleep_until(a.fault_at + a.restart_after)
                nodes[0].start()
                fault["restart_mono"], fault["restart_epoch"] = time.monotonic(), nodes[0].launched_at
            elif a.fault == "broker":
                broker.kill()
                broker_sampler.stop()
                sleep_until(a.fault_at + a.outage)
                broker.start()
                fault["restart_mono"], fault["restart_epoch"] = time.monotonic(), time.time()
                broker_sampler = L.Sampler(broker.pid, interval=1.0)
                broker_sampler.start()
                broker_samplers.append(broker_sampler)
            elif a.fault == "store-full":
                filler = os.path.join(mounted, "filler")
                fault["free_before_mb"] = df_free_mb(mounted)
                fault["filler_mb"] = fill(filler) / 1048576.0
                fault["filled_epoch"] = time.time()
                # The store fails once its write-ahead log, which reuses its own space, needs
                # more: then --full-for seconds more before the space comes back.
                waited = time.monotonic() + 120
                while watch.first("n1", "cannot be written", after=fault["filled_epoch"] - 1)[0] is None \
                        and time.monotonic() < waited:
                    time.sleep(0.2)
                time.sleep(a.full_for)
                # Acknowledged means stored: what was acknowledged until now is in a store
                # now, with node 1's still full (rows kept in its memory do not count).
                snap_epoch = time.time()
                in_stores = set()
                for n in nodes:
                    in_stores |= n.stored()
                before = read_acked([s.acked_path for s in sims])
                fault["snapshot_acked"] = sum(1 for e in before.values() if e < snap_epoch)
                fault["snapshot_acked_not_stored"] = sorted(k for k, e in before.items()
                                                            if e < snap_epoch and k not in in_stores)
                os.remove(filler)
                fault["freed_mono"], fault["freed_epoch"] = time.monotonic(), time.time()
            sys.stderr.write("[run_fleet] %.0f s: fault over, load %s\n" % (time.monotonic() - t0, L.loadavg()))

        codes = [s.wait(a.duration + 120 - (time.monotonic() - t0)) for s in sims]
        t_end = time.monotonic()
        drops1 = listen_drops()
        res["listen_drops_run"] = {k: drops1.get(k, 0) - drops0.get(k, 0) for k in drops1}
        for s in sims:
            s.sampler.stop()
        # Every acknowledged reading at the subscriber, or --settle seconds.
        acked = read_acked([s.acked_path for s in sims])
        deadline = time.monotonic() + a.settle
        while True:
            seen, _, _ = sub.readings()
            missing = sum(1 for k in acked if k not in seen)
            if missing == 0 or time.monotonic() > deadline:
                break
            time.sleep(3)
        settled_s = time.monotonic() - t_end
        for n in nodes:
            n.stop()
        time.sleep(1.0)
        sub.stop()
        watch.stop()
        broker_sampler.stop()

        # ---- figures
        res["sims"] = []
        for s, code in zip(sims, codes):
            f = L.sim_figures(s, a.duration)
            f.update({"group": s.group + 1, "part": s.part, "terminals": s.count, "exit": code,
                      "main": nodes[s.group].name, "spare": nodes[(s.group + 1) % a.nodes].name,
                      "cpu_s": s.sampler.cpu_used(), "rss_peak_mb": s.sampler.peak_rss_mb(),
                      "stderr": s.stderr_lines[:3]})
            f["p99_ms"] = max((v["p99"] for v in f["latency"].values()), default=float("nan"))
            f["max_ms"] = max((v["max"] for v in f["latency"].values()), default=float("nan"))
            res["sims"].append(f)
        stored = set()
        for n in nodes:
            stored |= n.stored()
        # Order per terminal, against the order its readings were acknowledged in.
        seen, messages, out_of_order = sub.readings([k for k, _ in sorted(acked.items(), key=lambda kv: kv[1])])
        total_arrivals, redelivered, again = arrivals(sub.path)
        lost = [k for k in acked if k not in seen]
        delays = [seen[k] - e for k, e in acked.items() if k in seen]
        res["readings"] = {"acked": len(acked), "stored": sum(1 for k in acked if k in stored),
                           "not_stored": sum(1 for k in acked if k not in stored), "stored_all": len(stored),
                           "delivered": len(acked) - len(lost), "lost": len(lost), "lost_sample": lost[:10],
                           "seen_all": len(seen), "messages": messages, "arrivals": total_arrivals,
                           "redelivered": len(redelivered), "uploaded_again": len(again), "out_of_order": out_of_order,
                           "delay_s": pcts(delays), "settled_s": settled_s}
        # CPU: the whole run, and the steady part (after the ramp, before the fault).
        s0 = t0 + a.ramp + 5.0
        s1 = t0 + (a.fault_at if a.fault != "none" else a.duration) - 1.0
        steady = max(1.0, s1 - s0)
        res["steady_window_s"] = [s0 - t0, s1 - t0]
        res["nodes_fig"] = []
        for n, size in zip(nodes, group_sizes):
            cpu_steady = n.cpu_between(s0, s1)
            res["nodes_fig"].append({
                "node": n.name, "address": "%s:%d" % (n.address, n.port), "terminals": size, "starts": n.starts,
                "cpu_s": n.cpu_s(), "cpu_steady_s": cpu_steady,
                "us_per_terminal_s": cpu_steady / (size * steady) * 1e6 if size else None,
                "rss_peak_mb": n.peak_rss_mb(), "exits": n.exits, "store_mb": n.store_mb(),
                "own_view": n.own_view()})
        fleet_steady = sum(x["cpu_steady_s"] for x in res["nodes_fig"])
        res["fleet"] = {"cpu_s": sum(x["cpu_s"] for x in res["nodes_fig"]), "cpu_steady_s": fleet_steady,
                        "us_per_terminal_s": fleet_steady / (a.terminals * steady) * 1e6,
                        "broker_cpu_s": sum(b.cpu_used() for b in broker_samplers),
                        "broker_rss_peak_mb": max(b.peak_rss_mb() for b in broker_samplers),
                        "sims_cpu_s": sum(x["cpu_s"] for x in res["sims"])}

        if a.fault == "kill-node":
            t_kill = fault["at_mono"]
            waits, never = [], 0
            killed = [s for s in sims if s.group == 0]
            for s in killed:
                tk = s.sim_t(t_kill)
                for k in range(s.count):
                    bc = "%013d" % (int(sim_barcode(s.group, s.part)) + k)
                    after = [t for t in s.reg_acks.get(bc, []) if t > tk]
                    if after:
                        waits.append(min(after) - tk)
                    else:
                        never += 1
            fault["answered_again_s"] = pcts(waits)
            fault["answered_again_s"].update({"min": min(waits) if waits else None, "p10": L.pct(waits, .1),
                                              "p90": L.pct(waits, .9)})
            # Their connection attempts after the kill, from the simulators' reports.
            attempts = {}
            for s in killed:
                for t, bc, why, host in s.reconnects:
                    if t >= t_kill - 0.5:
                        attempts.setdefault((why, "to main" if host == nodes[0].address else "to spare"), []).append(
                            t - t_kill)
            fault["attempts"] = {"%s, then %s" % k: pcts(v) for k, v in sorted(attempts.items())}
            # The spare's own record of their registrations (its events table, whole seconds).
            spare = nodes[1]
            lo, hi = sim_barcode(0, 0), "%013d" % (int(sim_barcode(1, 0)) - 1)
            try:
                con = sqlite3.connect("file:%s?mode=ro" % spare.db, uri=True)
                rows = con.execute("SELECT barcode, min(time) FROM events WHERE kind = 'registration' AND barcode "
                                   "BETWEEN ? AND ? AND time >= ? GROUP BY barcode",
                                   (lo, hi, time.strftime("%Y-%m-%dT%H:%M:%S",
                                                          time.localtime(int(fault["at_epoch"]))))).fetchall()
                con.close()
            except sqlite3.Error:
                rows = []
            at = [time.mktime(time.strptime(t[:19], "%Y-%m-%dT%H:%M:%S")) - fault["at_epoch"] for _, t in rows]
            fault["spare_registrations_s"] = pcts(at)
            fault["spare_registrations_s"]["min"] = min(at) if at else None
            # What the simulators of node 1's terminals spent meanwhile (CPU seconds, 15 s from the kill).
            fault["sim_cpu_15s"] = sum(
                (lambda xs: xs[-1] - xs[0] if len(xs) > 1 else 0.0)(
                    [c for t, _, c in s.sampler.samples if t_kill <= t <= t_kill + 15]) for s in killed)
            # Published by node 1 again after its restart (after its saved mark): readings it had
            # handed to the broker whose acknowledgement the mark had not taken in yet.
            again_n1, dup_n1 = 0, 0
            seen_before = set()
            with open(sub.path, "rb") as f:
                for raw in f:
                    stamp, _, payload = raw.partition(b" ")
                    try:
                        m = json.loads(payload)
                        keys = [(m["barcode"], x["time"]) for x in m["readings"]]
                        t = float(stamp)
                    except (ValueError, KeyError, TypeError):
                        continue
                    if m["node"] == nodes[0].name and t >= fault["restart_epoch"]:
                        again_n1 += len(keys)
                        dup_n1 += sum(1 for k in keys if k in seen_before)
                    seen_before.update(keys)
            fault["republished"], fault["republished_seen_before"] = again_n1, dup_n1
            b, c = fault.get("listen_drops_before", {}), fault.get("listen_drops_after", {})
            fault["listen_drops"] = {k: c.get(k, 0) - b.get(k, 0) for k in c}
            fault["never_answered_again"] = never
            # Which node took them: registrations of node 1's group in the nodes' logs after the kill.
            took = {}
            for n in nodes:
                for path in n.logs()[(1 if n is nodes[0] else 0):]:
                    text = n.text(path)
                    bcs = set(m.group(1).decode() for m in re.finditer(rb"registration (\d{13}) from ", text))
                    took[os.path.basename(path) if n is nodes[0] else n.name] = sum(1 for b in bcs if group_of(b) == 0)
            fault["group1_registered_on"] = took
            # What node 1 held at its kill: acknowledged by its terminals before, not at the subscriber then.
            held = [k for k, e in acked.items() if group_of(k[0]) == 0 and e < fault["at_epoch"]
                    and (k not in seen or seen[k] > fault["at_epoch"])]
            late = [seen[k] for k in held if k in seen]
            fault["held_at_kill"] = len(held)
            fault["held_delivered_after_restart"] = sum(1 for t in late if t >= fault["restart_epoch"])
            fault["held_lost"] = sum(1 for k in held if k not in seen)
            fault["handed_on_s"] = (max(late) - fault["restart_epoch"]) if late else None
        elif a.fault == "broker":
            r = fault["restart_epoch"]
            backlog = [k for k, e in acked.items() if e < r]
            late = [seen[k] for k in backlog if k in seen and seen[k] >= fault["at_epoch"]]
            fault["acked_before_restart"] = len(backlog)
            fault["backlog"] = len(late)
            fault["backlog_lost"] = sum(1 for k in backlog if k not in seen)
            fault["drain_s"] = (max(late) - r) if late else 0.0
            drained_mono = fault["restart_mono"] + (fault["drain_s"] or 0)
            fault["rss_mb"] = {n.name: {"before": n.peak_rss_mb(s0, fault["at_mono"]),
                                        "outage_and_drain": n.peak_rss_mb(fault["at_mono"], drained_mono + 5),
                                        "after": n.peak_rss_mb(drained_mono + 5, None)} for n in nodes}
            # The nodes' reconnections: 1 s after the loss, the delay doubling up to 30 s.
            fault["nodes_reconnected_s"] = {n.name: (lambda t: None if t is None else t - r)(
                watch.first(n.name, "mqtt: connected", after=fault["at_epoch"])[0]) for n in nodes}
            back = [v for v in fault["nodes_reconnected_s"].values() if v is not None]
            fault["drain_after_reconnect_s"] = (fault["drain_s"] - max(back)) if back and late else None
        elif a.fault == "store-full":
            f_at, freed = fault["filled_epoch"], fault["freed_epoch"]
            t_fail, line_fail = watch.first("n1", "cannot be written", after=f_at - 1)
            t_ok, line_ok = watch.first("n1", "is written again", after=f_at)
            fault["failing_after_s"] = (t_fail - f_at) if t_fail else None
            fault["failing_line"] = line_fail
            fault["written_again_after_free_s"] = (t_ok - freed) if t_ok else None
            fault["written_again_line"] = line_ok
            m = re.search(r"\((\d+) acknowledgement\(s\) withheld meanwhile\)", line_ok or "")
            fault["withheld"] = int(m.group(1)) if m else None
            # Node 1's terminals (group 1, still on node 1: a full store closes no connection).
            g1 = [s for s in sims if s.group == 0]
            w0 = t_fail if t_fail else f_at
            w1 = t_ok if t_ok else freed
            mono = lambda e: fault["freed_mono"] - (freed - e)  # noqa: E731
            win = {}
            for kind, ack in (("heartbeat", "heartbeat-ack"), ("registration", "registration-ack"),
                              ("upload", "upload-ack"), ("upload-end", "end-answer")):
                # Frames sent and answers read while the store failed (from its error line to
                # the line that it is written again).
                win[kind] = {"sent": sum(s.tx_between(kind, s.sim_t(mono(w0)), s.sim_t(mono(w1))) for s in g1),
                             "answers": sum(s.rx_between(ack, s.sim_t(mono(w0)), s.sim_t(mono(w1))) for s in g1)}
            fault["failing_s"] = w1 - w0
            fault["while_full"] = win
            # Every acknowledgement line (a record uploaded again keeps its first time in `acked`).
            late = set()
            for path in (s.acked_path for s in g1):
                with open(path) as f:
                    for line in f:
                        parts = line.rstrip("\n").split(",")
                        if len(parts) >= 3 and w0 < float(parts[2]) < w1:
                            late.add((parts[0], round(float(parts[2]) - w0, 3)))
            late = sorted(t for _, t in late)
            fault["acked_while_failing"] = len(late)
            fault["acked_while_failing_at_s"] = late
            firsts = [min((t for t in s.rx_times.get("upload-ack", []) if t > s.sim_t(fault["freed_mono"])),
                          default=None) for s in g1]
            firsts = [t - s.sim_t(fault["freed_mono"]) for t, s in zip(firsts, g1) if t is not None]
            fault["first_ack_after_free_s"] = min(firsts) if firsts else None
            fault["store_mb_at_end"] = sum(os.path.getsize(os.path.join(mounted, f)) for f in os.listdir(mounted)) / 1048576.0
        for key in [k for k in fault if k.endswith("_mono")]:
            fault[key + "_s"] = fault.pop(key) - t0
        res["fault_fig"] = fault
        res["lost"] = len(lost)
        res["problems"] = []
        for n in nodes:
            for how, code, errors in n.exits:
                if how == "died" or (how == "stopped" and code != 0):
                    res["problems"].append("%s %s with exit code %s" % (n.name, how, code))
        for x in res["sims"]:
            if x["exit"] != 0:
                res["problems"].append("simulator of group %d exited %s" % (x["group"], x["exit"]))
        if fault.get("snapshot_acked_not_stored"):
            res["problems"].append("%d readings acknowledged and in no store while node 1's was full"
                                   % len(fault["snapshot_acked_not_stored"]))
        res["ok"] = len(acked) > 0 and not lost and not res["problems"]
        report(res, a)
        if a.json:
            with open(a.json, "w") as f:
                json.dump(res, f, indent=1, ensure_ascii=False, default=str)
        return 0 if res["ok"] else 1
    finally:
        for s in sims:
            if s.proc.poll() is None:
                s.proc.kill()
        for n in nodes:
            if n.proc.poll() is None:
                n.proc.kill()
                n.proc.wait()
        for x in (sub, broker):
            if x and x.proc.poll() is None:
                x.proc.kill()
                x.proc.wait()
        if watch:
            watch.stop()
        if mounted:
            if subprocess.run(["umount", mounted]).returncode != 0:
                subprocess.run(["umount", "-l", mounted])
        if a.keep:
            sys.stderr.write("[run_fleet] kept %s\n" % work)
        else:
            subprocess.run(["rm", "-rf", work])


def report(r, a, out=sys.stdout):
    out.write("\nFleet: %d terminals over %d nodes, ramp %.0f s, run %.0f s, an upload of %d records every %.0f s, "
              "a heart beat every %.0f s; fault: %s\n" % (r["terminals"], r["nodes"], r["ramp_s"], r["duration_s"],
                                                          r["records"], r["upload_every_s"], r["heartbeat_s"],
                                                          r["fault"]))
    out.write("\nFrames (each simulator process's summary; missing = unanswered, not counting frames sent in the "
              "last 1.6 s; reply latency from the end of the frame to the answer's first byte):\n")
    rows = [[s["group"], "%s -> %s" % (s["main"], s["spare"]), s["terminals"], s["expected"], s["answered"],
             L.fmt(s["missing_adj"]), s["in_flight_at_end"], L.fmt(s["p99_ms"]), L.fmt(s["max_ms"]), s["exit"]]
            for s in r["sims"]]
    tot = ["all", "", sum(s["terminals"] for s in r["sims"]), sum(s["expected"] for s in r["sims"]),
           sum(s["answered"] for s in r["sims"]), sum(s["missing_adj"] or 0 for s in r["sims"]),
           sum(s["in_flight_at_end"] for s in r["sims"]), L.fmt(max(s["p99_ms"] for s in r["sims"])),
           L.fmt(max(s["max_ms"] for s in r["sims"])), ""]
    L.print_table(["group", "main -> spare", "terminals", "expected", "answered", "missing", "in flight", "p99 ms",
                   "max ms", "exit"], rows + [tot], out)
    kinds = sorted({k for s in r["sims"] for k in s["latency"]})
    rows = []
    for k in kinds:
        rows.append([k, sum(s["sent"].get(k, 0) for s in r["sims"]),
                     sum(s["received"].get(L.ANSWERED.get(k, ""), 0) for s in r["sims"]),
                     L.fmt(max((s["latency"][k]["p50"] for s in r["sims"] if k in s["latency"]), default=None)),
                     L.fmt(max((s["latency"][k]["p99"] for s in r["sims"] if k in s["latency"]), default=None)),
                     L.fmt(max((s["latency"][k]["max"] for s in r["sims"] if k in s["latency"]), default=None))])
    out.write("\nBy kind (p50/p99/max: the highest of the simulator processes, ms):\n")
    L.print_table(["kind", "sent", "answered", "p50", "p99", "max"], rows, out)
    d = r["readings"]
    out.write("\nReadings, keyed (barcode, time): acknowledged (union of the --acked files), in a node's store, "
              "delivered (seen by the subscriber), lost (acknowledged, never delivered), redelivered (the same "
              "message again), uploaded again (in another upload, by another node or after a lost "
              "acknowledgement), out of order (first arrival before a reading its terminal had acknowledged "
              "earlier); delay from the acknowledgement to the subscriber (s; below 0: published before the "
              "acknowledgement, which waits the reply delay):\n")
    L.print_table(["acknowledged", "stored", "delivered", "lost", "redelivered", "uploaded again", "out of order",
                   "messages", "delay p50", "delay p99", "delay max", "all seen after"],
                  [[d["acked"], d["stored"], d["delivered"], d["lost"], d["redelivered"], d["uploaded_again"],
                    d["out_of_order"], d["messages"],
                    L.fmt(d["delay_s"]["p50"], 3), L.fmt(d["delay_s"]["p99"], 3), L.fmt(d["delay_s"]["max"], 1),
                    "%.0f s" % d["settled_s"]]], out)
    w0, w1 = r["steady_window_s"]
    out.write("\nNodes: CPU seconds over the run and in the steady part (%.0f–%.0f s: after the ramp, before the "
              "fault), CPU per terminal in the steady part (µs of CPU per terminal-second), peak RSS, the store's files at the end:\n" % (w0, w1))
    rows = [[n["node"], n["address"], n["terminals"], n["starts"], L.fmt(n["cpu_s"], 1), L.fmt(n["cpu_steady_s"], 1),
             L.fmt(n["us_per_terminal_s"], 2), L.fmt(n["rss_peak_mb"], 1), L.fmt(n["store_mb"], 1),
             "; ".join("%s %s" % (h, c) for h, c, _ in n["exits"])] for n in r["nodes_fig"]]
    f = r["fleet"]
    rows.append(["fleet", "", r["terminals"], "", L.fmt(f["cpu_s"], 1), L.fmt(f["cpu_steady_s"], 1),
                 L.fmt(f["us_per_terminal_s"], 2), "", L.fmt(sum(n["store_mb"] for n in r["nodes_fig"]), 1), ""])
    L.print_table(["node", "address", "terminals", "starts", "CPU s", "CPU s steady", "µs/terminal·s", "peak RSS MB",
                   "store MB", "exit"], rows, out)
    out.write("Broker: %.1f CPU s, peak RSS %.1f MB; simulators: %.1f CPU s.\n"
              % (f["broker_cpu_s"], f["broker_rss_peak_mb"], f["sims_cpu_s"]))
    out.write("The nodes' own view at their stop (replies late beyond the reply delay, event loop late; ms at "
              "p99 / at most): %s\n" % "; ".join(
                  "%s %s / %s, loop %s / %s" % (n["node"], L.fmt(v["late_p99"], 1), L.fmt(v["late_max"], 1),
                                              L.fmt(v["loop_p99"], 1), L.fmt(v["loop_max"], 1))
                  for n in r["nodes_fig"] for v in [n["own_view"]] if v))
    out.write("Accept queues overflowing over the run (kernel, all listeners): %s\n"
              % ", ".join("%s %d" % kv for kv in r["listen_drops_run"].items()))
    x = r["fault_fig"]
    if r["fault"] == "kill-node":
        w = x["answered_again_s"]
        out.write("\nkill-node: node 1 killed (SIGKILL) at %.0f s, started again at %.0f s on the same store. Node 1's "
                  "terminals answered again (first registration acknowledgement after the kill, s):\n"
                  % (x["at_mono_s"], x["restart_mono_s"]))
        L.print_table(["terminals", "answered again", "never", "min", "p10", "p50", "p90", "p99", "max",
                       "registered on (logs)"],
                      [[sum(s["terminals"] for s in r["sims"] if s["group"] == 1), w["n"], x["never_answered_again"],
                        L.fmt(w["min"], 2), L.fmt(w["p10"], 2), L.fmt(w["p50"], 2), L.fmt(w["p90"], 2),
                        L.fmt(w["p99"], 2), L.fmt(w["max"], 2),
                        ", ".join("%s %d" % kv for kv in x["group1_registered_on"].items())]], out)
        out.write("Their connection attempts after the kill (the simulators' reports, stamped as read; s after the "
                  "kill):\n")
        L.print_table(["report, next attempt", "count", "p50", "p99", "max"],
                      [[k, v["n"], L.fmt(v["p50"], 2), L.fmt(v["p99"], 2), L.fmt(v["max"], 2)]
                       for k, v in x["attempts"].items()], out)
        out.write("Accept queues overflowing in the 19 s after the kill (kernel, all listeners): %s\n"
                  % ", ".join("%s %d" % kv for kv in x["listen_drops"].items()))
        g = x["spare_registrations_s"]
        out.write("The spare (n2) recorded their registrations (events table, whole seconds) %s to %s s after the "
                  "kill, p50 %s s; their simulator processes used %.1f CPU s in the 15 s after it.\n"
                  % (L.fmt(g["min"], 0), L.fmt(g["max"], 0), L.fmt(g["p50"], 0), x["sim_cpu_15s"]))
        out.write("Readings node 1's terminals had acknowledged and the subscriber did not have at the kill: %d; "
                  "delivered after node 1's restart: %d (the last %s s after it started); lost: %d.\n"
                  % (x["held_at_kill"], x["held_delivered_after_restart"], L.fmt(x["handed_on_s"], 1), x["held_lost"]))
        out.write("Node 1 published again after its restart (its publish log after the saved mark): %d readings, "
                  "%d of them delivered before.\n" % (x["republished"], x["republished_seen_before"]))
    elif r["fault"] == "broker":
        out.write("\nbroker: mosquitto killed (SIGKILL) at %.0f s, started again at %.0f s (persistence on, the "
                  "subscriber's session kept). Backlog: readings acknowledged before the restart that reached the "
                  "subscriber after the kill; drained: from the restart to the last of them:\n"
                  % (x["at_mono_s"], x["restart_mono_s"]))
        L.print_table(["acknowledged before restart", "backlog", "lost", "drained after", "redelivered (run)"],
                      [[x["acked_before_restart"], x["backlog"], x["backlog_lost"], "%.1f s (%s s after the last "
                        "node reconnected)" % (x["drain_s"], L.fmt(x["drain_after_reconnect_s"], 1)),
                        r["readings"]["redelivered"]]], out)
        L.print_table(["node", "RSS MB before", "RSS MB outage + drain", "RSS MB after",
                       "reconnected after the restart"],
                      [[k, L.fmt(v["before"], 1), L.fmt(v["outage_and_drain"], 1), L.fmt(v["after"], 1),
                        "%s s" % L.fmt(x["nodes_reconnected_s"][k], 1)] for k, v in x["rss_mb"].items()], out)
    elif r["fault"] == "store-full":
        out.write("\nstore-full: node 1's store on a %d MiB tmpfs, %.1f MiB free; filled (%.1f MiB) at %.0f s, freed "
                  "at %.0f s.\n" % (x["tmpfs_mb"], x["free_before_mb"], x["filler_mb"], x["at_mono_s"],
                                    x["freed_mono_s"]))
        out.write("  node 1 said the store fails %s s after the fill: %s\n" % (L.fmt(x["failing_after_s"], 1),
                                                                           x["failing_line"]))
        out.write("  and that it is written again %s s after the free: %s\n"
                  % (L.fmt(x["written_again_after_free_s"], 1), x["written_again_line"]))
        out.write("  first upload acknowledged to node 1's terminals %s s after the free\n"
                  % L.fmt(x["first_ack_after_free_s"], 1))
        out.write("  just before the free: %d readings acknowledged so far, %d of them in no store (must be 0)\n"
                  % (x["snapshot_acked"], len(x["snapshot_acked_not_stored"])))
        out.write("  uploads acknowledged to node 1's terminals after its error line: %d, the last %s s after it "
                  "(the line is stamped as it is read, every 0.1 s)\n"
                  % (x["acked_while_failing"], L.fmt(max(x["acked_while_failing_at_s"], default=None), 2)))
        out.write("Node 1's terminals during the %.1f s its store failed: frames sent and answers read:\n"
                  % x["failing_s"])
        L.print_table(["kind", "sent", "answers"], [[k, v["sent"], v["answers"]] for k, v in x["while_full"].items()],
                      out)
    out.write("\nResult: %d acknowledged, %d lost%s -> %s\n"
              % (r["readings"]["acked"], r["lost"], "; " + "; ".join(r["problems"]) if r["problems"] else "",
                 "ok" if r["ok"] else "FAILED"))
    out.write("Machine: %s\n" % L.machine())


if __name__ == "__main__":
    sys.exit(main())
