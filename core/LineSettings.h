#pragma once
// The line settings of the settings dialog turned into what the serial port takes.
#include <QSerialPort>
#include <QString>
#include <optional>

namespace core {

struct LineSettings {
    qint32 baud = 2400;
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Baud: a positive whole number. Parity letter: N, O, E, S or M (first character of
// the parity text). Data bits: a number 5..8 ("8", " 7"). Stop bits: "1", "1.5", "2".
// Anything else cannot be applied: nullopt.
std::optional<LineSettings> ParseLineSettings(const QString& baud, const QString& parityLetter,
                                              const QString& dataBits, const QString& stopBits);

// Reconfigures and opens the port: closes it if open, binds it to the device
// `path` (a COM name's device; empty: none), sets the line settings while it is closed (a pseudo-terminal refuses
// them once open) and opens it. False when any step fails; the port is then closed.
bool ApplyPortSettings(QSerialPort* port, const QString& path, const QString& baud, const QString& parityLetter,
                       const QString& dataBits, const QString& stopBits);

}  // namespace core
