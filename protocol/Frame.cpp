#include "protocol/Frame.h"

#include <string>

namespace ht6630 {

namespace {

constexpr unsigned kPoly = 0xA001;

// tables[k][x]: the register after byte x followed by k zero bytes, from a zero register.
// Table 0 is the classic byte table; eight of them let the loop take eight bytes per step.
struct CrcTables {
    std::uint16_t t[8][256];
};

constexpr CrcTables MakeTables() {
    CrcTables tables{};
    for (unsigned x = 0; x < 256; ++x) {
        unsigned crc = x;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ kPoly : crc >> 1;
        tables.t[0][x] = static_cast<std::uint16_t>(crc);
    }
    for (int k = 1; k < 8; ++k) {
        for (unsigned x = 0; x < 256; ++x) {
            const unsigned prev = tables.t[k - 1][x];
            tables.t[k][x] = static_cast<std::uint16_t>((prev >> 8) ^ tables.t[0][prev & 0xFF]);
        }
    }
    return tables;
}

constexpr CrcTables kTables = MakeTables();

unsigned CrcRange(ByteView bytes, std::size_t first) {
    if (first >= bytes.size()) return 0xFFFF;
    return Crc16Modbus(bytes.subspan(first));
}

// Reads one address character at position `pos`, where characters are counted as
// UTF-8 sequences (a multi-byte character is one character and never a hex digit).
struct CharCursor {
    std::string_view text;
    std::size_t at = 0;
    // Returns the next character's first byte, or 0 when past the end.
    bool Next(char& lead) {
        if (at >= text.size()) return false;
        lead = text[at++];
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
        return true;
    }
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void CheckArguments(int functionCode, int length, ByteView payload, int limit) {
    if (functionCode < 0 || functionCode > 255)
        throw FrameBuildError(FrameBuildError::Kind::Overflow,
                              "function code " + std::to_string(functionCode) + " outside 0..255");
    if (length < 0 || length > limit)
        throw FrameBuildError(FrameBuildError::Kind::Overflow,
                              "payload length " + std::to_string(length) + " outside 0.." +
                                  std::to_string(limit));
    if (payload.size() < static_cast<std::size_t>(length))
        throw FrameBuildError(FrameBuildError::Kind::Index,
                              "payload holds " + std::to_string(payload.size()) + " bytes, length says " +
                                  std::to_string(length));
}

// Writes start bytes, code, address, length and payload at `base`; the vector is already sized.
void FillFrame(Bytes& out, std::size_t base, std::uint8_t start1, std::uint8_t start2, int functionCode,
               std::string_view address, int length, ByteView payload) {
    out[base + 0] = start1;
    out[base + 1] = start2;
    out[base + 2] = static_cast<std::uint8_t>(functionCode);
    const auto packed = PackAddress(address);
    for (std::size_t k = 0; k < packed.size(); ++k) out[base + 3 + k] = packed[k];
    out[base + 10] = static_cast<std::uint8_t>(length / 256);
    out[base + 11] = static_cast<std::uint8_t>(length % 256);
    for (int i = 0; i < length; ++i) out[base + 12 + i] = payload[i];
}

void AppendTail(Bytes& out, unsigned crc) {
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    out.push_back(kTerminator);
}

Bytes MakePlain(std::uint8_t s1, std::uint8_t s2, int functionCode, std::string_view address, int length,
                ByteView payload) {
    CheckArguments(functionCode, length, payload, kMaxPayloadRequest);
    Bytes out(static_cast<std::size_t>(length) + 12, 0);
    out.reserve(static_cast<std::size_t>(length) + kFrameOverhead);
    FillFrame(out, 0, s1, s2, functionCode, address, length, payload);
    AppendTail(out, Crc16_Frame(out));
    return out;
}

}  // namespace

unsigned Crc16Modbus(ByteView bytes) {
    unsigned crc = 0xFFFF;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    const auto& t = kTables.t;
    while (n >= 8) {
        const unsigned b0 = p[0] ^ (crc & 0xFF);
        const unsigned b1 = p[1] ^ (crc >> 8);
        crc = t[7][b0] ^ t[6][b1] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^
              t[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n--) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
    return crc;
}

unsigned Crc16ModbusBitwise(ByteView bytes) {
    unsigned crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ kPoly : crc >> 1;
    }
    return crc;
}

unsigned Crc16_Frame(ByteView bytes) { return Crc16Modbus(bytes); }

unsigned Crc16_Received(ByteView bytes) {
    if (bytes.size() <= 3) return 0xFFFF;
    return Crc16Modbus(bytes.first(bytes.size() - 3));
}

unsigned Crc16_Infrared(ByteView bytes) { return CrcRange(bytes, kPreambleLength); }

bool ReceivedCrcIsCorrect(ByteView block) {
    if (block.size() < 3) return false;
    const std::size_t n = block.size();
    return Crc16_Received(block) == block[n - 3] + 256u * block[n - 2];
}

std::array<std::uint8_t, 7> PackAddress(std::string_view address) {
    std::array<std::uint8_t, 7> out{};
    CharCursor cursor{address};
    for (auto& byte : out) {
        char first = 0, second = 0;
        const bool hasFirst = cursor.Next(first);
        const bool hasSecond = hasFirst && cursor.Next(second);
        unsigned value = 0;
        if (hasFirst && HexDigit(first) >= 0) {
            value = static_cast<unsigned>(HexDigit(first));
            if (hasSecond && HexDigit(second) >= 0) value = value * 16 + static_cast<unsigned>(HexDigit(second));
        }
        byte = static_cast<std::uint8_t>(value);
    }
    return out;
}

std::string BarCodeFromAddress(ByteView sevenBytes) {
    if (sevenBytes.size() < 7) return {};
    std::string out = Hex2(sevenBytes[0]).substr(1);
    for (std::size_t i = 1; i < 7; ++i) out += Hex2(sevenBytes[i]);
    return out;
}

Bytes MakeFrame_Request(int functionCode, std::string_view address, int length, ByteView payload) {
    return MakePlain(kRequestStart1, kRequestStart2, functionCode, address, length, payload);
}

Bytes MakeFrame_Reply(int functionCode, std::string_view address, int length, ByteView payload) {
    return MakePlain(kReplyStart1, kReplyStart2, functionCode, address, length, payload);
}

Bytes MakeFrame_Infrared(int functionCode, std::string_view address, int length, ByteView payload) {
    CheckArguments(functionCode, length, payload, kMaxPayloadInfrared);
    Bytes out(static_cast<std::size_t>(length) + 12 + kPreambleLength, 0);
    out.reserve(static_cast<std::size_t>(length) + kFrameOverhead + kPreambleLength);
    FillFrame(out, kPreambleLength, kRequestStart1, kRequestStart2, functionCode, address, length, payload);
    AppendTail(out, Crc16_Infrared(out));
    return out;
}

}  // namespace ht6630
