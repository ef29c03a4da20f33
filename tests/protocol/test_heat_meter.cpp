// Heat-meter records of an upload frame turned into DataReceive lines.
#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "protocol/Upload.h"

namespace ht6630 {
namespace {

struct Meter {
    Bytes address = {0x78, 0x56, 0x34, 0x12, 0x00};
    Bytes lastHeat = {0x50, 0x34, 0x12, 0x00};
    Bytes heat = {0x00, 0x00, 0x13, 0x00};
    Bytes power = {0x00, 0x50, 0x00, 0x00};
    Bytes flow = {0x00, 0x25, 0x01, 0x00};
    Bytes totalFlow = {0x00, 0x00, 0x99, 0x00};
    Bytes supply = {0x50, 0x45, 0x00};
    Bytes ret = {0x00, 0x40, 0x00};
    Bytes hours = {0x34, 0x12, 0x00};
    Bytes clock = {0x00, 0x30, 0x08, 0x17, 0x05, 0x24, 0x20};
    std::uint8_t status = 0x05;
    std::uint8_t endByte = 0x16;
    int checksumError = 0;
};

void Put(Bytes& m, std::size_t at, const Bytes& v) { std::copy(v.begin(), v.end(), m.begin() + at); }

// The 62-byte record: tag, two unread bytes, then the 59-byte meter frame.
Bytes Record(const Meter& r, std::uint8_t tag) {
    Bytes m(59, 0xEE);  // unread bytes get a distinctive filler
    m[0] = 0x68;
    Put(m, 2, r.address);
    m[9] = 0x81;
    Put(m, 15, r.lastHeat);
    Put(m, 20, r.heat);
    Put(m, 25, r.power);
    Put(m, 30, r.flow);
    Put(m, 35, r.totalFlow);
    Put(m, 39, r.supply);
    Put(m, 42, r.ret);
    Put(m, 45, r.hours);
    Put(m, 48, r.clock);
    m[55] = r.status;
    unsigned sum = 0;
    for (int k = 0; k <= 56; ++k) sum += m[static_cast<std::size_t>(k)];
    m[57] = static_cast<std::uint8_t>(sum + r.checksumError);
    m[58] = r.endByte;
    Bytes rec(62, 0x00);
    rec[0] = tag;
    Put(rec, 3, m);
    return rec;
}

Bytes HeatFrame(const std::vector<Bytes>& records, int announced = -1) {
    Bytes p = {0x00, 0x00, 0x03, 0x05,
               static_cast<std::uint8_t>(announced < 0 ? records.size() : announced)};
    for (const Bytes& r : records) p.insert(p.end(), r.begin(), r.end());
    return MakeFrame_Request(0x2C, "02012345678901", static_cast<int>(p.size()), p);
}

const std::string kExampleLine =
    "\\\\**\\\\接收到的热表设备地址:0012345678,上次抄表热量:1234.5,当前热量:1300,热功率:50,"
    "瞬时流量:1.25,累计流量:9900,供水温度:45.5,回水温度:40,温差:5.5,累计工作时间:1234,"
    "进水铂电阻断线标志:未断,回水铂电阻断线标志:未断,进水铂电阻短路标志:未短,"
    "回水铂电阻短路标志:未短,温差标志:正温差,欠压标志:欠压,流量标志:正常,管道装反:装反,"
    "实时时间:2024-05-17 08:30:00,通讯状态:通讯成功,采集时间:14:03:27/\r\n";

// The value of piece `label` in a line ("...,label:VALUE,...").
std::string Piece(const std::string& line, const std::string& label) {
    auto at = line.find(label + ":");
    if (at == std::string::npos) return "<missing>";
    at += label.size() + 1;
    auto end = line.find_first_of(",/", at);
    return line.substr(at, end - at);
}

TEST(HeatMeterText, OneRecordGivesTheExampleLine) {
    Bytes frame = HeatFrame({Record(Meter{}, 0x01)});
    ASSERT_EQ(frame.size(), 15u + 5 + 62);
    EXPECT_EQ(DealData_HeatMeter(frame, "14:03:27"), kExampleLine);
    // The first label starts with backslash, backslash, two asterisks, backslash, backslash.
    EXPECT_EQ(kExampleLine.substr(0, 6), std::string("\\\\**\\\\"));
}

TEST(HeatMeterText, TemperatureDifferencePattern) {
    Meter m;
    m.supply = {0x00, 0x40, 0x00};  // 40 and 40
    std::string line = DealData_HeatMeter(HeatFrame({Record(m, 1)}), "00:00:00");
    EXPECT_EQ(Piece(line, "温差"), "0.");
    EXPECT_EQ(Piece(line, "供水温度"), "40");

    m.supply = {0x00, 0x45, 0x00};  // 45 - 40
    EXPECT_EQ(Piece(DealData_HeatMeter(HeatFrame({Record(m, 1)}), "x"), "温差"), "5.");

    m.supply = {0x75, 0x38, 0x00};  // 38.75 - 40 = -1.25
    line = DealData_HeatMeter(HeatFrame({Record(m, 1)}), "x");
    EXPECT_EQ(Piece(line, "温差"), "-1.25");
    EXPECT_EQ(Piece(line, "供水温度"), "38.75");

    m.supply = {0x37, 0x45, 0x00};  // 45.37 - 40.12 in single precision
    m.ret = {0x12, 0x40, 0x00};
    line = DealData_HeatMeter(HeatFrame({Record(m, 1)}), "x");
    EXPECT_EQ(Piece(line, "温差"), "5.25");
    EXPECT_EQ(Piece(line, "供水温度"), "45.37");
    EXPECT_EQ(Piece(line, "回水温度"), "40.12");

    m.supply = {0x99, 0x99, 0x99};  // 9999.99 keeps its 6 digits in single precision
    m.ret = {0x01, 0x00, 0x00};     // 0.01
    line = DealData_HeatMeter(HeatFrame({Record(m, 1)}), "x");
    EXPECT_EQ(Piece(line, "供水温度"), "9999.99");
    EXPECT_EQ(Piece(line, "回水温度"), "0.01");
    EXPECT_EQ(Piece(line, "温差"), "9999.98");
}

TEST(HeatMeterText, DigitStringsWithLettersAndEdgeValues) {
    Meter m;
    m.lastHeat = {0xFF, 0xFF, 0xFF, 0xFF};  // starts with a letter: 0
    m.heat = {0x00, 0x00, 0x00, 0x00};
    m.power = {0x01, 0x00, 0x00, 0x00};     // 0.01
    m.flow = {0x01, 0x00, 0x00, 0x00};      // 0.0001, never an exponent form
    m.totalFlow = {0x99, 0x99, 0x99, 0x99}; // 999999.99
    m.hours = {0x00, 0x00, 0x00};
    m.address = {0x0A, 0xBC, 0x00, 0x00, 0xF0};
    m.clock = {0x59, 0x59, 0x23, 0x31, 0x12, 0x99, 0x19};
    m.status = 0xFA;  // 1111 1010
    std::string line = DealData_HeatMeter(HeatFrame({Record(m, 1)}), "23:59:59");
    EXPECT_EQ(Piece(line, "\\\\**\\\\接收到的热表设备地址"), "F00000BC0A");
    EXPECT_EQ(Piece(line, "上次抄表热量"), "0");
    EXPECT_EQ(Piece(line, "当前热量"), "0");
    EXPECT_EQ(Piece(line, "热功率"), "0.01");
    EXPECT_EQ(Piece(line, "瞬时流量"), "0.0001");
    EXPECT_EQ(Piece(line, "累计流量"), "999999.99");
    EXPECT_EQ(Piece(line, "累计工作时间"), "0");
    EXPECT_EQ(Piece(line, "进水铂电阻断线标志"), "开路");
    EXPECT_EQ(Piece(line, "回水铂电阻断线标志"), "开路");
    EXPECT_EQ(Piece(line, "进水铂电阻短路标志"), "短路");
    EXPECT_EQ(Piece(line, "回水铂电阻短路标志"), "短路");
    EXPECT_EQ(Piece(line, "温差标志"), "负温差");
    EXPECT_EQ(Piece(line, "欠压标志"), "正常");
    EXPECT_EQ(Piece(line, "流量标志"), "报错");
    EXPECT_EQ(Piece(line, "管道装反"), "正常");
    EXPECT_NE(line.find(",实时时间:1999-12-31 23:59:59,通讯状态:通讯成功,采集时间:23:59:59/\r\n"),
              std::string::npos)
        << line;

    // A letter in the middle stops the number there: "0012A4.50" reads 12.
    m.lastHeat = {0x50, 0xA4, 0x12, 0x00};
    line = DealData_HeatMeter(HeatFrame({Record(m, 1)}), "x");
    EXPECT_EQ(Piece(line, "上次抄表热量"), "12");
    // The point sits after the fourth digit of a flow even when a letter follows it.
    m.flow = {0x00, 0x5A, 0x25, 0x01};  // "0125.5A00"
    m.hours = {0x0B, 0x00, 0x01};       // "01000B": a whole number cut by the letter
    line = DealData_HeatMeter(HeatFrame({Record(m, 1)}), "x");
    EXPECT_EQ(Piece(line, "瞬时流量"), "125.5");
    EXPECT_EQ(Piece(line, "累计工作时间"), "1000");
}

TEST(HeatMeterText, BadRecordsAreSkippedAndTheRestDecoded) {
    Meter bad;
    bad.checksumError = 1;
    Meter second;
    second.address = {0x22, 0x22, 0x22, 0x22, 0x22};
    Meter third;
    third.address = {0x33, 0x33, 0x33, 0x33, 0x33};
    Bytes ok3 = HeatFrame({Record(Meter{}, 1), Record(second, 2), Record(third, 3)});
    std::string three = DealData_HeatMeter(ok3, "14:03:27");
    ASSERT_EQ(three.size(), 3 * (three.find("\r\n") + 2));
    EXPECT_EQ(three.substr(0, kExampleLine.size()), kExampleLine);
    EXPECT_NE(three.find("地址:2222222222,"), std::string::npos);
    EXPECT_NE(three.find("地址:3333333333,"), std::string::npos);

    std::string skipped =
        DealData_HeatMeter(HeatFrame({Record(Meter{}, 1), Record(bad, 2), Record(third, 3)}), "14:03:27");
    EXPECT_EQ(skipped.substr(0, kExampleLine.size()), kExampleLine);
    EXPECT_NE(skipped.find("地址:3333333333,"), std::string::npos);
    EXPECT_EQ(skipped.size(), 2 * kExampleLine.size());

    Meter end17;
    end17.endByte = 0x17;
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({Record(end17, 1)}), "x"), "");

    Bytes startBad = Record(Meter{}, 1);
    startBad[3] = 0x69;
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({startBad}), "x"), "");
    Bytes controlBad = Record(Meter{}, 1);
    controlBad[3 + 9] = 0x01;
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({controlBad}), "x"), "");
    // The unread byte M + 56 is covered by the checksum.
    Bytes unreadChanged = Record(Meter{}, 1);
    unreadChanged[3 + 56] ^= 0x01;
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({unreadChanged}), "x"), "");
}

TEST(HeatMeterText, ValuesBeyondAnyRangeSkipTheRecord) {
    // "1E9999.99" and "9E99.99" read as exponent forms too large for the number types.
    Meter huge;
    huge.heat = {0x99, 0x99, 0x99, 0x1E};
    Meter hugeTemp;
    hugeTemp.supply = {0x99, 0x99, 0x9E};
    Meter fine;
    fine.heat = {0x00, 0x03, 0xE0, 0x00};  // "00E003.00": exponent of a zero mantissa, 0
    std::string text = DealData_HeatMeter(
        HeatFrame({Record(huge, 1), Record(hugeTemp, 2), Record(fine, 3)}), "14:03:27");
    EXPECT_EQ(text.find("inf"), std::string::npos);
    EXPECT_EQ(text.find("\r\n"), text.size() - 2) << text;  // one line: the third record
    EXPECT_EQ(Piece(text, "当前热量"), "0");
}

TEST(HeatMeterText, RecordCountLimits) {
    Bytes one = Record(Meter{}, 1);
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({one, one, one, one}), "x"), "");  // n = 4
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({one}, 0), "x"), "");              // n = 0
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({one}, 255), "x"), "");
    EXPECT_EQ(DealData_HeatMeter(HeatFrame({one, one, one}), "x").size(),
              3 * DealData_HeatMeter(HeatFrame({one}), "x").size());
}

TEST(HeatMeterText, RecordsTheFrameDoesNotHoldAreSkipped) {
    Bytes one = Record(Meter{}, 1);
    // Three announced, one held: the one is decoded, nothing is read past the end.
    Bytes frame = HeatFrame({one}, 3);
    EXPECT_EQ(DealData_HeatMeter(frame, "14:03:27"), kExampleLine);
    // The frame without CRC and end byte ends right after the record's 0x16 (offset 78).
    Bytes bare(frame.begin(), frame.begin() + 79);
    EXPECT_EQ(DealData_HeatMeter(bare, "14:03:27"), kExampleLine);
    EXPECT_EQ(DealData_HeatMeter(ByteView(bare).first(78), "14:03:27"), "");
    // Shorter than the count byte, or empty.
    EXPECT_EQ(DealData_HeatMeter(ByteView(frame).first(16), "x"), "");
    EXPECT_EQ(DealData_HeatMeter(ByteView{}, "x"), "");
    EXPECT_EQ(DealData_HeatMeter(ByteView(frame).first(17), "x"), "");
}

TEST(HexDigitToBitsTest, DigitsAndOtherStrings) {
    EXPECT_EQ(HexDigitToBits("0"), "0000");
    EXPECT_EQ(HexDigitToBits("5"), "0101");
    EXPECT_EQ(HexDigitToBits("9"), "1001");
    EXPECT_EQ(HexDigitToBits("A"), "1010");
    EXPECT_EQ(HexDigitToBits("F"), "1111");
    EXPECT_EQ(HexDigitToBits("a"), "");
    EXPECT_EQ(HexDigitToBits("10"), "");
    EXPECT_EQ(HexDigitToBits(""), "");
    EXPECT_EQ(HexDigitToBits("G"), "");
    EXPECT_EQ(HexDigitToBits(" "), "");
}

}  // namespace
}  // namespace ht6630
