"""The main window's menus with a real serial port on a pseudo-terminal: the
data-centre items close the port before their console opens."""
import unittest

from harness import Console, PtyPeer


class PortAndMenus(unittest.TestCase):
    def setUp(self):
        self.peer = PtyPeer()
        self.addCleanup(self.peer.close)
        self.c = Console(serial_ports=[self.peer.path])
        self.addCleanup(self.c.stop)

    def _open_port(self):
        c = self.c
        c.click("frmMainDtu/M_SetPort")
        c.wait_window("FrmSetPort")
        c.click("FrmSetPort/CmdSwitch")
        def opened_or_gone():
            r = c.get("FrmSetPort/TxtStatus", check=False)
            return not r["ok"] or "OPEND" in r["text"]   # the dialog may close itself
        c.wait_for(opened_or_gone, what="the port to open")
        c.close("FrmSetPort", check=False)   # the dialog may have closed itself
        c.wait_for(lambda: not (c.window("FrmSetPort") or {}).get("visible"), what="FrmSetPort closed")

    def _serial_console_refused(self):
        c = self.c
        c.click("frmMainDtu/M_InfraredX")
        box = c.wait_msgbox()
        self.assertEqual((box["text"], box["title"], box["icon"]), ("请先设置串口！", "系统提示", "critical"))
        c.answer()
        c.wait_for(lambda: c.msgboxes() == [])

    def _data_centre_item_closes_port(self, item, window):
        c = self.c
        self._open_port()
        # The open port lets the serial console open; close it again.
        c.click("frmMainDtu/M_InfraredX")
        c.wait_window("FrmInfrared")
        self.assertEqual(c.msgboxes(), [])
        c.close("FrmInfrared")
        c.wait_for(lambda: not (c.window("FrmInfrared") or {}).get("visible"), what="FrmInfrared closed")
        c.click("frmMainDtu/" + item)
        w = c.wait_window(window)
        self.assertTrue(w["modal"])
        c.close(window)   # the service is stopped: closing is allowed
        c.wait_for(lambda: not (c.window(window) or {}).get("visible"), what=window + " closed")
        self._serial_console_refused()

    def test_tcp_item_closes_the_port(self):
        self._data_centre_item_closes_port("M_Infrared_TCP", "frmServerInfrared_TCP")

    def test_udp_item_closes_the_port(self):
        self._data_centre_item_closes_port("M_Infrared_UDP", "frmServerInfrared_UDP")


if __name__ == "__main__":
    unittest.main()
