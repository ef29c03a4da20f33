#include "protocol/SerialJudge.h"

#include <array>

#include "protocol/Catalogue.h"
#include "protocol/Frame.h"
#include "protocol/Responses.h"

namespace ht6630 {
namespace {

constexpr std::string_view kPrefix = "提示信息:";

enum class Test { FunctionCode, Length };

struct Row {
    std::string_view opName;
    Op op;
    Test test;
    int value;                  // function code or length the test wants
    std::string_view success;   // empty: composed from OpName
    std::string_view failure;
};

// The dispatch table. Rows with empty texts compose "提示信息:" + OpName + "成功！" /
// "失败，功能码错误！".
constexpr std::array<Row, 15> kRows{{
    {"设置条形码", Op::SetBarCode, Test::FunctionCode, 0x73, "提示信息:设置条形码成功！",
     "提示信息:设置条形码失败，功能码错误！"},
    {"读取条形码", Op::ReadBarCode, Test::FunctionCode, 0x74, "提示信息:读取条形码成功！",
     "提示信息:读取条形码失败，功能码错误！"},
    {"设置IP和端口", Op::SetIp, Test::FunctionCode, 0x75, "提示信息:设置Velmar内部IP和端口成功！",
     "提示信息:设置Velmar内部IP和端口失败，功能码错误！"},
    {"读取IP和端口", Op::ReadIp, Test::FunctionCode, 0x76, "提示信息:读取Velmar内部IP和端口成功！",
     "提示信息:读取Velmar内部IP和端口失败，功能码错误！"},
    {"设置备用IP和端口", Op::SetSpareIp, Test::FunctionCode, 0x77, "提示信息:设置备用IP和端口成功！",
     "提示信息:设置备用IP和端口失败，功能码错误！"},
    {"读取备用IP和端口", Op::ReadSpareIp, Test::FunctionCode, 0x78, "提示信息:读取备用IP和端口成功！",
     "提示信息:读取备用IP和端口失败，功能码错误！"},
    {"读取实时温度湿度", Op::ReadLive, Test::Length, 21, "提示信息:读取实时温度湿度成功！",
     "提示信息:读取实时温度湿度失败！"},
    {"读取室温采集终端配置参数", Op::ReadAll, Test::Length, 36, "提示信息:读取采集终端参数配置成功！",
     "提示信息:读取采集终端参数配置失败！"},
    {"配置静默参数", Op::SetSilence, Test::FunctionCode, 0x7A, {}, {}},
    {"设置采集数据时间间隔", Op::SetAcquisition, Test::FunctionCode, 0x7A, {}, {}},
    {"设置心跳包时间间隔", Op::SetHeartbeat, Test::FunctionCode, 0x7A, {}, {}},
    {"设置上传数据时间间隔", Op::SetUpload, Test::FunctionCode, 0x7A, {}, {}},
    {"设置通讯类型", Op::SetCommType, Test::FunctionCode, 0x7A, {}, {}},
    {"设置实时日期与时间", Op::SetClock, Test::FunctionCode, 0x7A, {}, {}},
    {"设置是否休眠", Op::SetSleep, Test::FunctionCode, 0x7A, {}, {}},
}};

std::string Compose(const Row& row, bool success) {
    std::string_view fixed = success ? row.success : row.failure;
    if (!fixed.empty()) return std::string(fixed);
    std::string text(kPrefix);
    text += row.opName;
    text += success ? "成功！" : "失败，功能码错误！";
    return text;
}

}  // namespace

bool SerialCrcIsCorrect(ByteView block) {
    const std::size_t n = block.size();
    if (n < 3) return false;
    const unsigned crc = Crc16Modbus(block.first(n - 3));
    const unsigned held = static_cast<unsigned>(block[n - 2]) * 256u + block[n - 3];
    return crc == held;
}

SerialJudgement JudgeSerialBlock(ByteView block, std::string_view opName, int expectLen) {
    SerialJudgement out;
    const std::size_t n = block.size();
    const bool lengthMatches = expectLen >= 0 && n == static_cast<std::size_t>(expectLen);

    // A block of fewer than two bytes has no start bytes to test: it fails as
    // "通讯失败" below, without reading past its end.
    if (n >= 2 && block[0] == kRequestStart1 && block[1] == kRequestStart2 && lengthMatches &&
        !SerialCrcIsCorrect(block)) {
        out.status = "提示信息:握手失败，CRC校验错误！";
        return out;
    }
    if (!(n >= 2 && block[0] == kReplyStart1 && block[1] == kReplyStart2 && lengthMatches)) {
        out.status = "提示信息:通讯失败！";
        return out;
    }
    if (!SerialCrcIsCorrect(block)) {
        out.status = "提示信息:通讯失败，CRC校验错误！";
        return out;
    }
    // From here n >= 3, so B(2) exists.
    const Row* row = nullptr;
    for (const Row& r : kRows)
        if (r.opName == opName) row = &r;
    if (row == nullptr) return out;   // an operation the table does not know: nothing said

    const bool passed = row->test == Test::FunctionCode ? block[2] == row->value
                                                        : n == static_cast<std::size_t>(row->value);
    if (!passed) {
        out.status = Compose(*row, false);
        return out;
    }
    // A block whose function code (or length) passes but which is shorter than the
    // bytes its decoding reads (possible only when ExpectLen belongs to another
    // request) is reported with the row's failure text and changes no field.
    std::optional<FieldValues> fields = DecodeResponseFields(row->op, block);
    if (!fields) {
        out.status = Compose(*row, false);
        return out;
    }
    out.fields = std::move(*fields);
    out.status = Compose(*row, true);
    return out;
}

}  // namespace ht6630
