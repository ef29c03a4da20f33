#include "protocol/Catalogue.h"

#include "protocol/Frame.h"
#include "protocol/NumberEntry.h"

namespace ht6630 {

namespace {

constexpr std::array<CatalogueEntry, 15> kCatalogue{{
    {Op::ReadBarCode, "读取条形码", "cmdBarCodeR", 0x04, 1, 24, 0x74},
    {Op::SetBarCode, "设置条形码", "cmdBarCodeW", 0x03, 7, 22, 0x73},
    {Op::ReadIp, "读取IP和端口", "cmdIpR", 0x06, 2, 23, 0x76},
    {Op::SetIp, "设置IP和端口", "cmdIpW", 0x05, 8, 23, 0x75},
    {Op::ReadSpareIp, "读取备用IP和端口", "cmdSpareIpR", 0x08, 1, 21, 0x78},
    {Op::SetSpareIp, "设置备用IP和端口", "cmdSpareIpW", 0x07, 6, 21, 0x77},
    {Op::ReadLive, "读取实时温度湿度", "cmdShowPra", 0x09, 1, 21, 0x79},
    {Op::ReadAll, "读取室温采集终端配置参数", "cmdCJR", 0x0D, 1, 36, 0x7D},
    {Op::SetAcquisition, "设置采集数据时间间隔", "cmdCJW", 0x0A, 3, 18, 0x7A},
    {Op::SetUpload, "设置上传数据时间间隔", "cmdSCW", 0x0A, 3, 18, 0x7A},
    {Op::SetCommType, "设置通讯类型", "cmdCommType", 0x0A, 2, 18, 0x7A},
    {Op::SetHeartbeat, "设置心跳包时间间隔", "cmdHear", 0x0A, 2, 18, 0x7A},
    {Op::SetSilence, "配置静默参数", "cmdSetSilence", 0x0A, 6, 18, 0x7A},
    {Op::SetSleep, "设置是否休眠", "cmdSleep", 0x0A, 2, 18, 0x7A},
    {Op::SetClock, "设置实时日期与时间", "cmdTime", 0x0A, 7, 18, 0x7A},
}};

// A failed check with the error icon and the application's title.
PayloadResult Refuse(std::string_view text) {
    PayloadResult r;
    r.failure = CheckFailure{std::string(text), std::string(), MsgIcon::Critical, true};
    return r;
}

// A failed clock check: a plain box titled "警告".
PayloadResult RefuseClock(std::string_view text) {
    PayloadResult r;
    r.failure = CheckFailure{std::string(text), "警告", MsgIcon::None, false};
    return r;
}

PayloadResult Accept(Bytes payload) {
    PayloadResult r;
    r.payload = std::move(payload);
    return r;
}

double FieldValue(const std::string& text) { return ValueOf(Trim(text)); }

// The value after it passed its range check: rounded, as an integer.
unsigned Rounded(double value) { return static_cast<unsigned>(RoundHalfEven(value)); }

void PushWord(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// The BCD byte of a field of plain digits: the digits read as a hexadecimal number.
std::uint8_t BcdOf(std::string_view text) {
    unsigned value = 0;
    for (char c : Trim(text)) value = (value * 16 + static_cast<unsigned>(c - '0')) & 0xFFFF;
    return static_cast<std::uint8_t>(value & 0xFF);
}

bool OutOf(double value, double low, double high) { return value < low || value > high; }

// Server or spare server address: four octets and a port.
PayloadResult BuildAddress(const std::array<std::string, 5>& fields, std::string_view emptyText,
                           std::string_view octetText, std::string_view portText, Bytes payload) {
    for (const auto& f : fields)
        if (f.empty()) return Refuse(emptyText);
    double values[5];
    for (int i = 0; i < 5; ++i) values[i] = FieldValue(fields[i]);
    // A negative octet or port has no wire form; it is refused like a value above the limit.
    for (int i = 0; i < 4; ++i)
        if (OutOf(values[i], 0, 255)) return Refuse(octetText);
    if (OutOf(values[4], 0, 65535)) return Refuse(portText);
    for (int i = 0; i < 4; ++i) payload.push_back(static_cast<std::uint8_t>(Rounded(values[i])));
    PushWord(payload, Rounded(values[4]));
    return Accept(std::move(payload));
}

bool IsLeapYear(double yearValue) {
    const long year = 2000 + static_cast<long>(RoundHalfEven(yearValue));
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

PayloadResult BuildClock(const std::array<std::string, 6>& t) {
    if (!IsNumeric(t[0])) return RefuseClock("年必须为数字");
    const double year = FieldValue(t[0]);
    if (OutOf(year, 0, 99)) return RefuseClock("年设置范围为00-99");
    if (!IsNumeric(t[1])) return RefuseClock("月必须为数字");
    if (!IsNumeric(t[3])) return RefuseClock("小时必须为数字");
    if (!IsNumeric(t[4])) return RefuseClock("分钟必须为数字");
    if (!IsNumeric(t[5])) return RefuseClock("秒必须为数字");
    const double month = FieldValue(t[1]);
    if (OutOf(month, 1, 12)) return RefuseClock("月必须1-12");
    const double day = FieldValue(t[2]);
    if (month == 1 || month == 3 || month == 5 || month == 7 || month == 8 || month == 10 || month == 12) {
        if (OutOf(day, 1, 31)) return RefuseClock("日必须1-31");
    } else if (month == 4 || month == 6 || month == 9 || month == 11) {
        if (OutOf(day, 1, 30)) return RefuseClock("日必须1-30");
    } else if (month == 2) {
        if (IsLeapYear(year)) {
            if (OutOf(day, 1, 29)) return RefuseClock("日必须1-29");
        } else if (OutOf(day, 1, 28)) {
            return RefuseClock("日必须1-28");
        }
    }
    if (OutOf(FieldValue(t[3]), 0, 23)) return RefuseClock("小时必须0-23");
    if (OutOf(FieldValue(t[4]), 0, 59)) return RefuseClock("分钟必须0-59");
    if (OutOf(FieldValue(t[5]), 0, 59)) return RefuseClock("秒必须0-59");
    // A field that passed but is not written in plain digits ("1.5", "1e1", "+5") has no BCD form.
    static constexpr std::string_view kWholeTexts[6] = {"年必须为整数", "月必须为整数",   "日必须为整数",
                                                        "小时必须为整数", "分钟必须为整数", "秒必须为整数"};
    for (int i = 0; i < 6; ++i)
        if (!IsPlainDigits(t[i])) return RefuseClock(kWholeTexts[i]);
    Bytes payload{0x07};
    for (const auto& field : t) payload.push_back(BcdOf(field));
    return Accept(std::move(payload));
}

PayloadResult BuildSilence(const FieldInputs& in) {
    for (const auto& f : in.silenceDates)
        if (f.empty()) return Refuse("请输入起始月日及中止月日");
    double v[4];
    for (int i = 0; i < 4; ++i) v[i] = FieldValue(in.silenceDates[i]);
    if (OutOf(v[0], 1, 12)) return Refuse("起始月设置错误");
    if (OutOf(v[1], 1, 31)) return Refuse("起始日设置错误");
    if (OutOf(v[2], 1, 12)) return Refuse("中止月设置错误");
    if (OutOf(v[3], 1, 31)) return Refuse("中止日设置错误");
    std::uint8_t flag = 0x00;
    if (in.silenceChoice == 0)
        flag = 0xAA;
    else if (in.silenceChoice == 1)
        flag = 0x55;
    Bytes payload{0x05, flag};
    for (double value : v) payload.push_back(static_cast<std::uint8_t>(Rounded(value)));
    return Accept(std::move(payload));
}

}  // namespace

const std::array<CatalogueEntry, 15>& Catalogue() { return kCatalogue; }

const CatalogueEntry& Entry(Op op) {
    for (const auto& e : kCatalogue)
        if (e.op == op) return e;
    return kCatalogue[0];  // unreachable: every Op has its entry
}

const CatalogueEntry* FindEntry(std::string_view nameOrButton) {
    for (const auto& e : kCatalogue)
        if (e.name == nameOrButton || e.button == nameOrButton) return &e;
    return nullptr;
}

PayloadResult BuildPayload(Op op, const FieldInputs& in) {
    switch (op) {
        case Op::ReadBarCode:
        case Op::ReadSpareIp:
            return Accept({0x00});
        case Op::SetBarCode: {
            if (in.barCode.empty()) return Refuse("请输入条形码");
            const auto trimmed = Trim(in.barCode);
            if (CharacterCount(trimmed) != 13) return Refuse("条形码应该为13位");
            const auto packed = PackAddress(TerminalAddress(in.barCode));
            return Accept(Bytes(packed.begin(), packed.end()));
        }
        case Op::ReadIp:
            return Accept({0x05, 0x0B});
        case Op::SetIp:
            return BuildAddress(in.dataCentre, "请输入IP和端口", "IP数值不正确，请重新输入", "端口号数值不正确，请重新输入",
                                {0x05, 0x0B});
        case Op::SetSpareIp:
            return BuildAddress(in.spareCentre, "请输入备用IP和端口", "备用IP数值不正确，请重新输入",
                                "备用端口号数值不正确，请重新输入", {});
        case Op::ReadLive:
        case Op::ReadAll:
            return Accept({0x03});
        case Op::SetAcquisition: {
            if (in.acquisitionMinutes.empty()) return Refuse("请输入采集数据时间间隔");
            const double v = FieldValue(in.acquisitionMinutes);
            if (OutOf(v, 1, 1440)) return Refuse("采集数据时间间隔超范围，请重新输入");
            Bytes payload{0x01};
            PushWord(payload, Rounded(v));
            return Accept(std::move(payload));
        }
        case Op::SetUpload: {
            if (in.uploadMinutes.empty()) return Refuse("请输入上传数据时间间隔");
            const double v = FieldValue(in.uploadMinutes);
            // Negative intervals have no 16-bit form: refused with the range text.
            if (OutOf(v, 0, 65535)) return Refuse("上传数据时间间隔超范围，请重新输入");
            Bytes payload{0x02};
            PushWord(payload, Rounded(v));
            return Accept(std::move(payload));
        }
        case Op::SetCommType:
            // Nothing selected sends TCP, the entry the consoles select when they open.
            return Accept({0x03, static_cast<std::uint8_t>(in.commType < 0 ? 0 : in.commType & 0xFF)});
        case Op::SetHeartbeat: {
            const double v = FieldValue(in.heartbeatSeconds);
            if (OutOf(v, 30, 240)) return Refuse("心跳包时间间隔超范围，请重新输入");
            return Accept({0x04, static_cast<std::uint8_t>(Rounded(v))});
        }
        case Op::SetSilence:
            return BuildSilence(in);
        case Op::SetSleep: {
            std::uint8_t choice = 0x00;
            if (in.sleepChoice == 0)
                choice = 0x01;
            else if (in.sleepChoice == 1)
                choice = 0x02;
            return Accept({0x06, choice});
        }
        case Op::SetClock:
            return BuildClock(in.clock);
    }
    return Refuse("");  // unreachable
}

std::string TerminalAddress(std::string_view barCodeText) { return "0" + std::string(Trim(barCodeText)); }

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

std::optional<CheckFailure> CheckTargetBarCode(std::string_view barCodeText, std::string_view emptyMessage) {
    if (barCodeText.empty()) return CheckFailure{std::string(emptyMessage), std::string(), MsgIcon::Critical, true};
    if (CharacterCount(Trim(barCodeText)) != 13)
        return CheckFailure{"条形码应该为13位", std::string(), MsgIcon::Critical, true};
    return std::nullopt;
}

std::string_view EmptyTargetMessage(Op op) {
    switch (op) {
        case Op::ReadBarCode:
        case Op::SetBarCode:
            return {};
        case Op::SetCommType:
        case Op::SetClock:
            return "请先读取或输入条形码";
        default:
            return "请输入条形码";
    }
}

bool UsesBarCodeAddress(Op op) { return op == Op::ReadBarCode || op == Op::SetBarCode; }

std::string RequestAddress(Op op, std::string_view targetBarCode) {
    if (UsesBarCodeAddress(op)) return std::string(kBarCodeAddress);
    return TerminalAddress(targetBarCode);
}

}  // namespace ht6630
