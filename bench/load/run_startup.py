#!/usr/bin/python3
"""Start-up time and idle memory of the console, one command:

    bench/load/run_startup.py [--runs 10]

Each run launches the console headless with automation and measures the time
from launch until automation `windows` shows frmMainDtu visible (polled every
2 ms; the automation socket coming up is part of that time), then the idle
resident memory 2 s later. Targets: shown within 500 ms, idle RSS under 80 MB.
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import loadlib as L

TARGET_MS = 500.0
TARGET_RSS_MB = 80.0


def one_run():
    tmp = tempfile.mkdtemp(prefix="ht6630-start-")
    path = os.path.join(tmp, "auto.sock")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HT6630_AUTOMATION=path)
    t0 = time.monotonic()
    proc = subprocess.Popen([L.binary("ht6630-console")], env=env, cwd=tmp,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sock = None
    shown = None
    try:
        deadline = t0 + 20
        while time.monotonic() < deadline and proc.poll() is None:
            if sock is None:
                try:
                    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    s.connect(path)
                    sock = s
                    f = sock.makefile("rwb")
                except OSError:
                    s.close()
                    time.sleep(0.002)
                    continue
            f.write(b'{"op":"windows"}\n')
            f.flush()
            import json
            ans = json.loads(f.readline())
            if any(w["name"] == "frmMainDtu" and w["visible"] for w in ans.get("windows", [])):
                shown = (time.monotonic() - t0) * 1000.0
                break
            time.sleep(0.002)
        time.sleep(2.0)
        rss = L.rss_kb(proc.pid) / 1024.0
        return shown, rss
    finally:
        if sock:
            sock.close()
        proc.send_signal(signal.SIGKILL)
        proc.wait(5)
        shutil.rmtree(tmp, ignore_errors=True)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--runs", type=int, default=10)
    a = p.parse_args()
    times, rsss = [], []
    for _ in range(a.runs):
        t, r = one_run()
        if t is None:
            print("main window never shown")
            return 1
        times.append(t)
        rsss.append(r)
    L.print_table(["runs", "shown p50 ms", "shown max ms", "idle RSS p50 MB", "idle RSS max MB"],
                  [[a.runs, L.fmt(L.pct(times, 0.5), 1), L.fmt(max(times), 1),
                    L.fmt(L.pct(rsss, 0.5), 1), L.fmt(max(rsss), 1)]])
    print("Targets: shown within %.0f ms, idle RSS under %.0f MB" % (TARGET_MS, TARGET_RSS_MB))
    print("Machine: %s" % L.machine())
    return 0 if max(times) <= TARGET_MS and max(rsss) < TARGET_RSS_MB else 1


if __name__ == "__main__":
    sys.exit(main())
