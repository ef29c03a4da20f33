#include "protocol/Bytes.h"

namespace ht6630 {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::string ToHexSpaced(ByteView bytes) {
    std::string out;
    if (bytes.empty()) return out;
    out.reserve(bytes.size() * 3 - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out.push_back(' ');
        out.push_back(kHexDigits[bytes[i] >> 4]);
        out.push_back(kHexDigits[bytes[i] & 0x0F]);
    }
    return out;
}

std::string Hex2(std::uint8_t b) {
    return std::string{kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
}

std::string HexNoPad(unsigned value) {
    if (value == 0) return "0";
    std::string out;
    while (value) {
        out.insert(out.begin(), kHexDigits[value & 0x0F]);
        value >>= 4;
    }
    return out;
}

bool ParseHex(std::string_view text, Bytes& out) {
    Bytes result;
    result.reserve(text.size() / 2);
    int high = -1;
    for (char c : text) {
        if (IsBlank(c)) continue;
        const int v = HexValue(c);
        if (v < 0) return false;
        if (high < 0) {
            high = v;
        } else {
            result.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) return false;
    out = std::move(result);
    return true;
}

}  // namespace ht6630
