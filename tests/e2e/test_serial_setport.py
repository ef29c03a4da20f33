"""The serial settings dialog driven through the real console: probe, defaults,
status texts, the switch, and the failure message."""
import unittest

from harness import Console, PtyPeer
from serial_support import open_setport, open_port, open_console, request, ADDR_99

CLOSED = "STATUS：COM Port Cloced"
OPEN_COM1 = "STATUS：COM1 OPEND，2400,E,8,1"


class SetPortDialog(unittest.TestCase):
    def setUp(self):
        self.p1, self.p3 = PtyPeer(), PtyPeer()
        self.c = Console(serial_ports=[self.p1.path, "/dev/ht6630-no-such-device", self.p3.path])

    def tearDown(self):
        self.c.stop()
        self.p1.close()
        self.p3.close()

    def test_probe_defaults_and_closed_status(self):
        c = self.c
        open_setport(c)
        w = c.window("FrmSetPort")
        self.assertEqual(w["title"], "串口设置")
        com = c.get("FrmSetPort/CboCom")
        self.assertEqual(com["items"], ["COM1", "COM3"])     # the missing device is left out
        self.assertEqual(com["text"], "COM1")
        self.assertEqual(c.text("FrmSetPort/CboBaudrate"), "2400")
        self.assertEqual(c.get("FrmSetPort/CboBaudrate")["items"],
                         ["300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "28800",
                          "38400", "56000", "128000", "256000"])
        self.assertEqual(c.text("FrmSetPort/CboParitybit"), "EVEN")
        self.assertEqual(c.get("FrmSetPort/CboParitybit")["items"], ["NONE", "ODD", "EVEN", "SPACE", "MARK"])
        self.assertEqual(c.get("FrmSetPort/CboDatabit")["items"], ["8", "7", "6"])
        self.assertEqual(c.text("FrmSetPort/CboDatabit"), "8")
        self.assertEqual(c.get("FrmSetPort/CboStopbit")["items"], ["1", "1.5", "2"])
        self.assertEqual(c.text("FrmSetPort/CboStopbit"), "1")
        self.assertEqual(c.text("FrmSetPort/TxtStatus"), CLOSED)
        self.assertEqual(c.text("FrmSetPort/CmdSwitch"), "打开串口")
        self.assertEqual(c.text("FrmSetPort/CmdCancel"), "取消")
        self.assertTrue(c.get("FrmSetPort/ImgSwitchoff")["visible"])
        self.assertFalse(c.get("FrmSetPort/ImgSwitchon")["visible"])
        self.assertEqual(c.msglog(), [])
        # Loading left COM1 open (first entry chosen): the serial console opens.
        c.click("FrmSetPort/CmdCancel")
        c.wait_for(lambda: c.window("FrmSetPort") is None)
        open_console(c)
        self.assertEqual(c.msgboxes(), [])

    def test_switch_open_then_close(self):
        c = self.c
        open_port(c)
        open_setport(c)
        self.assertEqual(c.text("FrmSetPort/TxtStatus"), OPEN_COM1)
        self.assertEqual(c.text("FrmSetPort/CmdSwitch"), "关闭串口")
        self.assertTrue(c.get("FrmSetPort/ImgSwitchon")["visible"])
        self.assertFalse(c.get("FrmSetPort/ImgSwitchoff")["visible"])
        c.click("FrmSetPort/CmdSwitch")        # close: the dialog stays
        c.wait_for(lambda: c.text("FrmSetPort/TxtStatus") == CLOSED)
        self.assertEqual(c.text("FrmSetPort/CmdSwitch"), "打开串口")
        self.assertTrue(c.window("FrmSetPort")["visible"])
        c.close("FrmSetPort")
        c.wait_for(lambda: c.window("FrmSetPort") is None)
        c.click("frmMainDtu/M_InfraredX")      # the port is closed now
        box = c.wait_msgbox()
        self.assertEqual((box["text"], box["title"]), ("请先设置串口！", "系统提示"))
        c.answer()

    def test_choosing_com3_and_other_settings_reopen_the_port(self):
        c = self.c
        open_setport(c)
        c.select("FrmSetPort/CboCom", 1)         # COM3
        c.select("FrmSetPort/CboBaudrate", 5)    # 9600
        c.select("FrmSetPort/CboParitybit", 0)   # NONE
        c.wait_for(lambda: c.text("FrmSetPort/CboParitybit") == "NONE")
        self.assertEqual(c.text("FrmSetPort/TxtStatus"), CLOSED)   # a choice does not touch the status
        self.assertEqual(c.msgboxes(), [])
        c.click("FrmSetPort/CmdSwitch")
        c.wait_for(lambda: c.window("FrmSetPort") is None)
        open_setport(c)   # reloading probes again and starts from the defaults on COM1
        self.assertEqual(c.text("FrmSetPort/TxtStatus"), OPEN_COM1)
        c.select("FrmSetPort/CboCom", 1)
        c.close("FrmSetPort")
        c.wait_for(lambda: c.window("FrmSetPort") is None)
        open_console(c)
        c.click("FrmInfrared/cmdBarCodeR")
        want = bytes(201) + request(0x04, ADDR_99, b"\x00")
        got = c.wait_for(lambda: self.p3.read(0.3), timeout=3, what="request on COM3")
        self.assertEqual(got, want)
        self.assertEqual(self.p1.read(0.2), b"")

    def test_failure_message_for_bad_settings(self):
        c = self.c
        open_setport(c)
        for path, text in (("FrmSetPort/CboDatabit", "x8"), ("FrmSetPort/CboBaudrate", "fast"),
                           ("FrmSetPort/CboParitybit", "QUIET")):
            c.set(path, text)
            c.select("FrmSetPort/CboStopbit", 0)
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["title"], box["icon"]), ("没有成功，请重试", "串口设置", "warning"))
            c.answer()
            c.wait_for(lambda: c.msgboxes() == [])
            c.select(path, 0)                   # a valid entry again: applies quietly
            c.wait_for(lambda: c.text(path) != text)
            self.assertEqual(c.msgboxes(), [])
        # After a failed apply the port is closed: the serial console refuses to open.
        c.set("FrmSetPort/CboDatabit", "nine")
        c.select("FrmSetPort/CboBaudrate", 3)
        c.wait_msgbox()
        c.answer()
        c.close("FrmSetPort")
        c.wait_for(lambda: c.window("FrmSetPort") is None)
        c.click("frmMainDtu/M_InfraredX")
        self.assertEqual(c.wait_msgbox()["text"], "请先设置串口！")
        c.answer()


class NoPorts(unittest.TestCase):
    def test_empty_list_and_apply_with_port_zero_fails(self):
        with Console(serial_ports=["/dev/ht6630-none-1", "/dev/ht6630-none-2"]) as c:
            open_setport(c)
            com = c.get("FrmSetPort/CboCom")
            self.assertEqual((com["items"], com["text"]), ([], ""))
            self.assertEqual(c.text("FrmSetPort/TxtStatus"), CLOSED)
            self.assertEqual(c.msglog(), [])
            c.select("FrmSetPort/CboBaudrate", 5)
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["title"], box["icon"]), ("没有成功，请重试", "串口设置", "warning"))
            c.answer()
            c.click("FrmSetPort/CmdSwitch")   # PortOpened turns True even though the open failed
            box = c.wait_msgbox()
            self.assertEqual(box["text"], "没有成功，请重试")
            c.answer()
            c.wait_for(lambda: c.window("FrmSetPort") is None)
            open_setport(c)
            self.assertEqual(c.text("FrmSetPort/TxtStatus"), "STATUS： OPEND，2400,E,8,1")
            self.assertEqual(c.text("FrmSetPort/CmdSwitch"), "关闭串口")


if __name__ == "__main__":
    unittest.main()
