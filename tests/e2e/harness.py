"""Drives the real console through its automation interface (python3 stdlib only).

    with Console(serial_ports=[peer.path]) as c:
        c.click("frmMainDtu/M_SetPort")
        box = c.wait_msgbox()

Console(serial_ports=None, env=None, binary=None, cwd=None) starts
$HT6630_BIN/ht6630-console headless with the automation socket turned on and
waits for the socket. PtyPeer plays a serial device on a pseudo-terminal;
free_port() gives a free TCP port on 127.0.0.1.
"""
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import sys
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback import free_port  # noqa: E402,F401  (the e2e tests take it from here)

__all__ = ["Console", "PtyPeer", "free_port", "bin_dir"]


def bin_dir():
    d = os.environ.get("HT6630_BIN")
    if not d:
        here = os.path.dirname(os.path.abspath(__file__))
        d = os.path.join(here, "..", "..", "build", "bin")
    return os.path.abspath(d)


class Console:
    """One running console with its automation connection."""

    def __init__(self, serial_ports=None, env=None, binary=None, cwd=None, start_timeout=10.0, args=()):
        self.binary = binary or os.path.join(bin_dir(), "ht6630-console")
        self._tmp = tempfile.mkdtemp(prefix="ht6630-auto-")
        self.socket_path = os.path.join(self._tmp, "auto.sock")
        e = dict(os.environ)
        # Log files and readings go to the run's own folder, not beside the program.
        e.setdefault("HT6630_LOG_DIR", os.path.join(self._tmp, "Logs"))
        e.setdefault("HT6630_READINGS_DB", os.path.join(self._tmp, "readings.db"))
        e["QT_QPA_PLATFORM"] = "offscreen"
        e["HT6630_AUTOMATION"] = self.socket_path
        if serial_ports is not None:
            e["HT6630_SERIAL_PORTS"] = ":".join(serial_ports)
        if env:
            e.update(env)
        self._log = open(os.path.join(self._tmp, "console.log"), "w+b")
        self.proc = subprocess.Popen([self.binary] + list(args), env=e, cwd=cwd or self._tmp,
                                     stdout=self._log, stderr=subprocess.STDOUT)
        self._sock = None
        self._buf = b""
        deadline = time.monotonic() + start_timeout
        while True:
            if self.proc.poll() is not None:
                out = self.output()
                self._cleanup()
                raise AssertionError("console ended before its automation socket came up "
                                     "(exit %s): %s" % (self.proc.returncode, out))
            if os.path.exists(self.socket_path):
                try:
                    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    s.connect(self.socket_path)
                    self._sock = s
                    break
                except OSError:
                    s.close()
            if time.monotonic() > deadline:
                self.stop()
                raise AssertionError("automation socket did not come up within %.0f s" % start_timeout)
            time.sleep(0.02)

    # ---- plumbing -------------------------------------------------------
    def output(self):
        """What the console wrote on stdout/stderr so far."""
        try:
            self._log.flush()
            self._log.seek(0)
            return self._log.read().decode("utf-8", "replace")
        except (OSError, ValueError):
            return ""

    def req(self, op, check=True, timeout=10.0, **fields):
        """Sends one request and returns its answer (a dict)."""
        if self._sock is None:
            raise AssertionError("console not connected")
        msg = dict(fields)
        msg["op"] = op
        self._sock.sendall((json.dumps(msg, ensure_ascii=False) + "\n").encode("utf-8"))
        deadline = time.monotonic() + timeout
        while b"\n" not in self._buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("no answer to %r within %.1f s" % (msg, timeout))
            r, _, _ = select.select([self._sock], [], [], left)
            if r:
                chunk = self._sock.recv(65536)
                if not chunk:
                    raise AssertionError("console closed the automation connection (request %r)" % (msg,))
                self._buf += chunk
        line, self._buf = self._buf.split(b"\n", 1)
        ans = json.loads(line.decode("utf-8"))
        if check and not ans.get("ok"):
            raise AssertionError("%s %r failed: %s" % (op, fields, ans.get("error")))
        return ans

    # ---- requests ---------------------------------------------------------
    def ping(self):
        return self.req("ping")

    def get(self, path, check=True):
        return self.req("get", check=check, path=path)

    def text(self, path):
        return self.get(path)["text"]

    def set(self, path, text, check=True):
        return self.req("set", check=check, path=path, text=text)

    def click(self, path, check=True):
        return self.req("click", check=check, path=path)

    def select(self, path, index, check=True):
        return self.req("select", check=check, path=path, index=index)

    def close(self, window, check=True):
        return self.req("close", check=check, window=window)

    def windows(self):
        return self.req("windows")["windows"]

    def window(self, name):
        """The entry of `windows()` for `name`, or None."""
        for w in self.windows():
            if w["name"] == name:
                return w
        return None

    def msgboxes(self):
        return self.req("msgboxes")["boxes"]

    def answer(self, button=None, check=True):
        if button is None:
            return self.req("answer", check=check)
        return self.req("answer", check=check, button=button)

    def msglog(self):
        return self.req("msglog")["boxes"]

    # ---- waiting ------------------------------------------------------------
    def wait_for(self, predicate, timeout=5.0, interval=0.05, what=None):
        """Polls predicate() until it returns a true value (returned) or the time is up."""
        deadline = time.monotonic() + timeout
        last = None
        while True:
            last = predicate()
            if last:
                return last
            if time.monotonic() > deadline:
                raise AssertionError("timed out after %.1f s waiting for %s (last: %r)"
                                     % (timeout, what or predicate, last))
            time.sleep(interval)

    def wait_msgbox(self, timeout=5.0):
        """The newest open message box, once one is open."""
        boxes = self.wait_for(lambda: self.msgboxes(), timeout=timeout, what="a message box")
        return boxes[-1]

    def wait_window(self, name, visible=True, timeout=5.0):
        return self.wait_for(lambda: (lambda w: w if w and w["visible"] == visible else None)(self.window(name)),
                             timeout=timeout, what="window %s visible=%s" % (name, visible))

    def wait_exit(self, timeout=5.0):
        """Waits for the process to end and returns its exit code."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("console did not end within %.1f s" % timeout)

    # ---- end ----------------------------------------------------------------
    def stop(self):
        if self._sock is not None:
            try:
                self._sock.close()
            except OSError:
                pass
            self._sock = None
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                pass
        self._cleanup()

    def _cleanup(self):
        try:
            self._log.close()
        except OSError:
            pass
        shutil.rmtree(self._tmp, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False


class PtyPeer:
    """The device side of a serial link: a pty pair in raw mode.

    .path is the slave device for the console (HT6630_SERIAL_PORTS); the test
    reads and writes the master side.
    """

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        tty.setraw(self.slave)
        self.path = os.ttyname(self.slave)
        os.set_blocking(self.master, False)

    def write(self, data):
        view = memoryview(bytes(data))
        deadline = time.monotonic() + 5.0
        while view:
            try:
                n = os.write(self.master, view)
                view = view[n:]
            except BlockingIOError:
                if time.monotonic() > deadline:
                    raise AssertionError("pty write blocked")
                select.select([], [self.master], [], 0.1)

    def read(self, timeout=0.5):
        """Everything that arrives until `timeout` seconds pass with nothing new."""
        out = b""
        while True:
            r, _, _ = select.select([self.master], [], [], timeout)
            if not r:
                return out
            try:
                chunk = os.read(self.master, 65536)
            except BlockingIOError:
                continue
            except OSError:
                return out   # the console closed its side
            if not chunk:
                return out
            out += chunk

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass
        self.master = self.slave = -1

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


