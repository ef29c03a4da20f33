#!/usr/bin/python3
"""UDP data-centre load run, one command:

    bench/load/run_udp.py [--terminals 1000] [--rate 2000] [--seconds 60] [--records 48] [--quick]

Starts the console headless with automation, starts its UDP service on a free
127.0.0.1 port, and drives it with udp_driver.py: T terminals, each on its own
socket, sending registration / upload / upload-end datagrams in turn at a fixed
total rate (the simulator's dialogue waits for each answer and cannot pace 2
datagrams per terminal per second). Every datagram must be answered. Samples
RSS and CPU, pings the automation interface every 50 ms, then repeats the run
against the bare reference server and against the floor server (floor_server,
one C++ epoll loop; --no-floor leaves it out) and prints the table.
"""
import argparse
import json
import sys
import time

import loadlib as L

PERF_OUT = None   # --perf FILE: perf record of the console during its run
import udp_driver

TARGET_P99_MS = 1100.0
TARGET_MAX_MS = 1500.0


def one_run(target, a):
    console = ref = pinger = None
    if target == "console":
        console = L.start_console()
        port = L.free_udp_port()
        L.open_udp(console, port)
        pid = console.proc.pid
        pinger = L.Pinger(console.socket_path)
    else:
        ref = L.server_for(target, tcp=False)
        port, pid = ref.port, ref.pid
    perf = L.Perf(pid, PERF_OUT) if (PERF_OUT and console) else None
    sampler = L.Sampler(pid)
    sampler.start()
    if pinger:
        pinger.start()
    r = udp_driver.drive(port, a.terminals, a.rate, a.seconds, a.records)
    if pinger:
        pinger.stop()
    sampler.stop()
    if perf:
        perf.stop()
    out = {"target": target, "terminals": a.terminals, "rate": a.rate, "seconds": a.seconds,
           "send_s": r.duration, "sent": dict(r.sent), "answered": dict(r.answered),
           "unexpected": r.unexpected, "errors": r.send_errors,
           "latency": {k: {"min": min(v), "p50": L.pct(v, .5), "p99": L.pct(v, .99), "max": max(v)}
                       for k, v in r.latency.items()},
           "rss_peak_mb": sampler.peak_rss_mb(), "cpu_s": sampler.cpu_used()}
    if pinger:
        out.update(ping_p50=L.pct(pinger.rtts, .5), ping_p99=L.pct(pinger.rtts, .99),
                   ping_max=max(pinger.rtts) if pinger.rtts else float("nan"))
    if console:
        out["console_alive"] = console.proc.poll() is None
        if out["console_alive"]:
            # The console may still be working through a backlog: wait for it.
            t = time.monotonic()
            out["datareceive_chars"] = len(console.req("get", timeout=300, path=L.UDP_WIN + "/DataReceive")["text"])
            out["backlog_s"] = time.monotonic() - t
        console.stop()
    if ref:
        out[target + "_counts"] = ref.stop()
    return out


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--terminals", type=int, default=1000)
    p.add_argument("--rate", type=float, default=2000.0)
    p.add_argument("--seconds", type=float, default=60.0)
    p.add_argument("--records", type=int, default=48)
    p.add_argument("--quick", action="store_true", help="100 terminals, 200/s, 10 s")
    p.add_argument("--console-only", action="store_true")
    p.add_argument("--no-floor", action="store_true", help="no floor-server run (and no CPU / floor)")
    p.add_argument("--perf", help="perf record the console into this file")
    p.add_argument("--json")
    a = p.parse_args()
    global PERF_OUT
    PERF_OUT = a.perf
    if a.quick:
        a.terminals, a.rate, a.seconds = 100, 200.0, 10.0
    L.raise_file_limit()
    runs = []
    for t in (["console"] if a.console_only else ["console", "reference"] + ([] if a.no_floor else ["floor"])):
        sys.stderr.write("[run_udp] %s, %d terminals, %.0f/s, %.0f s, load %s\n"
                         % (t, a.terminals, a.rate, a.seconds, L.loadavg()))
        runs.append(one_run(t, a))
    rows = []
    for r in runs:
        for kind in udp_driver.KINDS:
            lat = r["latency"].get(kind, {})
            rows.append([r["target"], kind, r["sent"].get(kind, 0), r["answered"].get(kind, 0),
                         L.fmt(lat.get("p50")), L.fmt(lat.get("p99")), L.fmt(lat.get("max"))])
    print("\nReply latency, datagram sent to answer received (ms), %d terminals, %.0f datagrams/s, %.0f s, "
          "%d records per upload:" % (a.terminals, a.rate, a.seconds, a.records))
    L.print_table(["target", "kind", "sent", "answered", "p50", "p99", "max"], rows)
    rows = []
    ref = next((r for r in runs if r["target"] == "reference"), None)
    floor = next((r for r in runs if r["target"] == "floor"), None)
    for r in runs:
        sent = sum(r["sent"].values())
        ans = sum(r["answered"].values())
        p99 = max((v["p99"] for v in r["latency"].values()), default=float("nan"))
        mx = max((v["max"] for v in r["latency"].values()), default=float("nan"))
        lr = cr = None
        if ref and r is not ref and ref["latency"]:
            lr = p99 / max(v["p99"] for v in ref["latency"].values())
            cr = r["cpu_s"] / ref["cpu_s"] if ref["cpu_s"] else None
        rows.append([r["target"], sent, ans, sent - ans, L.fmt(sent / r["send_s"]), L.fmt(p99), L.fmt(mx),
                     L.fmt(r.get("ping_p50"), 1), L.fmt(r.get("ping_p99"), 1), L.fmt(r.get("ping_max"), 1),
                     L.fmt(r["rss_peak_mb"], 1), L.fmt(r["cpu_s"], 1), L.fmt(lr, 3), L.fmt(cr, 2),
                     L.fmt(L.cpu_over(r, floor), 2)])
    L.print_table(["target", "sent", "answered", "missing", "sent/s", "p99 ms", "max ms", "ping p50",
                   "ping p99", "ping max", "peak RSS MB", "CPU s", "p99 ratio", "CPU ratio", "CPU / floor"], rows)
    print("Targets: every datagram answered, p99 <= %.0f ms, max <= %.0f ms" % (TARGET_P99_MS, TARGET_MAX_MS))
    print("Ratios against the reference run; CPU / floor against the floor server's run (figures, not targets)")
    print("Machine: %s" % L.machine())
    if a.json:
        with open(a.json, "w") as f:
            json.dump(runs, f, indent=1)
    c = runs[0]
    ok = bool(c.get("console_alive")) and sum(c["sent"].values()) == sum(c["answered"].values()) > 0
    if not a.quick:   # the smoke run proves the plumbing and completeness, not the speed
        ok = ok and all(v["p99"] <= TARGET_P99_MS and v["max"] <= TARGET_MAX_MS for v in c["latency"].values())
    if floor:   # the floor must answer every datagram
        missing = sum(floor["sent"].values()) - sum(floor["answered"].values())
        if missing or not floor["answered"]:
            sys.stderr.write("floor server left %d datagrams unanswered\n" % missing)
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
