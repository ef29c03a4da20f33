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
