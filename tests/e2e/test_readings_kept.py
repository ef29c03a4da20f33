"""Readings outlive the window: what the TCP and UDP data centres decode is kept
in the readings store with its exact values, once, also across a restart."""
import csv
import io
import math
import os
import subprocess
import tempfile
import time
import unittest

from harness import bin_dir
from test_reliability_network import DataCentre

FIRST = 2012345678901
TCP_TERMINALS = 40
UDP_TERMINALS = 10
TIMES = ["2024-05-17T07:45:00", "2024-05-17T08:00:00", "2024-05-17T08:15:00", "2024-05-17T08:30:00"]


def expected_rows(first, count, channel):
    """The simulator's day curve: terminal i (phase i), samples 0..3 of its first upload."""
    rows = set()
    for i in range(count):
        for k, t in enumerate(TIMES):
            x = 2 * math.pi * k / 96.0 + 0.7 * i
            temp = round(50 + 150 * math.sin(x)) / 10.0   # lround of .5 never occurs on this curve
            hum = round(550 + 200 * math.sin(x + 1.0)) / 10.0
            rows.add((str(first + i), t, "%.1f" % temp, "%.1f" % hum, "3.68", channel))
    return rows


def run_terminals(channel, port, first, count):
    subprocess.run([os.path.join(bin_dir(), "ht6630-terminal"), "--" + channel, "127.0.0.1:%d" % port,
                    "--count", str(count), "--once", "--records", "4", "--duration", "6", "--quiet",
                    "--set", "barcode=%d" % first, "--set", "clock=240517083000", "--set", "clock-runs=0"],
                   check=True, timeout=30, stdout=subprocess.DEVNULL)


def exported(db):
    out = subprocess.run([os.path.join(bin_dir(), "ht6630-readings"), "--db", db, "export", "--csv"],
                         check=True, timeout=30, capture_output=True).stdout.decode("utf-8")
    rows = list(csv.reader(io.StringIO(out)))
    assert rows[0] == ["barcode", "time", "temperature_c", "humidity_pct", "battery_v", "source"], rows[0]
    return [tuple(r) for r in rows[1:]]


def normalised(rows):
    return {(b, t, "%.1f" % float(tc), "%.1f" % float(h), "%.2f" % float(v), s) for b, t, tc, h, v, s in rows}


class ReadingsKept(unittest.TestCase):
    def test_every_record_once_with_its_values_across_a_restart(self):
        with tempfile.TemporaryDirectory() as tmp:
            db = os.path.join(tmp, "readings.db")
            env = {"HT6630_READINGS_DB": db}
            want = expected_rows(FIRST, TCP_TERMINALS, "TCP") | expected_rows(FIRST + 1000, UDP_TERMINALS, "UDP")
            for run in range(2):   # the second run sends the same records again
                with DataCentre(env=env) as c:
                    c.start_service(tcp=True)
                    run_terminals("tcp", c.port, FIRST, TCP_TERMINALS)
                    c.click(c.win + "/CmdNo")
                    c.close(c.win)
                    c.wait_for(lambda: c.window(c.win) is None, what="TCP console closed")
                    c.start_service(tcp=False)
                    run_terminals("udp", c.port, FIRST + 1000, UDP_TERMINALS)
                    c.wait_for(lambda: len(exported(db)) >= len(want), timeout=5.0, what="rows committed")
                    self.check_terminals_view(c)
                    self.check_log_files(c)
                rows = exported(db)
                self.assertEqual(len(rows), len(want), "run %d: each record stored once" % run)
                self.assertEqual(normalised(rows), want)

    def check_log_files(self, c):
        """What the UDP console shows is on disk too, byte for byte."""
        folder = os.path.join(c._tmp, "Logs", time.strftime("%Y-%m-%d"))
        def on_disk(name):
            try:
                with open(os.path.join(folder, name + ".log"), "rb") as f:
                    return f.read().decode("utf-8")
            except FileNotFoundError:
                return None
        shown = c.text(c.win + "/DataReceive")
        self.assertIn("室温采集终端主动上传数据", shown)
        c.wait_for(lambda: on_disk("udp-uploads") == shown, what="uploads log on disk")
        traffic = c.text(c.win + "/txtBaoWen")
        c.wait_for(lambda: (on_disk("udp-traffic") or "").endswith(traffic), what="traffic log on disk")

    def check_terminals_view(self, c):
        """Opened from the modal UDP console, the terminals view lists all fifty, live."""
        c.click(c.win + "/M_Terminals")
        c.wait_window("frmTerminals")
        table = lambda: c.get("frmTerminals/tblTerminals")
        c.wait_for(lambda: len(table()["rows"]) == TCP_TERMINALS + UDP_TERMINALS, what="fifty terminals")
        t = table()
        col = {name: i for i, name in enumerate(t["columns"])}
        rows = {r[col["条形码"]]: r for r in t["rows"]}
        self.assertEqual(set(rows), {str(FIRST + i) for i in range(TCP_TERMINALS)} |
                         {str(FIRST + 1000 + i) for i in range(UDP_TERMINALS)})
        udp = rows[str(FIRST + 1000)]
        self.assertEqual((udp[col["通道"]], udp[col["在线"]], udp[col["记录时间"]], udp[col["电池(V)"]]),
                         ("UDP", "在线", "2024-05-17 08:30:00", "3.68"))
        self.assertEqual(rows[str(FIRST)][col["通道"]], "TCP")
        self.assertGreaterEqual(int(rows[str(FIRST)][col["读数"]]), 4)
        c.set("frmTerminals/txtFilter", str(FIRST + 1000))
        c.wait_for(lambda: len(table()["rows"]) == 1, what="the filter keeps one")
        c.close("frmTerminals")


if __name__ == "__main__":
    unittest.main()
