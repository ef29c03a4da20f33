// The traffic-log line of a frame.
#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "protocol/TrafficLine.h"

namespace ht6630 {
namespace {

TEST(TrafficLineText, SentRequestExample) {
    Bytes frame = MakeFrame_Request(4, "99999999999999", 1, Bytes{0x00});
    EXPECT_EQ(TrafficLine(frame, true, "14:03:27"),
              "TX: 51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D      14:03:27\r\n");
    EXPECT_EQ(TrafficLine(frame, false, "14:03:27"),
              "RX: 51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D      14:03:27\r\n");
}

TEST(TrafficLineText, PreambleRuleLooksAtDirectionAndLengthOnly) {
    Bytes infrared = MakeFrame_Infrared(4, "99999999999999", 1, Bytes{0x00});
    ASSERT_EQ(infrared.size(), 217u);
    const std::string frameText = "51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D ";
    EXPECT_EQ(TrafficLine(infrared, true, "00:00:00"), "TX: " + frameText + "     00:00:00\r\n");

    std::string zeros;
    for (int i = 0; i < 201; ++i) zeros += "00 ";
    EXPECT_EQ(TrafficLine(infrared, false, "00:00:00"),
              "RX: " + zeros + frameText + "     00:00:00\r\n");

    Bytes exactly201(201, 0x00);
    exactly201[200] = 0xAB;
    EXPECT_EQ(TrafficLine(exactly201, true, "01:02:03"),
              "TX: " + zeros.substr(0, 600) + "AB      01:02:03\r\n");
    Bytes just202(202, 0x11);
    just202[201] = 0xFE;
    EXPECT_EQ(TrafficLine(just202, true, "01:02:03"), "TX: FE      01:02:03\r\n");
}

TEST(TrafficLineText, ByteFormsAndEmptyArray) {
    EXPECT_EQ(TrafficLine(Bytes{0x0A, 0xFF, 0x00, 0xA0}, false, "23:59:59"),
              "RX: 0A FF 00 A0      23:59:59\r\n");
    EXPECT_EQ(TrafficLine(Bytes{}, true, "23:59:59"), "");
    EXPECT_EQ(TrafficLine(Bytes{}, false, "23:59:59"), "");
}

TEST(TrafficLineText, TimeOfDay) {
    EXPECT_EQ(TimeOfDayText(0), "00:00:00");
    EXPECT_EQ(TimeOfDayText(14 * 3600 + 3 * 60 + 27), "14:03:27");
    EXPECT_EQ(TimeOfDayText(86399), "23:59:59");
    EXPECT_EQ(TimeOfDayText(86400), "00:00:00");
    EXPECT_EQ(TimeOfDayText(9 * 3600 + 5), "09:00:05");
    EXPECT_EQ(TimeOfDayText(-1), "23:59:59");
}

TEST(TrafficLineText, ReadBackAsShown) {
    const Bytes frame = {0x51, 0x56, 0x0D, 0xAB};
    for (bool sent : {true, false}) {
        const std::string line = TrafficLine(frame, sent, "14:03:27");
        for (std::string_view shown : {std::string_view(line), std::string_view(line).substr(0, line.size() - 2)}) {
            const auto f = ParseTrafficLine(shown);
            ASSERT_TRUE(f.has_value()) << shown;
            EXPECT_EQ(f->sent, sent);
            EXPECT_EQ(f->bytes, frame);
        }
    }
    for (std::string_view other : {"", "TX: ", "TX: 5", "TX: 51 5G      14:03:27", "RX: 51 56", "断开2012345678901     14:03:27",
                                   "tx: 51 56      14:03:27", "RX:      14:03:27"})
        EXPECT_FALSE(ParseTrafficLine(other).has_value()) << other;
}

}  // namespace
}  // namespace ht6630
