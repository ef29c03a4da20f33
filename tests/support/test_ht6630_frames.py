"""The shared CRC against the CRC-16/MODBUS check value."""
import unittest

from ht6630_frames import crc16


class Crc(unittest.TestCase):
    def test_check_value(self):
        self.assertEqual(crc16(b"123456789"), 0x4B37)


if __name__ == "__main__":
    unittest.main()
