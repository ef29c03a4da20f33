"""Smoke runs of the load benchmarks (bench/load): 100 TCP terminals for 16.5 s
and 100 UDP terminals at 200 datagrams/s for 10 s, each also against the
reference server (the floor server has a test of its own). Passes when every frame is answered and the console lives;
the speed targets are the full benchmarks' business, not this test's."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

LOAD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench", "load")


def run(script):
    with tempfile.TemporaryDirectory() as d:
        out_json = os.path.join(d, "r.json")
        p = subprocess.run([sys.executable, os.path.join(LOAD, script), "--quick", "--no-floor", "--json", out_json], cwd=LOAD,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
        runs = None
        if os.path.exists(out_json):
            with open(out_json) as f:
                runs = json.load(f)
        return p.returncode, p.stdout.decode("utf-8", "replace"), runs


class LoadSmoke(unittest.TestCase):
    def test_tcp_quick_run(self):
        code, out, runs = run("run_tcp.py")
        self.assertEqual(code, 0, out[-3000:])
        console, ref = runs
        self.assertEqual((console["target"], ref["target"]), ("console", "reference"))
        for r in runs:
            # 100 registrations, uploads and end notices, and two heart-beat rounds.
            self.assertEqual(r["expected"], 500, r)
            self.assertEqual(r["answered"], 500, r)
            for kind in ("registration", "upload", "upload-end", "heartbeat"):
                self.assertGreaterEqual(r["latency"][kind]["min"], 990, (r["target"], kind))
        self.assertTrue(console["console_alive"])
        # Online or, once the simulator has gone, offline: each terminal once.
        self.assertEqual(console["list1_entries"] + console["list2_entries"], 100)
        self.assertGreater(console["ping_count"], 100)
        self.assertIn("p99 ratio", out)

    def test_udp_quick_run(self):
        code, out, runs = run("run_udp.py")
        self.assertEqual(code, 0, out[-3000:])
        for r in runs:
            self.assertEqual(sum(r["sent"].values()), 2000, r)
            self.assertEqual(sum(r["answered"].values()), 2000, r)
            self.assertEqual(r["unexpected"], 0, r)
            for kind, lat in r["latency"].items():
                self.assertGreaterEqual(lat["min"], 990, (r["target"], kind))
        self.assertTrue(runs[0]["console_alive"])


if __name__ == "__main__":
    unittest.main()
