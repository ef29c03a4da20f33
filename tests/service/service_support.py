"""Runs ht6630-datacentre from a temporary configuration on loopback and reads
its log (python3 standard library only)."""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback import free_port  # noqa: E402,F401  (the service tests take it from here)

BIN = os.environ.get("HT6630_BIN", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "bin"))
SERVICE = os.path.join(BIN, "ht6630-datacentre")
TERMINAL = os.path.join(BIN, "ht6630-terminal")


class Service:
    """The service with `ini` (a dict of section -> {key: value}) in a temporary
    folder; `with` starts it, waits for "ready" and kills it at the end."""

    def __init__(self, sections, env=None):
        self.dir = tempfile.TemporaryDirectory()
        self.tcp_port = free_port()
        self.udp_port = free_port(socket.SOCK_DGRAM)
        ini = {"tcp": {"listen": "127.0.0.1:%d" % self.tcp_port},
               "udp": {"listen": "127.0.0.1:%d" % self.udp_port},
               "store": {"path": "readings.db"}}
        for section, keys in sections.items():
            ini.setdefault(section, {}).update(keys)
        self.config = os.path.join(self.dir.name, "service.ini")
        self.write_config(ini)
        self.db = os.path.join(self.dir.name, "readings.db")
        self.log_path = os.path.join(self.dir.name, "service.log")
        self.env = dict(os.environ, **(env or {}))
        self.proc = None

    def write_config(self, ini):
        with open(self.config, "w") as f:
            for section, keys in ini.items():
                f.write("[%s]\n" % section)
                for k, v in keys.items():
                    f.write("%s = %s\n" % (k, v))

    def __enter__(self):
        self.log_file = open(self.log_path, "wb")
        self.proc = subprocess.Popen([SERVICE, "--config", self.config], stderr=self.log_file, env=self.env)
        self.wait_log(b"<6>ready\n")
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=10)
        self.log_file.close()
        self.dir.cleanup()

    def log(self):
        with open(self.log_path, "rb") as f:
            return f.read()

    def wait_log(self, text, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.log():
                return
            if self.proc.poll() is not None:
                raise AssertionError("service exited (%s): %r" % (self.proc.returncode, self.log()))
            time.sleep(0.02)
        raise AssertionError("no %r in the log: %r" % (text, self.log()))

    def terminate(self, sig=signal.SIGTERM, timeout=5.0):
        """Sends `sig`; returns (exit code, seconds until the exit)."""
        start = time.monotonic()
        self.proc.send_signal(sig)
        rc = self.proc.wait(timeout=timeout)
        return rc, time.monotonic() - start
