"""The console killed (SIGKILL) while terminals upload: the readings database
opens afterwards intact and lacks at most the batch not yet committed. An upload
is acknowledged one second after it arrived, so every acknowledged upload must be
in the file whole; a batch cut can leave at most one upload partly stored."""
import json
import os
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest

from harness import bin_dir
from test_reliability_network import DataCentre, raise_file_limit

FIRST = 2012345600000
TERMINALS = 400
RECORDS = 48


def acknowledged_terminals(lines):
    """Bar codes whose upload the data centre answered (an rx frame after their tx upload)."""
    uploaded, acked = set(), set()
    for line in lines:
        if not line.startswith('{"t"'):
            continue
        f = json.loads(line)
        if f["dir"] == "tx" and f["kind"] == "upload":
            uploaded.add(f["term"])
        elif f["dir"] == "rx" and f["term"] in uploaded:
            acked.add(f["term"])
    return acked


class KilledMidUpload(unittest.TestCase):
    def test_database_intact_and_every_acknowledged_upload_whole(self):
        with tempfile.TemporaryDirectory() as tmp:
            db = os.path.join(tmp, "readings.db")
            with DataCentre(env={"HT6630_READINGS_DB": db}) as c:
                c.start_service(tcp=True)
                out = open(os.path.join(tmp, "sim.jsonl"), "wb")
                sim = subprocess.Popen(
                    [os.path.join(bin_dir(), "ht6630-terminal"), "--tcp", "127.0.0.1:%d" % c.port,
                     "--count", str(TERMINALS), "--once", "--records", str(RECORDS), "--ramp", "3",
                     "--duration", "8", "--set", "barcode=%d" % FIRST, "--set", "clock=240517083000",
                     "--set", "clock-runs=0"],
                    stdout=out, stderr=subprocess.DEVNULL, preexec_fn=raise_file_limit)
                try:
                    time.sleep(3.0)   # half the fleet uploaded, the rest registering or uploading
                    c.proc.send_signal(signal.SIGKILL)
                    c.proc.wait(5)
                finally:
                    sim.kill()
                    sim.wait(10)
                    out.close()
            with open(os.path.join(tmp, "sim.jsonl"), encoding="utf-8", errors="replace") as f:
                acked = acknowledged_terminals(f.read().splitlines())

            con = sqlite3.connect(db)
            try:
                self.assertEqual(con.execute("PRAGMA integrity_check").fetchone()[0], "ok")
                counts = dict(con.execute("SELECT barcode, count(*) FROM readings GROUP BY barcode"))
            finally:
                con.close()
            self.assertGreater(len(acked), 0, "some uploads were answered before the kill")
            for bar in acked:
                self.assertEqual(counts.get(bar), RECORDS, "acknowledged upload of %s stored whole" % bar)
            partial = [b for b, n in counts.items() if n != RECORDS]
            self.assertLessEqual(len(partial), 1, "at most the upload a batch boundary cut: %r" % partial)
            self.assertLess(len(counts), TERMINALS, "the kill came while uploads were still arriving")


if __name__ == "__main__":
    unittest.main()
