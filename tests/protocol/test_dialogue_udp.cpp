// The UDP data centre's dialogue: where it departs from the TCP one.
#include <gtest/gtest.h>

#include "test_dialogue_support.h"

namespace ht6630::dialogue::test_support {
namespace {

using V = std::vector<std::string>;
constexpr Channel kUdp = Channel::Udp;

TEST(DialogueUdp, RegistrationFillsBothBarCodeFieldsAndNoLists) {
    ConsoleState st;
    st.pendingOperation = "读取IP和端口";
    EXPECT_EQ(AfterIntake(kUdp, Request(0x01, kAddr, {}), st),
              (V{"ShowTerminalBarCode 2012345678901", "SetCurrentTerminal 2012345678901",
                 "SetTermAddr 02012345678901", "SetHandshaken",
                 "Reply 1.0 71 76 71 02 01 23 45 67 89 01 00 03 00 00 00 67 C2 0D",
                 "ShowStatus 提示信息:主机响应握手成功！"}));
}

TEST(DialogueUdp, HeartbeatAndOtherTerminalCodesDoNothing) {
    ConsoleState st;
    st.pendingOperation = "设置心跳包时间间隔";
    st.currentTerminal = std::string(kBarCode);
    // Only the received line and the emptied status line.
    EXPECT_EQ(AfterIntake(kUdp, Request(0x02, kAddr, Bytes(3, 0)), st), V{});
    EXPECT_EQ(AfterIntake(kUdp, Request(0x02, kAddr, {}), st), V{});   // short: no failure text
    EXPECT_EQ(AfterIntake(kUdp, Request(0x03, kAddr, Bytes(3, 0)), st), V{});
    EXPECT_EQ(AfterIntake(kUdp, Request(0xFF, kAddr, {}), st), V{});
}

TEST(DialogueUdp, RoomUploadAndHeatMeterRecords) {
    ConsoleState st;
    st.configMode = false;
    Bytes up = RoomUpload(kAddr, Bytes(7, 0x00), {Hex("00 FA 01 F4")});
    auto actions = HandleBlock(kUdp, up, st, kNow);
    EXPECT_EQ(AfterIntake(kUdp, up, st),
              (V{"ShowTerminalBarCode 2012345678901", "SetCurrentTerminal 2012345678901",
                 "SetTermAddr 02012345678901", "SetHandshaken", "ShowUpload",
                 "Reply 1.0 71 76 9C 02 01 23 45 67 89 01 00 07 24 05 17 08 30 05 00 73 75 0D",
                 "ShowStatus 提示信息:室温采集终端主动上传数据通讯成功！"}));
    ASSERT_EQ(AppendedTexts(actions).size(), 1u);
    EXPECT_NE(AppendedTexts(actions)[0].find("温度:25.0℃      湿度:50.0%"), std::string::npos);

    st.termAddr = "02098765432109";
    Bytes heat = HeatUpload(kAddr, 1, {MeterRecord(0x11)});
    EXPECT_EQ(AfterIntake(kUdp, heat, st),
              (V{"ShowUpload",
                 "Reply 1.0 71 76 9C 02 09 87 65 43 21 09 00 04 03 05 01 11 D4 86 0D",
                 "ShowStatus 提示信息:上传采集器数据通讯成功！"}));
}

TEST(DialogueUdp, UploadEndSendsPendingFrameAfterATenthOfASecond) {
    ConsoleState st;
    st.pendingOperation = "设置采集数据时间间隔";
    st.configMode = false;
    st.pendingSetting = true;
    Bytes notice = Hex("71 05 02 00 AB 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(AfterIntake(kUdp, notice, st),
              (V{"Reply 1.0 51 06 02 00 AB", "SendPendingFrame 0.1", "ClearPendingSetting",
                 "ShowStatus 提示信息:数据上传结束，并发送设置指令！", "ClearPendingOperation"}));
    st.configMode = true;
    EXPECT_EQ(AfterIntake(kUdp, notice, st),
              (V{"Reply 1.0 51 07 02 00 AB", "ShowStatus 提示信息:数据上传结束，并进入实时采集模式！",
                 "ClearPendingOperation"}));
    auto actions = HandleBlock(kUdp, notice, ConsoleState{false, true, false, "", "", "", ""}, kNow);
    ASSERT_GE(actions.size(), 4u);
    EXPECT_EQ(actions[3].kind, Action::Kind::SendPendingFrame);
    EXPECT_DOUBLE_EQ(actions[3].delaySeconds, kUdpPendingDelay);
    EXPECT_TRUE(actions[3].bytes.empty());   // the console sends its own PendingFrame
}

TEST(DialogueUdp, BarCodeSetHasNoListUpdate) {
    ConsoleState st;
    st.pendingSetting = true;
    EXPECT_EQ(AfterIntake(kUdp, Response(0x73, 22), st),
              (V{"Reply 1.0 51 06 02 AA AB", "ClearPendingSetting", "ShowStatus 提示信息:设置条形码成功！",
                 "ClearPendingOperation"}));
}

TEST(DialogueUdp, AcquisitionAndHeartbeatRead) {
    ConsoleState st;
    st.pendingOperation = "读取室温采集终端配置参数";
    EXPECT_EQ(AfterIntake(kUdp, Response(0x7B, 22, 3, Hex("05 A0 3C")), st),
              (V{"ShowParameters txtCJ=1440 txtHeartbeat=60",
                 "ShowStatus 提示信息:集抄器读取采集数据及心跳包时间间隔成功！", "ClearPendingOperation"}));
    EXPECT_EQ(AfterIntake(kUdp, Response(0x7B, 30, 3, Hex("00 0F F0")), st),
              (V{"ShowParameters txtCJ=15 txtHeartbeat=240",
                 "ShowStatus 提示信息:集抄器读取采集数据及心跳包时间间隔成功！", "ClearPendingOperation"}));
    EXPECT_EQ(AfterIntake(kUdp, Response(0x7B, 21, 3, Hex("05 A0 3C")), st),
              (V{"ShowStatus 提示信息:集抄器读取采集数据及心跳包时间间隔失败！", "ClearPendingOperation"}));
    // Sub-codes 1 and 2 stay ignored; on TCP sub-code 3 is ignored too.
    EXPECT_EQ(AfterIntake(kUdp, Response(0x7B, 22, 1), st), (V{"ClearPendingOperation"}));
    EXPECT_EQ(AfterIntake(kUdp, Response(0x7B, 22, 2), st), (V{"ClearPendingOperation"}));
    EXPECT_EQ(AfterIntake(Channel::Tcp, Response(0x7B, 22, 3), st), (V{"ClearPendingOperation"}));
}

TEST(DialogueUdp, SharedPathsMatchTcp) {
    // Intake, rejected blocks and responses other than 0x73 and 0x7B / 3 are the same
    // on both channels.
    ConsoleState st;
    st.pendingOperation = "设置心跳包时间间隔";
    st.pendingSetting = true;
    const Bytes blocks[] = {Bytes(14, 0x51),
                            Hex("00 FE 68 00 00 00 00 00 00 00 00 00 00 00 00"),
                            Bytes(20, 0x00),
                            Response(0x7A, 18),
                            Response(0x79, 21, -1, Hex("00 FA 01 F4")),
                            Response(0x7C, 22, 4),
                            Response(0x7B, 24, 10, Hex("AA 01 01 02 02")),
                            Response(0x75, 22)};
    for (const Bytes& b : blocks) {
        EXPECT_EQ(Describe(HandleBlock(kUdp, b, st, kNow)),
                  Describe(HandleBlock(Channel::Tcp, b, st, kNow)))
            << ToHexSpaced(b);
    }
}

TEST(DialogueUdp, OversizedDatagramIsOnlyLogged) {
    ConsoleState st;
    st.pendingOperation = "读取条形码";
    Bytes big(kMaxUdpDatagram + 1, 0x00);
    big[0] = 0x51;
    big[1] = 0x56;
    big[2] = 0x01;
    big.back() = 0x0D;
    auto actions = HandleBlock(kUdp, big, st, kNow);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, Action::Kind::LogReceived);
    EXPECT_EQ(actions[0].bytes.size(), big.size());
    // At the limit it is still handled (a registration here).
    big.resize(kMaxUdpDatagram);
    big.back() = 0x0D;
    EXPECT_EQ(Describe(HandleBlock(kUdp, big, st, kNow)).back(),
              "ShowStatus 提示信息:主机响应握手成功！");
}

}  // namespace
}  // namespace ht6630::dialogue::test_support
