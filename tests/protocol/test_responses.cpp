// Catalogue responses turned back into console field values.
#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "protocol/Responses.h"
#include "test_hex.h"

namespace ht6630 {
namespace {

using ht6630::testing::Hex;

// A response frame from the terminal 2012345678901 with the given payload.
Bytes Response(int code, const Bytes& payload) {
    return MakeFrame_Reply(code, "02012345678901", static_cast<int>(payload.size()), payload);
}

TEST(ResponseFields, ReadAllParametersExample) {
    Bytes frame = Hex(
        "71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C AA 0B 0F 03 0F 24 05 "
        "17 08 30 00 AA 45 0D");
    ASSERT_EQ(frame.size(), 36u);
    auto f = DecodeResponseFields(Op::ReadAll, frame);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->firmware, "V1.05");
    EXPECT_EQ(f->acquisitionMinutes, "15");
    EXPECT_EQ(f->uploadMinutes, "60");
    EXPECT_EQ(f->commType, 1);  // "UDP"
    EXPECT_EQ(f->heartbeatSeconds, "60");
    EXPECT_EQ(f->silenceChoice, 0);  // "禁用"
    EXPECT_EQ(f->silenceDates, (std::array<std::string, 4>{"11", "15", "3", "15"}));
    EXPECT_EQ(f->clock, (std::array<std::string, 6>{"24", "05", "17", "08", "30", "00"}));
    EXPECT_FALSE(f->barCode);
    EXPECT_FALSE(f->dataCentre);
    EXPECT_FALSE(f->temperature);
}

TEST(ResponseFields, ReadAllOptionsAndCommunicationType) {
    Bytes base = Hex(
        "71 76 7D 02 01 23 45 67 89 01 00 15 03 00 02 0A 05 A0 FF FF 02 F0 55 01 1F 0C 1F 99 12 "
        "31 23 59 59 00 00 0D");
    auto f = DecodeResponseFields(Op::ReadAll, base);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->firmware, "V2.0A");
    EXPECT_EQ(f->acquisitionMinutes, "1440");
    EXPECT_EQ(f->uploadMinutes, "65535");
    EXPECT_EQ(f->commType, 0);  // 0x02 AND 1
    EXPECT_EQ(f->heartbeatSeconds, "240");
    EXPECT_EQ(f->silenceChoice, 1);  // 0x55 "启用"
    EXPECT_EQ(f->silenceDates, (std::array<std::string, 4>{"1", "31", "12", "31"}));
    EXPECT_EQ(f->clock, (std::array<std::string, 6>{"99", "12", "31", "23", "59", "59"}));

    for (std::uint8_t flag : {0x00, 0xAB, 0x54, 0xFF}) {
        base[22] = flag;
        auto g = DecodeResponseFields(Op::ReadAll, base);
        ASSERT_TRUE(g);
        EXPECT_EQ(g->silenceChoice, -1) << int(flag);  // neither option chosen
    }
    base[20] = 0x03;
    EXPECT_EQ(DecodeResponseFields(Op::ReadAll, base)->commType, 1);
    base[14] = 0x10;
    base[15] = 0x00;
    EXPECT_EQ(DecodeResponseFields(Op::ReadAll, base)->firmware, "V10.00");
}

TEST(ResponseFields, LiveTemperatureAndHumidity) {
    auto f = DecodeResponseFields(Op::ReadLive, Response(0x79, Hex("00 00 FF 9C 01 C8")));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->temperature, "-10");
    EXPECT_EQ(f->humidity, "45.6");

    f = DecodeResponseFields(Op::ReadLive, Response(0x79, Hex("00 00 FF 38 00 00")));
    EXPECT_EQ(f->temperature, "-20");
    EXPECT_EQ(f->humidity, "0");
    f = DecodeResponseFields(Op::ReadLive, Response(0x79, Hex("00 00 00 EB 03 E8")));
    EXPECT_EQ(f->temperature, "23.5");
    EXPECT_EQ(f->humidity, "100");
    f = DecodeResponseFields(Op::ReadLive, Response(0x79, Hex("00 00 FF FB FF FF")));
    EXPECT_EQ(f->temperature, "-0.5");
    EXPECT_EQ(f->humidity, "6553.5");  // humidity is unsigned
    f = DecodeResponseFields(Op::ReadLive, Response(0x79, Hex("00 00 80 00 7F FF")));
    EXPECT_EQ(f->temperature, "-3276.8");
    EXPECT_EQ(f->humidity, "3276.7");
}

TEST(ResponseFields, BarCodeAndAddresses) {
    Bytes bar = Response(0x74, Hex("00 00 02 01 23 45 67 89 01"));
    ASSERT_EQ(bar.size(), 24u);
    auto f = DecodeResponseFields(Op::ReadBarCode, bar);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->barCode, "2012345678901");
    // The high digit of B(14) is dropped; non-decimal nibbles show as letters.
    f = DecodeResponseFields(Op::ReadBarCode, Response(0x74, Hex("00 00 F9 0A BC DE F0 12 34")));
    EXPECT_EQ(f->barCode, "90ABCDEF01234");

    Bytes ip = Response(0x76, Hex("05 0B C0 A8 01 FE 07 E4"));
    ASSERT_EQ(ip.size(), 23u);
    f = DecodeResponseFields(Op::ReadIp, ip);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->dataCentre, (std::array<std::string, 5>{"192", "168", "1", "254", "2020"}));
    EXPECT_FALSE(f->spareCentre);

    Bytes spare = Response(0x78, Hex("0A 00 00 FF FF FF"));
    ASSERT_EQ(spare.size(), 21u);
    f = DecodeResponseFields(Op::ReadSpareIp, spare);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->spareCentre, (std::array<std::string, 5>{"10", "0", "0", "255", "65535"}));
    EXPECT_FALSE(f->dataCentre);
}

TEST(ResponseFields, AcknowledgementsFillNothing) {
    const Op acks[] = {Op::SetBarCode,   Op::SetIp,        Op::SetSpareIp, Op::SetAcquisition,
                       Op::SetUpload,    Op::SetCommType,  Op::SetHeartbeat, Op::SetSilence,
                       Op::SetSleep,     Op::SetClock};
    Bytes ack = Response(0x7A, Hex("00 00 00"));
    for (Op op : acks) {
        auto f = DecodeResponseFields(op, ack);
        ASSERT_TRUE(f) << static_cast<int>(op);
        EXPECT_TRUE(f->empty());
        auto g = DecodeResponseFields(op, ByteView{});
        ASSERT_TRUE(g);
        EXPECT_TRUE(g->empty());
    }
}

TEST(ResponseFields, BlocksShorterThanTheirFieldsGiveNothing) {
    // Bytes read: bar code up to 20, IP up to 19, spare IP up to 17, live up to 17, all up to 32.
    const std::pair<Op, std::size_t> needs[] = {{Op::ReadBarCode, 21}, {Op::ReadIp, 20},
                                                {Op::ReadSpareIp, 18}, {Op::ReadLive, 18},
                                                {Op::ReadAll, 33}};
    Bytes full(40, 0x11);
    for (auto [op, need] : needs) {
        EXPECT_FALSE(DecodeResponseFields(op, ByteView(full).first(need - 1))) << need;
        EXPECT_FALSE(DecodeResponseFields(op, ByteView{}));
        auto f = DecodeResponseFields(op, ByteView(full).first(need));
        ASSERT_TRUE(f) << need;
        EXPECT_FALSE(f->empty());
    }
}

TEST(NumberFormats, TenthsInShortestForm) {
    EXPECT_EQ(FormatTenths(235), "23.5");
    EXPECT_EQ(FormatTenths(250), "25");
    EXPECT_EQ(FormatTenths(-100), "-10");
    EXPECT_EQ(FormatTenths(-5), "-0.5");
    EXPECT_EQ(FormatTenths(-52), "-5.2");
    EXPECT_EQ(FormatTenths(0), "0");
    EXPECT_EQ(FormatTenths(1), "0.1");
    EXPECT_EQ(FormatTenths(-2147483647 - 1), "-214748364.8");
}

TEST(NumberFormats, VersionAndSigned16) {
    EXPECT_EQ(FormatVersion(0x01, 0x05), "V1.05");
    EXPECT_EQ(FormatVersion(0x02, 0x0A), "V2.0A");
    EXPECT_EQ(FormatVersion(0x00, 0x00), "V0.00");
    EXPECT_EQ(FormatVersion(0xAB, 0xFF), "VAB.FF");
    EXPECT_EQ(SignedBigEndian16(0xFF, 0x38), -200);
    EXPECT_EQ(SignedBigEndian16(0x00, 0xFA), 250);
    EXPECT_EQ(SignedBigEndian16(0x80, 0x00), -32768);
    EXPECT_EQ(SignedBigEndian16(0x7F, 0xFF), 32767);
    EXPECT_EQ(SignedBigEndian16(0xFF, 0xFF), -1);
}

}  // namespace
}  // namespace ht6630
