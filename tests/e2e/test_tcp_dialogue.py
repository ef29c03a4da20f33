"""The TCP data centre end to end: the real console, scripted terminals on 127.0.0.1."""
import json
import os
import re
import socket
import subprocess
import sys
import time
import unittest

from harness import Console, bin_dir, free_port

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ht6630_frames import crc16, frame, reply  # noqa: E402

W = "frmServerInfrared_TCP"
BAR = "2012345678901"
TIME_RE = r"\d\d:\d\d:\d\d"


UPLOAD_END = bytes([0x71, 0x05, 0x02, 0x00, 0xAB]) + bytes(10)


def recv_n(sock, n, timeout=3.0):
    """Exactly n bytes, or what came before the time ran out."""
    sock.settimeout(0.1)
    out = b""
    deadline = time.monotonic() + timeout
    while len(out) < n and time.monotonic() < deadline:
        try:
            chunk = sock.recv(n - len(out))
        except socket.timeout:
            continue
        if not chunk:
            break
        out += chunk
    return out


def silent(sock, seconds):
    """True when nothing arrives within `seconds`."""
    sock.settimeout(seconds)
    try:
        return sock.recv(100) == b""
    except socket.timeout:
        return True


class TcpConsole(Console):
    """The console with its TCP data centre open and, unless told, started on 127.0.0.1."""

    def open_tcp(self, start=True):
        self.click("frmMainDtu/M_Infrared_TCP")
        self.wait_window(W)
        self.set(W + "/TxtLocalIp1", "127.0.0.1")
        self.port = free_port()
        self.set(W + "/TxtLocalPort1", str(self.port))
        if start:
            self.click(W + "/CmdYes")
            self.wait_for(lambda: self.panel() == "TCP服务已启动!", what="service started")
        return self

    def panel(self):
        return self.get(W + "/StatusBar1")["panels"][0]

    def terminal(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=3)
        self._peers.append(s)
        return s

    def items(self, name):
        return self.get(W + "/" + name)["items"]

    def status(self):
        return self.text(W + "/LblInf")

    def wait_status(self, text, timeout=4.0):
        return self.wait_for(lambda: self.status() == text, timeout=timeout, what=text)

    def netlog(self):
        return self.text("frmInfo/txtBaoWen")

    def stop(self):
        for s in getattr(self, "_peers", []):
            try:
                s.close()
            except OSError:
                pass
        super().stop()


def tcp_console():
    c = TcpConsole()
    c._peers = []
    return c


class RegistrationAndLists(unittest.TestCase):
    def test_registration_is_answered_after_one_second_and_lists_follow_the_connection(self):
        with tcp_console() as c:
            c.open_tcp()
            s = c.terminal()
            t0 = time.monotonic()
            s.sendall(frame(b"QV", 0x01, BAR))
            got = recv_n(s, 18)
            elapsed = time.monotonic() - t0
            self.assertEqual(got, reply(0x71, BAR, b"\x00\x00\x00"))
            self.assertGreaterEqual(elapsed, 1.0)
            self.assertLess(elapsed, 1.6)
            c.wait_status("提示信息:主机响应握手成功！")
            self.assertEqual(c.items("List1"), [BAR])
            self.assertEqual(c.text(W + "/txtBarCode"), BAR)
            log = c.text(W + "/txtBaoWen")
            self.assertRegex(log, r"^RX: 51 56 01 02 01 23 45 67 89 01 00 00 [0-9A-F ]+0D      "
                             + TIME_RE + "\r\nTX: 71 76 71 02 01 23 45 67 89 01 00 03 00 00 00 "
                             "[0-9A-F]{2} [0-9A-F]{2} 0D      " + TIME_RE + "\r\n$")
            self.assertRegex(c.netlog(), "^注册" + BAR + "     " + TIME_RE + "\r\n$")
            # A second registration on the same connection adds no second entry.
            s.sendall(frame(b"QV", 0x01, BAR))
            self.assertEqual(len(recv_n(s, 18)), 18)
            self.assertEqual(c.items("List1"), [BAR])
            # The peer closes: offline, logged, the current id forgotten.
            c.select(W + "/List1", 0)
            c.wait_for(lambda: c.text(W + "/TxtDQID") == BAR)
            s.close()
            c.wait_for(lambda: c.items("List2") == [BAR], what="offline entry")
            self.assertEqual(c.items("List1"), [])
            self.assertRegex(c.netlog(), "断开" + BAR + "     " + TIME_RE + "\r\n$")
            self.assertEqual(c.text(W + "/TxtDQID"), BAR)     # the text box keeps it
            # It registers again: back online, once in each list at most.
            s2 = c.terminal()
            s2.sendall(frame(b"QV", 0x01, BAR))
            self.assertEqual(len(recv_n(s2, 18)), 18)
            self.assertEqual(c.items("List1"), [BAR])
            self.assertEqual(c.items("List2"), [])
            # A connection that closes before registering leaves one empty offline entry.
            for _ in range(2):
                s3 = c.terminal()
                time.sleep(0.2)
                s3.close()
                time.sleep(0.3)
            self.assertEqual(c.items("List2"), [""])
            self.assertRegex(c.netlog(), "断开     " + TIME_RE + "\r\n$")
            # The stop empties both lists and writes nothing to the network log.
            before = c.netlog()
            c.click(W + "/CmdNo")
            c.wait_for(lambda: c.panel() == "TCP服务已停止!")
            self.assertEqual(c.items("List1"), [])
            self.assertEqual(c.items("List2"), [])
            self.assertEqual(c.netlog(), before)
            self.assertEqual(recv_n(s2, 1, timeout=1.0), b"")   # its connection was closed

    def test_many_terminals_reconnecting_are_all_answered_about_one_second_later(self):
        with tcp_console() as c:
            c.open_tcp()
            socks = []
            for k in range(40):
                s = c.terminal()
                socks.append((s, "20%011d" % k, time.monotonic()))
                s.sendall(frame(b"QV", 0x01, "20%011d" % k))
            for s, bar, t0 in socks:
                got = recv_n(s, 18, timeout=4)
                self.assertEqual(got, reply(0x71, bar, b"\x00\x00\x00"))
                self.assertLess(time.monotonic() - t0, 2.5)
            self.assertEqual(len(c.items("List1")), 40)


class DialogueBranches(unittest.TestCase):
    def test_intake_heart_beat_and_invalid_blocks(self):
        with tcp_console() as c:
            c.open_tcp()
            s = c.terminal()
            # The heart beat is answered with the console's current bar code.
            c.set(W + "/TxtDQID", "2099999999999")
            s.sendall(frame(b"QV", 0x02, BAR, b"\x00\x00\x00"))
            self.assertEqual(recv_n(s, 18), reply(0x72, "2099999999999", b"\x00\x00\x00"))
            c.wait_status("提示信息:应答心跳包成功！")
            # Too short a heart beat: no reply.
            s.sendall(frame(b"QV", 0x02, BAR))
            c.wait_status("提示信息:应答心跳包失败！")
            self.assertTrue(silent(s, 1.3))
            # 14 bytes that are no frame: handed on as they came.
            s.sendall(bytes(range(1, 15)))
            c.wait_status("提示信息:自动上传数据无效,数据长度不够！", timeout=6)
            # A "QV" block of the announced length whose last byte is not 0D.
            bad = bytearray(frame(b"QV", 0x01, BAR))
            bad[-1] = 0x0E
            s.sendall(bytes(bad))
            c.wait_status("提示信息:自动上传数据无效,起始码或结束码错误！")
            # Bytes 1 and 2 = FE 68: ignored, the status line stays empty.
            s.sendall(bytes([0x00, 0xFE, 0x68]) + bytes(13))
            c.wait_for(lambda: c.status() == "", timeout=6, what="empty status")
            self.assertTrue(silent(s, 1.3))
            log = c.text(W + "/txtBaoWen")
            self.assertIn("RX: 00 FE 68 00", log)

    def test_coalesced_and_fragmented_frames(self):
        with tcp_console() as c:
            c.open_tcp()
            s = c.terminal()
            c.set(W + "/TxtDQID", BAR)
            # A registration and a heart beat in one arrival: both answered, in order.
            s.sendall(frame(b"QV", 0x01, BAR) + frame(b"QV", 0x02, BAR, b"\x00\x00\x00"))
            got = recv_n(s, 36)
            self.assertEqual(got, reply(0x71, BAR, b"\x00\x00\x00") + reply(0x72, BAR, b"\x00\x00\x00"))
            # A registration in three pieces: one block, one answer.
            f = frame(b"QV", 0x01, "2000000000007")
            for piece in (f[:2], f[2:9], f[9:]):
                s.sendall(piece)
                time.sleep(0.2)
            self.assertEqual(recv_n(s, 18), reply(0x71, "2000000000007", b"\x00\x00\x00"))
            self.assertTrue(silent(s, 1.2))
            self.assertEqual(c.items("List1"), [BAR, "2000000000007"])

    def test_partial_frame_held_at_the_close_is_handled_before_the_close(self):
        with tcp_console() as c:
            c.open_tcp()
            s = c.terminal()
            # A registration header announcing 3 payload bytes, cut after 15 bytes
            # whose last is 0D: held as a partial frame until the peer closes.
            s.sendall(frame(b"QV", 0x01, BAR, b"\x00\x00\x0D")[:15])
            time.sleep(0.3)
            s.close()
            c.wait_for(lambda: c.items("List2") == [BAR], what="offline entry")
            self.assertEqual(c.items("List1"), [])
            self.assertRegex(c.netlog(), "^注册" + BAR + "     " + TIME_RE + "\r\n断开" + BAR
                             + "     " + TIME_RE + "\r\n$")
            self.assertNotIn("TX: ", c.text(W + "/txtBaoWen"))

    def test_connection_closed_during_the_wait_is_never_touched(self):
        with tcp_console() as c:
            c.open_tcp()
            a = c.terminal()
            a.sendall(frame(b"QV", 0x01, BAR))
            time.sleep(0.3)
            a.close()
            b = c.terminal()      # takes the freed index at once
            b.sendall(frame(b"QV", 0x01, "2000000000002"))
            self.assertEqual(recv_n(b, 18), reply(0x71, "2000000000002", b"\x00\x00\x00"))
            self.assertTrue(silent(b, 1.0))   # the dropped reply did not go to the new connection
            log = c.text(W + "/txtBaoWen")
            self.assertEqual(log.count("TX: "), 1)
            self.assertEqual(c.items("List2"), [BAR])
            c.ping()

    def test_upload_end_answers_and_the_queued_request(self):
        with tcp_console() as c:
            c.open_tcp()
            s = c.terminal()
            s.sendall(frame(b"QV", 0x01, BAR))
            recv_n(s, 18)
            # Configuration mode: 07.
            s.sendall(UPLOAD_END)
            self.assertEqual(recv_n(s, 5), bytes([0x51, 0x07, 0x02, 0x00, 0xAB]))
            c.wait_status("提示信息:数据上传结束，并进入实时采集模式！")
            # Sleep mode, nothing queued: 05; the six first-page buttons are disabled.
            c.click(W + "/opMode(1)")
            c.wait_for(lambda: not c.get(W + "/cmdIpR")["enabled"])
            self.assertTrue(c.get(W + "/cmdHear")["enabled"])
            s.sendall(UPLOAD_END)
            self.assertEqual(recv_n(s, 5), bytes([0x51, 0x05, 0x02, 0x00, 0xAB]))
            c.wait_status("提示信息:数据上传结束，但上位机不进行任何设置！")
            # Two requests queued: only the last one leaves, after the 06 answer.
            c.set(W + "/TxtDQID", BAR)
            c.set(W + "/txtHeartbeat", "60")
            c.click(W + "/cmdHear")
            c.wait_status("提示信息:准备设置心跳包时间间隔。。。")
            c.click(W + "/cmdShowPra")
            c.wait_status("提示信息:准备读取实时温度湿度。。。")
            self.assertNotIn("TX: 51 56", c.text(W + "/txtBaoWen"))
            t0 = time.monotonic()
            s.sendall(UPLOAD_END)
            self.assertEqual(recv_n(s, 5), bytes([0x51, 0x06, 0x02, 0x00, 0xAB]))
            t1 = time.monotonic()
            req = recv_n(s, 16)
            t2 = time.monotonic()
            self.assertGreaterEqual(t1 - t0, 1.0)
            self.assertGreaterEqual(t2 - t1, 0.95)
            self.assertEqual(req, frame(b"QV", 0x09, BAR, b"\x03"))
            c.wait_status("提示信息:数据上传结束，并发送设置指令！")
            # Sent once only: the next upload end in sleep mode answers 05.
            s.sendall(UPLOAD_END)
            self.assertEqual(recv_n(s, 5), bytes([0x51, 0x05, 0x02, 0x00, 0xAB]))
            # The live reading comes back and is decoded.
            s.sendall(reply(0x79, BAR, bytes([0x00, 0x04, 0xFF, 0x38, 0x02, 0x58])))
            c.wait_status("提示信息:读取实时温度湿度成功！")
            self.assertEqual(c.text(W + "/txtTemp"), "-20")
            self.assertEqual(c.text(W + "/txtHumi"), "60")


class RemoteConfiguration(unittest.TestCase):
    def test_configuration_mode_sends_to_the_chosen_connection(self):
        with tcp_console() as c:
            c.open_tcp()
            c.set(W + "/txtHeartbeat", "60")
            # Bar-code checks first.
            c.click(W + "/cmdHear")
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["icon"]), ("请选择要通讯设备的条形码", "critical"))
            c.answer()
            c.set(W + "/TxtDQID", "123")
            c.click(W + "/cmdHear")
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["icon"]), ("条形码应该为13位", "critical"))
            c.answer()
            # No handshake yet.
            c.set(W + "/TxtDQID", BAR)
            c.click(W + "/cmdHear")
            c.wait_status("提示信息:请等待握手成功再操作。。。")
            a = c.terminal()
            a.sendall(frame(b"QV", 0x01, "2000000000001"))
            recv_n(a, 18)
            b = c.terminal()
            b.sendall(frame(b"QV", 0x01, BAR))
            recv_n(b, 18)
            # Nothing chosen in List1: no connection matches, nothing sent.
            c.click(W + "/cmdHear")
            c.wait_status("提示信息:正在设置心跳包时间间隔。。。")
            self.assertTrue(silent(a, 0.3) and silent(b, 0.3))
            # Choose the second terminal; a typed bar code addresses the frame,
            # the chosen entry picks the connection.
            c.select(W + "/List1", 1)
            c.wait_for(lambda: c.text(W + "/TxtDQID") == BAR)
            c.set(W + "/TxtDQID", "2077777777777")
            before = c.status()
            t0 = time.monotonic()
            c.click(W + "/cmdHear")
            got = recv_n(b, 17)
            self.assertLess(time.monotonic() - t0, 0.8)       # sent at once, no reply delay
            self.assertEqual(got[:10], frame(b"QV", 0x0A, "2077777777777", b"\x04\x3c")[:10])
            self.assertEqual(got[-1], 0x0D)
            self.assertEqual(crc16(got[:-3]), got[-3] | got[-2] << 8)
            self.assertTrue(silent(a, 0.3))
            self.assertEqual(c.status(), before)
            # Its generic acknowledgement names the operation.
            b.sendall(reply(0x7A, BAR, b"\x04\x00\x00"))
            c.wait_status("提示信息:设置心跳包时间间隔成功！")
            # Read bar code needs no current bar code and uses the broadcast address.
            c.set(W + "/TxtDQID", "")
            c.click(W + "/cmdBarCodeR")
            self.assertEqual(recv_n(b, 16), bytes.fromhex("51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D"))
            self.assertIn("TX: 51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D      ",
                          c.text(W + "/txtBaoWen"))


class StartStopAndExit(unittest.TestCase):
    def test_start_stop_close_and_exit_rules(self):
        with tcp_console() as c:
            c.open_tcp(start=False)
            self.assertEqual(c.text(W + "/TxtLocalPort1"), str(c.port))
            self.assertTrue(c.get(W + "/opMode(0)")["checked"])
            self.assertTrue(c.get(W + "/CmdYes")["enabled"] and c.get(W + "/CmdNo")["enabled"])
            c.click(W + "/CmdNo")
            c.wait_for(lambda: c.panel() == "TCP服务已停止!")
            self.assertFalse(c.get(W + "/CmdNo")["enabled"])
            self.assertTrue(c.get(W + "/CmdYes")["enabled"])
            cases = [("", "", "Ip地址或端口号不能为空", "系统提示"),
                     ("127.0.0.1", "20a", "端口号必须为数值", "系统提示"),
                     ("127.0.0.1", "70000", "端口号必须在0到65535之间!", "启动服务")]
            for ip, port, text, title in cases:
                c.set(W + "/TxtLocalIp1", ip)
                c.set(W + "/TxtLocalPort1", port)
                c.click(W + "/CmdYes")
                box = c.wait_msgbox()
                self.assertEqual((box["text"], box["title"]), (text, title))
                c.answer()
                c.wait_for(lambda: not c.msgboxes())
                self.assertNotEqual(c.panel(), "TCP服务已启动!")
            # A port in use: a clear message, the service stays stopped and usable.
            busy = socket.socket()
            busy.bind(("127.0.0.1", 0))
            busy.listen(1)
            c.set(W + "/TxtLocalIp1", "127.0.0.1")
            c.set(W + "/TxtLocalPort1", str(busy.getsockname()[1]))
            c.click(W + "/CmdYes")
            box = c.wait_msgbox()
            self.assertTrue(box["text"].startswith("TCP服务启动失败:"), box)
            self.assertEqual(box["icon"], "critical")
            c.answer()
            busy.close()
            self.assertTrue(c.get(W + "/CmdYes")["enabled"])
            c.set(W + "/TxtLocalPort1", str(c.port))
            c.click(W + "/CmdYes")
            c.wait_for(lambda: c.panel() == "TCP服务已启动!")
            self.assertFalse(c.get(W + "/CmdYes")["enabled"])
            c.click(W + "/M_QDFW")
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["title"], box["icon"]), ("TCP服务已经启动!", "启动服务", "warning"))
            c.answer()
            for attempt in ("close", "M_Exit"):
                c.wait_for(lambda: not c.msgboxes())
                if attempt == "close":
                    c.close(W, check=False)
                else:
                    c.click(W + "/M_Exit")
                box = c.wait_msgbox()
                self.assertEqual((box["text"], box["title"]), ("请先停止服务!", "退出"))
                c.answer()
                self.assertTrue(c.window(W)["visible"])
            c.click(W + "/Command1")
            box = c.wait_msgbox()
            self.assertRegex(box["text"], r"^\d{12}$")
            c.answer()
            c.click(W + "/M_DKFW")
            c.wait_for(lambda: c.panel() == "TCP服务已停止!")
            c.click(W + "/M_Exit")
            self.assertEqual(c.wait_exit(5), 0)


class WithTheSimulator(unittest.TestCase):
    def test_full_dialogue_with_heat_meters(self):
        sim = os.path.join(bin_dir(), "ht6630-terminal")
        self.assertTrue(os.path.exists(sim), "ht6630-terminal not built: " + sim)
        with tcp_console() as c:
            c.open_tcp()
            p = subprocess.Popen([sim, "--tcp", "127.0.0.1:%d" % c.port, "--once", "--heat-meters", "3",
                                  "--duration", "9"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            try:
                c.wait_status("提示信息:数据上传结束，并进入实时采集模式！", timeout=9)
                self.assertIn(BAR, c.items("List1"))
                self.assertNotEqual(c.text(W + "/DataReceive"), "")
                log = c.text(W + "/txtBaoWen")
                self.assertIn("TX: 71 76 9C", log)
                self.assertIn("TX: 51 07 02 00 AB ", log)
            finally:
                p.kill()
                out = p.communicate(timeout=5)[0].decode("utf-8", "replace")
            lines = [json.loads(l) for l in out.splitlines() if l.startswith("{")]
            self.assertTrue(lines, out)


if __name__ == "__main__":
    unittest.main()
