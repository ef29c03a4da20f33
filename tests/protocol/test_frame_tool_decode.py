"""The frame tool's decode command, run as a program on real hex arguments."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import ht6630_frames as F  # noqa: E402

BIN_DIR = os.environ.get("HT6630_BIN", "")
TOOL = os.path.join(BIN_DIR, "ht6630-frame") if BIN_DIR else ""
HAVE_TOOL = bool(TOOL) and os.access(TOOL, os.X_OK)

READ_ALL = ("71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C AA 0B 0F 03 0F "
            "24 05 17 08 30 00 AA 45 0D")


def frame(start, code, address_hex, payload):
    return F.frame(bytes(start), code, address_hex, payload)


def hex_args(data):
    return ["%02X" % b for b in data]


def decode(*args):
    return subprocess.run([TOOL, "decode", *args], capture_output=True, timeout=20)


class DecodeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # A tool the build did not make is a failure, not a skip: a broken build must not pass.
        if not HAVE_TOOL:
            raise AssertionError("ht6630-frame is not built (set HT6630_BIN): %r" % TOOL)

    def lines(self, *args):
        # Accepts hex arguments one by one or as one list.
        if len(args) == 1 and isinstance(args[0], list):
            args = tuple(args[0])
        run = decode(*args)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run.stdout.decode("utf-8")

    def test_read_all_response_fields(self):
        out = self.lines(*READ_ALL.split())
        lines = out.split("\n")
        self.assertEqual(lines[0], "kind=response")
        for want in ["crc=ok", "txtVer=V1.05", "txtCJ=15", "txtSC=60", "Combo1=1", "txtHeartbeat=60",
                     "optEnabled=0", "txtDate(0)=11", "txtDate(3)=15", "Txtrq(0)=24", "Txtrq(3)=08",
                     "Txtrq(5)=00"]:
            self.assertIn(want, lines)
        # One argument of run-together hex gives the same description.
        self.assertEqual(self.lines(READ_ALL.replace(" ", "")), out)

    def test_request_and_crc_mismatch(self):
        out = self.lines("51 56 0A 02 01 23 45 67 89 01 00 02 04 3C AE 13 0D".split())
        self.assertEqual(out.split("\n")[0], "kind=request")
        self.assertIn("operation=设置心跳包时间间隔\n", out)
        self.assertIn("payload=04 3C\n", out)
        out = self.lines("51 56 0A 02 01 23 45 67 89 01 00 02 04 3C 00 00 0D".split())
        self.assertIn("crc=mismatch (expected 13AE, found 0000)\n", out)

    def test_room_temperature_upload_prints_the_console_text(self):
        payload = bytes.fromhex("1002 13800123456789 0170 2405060903 000F 0002 01050258 FFFB0000")
        data = frame([0x51, 0x56], 0x2C, "02012345678901", payload)
        run = decode(*hex_args(data))
        self.assertEqual(run.returncode, 0)
        block = ("室温采集终端主动上传数据:\r\n手机号:13800123456789\r\n电池电压:3.68V\r\n"
                 "上传时间:24年5月6日9时3分\r\n采集间隔:15分钟\r\n采集数量:2对\r\n"
                 "温度:26.1℃      湿度:60.0%\r\n温度:-0.5℃      湿度:0.0%\r\n\r\n\r\n")
        self.assertTrue(run.stdout.startswith(b"kind=room-temperature upload\n"), run.stdout)
        self.assertTrue(run.stdout.endswith(block.encode("utf-8")), run.stdout)
        self.assertIn(b"crc=ok\n", run.stdout)

    def test_heat_meter_upload_prints_the_console_line(self):
        m = bytearray(59)
        m[0] = 0x68
        m[2:7] = bytes.fromhex("7856341200")
        m[9] = 0x81
        m[15:19] = bytes.fromhex("50341200")
        m[20:24] = bytes.fromhex("00001300")
        m[25:29] = bytes.fromhex("00500000")
        m[30:34] = bytes.fromhex("00250100")
        m[35:39] = bytes.fromhex("00009900")
        m[39:42] = bytes.fromhex("504500")
        m[42:45] = bytes.fromhex("004000")
        m[45:48] = bytes.fromhex("341200")
        m[48:55] = bytes.fromhex("00300817052420")
        m[55] = 0x05
        m[57] = sum(m[:57]) & 0xFF
        m[58] = 0x16
        payload = bytes([0, 0, 0x03, 0x05, 1, 0x07, 0, 0]) + bytes(m)
        data = frame([0x51, 0x56], 0x2C, "02012345678901", payload)
        run = decode(*hex_args(data))
        self.assertEqual(run.returncode, 0)
        line = ("\\\\**\\\\接收到的热表设备地址:0012345678,上次抄表热量:1234.5,当前热量:1300,热功率:50,"
                "瞬时流量:1.25,累计流量:9900,供水温度:45.5,回水温度:40,温差:5.5,累计工作时间:1234,"
                "进水铂电阻断线标志:未断,回水铂电阻断线标志:未断,进水铂电阻短路标志:未短,"
                "回水铂电阻短路标志:未短,温差标志:正温差,欠压标志:欠压,流量标志:正常,管道装反:装反,"
                "实时时间:2024-05-17 08:30:00,通讯状态:通讯成功,采集时间:00:00:00/\r\n")
        self.assertTrue(run.stdout.startswith(b"kind=heat-meter upload\n"), run.stdout)
        self.assertTrue(run.stdout.endswith(line.encode("utf-8")), run.stdout)

    def test_short_frames_and_other_kinds(self):
        self.assertEqual(self.lines("51", "06", "02", "AA", "AB"), "kind=setting follow-up\n")
        self.assertTrue(self.lines("51 07 02 00 AB".split()).startswith("kind=upload-end answer\n"))
        self.assertTrue(self.lines("71 05 02 00 AB 00 00 00 00 00 00 00 00 00 0D".split())
                        .startswith("kind=upload-end notice\n"))
        reg = self.lines(*hex_args(frame([0x51, 0x56], 0x01, "02012345678901", b"")))
        self.assertTrue(reg.startswith("kind=registration\n"))
        self.assertIn("barcode=2012345678901\n", reg)
        beat = self.lines(*hex_args(frame([0x51, 0x56], 0x02, "02012345678901", b"\0\0\0")))
        self.assertTrue(beat.startswith("kind=heart beat\n"))
        reply = self.lines("71 76 71 02 01 23 45 67 89 01 00 03 00 00 00 67 C2 0D".split())
        self.assertTrue(reply.startswith("kind=reply\n"))
        self.assertIn("crc=ok\n", reply)
        ack = self.lines(*hex_args(frame([0x71, 0x76], 0x7A, "02012345678901", b"\0\0\0")))
        self.assertIn("ack=7A\n", ack)
        live = self.lines(*hex_args(frame([0x71, 0x76], 0x79, "02012345678901", bytes.fromhex("0000FF9C01C8"))))
        self.assertIn("txtTemp=-10\n", live)
        self.assertIn("txtHumi=45.6\n", live)

    def test_bad_input_exits_2(self):
        for args in (["5"], ["51", "XY"], []):
            run = decode(*args)
            self.assertEqual(run.returncode, 2, args)
            self.assertTrue(run.stderr.strip(), args)


if __name__ == "__main__":
    unittest.main()
