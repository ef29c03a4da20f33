#!/usr/bin/python3
"""Data-centre service load run, one command:

    bench/load/run_service.py [--terminals 30000] [--ramp 60] [--quick] [--udp] [--json out.json]

TCP (the default): starts mosquitto on a free 127.0.0.1 port, a subscriber
(mosquitto_sub on ht6630/+/reading, QoS 1, each message stamped with the host's
clock as it arrives) and ht6630-datacentre from a generated configuration (TCP
on a free 127.0.0.1 port, the store in a temporary folder, MQTT to that broker).
Then `ht6630-terminal --count N --once --records 48 --heartbeat H --duration D
--ramp R --source ADDR,... --acked FILE`: N terminals start evenly over R
seconds, register, upload 48 records once, send the end notice and beat every H
seconds until D. The connections leave from several loopback addresses
(--source), since one address has only the ports of ip_local_port_range. The
service's RSS and CPU seconds are sampled meanwhile. Then the same fleet against
the bare reference server (reference_server.py), as run_tcp.py does.

Figures: frames answered and missing and the answer latency (the simulator's
summary); CPU seconds and peak RSS of the server process; for the service also
the readings acknowledged (the --acked lines), seen by the subscriber and
missing there, and the delay from each acknowledgement to the subscriber's
receipt of that reading.

--no-mqtt: the service without a broker or subscriber (no [mqtt] section), so
its answering and storing alone are set against the reference; the readings
are checked in the store instead.

--udp: the service's UDP data centre ([udp] listen, publishing to the broker)
driven by udp_driver.py at a fixed rate (default 2,000 datagrams/s), then the
reference server the same way; answered, missing and latency.

The floor server (floor_server: the reference's answers from one C++ epoll
loop, the least a data centre must spend) runs the same fleet last; its CPU is
the "CPU / floor" column and it must answer every frame (--no-floor: no floor run).

Exit code 0 only when every target printed under the table holds. Loopback
only; expects the programs in $HT6630_BIN or build/bin (the published figures
use a Release build).
"""
import argparse
import json
import math
import os
import random
import re
import resource
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

import loadlib as L
import udp_driver

TARGET_P99_RATIO = 1.05
TARGET_CPU_RATIO = 0.5
TARGET_CPU_RATIO_NO_MQTT = 0.35   # answering and storing alone
TARGET_RSS_MB = 250.0
TARGET_DELAY_S = 2.0
SUB_ID = "ht6630-bench-sub"


# ---- descriptors and ports ------------------------------------------------------

def read_int(path, default=0):
    try:
        with open(path) as f:
            return int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        return default


def port_range():
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            lo, hi = (int(x) for x in f.read().split())
            return lo, hi
    except (OSError, ValueError):
        return 32768, 60999


def raise_limits(need):
    """Soft and hard descriptor limit of this process (and so of its children) to
    at least `need` where allowed; returns the soft limit in force."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    want_hard = max(hard, need)
    try:
        resource.setrlimit(resource.RLIMIT_NOFILE, (want_hard, want_hard))
    except (ValueError, OSError):   # raising the hard limit needs CAP_SYS_RESOURCE
        if soft < hard:
            resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    return resource.getrlimit(resource.RLIMIT_NOFILE)[0]


def preflight(n):
    """Descriptors for n connections on each side: the simulator and the server each
    hold n sockets. Returns a list of problems (empty: fine)."""
    need = n + 2048
    problems = []
    nr_open = read_int("/proc/sys/fs/nr_open", 1 << 20)
    if need > nr_open:
        problems.append("fs.nr_open is %d, a process needs %d descriptors (sysctl -w fs.nr_open=%d)"
                        % (nr_open, need, need))
    got = raise_limits(min(need, nr_open))
    if got < need:
        problems.append("descriptor limit %d, need %d per process (ulimit -Hn %d, or run with CAP_SYS_RESOURCE)"
                        % (got, need, need))
    file_max = read_int("/proc/sys/fs/file-max", 1 << 20)
    in_use = read_int("/proc/sys/fs/file-nr", 0)
    if file_max - in_use < 2 * n + 4096:
        problems.append("fs.file-max %d with %d in use: %d connections need %d more (sysctl -w fs.file-max=...)"
                        % (file_max, in_use, n, 2 * n + 4096))
    return problems


def sources_for(n, second_octet):
    """Loopback source addresses for n connections: half of ip_local_port_range
    each (binding to port 0 takes ports of one parity first)."""
    lo, hi = port_range()
    per = max(1000, (hi - lo + 1) // 2)
    k = max(1, math.ceil(n / per))
    return ["127.%d.0.%d" % (second_octet, i + 1) for i in range(k)]


# ---- the broker, the subscriber, the service ----------------------------------------

class Broker:
    """mosquitto on a free loopback port; its log (subscriptions too) in a file."""

    def __init__(self, work):
        self.port = L.free_port()
        conf = os.path.join(work, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n"
                    # A measuring subscriber: no QoS 1 message dropped for a full queue.
                    "max_queued_messages 0\nmax_inflight_messages 0\n"
                    "log_dest stderr\nlog_type error\nlog_type warning\nlog_type notice\nlog_type subscribe\n"
                    % self.port)
        self.log_path = os.path.join(work, "mosquitto.log")
        self.log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(["mosquitto", "-c", conf], stdout=self.log, stderr=self.log)
        self.pid = self.proc.pid
        self.wait_log(b"listen socket on port %d" % self.port, what="broker listening", soft=True)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-t", "probe", "-n"],
                              capture_output=True, timeout=5).returncode == 0:
                return
            time.sleep(0.05)
        raise SystemExit("mosquitto did not start: %s" % self.text()[-500:])

    def text(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_log(self, needle, what, timeout=10.0, soft=False):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if needle.decode() in self.text():
                return True
            if self.proc.poll() is not None:
                raise SystemExit("mosquitto exited: %s" % self.text()[-500:])
            time.sleep(0.05)
        if soft:
            return False
        raise SystemExit("no %s within %.0f s: %s" % (what, timeout, self.text()[-500:]))

    def stop(self):
        stop_proc(self.proc)
        self.log.close()


class Subscriber:
    """mosquitto_sub on the readings; each line "EPOCH.NANOSECONDS PAYLOAD", the
    stamp taken as the message arrives (so the file's buffering does not matter).
    `topic` "readings": one message per upload holding its records; "reading": one
    message per record. `persistent`: a persistent session (clean session off), so
    that a broker with persistence keeps what arrives for it while it is away."""

    def __init__(self, broker, work, prefix="ht6630", topic="readings", persistent=False):
        self.path = os.path.join(work, "readings.sub")
        self.out = open(self.path, "wb")
        self.proc = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-i", SUB_ID,
                                      "-t", prefix + "/+/" + topic, "-q", "1", "-F", "%U %p",
                                      *(["-c"] if persistent else [])],
                                     stdout=self.out, stderr=subprocess.DEVNULL)
        broker.wait_log(("%s 1 %s/+/%s" % (SUB_ID, prefix, topic)).encode(), what="subscription")

    def stop(self):
        # SIGINT: mosquitto_sub ends cleanly and writes out what it holds.
        stop_proc(self.proc, signal.SIGINT)
        self.out.close()

    def readings(self, acked=None):
        """(barcode, time) -> arrival epoch, the first arrival of each; the message count;
        and how many readings arrived before a reading their terminal had had
        acknowledged before them (`acked`: (barcode, time) keys in acknowledgement order)."""
        rank = {}
        if acked:
            per_terminal = {}
            for key in acked:
                rank[key] = per_terminal[key[0]] = per_terminal.get(key[0], -1) + 1
        seen, lines, out_of_order, latest = {}, 0, 0, {}
        with open(self.path, "rb") as f:
            for raw in f:
                stamp, _, payload = raw.partition(b" ")
                try:
                    m = json.loads(payload)
                    records = m["readings"] if "readings" in m else [m]
                    keys = [(m["barcode"], r["time"]) for r in records]
                    t = float(stamp)
                except (ValueError, KeyError, TypeError):
                    continue
                lines += 1
                for key in keys:
                    if key in seen:
                        continue
                    seen[key] = t
                    if key in rank:
                        if rank[key] < latest.get(key[0], -1):
                            out_of_order += 1
                        latest[key[0]] = max(rank[key], latest.get(key[0], -1))
        return seen, lines, out_of_order


def stop_proc(proc, sig=signal.SIGTERM, timeout=30):
    if proc.poll() is None:
        proc.send_signal(sig)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    return proc.returncode


class Service:
    """ht6630-datacentre from a generated configuration in `work`."""

    def __init__(self, work, broker, tcp=True, readings="upload"):
        """broker None: no [mqtt] section, the readings are only stored. `readings`:
        the [mqtt] readings setting."""
        self.work = work
        self.port = L.free_port() if tcp else L.free_udp_port()
        self.db = os.path.join(work, "readings.db")
        conf = os.path.join(work, "datacentre.ini")
        with open(conf, "w") as f:
            f.write("[%s]\nlisten = 127.0.0.1:%d\n" % ("tcp" if tcp else "udp", self.port))
            f.write("[store]\npath = %s\n[node]\nname = bench\n" % self.db)
            if broker:
                f.write("[mqtt]\nurl = mqtt://127.0.0.1:%d\nprefix = ht6630\nreadings = %s\n" % (broker.port, readings))
        self.log_path = os.path.join(work, "datacentre.log")
        self.log = open(self.log_path, "wb")
        self.proc = subprocess.Popen([L.binary("ht6630-datacentre"), "--config", conf],
                                     stdout=subprocess.DEVNULL, stderr=self.log)
        self.pid = self.proc.pid
        deadline = time.monotonic() + 20
        while b"<6>ready\n" not in self.text():
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise SystemExit("ht6630-datacentre did not start: %s" % self.text()[-1000:].decode("utf-8", "replace"))
            time.sleep(0.05)

    def text(self):
        with open(self.log_path, "rb") as f:
            return f.read()

    def stop(self):
        code = stop_proc(self.proc)
        self.log.close()
        text = self.text()
        errors = [ln.decode("utf-8", "replace") for ln in text.splitlines() if ln.startswith(b"<3>")]
        return code, errors

    def own_view(self):
        """The service's own account at its stop: replies sent, how late they left
        (p50/p99/max ms) and how late the event loop ran a due timer (p99/max ms)."""
        m = re.search(rb"replies: (\d+) sent, late by ([\d.]+) ms at p50, ([\d.]+) ms at p99, ([\d.]+) ms at most; "
                      rb"event loop late by ([\d.]+) ms at p99, ([\d.]+) ms at most", self.text())
        if not m:
            return None
        names = ("replies", "late_p50", "late_p99", "late_max", "loop_p99", "loop_max")
        return {k: float(v) for k, v in zip(names, m.groups())}

    def stored(self):
        try:
            con = sqlite3.connect("file:%s?mode=ro" % self.db, uri=True)
            try:
                return con.execute("SELECT COUNT(*) FROM readings").fetchone()[0]
            finally:
                con.close()
        except sqlite3.Error:
            return None


def peak_rss_mb(pid):
    """The kernel's high-water mark of the process's RSS (VmHWM), MB."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return 0.0


# ---- TCP ------------------------------------------------------------------------------

def tcp_run(target, a, sources):
    """target: 'service', 'reference' or 'floor'. Returns a dict of figures."""
    work = tempfile.mkdtemp(prefix="ht6630-load-")
    broker = sub = svc = ref = None
    try:
        if target == "service":
            if not a.no_mqtt:
                broker = Broker(work)
                sub = Subscriber(broker, work, topic="reading" if a.readings == "each" else "readings")
            svc = Service(work, broker, readings=a.readings)
            port, pid = svc.port, svc.pid
        else:
            ref = L.server_for(target, tcp=True)
            port, pid = ref.port, ref.pid
        acked_path = os.path.join(work, "acked.txt")
        sampler = L.Sampler(pid)
        sampler.start()
        perf = L.Perf(pid, a.perf) if (a.perf and svc) else None
        t0 = time.monotonic()
        uploads = ["--upload-every", str(a.upload_every)] if a.upload_every else ["--once"]
        sim = L.SimRun(["--tcp", "127.0.0.1:%d" % port, "--count", str(a.terminals), *uploads,
                        "--records", str(a.records), "--heartbeat", str(a.heartbeat), "--duration", str(a.duration),
                        "--ramp", str(a.ramp), "--source", ",".join(sources), "--acked", acked_path])
        code = sim.wait(a.duration + 120)
        wall = time.monotonic() - t0
        sampler.stop()
        if perf:
            perf.stop()
        res = {"target": target, "n": a.terminals, "ramp_s": a.ramp, "sources": sources, "sim_exit": code,
               "wall_s": wall, "cpu_s": sampler.cpu_used(),
               "rss_peak_mb": max(sampler.peak_rss_mb(), peak_rss_mb(pid)),
               "sim_stderr": sim.stderr_lines[:5]}
        res.update(L.sim_figures(sim, a.duration))
        acked = {}
        if os.path.exists(acked_path):
            with open(acked_path) as f:
                for line in f:
                    parts = line.rstrip("\n").split(",")
                    if len(parts) >= 3:
                        acked.setdefault((parts[0], parts[1]), float(parts[2]))
        res["readings_acked"] = len(acked)
        if svc:
            res["service_alive"] = svc.proc.poll() is None
            res["mqtt"] = sub is not None
            if not sub:
                res["service_exit"], res["service_errors"] = svc.stop()
                res["readings_stored"] = svc.stored()
                res["own_view"] = svc.own_view()
                return res
            time.sleep(a.settle)   # the last readings on their way to the subscriber
            sub.stop()
            res["service_exit"], res["service_errors"] = svc.stop()
            res["readings_stored"] = svc.stored()
            res["own_view"] = svc.own_view()
            seen, lines, res["readings_out_of_order"] = sub.readings(acked)
            res["subscriber_messages"] = lines
            res["readings_seen"] = sum(1 for k in acked if k in seen)
            res["readings_missing"] = len(acked) - res["readings_seen"]
            delays = [seen[k] - t for k, t in acked.items() if k in seen]   # s; < 0: published before the ack came
            res["delay_ms"] = {"p50": L.pct(delays, .5) * 1000.0, "p99": L.pct(delays, .99) * 1000.0,
                               "max": max(delays) * 1000.0 if delays else float("nan"),
                               "min": min(delays) * 1000.0 if delays else float("nan")}
            res["delay_over_2s"] = sum(1 for d in delays if d > TARGET_DELAY_S)
            broker.stop()
            broker = None
        else:
            res[target + "_counts"] = ref.stop()
        return res
    finally:
        for p in (sub, svc, broker):
            if p and p.proc.poll() is None:
                p.proc.kill()
        subprocess.run(["rm", "-rf", work])


def tcp_report(runs, out=sys.stdout):
    rows = []
    for r in runs:
        for kind, lat in sorted(r["latency"].items()):
            rows.append([r["target"], r["n"], kind, r["sent"].get(kind, 0),
                         r["received"].get(L.ANSWERED.get(kind, ""), 0),
                         L.fmt(lat["p50"]), L.fmt(lat["p99"]), L.fmt(lat["max"])])
    out.write("\nReply latency, end of frame to first byte of the answer (ms):\n")
    L.print_table(["target", "N", "kind", "sent", "answered", "p50", "p99", "max"], rows, out)
    ref = next((r for r in runs if r["target"] == "reference"), None)
    floor = next((r for r in runs if r["target"] == "floor"), None)
    rows = []
    for r in runs:
        r["p99_ms"] = max((v["p99"] for v in r["latency"].values()), default=float("nan"))
        r["max_ms"] = max((v["max"] for v in r["latency"].values()), default=float("nan"))
    for r in runs:
        lr = cr = None
        if ref and r is not ref and ref["latency"]:
            lr = r["p99_ms"] / ref["p99_ms"] if ref["p99_ms"] else None
            cr = r["cpu_s"] / ref["cpu_s"] if ref["cpu_s"] else None
        r["p99_ratio"], r["cpu_ratio"] = lr, cr
        r["cpu_floor_ratio"] = L.cpu_over(r, floor)
        rows.append([r["target"], r["n"], r["expected"], r["answered"], L.fmt(r["missing_adj"]),
                     r["in_flight_at_end"], L.fmt(r["p99_ms"]), L.fmt(r["max_ms"]), L.fmt(r["rss_peak_mb"], 1),
                     L.fmt(r["cpu_s"], 1), L.fmt(lr, 3), L.fmt(cr, 2), L.fmt(r["cpu_floor_ratio"], 2)])
    out.write("\nTotals (missing = unanswered, not counting frames sent in the last 1.6 s):\n")
    L.print_table(["target", "N", "expected", "answered", "missing", "in flight", "p99 ms", "max ms",
                   "peak RSS MB", "CPU s", "p99 ratio", "CPU ratio", "CPU / floor"], rows, out)
    for r in runs:
        v = r.get("own_view")
        if v:
            out.write("\nThe service's own view: %d replies, left late by %.1f ms at p50, %.1f ms at p99, %.1f ms "
                      "at most; its event loop ran a due timer late by %.1f ms at p99, %.1f ms at most.\n"
                      % (v["replies"], v["late_p50"], v["late_p99"], v["late_max"], v["loop_p99"], v["loop_max"]))
    rows = []
    for r in runs:
        if r["target"] != "service" or not r["mqtt"]:
            continue
        d = r["delay_ms"]
        rows.append([r["target"], r["readings_acked"], L.fmt(r["readings_stored"]), r["readings_seen"],
                     r["readings_missing"], r["subscriber_messages"], L.fmt(d["min"]), L.fmt(d["p50"]),
                     L.fmt(d["p99"]), L.fmt(d["max"]), r["delay_over_2s"]])
    if rows:
        out.write("\nReadings: acknowledged (--acked lines), stored, seen by the subscriber; delay from the "
                  "acknowledgement reaching the terminal to the subscriber's receipt (ms; below 0: published "
                  "before the acknowledgement, which waits the reply delay):\n")
        L.print_table(["target", "acked", "stored", "seen", "missing", "messages", "delay min", "delay p50",
                       "delay p99", "delay max", "over 2 s"], rows, out)


def tcp_checks(runs):
    svc = next(r for r in runs if r["target"] == "service")
    checks = [
        ("service ran to the end, exited 0, logged no error",
         svc.get("service_alive") and svc.get("service_exit") == 0 and not svc.get("service_errors"),
         "exit %s, %d errors %s" % (svc.get("service_exit"), len(svc.get("service_errors") or []),
                                    (svc.get("service_errors") or [])[:3])),
        ("every frame answered", svc["answered"] > 0 and svc["missing_adj"] == 0,
         "%s answered, %s missing" % (svc["answered"], svc["missing_adj"])),
    ]
    if svc["mqtt"]:
        checks.append(
            ("every reading seen by the subscriber within %.0f s" % TARGET_DELAY_S,
             svc["readings_acked"] > 0 and svc["readings_missing"] == 0 and svc["delay_over_2s"] == 0,
             "%d acknowledged, %d missing, %d later than %.0f s" % (svc["readings_acked"], svc["readings_missing"],
                                                                  svc["delay_over_2s"], TARGET_DELAY_S)))
        checks.append(("readings in order per terminal", svc["readings_out_of_order"] == 0,
                       "%d out of order" % svc["readings_out_of_order"]))
    else:
        checks.append(("every acknowledged reading stored",
                       svc["readings_acked"] > 0 and svc["readings_stored"] == svc["readings_acked"],
                       "%d acknowledged, %s stored" % (svc["readings_acked"], svc["readings_stored"])))
    checks += [
        ("peak RSS <= %.0f MB" % TARGET_RSS_MB, svc["rss_peak_mb"] <= TARGET_RSS_MB, "%.1f MB" % svc["rss_peak_mb"]),
    ]
    if "p99_ratio" in svc:
        lr, cr = svc["p99_ratio"], svc["cpu_ratio"]
        cpu_target = TARGET_CPU_RATIO if svc["mqtt"] else TARGET_CPU_RATIO_NO_MQTT
        checks += [("p99 service / reference <= %.2f" % TARGET_P99_RATIO, lr is not None and lr <= TARGET_P99_RATIO,
                    L.fmt(lr, 3)),
                   ("CPU service / reference <= %.2f" % cpu_target, cr is not None and cr <= cpu_target,
                    L.fmt(cr, 2))]
    return checks


# ---- UDP ------------------------------------------------------------------------------

def udp_run(target, a):
    work = tempfile.mkdtemp(prefix="ht6630-load-")
    broker = svc = ref = None
    try:
        if target == "service":
            broker = Broker(work)
            svc = Service(work, broker, tcp=False)
            port, pid = svc.port, svc.pid
        else:
            ref = L.server_for(target, tcp=False)
            port, pid = ref.port, ref.pid
        sampler = L.Sampler(pid)
        sampler.start()
        r = udp_driver.drive(port, a.udp_terminals, a.rate, a.seconds, a.records)
        sampler.stop()
        out = {"target": target, "terminals": a.udp_terminals, "rate": a.rate, "seconds": a.seconds,
               "send_s": r.duration, "sent": dict(r.sent), "answered": dict(r.answered),
               "unexpected": r.unexpected, "errors": r.send_errors,
               "latency": {k: {"p50": L.pct(v, .5), "p99": L.pct(v, .99), "max": max(v)} for k, v in r.latency.items()},
               "rss_peak_mb": max(sampler.peak_rss_mb(), peak_rss_mb(pid)), "cpu_s": sampler.cpu_used()}
        if svc:
            out["service_alive"] = svc.proc.poll() is None
            out["service_exit"], out["service_errors"] = svc.stop()
            broker.stop()
            broker = None
        else:
            out[target + "_counts"] = ref.stop()
        return out
    finally:
        for p in (svc, broker):
            if p and p.proc.poll() is None:
                p.proc.kill()
        subprocess.run(["rm", "-rf", work])


def udp_report(runs, a, out=sys.stdout):
    rows = []
    for r in runs:
        for kind in udp_driver.KINDS:
            lat = r["latency"].get(kind, {})
            rows.append([r["target"], kind, r["sent"].get(kind, 0), r["answered"].get(kind, 0),
                         L.fmt(lat.get("p50")), L.fmt(lat.get("p99")), L.fmt(lat.get("max"))])
    out.write("\nReply latency, datagram sent to answer received (ms), %d terminals, %.0f datagrams/s, %.0f s, "
              "%d records per upload:\n" % (a.udp_terminals, a.rate, a.seconds, a.records))
    L.print_table(["target", "kind", "sent", "answered", "p50", "p99", "max"], rows, out)
    ref = next((r for r in runs if r["target"] == "reference"), None)
    floor = next((r for r in runs if r["target"] == "floor"), None)
    rows = []
    for r in runs:
        r["sent_total"] = sum(r["sent"].values())
        r["answered_total"] = sum(r["answered"].values())
        r["p99_ms"] = max((v["p99"] for v in r["latency"].values()), default=float("nan"))
    for r in runs:
        lr = cr = None
        if ref and r is not ref and ref["latency"]:
            lr = r["p99_ms"] / ref["p99_ms"] if ref["p99_ms"] else None
            cr = r["cpu_s"] / ref["cpu_s"] if ref["cpu_s"] else None
        r["p99_ratio"], r["cpu_ratio"] = lr, cr
        r["cpu_floor_ratio"] = L.cpu_over(r, floor)
        mx = max((v["max"] for v in r["latency"].values()), default=float("nan"))
        rows.append([r["target"], r["sent_total"], r["answered_total"], r["sent_total"] - r["answered_total"],
                     L.fmt(r["sent_total"] / r["send_s"]), L.fmt(r["p99_ms"]), L.fmt(mx), L.fmt(r["rss_peak_mb"], 1),
                     L.fmt(r["cpu_s"], 1), L.fmt(lr, 3), L.fmt(cr, 2), L.fmt(r["cpu_floor_ratio"], 2)])
    L.print_table(["target", "sent", "answered", "missing", "sent/s", "p99 ms", "max ms", "peak RSS MB", "CPU s",
                   "p99 ratio", "CPU ratio", "CPU / floor"], rows, out)


def udp_checks(runs):
    svc = next(r for r in runs if r["target"] == "service")
    return [
        ("service ran to the end, exited 0, logged no error",
         svc.get("service_alive") and svc.get("service_exit") == 0 and not svc.get("service_errors"),
         "exit %s, %d errors" % (svc.get("service_exit"), len(svc.get("service_errors") or []))),
        ("every datagram answered", svc["sent_total"] == svc["answered_total"] > 0,
         "%d of %d" % (svc["answered_total"], svc["sent_total"])),
        ("peak RSS <= %.0f MB" % TARGET_RSS_MB, svc["rss_peak_mb"] <= TARGET_RSS_MB, "%.1f MB" % svc["rss_peak_mb"]),
    ]


def floor_checks(runs):
    """The floor adds figures; the one thing it must do is answer every frame."""
    checks = []
    for f in (r for r in runs if r["target"] == "floor"):
        if "missing_adj" in f:   # TCP: the simulator's count
            missing, answered = f["missing_adj"], f["answered"]
        else:
            missing, answered = f["sent_total"] - f["answered_total"], f["answered_total"]
        checks.append(("floor server answered every frame", answered > 0 and missing == 0, "%s missing" % missing))
    return checks


# ---- main ----------------------------------------------------------------------------

def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--terminals", type=int, default=30000)
    p.add_argument("--ramp", type=float, default=60.0,
                   help="start the terminals evenly over this many seconds (default 60: 500 a second for 30,000)")
    p.add_argument("--heartbeat", type=float, default=30.0)
    p.add_argument("--duration", type=float, default=195.0,
                   help="simulator run length; ends between two heart-beat rounds (default 195)")
    p.add_argument("--records", type=int, default=48)
    p.add_argument("--settle", type=float, default=3.0,
                   help="seconds the subscriber keeps listening after the fleet ends (default 3)")
    p.add_argument("--quick", action="store_true",
                   help="2,000 terminals over 10 s, heart beats every 6 s, 25.5 s; --udp: 1,000 terminals, 10 s")
    p.add_argument("--udp", action="store_true", help="the UDP data centre instead of TCP")
    p.add_argument("--udp-terminals", type=int, default=1000)
    p.add_argument("--rate", type=float, default=2000.0, help="--udp: datagrams a second (default 2000)")
    p.add_argument("--seconds", type=float, default=60.0, help="--udp: sending time (default 60)")
    p.add_argument("--service-only", action="store_true", help="no reference run (and no ratios)")
    p.add_argument("--no-floor", action="store_true", help="no floor-server run (and no CPU / floor)")
    p.add_argument("--no-mqtt", action="store_true",
                   help="TCP: the service without a broker ([mqtt] left out): answering and storing only")
    p.add_argument("--upload-every", type=float, default=0,
                   help="an upload every this many seconds instead of one (--once); with --records 4 and "
                        "--heartbeat 30 a production-like mix")
    p.add_argument("--perf", help="perf record the service into this file")
    p.add_argument("--readings", choices=("upload", "each", "both"), default="upload",
                   help="[mqtt] readings: one message per upload (the default), per reading, or both")
    p.add_argument("--json", help="also write the figures to this file")
    a = p.parse_args()
    if a.quick:
        a.terminals, a.ramp, a.heartbeat, a.duration = 2000, 10.0, 6.0, 25.5
        a.seconds = 10.0
    targets = ["service"] if a.service_only else ["service", "reference"] + ([] if a.no_floor else ["floor"])
    problems = preflight(a.udp_terminals if a.udp else a.terminals)
    if problems:
        for line in problems:
            sys.stderr.write("run_service: %s\n" % line)
        return 2
    runs = []
    if a.udp:
        for t in targets:
            sys.stderr.write("[run_service] udp %s, %d terminals, %.0f/s, %.0f s, load %s\n"
                             % (t, a.udp_terminals, a.rate, a.seconds, L.loadavg()))
            runs.append(udp_run(t, a))
        udp_report(runs, a)
        checks = udp_checks(runs)
    else:
        # Each target its own source addresses: the connections of the run before
        # leave their ports in TIME_WAIT for a minute.
        octets = random.sample(range(16, 240), len(targets))
        for t, octet in zip(targets, octets):
            sources = sources_for(a.terminals, octet)
            sys.stderr.write("[run_service] tcp %s, %d terminals, ramp %.0f s, %.0f s, from %s, load %s\n"
                             % (t, a.terminals, a.ramp, a.duration, ",".join(sources), L.loadavg()))
            runs.append(tcp_run(t, a, sources))
        tcp_report(runs)
        checks = tcp_checks(runs)
    checks += floor_checks(runs)
    print("\nTargets:")
    ok = True
    for name, good, detail in checks:
        print("  %-52s %-4s %s" % (name, "yes" if good else "NO", detail))
        ok = ok and bool(good)
    print("Machine: %s; descriptor limit %d" % (L.machine(), resource.getrlimit(resource.RLIMIT_NOFILE)[0]))
    if a.json:
        with open(a.json, "w") as f:
            json.dump({"runs": runs, "checks": [{"name": n, "ok": bool(g), "detail": d} for n, g, d in checks]},
                      f, indent=1, ensure_ascii=False, default=str)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
