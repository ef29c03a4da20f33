"""Acknowledged means stored: the store on a tmpfs that fills during a run, and a
SIGKILL right after acknowledgements. Every reading the simulated terminals saw
acknowledged (--acked) must be in the store file. Mounting needs root."""
import json
import os
import re
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest

from service_support import TERMINAL, Service
from test_datacentre_mqtt import Broker


def stored(db):
    con = sqlite3.connect(db)
    try:
        return set(con.execute("SELECT barcode, time FROM readings"))
    finally:
        con.close()


def acked(path, records=0, timeout=15):
    """(barcode, time, host clock when read) of each acknowledged record, once there are `records`."""
    deadline = time.monotonic() + timeout
    while True:
        with open(path, "a+") as f:
            f.seek(0)
            got = [(b, t, float(e)) for b, t, e in (line.split(",") for line in f if line.count(",") == 2)]
        if len(got) >= records:
            return got
        assert time.monotonic() < deadline, "too few uploads acknowledged"
        time.sleep(0.002)


def fleet(port, acked_path, ramp, *args):
    """40 terminals started over `ramp` s, each uploading 4 records once; the summary line only."""
    return subprocess.Popen([TERMINAL, "--tcp", "127.0.0.1:%d" % port, "--count", "40", "--once", "--records", "4",
                             "--ramp", str(ramp), "--acked", acked_path, "--quiet", *args], stdout=subprocess.PIPE)


@unittest.skipUnless(os.geteuid() == 0, "mounting a tmpfs needs root")
class AcknowledgedMeansStored(unittest.TestCase):
    def test_a_full_store_withholds_upload_acknowledgements_only(self):
        broker, disk = Broker(), tempfile.TemporaryDirectory()
        self.addCleanup(broker.close)
        self.addCleanup(disk.cleanup)
        # 16 MiB: once freed, room for the write-ahead log up to its checkpoint (about 4 MiB).
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", disk.name], check=True)
        self.addCleanup(subprocess.run, ["umount", disk.name])
        db, filler = os.path.join(disk.name, "readings.db"), os.path.join(disk.name, "filler")
        state = lambda: json.loads(dict(broker.retained())["t/nodes/n1/store"])  # noqa: E731
        with Service({"store": {"path": db}, "dialogue": {"reply_delay_ms": 300}, "node": {"name": "n1"},
                      "mqtt": {"url": "mqtt://127.0.0.1:%d" % broker.port, "prefix": "t"}}) as svc:
            path = os.path.join(svc.dir.name, "acked.txt")
            sim = fleet(svc.tcp_port, path, 12, "--heartbeat", "1", "--answer-timeout", "2", "--duration", "22")
            self.addCleanup(lambda: sim.poll() is None and sim.kill())
            acked(path, 8)   # two uploads
            with open(filler, "wb", buffering=0) as f:   # every byte left
                self.assertRaises(OSError, lambda: [f.write(b"x" * 65536) for _ in range(1000)])
            svc.wait_log(b"<3>readings store ", timeout=10)
            self.assertEqual((state()["store"], state()["reason"]), ("failing", "database or disk is full"))
            time.sleep(3)   # about ten terminals upload meanwhile
            self.assertEqual({(b, t) for b, t, _ in acked(path)} - stored(db), set(), "acknowledged while full")
            freed = time.time()
            os.remove(filler)
            svc.wait_log(b"is written again", timeout=10)
            summary = json.loads(sim.communicate(timeout=40)[0].splitlines()[-1])["summary"]
            self.assertEqual(state()["store"], "ok")
            self.assertEqual(svc.terminate()[0], 0)
            got, log = acked(path), svc.log()
            self.assertEqual({(b, t) for b, t, _ in got} - stored(db), set(), "acknowledged and not stored")
        # Said once; every frame answered but the uploads withheld (a last heart beat in flight excepted).
        self.assertEqual(len(re.findall(rb"<3>readings store \S+ cannot be written \(database or disk is full\)", log)), 1)
        withheld = int(re.search(rb"\((\d+) acknowledgement\(s\) withheld meanwhile\)", log).group(1))
        sent, received = summary["sent"], summary["received"]
        self.assertEqual((received["registration-ack"], received["end-answer"], sent["upload"]), (40, 40, 40))
        self.assertGreaterEqual(received["heartbeat-ack"], sent["heartbeat"] - 40)
        self.assertEqual((withheld > 0, received["upload-ack"]), (True, 40 - withheld))
        self.assertTrue(any(e > freed for *_, e in got), "never acknowledged again")

    def test_killed_right_after_acknowledgements(self):
        # A reply delay below the writer's batch interval: without the wait for the commit
        # most of these kills lose the last upload acknowledged.
        for uploads in (3, 6, 9):
            with Service({"dialogue": {"reply_delay_ms": 50}}) as svc:
                path = os.path.join(svc.dir.name, "acked.txt")
                sim = fleet(svc.tcp_port, path, 4, "--duration", "15")
                acked(path, 4 * uploads)
                svc.proc.send_signal(signal.SIGKILL)
                svc.proc.wait(timeout=10)
                sim.kill()
                sim.communicate(timeout=10)
                self.assertEqual({(b, t) for b, t, _ in acked(path)} - stored(svc.db), set(), "acknowledged, not stored")


if __name__ == "__main__":
    unittest.main()
