"""frmFleet through the automation interface: a real mosquitto with users, two real
ht6630-datacentre nodes, the terminal simulator on each, and the real console
connecting to the broker from its fleet window (everything on 127.0.0.1)."""
import json
import os
import shutil
import subprocess
import sys
import unittest

from harness import Console
from test_language import private_console_folder

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "service"))
from service_support import TERMINAL, Service  # noqa: E402
from test_datacentre_mqtt import Broker  # noqa: E402

W = "frmFleet"
N1 = ["2012345678901", "2012345678902"]   # held by n1
N2 = ["2012345678911", "2012345678912"]   # held by n2
OPERATOR = ("op", "operator secret")


class FleetWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.broker = Broker(users={"node": "node secret", OPERATOR[0]: OPERATOR[1]},
                            auth=["-u", OPERATOR[0], "-P", OPERATOR[1]])
        cls.addClassCleanup(cls.broker.close)
        cls.url = "mqtt://127.0.0.1:%d" % cls.broker.port
        cls.nodes = []
        for name, bars in (("n1", N1), ("n2", N2)):
            svc = Service({"mqtt": {"url": cls.url, "prefix": "t", "user": "node", "password": "node secret"},
                           "node": {"name": name}, "log": {"level": "debug"},
                           "dialogue": {"reply_delay_ms": 100}}).__enter__()
            cls.addClassCleanup(svc.__exit__, None, None, None)
            sim = subprocess.Popen([TERMINAL, "--tcp", "127.0.0.1:%d" % svc.tcp_port, "--count", "2",
                                    "--set", "barcode=" + bars[0], "--upload-every", "2", "--records", "1",
                                    "--heartbeat", "60", "--duration", "170"], stdout=subprocess.DEVNULL)
            cls.addClassCleanup(lambda p=sim: (p.kill(), p.wait(10)))
            for bar in bars:
                svc.wait_log(b"<7>mqtt: following t/%s/cmd\n" % bar.encode())
            cls.nodes.append(svc)
        cls.folder = private_console_folder()
        cls.addClassCleanup(shutil.rmtree, cls.folder, True)

    def console(self):
        c = Console(binary=os.path.join(self.folder, "ht6630-console"), cwd=self.folder)
        self.addCleanup(c.stop)
        c.click("frmMainDtu/M_Fleet")
        c.wait_window(W)
        return c

    def connect(self, c, password=OPERATOR[1]):
        c.set(W + "/txtBrokerUrl", self.url)
        c.set(W + "/txtBrokerUser", OPERATOR[0])
        c.set(W + "/txtBrokerPassword", password)
        c.set(W + "/txtPrefix", "t")
        c.click(W + "/cmdConnect")

    def status_bar(self, c):
        return c.get(W + "/StatusBar1")["panels"][0]

    def wait_fleet(self, c):
        """Every terminal of both nodes online in List1."""
        c.wait_for(lambda: sorted(c.get(W + "/List1")["items"]) == N1 + N2, timeout=10, what="the fleet in List1")

    def request(self, c, button, status, timeout=10):
        c.click(W + "/" + button)
        return c.wait_for(lambda: c.text(W + "/LblInf") == status, timeout=timeout,
                          what=status + " (now %r)" % c.text(W + "/LblInf"))

    def test_a_both_nodes_listed_live_and_the_connection_remembered(self):
        with self.console() as c:
            self.assertEqual(self.status_bar(c), "未连接")
            self.connect(c)
            c.wait_for(lambda: self.status_bar(c) == "已连接 " + self.url, what="connected")
            self.wait_fleet(c)
            self.assertEqual(c.get(W + "/List2")["items"], [])
            table = c.get(W + "/tblFleet")
            self.assertEqual(table["columns"], ["条形码", "节点", "通道", "在线", "最后出现", "温度(℃)", "湿度(%RH)",
                                                "电池(V)", "逾期"])
            c.wait_for(lambda: (lambda rows: len(rows) == 4 and all(r[5] for r in rows))(c.get(W + "/tblFleet")["rows"]),
                       what="every terminal's reading")
            rows = {r[0]: r for r in c.get(W + "/tblFleet")["rows"]}
            self.assertEqual(sorted(rows), N1 + N2)   # sorted by bar code
            for bar in N1 + N2:
                self.assertEqual(rows[bar][1:4], ["n1" if bar in N1 else "n2", "tcp", "在线"])
                for value in rows[bar][5:7]:
                    self.assertRegex(value, r"^-?\d+\.\d$")
            c.set(W + "/txtFilter", "n2")
            c.wait_for(lambda: [r[0] for r in c.get(W + "/tblFleet")["rows"]] == N2, what="the filter")
        # The next run: all but the password as it was.
        with self.console() as c:
            self.assertEqual([c.text(W + "/" + n) for n in ("txtBrokerUrl", "txtBrokerUser", "txtBrokerPassword", "txtPrefix")],
                             [self.url, OPERATOR[0], "", "t"])

    def test_b_set_and_read_through_the_node_that_holds_the_terminal(self):
        with self.console() as c:
            self.connect(c)
            self.wait_fleet(c)
            # A click in the list chooses the terminal, as in the TCP window.
            items = c.get(W + "/List1")["items"]
            c.select(W + "/List1", items.index(N2[1]))
            c.wait_for(lambda: c.text(W + "/TxtDQID") == N2[1], what="TxtDQID")
            # The pages' own checks and message boxes first: nothing is sent.
            c.set(W + "/txtHeartbeat", "")
            c.click(W + "/cmdHear")
            box = c.wait_msgbox()
            self.assertEqual((box["text"], box["icon"]), ("心跳包时间间隔超范围，请重新输入", "critical"))
            c.answer()
            c.set(W + "/txtHeartbeat", "90")
            # The text the TCP window shows for the terminal's 0x7A answer.
            self.request(c, "cmdHear", "提示信息:设置心跳包时间间隔成功！")
            self.nodes[1].wait_log(b"for %s: cmdHear sent now" % N2[1].encode())
            self.assertNotIn(b"cmdHear", self.nodes[0].log())
            self.assertEqual(c.get(W + "/tblRequests")["rows"], [])

            # A read fills the fields; a row of the table chooses its terminal too.
            rows = c.wait_for(lambda: (lambda r: r if len(r) == 4 else None)([r[0] for r in c.get(W + "/tblFleet")["rows"]]),
                              what="the table")
            c.select(W + "/tblFleet", rows.index(N1[0]))
            c.wait_for(lambda: c.text(W + "/TxtDQID") == N1[0], what="TxtDQID from the table")
            self.request(c, "cmdIpR", "提示信息:读取Velmar内部IP和端口成功！")
            self.assertEqual([c.text(W + "/txtIp(%d)" % i) for i in range(5)], ["127", "0", "0", "1", "2020"])
            self.request(c, "cmdShowPra", "提示信息:读取实时温度湿度成功！")
            self.assertEqual((c.text(W + "/txtTemp"), c.text(W + "/txtHumi")), ("23.5", "45.6"))
            self.nodes[0].wait_log(b"for %s: cmdShowPra sent now" % N1[0].encode())

            # The chart follows the readings the terminal publishes from then on: a terminal
            # new to the fleet, whose first upload (four records) comes after the chart opened.
            late = "2012345678921"
            c.set(W + "/TxtDQID", late)
            c.click(W + "/cmdChart")
            c.wait_window("frmChart")
            self.assertEqual(c.text("frmChart/lblChartInfo"), "等待终端 %s 的读数…" % late)
            sim = subprocess.Popen([TERMINAL, "--tcp", "127.0.0.1:%d" % self.nodes[0].tcp_port, "--set", "barcode=" + late,
                                    "--upload-every", "0", "--records", "4", "--heartbeat", "60", "--duration", "10"],
                                   stdout=subprocess.DEVNULL)
            self.addCleanup(lambda: (sim.kill(), sim.wait(10)))
            c.wait_for(lambda: c.text("frmChart/lblChartInfo").startswith("共 4 条读数"), timeout=10,
                       what="the new terminal's readings in the chart")
            # It leaves: its status moves it to the offline list.
            sim.kill()
            c.wait_for(lambda: c.get(W + "/List2")["items"] == [late], what="the terminal that left in List2")
            self.assertNotIn(late, c.get(W + "/List1")["items"])

    def test_c_a_refused_password_is_said_plainly(self):
        with self.console() as c:
            self.connect(c, password="wrong")
            c.wait_for(lambda: self.status_bar(c).startswith("服务器拒绝连接"), what="the refusal")
            self.assertEqual(self.status_bar(c), "服务器拒绝连接：用户名或密码错误（Connection Refused: not authorised.）")
            self.assertTrue(c.get(W + "/cmdConnect")["enabled"])
            self.assertEqual(c.get(W + "/List1")["items"], [])

    def test_c_a_request_waits_queued_is_cancelled_and_a_sent_one_cannot_be(self):
        # A terminal no node holds: n1, the nodes' steward, keeps the request and says queued.
        bar = "2012345678999"
        with self.console() as c:
            self.connect(c)
            self.wait_fleet(c)
            c.click(W + "/opMode(1)")
            c.wait_for(lambda: not c.get(W + "/cmdIpR")["enabled"], what="sleep mode")
            c.set(W + "/TxtDQID", bar)
            c.set(W + "/txtCJ", "10")
            cmds = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.broker.port),
                                     "-t", "t/%s/cmd" % bar, "-C", "8", "-W", "20", "-d", *self.broker.auth],
                                    stdout=subprocess.PIPE, text=True)
            self.addCleanup(lambda: (cmds.kill(), cmds.wait(10), cmds.stdout.close()))

            def published():
                """The console's next message on the cmd topic (the steward's kept copies, which
                carry queued_at, and mosquitto_sub's own -d lines are passed over)."""
                for line in cmds.stdout:
                    if line.startswith("{") and "queued_at" not in line:
                        return json.loads(line)
                raise AssertionError("no message on the cmd topic")
            for line in cmds.stdout:
                if "received SUBACK" in line:
                    break
            self.request(c, "cmdCJW", "提示信息:准备设置采集数据时间间隔。。。")
            request = published()
            rid = request.pop("id")
            self.assertEqual(request, {"op": "cmdCJW", "fields": {"txtCJ": "10"}, "when": "upload-end", "expires_s": 604800})
            c.wait_for(lambda: c.get(W + "/tblRequests")["rows"] == [[rid, bar, "设置采集数据时间间隔", "排队中"]],
                       what="queued by the steward")
            c.select(W + "/tblRequests", 0)
            c.wait_for(lambda: c.get(W + "/cmdCancel")["enabled"], what="the cancel for a queued request")
            c.click(W + "/cmdCancel")
            self.assertEqual(published(), {"cancel": rid})
            c.wait_for(lambda: c.get(W + "/tblRequests")["rows"] == [], what="the request cancelled")
            self.assertEqual(c.text(W + "/LblInf"), "提示信息:设置采集数据时间间隔已取消！")
            self.assertFalse(c.get(W + "/cmdCancel")["enabled"])

            # A request on its way cannot be cancelled: "sent" as a node that claimed it says it.
            self.request(c, "cmdCJW", "提示信息:准备设置采集数据时间间隔。。。")
            rid = published()["id"]
            self.broker.publish("t/%s/cmd/result" % bar, json.dumps(
                {"id": rid, "state": "sent", "ok": None, "message": "sent", "fields": {}, "node": "n9"}))
            c.wait_for(lambda: c.text(W + "/LblInf") == "提示信息:正在设置采集数据时间间隔。。。", what="sent")
            c.select(W + "/tblRequests", 0)
            self.assertEqual(c.get(W + "/tblRequests")["rows"], [[rid, bar, "设置采集数据时间间隔", "已发送"]])
            self.assertFalse(c.get(W + "/cmdCancel")["enabled"])   # on its way: too late

    def test_d_the_broker_goes_away_and_comes_back(self):
        with self.console() as c:
            self.connect(c)
            self.wait_fleet(c)
            c.wait_for(lambda: len(c.get(W + "/tblFleet")["rows"]) == 5, what="the table")
            c.set(W + "/TxtDQID", N1[1])
            self.broker.stop()
            c.wait_for(lambda: self.status_bar(c).startswith("连接中断，正在重新连接 " + self.url), what="the loss")
            self.broker.start()
            c.wait_for(lambda: self.status_bar(c) == "已连接 " + self.url, timeout=15, what="the reconnection")
            # The window kept what it showed; the nodes are back too, and requests go through.
            self.assertEqual(sorted(c.get(W + "/List1")["items"]), N1 + N2)
            self.assertEqual(c.get(W + "/List2")["items"], ["2012345678921"])
            self.assertEqual(len(c.get(W + "/tblFleet")["rows"]), 5)
            self.assertEqual(c.text(W + "/TxtDQID"), N1[1])
            for node in self.nodes:
                c.wait_for(lambda n=node: n.log().count(b"<7>mqtt: subscribed to t/+/cmd\n") >= 2, timeout=15,
                           what="the node's subscription again")
            self.request(c, "cmdShowPra", "提示信息:读取实时温度湿度成功！")


if __name__ == "__main__":
    unittest.main()
