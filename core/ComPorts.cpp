#include "core/ComPorts.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QtGlobal>
#include <algorithm>
#include <tuple>

#include "protocol/NumberEntry.h"

namespace core {
namespace {

// (group, base name, trailing number, whole path) for a stable natural order.
std::tuple<int, QString, qlonglong, QString> SortKey(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    static const QRegularExpression tail(QStringLiteral("^(.*?)(\\d+)$"));
    QString base = name;
    qlonglong number = -1;
    const QRegularExpressionMatch m = tail.match(name);
    if (m.hasMatch()) {
        base = m.captured(1);
        number = m.captured(2).toLongLong();
    }
    const bool adapter = name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
    return {adapter ? 0 : 1, base, number, path};
}

}  // namespace

QStringList ParseSerialPortsList(const QString& value) {
    QStringList paths = value.split(QLatin1Char(':'));
    if (paths.size() > kMaxComPorts) paths = paths.mid(0, kMaxComPorts);
    return paths;
}

QStringList OrderSerialDevices(QStringList devicePaths) {
    devicePaths.removeDuplicates();
    std::sort(devicePaths.begin(), devicePaths.end(),
              [](const QString& a, const QString& b) { return SortKey(a) < SortKey(b); });
    if (devicePaths.size() > kMaxComPorts) devicePaths = devicePaths.mid(0, kMaxComPorts);
    return devicePaths;
}

void ComPortBinding::refresh() {
    const QByteArray env = qgetenv("HT6630_SERIAL_PORTS");
    QStringList binding;
    if (!env.isEmpty()) {
        binding = ParseSerialPortsList(QString::fromLocal8Bit(env));
    } else {
        QStringList devices;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            devices << info.systemLocation();
        binding = OrderSerialDevices(devices);
    }
    paths_ = binding;
    read_ = true;
}

QStringList ComPortBinding::paths() {
    if (!read_) refresh();
    return paths_;
}

QString ComPortBinding::devicePath(int number) {
    const QStringList binding = paths();
    if (number < 1 || number > binding.size()) return {};
    return binding.at(number - 1);
}

int ComNumberOfText(const QString& comText) {
    const QByteArray digits = comText.mid(3, 2).toUtf8();
    const double v = ht6630::ValueOf(std::string_view(digits.constData(), digits.size()));
    if (!(v >= 0 && v < 1000)) return 0;
    return static_cast<int>(ht6630::RoundHalfEven(v));
}

QString PortSettingsString(const QString& baud, const QString& parityLetter, const QString& dataBits,
                           const QString& stopBits) {
    return baud + QLatin1Char(',') + parityLetter + QLatin1Char(',') + dataBits + QLatin1Char(',') + stopBits;
}

}  // namespace core
