#include "core/RequestTexts.h"

#include <cmath>

#include "protocol/NumberEntry.h"

namespace core {

using ht6630::Op;

RequestTexts TextsFor(Op op, ht6630::dialogue::Channel channel) {
    const bool udp = channel == ht6630::dialogue::Channel::Udp;
    auto t = [](const char* what) {
        return RequestTexts{QStringLiteral("提示信息:准备") + QString::fromUtf8(what) + QStringLiteral("。。。"),
                            QStringLiteral("提示信息:正在") + QString::fromUtf8(what) + QStringLiteral("。。。")};
    };
    switch (op) {
    case Op::ReadBarCode: return t("读取条形码");
    case Op::SetBarCode: return t("设置条形码");
    case Op::ReadIp: return t("读取Velmar内部IP和端口");
    case Op::SetIp: return t("设置Velmar内部IP和端口");
    case Op::ReadSpareIp: return t("读取备用IP和端口");
    case Op::SetSpareIp: return t("设置备用IP和端口");
    case Op::ReadLive: return t("读取实时温度湿度");
    case Op::ReadAll:
        return {QStringLiteral("提示信息:准备读取室温采集终端配置参数。。。"),
                QStringLiteral("提示信息:正在读取读取室温采集终端配置参数。。。")};
    case Op::SetAcquisition: return t("设置采集数据时间间隔");
    case Op::SetUpload: return udp ? t("配置上传数据时间间隔") : t("设置上传数据时间间隔");
    case Op::SetCommType: return t("设置通讯类型");
    case Op::SetHeartbeat: return t("设置心跳包时间间隔");
    case Op::SetSilence: return t("配置静默参数");
    case Op::SetSleep: return t("设置是否休眠");
    case Op::SetClock: return t("设置实时日期与时间");
    }
    return {};
}

std::optional<double> NumericValue(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const std::string_view view(utf8.constData(), static_cast<size_t>(utf8.size()));
    if (!ht6630::IsNumeric(view)) return std::nullopt;
    return ht6630::ValueOf(view);
}

std::optional<qint32> RoundToInt32(double v) {
    const double r = std::nearbyint(v);   // default rounding: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
    return static_cast<qint32>(r);
}

}  // namespace core
