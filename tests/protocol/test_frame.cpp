// Frame builders, address packing and CRC-16/MODBUS.
#include <gtest/gtest.h>

#include <random>

#include "protocol/Bytes.h"
#include "protocol/Frame.h"
#include "test_hex.h"

namespace ht6630 {
namespace {

using ht6630::testing::Hex;

ByteView View(const char* ascii) {
    return ByteView(reinterpret_cast<const std::uint8_t*>(ascii), std::char_traits<char>::length(ascii));
}

TEST(Frame, RequestExamples) {
    const Bytes zero{0x00};
    EXPECT_EQ(ToHexSpaced(MakeFrame_Request(4, "99999999999999", 1, zero)),
              "51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D");
    EXPECT_EQ(ToHexSpaced(MakeFrame_Request(4, "02012345678901", 1, zero)),
              "51 56 04 02 01 23 45 67 89 01 00 01 00 33 F5 0D");
}

TEST(Frame, ReplyExample) {
    const Bytes payload{0, 0, 0};
    EXPECT_EQ(ToHexSpaced(MakeFrame_Reply(0x71, "02012345678901", 3, payload)),
              "71 76 71 02 01 23 45 67 89 01 00 03 00 00 00 67 C2 0D");
}

TEST(Frame, InfraredIsPreambleThenTheRequestFrame) {
    const Bytes zero{0x00};
    const Bytes ir = MakeFrame_Infrared(4, "99999999999999", 1, zero);
    ASSERT_EQ(ir.size(), 217u);
    for (int i = 0; i < kPreambleLength; ++i) ASSERT_EQ(ir[i], 0) << i;
    EXPECT_EQ(ToHexSpaced(ByteView(ir).subspan(201)), "51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D");
    EXPECT_EQ(Crc16_Infrared(ByteView(ir).first(ir.size() - 3)), 0x10E2u);
}

TEST(Frame, EmptyPayload) {
    const Bytes f = MakeFrame_Request(0x0D, "02012345678901", 0, {});
    ASSERT_EQ(f.size(), 15u);
    EXPECT_EQ(f[10], 0);
    EXPECT_EQ(f[11], 0);
    EXPECT_EQ(f[12] + 256u * f[13], Crc16Modbus(ByteView(f).first(12)));
    EXPECT_EQ(f[14], 0x0D);
    const Bytes ir = MakeFrame_Infrared(0x0D, "02012345678901", 0, {});
    ASSERT_EQ(ir.size(), 216u);
    EXPECT_TRUE(std::equal(f.begin(), f.end(), ir.begin() + 201));
}

TEST(Frame, LengthFieldHighByteFirstCrcLowByteFirst) {
    Bytes payload(256);
    for (int i = 0; i < 256; ++i) payload[i] = static_cast<std::uint8_t>(i);
    const Bytes f = MakeFrame_Reply(0x9C, "02012345678901", 256, payload);
    ASSERT_EQ(f.size(), 271u);
    EXPECT_EQ(f[10], 0x01);
    EXPECT_EQ(f[11], 0x00);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), f.begin() + 12));
    const unsigned crc = Crc16_Received(f);
    EXPECT_EQ(f[268], crc & 0xFF);
    EXPECT_EQ(f[269], crc >> 8);
    EXPECT_TRUE(ReceivedCrcIsCorrect(f));
}

TEST(Frame, OnlyTheFirstNPayloadBytesAreCopied) {
    const Bytes payload{0x04, 0x3C, 0xEE, 0xFF};
    const Bytes f = MakeFrame_Request(0x0A, "02012345678901", 2, payload);
    EXPECT_EQ(ToHexSpaced(f), "51 56 0A 02 01 23 45 67 89 01 00 02 04 3C AE 13 0D");
}

TEST(Frame, ReceivedCrcCheckSpotsEveryFlippedBit) {
    Bytes f = MakeFrame_Request(0x05, "02012345678901", 8, Hex("05 0B C0 A8 01 02 07 E4"));
    ASSERT_TRUE(ReceivedCrcIsCorrect(f));
    for (std::size_t i = 0; i + 1 < f.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            f[i] ^= static_cast<std::uint8_t>(1 << bit);
            EXPECT_FALSE(ReceivedCrcIsCorrect(f)) << "byte " << i << " bit " << bit;
            f[i] ^= static_cast<std::uint8_t>(1 << bit);
        }
    }
    // The terminator is not covered.
    f.back() = 0x00;
    EXPECT_TRUE(ReceivedCrcIsCorrect(f));
}

TEST(Address, PackingIsLenient) {
    auto packed = [](std::string_view a) { return ToHexSpaced(PackAddress(a)); };
    EXPECT_EQ(packed("02012345678901"), "02 01 23 45 67 89 01");
    EXPECT_EQ(packed("99999999999999"), "99 99 99 99 99 99 99");
    EXPECT_EQ(packed("0A0B"), "0A 0B 00 00 00 00 00");
    EXPECT_EQ(packed("abCDef"), "AB CD EF 00 00 00 00");
    EXPECT_EQ(packed(""), "00 00 00 00 00 00 00");
    // A slice stops at its first non-hex character.
    EXPECT_EQ(packed("1G G1 0"), "01 00 01 00 00 00 00");
    EXPECT_EQ(packed("020"), "02 00 00 00 00 00 00");
    // Characters past the fourteenth are not read.
    EXPECT_EQ(packed("0201234567890123"), "02 01 23 45 67 89 01");
    // A multi-byte character counts as one character and is not a digit.
    EXPECT_EQ(packed("0条12"), "00 12 00 00 00 00 00");
    const Bytes zero{0};
    EXPECT_EQ(ToHexSpaced(ByteView(MakeFrame_Request(4, "0A0B", 1, zero)).subspan(3, 7)), "0A 0B 00 00 00 00 00");
}

TEST(Address, BarCodeReadBack) {
    EXPECT_EQ(BarCodeFromAddress(Hex("02 01 23 45 67 89 01")), "2012345678901");
    EXPECT_EQ(BarCodeFromAddress(Hex("99 99 99 99 99 99 99")), "9999999999999");
    EXPECT_EQ(BarCodeFromAddress(Hex("FA BC 00 00 00 00 0F")), "ABC000000000F");
    EXPECT_EQ(BarCodeFromAddress(Hex("02 01 23 45 67 89")), "");  // too short: nothing read
}

TEST(FrameFailure, LengthLimits) {
    const Bytes big(kMaxPayloadRequest + 1, 0x5A);
    const Bytes f = MakeFrame_Request(0x10, "02012345678901", kMaxPayloadRequest, big);
    EXPECT_EQ(f.size(), static_cast<std::size_t>(kMaxPayloadRequest + 15));
    EXPECT_EQ(f[10], 0x7F);
    EXPECT_EQ(f[11], 0xF4);
    EXPECT_TRUE(ReceivedCrcIsCorrect(f));
    const Bytes ir = MakeFrame_Infrared(0x10, "02012345678901", kMaxPayloadInfrared, big);
    EXPECT_EQ(ir.size(), static_cast<std::size_t>(kMaxPayloadInfrared + 216));
    EXPECT_EQ(Crc16_Infrared(ByteView(ir).first(ir.size() - 3)), ir[ir.size() - 3] + 256u * ir[ir.size() - 2]);

    auto kindOf = [](auto&& build) {
        try {
            build();
        } catch (const FrameBuildError& e) {
            return static_cast<int>(e.kind());
        }
        return -1;
    };
    const int overflow = static_cast<int>(FrameBuildError::Kind::Overflow);
    const int index = static_cast<int>(FrameBuildError::Kind::Index);
    EXPECT_EQ(kindOf([&] { MakeFrame_Request(0x10, "0", kMaxPayloadRequest + 1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Reply(0x10, "0", kMaxPayloadRequest + 1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Infrared(0x10, "0", kMaxPayloadInfrared + 1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Request(0x10, "0", -1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Infrared(0x10, "0", -1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Request(256, "0", 1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Reply(-1, "0", 1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Infrared(256, "0", 1, big); }), overflow);
    EXPECT_EQ(kindOf([&] { MakeFrame_Request(4, "0", 3, Bytes{1, 2}); }), index);
    EXPECT_EQ(kindOf([&] { MakeFrame_Reply(4, "0", 1, {}); }), index);
    EXPECT_EQ(kindOf([&] { MakeFrame_Infrared(4, "0", 2, Bytes{1}); }), index);
    EXPECT_EQ(kindOf([&] { MakeFrame_Request(0, "0", 0, {}); }), -1);
    EXPECT_EQ(kindOf([&] { MakeFrame_Request(255, "0", 0, {}); }), -1);
}

TEST(Crc, CheckValueAndReference) {
    EXPECT_EQ(Crc16Modbus(View("123456789")), 0x4B37u);
    EXPECT_EQ(Crc16ModbusBitwise(View("123456789")), 0x4B37u);
    EXPECT_EQ(Crc16Modbus({}), 0xFFFFu);
    EXPECT_EQ(Crc16ModbusBitwise({}), 0xFFFFu);
    // Every length around the eight-byte steps, and random contents, agree with the bitwise loop.
    std::mt19937 rng(20240517);
    for (std::size_t len = 0; len < 200; ++len) {
        Bytes data(len);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        ASSERT_EQ(Crc16Modbus(data), Crc16ModbusBitwise(data)) << "length " << len;
        for (std::size_t offset = 1; offset < std::min<std::size_t>(len, 9); ++offset)
            ASSERT_EQ(Crc16Modbus(ByteView(data).subspan(offset)), Crc16ModbusBitwise(ByteView(data).subspan(offset)));
    }
}

TEST(Crc, RangesOfTheThreeRoutines) {
    const Bytes f = MakeFrame_Request(4, "02012345678901", 1, Bytes{0});
    EXPECT_EQ(Crc16_Frame(ByteView(f).first(13)), 0xF533u);
    EXPECT_EQ(Crc16_Received(f), 0xF533u);
    EXPECT_EQ(Crc16_Frame(f), Crc16Modbus(f));
    // Short arrays: empty ranges give 0xFFFF and nothing is read out of bounds.
    EXPECT_EQ(Crc16_Received({}), 0xFFFFu);
    EXPECT_EQ(Crc16_Received(Hex("01 02 03")), 0xFFFFu);
    EXPECT_EQ(Crc16_Received(Hex("31 02 03 04")), Crc16Modbus(Hex("31")));
    EXPECT_EQ(Crc16_Infrared(Bytes(201, 0)), 0xFFFFu);
    Bytes ir(202, 0);
    ir[201] = 0x31;
    EXPECT_EQ(Crc16_Infrared(ir), Crc16Modbus(Hex("31")));
    EXPECT_FALSE(ReceivedCrcIsCorrect({}));
    EXPECT_FALSE(ReceivedCrcIsCorrect(Hex("FF FF")));
}

TEST(Bytes, HexTexts) {
    EXPECT_EQ(ToHexSpaced(Hex("51 56 04")), "51 56 04");
    EXPECT_EQ(ToHexSpaced({}), "");
    EXPECT_EQ(Hex2(0x05), "05");
    EXPECT_EQ(Hex2(0x3A), "3A");
    EXPECT_EQ(HexNoPad(0), "0");
    EXPECT_EQ(HexNoPad(5), "5");
    EXPECT_EQ(HexNoPad(0x3A), "3A");
    EXPECT_EQ(HexNoPad(0x10AB), "10AB");
    Bytes out{9};
    EXPECT_TRUE(ParseHex("515604", out));
    EXPECT_EQ(out, (Bytes{0x51, 0x56, 0x04}));
    EXPECT_TRUE(ParseHex(" 5 1\t56\n0a ", out));
    EXPECT_EQ(out, (Bytes{0x51, 0x56, 0x0A}));
    EXPECT_TRUE(ParseHex("", out));
    EXPECT_TRUE(out.empty());
    out = {7};
    EXPECT_FALSE(ParseHex("51 5", out));
    EXPECT_FALSE(ParseHex("51 GG", out));
    EXPECT_FALSE(ParseHex("0x51", out));
    EXPECT_EQ(out, Bytes{7});  // untouched on failure
}

}  // namespace
}  // namespace ht6630
