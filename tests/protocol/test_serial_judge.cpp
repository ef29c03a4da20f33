// Judging blocks received on the serial link: order of the tests, every status
// text, the fields filled, and blocks too short for what they claim to be.
#include <gtest/gtest.h>

#include <string>

#include "protocol/Catalogue.h"
#include "protocol/Frame.h"
#include "protocol/SerialJudge.h"
#include "test_hex.h"

using namespace ht6630;

namespace {

constexpr std::string_view kAddr = "02012345678901";

using ht6630::testing::Hex;

// A "qv" response with a correct CRC.
Bytes Response(int code, const Bytes& payload) {
    return MakeFrame_Reply(code, kAddr, static_cast<int>(payload.size()), payload);
}

// A response of exactly `total` bytes (payload of total - 15 zero bytes).
Bytes ResponseOfLength(int code, int total) { return Response(code, Bytes(static_cast<size_t>(total - 15), 0)); }

void Recrc(Bytes& b) {
    const unsigned crc = Crc16Modbus(ByteView(b).first(b.size() - 3));
    b[b.size() - 3] = static_cast<std::uint8_t>(crc & 0xFF);
    b[b.size() - 2] = static_cast<std::uint8_t>(crc >> 8);
}

SerialJudgement Judge(const Bytes& b, std::string_view op, int expect) { return JudgeSerialBlock(b, op, expect); }

const char* kFail = "提示信息:通讯失败！";
const char* kCrcFail = "提示信息:通讯失败，CRC校验错误！";
const char* kHandshake = "提示信息:握手失败，CRC校验错误！";

}  // namespace

TEST(SerialJudge, HeartbeatExampleAndItsWrongFunctionCode) {
    Bytes ok = Hex("71 76 7A 02 01 23 45 67 89 01 00 03 04 3C 00 2D 88 0D");
    auto j = Judge(ok, "设置心跳包时间间隔", 18);
    EXPECT_EQ(j.status, "提示信息:设置心跳包时间间隔成功！");
    EXPECT_TRUE(j.fields.empty());

    Bytes wrong = ok;
    wrong[2] = 0x7B;
    EXPECT_EQ(Judge(wrong, "设置心跳包时间间隔", 18).status, kCrcFail);   // CRC no longer matches
    Recrc(wrong);
    EXPECT_EQ(Judge(wrong, "设置心跳包时间间隔", 18).status, "提示信息:设置心跳包时间间隔失败，功能码错误！");
}

TEST(SerialJudge, RequestStartBytesWithBadCrcIsAHandshakeFailureWhateverTheOperation) {
    Bytes qv = MakeFrame_Request(0x0A, kAddr, 3, Hex("04 3C 00"));
    ASSERT_EQ(qv.size(), 18u);
    qv[15] ^= 0x01;   // CRC high byte
    for (std::string_view op : {"", "设置条形码", "读取实时温度湿度", "no such operation"})
        EXPECT_EQ(Judge(qv, op, 18).status, kHandshake) << op;
    // Another length: not the handshake case, and not "qv" either.
    EXPECT_EQ(Judge(qv, "设置条形码", 17).status, kFail);
}

TEST(SerialJudge, RequestStartBytesWithGoodCrcFailTheResponseCheck) {
    Bytes qv = MakeFrame_Request(0x73, kAddr, 7, Bytes(7, 0));
    ASSERT_EQ(qv.size(), 22u);
    auto j = Judge(qv, "设置条形码", 22);
    EXPECT_EQ(j.status, kFail);
    EXPECT_TRUE(j.fields.empty());
}

TEST(SerialJudge, LengthMustEqualExpectLen) {
    Bytes ok = Hex("71 76 7A 02 01 23 45 67 89 01 00 03 04 3C 00 2D 88 0D");
    Bytes seventeen(ok.begin(), ok.end() - 1);
    EXPECT_EQ(Judge(seventeen, "设置心跳包时间间隔", 18).status, kFail);
    EXPECT_EQ(Judge(ok, "设置心跳包时间间隔", 19).status, kFail);
    EXPECT_EQ(Judge(ok, "设置心跳包时间间隔", -1).status, kFail);
    // A correct 17-byte response still fails against ExpectLen 18.
    Bytes good17 = ResponseOfLength(0x7A, 17);
    EXPECT_EQ(Judge(good17, "设置心跳包时间间隔", 18).status, kFail);
}

TEST(SerialJudge, BadCrcChangesNoField) {
    Bytes b = Response(0x74, Hex("00 00 02 01 23 45 67 89 01"));
    ASSERT_EQ(b.size(), 24u);
    b[b.size() - 3] ^= 0xFF;
    auto j = Judge(b, "读取条形码", 24);
    EXPECT_EQ(j.status, kCrcFail);
    EXPECT_TRUE(j.fields.empty());
    // A corrupted payload byte (CRC bytes intact) is caught the same way.
    Bytes c = Response(0x74, Hex("00 00 02 01 23 45 67 89 01"));
    c[16] ^= 0x10;
    EXPECT_EQ(Judge(c, "读取条形码", 24).status, kCrcFail);
}

TEST(SerialJudge, UnknownOrEmptyOperationLeavesStatusEmpty) {
    Bytes b = ResponseOfLength(0x7A, 18);
    for (std::string_view op : {"", "读取条形码 ", "whatever"}) {
        auto j = Judge(b, op, 18);
        EXPECT_EQ(j.status, "") << op;
        EXPECT_TRUE(j.fields.empty());
    }
}

TEST(SerialJudge, AllParametersExampleFillsEveryField) {
    Bytes b = Hex("71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C AA 0B 0F 03 0F 24 05 17 "
                  "08 30 00 AA 45 0D");
    ASSERT_EQ(b.size(), 36u);
    auto j = Judge(b, "读取室温采集终端配置参数", 36);
    EXPECT_EQ(j.status, "提示信息:读取采集终端参数配置成功！");
    EXPECT_EQ(j.fields.firmware, "V1.05");
    EXPECT_EQ(j.fields.acquisitionMinutes, "15");
    EXPECT_EQ(j.fields.uploadMinutes, "60");
    EXPECT_EQ(j.fields.commType, 1);
    EXPECT_EQ(j.fields.heartbeatSeconds, "60");
    EXPECT_EQ(j.fields.silenceChoice, 0);
    EXPECT_EQ(j.fields.silenceDates, (std::array<std::string, 4>{"11", "15", "3", "15"}));
    EXPECT_EQ(j.fields.clock, (std::array<std::string, 6>{"24", "05", "17", "08", "30", "00"}));
}

TEST(SerialJudge, ReadsFillTheirFields) {
    auto bar = Judge(Response(0x74, Hex("00 00 02 01 23 45 67 89 01")), "读取条形码", 24);
    EXPECT_EQ(bar.status, "提示信息:读取条形码成功！");
    EXPECT_EQ(bar.fields.barCode, "2012345678901");

    auto ip = Judge(Response(0x76, Hex("05 0B C0 A8 01 02 07 E4 00 00")), "读取IP和端口", 23);
    EXPECT_EQ(ip.status, kFail);   // 25 bytes, not the expected 23
    ip = Judge(Response(0x76, Hex("05 0B C0 A8 01 02 07 E4")), "读取IP和端口", 23);
    EXPECT_EQ(ip.status, "提示信息:读取Velmar内部IP和端口成功！");
    EXPECT_EQ(ip.fields.dataCentre, (std::array<std::string, 5>{"192", "168", "1", "2", "2020"}));

    auto spare = Judge(Response(0x78, Hex("0A 00 00 FF FF FF")), "读取备用IP和端口", 21);
    EXPECT_EQ(spare.status, "提示信息:读取备用IP和端口成功！");
    EXPECT_EQ(spare.fields.spareCentre, (std::array<std::string, 5>{"10", "0", "0", "255", "65535"}));

    auto live = Judge(Response(0x79, Hex("00 00 FF 9C 01 C8")), "读取实时温度湿度", 21);
    EXPECT_EQ(live.status, "提示信息:读取实时温度湿度成功！");
    EXPECT_EQ(live.fields.temperature, "-10");
    EXPECT_EQ(live.fields.humidity, "45.6");
}

TEST(SerialJudge, LengthTestedReadsIgnoreTheFunctionCode) {
    auto live = Judge(Response(0x00, Hex("00 00 00 EB 00 FA")), "读取实时温度湿度", 21);
    EXPECT_EQ(live.status, "提示信息:读取实时温度湿度成功！");
    EXPECT_EQ(live.fields.temperature, "23.5");
    EXPECT_EQ(live.fields.humidity, "25");
}

// OpName changed by a button whose request was not sent: ExpectLen still belongs to
// the earlier request, so the length test of the two reads fails.
TEST(SerialJudge, LengthTestedReadsFailWhenExpectLenBelongsToAnotherRequest) {
    Bytes ack = ResponseOfLength(0x7A, 18);
    auto live = Judge(ack, "读取实时温度湿度", 18);
    EXPECT_EQ(live.status, "提示信息:读取实时温度湿度失败！");
    EXPECT_TRUE(live.fields.empty());
    auto all = Judge(ack, "读取室温采集终端配置参数", 18);
    EXPECT_EQ(all.status, "提示信息:读取采集终端参数配置失败！");
    EXPECT_TRUE(all.fields.empty());
}

// Chosen behaviour: a response whose function code matches but which is shorter than
// the bytes its decoding reads is reported with the row's failure text and fills nothing.
TEST(SerialJudge, MatchingCodeButTooShortForItsFieldsIsTheRowsFailure) {
    auto bar = Judge(ResponseOfLength(0x74, 18), "读取条形码", 18);   // needs 21 bytes
    EXPECT_EQ(bar.status, "提示信息:读取条形码失败，功能码错误！");
    EXPECT_TRUE(bar.fields.empty());
    auto ip = Judge(ResponseOfLength(0x76, 18), "读取IP和端口", 18);   // needs 20 bytes
    EXPECT_EQ(ip.status, "提示信息:读取Velmar内部IP和端口失败，功能码错误！");
    EXPECT_TRUE(ip.fields.empty());
    auto spare = Judge(ResponseOfLength(0x78, 17), "读取备用IP和端口", 17);   // needs 18 bytes
    EXPECT_EQ(spare.status, "提示信息:读取备用IP和端口失败，功能码错误！");
    // Long enough exactly: accepted.
    auto bar21 = Judge(ResponseOfLength(0x74, 21), "读取条形码", 21);
    EXPECT_EQ(bar21.status, "提示信息:读取条形码成功！");
    ASSERT_TRUE(bar21.fields.barCode.has_value());
    EXPECT_EQ(bar21.fields.barCode->size(), 13u);
}

// Chosen behaviour: blocks too short to hold start bytes (or a CRC) never read past their end.
TEST(SerialJudge, TinyBlocks) {
    EXPECT_EQ(Judge({}, "读取条形码", 0).status, kFail);
    EXPECT_EQ(Judge({0x71}, "读取条形码", 1).status, kFail);
    EXPECT_EQ(Judge({0x51}, "读取条形码", 1).status, kFail);
    EXPECT_EQ(Judge({0x71, 0x76}, "读取条形码", 2).status, kCrcFail);
    EXPECT_EQ(Judge({0x51, 0x56}, "读取条形码", 2).status, kHandshake);
    EXPECT_EQ(Judge({0x71, 0x76, 0x00}, "读取条形码", 3).status, kCrcFail);
    // Three bytes whose CRC is right: the CRC of nothing is FFFF.
    EXPECT_EQ(Judge({0xFF, 0xFF, 0x0D}, "", 3).status, kFail);
    EXPECT_TRUE(SerialCrcIsCorrect(Bytes{0xFF, 0xFF, 0x0D}));
    EXPECT_FALSE(SerialCrcIsCorrect(Bytes{0xFF, 0xFF}));
}

// Every row of the dispatch table: its success text with the right test, its failure
// text with the wrong one.
TEST(SerialJudge, EveryOperationsTexts) {
    struct Want { std::string_view op, success, failure; };
    const Want wants[] = {
        {"设置条形码", "提示信息:设置条形码成功！", "提示信息:设置条形码失败，功能码错误！"},
        {"读取条形码", "提示信息:读取条形码成功！", "提示信息:读取条形码失败，功能码错误！"},
        {"设置IP和端口", "提示信息:设置Velmar内部IP和端口成功！", "提示信息:设置Velmar内部IP和端口失败，功能码错误！"},
        {"读取IP和端口", "提示信息:读取Velmar内部IP和端口成功！", "提示信息:读取Velmar内部IP和端口失败，功能码错误！"},
        {"设置备用IP和端口", "提示信息:设置备用IP和端口成功！", "提示信息:设置备用IP和端口失败，功能码错误！"},
        {"读取备用IP和端口", "提示信息:读取备用IP和端口成功！", "提示信息:读取备用IP和端口失败，功能码错误！"},
        {"读取实时温度湿度", "提示信息:读取实时温度湿度成功！", "提示信息:读取实时温度湿度失败！"},
        {"读取室温采集终端配置参数", "提示信息:读取采集终端参数配置成功！", "提示信息:读取采集终端参数配置失败！"},
        {"配置静默参数", "提示信息:配置静默参数成功！", "提示信息:配置静默参数失败，功能码错误！"},
        {"设置采集数据时间间隔", "提示信息:设置采集数据时间间隔成功！", "提示信息:设置采集数据时间间隔失败，功能码错误！"},
        {"设置心跳包时间间隔", "提示信息:设置心跳包时间间隔成功！", "提示信息:设置心跳包时间间隔失败，功能码错误！"},
        {"设置上传数据时间间隔", "提示信息:设置上传数据时间间隔成功！", "提示信息:设置上传数据时间间隔失败，功能码错误！"},
        {"设置通讯类型", "提示信息:设置通讯类型成功！", "提示信息:设置通讯类型失败，功能码错误！"},
        {"设置实时日期与时间", "提示信息:设置实时日期与时间成功！", "提示信息:设置实时日期与时间失败，功能码错误！"},
        {"设置是否休眠", "提示信息:设置是否休眠成功！", "提示信息:设置是否休眠失败，功能码错误！"},
    };
    for (const Want& w : wants) {
        const CatalogueEntry* e = FindEntry(w.op);
        ASSERT_NE(e, nullptr) << w.op;
        const int len = e->responseLength;
        Bytes good = ResponseOfLength(e->responseCode, len);
        EXPECT_EQ(Judge(good, w.op, len).status, w.success) << w.op;
        if (e->op == Op::ReadLive || e->op == Op::ReadAll) {
            Bytes other = ResponseOfLength(e->responseCode, len + 1);
            EXPECT_EQ(Judge(other, w.op, len + 1).status, w.failure) << w.op;
        } else {
            Bytes wrong = ResponseOfLength(e->responseCode + 1, len);
            EXPECT_EQ(Judge(wrong, w.op, len).status, w.failure) << w.op;
            EXPECT_TRUE(Judge(wrong, w.op, len).fields.empty());
        }
    }
}

TEST(SerialJudge, SilenceFlagOtherThanAaOr55LeavesBothOptionsUnchosen) {
    Bytes b = Hex("71 76 7D 02 01 23 45 67 89 01 00 15 03 00 01 05 00 0F 00 3C 01 3C 55 0B 0F 03 0F 24 05 17 "
                  "08 30 00 00 00 0D");
    Recrc(b);
    EXPECT_EQ(Judge(b, "读取室温采集终端配置参数", 36).fields.silenceChoice, 1);
    b[22] = 0x12;
    Recrc(b);
    auto j = Judge(b, "读取室温采集终端配置参数", 36);
    EXPECT_EQ(j.fields.silenceChoice, -1);
    EXPECT_EQ(j.fields.commType, 1);
}
