// The TCP data centre's dialogue: what each block makes the console do, in order.
#include <gtest/gtest.h>

#include "protocol/Upload.h"
#include "test_dialogue_support.h"

namespace ht6630::dialogue::test_support {
namespace {

using V = std::vector<std::string>;
constexpr Channel kTcp = Channel::Tcp;

const std::string kRegReply = "Reply 1.0 71 76 71 02 01 23 45 67 89 01 00 03 00 00 00 67 C2 0D";

// ---- intake and classification ----

TEST(DialogueTcpIntake, ShortBlocksAreRejectedAndClearOpName) {
    ConsoleState st;
    st.pendingOperation = "设置心跳包时间间隔";
    Bytes reg = Request(0x01, kAddr, {});
    ASSERT_EQ(reg.size(), 15u);
    Bytes shortBlock(reg.begin(), reg.end() - 1);   // 14 bytes
    EXPECT_EQ(AfterIntake(kTcp, shortBlock, st),
              (V{"ShowStatus 提示信息:自动上传数据无效,数据长度不够！", "ClearPendingOperation"}));
    // The bare 5-byte upload-end notice is too short as well.
    EXPECT_EQ(AfterIntake(kTcp, Hex("71 05 02 00 AB"), st),
              (V{"ShowStatus 提示信息:自动上传数据无效,数据长度不够！", "ClearPendingOperation"}));
    // An empty block is logged and rejected the same way.
    EXPECT_EQ(AfterIntake(kTcp, Bytes{}, st),
              (V{"ShowStatus 提示信息:自动上传数据无效,数据长度不够！", "ClearPendingOperation"}));
    // 15 bytes with valid start and end bytes are classified: a registration is answered.
    auto v = AfterIntake(kTcp, reg, st);
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(v.back(), "ShowStatus 提示信息:主机响应握手成功！");
}

TEST(DialogueTcpIntake, BadStartOrEndBytes) {
    ConsoleState st;
    Bytes reg = Request(0x01, kAddr, Bytes{0x00});
    reg.back() = 0x0E;   // "QV" without the final 0x0D
    EXPECT_EQ(AfterIntake(kTcp, reg, st),
              (V{"ShowStatus 提示信息:自动上传数据无效,起始码或结束码错误！", "ClearPendingOperation"}));
    Bytes resp = Response(0x7A, 18);
    resp.back() = 0x00;
    EXPECT_EQ(AfterIntake(kTcp, resp, st),
              (V{"ShowStatus 提示信息:自动上传数据无效,起始码或结束码错误！", "ClearPendingOperation"}));
    Bytes garbage(20, 0x41);
    EXPECT_EQ(AfterIntake(kTcp, garbage, st),
              (V{"ShowStatus 提示信息:自动上传数据无效,起始码或结束码错误！", "ClearPendingOperation"}));
    // Only four of the notice's five bytes: not a notice.
    Bytes almost = Hex("71 05 02 00 AA 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(AfterIntake(kTcp, almost, st),
              (V{"ShowStatus 提示信息:自动上传数据无效,起始码或结束码错误！", "ClearPendingOperation"}));
}

TEST(DialogueTcpIntake, MeterFrameIsIgnoredQuietly) {
    ConsoleState st;
    st.pendingOperation = "读取实时温度湿度";
    Bytes meter = Hex("00 FE 68 10 20 30 40 50 60 70 80 90 A0 B0 C0 D0");
    EXPECT_EQ(AfterIntake(kTcp, meter, st), (V{"ClearPendingOperation"}));
}

TEST(DialogueTcpIntake, ClassificationOrderPrefersFrameTests) {
    ConsoleState st;
    // "QV" ... 0x0D whose bytes 1 and 2 could never be FE 68: it is a terminal frame even
    // with an unknown code, and nothing at all happens for it (OpName kept).
    Bytes unknown = Request(0x33, kAddr, Bytes{0x00, 0x00, 0x00});
    EXPECT_EQ(AfterIntake(kTcp, unknown, st), V{});
    // "qv" with an unknown code: only OpName is cleared.
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7E, 30), st), (V{"ClearPendingOperation"}));
}

TEST(DialogueTcpIntake, ResultDoesNotDependOnBytesBeyondTheBlock) {
    // The handler gets a view of a larger buffer; only the view counts.
    ConsoleState st;
    Bytes backing = Response(0x79, 21, -1, Hex("00"));
    backing.push_back(0x0D);
    ByteView view(backing.data(), 21);
    auto v = Describe(HandleBlock(kTcp, view, st, kNow));
    ASSERT_GE(v.size(), 2u);
    EXPECT_EQ(v[v.size() - 2], "ShowStatus 提示信息:读取实时温度湿度成功！");
}

// ---- terminal-initiated frames ----

TEST(DialogueTcpTerminal, RegistrationInOrder) {
    ConsoleState st;
    st.termAddr = "99999999999999";
    st.pendingOperation = "读取IP和端口";
    EXPECT_EQ(AfterIntake(kTcp, Request(0x01, kAddr, {}), st),
              (V{"ShowTerminalBarCode 2012345678901", "SetTermAddr 02012345678901",
                 "SetConnectionBarCode 2012345678901", "MarkOnline 2012345678901",
                 "NetLog 注册2012345678901", "SetHandshaken", kRegReply,
                 "ShowStatus 提示信息:主机响应握手成功！"}));
}

TEST(DialogueTcpTerminal, RegistrationAddressDigitsRebuilt) {
    // Letters and a high first digit: the low digit of byte 3, then two digits of each other.
    ConsoleState st;
    auto v = AfterIntake(kTcp, Request(0x01, "1A0B0C0D0E0F10", {}), st);
    ASSERT_GE(v.size(), 2u);
    EXPECT_EQ(v[0], "ShowTerminalBarCode A0B0C0D0E0F10");
    EXPECT_EQ(v[1], "SetTermAddr 0A0B0C0D0E0F10");
}

TEST(DialogueTcpTerminal, HeartbeatAnsweredWithCurrentBarCode) {
    ConsoleState st;
    st.currentTerminal = "  2012345678901 ";
    st.termAddr = "09999999999999";
    st.pendingOperation = "设置通讯类型";
    Bytes hb = Request(0x02, "02098765432109", Bytes{0x00, 0x00, 0x00});   // 18 bytes
    EXPECT_EQ(AfterIntake(kTcp, hb, st),
              (V{"SetTermAddr 02012345678901",
                 "Reply 1.0 71 76 72 02 01 23 45 67 89 01 00 03 00 00 00 62 01 0D",
                 "ShowStatus 提示信息:应答心跳包成功！"}));
    st.currentTerminal = "";
    EXPECT_EQ(AfterIntake(kTcp, hb, st),
              (V{"SetTermAddr 0",
                 "Reply 1.0 71 76 72 00 00 00 00 00 00 00 00 03 00 00 00 3E 1B 0D",
                 "ShowStatus 提示信息:应答心跳包成功！"}));
    Bytes shortHb = Request(0x02, kAddr, Bytes{0x00, 0x00});   // 17 bytes
    EXPECT_EQ(AfterIntake(kTcp, shortHb, st), (V{"ShowStatus 提示信息:应答心跳包失败！"}));
}

TEST(DialogueTcpTerminal, RoomUploadRegistersDecodesAndAcknowledges) {
    ConsoleState st;
    st.configMode = true;
    Bytes up = RoomUpload(kAddr, Hex("01 38 00 13 80 00 00"), {Hex("01 05 02 58")});
    auto actions = HandleBlock(kTcp, up, st, kNow);
    EXPECT_EQ(AfterIntake(kTcp, up, st),
              (V{"ShowTerminalBarCode 2012345678901", "SetTermAddr 02012345678901",
                 "SetConnectionBarCode 2012345678901", "MarkOnline 2012345678901",
                 "NetLog 注册2012345678901", "SetHandshaken", "ShowUpload",
                 "Reply 1.0 71 76 9C 02 01 23 45 67 89 01 00 07 24 05 17 08 30 05 01 B2 B5 0D",
                 "ShowStatus 提示信息:室温采集终端主动上传数据通讯成功！"}));
    auto texts = AppendedTexts(actions);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], DealData_Upload(up));
    EXPECT_NE(texts[0].find("温度:26.1℃      湿度:60.0%\r\n"), std::string::npos);

    // Sleep mode: the mode byte is 0x00.
    st.configMode = false;
    auto v = AfterIntake(kTcp, up, st);
    ASSERT_GE(v.size(), 2u);
    EXPECT_EQ(v[v.size() - 2],
              "Reply 1.0 71 76 9C 02 01 23 45 67 89 01 00 07 24 05 17 08 30 05 00 73 75 0D");
}

TEST(DialogueTcpTerminal, UploadClockIsBcdOfHandlingTime) {
    EXPECT_EQ(UploadAckPayload(LocalTime{1999, 12, 31, 23, 59, 58}, true),
              Hex("99 12 31 23 59 58 01"));
    EXPECT_EQ(UploadAckPayload(LocalTime{2100, 1, 2, 3, 4, 9}, false), Hex("00 01 02 03 04 09 00"));
    EXPECT_EQ(TimeOfDayText(LocalTime{2024, 1, 1, 7, 5, 0}), "07:05:00");
}

TEST(DialogueTcpTerminal, RoomUploadWithHeatMeterBytesIsAnsweredTwice) {
    // Phone bytes starting 03 05: B(14) B(15) also pass the heat-meter test, and B(16)
    // (0x01) counts as one record, which the block does not hold: the heat acknowledgement
    // lists no tag. Both replies carry the address the upload has just set.
    ConsoleState st;
    st.termAddr = "09999999999999";
    Bytes up = RoomUpload(kAddr, Hex("03 05 01 00 00 00 00"), {});
    auto v = AfterIntake(kTcp, up, st);
    ASSERT_EQ(v.size(), 11u);
    EXPECT_EQ(v[6], "ShowUpload");
    EXPECT_EQ(v[7], "Reply 1.0 71 76 9C 02 01 23 45 67 89 01 00 07 24 05 17 08 30 05 01 B2 B5 0D");
    EXPECT_EQ(v[8], "ShowStatus 提示信息:室温采集终端主动上传数据通讯成功！");
    // No heat-meter line (the record is not there), but the acknowledgement: 03 05 00.
    EXPECT_EQ(v[9], "Reply 1.0 71 76 9C 02 01 23 45 67 89 01 00 03 03 05 00 F9 BE 0D");
    EXPECT_EQ(v[10], "ShowStatus 提示信息:上传采集器数据通讯成功！");
}

TEST(DialogueTcpTerminal, HeatMeterRecordsAcknowledgedWithTheirTags) {
    ConsoleState st;
    st.termAddr = std::string(kAddr);
    st.pendingOperation = "设置是否休眠";
    Bytes heat = HeatUpload("02098765432109", 1, {MeterRecord(0x11)});
    auto actions = HandleBlock(kTcp, heat, st, kNow);
    // Not a room-temperature upload: no registration; the reply uses the console's TermAddr.
    EXPECT_EQ(AfterIntake(kTcp, heat, st),
              (V{"ShowUpload",
                 "Reply 1.0 71 76 9C 02 01 23 45 67 89 01 00 04 03 05 01 11 0A 1E 0D",
                 "ShowStatus 提示信息:上传采集器数据通讯成功！"}));
    auto texts = AppendedTexts(actions);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("接收到的热表设备地址:0012345678,"), std::string::npos);
    EXPECT_NE(texts[0].find("采集时间:08:30:05/\r\n"), std::string::npos);
}

TEST(DialogueTcpTerminal, HeatMeterAcknowledgementNeverReadsPastTheBlock) {
    // Three records announced, one held: only the held record's tag is listed.
    Bytes one = HeatUpload(kAddr, 3, {MeterRecord(0x21)});
    EXPECT_EQ(HeatMeterAckPayload(one), Hex("03 05 01 21"));
    // Three held: all three tags, in order.
    Bytes three = HeatUpload(kAddr, 3, {MeterRecord(0x21), MeterRecord(0x22), MeterRecord(0x23)});
    EXPECT_EQ(HeatMeterAckPayload(three), Hex("03 05 03 21 22 23"));
    // Four records: no text is written, but all four tags are acknowledged.
    Bytes four = HeatUpload(kAddr, 4,
                            {MeterRecord(1), MeterRecord(2), MeterRecord(3), MeterRecord(4)});
    EXPECT_EQ(HeatMeterAckPayload(four), Hex("03 05 04 01 02 03 04"));
    ConsoleState st;
    auto actions = HandleBlock(kTcp, four, st, kNow);
    EXPECT_TRUE(AppendedTexts(actions).empty());
    EXPECT_EQ(Describe(actions).back(), "ShowStatus 提示信息:上传采集器数据通讯成功！");
    // A block that ends one byte before the record's end: the record does not count
    // (the decoder skips it the same way), and nothing past the block is read.
    Bytes whole = HeatUpload(kAddr, 1, {MeterRecord(0x31)});
    Bytes cut(whole.begin(), whole.begin() + 17 + 61);
    EXPECT_EQ(HeatMeterAckPayload(cut), Hex("03 05 00"));
    cut.push_back(whole[17 + 61]);
    EXPECT_EQ(HeatMeterAckPayload(cut), Hex("03 05 01 31"));
    // No records announced.
    EXPECT_EQ(HeatMeterAckPayload(HeatUpload(kAddr, 0, {})), Hex("03 05 00"));
    // Blocks too short to hold the count.
    EXPECT_EQ(HeatMeterAckPayload(Hex("51 56 2C")), Hex("03 05 00"));
}

TEST(DialogueTcpTerminal, UploadOfOtherTypeDoesNothing) {
    ConsoleState st;
    Bytes other = Request(0x2C, kAddr, Hex("10 03 03 04 00 00 00"));
    EXPECT_EQ(AfterIntake(kTcp, other, st), V{});
    // A 15-byte upload: bytes 14 and 15 are beyond the block's payload; nothing matches.
    Bytes empty = Request(0x2C, kAddr, {});
    EXPECT_EQ(AfterIntake(kTcp, empty, st), V{});
}

// ---- upload-end notice ----

Bytes Notice() { return Hex("71 05 02 00 AB 00 00 00 00 00 00 00 00 00 00"); }

TEST(DialogueTcpUploadEnd, ThreeAnswers) {
    ConsoleState st;
    st.pendingOperation = "读取条形码";
    st.configMode = true;
    st.pendingSetting = true;   // configuration mode wins: the pending frame stays queued
    EXPECT_EQ(AfterIntake(kTcp, Notice(), st),
              (V{"Reply 1.0 51 07 02 00 AB", "ShowStatus 提示信息:数据上传结束，并进入实时采集模式！",
                 "ClearPendingOperation"}));
    st.configMode = false;
    EXPECT_EQ(AfterIntake(kTcp, Notice(), st),
              (V{"Reply 1.0 51 06 02 00 AB", "SendPendingFrame 1.0", "ClearPendingSetting",
                 "ShowStatus 提示信息:数据上传结束，并发送设置指令！", "ClearPendingOperation"}));
    st.pendingSetting = false;
    EXPECT_EQ(AfterIntake(kTcp, Notice(), st),
              (V{"Reply 1.0 51 05 02 00 AB",
                 "ShowStatus 提示信息:数据上传结束，但上位机不进行任何设置！", "ClearPendingOperation"}));
    // Longer notices: only the first five bytes are tested.
    Bytes longer = Notice();
    longer.resize(40, 0x77);
    EXPECT_EQ(AfterIntake(kTcp, longer, st).front(), "Reply 1.0 51 05 02 00 AB");
}

// ---- responses ----

struct Row {
    int code;
    int sub;             // -1: no sub-code
    bool exact;
    std::size_t n;
    bool followUp;
    const char* ok;
    const char* failed;
};

const Row kRows[] = {
    {0x73, -1, false, 22, true, "提示信息:设置条形码成功！", "提示信息:设置条形码失败！"},
    {0x74, -1, false, 24, false, "提示信息:读取条形码成功！", "提示信息:读取条形码失败！"},
    {0x75, -1, false, 23, true, "提示信息:设置内部VelmarIp和端口成功！", "提示信息:设置内部VelmarIp和端口失败！"},
    {0x76, -1, false, 23, false, "提示信息:读取Velmar内部IP和端口成功！", "提示信息:读取Velmar内部IP和端口失败！"},
    {0x77, -1, false, 21, true, "提示信息:设置备用Ip和端口成功！", "提示信息:设置备用Ip和端口失败！"},
    {0x78, -1, false, 21, false, "提示信息:读取备用IP和端口成功！", "提示信息:读取备用IP和端口失败！"},
    {0x79, -1, true, 21, false, "提示信息:读取实时温度湿度成功！", "提示信息:读取实时温度湿度失败！"},
    {0x7D, -1, true, 36, false, "提示信息:读取采集终端参数配置成功！", "提示信息:读取采集终端参数配置失败！"},
    {0x7B, 4, false, 21, false, "提示信息:集抄器读取上传数据时间间隔成功！", "提示信息:集抄器读取上传数据时间间隔失败！"},
    {0x7B, 5, false, 21, false, "提示信息:时间校准成功！", "提示信息:时间校准失败！"},
    {0x7B, 9, false, 21, false, "提示信息:读取数据上传方式成功！", "提示信息:读取数据上传方式失败！"},
    {0x7B, 10, true, 24, false, "提示信息:读取静默参数成功！", "提示信息:读取静默参数失败！"},
    {0x7B, 11, false, 21, false, "提示信息:读取采集器程序版本号成功！", "提示信息:读取采集器程序版本号失败！"},
    {0x7C, 3, false, 21, false, "提示信息:集抄器设置采集模式成功！", "提示信息:集抄器设置采集模式失败！"},
    {0x7C, 4, false, 22, true, "提示信息:设置集抄器采集数据及心跳包时间间隔成功！", "提示信息:设置集抄器采集数据及心跳包时间间隔失败！"},
    {0x7C, 5, false, 21, true, "提示信息:设置集抄器上传数据时间间隔成功！", "提示信息:设置集抄器上传数据时间间隔失败！"},
    {0x7C, 6, false, 21, true, "提示信息:设置集抄器采集数据波特率及奇偶校验位成功！", "提示信息:设置集抄器采集数据波特率及奇偶校验位失败！"},
    {0x7C, 7, false, 26, true, "提示信息:设置集抄器水表地址成功！", "提示信息:设置集抄器水表地址失败！"},
    {0x7C, 8, false, 21, true, "提示信息:设置集抄器水表类型成功！", "提示信息:设置集抄器水表类型失败！"},
    {0x7C, 9, false, 21, false, "提示信息:集抄器设置数据上传方式成功！", "提示信息:集抄器设置数据上传方式失败！"},
    {0x7C, 10, true, 24, true, "提示信息:配置静默参数成功！", "提示信息:配置静默参数失败！"},
};

// Strips ShowParameters and RenameCurrentTerminal lines (checked by their own tests).
V WithoutFields(V v) {
    V out;
    for (auto& s : v)
        if (s.rfind("ShowParameters", 0) != 0 && s != "RenameCurrentTerminal") out.push_back(s);
    return out;
}

TEST(DialogueTcpResponses, EveryCodeLengthRuleAndText) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(::testing::Message() << std::hex << r.code << " / " << std::dec << r.sub);
        for (bool pending : {false, true}) {
            ConsoleState st;
            st.pendingSetting = pending;
            st.pendingOperation = "设置条形码";
            V success;
            if (r.followUp && pending) {
                success = {"Reply 1.0 51 06 02 AA AB", "ClearPendingSetting"};
            }
            success.push_back(std::string("ShowStatus ") + r.ok);
            success.push_back("ClearPendingOperation");
            const V failure{std::string("ShowStatus ") + r.failed, "ClearPendingOperation"};
            // Fields are those of a valid 0x7B / 9 response (byte 16 = 0).
            EXPECT_EQ(WithoutFields(AfterIntake(kTcp, Response(r.code, r.n, r.sub), st)), success);
            EXPECT_EQ(WithoutFields(AfterIntake(kTcp, Response(r.code, r.n - 1, r.sub), st)), failure);
            EXPECT_EQ(WithoutFields(AfterIntake(kTcp, Response(r.code, r.n + 1, r.sub), st)),
                      r.exact ? failure : success);
        }
    }
}

TEST(DialogueTcpResponses, GenericAcknowledgementQuotesOpName) {
    ConsoleState st;
    st.pendingOperation = "设置心跳包时间间隔";
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7A, 18), st),
              (V{"ShowStatus 提示信息:设置心跳包时间间隔成功！", "ClearPendingOperation"}));
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7A, 19), st),
              (V{"ShowStatus 提示信息:设置心跳包时间间隔失败！", "ClearPendingOperation"}));
    st.pendingOperation.clear();
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7A, 18), st),
              (V{"ShowStatus 提示信息:成功！", "ClearPendingOperation"}));
    // 0x7A never sends the setting follow-up.
    st.pendingSetting = true;
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7A, 18), st),
              (V{"ShowStatus 提示信息:成功！", "ClearPendingOperation"}));
}

TEST(DialogueTcpResponses, BarCodeSetUpdatesTheListsAfterTheFollowUp) {
    ConsoleState st;
    st.pendingSetting = true;
    EXPECT_EQ(AfterIntake(kTcp, Response(0x73, 22), st),
              (V{"Reply 1.0 51 06 02 AA AB", "ClearPendingSetting", "RenameCurrentTerminal",
                 "ShowStatus 提示信息:设置条形码成功！", "ClearPendingOperation"}));
    EXPECT_EQ(AfterIntake(kTcp, Response(0x73, 21), st),
              (V{"ShowStatus 提示信息:设置条形码失败！", "ClearPendingOperation"}));
}

TEST(DialogueTcpResponses, FieldsOfTheReadResponses) {
    ConsoleState st;
    auto fieldsOf = [&](const Bytes& block) {
        for (const auto& s : AfterIntake(kTcp, block, st))
            if (s.rfind("ShowParameters", 0) == 0) return s;
        return std::string("none");
    };
    // 0x74: bytes 14..20.
    Bytes r74 = Response(0x74, 24);
    for (int i = 0; i < 7; ++i) r74[14 + i] = Hex("02 01 23 45 67 89 01")[i];
    EXPECT_EQ(fieldsOf(r74), "ShowParameters txtBarCode=2012345678901");
    // 0x76: bytes 14..17, port 18..19.
    Bytes r76 = Response(0x76, 23);
    for (int i = 0; i < 6; ++i) r76[14 + i] = Hex("C0 A8 01 0A 07 E4")[i];
    EXPECT_EQ(fieldsOf(r76), "ShowParameters txtIp=192,168,1,10,2020");
    // 0x78: bytes 12..15, port 16..17.
    Bytes r78 = Response(0x78, 21);
    for (int i = 0; i < 6; ++i) r78[12 + i] = Hex("0A 00 00 01 FF FF")[i];
    EXPECT_EQ(fieldsOf(r78), "ShowParameters txtSpareIp=10,0,0,1,65535");
    // 0x79: FF 38 is -20; FF 9C is -10, 01 C8 is 45.6.
    Bytes r79 = Response(0x79, 21);
    r79[14] = 0xFF; r79[15] = 0x38;
    EXPECT_EQ(fieldsOf(r79), "ShowParameters txtTemp=-20 txtHumi=0");
    r79[15] = 0x9C; r79[16] = 0x01; r79[17] = 0xC8;
    EXPECT_EQ(fieldsOf(r79), "ShowParameters txtTemp=-10 txtHumi=45.6");
    Bytes r79long = Response(0x79, 22);
    EXPECT_EQ(fieldsOf(r79long), "none");
    // 0x7D: the full parameter read-out.
    Bytes r7d = Hex("71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C AA 0B 0F 03 "
                    "0F 24 05 17 08 30 00 AA 45 0D");
    EXPECT_EQ(fieldsOf(r7d), "ShowParameters txtVer=V1.05 txtCJ=15 txtSC=60 Combo1=1 txtHeartbeat=60 "
                             "optEnabled=0 txtDate=11,15,3,15 Txtrq=24,05,17,08,30,00");
    // 0x7B / 4: upload interval.
    EXPECT_EQ(fieldsOf(Response(0x7B, 21, 4, Hex("01 2C"))), "ShowParameters txtSC=300");
    // 0x7B / 9: entry of Combo1.
    EXPECT_EQ(fieldsOf(Response(0x7B, 21, 9, Hex("01"))), "ShowParameters Combo1=1");
    EXPECT_EQ(fieldsOf(Response(0x7B, 21, 9, Hex("00"))), "ShowParameters Combo1=0");
    // 0x7B / 10: silence flag and period.
    EXPECT_EQ(fieldsOf(Response(0x7B, 24, 10, Hex("55 0B 0F 03 0F"))),
              "ShowParameters optEnabled=1 txtDate=11,15,3,15");
    EXPECT_EQ(fieldsOf(Response(0x7B, 24, 10, Hex("AA 01 02 0C 1F"))),
              "ShowParameters optEnabled=0 txtDate=1,2,12,31");
    EXPECT_EQ(fieldsOf(Response(0x7B, 24, 10, Hex("00 01 02 0C 1F"))),
              "ShowParameters optEnabled=-1 txtDate=1,2,12,31");
    // 0x7B / 11: version.
    EXPECT_EQ(fieldsOf(Response(0x7B, 21, 11, Hex("02 0A"))), "ShowParameters txtVer=V2.0A");
    // Failed length rules write no field.
    EXPECT_EQ(fieldsOf(Response(0x7B, 23, 10, Hex("55 0B 0F 03"))), "none");
    EXPECT_EQ(fieldsOf(Response(0x7D, 35)), "none");
}

TEST(DialogueTcpResponses, UploadModeNamingNoEntryIsAFailure) {
    // Combo1 has two entries; a byte 16 of 2 or more selects nothing and reports failure.
    ConsoleState st;
    for (std::uint8_t b : {0x02, 0x80, 0xFF}) {
        EXPECT_EQ(AfterIntake(kTcp, Response(0x7B, 21, 9, Bytes{b}), st),
                  (V{"ShowStatus 提示信息:读取数据上传方式失败！", "ClearPendingOperation"}));
    }
}

TEST(DialogueTcpResponses, UnhandledSubCodesOnlyClearOpName) {
    ConsoleState st;
    st.pendingSetting = true;
    for (int sub : {0, 1, 2, 3, 6, 7, 8, 12, 255})
        EXPECT_EQ(AfterIntake(kTcp, Response(0x7B, 30, sub), st), (V{"ClearPendingOperation"})) << sub;
    for (int sub : {0, 1, 2, 11, 200})
        EXPECT_EQ(AfterIntake(kTcp, Response(0x7C, 30, sub), st), (V{"ClearPendingOperation"})) << sub;
    // A 15-byte response has no sub-code: not met.
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7B, 15), st), (V{"ClearPendingOperation"}));
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7C, 15), st), (V{"ClearPendingOperation"}));
    // 16 bytes: the sub-code is the final 0x0D (13), which no row names.
    EXPECT_EQ(AfterIntake(kTcp, Response(0x7C, 16), st), (V{"ClearPendingOperation"}));
}

TEST(DialogueTcpTerminal, TerminalFramesKeepOpName) {
    ConsoleState st;
    st.pendingOperation = "设置心跳包时间间隔";
    for (const Bytes& b : {Request(0x01, kAddr, {}), Request(0x02, kAddr, Bytes(3, 0)),
                           Request(0x02, kAddr, {}), RoomUpload(kAddr, Bytes(7, 0), {}),
                           HeatUpload(kAddr, 1, {MeterRecord(1)}), Request(0x44, kAddr, {})}) {
        for (const auto& s : AfterIntake(kTcp, b, st)) EXPECT_NE(s, "ClearPendingOperation");
    }
}

}  // namespace
}  // namespace ht6630::dialogue::test_support
