#!/usr/bin/python3
"""On-demand campaign: 100,000 TCP connect/disconnect cycles against the console.

    bench/load/campaign_connect_cycles.py [--cycles 100000] [--parallel 50]

Each cycle connects to the console's TCP data centre on 127.0.0.1 and closes;
every tenth cycle registers a bar code first (so List1/List2 movements and the
network log are exercised), every hundredth resets the connection instead of
closing it. Connections are held `--parallel` at a time, so indices are freed
and taken again in a changing order. Checks at the end:
  - the index rules, as far as they are visible: every closed connection is
    logged once ("断开"), List1 is empty, List2 holds each bar code once;
  - a final burst of `--parallel` connections is served and the console still
    answers a well-formed registration;
  - resident memory ends within 5 % of its baseline, taken once the console is
    warm: the network log box holds its newest 100,000 lines (about 91,000
    cycles; `--warm-up 1000` takes it after 1,000 cycles as before); the log
    file on disk has every line, and the closes are counted there.
Prints one table; exit code 0 when every check holds.
"""
import argparse
import os
import socket
import struct
import sys
import time

import loadlib as L

sys.path.insert(0, os.path.join(L.ROOT, "tests", "e2e"))
import test_reliability_network as rn  # noqa: E402


BOX_LINES = 100000   # what the network log box keeps; older lines are on disk only
STALLS = [0]   # connects that took more than 1 s (the listener was not accepting)


def closes_on_disk(c):
    """The closes in the network log files the console wrote (every line, none dropped)."""
    n = 0
    logs = os.path.join(c._tmp, "Logs")
    for day in os.listdir(logs) if os.path.isdir(logs) else []:
        for name in os.listdir(os.path.join(logs, day)):
            if name.startswith("network"):
                with open(os.path.join(logs, day, name), "rb") as f:
                    n += f.read().count("断开".encode("utf-8"))
    return n


def connect(c):
    t = time.monotonic()
    for _ in range(5):
        try:
            s = socket.create_connection(("127.0.0.1", c.port), timeout=30)
            break
        except (TimeoutError, socket.timeout):
            continue
    else:
        raise SystemExit("five connects in a row timed out")
    if time.monotonic() - t > 1.0:
        STALLS[0] += 1
    return s


def cycles(c, count, parallel, start_index, reg_every=10, reset_every=100, max_rate=400.0):
    held = []
    regs = set()
    t0 = time.monotonic()
    for k in range(count):
        i = start_index + k
        # Client-side TIME_WAIT holds each closed port for 60 s: stay under the
        # ephemeral range's worth per minute.
        ahead = t0 + k / max_rate - time.monotonic()
        if ahead > 0:
            time.sleep(ahead)
        s = connect(c)
        if i % reg_every == 0:
            bar = "2014%09d" % (i // reg_every % 1000)   # a thousand bar codes, reused
            s.sendall(rn.registration(bar))
            regs.add(bar)
        if i % reset_every == 0:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        held.append(s)
        if len(held) >= parallel:
            held.pop(0).close()
    for s in held:
        s.close()
    return regs


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--cycles", type=int, default=100000)
    p.add_argument("--parallel", type=int, default=50)
    p.add_argument("--warm-up", choices=["box", "1000"], default="box",
                   help="baseline once the network log box holds its 100,000 lines (default), "
                        "or after 1,000 cycles as before")
    a = p.parse_args()
    L.raise_file_limit()
    c = rn.DataCentre(start_timeout=20)
    rows = []
    ok = True
    try:
        c.start_service(tcp=True)
        t0 = time.monotonic()
        regs = cycles(c, 1000, a.parallel, 0)
        c.wait_for(lambda: c.text("frmInfo/txtBaoWen").count("断开") >= 1000, timeout=60, what="warm-up closes")
        time.sleep(2)
        first = c.rss_kb()
        done = 1000
        step = 10000

        def run_step(n):
            nonlocal regs, done
            ts = time.monotonic()
            regs |= cycles(c, n, a.parallel, done)
            done += n
            c.ping()
            ping_t = time.monotonic()
            c.ping()
            sys.stderr.write("[campaign] %d cycles, %.0f s (this step %.1f s), ping %.0f ms, RSS %.1f MB, "
                             "slow connects %d\n" % (done, time.monotonic() - t0, time.monotonic() - ts,
                                                     (time.monotonic() - ping_t) * 1000, c.rss_kb() / 1024.0,
                                                     STALLS[0]))

        # Warm: the network log box holds its 100,000 lines and lets older ones go
        # (to disk only) from here on; the baseline is taken once it does.
        warm_cycles = done
        if a.warm_up == "box":
            while c.text("frmInfo/txtBaoWen").count("\n") < BOX_LINES:
                run_step(step)
            warm_cycles = done
            c.wait_for(lambda: closes_on_disk(c) >= warm_cycles, timeout=300, interval=1.0,
                       what="warm-up closes on disk")
            time.sleep(3)
        base = c.rss_kb()
        logged_before = closes_on_disk(c)
        total = warm_cycles + a.cycles if a.warm_up == "box" else a.cycles
        while done < total:
            run_step(min(step, total - done))
        c.wait_for(lambda: closes_on_disk(c) >= total, timeout=300, interval=1.0, what="every close logged")
        time.sleep(3)   # replies still waiting for their 1.0 s end
        logged = closes_on_disk(c)
        box_lines = c.text("frmInfo/txtBaoWen").count("\n")
        list1 = c.get(rn.TCP + "/List1")["items"]
        list2 = c.get(rn.TCP + "/List2")["items"]
        rss_end = c.rss_kb()
        checks = [
            ("closes logged", logged == total, "%d of %d" % (logged, total)),
            ("List1 empty", list1 == [], "%d entries" % len(list1)),
            ("List2 each bar code once", len(list2) == len(set(list2)) and set(list2) == regs | {""},
             "%d entries, %d bar codes" % (len(list2), len(regs))),
        ]
        # Memory: what the cycles keep is the network log box (one line per close,
        # its newest 100,000 at most); the rest is on disk.
        growth_pct = (rss_end - base) * 100.0 / base
        checks.append(("RSS within 5 % of baseline", growth_pct <= 5.0,
                       "%.1f MB -> %.1f MB (%+.1f %%, %d lines logged since, %d lines in the box)"
                       % (base / 1024.0, rss_end / 1024.0, growth_pct, logged - logged_before, box_lines)))
        if a.warm_up == "box":
            rows.append(["baseline after %d warm-up cycles" % warm_cycles, "", "%.1f MB (after 1,000 cycles: %.1f MB)"
                         % (base / 1024.0, first / 1024.0)])
        try:
            rn.assert_still_serving(_Check(), c)
            checks.append(("registration still answered", True, ""))
        except AssertionError as e:
            checks.append(("registration still answered", False, str(e)[:80]))
        for name, good, detail in checks:
            rows.append([name, "yes" if good else "NO", detail])
            ok = ok and good
        rows.append(["connects over 1 s", "", "%d" % STALLS[0]])
        rows.append(["RSS per cycle", "", "%.0f bytes" % ((rss_end - base) * 1024.0 / max(1, total - warm_cycles))])
        rows.append(["duration", "", "%.0f s" % (time.monotonic() - t0)])
    finally:
        c.stop()
    L.print_table(["check (%d cycles, %d at a time)" % (a.cycles, a.parallel), "holds", "figures"], rows)
    print("Machine: %s" % L.machine())
    return 0 if ok else 1


class _Check:
    """Minimal assertion host for assert_still_serving outside unittest."""

    def assertTrue(self, x, msg=None):
        if not x:
            raise AssertionError(msg)

    def assertEqual(self, a, b, msg=None):
        if a != b:
            raise AssertionError(msg or "%r != %r" % (a, b))

    def assertGreaterEqual(self, a, b, msg=None):
        if not a >= b:
            raise AssertionError(msg or "%r < %r" % (a, b))

    def assertLess(self, a, b, msg=None):
        if not a < b:
            raise AssertionError(msg or "%r >= %r" % (a, b))


if __name__ == "__main__":
    sys.exit(main())
