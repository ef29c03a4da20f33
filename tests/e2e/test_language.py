"""The windows' language: Chinese by default whatever the system's locale, English
with --language en or the menu (remembered in Data/console.ini), through the real
console and its automation interface."""
import os
import re
import shutil
import socket
import tempfile
import time
import unittest

from harness import Console, bin_dir, free_port
from test_reliability_network import finish, registration, simulator

CJK = re.compile("[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]")
APP_TITLE_ZH = "HT6630-QN无线室温采集终端测试软件V1.0"
TCP = "frmServerInfrared_TCP"


def private_console_folder():
    """The console copied into a folder of its own, so the remembered language stays there."""
    d = tempfile.mkdtemp(prefix="ht6630-lang-")
    shutil.copy2(os.path.join(bin_dir(), "ht6630-console"), os.path.join(d, "ht6630-console"))
    os.makedirs(os.path.join(d, "Data"))
    shutil.copy2(os.path.join(bin_dir(), "Data", "data.mdb"), os.path.join(d, "Data", "data.mdb"))
    return d


class Language(unittest.TestCase):
    def setUp(self):
        self.folder = private_console_folder()
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.exe = os.path.join(self.folder, "ht6630-console")

    def console(self, *args, env=None):
        return Console(binary=self.exe, cwd=self.folder, args=args, env=env)

    def assertEnglish(self, text):
        self.assertTrue(text, "empty text")
        self.assertIsNone(CJK.search(text), "Chinese left in %r" % text)

    def test_english_windows_message_boxes_status_and_logs(self):
        with self.console("--language", "en") as c:
            main = c.window("frmMainDtu")
            self.assertEqual(main["title"], "HT6630-QN wireless room-temperature terminal test software V1.0")
            for menu in ("M_File", "YXSZ", "WXSZ", "M_Data", "M_Language", "M_Exit", "M_SetPort",
                         "M_Terminals", "M_Infrared_TCP"):
                self.assertEnglish(c.text("frmMainDtu/" + menu))
            self.assertTrue(c.get("frmMainDtu/M_LangEn")["checked"])

            # A message box of the code, through the same path every box takes.
            c.click("frmMainDtu/M_InfraredX")
            box = c.wait_msgbox()
            self.assertEqual((box["title"], box["text"]), ("System message", "Please set up the serial port first!"))
            c.answer()

            c.click("frmMainDtu/M_Infrared_TCP")
            c.wait_window(TCP)
            self.assertEnglish(c.window(TCP)["title"])
            for name in ("CmdYes", "Frame5", "SSTab1_1", "CmdQKJSQ1", "LabelOnline"):
                self.assertEnglish(c.text(TCP + "/" + name))
            c.set(TCP + "/TxtLocalPort1", "abc")
            c.click(TCP + "/CmdYes")
            box = c.wait_msgbox()
            self.assertEqual(box["text"], "Port number must be numeric")
            c.answer()

            # The engine's texts (status, network log) are shown in English too.
            port = free_port()
            c.set(TCP + "/TxtLocalIp1", "127.0.0.1")
            c.set(TCP + "/TxtLocalPort1", str(port))
            c.click(TCP + "/CmdYes")
            c.wait_for(lambda: c.get(TCP + "/StatusBar1")["panels"][0] == "TCP service started!",
                       what="English service status")
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            s.sendall(registration("2014000000001"))
            time.sleep(0.3)
            s.close()
            c.wait_for(lambda: "Disconnected" in c.text("frmInfo/txtBaoWen"), timeout=10, what="net log")
            self.assertIn("Registered 2014000000001", c.text("frmInfo/txtBaoWen"))
            self.assertEnglish(c.text("frmInfo/txtBaoWen"))
            self.assertEnglish(c.get(TCP + "/StatusBar1")["panels"][0])
            # An upload's decoded text is composed from pieces and numbers.
            terminal = simulator(["--tcp", "127.0.0.1:%d" % port, "--count", "1", "--once", "--records", "2"], 30)
            try:
                c.wait_for(lambda: "Humidity" in c.text(TCP + "/DataReceive"), timeout=10, what="upload text")
            finally:
                terminal.kill()
                finish(terminal, 5)
            upload = c.text(TCP + "/DataReceive")
            self.assertEnglish(upload)
            self.assertRegex(upload, r"Upload time:\d+-\d+-\d+ \d+h\d+m\r\n")

    def test_english_fleet_window(self):
        with self.console("--language", "en") as c:
            self.assertEqual(c.text("frmMainDtu/M_Fleet"), "Fleet")
            c.click("frmMainDtu/M_Fleet")
            c.wait_window("frmFleet")
            self.assertEqual(c.window("frmFleet")["title"], "Fleet")
            self.assertEqual(c.get("frmFleet/StatusBar1")["panels"][0], "Not connected")
            for name in ("grpBroker", "cmdConnect", "cmdDisconnect", "cmdCancel", "LabelRequests", "LabelOnline", "opMode(1)",
                         "Label71", "cmdCJR", "LblInf"):
                self.assertEnglish(c.text("frmFleet/" + name))
            for texts in (c.get("frmFleet/tblFleet")["columns"], c.get("frmFleet/tblRequests")["columns"],
                          c.get("frmFleet/SSTab1_1")["tabs"]):
                for text in texts:
                    self.assertEnglish(text)
            c.set("frmFleet/txtBrokerUrl", "http://127.0.0.1")
            c.click("frmFleet/cmdConnect")
            box = c.wait_msgbox()
            self.assertEqual(box["text"], "The broker URL must be mqtt://host:port or mqtts://host:port")
            c.answer()

    def test_chinese_by_default_and_the_menu_choice_is_remembered(self):
        english_locale = {"LANG": "en_GB.UTF-8", "LC_ALL": "en_GB.UTF-8", "LANGUAGE": "en"}
        with self.console(env=english_locale) as c:
            self.assertEqual(c.window("frmMainDtu")["title"], APP_TITLE_ZH)
            self.assertEqual(c.text("frmMainDtu/M_File"), "文件")
            self.assertTrue(c.get("frmMainDtu/M_LangZh")["checked"])
            c.click("frmMainDtu/M_LangEn")
            box = c.wait_msgbox()
            self.assertEqual(box["text"], "界面语言将在下次启动时生效。")
            c.answer()
            self.assertEqual(c.window("frmMainDtu")["title"], APP_TITLE_ZH)   # until the next start
        with open(os.path.join(self.folder, "Data", "console.ini"), encoding="utf-8") as f:
            self.assertIn("language=en", f.read())
        with self.console(env=english_locale) as c:
            self.assertEnglish(c.window("frmMainDtu")["title"])
        with self.console("--language", "zh") as c:   # the command line wins, for its run only
            self.assertEqual(c.window("frmMainDtu")["title"], APP_TITLE_ZH)
        with self.console() as c:
            self.assertEnglish(c.window("frmMainDtu")["title"])


if __name__ == "__main__":
    unittest.main()
