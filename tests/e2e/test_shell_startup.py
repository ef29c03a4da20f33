"""The real console: start-up with and without its database, the main window and
its menus, and the automation interface's contract."""
import json
import os
import shutil
import socket
import sqlite3
import tempfile
import unittest

from harness import Console, bin_dir

APP_TITLE = "HT6630-QN无线室温采集终端测试软件V1.0"


def _private_copy(data=None):
    """The console copied into a fresh folder; `data` = bytes for Data/data.mdb or None."""
    d = tempfile.mkdtemp(prefix="ht6630-copy-")
    exe = os.path.join(d, "ht6630-console")
    shutil.copy2(os.path.join(bin_dir(), "ht6630-console"), exe)
    if data is not None:
        os.makedirs(os.path.join(d, "Data"))
        with open(os.path.join(d, "Data", "data.mdb"), "wb") as f:
            f.write(data)
    return d, exe


class StartupWithoutDatabase(unittest.TestCase):
    def _fails_with(self, data, number, description):
        d, exe = _private_copy(data)
        self.addCleanup(shutil.rmtree, d, True)
        with Console(binary=exe, cwd=d) as c:
            box = c.wait_msgbox(timeout=10)
            self.assertEqual(box["title"], APP_TITLE)
            self.assertEqual(box["icon"], "critical")
            self.assertEqual(box["buttons"], ["OK"])
            self.assertIn(number, box["text"])
            self.assertIn(description, box["text"])
            self.assertIsNone(c.window("frmMainDtu"))   # never shown, not even made
            c.answer()
            self.assertNotEqual(c.wait_exit(5), 0)
        return d

    def test_missing_file_is_reported_and_not_created(self):
        d = self._fails_with(None, "14", "unable to open database file")
        self.assertFalse(os.path.exists(os.path.join(d, "Data", "data.mdb")))

    def test_file_that_is_not_a_database(self):
        self._fails_with(b"this is not a database file " * 100, "26", "file is not a database")


class MainWindow(unittest.TestCase):
    def setUp(self):
        self.c = Console()
        self.addCleanup(self.c.stop)

    def test_caption_menus_and_windows(self):
        c = self.c
        main = c.wait_window("frmMainDtu")
        self.assertEqual(main["title"], APP_TITLE)
        self.assertFalse(main["modal"])
        self.assertEqual(c.get("frmMainDtu")["kind"], "window")
        items = {"M_Exit": "退出系统", "M_SetPort": "串口设置", "M_InfraredX": "串口通讯",
                 "M_Infrared_TCP": "TCP通讯", "M_Infrared_UDP": "UDP通讯"}
        for name, text in items.items():
            g = c.get("frmMainDtu/" + name)
            self.assertEqual((g["kind"], g["text"], g["enabled"]), ("menu", text, True), name)
        # The menus of the bar themselves, by their names and captions.
        for name, text in {"M_File": "文件", "YXSZ": "有线设置", "WXSZ": "无线设置"}.items():
            g = c.get("frmMainDtu/" + name)
            self.assertEqual((g["kind"], g["text"], g["enabled"], g["visible"]), ("menu", text, True, True), name)
        names = {w["name"]: w for w in c.windows()}
        self.assertIn("frmInfo", names)
        self.assertFalse(names["frmInfo"]["visible"])
        self.assertEqual(names["frmInfo"]["title"], "网络连接日志")
        self.assertEqual(c.get("frmInfo/txtBaoWen")["text"], "")

    def test_serial_console_needs_an_open_port(self):
        c = self.c
        c.click("frmMainDtu/M_InfraredX")
        box = c.wait_msgbox()
        self.assertEqual(box, {"text": "请先设置串口！", "title": "系统提示", "icon": "critical", "buttons": ["OK"]})
        w = c.window("FrmInfrared")
        self.assertTrue(w is None or not w["visible"])
        c.answer("OK")
        c.wait_for(lambda: c.msgboxes() == [])
        self.assertEqual(c.msglog()[-1]["text"], "请先设置串口！")
        w = c.window("FrmInfrared")
        self.assertTrue(w is None or not w["visible"])
        self.assertTrue(c.window("frmMainDtu")["visible"])

    def test_exit_item_ends_the_program(self):
        self.c.click("frmMainDtu/M_Exit")
        self.assertEqual(self.c.wait_exit(5), 0)

    def test_closing_the_main_window_ends_the_program(self):
        self.c.close("frmMainDtu")
        self.assertEqual(self.c.wait_exit(5), 0)


class AutomationContract(unittest.TestCase):
    def setUp(self):
        self.c = Console()
        self.addCleanup(self.c.stop)

    def test_errors_are_answers(self):
        c = self.c
        r = c.get("frmInfo/txtFoo", check=False)
        self.assertEqual(r, {"ok": False, "error": "no such control: frmInfo/txtFoo"})
        self.assertFalse(c.get("frmNope/txtFoo", check=False)["ok"])
        self.assertFalse(c.req("frobnicate", check=False)["ok"])
        self.assertFalse(c.click("frmMainDtu/M_Nope", check=False)["ok"])
        self.assertFalse(c.close("frmNope", check=False)["ok"])
        self.assertFalse(c.answer(check=False)["ok"])
        self.assertTrue(c.ping()["ok"])

    def test_one_answer_per_line_in_order_even_for_bad_lines(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.settimeout(5)
        s.connect(self.c.socket_path)
        self.addCleanup(s.close)
        s.sendall(b'{"op":"ping"}\nnot json\n{"op":"get","path":"frmMainDtu/M_Exit"}\n[1,2]\n')
        buf = b""
        while buf.count(b"\n") < 4:
            chunk = s.recv(65536)
            self.assertTrue(chunk, "connection closed early")
            buf += chunk
        answers = [json.loads(l) for l in buf.decode("utf-8").splitlines()]
        self.assertEqual([a["ok"] for a in answers], [True, False, True, False])
        self.assertEqual(answers[2]["text"], "退出系统")

    def test_socket_is_private(self):
        mode = os.stat(self.c.socket_path).st_mode & 0o777
        self.assertEqual(mode & 0o077, 0, oct(mode))


class BuiltDatabase(unittest.TestCase):
    def test_build_makes_the_table(self):
        path = os.path.join(bin_dir(), "Data", "data.mdb")
        self.assertTrue(os.path.isfile(path))
        db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
        try:
            names = [r[0] for r in db.execute("select name from sqlite_master where type='table'")]
        finally:
            db.close()
        self.assertIn("TempData", names)


if __name__ == "__main__":
    unittest.main()
