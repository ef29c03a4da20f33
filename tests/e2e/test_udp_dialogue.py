"""The UDP data centre end to end: the real console, a scripted terminal on 127.0.0.1."""
import os
import socket
import sys
import time
import unittest

import test_tcp_dialogue as base
from harness import Console, free_port

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import crc16, frame, reply  # noqa: E402

W = "frmServerInfrared_UDP"
BAR = base.BAR
UPLOAD_END = base.UPLOAD_END


class UdpConsole(Console):
    def open_udp(self, start=True):
        self.click("frmMainDtu/M_Infrared_UDP")
        self.wait_window(W)
        self.set(W + "/TxtLocalIp1", "127.0.0.1")
        self.port = free_port()
        self.set(W + "/TxtLocalPort1", str(self.port))
        self.term = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.term.bind(("127.0.0.1", 0))
        if start:
            self.click(W + "/CmdYes")
            self.wait_for(lambda: self.panel() == "UDP服务已启动！", what="service started")
        return self

    def panel(self):
        return self.get(W + "/StatusBar1")["panels"][0]

    def send(self, data):
        self.term.sendto(data, ("127.0.0.1", self.port))

    def recv(self, timeout=3.0):
        self.term.settimeout(timeout)
        try:
            data, addr = self.term.recvfrom(70000)
        except socket.timeout:
            return None
        assert addr == ("127.0.0.1", self.port), addr
        return data

    def status(self):
        return self.text(W + "/LblInf")

    def wait_status(self, text, timeout=4.0):
        return self.wait_for(lambda: self.status() == text, timeout=timeout, what=text)

    def stop(self):
        if getattr(self, "term", None):
            self.term.close()
        super().stop()


class UdpDialogue(unittest.TestCase):
    def test_registration_heart_beat_and_oversized_datagrams(self):
        with UdpConsole() as c:
            c.open_udp()
            t0 = time.monotonic()
            c.send(frame(b"QV", 0x01, BAR))
            got = c.recv()
            self.assertGreaterEqual(time.monotonic() - t0, 1.0)
            self.assertEqual(got, reply(0x71, BAR, b"\x00\x00\x00"))
            c.wait_status("提示信息:主机响应握手成功！")
            self.assertEqual(c.text(W + "/CboId"), "127.0.0.1")
            self.assertEqual(c.text(W + "/Txtport"), str(c.term.getsockname()[1]))
            self.assertEqual(c.text(W + "/txtBarCode"), BAR)
            self.assertEqual(c.text(W + "/TxtDQID"), BAR)
            # No heart-beat answer on UDP: the intake cleared the status line.
            c.send(frame(b"QV", 0x02, BAR, b"\x00\x00\x00"))
            c.wait_for(lambda: c.status() == "", what="empty status")
            self.assertIsNone(c.recv(1.3))
            self.assertIn("RX: 51 56 02", c.text(W + "/txtBaoWen"))
            # A datagram beyond 32767 bytes is logged as received and ignored.
            big = b"QV" + bytes(40000)
            c.send(big)
            c.wait_for(lambda: len(c.text(W + "/txtBaoWen")) > 100000, what="the big datagram logged")
            self.assertIsNone(c.recv(1.3))
            # 0x7B sub-code 3 is decoded here.
            c.send(reply(0x7B, BAR, bytes([0x00, 0x00, 0x00, 0x03, 0x00, 0x0F, 0x3C])))
            c.wait_status("提示信息:集抄器读取采集数据及心跳包时间间隔成功！")
            self.assertEqual(c.text(W + "/txtCJ"), "15")
            self.assertEqual(c.text(W + "/txtHeartbeat"), "60")
            self.assertNotIn("frmServerInfrared_TCP", [w["name"] for w in c.windows() if w["visible"]])

    def test_queued_request_leaves_a_tenth_of_a_second_after_the_answer(self):
        with UdpConsole() as c:
            c.open_udp()
            c.send(frame(b"QV", 0x01, BAR))
            self.assertIsNotNone(c.recv())
            c.click(W + "/opMode(1)")
            c.wait_for(lambda: not c.get(W + "/cmdBarCodeR")["enabled"])
            self.assertTrue(c.get(W + "/cmdSCW")["enabled"])
            c.set(W + "/txtCJ", "30")
            c.click(W + "/cmdCJW")
            c.wait_status("提示信息:准备设置采集数据时间间隔。。。")
            c.send(UPLOAD_END)
            answer = c.recv()
            t1 = time.monotonic()
            self.assertEqual(answer, bytes([0x51, 0x06, 0x02, 0x00, 0xAB]))
            req = c.recv()
            gap = time.monotonic() - t1
            self.assertGreaterEqual(gap, 0.09)
            self.assertLess(gap, 0.6)
            self.assertEqual(req[:3], b"QV\x0a")
            self.assertEqual(req[3:10], bytes.fromhex("0" + BAR))
            self.assertEqual(crc16(req[:-3]), req[-3] | req[-2] << 8)
            c.wait_status("提示信息:数据上传结束，并发送设置指令！")
            c.send(UPLOAD_END)
            self.assertEqual(c.recv(), bytes([0x51, 0x05, 0x02, 0x00, 0xAB]))

    def test_remote_configuration_and_the_terminal_endpoint(self):
        with UdpConsole() as c:
            c.open_udp()
            # Before any handshake nothing is sent.
            c.set(W + "/CboId", "127.0.0.1")
            c.click(W + "/cmdBarCodeR")
            c.wait_status("提示信息:请等待握手成功再操作。。。")
            c.send(frame(b"QV", 0x01, BAR))
            self.assertIsNotNone(c.recv())
            # Without a terminal address the endpoint buttons stop at once.
            c.set(W + "/CboId", "")
            c.set(W + "/txtIp(0)", "9")
            c.click(W + "/cmdIpR")
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["title"], box["icon"]),
                             ("请输入需要配置模块的IP地址和端口号！", "系统提示:", "none"))
            c.answer()
            self.assertEqual(c.text(W + "/txtIp(0)"), "9")
            # Buttons without the endpoint check go on to the bar-code checks.
            c.set(W + "/TxtDQID", "")
            c.click(W + "/cmdCJR")
            box = c.wait_msgbox()
            self.assertEqual(box["text"], "请选择要通讯设备的条形码")
            c.answer()
            # The endpoint typed in is where requests go.
            c.set(W + "/CboId", "127.0.0.1")
            c.set(W + "/Txtport", str(c.term.getsockname()[1]))
            c.set(W + "/TxtDQID", BAR)
            c.click(W + "/cmdBarCodeR")
            self.assertEqual(c.recv(), bytes.fromhex("51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D"))
            c.wait_status("提示信息:正在读取条形码。。。")
            c.set(W + "/txtSC", "60")
            c.click(W + "/cmdSCW")
            req = c.recv()
            self.assertEqual(req[:3], b"QV\x0a")
            c.wait_status("提示信息:正在配置上传数据时间间隔。。。")
            self.assertIn("TX: 51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D      ",
                          c.text(W + "/txtBaoWen"))


    def test_an_endpoint_that_cannot_be_a_destination_changes_nothing(self):
        with UdpConsole() as c:
            c.open_udp()
            c.send(frame(b"QV", 0x01, BAR))
            self.assertIsNotNone(c.recv())
            c.wait_status("提示信息:主机响应握手成功！")
            c.set(W + "/txtIp(0)", "9")
            own = str(c.term.getsockname()[1])
            for host, port in (("127.0.0.1", "70000"), ("no.such.host.invalid", own)):
                c.set(W + "/CboId", host)
                c.set(W + "/Txtport", port)
                log = c.text(W + "/txtBaoWen")
                c.click(W + "/cmdIpR")
                box = c.wait_msgbox()
                self.assertEqual((box["text"], box["title"], box["icon"]),
                                 ("请输入需要配置模块的IP地址和端口号！", "系统提示:", "none"))
                c.answer()
                self.assertEqual(c.text(W + "/txtIp(0)"), "9")
                self.assertEqual(c.status(), "提示信息:主机响应握手成功！")
                self.assertEqual(c.text(W + "/txtBaoWen"), log)
            # The destination is still the terminal's: the next press reaches it.
            c.set(W + "/CboId", "127.0.0.1")
            c.set(W + "/Txtport", own)
            c.click(W + "/cmdBarCodeR")
            self.assertEqual(c.recv(), bytes.fromhex("51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D"))
            c.wait_status("提示信息:正在读取条形码。。。")
            # The port is the number the text starts with, exponent included, blanks skipped.
            c.set(W + "/CboId", "127.0.0.1")
            c.set(W + "/Txtport", " %s0 E-1x" % own)
            c.set(W + "/txtSC", "60")
            c.click(W + "/cmdSCW")
            self.assertEqual(c.recv()[:3], b"QV\x0a")
            c.wait_status("提示信息:正在配置上传数据时间间隔。。。")
            # With the service stopped nothing leaves, and no sending text claims it did.
            c.click(W + "/CmdNo")
            c.wait_for(lambda: c.panel() == "UDP服务已停止!")
            c.click(W + "/cmdShowPra")
            c.wait_for(lambda: c.text(W + "/txtBaoWen").count("TX: 51 56 09") == 1, what="request logged")
            self.assertIsNone(c.recv(0.5))
            self.assertEqual(c.status(), "提示信息:正在配置上传数据时间间隔。。。")


class UdpWithTheSimulator(unittest.TestCase):
    def test_full_dialogue_with_heat_meters(self):
        import os
        import subprocess
        from harness import bin_dir
        sim = os.path.join(bin_dir(), "ht6630-terminal")
        self.assertTrue(os.path.exists(sim), "ht6630-terminal not built: " + sim)
        with UdpConsole() as c:
            c.open_udp()
            p = subprocess.Popen([sim, "--udp", "127.0.0.1:%d" % c.port, "--once", "--heat-meters", "3",
                                  "--duration", "9"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            try:
                c.wait_status("提示信息:数据上传结束，并进入实时采集模式！", timeout=9)
                self.assertEqual(c.text(W + "/TxtDQID"), BAR)
                self.assertNotEqual(c.text(W + "/DataReceive"), "")
                log = c.text(W + "/txtBaoWen")
                self.assertIn("TX: 71 76 9C 02 01 23 45 67 89 01 00 06 03 05 03 ", log)
                self.assertIn("TX: 51 07 02 00 AB ", log)
            finally:
                p.kill()
                p.communicate(timeout=5)


class UdpStartStop(unittest.TestCase):
    def test_start_stop_and_close_rules(self):
        with UdpConsole() as c:
            c.open_udp(start=False)
            self.assertEqual(c.text(W + "/Txtport"), "2020")
            c.click(W + "/CmdNo")
            c.wait_for(lambda: c.panel() == "UDP服务已停止!")
            self.assertTrue(c.get(W + "/CmdYes")["enabled"] and c.get(W + "/CmdNo")["enabled"])
            c.set(W + "/TxtLocalPort1", "")
            c.click(W + "/CmdYes")
            self.assertEqual(c.wait_msgbox()["text"], "端口号必须为数值")
            c.answer()
            # A port another socket holds: the bind fails, the service stays stopped.
            busy = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            busy.bind(("127.0.0.1", 0))
            c.set(W + "/TxtLocalPort1", str(busy.getsockname()[1]))
            c.click(W + "/CmdYes")
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["title"], box["icon"]), ("IP地址不可用", "数据中心IP地址", "critical"))
            c.answer()
            busy.close()
            c.set(W + "/TxtLocalPort1", str(c.port))
            c.click(W + "/CmdYes")
            c.wait_for(lambda: c.panel() == "UDP服务已启动！")
            self.assertTrue(c.get(W + "/CmdYes")["enabled"] and c.get(W + "/CmdNo")["enabled"])
            c.click(W + "/M_QDFW")
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["title"], box["icon"]), ("UDP服务已经启动!", "启动服务", "warning"))
            c.answer()
            c.wait_for(lambda: not c.msgboxes())
            c.close(W, check=False)
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["title"]), ("请先停止服务!", "退出"))
            c.answer()
            c.click(W + "/M_DKFW")
            c.wait_for(lambda: c.panel() == "UDP服务已停止!")
            c.close(W)
            c.wait_for(lambda: not any(w["name"] == W and w["visible"] for w in c.windows()),
                       what="the console closed")


if __name__ == "__main__":
    unittest.main()
