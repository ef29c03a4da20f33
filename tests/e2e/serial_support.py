"""Helpers of the serial end-to-end tests: frames built apart from the console
(tests/support/ht6630_frames.py) and the steps that bring the console to an open
serial console."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import reply, request  # noqa: E402,F401

APP_TITLE = "HT6630-QN无线室温采集终端测试软件V1.0"
BAR = "2012345678901"
ADDR = bytes.fromhex("02012345678901")
ADDR_99 = bytes([0x99] * 7)


def response(code, payload, addr=ADDR):
    return reply(code, addr, payload)


def hexline(data):
    return " ".join("%02X" % b for b in data) + " "


def open_setport(c):
    c.click("frmMainDtu/M_SetPort")
    c.wait_window("FrmSetPort")


def open_port(c):
    """Settings dialog, switch on (first port found, defaults), dialog closes."""
    open_setport(c)
    c.click("FrmSetPort/CmdSwitch")
    c.wait_for(lambda: c.window("FrmSetPort") is None, what="settings dialog closed")


def open_console(c):
    c.click("frmMainDtu/M_InfraredX")
    c.wait_window("FrmInfrared")


def open_all(c):
    open_port(c)
    open_console(c)


def status(c):
    return c.text("FrmInfrared/LblInf")


def wait_status(c, text, timeout=3.0):
    return c.wait_for(lambda: status(c) == text, timeout=timeout,
                      what="LblInf == %r (now %r)" % (text, status(c)))


def settle(peer, timeout=0.4):
    """Everything the console wrote until the line is quiet."""
    return peer.read(timeout)
