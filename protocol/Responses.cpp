#include "protocol/Responses.h"

#include <cstdint>
#include <cstdlib>

#include "protocol/Frame.h"

namespace ht6630 {

namespace {

// Number of bytes a response must have for its fields to be read (last offset read + 1).
constexpr std::size_t kBarCodeEnd = 21;    // bytes 14..20
constexpr std::size_t kIpEnd = 20;         // bytes 14..19
constexpr std::size_t kSpareIpEnd = 18;    // bytes 12..17
constexpr std::size_t kLiveEnd = 18;       // bytes 14..17
constexpr std::size_t kAllEnd = 33;        // bytes 14..32

std::string Dec(unsigned value) { return std::to_string(value); }

unsigned BigEndian16(std::uint8_t high, std::uint8_t low) {
    return static_cast<unsigned>(high) * 256u + low;
}

}  // namespace

int SignedBigEndian16(std::uint8_t high, std::uint8_t low) {
    int value = static_cast<int>(BigEndian16(high, low));
    return value >= 0x8000 ? value - 0x10000 : value;
}

std::string FormatTenths(int tenths) {
    // Shortest decimal form of tenths / 10, done in integers so it is exact.
    long long v = tenths;
    bool negative = v < 0;
    if (negative) v = -v;
    std::string text = negative ? "-" : "";
    text += std::to_string(v / 10);
    if (v % 10 != 0) {
        text += '.';
        text += static_cast<char>('0' + v % 10);
    }
    return text;
}

std::string FormatVersion(std::uint8_t major, std::uint8_t minor) {
    return "V" + HexNoPad(major) + "." + Hex2(minor);
}

std::optional<FieldValues> DecodeResponseFields(Op op, ByteView b) {
    FieldValues f;
    switch (op) {
    case Op::ReadBarCode:
        if (b.size() < kBarCodeEnd) return std::nullopt;
        f.barCode = BarCodeFromAddress(b.subspan(14, 7));
        return f;
    case Op::ReadIp: {
        if (b.size() < kIpEnd) return std::nullopt;
        std::array<std::string, 5> ip{Dec(b[14]), Dec(b[15]), Dec(b[16]), Dec(b[17]),
                                      Dec(BigEndian16(b[18], b[19]))};
        f.dataCentre = ip;
        return f;
    }
    case Op::ReadSpareIp: {
        if (b.size() < kSpareIpEnd) return std::nullopt;
        std::array<std::string, 5> ip{Dec(b[12]), Dec(b[13]), Dec(b[14]), Dec(b[15]),
                                      Dec(BigEndian16(b[16], b[17]))};
        f.spareCentre = ip;
        return f;
    }
    case Op::ReadLive:
        if (b.size() < kLiveEnd) return std::nullopt;
        f.temperature = FormatTenths(SignedBigEndian16(b[14], b[15]));
        f.humidity = FormatTenths(static_cast<int>(BigEndian16(b[16], b[17])));
        return f;
    case Op::ReadAll: {
        if (b.size() < kAllEnd) return std::nullopt;
        f.firmware = FormatVersion(b[14], b[15]);
        f.acquisitionMinutes = Dec(BigEndian16(b[16], b[17]));
        f.uploadMinutes = Dec(BigEndian16(b[18], b[19]));
        f.commType = b[20] & 1;
        f.heartbeatSeconds = Dec(b[21]);
        f.silenceChoice = b[22] == 0xAA ? 0 : b[22] == 0x55 ? 1 : -1;
        f.silenceDates = std::array<std::string, 4>{Dec(b[23]), Dec(b[24]), Dec(b[25]), Dec(b[26])};
        f.clock = std::array<std::string, 6>{Hex2(b[27]), Hex2(b[28]), Hex2(b[29]),
                                             Hex2(b[30]), Hex2(b[31]), Hex2(b[32])};
        return f;
    }
    case Op::SetBarCode:
    case Op::SetIp:
    case Op::SetSpareIp:
    case Op::SetAcquisition:
    case Op::SetUpload:
    case Op::SetCommType:
    case Op::SetHeartbeat:
    case Op::SetSilence:
    case Op::SetSleep:
    case Op::SetClock:
        // Acknowledgements: only the function code is examined, by the caller.
        return f;
    }
    return std::nullopt;
}

}  // namespace ht6630
