"""The serial console's fifteen request buttons on a pseudo-terminal: the exact
bytes on the wire (with or without the wake-up preamble), the traffic log, the
status texts, and the message boxes of every check."""
import unittest

from harness import Console, PtyPeer
from serial_support import (APP_TITLE, BAR, ADDR, ADDR_99, request, hexline, open_all, status,
                            wait_status, settle)


# button, field set-up, function code, payload, preamble, status text
ROWS = [
    ("cmdBarCodeR", {}, 0x04, "00", True, "提示信息:正在读取条形码。。。"),
    ("cmdBarCodeW", {}, 0x03, "02 01 23 45 67 89 01", True, "提示信息:正在设置条形码。。。"),
    ("cmdIpR", {}, 0x06, "05 0B", True, "提示信息:正在读取Velmar内部IP和端口。。。"),
    ("cmdIpW", {"txtIp(0)": "192", "txtIp(1)": "168", "txtIp(2)": "1", "txtIp(3)": "2", "txtIp(4)": "2020"},
     0x05, "05 0B C0 A8 01 02 07 E4", True, "提示信息:正在设置Velmar内部IP和端口。。。"),
    ("cmdSpareIpR", {}, 0x08, "00", True, "提示信息:正在读取备用IP和端口。。。"),
    ("cmdSpareIpW", {"txtSpareIp(0)": "10", "txtSpareIp(1)": "0", "txtSpareIp(2)": "0", "txtSpareIp(3)": "1",
                     "txtSpareIp(4)": "8080"}, 0x07, "0A 00 00 01 1F 90", True, "提示信息:正在设置备用IP和端口。。。"),
    ("cmdShowPra", {}, 0x09, "03", False, "提示信息:正在读取实时温度湿度。。。"),
    ("cmdCJR", {}, 0x0D, "03", False, "提示信息:正在读取读取室温采集终端配置参数。。。"),
    ("cmdCJW", {"txtCJ": "15"}, 0x0A, "01 00 0F", False, "提示信息:正在设置采集数据时间间隔。。。"),
    ("cmdSCW", {"txtSC": "60"}, 0x0A, "02 00 3C", True, "提示信息:正在配置上传数据时间间隔。。。"),
    ("cmdCommType", {}, 0x0A, "03 00", False, "提示信息:正在设置通讯类型。。。"),
    ("cmdHear", {"txtHeartbeat": "60"}, 0x0A, "04 3C", False, "提示信息:正在设置心跳包时间间隔。。。"),
    ("cmdSetSilence", {"txtDate(0)": "11", "txtDate(1)": "15", "txtDate(2)": "3", "txtDate(3)": "15"},
     0x0A, "05 AA 0B 0F 03 0F", True, "提示信息:正在配置静默参数。。。"),
    ("cmdSleep", {}, 0x0A, "06 01", False, "提示信息:正在设置是否休眠。。。"),
    ("cmdTime", {"Txtrq(0)": "24", "Txtrq(1)": "05", "Txtrq(2)": "17", "Txtrq(3)": "08", "Txtrq(4)": "30",
                 "Txtrq(5)": "00"}, 0x0A, "07 24 05 17 08 30 00", False, "提示信息:正在设置实时日期与时间。。。"),
]


class Base(unittest.TestCase):
    def setUp(self):
        self.peer = PtyPeer()
        self.c = Console(serial_ports=[self.peer.path])
        open_all(self.c)

    def tearDown(self):
        self.c.stop()
        self.peer.close()

    def click_expect_box(self, button, text, title=APP_TITLE, icon="critical"):
        c = self.c
        c.click("FrmInfrared/" + button)
        box = c.wait_msgbox()
        self.assertEqual((box["text"], box["title"], box["icon"]), (text, title, icon), button)
        c.answer()
        c.wait_for(lambda: c.msgboxes() == [])
        self.assertEqual(settle(self.peer, 0.2), b"", "%s wrote despite a failed check" % button)


class RequestBytes(Base):
    def test_every_button_writes_its_exact_frame(self):
        c = self.c
        c.click("FrmInfrared/Option5(1)")   # the clock fields keep what we type
        c.click("FrmInfrared/optEnabled(0)")
        for button, fields, code, payload, preamble, text in ROWS:
            with self.subTest(button=button):
                c.set("FrmInfrared/txtBarCode", BAR)
                for path, value in fields.items():
                    c.set("FrmInfrared/" + path, value)
                c.click("FrmInfrared/CmdClear")
                c.click("FrmInfrared/" + button)
                addr = ADDR_99 if button in ("cmdBarCodeR", "cmdBarCodeW") else ADDR
                f = request(code, addr, bytes.fromhex(payload))
                want = (bytes(201) if preamble else b"") + f
                got = c.wait_for(lambda: settle(self.peer, 0.25), timeout=3, what=button + " frame")
                self.assertEqual(got.hex(" "), want.hex(" "))
                wait_status(c, text)
                log = c.text("FrmInfrared/txtBaoWen")
                self.assertTrue(log.startswith("TX: " + hexline(f) + "     "), log)
                self.assertTrue(log.endswith("\r\n") and log.count("\r\n") == 1, log)
                self.assertEqual(c.msgboxes(), [])

    def test_a_bar_code_between_blanks_is_trimmed_by_every_button(self):
        c = self.c
        c.set("FrmInfrared/txtBarCode", "  " + BAR + " ")
        self.assertEqual(c.text("FrmInfrared/txtBarCode"), "  " + BAR + " ")   # all 16 characters kept
        c.click("FrmInfrared/cmdIpR")
        f = request(0x06, ADDR, bytes.fromhex("05 0B"))
        got = c.wait_for(lambda: settle(self.peer, 0.25), timeout=3, what="cmdIpR frame")
        self.assertEqual(got.hex(" "), (bytes(201) + f).hex(" "))
        wait_status(c, "提示信息:正在读取Velmar内部IP和端口。。。")
        self.assertTrue(c.text("FrmInfrared/txtBaoWen").startswith("TX: " + hexline(f) + "     "))
        self.assertEqual(len(f), 17)
        c.set("FrmInfrared/txtBarCode", " " + BAR + "  ")
        c.click("FrmInfrared/cmdBarCodeW")
        got = c.wait_for(lambda: settle(self.peer, 0.25), timeout=3, what="cmdBarCodeW frame")
        self.assertEqual(got, bytes(201) + request(0x03, ADDR_99, ADDR))
        c.set("FrmInfrared/txtHeartbeat", "60")
        c.click("FrmInfrared/cmdHear")
        got = c.wait_for(lambda: settle(self.peer, 0.25), timeout=3, what="cmdHear frame")
        self.assertEqual(got, request(0x0A, ADDR, bytes.fromhex("04 3C")))
        self.assertEqual(c.msgboxes(), [])

    def test_heartbeat_frame_of_the_catalogue(self):
        c = self.c
        c.set("FrmInfrared/txtBarCode", BAR)
        c.set("FrmInfrared/txtHeartbeat", "60")
        c.click("FrmInfrared/cmdHear")
        self.assertEqual(c.wait_for(lambda: settle(self.peer, 0.25), timeout=3).hex(" ").upper(),
                         "51 56 0A 02 01 23 45 67 89 01 00 02 04 3C AE 13 0D")

    def test_read_bar_code_needs_no_bar_code_and_clears_the_field(self):
        c = self.c
        c.set("FrmInfrared/txtBarCode", "123")
        c.click("FrmInfrared/cmdBarCodeR")
        got = c.wait_for(lambda: settle(self.peer, 0.25), timeout=3)
        self.assertEqual(got, bytes(201) + request(0x04, ADDR_99, b"\x00"))
        self.assertEqual(c.text("FrmInfrared/txtBarCode"), "")

    def test_read_all_chooses_custom_time_and_clears_its_fields(self):
        c = self.c
        self.assertTrue(c.get("FrmInfrared/Tim")["running"])
        for path in ("txtVer", "txtCJ", "txtSC", "Txtrq(0)", "txtDate(3)"):
            c.set("FrmInfrared/" + path, "7")
        c.set("FrmInfrared/txtBarCode", BAR)
        c.click("FrmInfrared/cmdCJR")
        wait_status(c, "提示信息:正在读取读取室温采集终端配置参数。。。")
        self.assertTrue(c.get("FrmInfrared/Option5(1)")["checked"])
        self.assertFalse(c.get("FrmInfrared/Tim")["running"])
        for path in ("txtVer", "txtCJ", "txtSC", "Txtrq(0)", "txtDate(3)"):
            self.assertEqual(c.text("FrmInfrared/" + path), "", path)


class ChecksAndMessageBoxes(Base):
    def test_bar_code_checks(self):
        c = self.c
        c.set("FrmInfrared/txtBarCode", "")
        self.click_expect_box("cmdCommType", "请先读取或输入条形码")
        # The clock fields follow the computer's clock once the timer has ticked.
        c.wait_for(lambda: c.text("FrmInfrared/Txtrq(5)") != "", timeout=3)
        self.click_expect_box("cmdTime", "请先读取或输入条形码")
        for button in ("cmdBarCodeW", "cmdIpR", "cmdSpareIpR", "cmdShowPra", "cmdCJR", "cmdSleep"):
            self.click_expect_box(button, "请输入条形码")
        c.set("FrmInfrared/txtBarCode", "201234567890")   # 12 digits
        for button in ("cmdBarCodeW", "cmdIpR", "cmdSpareIpR", "cmdShowPra", "cmdCJR", "cmdCommType", "cmdSleep"):
            self.click_expect_box(button, "条形码应该为13位")

    def test_value_checks(self):
        c = self.c
        c.set("FrmInfrared/txtBarCode", BAR)
        self.click_expect_box("cmdIpW", "请输入IP和端口")
        for i, v in enumerate(["192", "300", "1", "2", "80"]):
            c.set("FrmInfrared/txtIp(%d)" % i, v)
        self.click_expect_box("cmdIpW", "IP数值不正确，请重新输入")
        c.set("FrmInfrared/txtIp(1)", "168")
        c.set("FrmInfrared/txtIp(4)", "65536")
        self.click_expect_box("cmdIpW", "端口号数值不正确，请重新输入")
        self.click_expect_box("cmdSpareIpW", "请输入备用IP和端口")
        for i, v in enumerate(["256", "0", "0", "1", "80"]):
            c.set("FrmInfrared/txtSpareIp(%d)" % i, v)
        self.click_expect_box("cmdSpareIpW", "备用IP数值不正确，请重新输入")
        c.set("FrmInfrared/txtSpareIp(0)", "10")
        c.set("FrmInfrared/txtSpareIp(4)", "70000")
        self.click_expect_box("cmdSpareIpW", "备用端口号数值不正确，请重新输入")
        self.click_expect_box("cmdCJW", "请输入采集数据时间间隔")
        c.set("FrmInfrared/txtCJ", "1441")
        self.click_expect_box("cmdCJW", "采集数据时间间隔超范围，请重新输入")
        self.click_expect_box("cmdSCW", "请输入上传数据时间间隔")
        c.set("FrmInfrared/txtSC", "65536")
        self.click_expect_box("cmdSCW", "上传数据时间间隔超范围，请重新输入")
        self.click_expect_box("cmdHear", "心跳包时间间隔超范围，请重新输入")   # empty is 0
        self.click_expect_box("cmdSetSilence", "请输入起始月日及中止月日")
        for i, v in enumerate(["13", "1", "1", "1"]):
            c.set("FrmInfrared/txtDate(%d)" % i, v)
        self.click_expect_box("cmdSetSilence", "起始月设置错误")
        c.set("FrmInfrared/txtDate(0)", "1")
        c.set("FrmInfrared/txtDate(3)", "32")
        self.click_expect_box("cmdSetSilence", "中止日设置错误")

    def test_clock_checks_are_plain_warning_boxes(self):
        c = self.c
        c.set("FrmInfrared/txtBarCode", BAR)
        c.click("FrmInfrared/Option5(1)")
        for i, v in enumerate(["23", "02", "29", "08", "30", "00"]):
            c.set("FrmInfrared/Txtrq(%d)" % i, v)
        self.click_expect_box("cmdTime", "日必须1-28", title="警告", icon="none")
        c.set("FrmInfrared/Txtrq(0)", "ab")
        self.click_expect_box("cmdTime", "年必须为数字", title="警告", icon="none")
        c.set("FrmInfrared/Txtrq(0)", "24")
        c.set("FrmInfrared/Txtrq(3)", "24")
        self.click_expect_box("cmdTime", "小时必须0-23", title="警告", icon="none")

    def test_read_with_failed_bar_code_check_still_clears_and_keeps_nothing_sent(self):
        c = self.c
        for i in range(5):
            c.set("FrmInfrared/txtIp(%d)" % i, "9")
        c.set("FrmInfrared/txtBarCode", "")
        self.click_expect_box("cmdIpR", "请输入条形码")
        for i in range(5):
            self.assertEqual(c.text("FrmInfrared/txtIp(%d)" % i), "")
        self.assertEqual(c.text("FrmInfrared/txtBaoWen"), "")
        self.assertEqual(status(c), "系统提示")


if __name__ == "__main__":
    unittest.main()
