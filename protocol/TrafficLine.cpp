#include "protocol/TrafficLine.h"

#include "protocol/Frame.h"

namespace ht6630 {

std::string TrafficLine(ByteView bytes, bool sent, std::string_view timeOfDay) {
    if (bytes.empty()) return {};
    // A sent array longer than the wake-up preamble is shown from index 201 on, whatever
    // built it; received arrays are always shown whole.
    std::size_t first = 0;
    if (sent && bytes.size() > static_cast<std::size_t>(kPreambleLength)) {
        first = static_cast<std::size_t>(kPreambleLength);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(4 + (bytes.size() - first) * 3 + 5 + timeOfDay.size() + 2);
    line += sent ? "TX: " : "RX: ";
    for (std::size_t i = first; i < bytes.size(); ++i) {
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0x0F];
        line += ' ';
    }
    line += "     ";
    line += timeOfDay;
    line += "\r\n";
    return line;
}

std::optional<ShownFrame> ParseTrafficLine(std::string_view line) {
    ShownFrame f;
    if (line.substr(0, 4) == "TX: ") f.sent = true;
    else if (line.substr(0, 4) != "RX: ") return std::nullopt;
    const auto hexDigit = [](char c) {
        return (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                  : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    std::size_t i = 4;
    // Bytes as "HH " until the five spaces before the time.
    while (i + 3 <= line.size() && line[i] != ' ') {
        const int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
        if (hi < 0 || lo < 0 || line[i + 2] != ' ') return std::nullopt;
        f.bytes.push_back(std::uint8_t(hi << 4 | lo));
        i += 3;
    }
    if (f.bytes.empty() || line.substr(i, 4) != "    ") return std::nullopt;
    return f;
}

std::string TimeOfDayText(int secondsSinceMidnight) {
    constexpr int kDay = 24 * 60 * 60;
    int s = secondsSinceMidnight % kDay;
    if (s < 0) s += kDay;
    char text[9];
    int parts[3] = {s / 3600, s / 60 % 60, s % 60};
    for (int i = 0; i < 3; ++i) {
        text[i * 3] = static_cast<char>('0' + parts[i] / 10);
        text[i * 3 + 1] = static_cast<char>('0' + parts[i] % 10);
        if (i < 2) text[i * 3 + 2] = ':';
    }
    return std::string(text, 8);
}

}  // namespace ht6630
