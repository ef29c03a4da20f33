// Frame descriptions as the frame tool's decode prints them.
#include <gtest/gtest.h>

#include "protocol/FrameDescription.h"
#include "protocol/Frame.h"
#include "protocol/Upload.h"
#include "test_hex.h"

namespace ht6630 {
namespace {

using ht6630::testing::Hex;

std::string Describe(std::string_view hex) { return DescribeFrame(Hex(hex)); }

bool Has(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos || text.rfind(line + "\n", 0) == 0;
}

TEST(DescribeFrameText, RequestWithOperationAndPayload) {
    EXPECT_EQ(Describe("51 56 0A 02 01 23 45 67 89 01 00 02 04 3C AE 13 0D"),
              "kind=request\n"
              "code=0A\n"
              "address=02012345678901\n"
              "barcode=2012345678901\n"
              "length=2\n"
              "crc=ok\n"
              "operation=设置心跳包时间间隔\n"
              "button=cmdHear\n"
              "payload=04 3C\n");
    std::string read = Describe("51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D");
    EXPECT_TRUE(Has(read, "operation=读取条形码")) << read;
    EXPECT_TRUE(Has(read, "address=99999999999999")) << read;
    EXPECT_TRUE(Has(read, "crc=ok")) << read;

    // The set-parameter command is told apart by its selector byte.
    Bytes clock = MakeFrame_Request(0x0A, "02012345678901", 7, Hex("07 24 05 17 08 30 00"));
    EXPECT_TRUE(Has(DescribeFrame(clock), "operation=设置实时日期与时间"));
    Bytes unknown = MakeFrame_Request(0x0A, "02012345678901", 2, Hex("09 00"));
    EXPECT_TRUE(Has(DescribeFrame(unknown), "operation=unknown"));
}

TEST(DescribeFrameText, CrcMismatchIsShownWithBothValues) {
    std::string text = Describe("51 56 04 99 99 99 99 99 99 99 00 01 00 00 00 0D");
    EXPECT_TRUE(Has(text, "crc=mismatch (expected 10E2, found 0000)")) << text;
    EXPECT_TRUE(Has(text, "operation=读取条形码")) << text;
    // A changed payload byte with the old CRC.
    text = Describe("51 56 0A 02 01 23 45 67 89 01 00 02 04 3D AE 13 0D");
    EXPECT_TRUE(text.find("crc=mismatch (expected ") != std::string::npos) << text;
    EXPECT_TRUE(text.find(", found 13AE)") != std::string::npos) << text;
}

TEST(DescribeFrameText, ReadAllResponseListsEveryField) {
    std::string text = Describe(
        "71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C AA 0B 0F 03 0F 24 05 "
        "17 08 30 00 AA 45 0D");
    EXPECT_EQ(text.substr(0, text.find('\n')), "kind=response");
    const char* lines[] = {"operation=读取室温采集终端配置参数", "txtVer=V1.05", "txtCJ=15", "txtSC=60",
                           "Combo1=1", "txtHeartbeat=60", "optEnabled=0", "txtDate(0)=11",
                           "txtDate(1)=15", "txtDate(2)=3", "txtDate(3)=15", "Txtrq(0)=24",
                           "Txtrq(1)=05", "Txtrq(2)=17", "Txtrq(3)=08", "Txtrq(4)=30",
                           "Txtrq(5)=00", "code=7D", "barcode=2012345678901", "length=21"};
    for (const char* line : lines) EXPECT_TRUE(Has(text, line)) << line << "\n" << text;
    EXPECT_TRUE(Has(text, "crc=ok")) << text;

    Bytes noFlag = MakeFrame_Reply(0x7D, "02012345678901", 21,
                                   Hex("03 00 01 05 00 0F 00 3C 01 3C 00 0B 0F 03 0F 24 05 17 08 30 00"));
    text = DescribeFrame(noFlag);
    EXPECT_TRUE(Has(text, "optEnabled=none")) << text;
    EXPECT_TRUE(Has(text, "crc=ok")) << text;
}

TEST(DescribeFrameText, OtherResponses) {
    std::string ip = DescribeFrame(MakeFrame_Reply(0x76, "02012345678901", 8, Hex("05 0B C0 A8 01 02 07 E4")));
    for (const char* line : {"txtIp(0)=192", "txtIp(1)=168", "txtIp(2)=1", "txtIp(3)=2", "txtIp(4)=2020"})
        EXPECT_TRUE(Has(ip, line)) << line << "\n" << ip;
    std::string live = DescribeFrame(MakeFrame_Reply(0x79, "02012345678901", 6, Hex("00 00 FF 9C 01 C8")));
    EXPECT_TRUE(Has(live, "txtTemp=-10") && Has(live, "txtHumi=45.6")) << live;
    std::string bar = DescribeFrame(MakeFrame_Reply(0x74, "99999999999999", 9, Hex("00 00 02 01 23 45 67 89 01")));
    EXPECT_TRUE(Has(bar, "txtBarCode=2012345678901")) << bar;
    std::string spare = DescribeFrame(MakeFrame_Reply(0x78, "02012345678901", 6, Hex("0A 00 00 01 1F 90")));
    EXPECT_TRUE(Has(spare, "txtSpareIp(3)=1") && Has(spare, "txtSpareIp(4)=8080")) << spare;

    std::string ack = DescribeFrame(MakeFrame_Reply(0x7A, "02012345678901", 3, Hex("00 00 00")));
    EXPECT_TRUE(Has(ack, "kind=response") && Has(ack, "ack=7A")) << ack;
    std::string ack73 = DescribeFrame(MakeFrame_Reply(0x73, "02012345678901", 7, Hex("00 00 00 00 00 00 00")));
    EXPECT_TRUE(Has(ack73, "ack=73") && Has(ack73, "operation=设置条形码")) << ack73;

    // A response too short for its fields: said so, never read past the end.
    std::string cut = DescribeFrame(MakeFrame_Reply(0x7D, "02012345678901", 3, Hex("03 00 01")));
    EXPECT_TRUE(Has(cut, "response-length=mismatch (expected 36, found 18)")) << cut;
    EXPECT_TRUE(Has(cut, "fields=missing (frame too short)")) << cut;
}

TEST(DescribeFrameText, TerminalInitiatedFramesAndReplies) {
    std::string reg = DescribeFrame(MakeFrame_Request(0x01, "02012345678901", 0, Bytes{}));
    EXPECT_EQ(reg.substr(0, reg.find('\n')), "kind=registration");
    EXPECT_TRUE(Has(reg, "barcode=2012345678901") && Has(reg, "crc=ok")) << reg;
    std::string beat = DescribeFrame(MakeFrame_Request(0x02, "02012345678901", 3, Hex("00 00 00")));
    EXPECT_EQ(beat.substr(0, beat.find('\n')), "kind=heart beat");

    std::string reply = Describe("71 76 71 02 01 23 45 67 89 01 00 03 00 00 00 67 C2 0D");
    EXPECT_EQ(reply.substr(0, reply.find('\n')), "kind=reply");
    EXPECT_TRUE(Has(reply, "answers=registration") && Has(reply, "crc=ok")) << reply;
    std::string uploadReply =
        DescribeFrame(MakeFrame_Reply(0x9C, "02012345678901", 7, Hex("24 05 17 08 30 00 01")));
    EXPECT_TRUE(Has(uploadReply, "answers=upload") && Has(uploadReply, "clock=24-05-17 08:30:00") &&
                Has(uploadReply, "mode=01"))
        << uploadReply;
}

TEST(DescribeFrameText, UploadsEndWithTheConsoleText) {
    Bytes payload = Hex("10 02 13 80 01 23 45 67 89 01 70 24 05 06 09 03 00 0F 00 01 01 05 02 58");
    Bytes upload = MakeFrame_Request(0x2C, "02012345678901", static_cast<int>(payload.size()), payload);
    std::string text = DescribeFrame(upload);
    EXPECT_EQ(text.substr(0, text.find('\n')), "kind=room-temperature upload");
    const std::string block = DealData_Upload(upload);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(text.substr(text.size() - block.size()), block);
    EXPECT_TRUE(Has(text, "crc=ok")) << text;

    // A heat-meter frame whose one record fails its checks: the kind, no lines.
    Bytes hp = Hex("00 00 03 05 01");
    hp.resize(5 + 62, 0x00);
    Bytes heatFrame = MakeFrame_Request(0x2C, "02012345678901", static_cast<int>(hp.size()), hp);
    text = DescribeFrame(heatFrame);
    EXPECT_EQ(text.substr(0, text.find('\n')), "kind=heat-meter upload");
    EXPECT_TRUE(Has(text, "records=1")) << text;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find("\r\n"), std::string::npos);
}

TEST(DescribeFrameText, ShortFramesAndNotices) {
    EXPECT_EQ(Describe("51 05 02 00 AB"), "kind=upload-end answer\ncode=05\nanswer=no setting\n");
    EXPECT_EQ(Describe("51 06 02 00 AB"), "kind=upload-end answer\ncode=06\nanswer=setting follows\n");
    EXPECT_EQ(Describe("51 07 02 00 AB"), "kind=upload-end answer\ncode=07\nanswer=configuration mode\n");
    EXPECT_EQ(Describe("51 06 02 AA AB"), "kind=setting follow-up\n");
    EXPECT_EQ(Describe("71 05 02 00 AB 00 00 00 00 00 00 00 00 00 0D"), "kind=upload-end notice\nlength=15\n");
    EXPECT_EQ(Describe("71 05 02 00 AB"), "kind=upload-end notice\nlength=5\n");
    EXPECT_EQ(Describe("00 FE 68 01"), "kind=ignored\nlength=4\n");
    EXPECT_EQ(Describe("51 08 02 00 AB"),
              "kind=unknown\nlength=5\nreason=start or end bytes not recognised\n");
    EXPECT_EQ(DescribeFrame(ByteView{}), "kind=unknown\nlength=0\nreason=no bytes\n");
    EXPECT_EQ(Describe("51 56 0D"), "kind=unknown\nlength=3\nreason=shorter than the 15 bytes of a frame\n");
    EXPECT_EQ(Describe("51"), "kind=unknown\nlength=1\nreason=start or end bytes not recognised\n");
}

TEST(DescribeFrameText, PreambleAndLengthMismatch) {
    Bytes infrared = MakeFrame_Infrared(0x0A, "02012345678901", 2, Hex("04 3C"));
    std::string text = DescribeFrame(infrared);
    EXPECT_EQ(text.substr(0, text.find('\n')), "kind=request");
    EXPECT_TRUE(Has(text, "preamble=201") && Has(text, "operation=设置心跳包时间间隔") && Has(text, "crc=ok"))
        << text;

    // Declared length 5, frame holds 2 payload bytes.
    text = Describe("51 56 0A 02 01 23 45 67 89 01 00 05 04 3C AE 13 0D");
    EXPECT_TRUE(Has(text, "length=mismatch (declared 5, frame holds 2)")) << text;
    EXPECT_TRUE(text.find("crc=mismatch") != std::string::npos) << text;
}

}  // namespace
}  // namespace ht6630
