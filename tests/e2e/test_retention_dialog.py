"""The retention dialog (数据/读数保留期限…) through the automation interface: OK keeps
the days in Data/console.ini for the next run, Cancel keeps what was there, and a
value beyond 36,500 days is not taken."""
import configparser
import os
import shutil
import unittest

from harness import Console
from test_language import private_console_folder

D = "frmRetention"


class RetentionDialog(unittest.TestCase):
    def setUp(self):
        self.folder = private_console_folder()
        self.addCleanup(shutil.rmtree, self.folder, True)

    def console(self):
        c = Console(binary=os.path.join(self.folder, "ht6630-console"), cwd=self.folder)
        self.addCleanup(c.stop)
        return c

    def remembered(self):
        ini = configparser.ConfigParser()
        ini.read(os.path.join(self.folder, "Data", "console.ini"), encoding="utf-8")
        return ini.get("readings", "retention_days", fallback=None)

    def open_dialog(self, c):
        c.click("frmMainDtu/M_Retention")
        c.wait_window(D)
        self.assertEqual(c.window(D)["title"], "读数保留期限")

    def test_ok_keeps_the_days_for_the_next_run_and_cancel_changes_nothing(self):
        with self.console() as c:
            self.open_dialog(c)
            self.assertEqual(c.text(D + "/txtRetentionDays"), "0")   # nothing chosen yet: everything kept
            c.set(D + "/txtRetentionDays", "30")
            c.click(D + "/cmdOK")
            c.wait_for(lambda: c.window(D) is None, what="the dialog gone")
            self.assertEqual(self.remembered(), "30")
            self.open_dialog(c)
            c.set(D + "/txtRetentionDays", "7")
            c.click(D + "/cmdCancel")
            c.wait_for(lambda: c.window(D) is None, what="the dialog gone")
            self.assertEqual(self.remembered(), "30")
        with self.console() as c:
            self.open_dialog(c)
            self.assertEqual(c.text(D + "/txtRetentionDays"), "30")
            c.set(D + "/txtRetentionDays", "99999")   # beyond the range (36,500 days): not taken
            self.assertEqual(c.text(D + "/txtRetentionDays"), "30")


if __name__ == "__main__":
    unittest.main()
