#include "core/LineSettings.h"

#include "protocol/NumberEntry.h"
#include "core/ComPorts.h"

namespace core {

std::optional<LineSettings> ParseLineSettings(const QString& baud, const QString& parityLetter,
                                              const QString& dataBits, const QString& stopBits) {
    LineSettings s;
    bool ok = false;
    const qlonglong b = baud.trimmed().toLongLong(&ok);
    if (!ok || b <= 0 || b > 0x7fffffff) return std::nullopt;
    s.baud = static_cast<qint32>(b);

    const QString p = parityLetter.left(1).toUpper();
    if (p == QLatin1String("N")) s.parity = QSerialPort::NoParity;
    else if (p == QLatin1String("O")) s.parity = QSerialPort::OddParity;
    else if (p == QLatin1String("E")) s.parity = QSerialPort::EvenParity;
    else if (p == QLatin1String("S")) s.parity = QSerialPort::SpaceParity;
    else if (p == QLatin1String("M")) s.parity = QSerialPort::MarkParity;
    else return std::nullopt;

    const QByteArray d = dataBits.toUtf8();
    const std::string_view dv(d.constData(), d.size());
    if (!ht6630::IsNumeric(dv)) return std::nullopt;
    const double bits = ht6630::RoundHalfEven(ht6630::ValueOf(dv));
    if (bits == 5) s.dataBits = QSerialPort::Data5;
    else if (bits == 6) s.dataBits = QSerialPort::Data6;
    else if (bits == 7) s.dataBits = QSerialPort::Data7;
    else if (bits == 8) s.dataBits = QSerialPort::Data8;
    else return std::nullopt;

    const QString st = stopBits.trimmed();
    if (st == QLatin1String("1")) s.stopBits = QSerialPort::OneStop;
    else if (st == QLatin1String("1.5")) s.stopBits = QSerialPort::OneAndHalfStop;
    else if (st == QLatin1String("2")) s.stopBits = QSerialPort::TwoStop;
    else return std::nullopt;
    return s;
}

bool ApplyPortSettings(QSerialPort* port, const QString& path, const QString& baud, const QString& parityLetter,
                       const QString& dataBits, const QString& stopBits) {
    if (port == nullptr) return false;
    if (port->isOpen()) port->close();
    if (path.isEmpty()) return false;
    const std::optional<LineSettings> s = ParseLineSettings(baud, parityLetter, dataBits, stopBits);
    if (!s) return false;
    port->setPortName(path);
    if (!port->setBaudRate(s->baud) || !port->setParity(s->parity) || !port->setDataBits(s->dataBits) ||
        !port->setStopBits(s->stopBits))
        return false;
    if (!port->open(QIODevice::ReadWrite)) return false;
    return true;
}

}  // namespace core
