"""--reconnect: a terminal whose data centre drops it before acknowledging an
upload connects again (back-off, three tries at the data centre, then the spare
one), registers again and sends the very same upload; acknowledged, it is not
sent a third time."""
import socket
import time
import unittest

from simkit import Sim, StreamReader, auto_answer, frame, pack_address

OWN = "02012345678901"


def listener():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(4)
    s.settimeout(20)
    return s


class Reconnect(unittest.TestCase):
    def test_unacknowledged_upload_goes_again_to_the_spare_centre(self):
        primary, spare = listener(), listener()
        try:
            sim = Sim("--tcp", "127.0.0.1:%d" % primary.getsockname()[1], "--once", "--reconnect", "--records", "3",
                      "--heartbeat", "30", "--duration", "20",
                      "--set", "spare-ip=127.0.0.1", "--set", "spare-port=%d" % spare.getsockname()[1])
            conn, _ = primary.accept()
            rd = StreamReader(conn)
            reg = rd.next()
            self.assertEqual(reg[:3], b"QV\x01")
            conn.sendall(auto_answer(reg, OWN))
            first_upload = rd.next()
            self.assertEqual(first_upload[:3], b"QV\x2c")
            # The data centre goes away before acknowledging: connection and listener closed.
            conn.close()
            primary.close()
            t0 = time.monotonic()

            conn2, _ = spare.accept()   # after three refused tries at the data centre
            waited = time.monotonic() - t0
            self.assertGreater(waited, 0.5 + 1.0 + 2.0, "backed off before trying the spare centre")
            rd2 = StreamReader(conn2)
            reg2 = rd2.next()
            self.assertEqual(reg2[:3], b"QV\x01")
            self.assertEqual(reg2[3:10], pack_address(OWN))
            conn2.sendall(auto_answer(reg2, OWN))
            again = rd2.next()
            self.assertEqual(again, first_upload, "the same records, byte for byte")
            conn2.sendall(auto_answer(again, OWN))
            end = rd2.next()
            self.assertEqual(end[:5], bytes.fromhex("71 05 02 00 AB"))
            conn2.sendall(auto_answer(end, OWN))
            # Acknowledged now: nothing more but heart beats (none within 2 s at 30 s).
            with self.assertRaises(AssertionError):
                rd2.next(timeout=2.0)
            conn2.close()
            rc, s = sim.stop()
            self.assertEqual(s["sent"]["upload"], 2)
            self.assertEqual(s["sent"]["registration"], 2)
            self.assertEqual(s["received"]["upload-ack"], 1)
        finally:
            primary.close()
            spare.close()


if __name__ == "__main__":
    unittest.main()
