// Room-temperature uploads turned into the text block of DataReceive.
#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "protocol/Upload.h"

namespace ht6630 {
namespace {

struct Header {
    Bytes phone = {0x13, 0x80, 0x01, 0x23, 0x45, 0x67, 0x89};
    std::uint8_t battery[2] = {0x01, 0x70};
    std::uint8_t time[5] = {0x24, 0x05, 0x06, 0x09, 0x03};
    unsigned interval = 15;
};

// A complete upload frame; `announced` is the record count written into the frame.
Bytes Upload(const Header& h, const std::vector<Bytes>& records, unsigned announced) {
    Bytes p = {0x10, 0x02};
    p.insert(p.end(), h.phone.begin(), h.phone.end());
    p.insert(p.end(), h.battery, h.battery + 2);
    p.insert(p.end(), h.time, h.time + 5);
    p.push_back(static_cast<std::uint8_t>(h.interval >> 8));
    p.push_back(static_cast<std::uint8_t>(h.interval & 0xFF));
    p.push_back(static_cast<std::uint8_t>(announced >> 8));
    p.push_back(static_cast<std::uint8_t>(announced & 0xFF));
    for (const Bytes& r : records) p.insert(p.end(), r.begin(), r.end());
    return MakeFrame_Request(0x2C, "02012345678901", static_cast<int>(p.size()), p);
}

Bytes Upload(const Header& h, const std::vector<Bytes>& records) {
    return Upload(h, records, static_cast<unsigned>(records.size()));
}

const std::string kHeader =
    "室温采集终端主动上传数据:\r\n"
    "手机号:13800123456789\r\n"
    "电池电压:3.68V\r\n"
    "上传时间:24年5月6日9时3分\r\n"
    "采集间隔:15分钟\r\n";

TEST(UploadText, TwoRecordsGiveTheWholeBlock) {
    Bytes frame = Upload(Header{}, {{0x01, 0x05, 0x02, 0x58}, {0xFF, 0xFB, 0x00, 0x00}});
    ASSERT_EQ(frame.size(), 15u + 20 + 8);
    EXPECT_EQ(DealData_Upload(frame),
              kHeader +
                  "采集数量:2对\r\n"
                  "温度:26.1℃      湿度:60.0%\r\n"
                  "温度:-0.5℃      湿度:0.0%\r\n"
                  "\r\n"
                  "\r\n");
}

TEST(UploadText, NoRecordsEndsWithTheCountAndTwoEmptyLines) {
    EXPECT_EQ(DealData_Upload(Upload(Header{}, {})), kHeader + "采集数量:0对\r\n\r\n\r\n");
}

TEST(UploadText, TemperaturesAndHumidities) {
    Bytes frame = Upload(Header{}, {{0xFF, 0x38, 0x03, 0xE8},
                                    {0x00, 0xFA, 0x00, 0x05},
                                    {0x80, 0x00, 0xFF, 0xFF},
                                    {0x7F, 0xFF, 0x00, 0x00},
                                    {0xFF, 0xFF, 0x00, 0x64}});
    std::string text = DealData_Upload(frame);
    EXPECT_NE(text.find("\r\n温度:-20.0℃      湿度:100.0%\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n温度:25.0℃      湿度:0.5%\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n温度:-3276.8℃      湿度:6553.5%\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n温度:3276.7℃      湿度:0.0%\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n温度:-0.1℃      湿度:10.0%\r\n"), std::string::npos) << text;
}

TEST(UploadText, HeaderFieldFormats) {
    Header h;
    h.phone = {0x05, 0x3A, 0x00, 0xFF, 0x0A, 0xB0, 0x01};
    h.battery[0] = 0x01;
    h.battery[1] = 0x90;  // 400
    h.time[0] = 0x00;
    h.time[1] = 0x12;
    h.time[2] = 0x31;
    h.time[3] = 0x23;
    h.time[4] = 0x5A;  // not BCD: shown as hex
    h.interval = 65535;
    std::string text = DealData_Upload(Upload(h, {}));
    EXPECT_EQ(text,
              "室温采集终端主动上传数据:\r\n"
              "手机号:053A00FF0AB001\r\n"
              "电池电压:4.00V\r\n"
              "上传时间:0年12月31日23时5A分\r\n"
              "采集间隔:65535分钟\r\n"
              "采集数量:0对\r\n\r\n\r\n");

    h.battery[0] = 0x00;
    h.battery[1] = 0x05;
    EXPECT_NE(DealData_Upload(Upload(h, {})).find("电池电压:0.05V\r\n"), std::string::npos);
    h.battery[0] = 0xFF;
    h.battery[1] = 0xFF;
    EXPECT_NE(DealData_Upload(Upload(h, {})).find("电池电压:655.35V\r\n"), std::string::npos);
}

TEST(UploadText, TwoUploadsInARowLeaveTwoCompleteBlocks) {
    Bytes a = Upload(Header{}, {{0x01, 0x05, 0x02, 0x58}});
    std::string box;
    box += DealData_Upload(a);
    box += DealData_Upload(a);
    const std::string block = kHeader + "采集数量:1对\r\n温度:26.1℃      湿度:60.0%\r\n\r\n\r\n";
    EXPECT_EQ(box, block + block);
}

TEST(UploadText, OverAnnouncedCountWritesOnlyTheRecordsHeld) {
    // Two records held, five announced: the header says 5, two record lines follow.
    Bytes frame = Upload(Header{}, {{0x01, 0x05, 0x02, 0x58}, {0x00, 0xFA, 0x00, 0x05}}, 5);
    const std::string expected = kHeader +
                                 "采集数量:5对\r\n"
                                 "温度:26.1℃      湿度:60.0%\r\n"
                                 "温度:25.0℃      湿度:0.5%\r\n"
                                 "\r\n\r\n";
    // The CRC and end byte follow the records: three more bytes, not a whole record.
    EXPECT_EQ(DealData_Upload(frame), expected);

    // Cut in the middle of the second record: only the first is written.
    Bytes cut(frame.begin(), frame.begin() + 32 + 4 + 3);
    EXPECT_EQ(DealData_Upload(cut),
              kHeader + "采集数量:5对\r\n温度:26.1℃      湿度:60.0%\r\n\r\n\r\n");
    // 32 + 4 × 2 + 4 bytes hold a third complete record (the CRC bytes etc. are read as one).
    Bytes exact(frame.begin(), frame.begin() + 32 + 8);
    exact.insert(exact.end(), {0x00, 0x0A, 0x00, 0x14});
    EXPECT_NE(DealData_Upload(exact).find("温度:1.0℃      湿度:2.0%\r\n\r\n\r\n"), std::string::npos);

    // A count of 65535 with no records at all.
    Bytes none = Upload(Header{}, {}, 65535);
    EXPECT_EQ(DealData_Upload(none), kHeader + "采集数量:65535对\r\n\r\n\r\n");
}

TEST(UploadText, FrameTooShortForTheHeaderGivesNothing) {
    Bytes frame = Upload(Header{}, {});
    EXPECT_EQ(DealData_Upload(ByteView(frame).first(31)), "");
    EXPECT_EQ(DealData_Upload(ByteView{}), "");
    EXPECT_NE(DealData_Upload(ByteView(frame).first(32)), "");
}

}  // namespace
}  // namespace ht6630
