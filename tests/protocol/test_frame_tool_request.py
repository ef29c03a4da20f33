"""The frame tool from outside: crc, request for all fifteen operations, --infrared, refusals, bad input."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import ht6630_frames as F  # noqa: E402

TOOL = os.path.join(os.environ.get("HT6630_BIN", "build/bin"), "ht6630-frame")
BAR = "2012345678901"
ADDR = "02 01 23 45 67 89 01"
NINES = "99 99 99 99 99 99 99"


def run(*args):
    p = subprocess.run([TOOL, *args], capture_output=True, timeout=20)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


crc16_modbus = F.crc16


def frame(code, address_hex, payload_hex):
    """The request frame, computed here independently of the tool."""
    return F.request(code, bytes.fromhex(address_hex), bytes.fromhex(payload_hex)).hex(" ").upper()


class Crc(unittest.TestCase):
    def test_check_value_and_joined_arguments(self):
        self.assertEqual(run("crc", "31 32 33 34 35 36 37 38 39"), (0, "4B37\n", ""))
        self.assertEqual(run("crc", "3132", "33", "343536373839"), (0, "4B37\n", ""))
        self.assertEqual(run("crc", "51 56 04 99 99 99 99 99 99 99 00 01 00"), (0, "10E2\n", ""))
        self.assertEqual(run("crc", "01")[1], "%04X\n" % crc16_modbus(b"\x01"))

    def test_bad_input(self):
        for args in (["crc"], ["crc", "515"], ["crc", "51 5"], ["crc", "zz"], ["crc", "0x51"], ["crc", "51", "GG"]):
            code, out, err = run(*args)
            self.assertEqual(code, 2, args)
            self.assertEqual(out, "", args)
            self.assertTrue(err.strip(), args)


class Request(unittest.TestCase):
    CLOCK = ["--set", "Txtrq(0)=24", "--set", "Txtrq(1)=05", "--set", "Txtrq(2)=17",
             "--set", "Txtrq(3)=08", "--set", "Txtrq(4)=30", "--set", "Txtrq(5)=00"]
    IP = ["--set", "txtIp(0)=192", "--set", "txtIp(1)=168", "--set", "txtIp(2)=1", "--set", "txtIp(3)=2",
          "--set", "txtIp(4)=2020"]
    SPARE = ["--set", "txtSpareIp(0)=192", "--set", "txtSpareIp(1)=168", "--set", "txtSpareIp(2)=1",
             "--set", "txtSpareIp(3)=2", "--set", "txtSpareIp(4)=2020"]
    DATES = ["--set", "txtDate(0)=11", "--set", "txtDate(1)=15", "--set", "txtDate(2)=3", "--set", "txtDate(3)=15"]

    def cases(self):
        # button, operation name, extra arguments, function code, address, payload
        return [
            ("cmdBarCodeR", "读取条形码", [], 0x04, NINES, "00"),
            ("cmdBarCodeW", "设置条形码", ["--set", "txtBarCode= " + BAR + " "], 0x03, NINES, ADDR),
            ("cmdIpR", "读取IP和端口", [], 0x06, ADDR, "05 0B"),
            ("cmdIpW", "设置IP和端口", self.IP, 0x05, ADDR, "05 0B C0 A8 01 02 07 E4"),
            ("cmdSpareIpR", "读取备用IP和端口", [], 0x08, ADDR, "00"),
            ("cmdSpareIpW", "设置备用IP和端口", self.SPARE, 0x07, ADDR, "C0 A8 01 02 07 E4"),
            ("cmdShowPra", "读取实时温度湿度", [], 0x09, ADDR, "03"),
            ("cmdCJR", "读取室温采集终端配置参数", [], 0x0D, ADDR, "03"),
            ("cmdCJW", "设置采集数据时间间隔", ["--set", "txtCJ=1.5"], 0x0A, ADDR, "01 00 02"),
            ("cmdSCW", "设置上传数据时间间隔", ["--set", "txtSC=0"], 0x0A, ADDR, "02 00 00"),
            ("cmdCommType", "设置通讯类型", ["--set", "Combo1=1"], 0x0A, ADDR, "03 01"),
            ("cmdHear", "设置心跳包时间间隔", ["--set", "txtHeartbeat=60"], 0x0A, ADDR, "04 3C"),
            ("cmdSetSilence", "配置静默参数", self.DATES + ["--set", "optEnabled=0"], 0x0A, ADDR, "05 AA 0B 0F 03 0F"),
            ("cmdSleep", "设置是否休眠", ["--set", "opSleep=1"], 0x0A, ADDR, "06 02"),
            ("cmdTime", "设置实时日期与时间", self.CLOCK, 0x0A, ADDR, "07 24 05 17 08 30 00"),
        ]

    def test_all_fifteen_by_button_and_by_name(self):
        cases = self.cases()
        self.assertEqual(len(cases), 15)
        for button, name, extra, code, address, payload in cases:
            expected = frame(code, address, payload) + "\n"
            for op in (button, name):
                with self.subTest(op=op):
                    self.assertEqual(run("request", op, "--barcode", BAR, *extra), (0, expected, ""))

    def test_infrared_form(self):
        for button, _, extra, code, address, payload in self.cases():
            with self.subTest(op=button):
                code_, out, err = run("request", button, "--barcode", BAR, *extra, "--infrared")
                self.assertEqual((code_, err), (0, ""))
                self.assertEqual(out, "00 " * 201 + frame(code, address, payload) + "\n")

    def test_documented_frames(self):
        self.assertEqual(run("request", "cmdHear", "--barcode", BAR, "--set", "txtHeartbeat=60"),
                         (0, "51 56 0A 02 01 23 45 67 89 01 00 02 04 3C AE 13 0D\n", ""))
        self.assertEqual(run("request", "cmdBarCodeR"), (0, "51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D\n", ""))
        self.assertEqual(run("request", "cmdBarCodeR", "--barcode", "123"),
                         (0, "51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D\n", ""))
        # A bar code between blanks is trimmed.
        self.assertEqual(run("request", "cmdIpR", "--barcode", "  " + BAR + " ")[1], frame(0x06, ADDR, "05 0B") + "\n")
        # Defaults: sleep now chosen, no silence flag, TCP selected; Combo1 none sends TCP.
        self.assertEqual(run("request", "cmdSleep", "--barcode", BAR)[1], frame(0x0A, ADDR, "06 01") + "\n")
        self.assertEqual(run("request", "cmdSleep", "--barcode", BAR, "--set", "opSleep=none")[1],
                         frame(0x0A, ADDR, "06 00") + "\n")
        self.assertEqual(run("request", "cmdSetSilence", "--barcode", BAR, *self.DATES)[1],
                         frame(0x0A, ADDR, "05 00 0B 0F 03 0F") + "\n")
        self.assertEqual(run("request", "cmdCommType", "--barcode", BAR)[1], frame(0x0A, ADDR, "03 00") + "\n")

    def refused(self, args, text):
        self.assertEqual(run("request", *args), (2, "", text + "\n"), args)

    def test_value_checks_refuse_with_the_console_texts(self):
        self.refused(["cmdCJW", "--barcode", BAR, "--set", "txtCJ=0.5"], "采集数据时间间隔超范围，请重新输入")
        self.refused(["cmdCJW", "--barcode", BAR, "--set", "txtCJ=1441"], "采集数据时间间隔超范围，请重新输入")
        self.refused(["cmdCJW", "--barcode", BAR], "请输入采集数据时间间隔")
        self.refused(["cmdSCW", "--barcode", BAR, "--set", "txtSC=-1"], "上传数据时间间隔超范围，请重新输入")
        self.refused(["cmdHear", "--barcode", BAR, "--set", "txtHeartbeat=29.9"], "心跳包时间间隔超范围，请重新输入")
        self.refused(["cmdHear", "--barcode", BAR, "--set", "txtHeartbeat=240.5"], "心跳包时间间隔超范围，请重新输入")
        self.refused(["cmdIpW", "--barcode", BAR] + self.IP + ["--set", "txtIp(2)=-1"], "IP数值不正确，请重新输入")
        self.refused(["cmdIpW", "--barcode", BAR] + self.IP + ["--set", "txtIp(4)=65536"], "端口号数值不正确，请重新输入")
        self.refused(["cmdIpW", "--barcode", BAR] + self.IP + ["--set", "txtIp(4)="], "请输入IP和端口")
        self.refused(["cmdSpareIpW", "--barcode", BAR] + self.SPARE + ["--set", "txtSpareIp(0)=256"],
                     "备用IP数值不正确，请重新输入")
        self.refused(["cmdSpareIpW", "--barcode", BAR] + self.SPARE + ["--set", "txtSpareIp(4)=-2"],
                     "备用端口号数值不正确，请重新输入")
        self.refused(["cmdSetSilence", "--barcode", BAR] + self.DATES + ["--set", "txtDate(3)=32"], "中止日设置错误")
        self.refused(["cmdSetSilence", "--barcode", BAR, "--set", "txtDate(0)=1"], "请输入起始月日及中止月日")
        self.refused(["cmdBarCodeW"], "请输入条形码")
        self.refused(["cmdBarCodeW", "--set", "txtBarCode=201234567890"], "条形码应该为13位")

    def test_clock_checks(self):
        self.refused(["cmdTime", "--barcode", BAR] + self.CLOCK + ["--set", "Txtrq(0)=2a"], "年必须为数字")
        self.refused(["cmdTime", "--barcode", BAR] + self.CLOCK + ["--set", "Txtrq(1)=2", "--set", "Txtrq(0)=23",
                                                                 "--set", "Txtrq(2)=29"], "日必须1-28")
        self.refused(["cmdTime", "--barcode", BAR] + self.CLOCK + ["--set", "Txtrq(3)=1e1"], "小时必须为整数")
        self.refused(["cmdTime", "--barcode", BAR] + self.CLOCK + ["--set", "Txtrq(2)=1.5"], "日必须为整数")
        self.refused(["cmdTime", "--barcode", BAR] + self.CLOCK + ["--set", "Txtrq(5)=+5"], "秒必须为整数")

    def test_target_bar_code(self):
        self.refused(["cmdIpR"], "请输入条形码")
        self.refused(["cmdIpR", "--barcode", ""], "请输入条形码")
        self.refused(["cmdIpR", "--barcode", "201234567890"], "条形码应该为13位")
        self.refused(["cmdSleep", "--barcode", "   "], "条形码应该为13位")
        self.refused(["cmdCommType"], "请先读取或输入条形码")
        self.refused(["cmdTime"] + self.CLOCK, "请先读取或输入条形码")
        # Value checks come before the bar code, as in the console.
        self.refused(["cmdHear", "--set", "txtHeartbeat=20"], "心跳包时间间隔超范围，请重新输入")

    def test_bad_arguments(self):
        for args in (["request"], ["request", "cmdFoo"], ["request", "cmdHear", "--set", "txtFoo=1"],
                     ["request", "cmdHear", "--set", "txtIp(5)=1"], ["request", "cmdHear", "--set", "txtHeartbeat"],
                     ["request", "cmdHear", "--barcode"], ["request", "cmdHear", "--bogus"],
                     ["request", "cmdCommType", "--set", "Combo1=2"], ["request", "cmdSleep", "--set", "opSleep=x"],
                     [], ["frobnicate"], ["decode"], ["decode", "5"], ["decode", "xy"]):
            code, out, err = run(*args)
            self.assertEqual(code, 2, args)
            self.assertEqual(out, "", args)
            self.assertTrue(err.strip(), args)


class Help(unittest.TestCase):
    def test_self_description(self):
        code, out, err = run("--help")
        self.assertEqual((code, err), (0, ""))
        for word in ("crc", "request", "decode", "--infrared", "--barcode", "--set", "Examples", "cmdHear",
                     "设置心跳包时间间隔", "Txtrq(0)"):
            self.assertIn(word, out)


if __name__ == "__main__":
    unittest.main()
