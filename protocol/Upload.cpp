#include "protocol/Upload.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

#include "protocol/NumberEntry.h"
#include "protocol/Readings.h"

namespace ht6630 {

namespace {

constexpr std::string_view kCrLf = "\r\n";

unsigned BigEndian16(ByteView f, std::size_t at) {
    return static_cast<unsigned>(f[at]) * 256u + f[at + 1];
}

// value / 10^decimals with exactly `decimals` digits after the point ("0.0" / "0.00").
void AppendFixed(std::string& out, long long value, int decimals) {
    bool negative = value < 0;
    unsigned long long v = negative ? 0ull - static_cast<unsigned long long>(value)
                                    : static_cast<unsigned long long>(value);
    unsigned long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    if (negative) out += '-';
    out += std::to_string(v / scale);
    out += '.';
    std::string frac = std::to_string(v % scale);
    out.append(static_cast<std::size_t>(decimals) - frac.size(), '0');
    out += frac;
}

// --- heat-meter helpers ---------------------------------------------------------

constexpr char kUpperHex[] = "0123456789ABCDEF";

// Digit string of `count` BCD bytes starting at `at`, highest offset first.
void AppendDigits(std::string& out, ByteView f, std::size_t at, std::size_t count) {
    for (std::size_t k = count; k-- > 0;) {
        std::uint8_t b = f[at + k];
        out += kUpperHex[b >> 4];
        out += kUpperHex[b & 0x0F];
    }
}

template <typename T>
void AppendShortest(std::string& out, T value) {
    // Shortest round-trip text in plain positional notation (never an exponent).
    char buf[512];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec != std::errc{}) {
        out += '0';
        return;
    }
    out.append(buf, res.ptr);
}

// v(...): the digit string cut after `intDigits`, a point inserted, read as a number.
double DigitValue(ByteView f, std::size_t at, std::size_t count, std::size_t intDigits) {
    // Plain decimal digits (the usual case): the integer of all digits divided by the power
    // of ten of the fraction. Both are exact doubles and the division rounds correctly, so
    // this equals reading the text; any hex letter goes through the number reader.
    std::uint64_t whole = 0;
    bool plain = true;
    for (std::size_t k = count; k-- > 0;) {
        std::uint8_t b = f[at + k];
        if ((b >> 4) > 9 || (b & 0x0F) > 9) {
            plain = false;
            break;
        }
        whole = whole * 100 + (b >> 4) * 10 + (b & 0x0F);
    }
    const std::size_t fracDigits = count * 2 > intDigits ? count * 2 - intDigits : 0;
    if (plain) {
        static constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
        return static_cast<double>(whole) / kPow10[fracDigits];
    }
    char text[2 * 8 + 1];
    std::size_t len = 0, written = 0;
    for (std::size_t k = count; k-- > 0;) {
        for (char c : {kUpperHex[f[at + k] >> 4], kUpperHex[f[at + k] & 0x0F]}) {
            if (written == intDigits) text[len++] = '.';
            text[len++] = c;
            ++written;
        }
    }
    return ValueOf(std::string_view(text, len));
}

// The "0.##" pattern: at most two decimals, rounded half away from zero; the point stays
// when nothing follows it ("5.", "0."). A value that rounds to zero shows no sign.
void AppendZeroHashHash(std::string& out, float value) {
    double d = value;
    if (!std::isfinite(d)) {
        AppendShortest(out, d);
        return;
    }
    // Exact ties at two decimals are odd multiples of 1/8 (x.125, x.375, ...); printf would
    // round those to even, the pattern rounds them away from zero.
    double eighths = d * 8.0;
    if (std::floor(eighths) == eighths && std::fmod(std::fabs(eighths), 2.0) == 1.0) {
        d += d < 0 ? -0.001 : 0.001;
    }
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 2);
    if (res.ec != std::errc{}) {
        out += '0';
        return;
    }
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    while (text.back() == '0') text.remove_suffix(1);  // the point stops the loop
    if (text == "-0.") text = "0.";
    out += text;
}

void AppendFlag(std::string& out, std::string_view label, char bit, std::string_view set,
                std::string_view clear) {
    out += label;
    out += bit == '1' ? set : clear;
    out += ',';
}

}  // namespace

std::string DealData_Upload(ByteView f) {
    // The header fields end at offset 31 (the record count).
    constexpr std::size_t kHeaderEnd = 32;
    if (f.size() < kHeaderEnd) return {};

    std::string out;
    out.reserve(256);
    out += "室温采集终端主动上传数据:";
    out += kCrLf;

    out += "手机号:";
    for (std::size_t i = 14; i < 21; ++i) {
        out += kUpperHex[f[i] >> 4];
        out += kUpperHex[f[i] & 0x0F];
    }
    out += kCrLf;

    out += "电池电压:";
    AppendFixed(out, BigEndian16(f, 21), 2);
    out += "V";
    out += kCrLf;

    out += "上传时间:";
    static constexpr std::string_view kUnits[5] = {"年", "月", "日", "时", "分"};
    for (std::size_t i = 0; i < 5; ++i) {
        out += HexNoPad(f[23 + i]);
        out += kUnits[i];
    }
    out += kCrLf;

    out += "采集间隔:";
    out += std::to_string(BigEndian16(f, 28));
    out += "分钟";
    out += kCrLf;

    unsigned n = BigEndian16(f, 30);
    out += "采集数量:";
    out += std::to_string(n);
    out += "对";
    out += kCrLf;

    // Only records the frame holds completely are written; the count is not trusted.
    const std::size_t held = std::min<std::size_t>(n, (f.size() - kHeaderEnd) / 4);
    out.reserve(out.size() + held * 48 + 4);
    for (std::size_t j = 0; j < held; ++j) {
        std::size_t at = kHeaderEnd + 4 * j;
        int temp = static_cast<int>(BigEndian16(f, at));
        if (temp >= 0x8000) temp -= 0x10000;
        out += "温度:";
        AppendFixed(out, temp, 1);
        out += "℃      湿度:";
        AppendFixed(out, BigEndian16(f, at + 2), 1);
        out += "%";
        out += kCrLf;
    }
    out += kCrLf;  // the empty line closing the block
    out += kCrLf;  // and the separator before the next block
    return out;
}

std::string HexDigitToBits(std::string_view digit) {
    if (digit.size() != 1) return {};
    char c = digit[0];
    int value;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    else return {};
    std::string bits(4, '0');
    for (int i = 0; i < 4; ++i) {
        if (value & (8 >> i)) bits[static_cast<std::size_t>(i)] = '1';
    }
    return bits;
}

std::vector<HeatMeterRecord> DecodeHeatMeterRecords(ByteView f) {
    constexpr std::size_t kCountAt = 16;
    std::vector<HeatMeterRecord> records;
    if (f.size() <= kCountAt) return records;
    unsigned n = f[kCountAt];
    if (n == 0 || n > 3) return records;
    for (unsigned i = 0; i < n; ++i) {
        std::size_t m = 20 + 62u * i;
        // The record's last byte (the 0x16 end) must lie inside the frame.
        if (m + 58 >= f.size()) continue;
        if (f[m] != 0x68 || f[m + 9] != 0x81 || f[m + 58] != 0x16) continue;
        unsigned sum = 0;
        for (std::size_t k = m; k <= m + 56; ++k) sum += f[k];
        if ((sum & 0xFF) != f[m + 57]) continue;

        // A digit string such as "9E9999.99" reads as a number beyond any range: such a
        // record has no readable values and is skipped like a record with a bad checksum.
        HeatMeterRecord r;
        r.lastHeat = DigitValue(f, m + 15, 4, 6);
        r.heat = DigitValue(f, m + 20, 4, 6);
        r.power = DigitValue(f, m + 25, 4, 6);
        r.flow = DigitValue(f, m + 30, 4, 4);
        r.totalFlow = DigitValue(f, m + 35, 4, 6);
        r.supplyTemperature = static_cast<float>(DigitValue(f, m + 39, 3, 4));
        r.returnTemperature = static_cast<float>(DigitValue(f, m + 42, 3, 4));
        r.workingHours = DigitValue(f, m + 45, 3, 6);
        if (!std::isfinite(r.lastHeat) || !std::isfinite(r.heat) || !std::isfinite(r.power) ||
            !std::isfinite(r.flow) || !std::isfinite(r.totalFlow) || !std::isfinite(r.supplyTemperature) ||
            !std::isfinite(r.returnTemperature) || !std::isfinite(r.workingHours)) {
            continue;
        }
        AppendDigits(r.meterAddress, f, m + 2, 5);
        r.flags = f[m + 55];
        std::string clock;
        AppendDigits(clock, f, m + 48, 7);  // YYYYMMDDhhmmss
        r.meterClock = clock.substr(0, 4) + '-' + clock.substr(4, 2) + '-' + clock.substr(6, 2) + ' ' +
                       clock.substr(8, 2) + ':' + clock.substr(10, 2) + ':' + clock.substr(12, 2);
        records.push_back(std::move(r));
    }
    return records;
}

std::string DealData_HeatMeter(ByteView f, std::string_view timeOfDay) {
    const std::vector<HeatMeterRecord> records = DecodeHeatMeterRecords(f);
    std::string out;
    out.reserve(records.size() * 560);
    for (const HeatMeterRecord& r : records) {
        std::string& line = out;  // the line goes straight into the text
        line += "\\\\**\\\\接收到的热表设备地址:";
        line += r.meterAddress;
        line += ",上次抄表热量:";
        AppendShortest(line, r.lastHeat);
        line += ",当前热量:";
        AppendShortest(line, r.heat);
        line += ",热功率:";
        AppendShortest(line, r.power);
        line += ",瞬时流量:";
        AppendShortest(line, r.flow);
        line += ",累计流量:";
        AppendShortest(line, r.totalFlow);
        line += ",供水温度:";
        AppendShortest(line, r.supplyTemperature);
        line += ",回水温度:";
        AppendShortest(line, r.returnTemperature);
        line += ",温差:";
        AppendZeroHashHash(line, r.supplyTemperature - r.returnTemperature);
        line += ",累计工作时间:";
        AppendShortest(line, r.workingHours);
        line += ',';

        std::string flags = HexDigitToBits(std::string_view(&kUpperHex[r.flags >> 4], 1)) +
                            HexDigitToBits(std::string_view(&kUpperHex[r.flags & 0x0F], 1));
        AppendFlag(line, "进水铂电阻断线标志:", flags[0], "开路", "未断");
        AppendFlag(line, "回水铂电阻断线标志:", flags[1], "开路", "未断");
        AppendFlag(line, "进水铂电阻短路标志:", flags[2], "短路", "未短");
        AppendFlag(line, "回水铂电阻短路标志:", flags[3], "短路", "未短");
        AppendFlag(line, "温差标志:", flags[4], "负温差", "正温差");
        AppendFlag(line, "欠压标志:", flags[5], "欠压", "正常");
        AppendFlag(line, "流量标志:", flags[6], "报错", "正常");
        AppendFlag(line, "管道装反:", flags[7], "装反", "正常");

        line += "实时时间:";
        line += r.meterClock;
        line += ",通讯状态:通讯成功,采集时间:";
        line += timeOfDay;
        line += '/';
        line += kCrLf;
    }
    return out;
}

}  // namespace ht6630
