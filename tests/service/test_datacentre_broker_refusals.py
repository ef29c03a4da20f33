"""A broker that refuses the node's password: retried with back-off, the
terminals served meanwhile and their readings kept."""
import sqlite3
import time
import unittest

from service_support import Service
from test_datacentre_mqtt import Broker
from test_datacentre_service import simulate

NODE = ("node1", "node secret")


def mqtt_config(broker, password):
    return {"mqtt": {"url": "mqtt://127.0.0.1:%d" % broker.port, "prefix": "t", "user": NODE[0], "password": password},
            "node": {"name": "n1"}, "log": {"level": "debug"}, "dialogue": {"reply_delay_ms": 100}}


class BrokerRefusals(unittest.TestCase):
    def test_wrong_password_is_retried_with_back_off_and_terminals_are_served(self):
        broker = Broker(users=dict([NODE]), auth=["-u", NODE[0], "-P", NODE[1]])
        try:
            with Service(mqtt_config(broker, "wrong")) as svc:
                refused = b"<3>mqtt: 127.0.0.1:%d refused the connection: " % broker.port
                svc.wait_log(refused)
                started = time.monotonic()
                frames = simulate("tcp", svc.tcp_port, "--once", "--records", "2", "--duration", "1")
                answered = [f for f in frames if f["dir"] == "rx"]
                self.assertTrue(any(f["kind"] == "upload-ack" for f in answered), frames)
                time.sleep(max(0.0, 4.5 - (time.monotonic() - started)))
                # Attempts 1 s, 2 s, 4 s apart: three or four in 4.5 s, never a busy retry.
                tries = svc.log().count(refused)
                self.assertGreaterEqual(tries, 2)
                self.assertLessEqual(tries, 5)
                self.assertNotIn(b"mqtt: connected", svc.log())
                self.assertEqual(svc.terminate()[0], 0)
                # Acknowledged means stored, with or without a broker.
                with sqlite3.connect(svc.db) as db:
                    self.assertEqual(db.execute("select count(*) from readings").fetchone()[0], 2)
        finally:
            broker.close()


if __name__ == "__main__":
    unittest.main()
