#include "TerminalState.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "protocol/Frame.h"

namespace sim {

namespace {

QElapsedTimer& Monotonic() {
    static QElapsedTimer t = [] { QElapsedTimer e; e.start(); return e; }();
    return t;
}

std::uint8_t ToBcd(int v) { return std::uint8_t(((v / 10) % 10) << 4 | (v % 10)); }
int FromBcd(std::uint8_t b, bool* ok) {
    if ((b >> 4) > 9 || (b & 15) > 9) *ok = false;
    return (b >> 4) * 10 + (b & 15);
}

void Put16(Bytes& out, unsigned v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v & 0xFF));
}

bool ParseUInt(std::string_view s, unsigned long max, unsigned long* out) {
    if (s.empty() || s.size() > 9) return false;
    unsigned long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + unsigned(c - '0');
    }
    if (v > max) return false;
    *out = v;
    return true;
}

// "12.5" or "-3" as tenths (or hundredths with scale 100).
bool ParseFixed(std::string_view s, int scale, long min, long max, long* out) {
    bool neg = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) { neg = s[0] == '-'; s.remove_prefix(1); }
    auto dot = s.find('.');
    std::string_view whole = s.substr(0, dot), frac = dot == std::string_view::npos ? "" : s.substr(dot + 1);
    int fracDigits = scale == 10 ? 1 : 2;
    if (whole.empty() || frac.size() > std::size_t(fracDigits)) return false;
    unsigned long w = 0, f = 0;
    if (!ParseUInt(whole, 100000, &w)) return false;
    if (!frac.empty() && !ParseUInt(frac, 99, &f)) return false;
    for (std::size_t k = frac.size(); k < std::size_t(fracDigits); ++k) f *= 10;
    long v = long(w) * scale + long(f);
    if (neg) v = -v;
    if (v < min || v > max) return false;
    *out = v;
    return true;
}

bool ParseIp(std::string_view s, std::array<std::uint8_t, 4>* out) {
    std::array<std::uint8_t, 4> r{};
    for (int k = 0; k < 4; ++k) {
        auto dot = s.find('.');
        if ((k < 3) != (dot != std::string_view::npos)) return false;
        unsigned long v;
        if (!ParseUInt(s.substr(0, dot), 255, &v)) return false;
        r[k] = std::uint8_t(v);
        if (k < 3) s.remove_prefix(dot + 1);
    }
    *out = r;
    return true;
}

// "11/15": month and day.
bool ParseMonthDay(std::string_view s, std::uint8_t* m, std::uint8_t* d) {
    auto slash = s.find('/');
    if (slash == std::string_view::npos) return false;
    unsigned long a, b;
    if (!ParseUInt(s.substr(0, slash), 12, &a) || !ParseUInt(s.substr(slash + 1), 31, &b)) return false;
    if (a < 1 || b < 1) return false;
    *m = std::uint8_t(a);
    *d = std::uint8_t(b);
    return true;
}

// Hexadecimal byte such as "AA" or "0x55".
bool ParseHexByte(std::string_view s, std::uint8_t* out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.empty() || s.size() > 2) return false;
    unsigned v = 0;
    for (char c : s) {
        int d = std::isxdigit(static_cast<unsigned char>(c)) ? (c <= '9' ? c - '0' : (std::toupper(c) - 'A' + 10)) : -1;
        if (d < 0) return false;
        v = v * 16 + unsigned(d);
    }
    *out = std::uint8_t(v);
    return true;
}

std::array<std::uint8_t, 7> PackPhone(const std::string& digits) {
    std::string s = digits;
    if (s.size() < 14) s = std::string(14 - s.size(), '0') + s;
    return ht6630::PackAddress(s);
}

}  // namespace

const char* SetHelp() {
    return
        "  barcode=DIGITS        13-digit bar code (default 2012345678901)\n"
        "  ip=A.B.C.D            server IP address (default 127.0.0.1)\n"
        "  port=N                server port (default 2020)\n"
        "  spare-ip=A.B.C.D      spare server IP address (default 127.0.0.1)\n"
        "  spare-port=N          spare server port (default 2021)\n"
        "  acquisition=MIN       acquisition interval, minutes 1..1440 (default 15)\n"
        "  upload=MIN            upload interval, minutes 0..65535 (default 60)\n"
        "  comm=tcp|udp|0|1      communication type (default tcp)\n"
        "  heartbeat=S           heart-beat interval, seconds 0..255 (default 60)\n"
        "  silence-flag=off|on|HH  silence flag: off = AA, on = 55, or any byte in hex (default off)\n"
        "  silence-start=M/D     silence start month/day (default 11/15)\n"
        "  silence-end=M/D       silence end month/day (default 3/15)\n"
        "  clock=YYMMDDhhmmss    terminal clock (default: the computer's local time)\n"
        "  clock-runs=0|1        1: the clock advances in real time (default); 0: it stays as set\n"
        "  firmware=MAJOR.MINOR  firmware version, two hex bytes, e.g. 1.05 or 2.0A (default 1.05)\n"
        "  temperature=C         live temperature, tenths allowed, -3276.8..3276.7 (default 23.5)\n"
        "  humidity=P            live humidity in per cent, tenths allowed (default 45.6)\n"
        "  battery=V             battery voltage in uploads, hundredths allowed (default 3.68)\n"
        "  phone=DIGITS          phone number in uploads, up to 14 digits (default 13800138000)\n";
}

TerminalState::TerminalState() {
    clockBase_ = QDateTime::currentDateTime();
    clockSetAtMs_ = Monotonic().elapsed();
}

std::optional<std::string> TerminalState::set(std::string_view name, std::string_view value) {
    auto bad = [&] { return std::string("bad value for ") + std::string(name) + ": '" + std::string(value) + "'"; };
    unsigned long u;
    long l;
    if (name == "barcode") {
        if (value.size() != 13) return bad();
        for (char c : value) if (c < '0' || c > '9') return bad();
        p.barCode = std::string(value);
    } else if (name == "ip") {
        if (!ParseIp(value, &p.ip)) return bad();
    } else if (name == "spare-ip") {
        if (!ParseIp(value, &p.spareIp)) return bad();
    } else if (name == "port" || name == "spare-port") {
        if (!ParseUInt(value, 65535, &u)) return bad();
        (name == "port" ? p.port : p.sparePort) = std::uint16_t(u);
    } else if (name == "acquisition") {
        if (!ParseUInt(value, 1440, &u) || u < 1) return bad();
        p.acquisition = std::uint16_t(u);
    } else if (name == "upload") {
        if (!ParseUInt(value, 65535, &u)) return bad();
        p.upload = std::uint16_t(u);
    } else if (name == "comm") {
        if (value == "tcp" || value == "TCP" || value == "0") p.comm = 0;
        else if (value == "udp" || value == "UDP" || value == "1") p.comm = 1;
        else return bad();
    } else if (name == "heartbeat") {
        if (!ParseUInt(value, 255, &u)) return bad();
        p.heartbeat = std::uint8_t(u);
    } else if (name == "silence-flag") {
        if (value == "off") p.silenceFlag = 0xAA;
        else if (value == "on") p.silenceFlag = 0x55;
        else if (!ParseHexByte(value, &p.silenceFlag)) return bad();
    } else if (name == "silence-start") {
        if (!ParseMonthDay(value, &p.silence[0], &p.silence[1])) return bad();
    } else if (name == "silence-end") {
        if (!ParseMonthDay(value, &p.silence[2], &p.silence[3])) return bad();
    } else if (name == "clock") {
        std::string digits;
        for (char c : value) if (c >= '0' && c <= '9') digits += c; else if (c != '-' && c != ':' && c != ' ' && c != 'T') return bad();
        if (digits.size() != 12) return bad();
        std::array<std::uint8_t, 6> bcd{};
        for (int k = 0; k < 6; ++k) bcd[k] = std::uint8_t((digits[2 * k] - '0') << 4 | (digits[2 * k + 1] - '0'));
        QDate d(2000 + (digits[0] - '0') * 10 + digits[1] - '0', (digits[2] - '0') * 10 + digits[3] - '0',
                (digits[4] - '0') * 10 + digits[5] - '0');
        QTime t((digits[6] - '0') * 10 + digits[7] - '0', (digits[8] - '0') * 10 + digits[9] - '0',
                (digits[10] - '0') * 10 + digits[11] - '0');
        if (!d.isValid() || !t.isValid()) return bad();
        setClockBcd(bcd);
    } else if (name == "clock-runs") {
        if (value != "0" && value != "1") return bad();
        auto now = clockBcd();
        clockRuns = value == "1";
        setClockBcd(now);
    } else if (name == "firmware") {
        auto dot = value.find('.');
        if (dot == std::string_view::npos) return bad();
        if (!ParseHexByte(value.substr(0, dot), &p.fwMajor) || !ParseHexByte(value.substr(dot + 1), &p.fwMinor)) return bad();
    } else if (name == "temperature") {
        if (!ParseFixed(value, 10, -32768, 32767, &l)) return bad();
        p.temperature = std::int16_t(l);
    } else if (name == "humidity") {
        if (!ParseFixed(value, 10, 0, 65535, &l)) return bad();
        p.humidity = std::uint16_t(l);
    } else if (name == "battery") {
        if (!ParseFixed(value, 100, 0, 65535, &l)) return bad();
        p.battery = std::uint16_t(l);
    } else if (name == "phone") {
        if (value.empty() || value.size() > 14) return bad();
        for (char c : value) if (c < '0' || c > '9') return bad();
        p.phone = std::string(value);
    } else {
        return "unknown parameter '" + std::string(name) + "' (see --help)";
    }
    return std::nullopt;
}

std::array<std::uint8_t, 6> TerminalState::clockBcd() const {
    if (rawClock_) return *rawClock_;
    QDateTime now = clockRuns ? clockBase_.addMSecs(Monotonic().elapsed() - clockSetAtMs_) : clockBase_;
    QDate d = now.date();
    QTime t = now.time();
    return {ToBcd(d.year() % 100), ToBcd(d.month()), ToBcd(d.day()), ToBcd(t.hour()), ToBcd(t.minute()), ToBcd(t.second())};
}

void TerminalState::setClockBcd(const std::array<std::uint8_t, 6>& bcd) {
    bool ok = true;
    QDate d(2000 + FromBcd(bcd[0], &ok), FromBcd(bcd[1], &ok), FromBcd(bcd[2], &ok));
    QTime t(FromBcd(bcd[3], &ok), FromBcd(bcd[4], &ok), FromBcd(bcd[5], &ok));
    if (!ok || !d.isValid() || !t.isValid()) {
        rawClock_ = bcd;   // not a date the terminal can run from: reported back as set
        return;
    }
    rawClock_.reset();
    clockBase_ = QDateTime(d, t);
    clockSetAtMs_ = Monotonic().elapsed();
}

TerminalState::Answer TerminalState::handleRequest(ByteView f) {
    Answer a;
    if (f.size() < 15 || f[0] != 0x51 || f[1] != 0x56) { a.ignored = "not a request frame"; return a; }
    const std::size_t n = std::size_t(f[10]) << 8 | f[11];
    if (f.size() != n + 15 || f.back() != 0x0D) { a.ignored = "malformed frame"; return a; }
    const int code = f[2];
    if (const auto* e = [&]() -> const char* {
            switch (code) {
            case 0x03: return "设置条形码";
            case 0x04: return "读取条形码";
            case 0x05: return "设置IP和端口";
            case 0x06: return "读取IP和端口";
            case 0x07: return "设置备用IP和端口";
            case 0x08: return "读取备用IP和端口";
            case 0x09: return "读取实时温度湿度";
            case 0x0D: return "读取室温采集终端配置参数";
            default: return nullptr;
            }
        }())
        a.op = e;
    if (!ht6630::ReceivedCrcIsCorrect(f)) { a.ignored = "bad CRC"; return a; }
    ByteView addr = f.subspan(3, 7);
    bool toBarCodeAddress = true;
    for (auto b : addr) toBarCodeAddress = toBarCodeAddress && b == 0x99;
    const auto own = ht6630::PackAddress(address());
    const bool toOwn = std::equal(addr.begin(), addr.end(), own.begin());
    if (code == 0x03 || code == 0x04) {
        if (!toBarCodeAddress) { a.ignored = "bar-code command not on address 99999999999999"; return a; }
    } else if (!toOwn) {
        a.ignored = "another terminal's address";
        return a;
    }
    ByteView q = f.subspan(12, n);
    Bytes r;
    auto wrongLength = [&] { a.ignored = "unexpected payload length"; return a; };
    switch (code) {
    case 0x04:
        if (n != 1) return wrongLength();
        r = {0x00, 0x00};
        r.insert(r.end(), own.begin(), own.end());
        break;
    case 0x03: {
        if (n != 7) return wrongLength();
        p.barCode = ht6630::BarCodeFromAddress(q);
        auto packed = ht6630::PackAddress(address());
        r.assign(packed.begin(), packed.end());
        break;
    }
    case 0x06:
        if (n != 2) return wrongLength();
        r = {q[0], q[1], p.ip[0], p.ip[1], p.ip[2], p.ip[3]};
        Put16(r, p.port);
        break;
    case 0x05:
        if (n != 8) return wrongLength();
        p.ip = {q[2], q[3], q[4], q[5]};
        p.port = std::uint16_t(q[6] << 8 | q[7]);
        r.assign(q.begin(), q.end());
        break;
    case 0x08:
        if (n != 1) return wrongLength();
        r = {p.spareIp[0], p.spareIp[1], p.spareIp[2], p.spareIp[3]};
        Put16(r, p.sparePort);
        break;
    case 0x07:
        if (n != 6) return wrongLength();
        p.spareIp = {q[0], q[1], q[2], q[3]};
        p.sparePort = std::uint16_t(q[4] << 8 | q[5]);
        r.assign(q.begin(), q.end());
        break;
    case 0x09:
        if (n != 1) return wrongLength();
        r = {q[0], 0x00};
        Put16(r, std::uint16_t(p.temperature));
        Put16(r, p.humidity);
        break;
    case 0x0D: {
        if (n != 1) return wrongLength();
        r = {q[0], 0x00, p.fwMajor, p.fwMinor};
        Put16(r, p.acquisition);
        Put16(r, p.upload);
        r.push_back(p.comm);
        r.push_back(p.heartbeat);
        r.push_back(p.silenceFlag);
        r.insert(r.end(), p.silence.begin(), p.silence.end());
        auto c = clockBcd();
        r.insert(r.end(), c.begin(), c.end());
        break;
    }
    case 0x0A: {
        if (n < 1) return wrongLength();
        static const std::size_t lengths[8] = {0, 3, 3, 2, 2, 6, 2, 7};
        static const char* names[8] = {"", "设置采集数据时间间隔", "设置上传数据时间间隔", "设置通讯类型",
                                       "设置心跳包时间间隔", "配置静默参数", "设置是否休眠", "设置实时日期与时间"};
        const int sel = q[0];
        if (sel < 1 || sel > 7) { a.ignored = "unknown parameter selector"; return a; }
        a.op = names[sel];
        if (n != lengths[sel]) return wrongLength();
        switch (sel) {
        case 1: p.acquisition = std::uint16_t(q[1] << 8 | q[2]); break;
        case 2: p.upload = std::uint16_t(q[1] << 8 | q[2]); break;
        case 3: p.comm = q[1]; break;
        case 4: p.heartbeat = q[1]; break;
        case 5: p.silenceFlag = q[1]; p.silence = {q[2], q[3], q[4], q[5]}; break;
        case 6: p.sleepChoice = q[1]; a.uploadNow = q[1] == 0x02; break;
        case 7: setClockBcd({q[1], q[2], q[3], q[4], q[5], q[6]}); break;
        }
        r = {q[0], n > 1 ? q[1] : std::uint8_t(0), n > 2 ? q[2] : std::uint8_t(0)};
        break;
    }
    default:
        a.ignored = "unknown function code";
        return a;
    }
    a.response = ht6630::MakeFrame_Reply(code + 0x70, address(), int(r.size()), r);
    return a;
}

Bytes TerminalState::registration() const {
    const Bytes payload{p.fwMajor, p.fwMinor};
    return ht6630::MakeFrame_Request(0x01, address(), int(payload.size()), payload);
}

Bytes TerminalState::heartbeatFrame() const {
    Bytes payload;
    Put16(payload, p.battery);
    payload.push_back(p.heartbeat);
    return ht6630::MakeFrame_Request(0x02, address(), int(payload.size()), payload);
}

Bytes TerminalState::uploadPayload(int records) {
    Bytes payload{0x10, 0x02};
    auto phone = PackPhone(p.phone);
    payload.insert(payload.end(), phone.begin(), phone.end());
    Put16(payload, p.battery);
    auto c = clockBcd();
    payload.insert(payload.end(), c.begin(), c.begin() + 5);
    Put16(payload, p.acquisition);
    Put16(payload, unsigned(records));
    // A smooth day curve of about -10 to +20 degrees and 35 to 75 per cent,
    // one sample per acquisition interval, shifted per terminal.
    for (int k = 0; k < records; ++k, ++sample_) {
        const double x = 2 * std::numbers::pi * double(sample_) / 96.0 + 0.7 * phase;
        const int t = int(std::lround(50 + 150 * std::sin(x)));
        const int h = int(std::lround(550 + 200 * std::sin(x + 1.0)));
        Put16(payload, std::uint16_t(std::int16_t(t)));
        Put16(payload, unsigned(h));
    }
    return payload;
}

Bytes TerminalState::upload(int records) {
    const Bytes payload = uploadPayload(records);
    return ht6630::MakeFrame_Request(0x2C, address(), int(payload.size()), payload);
}

Bytes TerminalState::rawUpload(int records) {
    const Bytes payload = uploadPayload(records);
    return AssembleFrame(false, 0x2C, address(), payload);
}

Bytes MeterFrame(int i, long counter, const std::array<std::uint8_t, 6>& clock) {
    auto bcdLe = [](Bytes& out, unsigned long long v, int bytes) {
        for (int k = 0; k < bytes; ++k, v /= 100) out.push_back(ToBcd(int(v % 100)));
    };
    Bytes m{0x68, 0x20};
    bcdLe(m, 12345670ULL + unsigned(i), 5);     // meter address, least significant byte first
    m.push_back(0x00);
    m.push_back(0x11);                           // manufacturer code
    m.push_back(0x81);                           // control code
    m.insert(m.end(), {0x2E, 0x90, 0x1F, 0x00, 0x00});
    const unsigned long heat = 123450ULL + unsigned(counter) * 75 + unsigned(i) * 1000;
    bcdLe(m, heat - 75, 4);  m.push_back(0x05);  // heat at the last reading, 2 decimals, kWh
    bcdLe(m, heat, 4);       m.push_back(0x05);  // current heat
    bcdLe(m, 5000 + unsigned(i) * 10, 4); m.push_back(0x17);   // heat power
    bcdLe(m, 12500 + unsigned(counter % 50), 4); m.push_back(0x35);  // flow, 4 decimals
    bcdLe(m, 990000 + unsigned(counter) * 3, 4);                    // accumulated flow
    bcdLe(m, 4550 + unsigned(i) * 10, 3);        // supply water temperature
    bcdLe(m, 4000, 3);                           // return water temperature
    bcdLe(m, 1234 + unsigned(counter), 3);       // working hours
    // meter clock: second, minute, hour, day, month, year low, year high
    m.insert(m.end(), {clock[5], clock[4], clock[3], clock[2], clock[1], clock[0], 0x20});
    m.push_back(std::uint8_t(0x04 * (i == 2)));  // status flags
    m.push_back(0x00);
    unsigned sum = 0;
    for (auto b : m) sum += b;
    m.push_back(std::uint8_t(sum & 0xFF));
    m.push_back(0x16);
    return m;
}

Bytes TerminalState::heatUpload(int k, bool overcount) {
    Bytes payload{0x00, 0x00, 0x03, 0x05};
    const int held = k;
    const int announced = overcount ? k + 1 : k;
    payload.push_back(std::uint8_t(announced));
    const auto clock = clockBcd();
    ++heatCounter_;
    for (int i = 0; i < held; ++i) {
        payload.push_back(std::uint8_t(i + 1));   // record tag
        payload.push_back(0x00);
        payload.push_back(0x3B);                  // 59 bytes of meter frame follow
        Bytes m = MeterFrame(i, heatCounter_, clock);
        payload.insert(payload.end(), m.begin(), m.end());
    }
    if (overcount) {
        // The announced last record: its tag and the first half of its meter frame only.
        payload.push_back(std::uint8_t(held + 1));
        payload.push_back(0x00);
        payload.push_back(0x3B);
        Bytes m = MeterFrame(held, heatCounter_, clock);
        payload.insert(payload.end(), m.begin(), m.begin() + 29);
    }
    return ht6630::MakeFrame_Request(0x2C, address(), int(payload.size()), payload);
}

Bytes TerminalState::uploadEnd() const {
    Bytes f{0x71, 0x05, 0x02, 0x00, 0xAB};
    auto own = ht6630::PackAddress(address());
    f.insert(f.end(), own.begin(), own.end());
    f.insert(f.end(), {0x00, 0x00, 0x0D});
    return f;
}

Bytes AssembleFrame(bool reply, int code, std::string_view address, ByteView payload) {
    Bytes f{std::uint8_t(reply ? 0x71 : 0x51), std::uint8_t(reply ? 0x76 : 0x56), std::uint8_t(code)};
    auto a = ht6630::PackAddress(address);
    f.insert(f.end(), a.begin(), a.end());
    Put16(f, unsigned(payload.size() & 0xFFFF));
    f.insert(f.end(), payload.begin(), payload.end());
    const unsigned crc = ht6630::Crc16Modbus(f);
    f.push_back(std::uint8_t(crc & 0xFF));
    f.push_back(std::uint8_t(crc >> 8));
    f.push_back(0x0D);
    return f;
}

}  // namespace sim
