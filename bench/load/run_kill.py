#!/usr/bin/env python3
"""The console killed with SIGKILL in the middle of a 10,000-terminal TCP run:
afterwards the readings database must pass `PRAGMA integrity_check` and hold every
upload the console acknowledged, whole; at most one upload may be cut by the batch
that was being committed.

    HT6630_BIN=$PWD/build/bin python3 bench/load/run_kill.py [--terminals 10000] [--kill-at 12]
"""
import argparse
import json
import os
import signal
import sqlite3
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loadlib as L  # noqa: E402

RECORDS = 48


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--terminals", type=int, default=10000)
    p.add_argument("--ramp", type=float, default=20.0)
    p.add_argument("--kill-at", type=float, default=12.0, help="seconds after the fleet starts")
    a = p.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        db = os.path.join(tmp, "readings.db")
        L.CONSOLE_ENV["HT6630_READINGS_DB"] = db
        console = L.start_console()
        port = L.free_port()
        L.open_tcp(console, port)
        sim = L.SimRun(["--tcp", "127.0.0.1:%d" % port, "--count", str(a.terminals), "--once",
                        "--records", str(RECORDS), "--heartbeat", "60", "--ramp", str(a.ramp),
                        "--duration", str(a.kill_at + 5)])
        time.sleep(a.kill_at)
        console.proc.send_signal(signal.SIGKILL)
        console.proc.wait(10)
        sim.wait(60)
        con = sqlite3.connect(db)
        integrity = con.execute("PRAGMA integrity_check").fetchone()[0]
        counts = [n for (n,) in con.execute("SELECT count(*) FROM readings GROUP BY barcode")]
        con.close()
        received = (sim.summary or {}).get("received", {})
        result = {
            "terminals": a.terminals, "kill_at_s": a.kill_at, "machine": L.machine(),
            "uploads_sent": len(sim.tx_times.get("upload", [])),
            "uploads_acknowledged": received.get("upload-ack", 0),
            "integrity_check": integrity,
            "readings_stored": sum(counts),
            "uploads_stored_whole": sum(1 for n in counts if n == RECORDS),
            "uploads_stored_partly": sum(1 for n in counts if n != RECORDS),
        }
        result["ok"] = (integrity == "ok" and result["uploads_stored_partly"] <= 1 and
                        result["uploads_stored_whole"] >= result["uploads_acknowledged"])
        print(json.dumps(result, indent=1))
        return 0 if result["ok"] else 1


if __name__ == "__main__":
    sys.exit(main())
