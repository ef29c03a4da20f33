"""The Debian package: built from this build with its lint checks (lintian,
desktop-file-validate, appstreamcli), unpacked into a temporary root, and its
console started there headless by an ordinary user: Data/ with a fresh data.mdb
goes to that user's data folder, since /usr/bin is not theirs to write."""
import json
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD = os.environ.get("HT6630_BUILD", os.path.join(ROOT, "build"))

FILES = ["./usr/bin/ht6630-console", "./usr/bin/ht6630-terminal", "./usr/bin/ht6630-frame",
         "./usr/bin/ht6630-readings", "./usr/bin/ht6630-datacentre",
         "./usr/lib/systemd/system/ht6630-datacentre.service", "./etc/ht6630/datacentre.ini",
         "./usr/share/applications/io.github.ht6630.Console.desktop",
         "./usr/share/metainfo/io.github.ht6630.Console.metainfo.xml",
         "./usr/share/icons/hicolor/scalable/apps/io.github.ht6630.Console.svg",
         "./usr/share/icons/hicolor/48x48/apps/io.github.ht6630.Console.png",
         "./usr/share/icons/hicolor/256x256/apps/io.github.ht6630.Console.png",
         "./usr/share/man/man1/ht6630-console.1.gz", "./usr/share/man/man1/ht6630-datacentre.1.gz",
         "./usr/share/doc/ht6630-console/copyright", "./usr/share/doc/ht6630-console/changelog.gz"]


def ask(sock_path, op, timeout=10):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(timeout)
    s.connect(sock_path)
    try:
        s.sendall((json.dumps({"op": op}) + "\n").encode())
        buf = b""
        while b"\n" not in buf:
            chunk = s.recv(65536)
            if not chunk:
                break
            buf += chunk
        return json.loads(buf.split(b"\n", 1)[0])
    finally:
        s.close()


class DebianPackage(unittest.TestCase):
    def test_built_linted_unpacked_and_started_by_a_user(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = subprocess.run(["bash", os.path.join(ROOT, "scripts", "make-deb.sh"), BUILD, tmp],
                                 capture_output=True, text=True, timeout=900)
            self.assertEqual(out.returncode, 0, out.stderr[-3000:])
            deb = out.stdout.strip().splitlines()[-1]
            self.assertRegex(os.path.basename(deb), r"^ht6630-console_\d+\.\d+\.\d+_amd64\.deb$")
            listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True, check=True).stdout
            names = {line.split()[-1] for line in listing.splitlines()}
            for f in FILES:
                self.assertIn(f, names)
            conffiles = subprocess.run(["dpkg-deb", "-I", deb, "conffiles"], capture_output=True, text=True).stdout
            self.assertEqual(conffiles.split(), ["/etc/ht6630/datacentre.ini"])

            root = os.path.join(tmp, "root")
            subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
            console = os.path.join(root, "usr", "bin", "ht6630-console")
            version = subprocess.run([console, "--version"], capture_output=True, text=True, timeout=10)
            self.assertRegex(version.stdout, r"^ht6630-console \d+\.\d+\.\d+\n$")

            user = pwd.getpwnam("nobody")
            home = os.path.join(tmp, "home")
            os.makedirs(home)
            os.chown(home, user.pw_uid, user.pw_gid)
            os.chmod(tmp, 0o755)
            sock_path = os.path.join(home, "auto.sock")
            env = {"PATH": "/usr/bin:/bin", "HOME": home, "QT_QPA_PLATFORM": "offscreen",
                   "HT6630_AUTOMATION": sock_path, "XDG_RUNTIME_DIR": home}
            proc = subprocess.Popen(["setpriv", "--reuid", str(user.pw_uid), "--regid", str(user.pw_gid),
                                     "--clear-groups", console], env=env, cwd=home,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            try:
                deadline = time.monotonic() + 20
                while not os.path.exists(sock_path):
                    if proc.poll() is not None:
                        self.fail("the console ended: %s" % proc.stdout.read()[-2000:])
                    if time.monotonic() > deadline:
                        proc.kill()
                        self.fail("no automation socket: %s" % proc.stdout.read()[-2000:])
                    time.sleep(0.05)
                time.sleep(0.2)
                windows = ask(sock_path, "windows")
                self.assertTrue(windows.get("ok"), windows)
                self.assertIn("frmMainDtu", json.dumps(windows))
                data = os.path.join(home, ".local", "share", "ht6630-console", "Data")
                self.assertTrue(os.path.isfile(os.path.join(data, "data.mdb")))
                self.assertEqual(os.stat(os.path.join(data, "data.mdb")).st_uid, user.pw_uid)
                self.assertFalse(os.path.exists(os.path.join(root, "usr", "bin", "Data")))
            finally:
                proc.kill()
                proc.wait(10)
                proc.stdout.close()


if __name__ == "__main__":
    unittest.main()
