// The fifteen requests: entries, value checks in order, message texts and payload bytes.
#include <gtest/gtest.h>

#include <set>

#include "protocol/Bytes.h"
#include "protocol/Catalogue.h"
#include "protocol/Frame.h"

namespace ht6630 {
namespace {

// "ok: <payload hex>" or "refused: <text>".
std::string Outcome(Op op, const FieldInputs& in) {
    const PayloadResult r = BuildPayload(op, in);
    if (r.failure) return "refused: " + r.failure->text;
    return "ok: " + ToHexSpaced(r.payload);
}

FieldInputs WithIp(std::array<std::string, 5> ip) {
    FieldInputs in;
    in.dataCentre = ip;
    in.spareCentre = ip;
    return in;
}

FieldInputs WithClock(std::array<std::string, 6> t) {
    FieldInputs in;
    in.clock = t;
    return in;
}

FieldInputs WithDates(std::array<std::string, 4> d, int flag) {
    FieldInputs in;
    in.silenceDates = d;
    in.silenceChoice = flag;
    return in;
}

TEST(Catalogue, FifteenEntries) {
    struct Row {
        Op op;
        const char* name;
        const char* button;
        int code, n, length, response;
    };
    const Row rows[] = {
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
    };
    ASSERT_EQ(Catalogue().size(), 15u);
    std::set<Op> seen;
    for (std::size_t i = 0; i < 15; ++i) {
        const auto& e = Catalogue()[i];
        const Row& r = rows[i];
        SCOPED_TRACE(r.button);
        EXPECT_EQ(e.op, r.op);
        EXPECT_EQ(e.name, r.name);
        EXPECT_EQ(e.button, r.button);
        EXPECT_EQ(e.functionCode, r.code);
        EXPECT_EQ(e.requestLength, r.n);
        EXPECT_EQ(e.responseLength, r.length);
        EXPECT_EQ(e.responseCode, r.response);
        EXPECT_EQ(e.responseCode, e.functionCode + 0x70);
        EXPECT_EQ(&Entry(r.op), &e);
        EXPECT_EQ(FindEntry(r.name), &e);
        EXPECT_EQ(FindEntry(r.button), &e);
        seen.insert(e.op);
    }
    EXPECT_EQ(seen.size(), 15u);
    EXPECT_EQ(FindEntry("cmdhear"), nullptr);
    EXPECT_EQ(FindEntry(""), nullptr);
    EXPECT_EQ(FindEntry("设置心跳包时间间隔 "), nullptr);
}

TEST(Catalogue, PayloadLengthsMatchTheTable) {
    FieldInputs in;
    in.barCode = "2012345678901";
    in.dataCentre = in.spareCentre = {"1", "2", "3", "4", "5"};
    in.acquisitionMinutes = in.uploadMinutes = "15";
    in.heartbeatSeconds = "60";
    in.silenceDates = {"1", "1", "2", "2"};
    in.clock = {"24", "05", "17", "08", "30", "00"};
    for (const auto& e : Catalogue()) {
        const PayloadResult r = BuildPayload(e.op, in);
        ASSERT_FALSE(r.failure) << e.button << ": " << r.failure->text;
        EXPECT_EQ(static_cast<int>(r.payload.size()), e.requestLength) << e.button;
    }
}

TEST(Catalogue, FixedPayloads) {
    const FieldInputs in;
    EXPECT_EQ(Outcome(Op::ReadBarCode, in), "ok: 00");
    EXPECT_EQ(Outcome(Op::ReadIp, in), "ok: 05 0B");
    EXPECT_EQ(Outcome(Op::ReadSpareIp, in), "ok: 00");
    EXPECT_EQ(Outcome(Op::ReadLive, in), "ok: 03");
    EXPECT_EQ(Outcome(Op::ReadAll, in), "ok: 03");
}

TEST(Catalogue, SetBarCode) {
    FieldInputs in;
    EXPECT_EQ(Outcome(Op::SetBarCode, in), "refused: 请输入条形码");
    in.barCode = "   ";
    EXPECT_EQ(Outcome(Op::SetBarCode, in), "refused: 条形码应该为13位");
    in.barCode = "201234567890";
    EXPECT_EQ(Outcome(Op::SetBarCode, in), "refused: 条形码应该为13位");
    in.barCode = "20123456789012";
    EXPECT_EQ(Outcome(Op::SetBarCode, in), "refused: 条形码应该为13位");
    in.barCode = "  2012345678901 ";
    EXPECT_EQ(Outcome(Op::SetBarCode, in), "ok: 02 01 23 45 67 89 01");
    // Thirteen characters are not otherwise tested; non-hex pairs pack leniently.
    in.barCode = "ABCDEFGHIJKLM";
    EXPECT_EQ(Outcome(Op::SetBarCode, in), "ok: 0A BC DE 0F 00 00 00");
    in.barCode = "条形码条形码条形码条形码条";  // 13 characters, 39 bytes
    EXPECT_EQ(Outcome(Op::SetBarCode, in), "ok: 00 00 00 00 00 00 00");
    const auto f = BuildPayload(Op::SetBarCode, FieldInputs{});
    ASSERT_TRUE(f.failure);
    EXPECT_EQ(f.failure->icon, MsgIcon::Critical);
    EXPECT_TRUE(f.failure->useAppTitle);
    EXPECT_TRUE(f.payload.empty());
}

TEST(Catalogue, SetIpChecksInOrder) {
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"192", "168", "1", "2", "2020"})), "ok: 05 0B C0 A8 01 02 07 E4");
    EXPECT_EQ(Outcome(Op::SetSpareIp, WithIp({"192", "168", "1", "2", "2020"})), "ok: C0 A8 01 02 07 E4");
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({" 255 ", "0", "254.5", "0.5", "65535"})), "ok: 05 0B FF 00 FE 00 FF FF");
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"1.5", "2.5", "-0", "abc", "   "})), "ok: 05 0B 02 02 00 00 00 00");
    // Emptiness comes first, for any of the five fields.
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"999", "1", "1", "1", ""})), "refused: 请输入IP和端口");
    EXPECT_EQ(Outcome(Op::SetSpareIp, WithIp({"", "1", "1", "1", "1"})), "refused: 请输入备用IP和端口");
    // Octets before the port.
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"1", "1", "1", "255.5", "70000"})), "refused: IP数值不正确，请重新输入");
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"1", "1", "1", "1", "65535.5"})), "refused: 端口号数值不正确，请重新输入");
    EXPECT_EQ(Outcome(Op::SetSpareIp, WithIp({"256", "1", "1", "1", "1"})), "refused: 备用IP数值不正确，请重新输入");
    EXPECT_EQ(Outcome(Op::SetSpareIp, WithIp({"1", "1", "1", "1", "1e5"})), "refused: 备用端口号数值不正确，请重新输入");
}

TEST(Catalogue, NegativeOctetsPortsAndUploadIntervalsAreRefused) {
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"1", "-1", "1", "1", "1"})), "refused: IP数值不正确，请重新输入");
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"1", "1", "1", "-0.4", "1"})), "refused: IP数值不正确，请重新输入");
    EXPECT_EQ(Outcome(Op::SetIp, WithIp({"1", "1", "1", "1", "-1"})), "refused: 端口号数值不正确，请重新输入");
    EXPECT_EQ(Outcome(Op::SetSpareIp, WithIp({"-5", "1", "1", "1", "1"})), "refused: 备用IP数值不正确，请重新输入");
    EXPECT_EQ(Outcome(Op::SetSpareIp, WithIp({"1", "1", "1", "1", "-0.5"})),
              "refused: 备用端口号数值不正确，请重新输入");
    FieldInputs in;
    for (const char* negative : {"-1", "-0.5", "-1e999"}) {
        in.uploadMinutes = negative;
        EXPECT_EQ(Outcome(Op::SetUpload, in), "refused: 上传数据时间间隔超范围，请重新输入") << negative;
    }
}

TEST(Catalogue, AcquisitionInterval) {
    FieldInputs in;
    EXPECT_EQ(Outcome(Op::SetAcquisition, in), "refused: 请输入采集数据时间间隔");
    const std::pair<const char*, const char*> cases[] = {
        {"15", "ok: 01 00 0F"},   {"1440", "ok: 01 05 A0"}, {"1", "ok: 01 00 01"},
        {"1.5", "ok: 01 00 02"},  {"2.5", "ok: 01 00 02"},  {" 1 4 4 0 ", "ok: 01 05 A0"},
        {"1e1", "ok: 01 00 0A"},  {"0.5", "refused: 采集数据时间间隔超范围，请重新输入"},
        {"1441", "refused: 采集数据时间间隔超范围，请重新输入"},
        {"1440.01", "refused: 采集数据时间间隔超范围，请重新输入"},
        {"0.999", "refused: 采集数据时间间隔超范围，请重新输入"},
        {"   ", "refused: 采集数据时间间隔超范围，请重新输入"},
        {"abc", "refused: 采集数据时间间隔超范围，请重新输入"},
    };
    for (const auto& [text, outcome] : cases) {
        in.acquisitionMinutes = text;
        EXPECT_EQ(Outcome(Op::SetAcquisition, in), outcome) << '"' << text << '"';
    }
}

TEST(Catalogue, UploadInterval) {
    FieldInputs in;
    EXPECT_EQ(Outcome(Op::SetUpload, in), "refused: 请输入上传数据时间间隔");
    const std::pair<const char*, const char*> cases[] = {
        {"0", "ok: 02 00 00"},     {"60", "ok: 02 00 3C"},   {"65535", "ok: 02 FF FF"},
        {"0.5", "ok: 02 00 00"},   {" ", "ok: 02 00 00"},    {"-0", "ok: 02 00 00"},
        {"65535.5", "refused: 上传数据时间间隔超范围，请重新输入"},
        {"65536", "refused: 上传数据时间间隔超范围，请重新输入"},
    };
    for (const auto& [text, outcome] : cases) {
        in.uploadMinutes = text;
        EXPECT_EQ(Outcome(Op::SetUpload, in), outcome) << '"' << text << '"';
    }
}

TEST(Catalogue, CommunicationTypeAndSleepChoice) {
    FieldInputs in;
    in.commType = 0;
    EXPECT_EQ(Outcome(Op::SetCommType, in), "ok: 03 00");
    in.commType = 1;
    EXPECT_EQ(Outcome(Op::SetCommType, in), "ok: 03 01");
    in.commType = -1;  // nothing selected: TCP
    EXPECT_EQ(Outcome(Op::SetCommType, in), "ok: 03 00");
    in.sleepChoice = 0;
    EXPECT_EQ(Outcome(Op::SetSleep, in), "ok: 06 01");
    in.sleepChoice = 1;
    EXPECT_EQ(Outcome(Op::SetSleep, in), "ok: 06 02");
    in.sleepChoice = -1;
    EXPECT_EQ(Outcome(Op::SetSleep, in), "ok: 06 00");
}

TEST(Catalogue, HeartbeatInterval) {
    FieldInputs in;
    const std::pair<const char*, const char*> cases[] = {
        {"60", "ok: 04 3C"},      {"30", "ok: 04 1E"},      {"240", "ok: 04 F0"},
        {"30.5", "ok: 04 1E"},    {"239.5", "ok: 04 F0"},   {"240.01", "refused: 心跳包时间间隔超范围，请重新输入"},
        {"", "refused: 心跳包时间间隔超范围，请重新输入"},
        {"29.9", "refused: 心跳包时间间隔超范围，请重新输入"},
        {"240.5", "refused: 心跳包时间间隔超范围，请重新输入"},
        {"-60", "refused: 心跳包时间间隔超范围，请重新输入"},
    };
    for (const auto& [text, outcome] : cases) {
        in.heartbeatSeconds = text;
        EXPECT_EQ(Outcome(Op::SetHeartbeat, in), outcome) << '"' << text << '"';
    }
    // The heart-beat example, whole frame.
    in.heartbeatSeconds = "60";
    const PayloadResult r = BuildPayload(Op::SetHeartbeat, in);
    ASSERT_FALSE(r.failure);
    EXPECT_EQ(ToHexSpaced(MakeFrame_Request(0x0A, TerminalAddress("2012345678901"), 2, r.payload)),
              "51 56 0A 02 01 23 45 67 89 01 00 02 04 3C AE 13 0D");
}

TEST(Catalogue, SilenceParameters) {
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"11", "15", "3", "15"}, 0)), "ok: 05 AA 0B 0F 03 0F");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"11", "15", "3", "15"}, 1)), "ok: 05 55 0B 0F 03 0F");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"11", "15", "3", "15"}, -1)), "ok: 05 00 0B 0F 03 0F");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"12", "31", "1", "1"}, 0)), "ok: 05 AA 0C 1F 01 01");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"1.5", "30.5", "11.5", "1.4"}, 0)), "ok: 05 AA 02 1E 0C 01");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"13", "15", "3", ""}, 0)), "refused: 请输入起始月日及中止月日");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"13", "0", "0", "0"}, 0)), "refused: 起始月设置错误");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({" ", "1", "1", "1"}, 0)), "refused: 起始月设置错误");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"12", "31.5", "0", "0"}, 0)), "refused: 起始日设置错误");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"12", "31", "12.5", "0"}, 0)), "refused: 中止月设置错误");
    EXPECT_EQ(Outcome(Op::SetSilence, WithDates({"12", "31", "12", "0.9"}, 0)), "refused: 中止日设置错误");
}

TEST(Catalogue, ClockPayloadIsBcd) {
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"24", "05", "17", "08", "30", "00"})), "ok: 07 24 05 17 08 30 00");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"5", "5", "9", "0", "0", "0"})), "ok: 07 05 05 09 00 00 00");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({" 99 ", "12", "31", "23", "059", "59"})), "ok: 07 99 12 31 23 59 59");
    // Leap years: 2000 and 2024 are, 2023 is not.
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"24", "2", "29", "0", "0", "0"})), "ok: 07 24 02 29 00 00 00");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"00", "2", "29", "0", "0", "0"})), "ok: 07 00 02 29 00 00 00");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"23", "2", "29", "0", "0", "0"})), "refused: 日必须1-28");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"24", "2", "30", "0", "0", "0"})), "refused: 日必须1-29");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"23", "2", "28", "0", "0", "0"})), "ok: 07 23 02 28 00 00 00");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"24", "4", "31", "0", "0", "0"})), "refused: 日必须1-30");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"24", "12", "32", "0", "0", "0"})), "refused: 日必须1-31");
    EXPECT_EQ(Outcome(Op::SetClock, WithClock({"24", "1", "0", "0", "0", "0"})), "refused: 日必须1-31");
}

TEST(Catalogue, ClockChecksInOrder) {
    const std::pair<std::array<std::string, 6>, const char*> cases[] = {
        {{"", "x", "x", "x", "x", "x"}, "年必须为数字"},
        {{"2 4", "05", "17", "08", "30", "00"}, "年必须为数字"},
        {{"100", "x", "x", "x", "x", "x"}, "年设置范围为00-99"},
        {{"-1", "x", "x", "x", "x", "x"}, "年设置范围为00-99"},
        {{"24", "x", "x", "x", "x", "x"}, "月必须为数字"},
        {{"24", "13", "x", "x", "x", "x"}, "小时必须为数字"},  // the day has no numeric check
        {{"24", "13", "x", "8", "x", "x"}, "分钟必须为数字"},
        {{"24", "13", "x", "8", "30", ""}, "秒必须为数字"},
        {{"24", "13", "x", "99", "99", "99"}, "月必须1-12"},
        {{"24", "0", "1", "0", "0", "0"}, "月必须1-12"},
        {{"24", "5", "x", "99", "99", "99"}, "日必须1-31"},
        {{"24", "5", "17", "24", "99", "99"}, "小时必须0-23"},
        {{"24", "5", "17", "-1", "99", "99"}, "小时必须0-23"},
        {{"24", "5", "17", "23", "60", "99"}, "分钟必须0-59"},
        {{"24", "5", "17", "23", "59", "60"}, "秒必须0-59"},
        {{"24", "5", "17", "23", "59", "-0.5"}, "秒必须0-59"},
    };
    for (const auto& [fields, text] : cases) {
        const PayloadResult r = BuildPayload(Op::SetClock, WithClock(fields));
        ASSERT_TRUE(r.failure) << text;
        EXPECT_EQ(r.failure->text, text);
        EXPECT_EQ(r.failure->title, "警告");
        EXPECT_EQ(r.failure->icon, MsgIcon::None);
        EXPECT_FALSE(r.failure->useAppTitle);
        EXPECT_TRUE(r.payload.empty());
    }
}

TEST(Catalogue, ClockTextsThatAreNotPlainDigitsAreRefused) {
    const std::pair<std::array<std::string, 6>, const char*> cases[] = {
        {{"1e1", "05", "17", "08", "30", "00"}, "年必须为整数"},
        {{"24.0", "05", "17", "08", "30", "00"}, "年必须为整数"},
        {{"-0", "05", "17", "08", "30", "00"}, "年必须为整数"},
        {{"24", "+5", "17", "08", "30", "00"}, "月必须为整数"},
        {{"24", "5.", "1.5", "08", "30", "00"}, "月必须为整数"},
        {{"24", "05", "1.5", "08", "30", "00"}, "日必须为整数"},
        {{"24", "05", "1 7", "08", "30", "00"}, "日必须为整数"},
        {{"24", "05", "17", "1e1", "30", "00"}, "小时必须为整数"},
        {{"24", "05", "17", "08", "\t30", "00"}, "分钟必须为整数"},
        {{"24", "05", "17", "08", "30", "0.0"}, "秒必须为整数"},
    };
    for (const auto& [fields, text] : cases) {
        const PayloadResult r = BuildPayload(Op::SetClock, WithClock(fields));
        ASSERT_TRUE(r.failure) << text;
        EXPECT_EQ(r.failure->text, text);
        EXPECT_EQ(r.failure->title, "警告");
        EXPECT_EQ(r.failure->icon, MsgIcon::None);
        EXPECT_FALSE(r.failure->useAppTitle);
    }
}

TEST(Catalogue, ValueChecksUseTheErrorIconAndTheApplicationTitle) {
    FieldInputs in;
    in.heartbeatSeconds = "1";
    const PayloadResult r = BuildPayload(Op::SetHeartbeat, in);
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->icon, MsgIcon::Critical);
    EXPECT_TRUE(r.failure->useAppTitle);
    EXPECT_TRUE(r.payload.empty());
}

TEST(Catalogue, AddressesAndTargetBarCode) {
    EXPECT_EQ(TerminalAddress("2012345678901"), "02012345678901");
    EXPECT_EQ(TerminalAddress("  2012345678901  "), "02012345678901");
    EXPECT_EQ(TerminalAddress(""), "0");
    EXPECT_EQ(RequestAddress(Op::ReadBarCode, "2012345678901"), "99999999999999");
    EXPECT_EQ(RequestAddress(Op::SetBarCode, ""), "99999999999999");
    EXPECT_EQ(RequestAddress(Op::ReadIp, " 2012345678901"), "02012345678901");
    EXPECT_EQ(EmptyTargetMessage(Op::SetCommType), "请先读取或输入条形码");
    EXPECT_EQ(EmptyTargetMessage(Op::SetClock), "请先读取或输入条形码");
    EXPECT_EQ(EmptyTargetMessage(Op::ReadIp), "请输入条形码");
    EXPECT_EQ(EmptyTargetMessage(Op::SetSleep), "请输入条形码");
    EXPECT_EQ(EmptyTargetMessage(Op::ReadBarCode), "");
    EXPECT_EQ(CheckTargetBarCode("", "请输入条形码")->text, "请输入条形码");
    EXPECT_EQ(CheckTargetBarCode(" ", "请输入条形码")->text, "条形码应该为13位");
    EXPECT_EQ(CheckTargetBarCode("201234567890", "x")->text, "条形码应该为13位");
    EXPECT_EQ(CheckTargetBarCode("条形码条形码条形码条形码", "x")->text, "条形码应该为13位");
    EXPECT_FALSE(CheckTargetBarCode("  2012345678901 ", "x"));
    EXPECT_FALSE(CheckTargetBarCode("条形码条形码条形码条形码条", "x"));
    EXPECT_EQ(CharacterCount("条形码2"), 4u);
}

}  // namespace
}  // namespace ht6630
