#include "server/RequestTexts.h"

#include <cmath>

namespace server {

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
    const QString s = text.trimmed();
    if (s.isEmpty()) return std::nullopt;
    int i = 0;
    const int n = s.size();
    if (s[i] == u'+' || s[i] == u'-') ++i;
    int digits = 0;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128) { ++i; ++digits; }
    if (i < n && s[i] == u'.') {
        ++i;
        while (i < n && s[i].isDigit() && s[i].unicode() < 128) { ++i; ++digits; }
    }
    if (digits == 0) return std::nullopt;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
        int e = 0;
        while (i < n && s[i].isDigit() && s[i].unicode() < 128) { ++i; ++e; }
        if (e == 0) return std::nullopt;
    }
    if (i != n) return std::nullopt;
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<qint32> RoundToInt32(double v) {
    const double r = std::nearbyint(v);   // default rounding: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
    return static_cast<qint32>(r);
}

double LeadingValue(const QString& text) {
    // Blanks, tabs and line feeds are skipped wherever they stand.
    QString s;
    for (QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n') s.append(c);
    auto digit = [&s](int i) { return i < s.size() && s[i].unicode() >= '0' && s[i].unicode() <= '9'; };
    int i = 0;
    const int n = s.size();
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
    int digits = 0;
    while (digit(i)) { ++i; ++digits; }
    if (i < n && s[i] == u'.') {
        ++i;
        while (digit(i)) { ++i; ++digits; }
    }
    if (digits == 0) return 0.0;
    QString number = s.left(i);
    // An exponent (E or D) counts when digits follow it.
    if (i < n && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        int j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-')) ++j;
        const int first = j;
        while (digit(j)) ++j;
        if (j > first) number += u'e' + s.mid(i + 1, j - i - 1);
    }
    bool ok = false;
    const double v = number.toDouble(&ok);
    if (ok) return v;
    // Out of range: too small a magnitude reads as 0, too large as an endless one.
    if (number.contains(u"e-")) return 0.0;
    return number.startsWith(u'-') ? -HUGE_VAL : HUGE_VAL;
}

}  // namespace server
