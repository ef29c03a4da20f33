"""Frames of the HT6630-QN protocol for the Python tests and load scripts
(python3 standard library only).

A frame is: two start bytes ("QV" 51 56 from a terminal or the console, "qv"
71 76 in reply), the function code, the 7-byte address, a 16-bit big-endian
payload length, the payload, the CRC-16/MODBUS of everything before it (low
byte first) and the terminator 0D. The address is the 14-digit text "0" + the
13-digit bar code, packed two digits a byte.

    crc16(data)                          CRC-16/MODBUS (table driven)
    pack_address(address)                7 bytes from a bar code, 14-digit text or bytes
    seal(body)                           body + CRC low, CRC high, 0D
    frame(start, code, address, payload) a whole frame
    request(code, address, payload)      a "QV" frame
    reply(code, address, payload)        a "qv" frame
    crc_ok(f)                            the CRC bytes of a received frame match
    frame_length(buf, pos)               15 + the length field of a frame starting at pos

To import it from a script in tests/<folder> or bench/<folder>:

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
"""

REQUEST = b"QV"
REPLY = b"qv"
END = 0x0D
HEADER_LENGTH = 12     # start bytes, code, address, length field
FRAME_OVERHEAD = 15    # header, CRC and terminator


def _crc_table():
    table = []
    for x in range(256):
        c = x
        for _ in range(8):
            c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
        table.append(c)
    return tuple(table)


_CRC_TABLE = _crc_table()


def crc16(data):
    """CRC-16/MODBUS of data (bytes, bytearray or a list of byte values)."""
    c = 0xFFFF
    t = _CRC_TABLE
    for x in data:
        c = (c >> 8) ^ t[(c ^ x) & 0xFF]
    return c


def pack_address(address):
    """The 7 address bytes of a frame: from a 13-digit bar code (sent as "0" +
    bar code), from 14 hex digits, or 7 bytes as they are."""
    if isinstance(address, (bytes, bytearray)):
        if len(address) != 7:
            raise ValueError("an address is 7 bytes, not %d" % len(address))
        return bytes(address)
    if len(address) == 13:
        return bytes.fromhex("0" + address)
    if len(address) == 14:
        return bytes.fromhex(address)
    raise ValueError("not a bar code or address: %r" % (address,))


def seal(body):
    """body followed by its CRC (low byte first) and the terminator."""
    c = crc16(body)
    return bytes(body) + bytes((c & 0xFF, c >> 8, END))


def frame(start, code, address, payload=b""):
    """A whole frame. start: b"QV" or b"qv" (or the two byte values); address:
    see pack_address; payload: bytes or a list of byte values."""
    if type(address) is not bytes or len(address) != 7:
        address = pack_address(address)
    payload = bytes(payload)
    return seal(bytes(start) + bytes((code,)) + address + len(payload).to_bytes(2, "big") + payload)


def request(code, address, payload=b""):
    """A frame to a terminal or from one ("QV")."""
    return frame(REQUEST, code, address, payload)


def reply(code, address, payload=b""):
    """A reply frame ("qv")."""
    return frame(REPLY, code, address, payload)


def crc_ok(f):
    """True when the two bytes before the last one are the CRC of what precedes them."""
    c = crc16(f[:-3])
    return f[-3] == (c & 0xFF) and f[-2] == (c >> 8)


def frame_length(buf, pos=0):
    """The length of the frame starting at buf[pos] (15 + its length field), or
    None while its 12-byte header has not all arrived."""
    if len(buf) - pos < HEADER_LENGTH:
        return None
    return FRAME_OVERHEAD + (buf[pos + 10] << 8 | buf[pos + 11])
