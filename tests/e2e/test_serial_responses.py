"""Responses arriving on the pseudo-terminal: fields and status texts of every kind,
CRC and length failures, OpName/ExpectLen interplay, the 0.6 s quiet rule, split
responses, a block while the console is closed, the database step and a device
that disappears."""
import os
import sqlite3
import time
import unittest

from harness import Console, PtyPeer, bin_dir
from serial_support import (BAR, hexline, open_all, open_console, open_port, open_setport, response,
                            status, wait_status, settle)

HEARTBEAT_OK = bytes.fromhex("71 76 7A 02 01 23 45 67 89 01 00 03 04 3C 00 2D 88 0D")
ALL_PARAMS = bytes.fromhex("71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C AA 0B 0F 03 0F "
                           "24 05 17 08 30 00 AA 45 0D")


class Base(unittest.TestCase):
    def setUp(self):
        self.peer = PtyPeer()
        self.c = Console(serial_ports=[self.peer.path])
        open_all(self.c)
        self.c.set("FrmInfrared/txtBarCode", BAR)

    def tearDown(self):
        self.c.stop()
        self.peer.close()

    def send_request(self, button, **fields):
        for path, value in fields.items():
            self.c.set("FrmInfrared/" + path, value)
        self.c.click("FrmInfrared/" + button)
        self.c.wait_for(lambda: settle(self.peer, 0.2), timeout=3, what=button + " on the wire")

    def answer(self, block, want_status):
        self.peer.write(block)
        return wait_status(self.c, want_status)


class Responses(Base):
    def test_heartbeat_ack_and_wrong_function_code(self):
        self.send_request("cmdHear", txtHeartbeat="60")
        self.answer(HEARTBEAT_OK, "提示信息:设置心跳包时间间隔成功！")
        log = self.c.text("FrmInfrared/txtBaoWen")
        self.assertIn("\r\nRX: " + hexline(HEARTBEAT_OK) + "     ", log)
        wrong = response(0x7B, bytes.fromhex("04 3C 00"))
        self.answer(wrong, "提示信息:设置心跳包时间间隔失败，功能码错误！")
        # The same response again is judged again.
        self.answer(HEARTBEAT_OK, "提示信息:设置心跳包时间间隔成功！")

    def test_read_all_parameters_fills_every_field(self):
        c = self.c
        self.send_request("cmdCJR")
        self.answer(ALL_PARAMS, "提示信息:读取采集终端参数配置成功！")
        want = {"txtVer": "V1.05", "txtCJ": "15", "txtSC": "60", "txtHeartbeat": "60", "txtDate(0)": "11",
                "txtDate(1)": "15", "txtDate(2)": "3", "txtDate(3)": "15", "Txtrq(0)": "24", "Txtrq(1)": "05",
                "Txtrq(2)": "17", "Txtrq(3)": "08", "Txtrq(4)": "30", "Txtrq(5)": "00"}
        for path, text in want.items():
            self.assertEqual(c.text("FrmInfrared/" + path), text, path)
        self.assertEqual(c.text("FrmInfrared/Combo1"), "UDP")
        self.assertTrue(c.get("FrmInfrared/optEnabled(0)")["checked"])
        self.assertFalse(c.get("FrmInfrared/optEnabled(1)")["checked"])
        time.sleep(1.2)   # the clock copy is stopped: the terminal's clock stays
        self.assertEqual(c.text("FrmInfrared/Txtrq(0)"), "24")

    def test_reads_of_bar_code_ip_spare_ip_and_live_values(self):
        c = self.c
        self.send_request("cmdBarCodeR")
        self.answer(response(0x74, bytes.fromhex("00 00 02 01 23 45 67 89 09"), addr=bytes([0x99] * 7)),
                    "提示信息:读取条形码成功！")
        self.assertEqual(c.text("FrmInfrared/txtBarCode"), "2012345678909")
        c.set("FrmInfrared/txtBarCode", BAR)
        self.send_request("cmdIpR")
        self.answer(response(0x76, bytes.fromhex("05 0B C0 A8 01 02 07 E4")), "提示信息:读取Velmar内部IP和端口成功！")
        self.assertEqual([c.text("FrmInfrared/txtIp(%d)" % i) for i in range(5)], ["192", "168", "1", "2", "2020"])
        self.send_request("cmdSpareIpR")
        self.answer(response(0x78, bytes.fromhex("0A 00 00 01 1F 90")), "提示信息:读取备用IP和端口成功！")
        self.assertEqual([c.text("FrmInfrared/txtSpareIp(%d)" % i) for i in range(5)], ["10", "0", "0", "1", "8080"])
        self.send_request("cmdShowPra")
        self.answer(response(0x79, bytes.fromhex("00 00 FF 9C 01 C8")), "提示信息:读取实时温度湿度成功！")
        self.assertEqual((c.text("FrmInfrared/txtTemp"), c.text("FrmInfrared/txtHumi")), ("-10", "45.6"))

    def test_acknowledgements_of_every_set_request(self):
        c = self.c
        c.click("FrmInfrared/Option5(1)")
        cases = [
            ("cmdBarCodeW", {}, 0x73, 7, "提示信息:设置条形码成功！"),
            ("cmdIpW", {"txtIp(0)": "1", "txtIp(1)": "2", "txtIp(2)": "3", "txtIp(3)": "4", "txtIp(4)": "5"},
             0x75, 8, "提示信息:设置Velmar内部IP和端口成功！"),
            ("cmdSpareIpW", {"txtSpareIp(0)": "1", "txtSpareIp(1)": "2", "txtSpareIp(2)": "3",
                             "txtSpareIp(3)": "4", "txtSpareIp(4)": "5"}, 0x77, 6, "提示信息:设置备用IP和端口成功！"),
            ("cmdCJW", {"txtCJ": "15"}, 0x7A, 3, "提示信息:设置采集数据时间间隔成功！"),
            ("cmdSCW", {"txtSC": "0"}, 0x7A, 3, "提示信息:设置上传数据时间间隔成功！"),
            ("cmdCommType", {}, 0x7A, 3, "提示信息:设置通讯类型成功！"),
            ("cmdSetSilence", {"txtDate(0)": "1", "txtDate(1)": "2", "txtDate(2)": "3", "txtDate(3)": "4"},
             0x7A, 3, "提示信息:配置静默参数成功！"),
            ("cmdSleep", {}, 0x7A, 3, "提示信息:设置是否休眠成功！"),
            ("cmdTime", {"Txtrq(0)": "24", "Txtrq(1)": "5", "Txtrq(2)": "17", "Txtrq(3)": "8", "Txtrq(4)": "30",
                         "Txtrq(5)": "0"}, 0x7A, 3, "提示信息:设置实时日期与时间成功！"),
        ]
        for button, fields, code, n, text in cases:
            with self.subTest(button=button):
                self.send_request(button, **fields)
                self.answer(response(code, bytes(n)), text)

    def test_crc_length_and_start_byte_failures(self):
        c = self.c
        self.send_request("cmdHear", txtHeartbeat="60")
        bad_crc = bytearray(HEARTBEAT_OK)
        bad_crc[-3] ^= 0xFF
        self.answer(bytes(bad_crc), "提示信息:通讯失败，CRC校验错误！")
        self.answer(HEARTBEAT_OK[:-1], "提示信息:通讯失败！")            # 17 bytes, 18 expected
        qv = bytearray(HEARTBEAT_OK)
        qv[0:2] = b"QV"
        self.answer(bytes(qv), "提示信息:握手失败，CRC校验错误！")
        self.answer(b"\x71", "提示信息:通讯失败！")                       # one byte: nothing read beyond it
        # A failed block changes no field.
        self.send_request("cmdCJR")
        c.set("FrmInfrared/txtCJ", "77")
        bad = bytearray(ALL_PARAMS)
        bad[-2] ^= 0x01
        self.answer(bytes(bad), "提示信息:通讯失败，CRC校验错误！")
        self.assertEqual(c.text("FrmInfrared/txtCJ"), "77")

    def test_opname_changed_by_an_unsent_request(self):
        c = self.c
        self.send_request("cmdHear", txtHeartbeat="60")      # ExpectLen 18
        c.set("FrmInfrared/txtBarCode", "")
        c.click("FrmInfrared/cmdShowPra")                    # OpName changes; the bar-code check stops it
        c.wait_msgbox()
        c.answer()
        self.answer(HEARTBEAT_OK, "提示信息:读取实时温度湿度失败！")
        c.click("FrmInfrared/cmdCommType")                   # OpName first, then the bar-code check
        self.assertEqual(c.wait_msgbox()["text"], "请先读取或输入条形码")
        c.answer()
        self.answer(HEARTBEAT_OK, "提示信息:设置通讯类型成功！")
        self.assertEqual(settle(self.peer, 0.2), b"")


class Timing(Base):
    def test_one_burst_is_handed_on_once_after_it_has_been_quiet(self):
        c = self.c
        self.send_request("cmdHear", txtHeartbeat="60")
        self.peer.write(HEARTBEAT_OK[:6])
        time.sleep(0.3)
        self.peer.write(HEARTBEAT_OK[6:12])
        time.sleep(0.3)
        last = time.monotonic()
        self.peer.write(HEARTBEAT_OK[12:])
        time.sleep(0.45)
        self.assertEqual(status(c), "提示信息:正在设置心跳包时间间隔。。。")   # still quiet-waiting
        wait_status(c, "提示信息:设置心跳包时间间隔成功！", timeout=2)
        took = time.monotonic() - last
        self.assertGreaterEqual(took, 0.6)
        self.assertLess(took, 1.5)   # the 0.6 s quiet time, not a second one on top
        self.assertEqual(c.text("FrmInfrared/txtBaoWen").count("RX: "), 1)

    def test_a_pause_longer_than_the_quiet_time_splits_the_response(self):
        c = self.c
        self.send_request("cmdHear", txtHeartbeat="60")
        self.peer.write(HEARTBEAT_OK[:9])
        wait_status(c, "提示信息:通讯失败！", timeout=2)
        time.sleep(0.2)
        self.peer.write(HEARTBEAT_OK[9:])
        c.wait_for(lambda: c.text("FrmInfrared/txtBaoWen").count("RX: ") == 2, timeout=2)
        self.assertEqual(status(c), "提示信息:通讯失败！")
        log = c.text("FrmInfrared/txtBaoWen")
        self.assertIn("RX: " + hexline(HEARTBEAT_OK[:9]) + "     ", log)
        self.assertIn("RX: " + hexline(HEARTBEAT_OK[9:]) + "     ", log)

    def test_a_long_stream_is_cut_at_32767_bytes(self):
        c = self.c
        self.send_request("cmdHear", txtHeartbeat="60")   # raises the receive threshold
        c.click("FrmInfrared/CheckShow")   # keep the log small; the status still shows each block
        data = bytes(range(256)) * 160      # 40,960 bytes, written without a pause
        self.peer.write(data)
        wait_status(c, "提示信息:通讯失败！", timeout=5)

    def test_nothing_is_handed_on_before_the_first_request(self):
        # The port raises no receive event until a request has set its threshold
        # to 1; what arrived before is discarded by that request.
        c = self.c
        self.peer.write(HEARTBEAT_OK)
        time.sleep(1.0)
        self.assertEqual(status(c), "系统提示")
        self.assertEqual(c.text("FrmInfrared/txtBaoWen"), "")
        self.send_request("cmdHear", txtHeartbeat="60")
        self.answer(HEARTBEAT_OK, "提示信息:设置心跳包时间间隔成功！")
        self.assertEqual(c.text("FrmInfrared/txtBaoWen").count("RX: "), 1)
        # From then on it stays raised, also across closing and reopening the console.
        c.close("FrmInfrared")
        c.wait_for(lambda: (c.window("FrmInfrared") or {"visible": False})["visible"] is False)
        open_console(c)
        self.peer.write(HEARTBEAT_OK)
        wait_status(c, "提示信息:设置心跳包时间间隔成功！")


class ConsoleLifecycle(unittest.TestCase):
    def test_block_while_closed_then_open_shows_it_without_loading_again(self):
        with PtyPeer() as peer, Console(serial_ports=[peer.path]) as c:
            open_all(c)
            c.set("FrmInfrared/txtBarCode", BAR)
            c.set("FrmInfrared/txtHeartbeat", "60")
            c.click("FrmInfrared/cmdHear")
            c.wait_for(lambda: settle(peer, 0.2), timeout=3)
            c.close("FrmInfrared")
            c.wait_for(lambda: (c.window("FrmInfrared") or {"visible": False})["visible"] is False)
            peer.write(HEARTBEAT_OK)
            time.sleep(0.9)
            open_console(c)
            self.assertEqual(status(c), "提示信息:设置心跳包时间间隔成功！")
            self.assertIn("RX: " + hexline(HEARTBEAT_OK), c.text("FrmInfrared/txtBaoWen"))
            # Closing unloads it: the next opening runs the load step again.
            c.close("FrmInfrared")
            c.wait_for(lambda: (c.window("FrmInfrared") or {"visible": False})["visible"] is False)
            open_console(c)
            self.assertEqual(status(c), "系统提示")
            self.assertEqual(c.text("FrmInfrared/txtBaoWen"), "")
            self.assertEqual(c.text("FrmInfrared/Combo1"), "TCP")

    def test_opening_the_console_empties_temp_data(self):
        db = os.path.join(bin_dir(), "Data", "data.mdb")
        con = sqlite3.connect(db)
        con.execute("insert into TempData (BarCode, Temperature) values ('2012345678901', 21.5)")
        con.commit()
        self.assertGreater(con.execute("select count(*) from TempData").fetchone()[0], 0)
        with PtyPeer() as peer, Console(serial_ports=[peer.path]) as c:
            open_port(c)
            self.assertGreater(con.execute("select count(*) from TempData").fetchone()[0], 0)
            open_console(c)
            c.wait_for(lambda: con.execute("select count(*) from TempData").fetchone()[0] == 0, timeout=3)
        con.close()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class DisappearingDevice(unittest.TestCase):
    def test_port_closes_operator_is_told_and_port_reopens(self):
        gone, spare = PtyPeer(), PtyPeer()
        try:
            with Console(serial_ports=[gone.path, spare.path]) as c:
                open_all(c)
                c.set("FrmInfrared/txtBarCode", BAR)
                gone.close()
                wait_status(c, "提示信息:串口已断开，请重新设置串口！", timeout=3)
                before = cpu_seconds(c.proc.pid)
                time.sleep(1.0)
                self.assertLess(cpu_seconds(c.proc.pid) - before, 0.5)   # no busy loop
                c.set("FrmInfrared/txtHeartbeat", "60")
                c.click("FrmInfrared/cmdHear")                       # nothing to write to: no crash
                c.ping()
                self.assertEqual(status(c), "提示信息:串口已断开，请重新设置串口！")
                c.close("FrmInfrared")
                c.click("frmMainDtu/M_InfraredX")
                self.assertEqual(c.wait_msgbox()["text"], "请先设置串口！")
                c.answer()
                open_setport(c)
                # COM1's device is gone (its pty number may already serve another
                # program, so only COM2 is asserted); choose COM2.
                items = c.get("FrmSetPort/CboCom")["items"]
                self.assertIn("COM2", items)
                c.select("FrmSetPort/CboCom", items.index("COM2"))
                c.wait_for(lambda: c.text("FrmSetPort/CboCom") == "COM2")
                c.close("FrmSetPort")
                c.wait_for(lambda: c.window("FrmSetPort") is None)
                open_console(c)
                c.set("FrmInfrared/txtBarCode", BAR)
                c.set("FrmInfrared/txtHeartbeat", "60")
                c.click("FrmInfrared/cmdHear")
                self.assertEqual(c.wait_for(lambda: settle(spare, 0.2), timeout=3).hex(),
                                 "51560a020123456789010002043cae130d")
                spare.write(HEARTBEAT_OK)
                wait_status(c, "提示信息:设置心跳包时间间隔成功！")
        finally:
            gone.close()
            spare.close()


if __name__ == "__main__":
    unittest.main()
