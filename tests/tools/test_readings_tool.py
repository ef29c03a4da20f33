"""ht6630-readings against small databases made here with the sqlite3 module,
laid out as the console's readings store writes them (schema version 1)."""
import json
import os
import shutil
import sqlite3
import subprocess
import tempfile
import unittest

TOOL = os.path.join(os.environ.get("HT6630_BIN", "build/bin"), "ht6630-readings")

SCHEMA = """
CREATE TABLE readings(barcode TEXT NOT NULL, time TEXT NOT NULL, temperature_c REAL NOT NULL,
  humidity_pct REAL NOT NULL, battery_v REAL, source TEXT NOT NULL, received TEXT NOT NULL,
  PRIMARY KEY(barcode, time)) WITHOUT ROWID;
CREATE TABLE heat_readings(barcode TEXT NOT NULL, meter_address TEXT NOT NULL, meter_clock TEXT NOT NULL,
  last_heat REAL, heat REAL, power REAL, flow REAL, total_flow REAL, supply_c REAL, return_c REAL,
  working_hours REAL, flags INTEGER, source TEXT NOT NULL, received TEXT NOT NULL,
  PRIMARY KEY(barcode, meter_address, meter_clock)) WITHOUT ROWID;
CREATE TABLE live_readings(barcode TEXT NOT NULL, time TEXT NOT NULL, temperature_c REAL, humidity_pct REAL,
  PRIMARY KEY(barcode, time)) WITHOUT ROWID;
CREATE TABLE events(id INTEGER PRIMARY KEY, barcode TEXT NOT NULL, kind TEXT NOT NULL, channel TEXT NOT NULL,
  peer TEXT NOT NULL, time TEXT NOT NULL);
CREATE INDEX events_by_barcode ON events(barcode, id);
CREATE TABLE terminals(barcode TEXT PRIMARY KEY, first_seen TEXT NOT NULL, last_seen TEXT NOT NULL) WITHOUT ROWID;
PRAGMA user_version = 1;
"""

READINGS = [
    # inserted out of order: the export sorts by (barcode, time)
    ("2012345678902", "2024-05-17T08:30:00", 21.5, 45.0, None, "UDP", "2024-05-17T08:31:00"),
    ("2012345678901", "2024-05-17T09:30:00", -5.3, 45.6, 3.61, "TCP", "2024-05-17T09:31:02"),
    ("2012345678901", "2024-05-17T08:30:00", 0.1, 100.0, 3.6, "TCP", "2024-05-17T09:31:02"),
    ("2012345678901", "2024-05-18T00:00:00", 22.0, 50.0, 3.6, "serial", "2024-05-18T00:01:00"),
]


class ReadingsToolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.db = os.path.join(self.dir, "readings.db")
        con = sqlite3.connect(self.db)
        con.executescript(SCHEMA)
        con.executemany("INSERT INTO readings VALUES(?,?,?,?,?,?,?)", READINGS)
        con.executemany("INSERT INTO terminals VALUES(?,?,?)", [
            ("2012345678901", "2024-05-17T09:31:00", "2024-05-18T00:01:00"),
            ("2012345678902", "2024-05-17T08:31:00", "2024-05-17T08:31:00"),
            ("2012345678903", "2024-05-19T10:00:00", "2024-05-19T10:00:00"),
        ])
        con.executemany("INSERT INTO events(barcode, kind, channel, peer, time) VALUES(?,?,?,?,?)", [
            ("2012345678901", "registration", "TCP", "127.0.0.1:40000", "2024-05-17T09:31:00"),
            ("2012345678901", "heartbeat", "UDP", "127.0.0.1:40001", "2024-05-18T00:01:00"),
        ])
        con.commit()
        con.close()

    def tearDown(self):
        shutil.rmtree(self.dir)

    def run_tool(self, *args):
        return subprocess.run([TOOL, *args], capture_output=True, timeout=30)

    def test_csv_bytes(self):
        r = self.run_tool("--db", self.db, "export")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout,
                         b"barcode,time,temperature_c,humidity_pct,battery_v,source\r\n"
                         b"2012345678901,2024-05-17T08:30:00,0.1,100,3.6,TCP\r\n"
                         b"2012345678901,2024-05-17T09:30:00,-5.3,45.6,3.61,TCP\r\n"
                         b"2012345678901,2024-05-18T00:00:00,22,50,3.6,serial\r\n"
                         b"2012345678902,2024-05-17T08:30:00,21.5,45,,UDP\r\n")

    def test_filters_and_excel_bom(self):
        r = self.run_tool("export", "--db", self.db, "--barcode", "2012345678901", "--from", "2024-05-17T09:00",
                          "--to", "2024-05-17", "--excel")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, b"\xef\xbb\xbfbarcode,time,temperature_c,humidity_pct,battery_v,source\r\n"
                                   b"2012345678901,2024-05-17T09:30:00,-5.3,45.6,3.61,TCP\r\n")
        self.assertFalse(self.run_tool("--db", self.db, "export").stdout.startswith(b"\xef\xbb\xbf"))

    def test_json(self):
        r = self.run_tool("--db", self.db, "export", "--json", "--barcode", "2012345678902")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(json.loads(r.stdout), [{"barcode": "2012345678902", "time": "2024-05-17T08:30:00",
                                                 "temperature_c": 21.5, "humidity_pct": 45, "battery_v": None,
                                                 "source": "UDP"}])
        r = self.run_tool("--db", self.db, "terminals", "--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        terminals = json.loads(r.stdout)
        self.assertEqual([t["barcode"] for t in terminals], ["2012345678901", "2012345678902", "2012345678903"])
        first = terminals[0]
        self.assertEqual((first["online"], first["last_seen"], first["readings"]), (False, "2024-05-18T00:01:00", 3))
        self.assertEqual((first["last_record_time"], first["last_temperature_c"], first["channel"], first["peer"]),
                         ("2024-05-18T00:00:00", 22, "UDP", "127.0.0.1:40001"))
        self.assertEqual((terminals[2]["readings"], terminals[2]["last_temperature_c"]), (0, None))

    def test_exit_code_2(self):
        junk = os.path.join(self.dir, "junk.db")
        with open(junk, "wb") as f:
            f.write(b"not a database" * 1000)
        empty = os.path.join(self.dir, "empty.db")
        sqlite3.connect(empty).close()
        cases = [
            ("--db", os.path.join(self.dir, "missing.db"), "export"),
            ("--db", junk, "terminals"),
            ("--db", empty, "export"),
            ("--db", self.db),
            ("--db", self.db, "export", "--from", "yesterday"),
            ("--db", self.db, "export", "--json", "--excel"),
            ("--db", self.db, "export", "--wat"),
            ("--db", self.db, "terminals", "--barcode", "1"),
        ]
        for args in cases:
            with self.subTest(args=args):
                r = self.run_tool(*args)
                self.assertEqual(r.returncode, 2)
                self.assertEqual(r.stdout, b"")
                self.assertTrue(r.stderr.startswith(b"ht6630-readings: "), r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "missing.db")))

    def test_locked_database(self):
        locker = sqlite3.connect(self.db, isolation_level=None)
        locker.execute("BEGIN EXCLUSIVE")
        try:
            r = self.run_tool("--db", self.db, "export")
        finally:
            locker.execute("ROLLBACK")
            locker.close()
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"locked", r.stderr)

    def test_help_and_version(self):
        for arg in ("--help", "--version"):
            r = self.run_tool(arg)
            self.assertEqual(r.returncode, 0)
            self.assertIn(b"ht6630-readings", r.stdout)


if __name__ == "__main__":
    unittest.main()
