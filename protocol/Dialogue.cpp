#include "protocol/Dialogue.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "protocol/Catalogue.h"
#include "protocol/Frame.h"
#include "protocol/NumberEntry.h"
#include "protocol/Responses.h"
#include "protocol/Upload.h"

namespace ht6630::dialogue {

namespace {

using namespace std::string_literals;

// Status texts of the dialogue.
constexpr std::string_view kTooShort = "提示信息:自动上传数据无效,数据长度不够！";
constexpr std::string_view kBadStartOrEnd = "提示信息:自动上传数据无效,起始码或结束码错误！";
constexpr std::string_view kHandshakeOk = "提示信息:主机响应握手成功！";
constexpr std::string_view kHeartbeatFailed = "提示信息:应答心跳包失败！";
constexpr std::string_view kHeartbeatOk = "提示信息:应答心跳包成功！";
constexpr std::string_view kUploadOk = "提示信息:室温采集终端主动上传数据通讯成功！";
constexpr std::string_view kHeatMeterOk = "提示信息:上传采集器数据通讯成功！";
constexpr std::string_view kEndRealtime = "提示信息:数据上传结束，并进入实时采集模式！";
constexpr std::string_view kEndSendSetting = "提示信息:数据上传结束，并发送设置指令！";
constexpr std::string_view kEndNoSetting = "提示信息:数据上传结束，但上位机不进行任何设置！";
constexpr std::string_view kStatusPrefix = "提示信息:";

constexpr std::uint8_t kFuncRegistration = 0x01;
constexpr std::uint8_t kFuncHeartbeat = 0x02;
constexpr std::uint8_t kFuncUpload = 0x2C;
constexpr std::uint8_t kFuncRegistrationReply = 0x71;
constexpr std::uint8_t kFuncHeartbeatReply = 0x72;
constexpr std::uint8_t kFuncUploadAck = 0x9C;

// Heat-meter records: count at 16, record i (from 0) at 17 + 62 i, 62 bytes each.
constexpr std::size_t kHeatCountOffset = 16;
constexpr std::size_t kHeatFirstRecord = 17;
constexpr std::size_t kHeatRecordSize = 62;

// Upload-end notice and the short answers (no address, no CRC, no terminator).
constexpr std::array<std::uint8_t, 5> kUploadEndNotice{0x71, 0x05, 0x02, 0x00, 0xAB};
constexpr std::uint8_t kEndAnswerNoSetting = 0x05;
constexpr std::uint8_t kEndAnswerSendSetting = 0x06;
constexpr std::uint8_t kEndAnswerRealtime = 0x07;
const Bytes kSettingFollowUp{0x51, 0x06, 0x02, 0xAA, 0xAB};

Bytes ShortAnswer(std::uint8_t c) { return Bytes{0x51, c, 0x02, 0x00, 0xAB}; }

std::uint8_t Bcd(int value) {
    int v = value % 100;
    if (v < 0) v += 100;
    return static_cast<std::uint8_t>((v / 10) * 16 + v % 10);
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string Dec(unsigned v) { return std::to_string(v); }

// How a response's length decides success: N >= n or N = n.
struct LengthRule {
    bool exact;
    std::size_t n;
    bool met(std::size_t size) const { return exact ? size == n : size >= n; }
};

class Handling {
public:
    Handling(Channel channel, ByteView block, const ConsoleState& state, const LocalTime& now)
        : channel_(channel), b_(block), state_(state), now_(now), termAddr_(state.termAddr),
          barCodeText_(state.terminalBarCode) {}

    std::vector<Action> run() {
        // Intake.
        add(Action::Kind::LogReceived).bytes.assign(b_.begin(), b_.end());
        if (channel_ == Channel::Udp && b_.size() > kMaxUdpDatagram) {
            // Beyond the 16-bit count of the UDP path: logged, otherwise ignored.
            return std::move(out_);
        }
        status("");
        const std::size_t n = b_.size();
        if (n <= 14) {
            status(kTooShort);
            add(Action::Kind::ClearPendingOperation);
            return std::move(out_);
        }
        // Classification, first test that holds (N >= 15, so bytes 0..4 exist).
        if (b_[0] == kRequestStart1 && b_[1] == kRequestStart2 && b_[n - 1] == kTerminator) {
            terminalInitiated();
        } else if (b_[0] == kReplyStart1 && b_[1] == kReplyStart2 && b_[n - 1] == kTerminator) {
            response();
        } else if (b_[1] == 0xFE && b_[2] == 0x68) {
            add(Action::Kind::ClearPendingOperation);
        } else if (std::equal(kUploadEndNotice.begin(), kUploadEndNotice.end(), b_.begin())) {
            uploadEnd();
        } else {
            status(kBadStartOrEnd);
            add(Action::Kind::ClearPendingOperation);
        }
        return std::move(out_);
    }

private:
    // B(i) = value; a position beyond the block counts as not met.
    bool is(std::size_t i, std::uint8_t value) const { return i < b_.size() && b_[i] == value; }

    Action& add(Action::Kind kind) {
        out_.push_back(Action{kind, {}, {}, {}, 0.0, {}, {}, {}});
        return out_.back();
    }
    void addText(Action::Kind kind, std::string_view text) { add(kind).text = std::string(text); }
    void status(std::string_view text) { addText(Action::Kind::ShowStatus, text); }
    void reply(Bytes bytes) {
        Action& a = add(Action::Kind::Reply);
        a.bytes = std::move(bytes);
        a.delaySeconds = kReplyDelay;
    }
    void replyFrame(int functionCode, const Bytes& payload) {
        reply(MakeFrame_Reply(functionCode, termAddr_, static_cast<int>(payload.size()), payload));
    }
    void setTermAddr(std::string addr) {
        termAddr_ = std::move(addr);
        addText(Action::Kind::SetTermAddr, termAddr_);
    }

    // ---- terminal-initiated frames (the pending operation untouched on every path) ----

    void terminalInitiated() {
        switch (b_[2]) {
        case kFuncRegistration:
            registration();
            replyFrame(kFuncRegistrationReply, Bytes{0x00, 0x00, 0x00});
            status(kHandshakeOk);
            break;
        case kFuncHeartbeat:
            if (channel_ == Channel::Tcp) heartbeat();
            break;
        case kFuncUpload:
            upload();
            break;
        default:
            break;
        }
    }

    // Steps 1 to 6 shared by registration and room-temperature upload.
    void registration() {
        const std::string barCode = BarCodeFromAddress(b_.subspan(3, 7));
        barCodeText_ = barCode;
        addText(Action::Kind::ShowTerminalBarCode, barCode);
        if (channel_ == Channel::Udp) addText(Action::Kind::SetCurrentTerminal, barCode);
        setTermAddr("0" + std::string(Trim(barCodeText_)));
        if (channel_ == Channel::Tcp) {
            addText(Action::Kind::SetConnectionBarCode, barCode);
            addText(Action::Kind::MarkOnline, barCode);
            addText(Action::Kind::NetLog, "注册" + barCode);
        }
        add(Action::Kind::SetHandshaken);
    }

    void heartbeat() {
        if (b_.size() < 18) {
            status(kHeartbeatFailed);
            return;
        }
        setTermAddr("0" + std::string(Trim(state_.currentTerminal)));
        replyFrame(kFuncHeartbeatReply, Bytes{0x00, 0x00, 0x00});
        status(kHeartbeatOk);
    }

    void upload() {
        // Both tests look at the frame being handled.
        if (is(13, 0x02) && is(12, 0x10)) {
            registration();
            addText(Action::Kind::ShowUpload, DealData_Upload(b_));
            out_.back().roomUpload = DecodeRoomUpload(b_);
            replyFrame(kFuncUploadAck, UploadAckPayload(now_, state_.configMode));
            status(kUploadOk);
        }
        if (is(15, 0x05) && is(14, 0x03)) {
            // Records that fail their checks (or are not there) give no line; only lines
            // are appended.
            std::string lines = DealData_HeatMeter(b_, TimeOfDayText(now_));
            if (!lines.empty()) {
                addText(Action::Kind::ShowUpload, lines);
                out_.back().heatBarCode = BarCodeFromAddress(b_.subspan(3, 7));
                out_.back().heatRecords = DecodeHeatMeterRecords(b_);
            }
            replyFrame(kFuncUploadAck, HeatMeterAckPayload(b_));
            status(kHeatMeterOk);
        }
    }

    // ---- upload-end notice ----

    void uploadEnd() {
        if (state_.configMode) {
            reply(ShortAnswer(kEndAnswerRealtime));
            status(kEndRealtime);
        } else if (state_.pendingSetting) {
            reply(ShortAnswer(kEndAnswerSendSetting));
            add(Action::Kind::SendPendingFrame).delaySeconds =
                channel_ == Channel::Udp ? kUdpPendingDelay : kReplyDelay;
            add(Action::Kind::ClearPendingSetting);
            status(kEndSendSetting);
        } else {
            reply(ShortAnswer(kEndAnswerNoSetting));
            status(kEndNoSetting);
        }
        add(Action::Kind::ClearPendingOperation);
    }

    // ---- responses ----

    void settingFollowUp() {
        if (!state_.pendingSetting) return;
        reply(kSettingFollowUp);
        add(Action::Kind::ClearPendingSetting);
    }

    void fields(FieldValues f) { add(Action::Kind::ShowParameters).fields = std::move(f); }

    // Shows `ok` or `failed` by the length rule; `onSuccess` runs before the text.
    template <typename OnSuccess>
    void respond(LengthRule rule, std::string_view ok, std::string_view failed, OnSuccess onSuccess) {
        if (rule.met(b_.size())) {
            onSuccess();
            status(ok);
        } else {
            status(failed);
        }
    }

    void decoded(Op op) {
        if (auto f = DecodeResponseFields(op, b_)) fields(std::move(*f));
    }

    void response() {
        const std::uint8_t code = b_[2];
        switch (code) {
        case 0x73:
            respond({false, 22}, "提示信息:设置条形码成功！", "提示信息:设置条形码失败！", [&] {
                settingFollowUp();
                if (channel_ == Channel::Tcp) add(Action::Kind::RenameCurrentTerminal);
            });
            break;
        case 0x74:
            respond({false, 24}, "提示信息:读取条形码成功！", "提示信息:读取条形码失败！",
                    [&] { decoded(Op::ReadBarCode); });
            break;
        case 0x75:
            respond({false, 23}, "提示信息:设置内部VelmarIp和端口成功！",
                    "提示信息:设置内部VelmarIp和端口失败！", [&] { settingFollowUp(); });
            break;
        case 0x76:
            respond({false, 23}, "提示信息:读取Velmar内部IP和端口成功！",
                    "提示信息:读取Velmar内部IP和端口失败！", [&] { decoded(Op::ReadIp); });
            break;
        case 0x77:
            respond({false, 21}, "提示信息:设置备用Ip和端口成功！", "提示信息:设置备用Ip和端口失败！",
                    [&] { settingFollowUp(); });
            break;
        case 0x78:
            respond({false, 21}, "提示信息:读取备用IP和端口成功！", "提示信息:读取备用IP和端口失败！",
                    [&] { decoded(Op::ReadSpareIp); });
            break;
        case 0x79:
            respond({true, 21}, "提示信息:读取实时温度湿度成功！", "提示信息:读取实时温度湿度失败！",
                    [&] { decoded(Op::ReadLive); });
            break;
        case 0x7A: {
            const std::string prefix = std::string(kStatusPrefix) + state_.pendingOperation;
            respond({true, 18}, prefix + "成功！", prefix + "失败！", [] {});
            break;
        }
        case 0x7D:
            respond({true, 36}, "提示信息:读取采集终端参数配置成功！",
                    "提示信息:读取采集终端参数配置失败！", [&] { decoded(Op::ReadAll); });
            break;
        case 0x7B:
            response7B();
            break;
        case 0x7C:
            response7C();
            break;
        default:
            break;
        }
        add(Action::Kind::ClearPendingOperation);
    }

    // The sub-code B(15); a 15-byte response has none.
    std::optional<std::uint8_t> subCode() const {
        if (b_.size() <= 15) return std::nullopt;
        return b_[15];
    }

    void response7B() {
        const auto sub = subCode();
        if (!sub) return;
        switch (*sub) {
        case 3:
            if (channel_ != Channel::Udp) return;
            respond({false, 22}, "提示信息:集抄器读取采集数据及心跳包时间间隔成功！",
                    "提示信息:集抄器读取采集数据及心跳包时间间隔失败！", [&] {
                        FieldValues f;
                        f.acquisitionMinutes = Dec(b_[16] * 256u + b_[17]);
                        f.heartbeatSeconds = Dec(b_[18]);
                        fields(std::move(f));
                    });
            return;
        case 4:
            respond({false, 21}, "提示信息:集抄器读取上传数据时间间隔成功！",
                    "提示信息:集抄器读取上传数据时间间隔失败！", [&] {
                        FieldValues f;
                        f.uploadMinutes = Dec(b_[16] * 256u + b_[17]);
                        fields(std::move(f));
                    });
            return;
        case 5:
            respond({false, 21}, "提示信息:时间校准成功！", "提示信息:时间校准失败！", [] {});
            return;
        case 9:
            // Combo1 holds two entries, "TCP" (0) and "UDP" (1). A byte naming neither entry
            // is no upload mode: the communication type is left alone and the reading is reported as failed.
            if (b_.size() >= 21 && b_[16] > 1) {
                status("提示信息:读取数据上传方式失败！");
                return;
            }
            respond({false, 21}, "提示信息:读取数据上传方式成功！", "提示信息:读取数据上传方式失败！",
                    [&] {
                        FieldValues f;
                        f.commType = b_[16];
                        fields(std::move(f));
                    });
            return;
        case 10:
            respond({true, 24}, "提示信息:读取静默参数成功！", "提示信息:读取静默参数失败！", [&] {
                FieldValues f;
                f.silenceChoice = b_[16] == 0xAA ? 0 : b_[16] == 0x55 ? 1 : -1;
                f.silenceDates = std::array<std::string, 4>{Dec(b_[17]), Dec(b_[18]), Dec(b_[19]),
                                                       Dec(b_[20])};
                fields(std::move(f));
            });
            return;
        case 11:
            respond({false, 21}, "提示信息:读取采集器程序版本号成功！",
                    "提示信息:读取采集器程序版本号失败！", [&] {
                        FieldValues f;
                        f.firmware = FormatVersion(b_[16], b_[17]);
                        fields(std::move(f));
                    });
            return;
        default:
            return;
        }
    }

    void response7C() {
        const auto sub = subCode();
        if (!sub) return;
        auto follow = [&] { settingFollowUp(); };
        switch (*sub) {
        case 3:
            respond({false, 21}, "提示信息:集抄器设置采集模式成功！", "提示信息:集抄器设置采集模式失败！",
                    [] {});
            return;
        case 4:
            respond({false, 22}, "提示信息:设置集抄器采集数据及心跳包时间间隔成功！",
                    "提示信息:设置集抄器采集数据及心跳包时间间隔失败！", follow);
            return;
        case 5:
            respond({false, 21}, "提示信息:设置集抄器上传数据时间间隔成功！",
                    "提示信息:设置集抄器上传数据时间间隔失败！", follow);
            return;
        case 6:
            respond({false, 21}, "提示信息:设置集抄器采集数据波特率及奇偶校验位成功！",
                    "提示信息:设置集抄器采集数据波特率及奇偶校验位失败！", follow);
            return;
        case 7:
            respond({false, 26}, "提示信息:设置集抄器水表地址成功！", "提示信息:设置集抄器水表地址失败！",
                    follow);
            return;
        case 8:
            respond({false, 21}, "提示信息:设置集抄器水表类型成功！", "提示信息:设置集抄器水表类型失败！",
                    follow);
            return;
        case 9:
            respond({false, 21}, "提示信息:集抄器设置数据上传方式成功！",
                    "提示信息:集抄器设置数据上传方式失败！", [] {});
            return;
        case 10:
            respond({true, 24}, "提示信息:配置静默参数成功！", "提示信息:配置静默参数失败！", follow);
            return;
        default:
            return;
        }
    }

    Channel channel_;
    ByteView b_;
    const ConsoleState& state_;
    const LocalTime& now_;
    std::string termAddr_;      // TermAddr as the handling has set it so far
    std::string barCodeText_;   // the terminal bar code as the handling has set it so far
    std::vector<Action> out_;
};

}  // namespace

Bytes UploadAckPayload(const LocalTime& now, bool configMode) {
    return Bytes{Bcd(now.year),   Bcd(now.month),  Bcd(now.day),
                 Bcd(now.hour),   Bcd(now.minute), Bcd(now.second),
                 static_cast<std::uint8_t>(configMode ? 0x01 : 0x00)};
}

Bytes HeatMeterAckPayload(ByteView block) {
    // The acknowledgement echoes the tag of each record. A record counts only when the
    // block holds all its 62 bytes, so nothing is read past the block; when the block
    // holds fewer records than it announces, the count byte says how many are listed.
    const std::size_t announced = block.size() > kHeatCountOffset ? block[kHeatCountOffset] : 0;
    Bytes payload{0x03, 0x05, 0x00};
    for (std::size_t i = 0; i < announced; ++i) {
        const std::size_t start = kHeatFirstRecord + kHeatRecordSize * i;
        if (start + kHeatRecordSize > block.size()) break;
        payload.push_back(block[start]);
    }
    payload[2] = static_cast<std::uint8_t>(payload.size() - 3);
    return payload;
}

std::string TimeOfDayText(const LocalTime& now) {
    return TwoDigits(now.hour) + ":" + TwoDigits(now.minute) + ":" + TwoDigits(now.second);
}

const char* KindName(Action::Kind kind) {
    switch (kind) {
    case Action::Kind::LogReceived: return "LogReceived";
    case Action::Kind::ShowStatus: return "ShowStatus";
    case Action::Kind::ClearPendingOperation: return "ClearPendingOperation";
    case Action::Kind::SetPendingOperation: return "SetPendingOperation";
    case Action::Kind::ShowParameters: return "ShowParameters";
    case Action::Kind::ShowTerminalBarCode: return "ShowTerminalBarCode";
    case Action::Kind::SetCurrentTerminal: return "SetCurrentTerminal";
    case Action::Kind::SetTermAddr: return "SetTermAddr";
    case Action::Kind::SetConnectionBarCode: return "SetConnectionBarCode";
    case Action::Kind::MarkOnline: return "MarkOnline";
    case Action::Kind::NetLog: return "NetLog";
    case Action::Kind::SetHandshaken: return "SetHandshaken";
    case Action::Kind::ShowUpload: return "ShowUpload";
    case Action::Kind::Reply: return "Reply";
    case Action::Kind::SendPendingFrame: return "SendPendingFrame";
    case Action::Kind::ClearPendingSetting: return "ClearPendingSetting";
    case Action::Kind::RenameCurrentTerminal: return "RenameCurrentTerminal";
    }
    return "?";
}

std::vector<Action> HandleBlock(Channel channel, ByteView block, const ConsoleState& state,
                                const LocalTime& now) {
    return Handling(channel, block, state, now).run();
}

}  // namespace ht6630::dialogue
