"""Every program answers --version and --help at once, exit 0, without starting
its work (ht6630-mkdb once took an option for the file to make)."""
import os
import re
import subprocess
import tempfile
import unittest

BIN = os.environ.get("HT6630_BIN", "build/bin")
PROGRAMS = ["ht6630-console", "ht6630-datacentre", "ht6630-frame", "ht6630-mkdb", "ht6630-readings",
            "ht6630-terminal"]


class VersionAndHelp(unittest.TestCase):
    def test_every_program(self):
        versions = set()
        with tempfile.TemporaryDirectory() as cwd:
            for name in PROGRAMS:
                version = subprocess.run([os.path.join(BIN, name), "--version"], cwd=cwd, capture_output=True,
                                         timeout=10, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
                self.assertEqual(version.returncode, 0, name)
                m = re.fullmatch(rb"(\S+) (\d+\.\d+\.\d+)\n", version.stdout)
                self.assertTrue(m and m.group(1) == name.encode(), version.stdout)
                versions.add(m.group(2))
                help_ = subprocess.run([os.path.join(BIN, name), "--help"], cwd=cwd, capture_output=True, timeout=10,
                                       env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
                self.assertEqual(help_.returncode, 0, name)
                self.assertIn(name.encode(), help_.stdout.splitlines()[0], name)
            self.assertEqual(os.listdir(cwd), [])
        self.assertEqual(len(versions), 1, "one version for every program: %r" % versions)


if __name__ == "__main__":
    unittest.main()
