"""The two-node demonstration run for real (HAProxy, two services, one mosquitto, a
reconnecting fleet, one node killed half-way): no acknowledged record lost, every
configuration request answered through the node that holds its terminal."""
import os
import re
import shutil
import subprocess
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


class DemoCluster(unittest.TestCase):
    def test_node_killed_nothing_lost_requests_follow_the_terminal(self):
        out = subprocess.run(["bash", os.path.join(ROOT, "scripts", "demo-cluster.sh"), "12", "32"],
                             capture_output=True, text=True, timeout=150)
        work = re.search(r"work folder: (\S+)", out.stdout)
        if work and out.returncode == 0:
            shutil.rmtree(work.group(1), True)
        self.assertEqual(out.returncode, 0, out.stdout[-3000:] + out.stderr[-2000:])
        self.assertEqual(len(re.findall(r" yes ", out.stdout)), 8, out.stdout)


if __name__ == "__main__":
    unittest.main()
