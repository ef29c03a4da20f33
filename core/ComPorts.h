#pragma once
// COM names of the settings dialog and the device paths they stand for.
//
// With HT6630_SERIAL_PORTS set (colon-separated paths), COMn is the nth path of
// that list and nothing else. Otherwise COMn is the nth serial device of the
// machine: USB and ACM adapters first, then on-board ports, in a stable order.
#include <QString>
#include <QStringList>

namespace core {

inline constexpr int kMaxComPorts = 16;

// The value of HT6630_SERIAL_PORTS split at ':'; positions are kept (an empty
// entry binds its COM name to no device). At most kMaxComPorts paths.
QStringList ParseSerialPortsList(const QString& value);

// Orders the machine's serial devices: ttyUSB/ttyACM adapters first, then the
// others; within each group by base name, then by the number at the end of the name.
QStringList OrderSerialDevices(QStringList devicePaths);

// Which device each COM name stands for, read on first use and kept.
class ComPortBinding {
public:
    // Re-reads the binding (environment or the machine's devices) and keeps it.
    void refresh();
    // The kept binding: index 0 is COM1.
    QStringList paths();
    // The device path of COMn, empty when COMn stands for nothing.
    QString devicePath(int number);

private:
    QStringList paths_;
    bool read_ = false;
};

// The number of a COM name as the dialog reads it: characters 4 and 5 read as a
// number ("COM1" -> 1, "COM12" -> 12, "" -> 0, "COMx" -> 0).
int ComNumberOfText(const QString& comText);

// The port settings string: baud, parity letter, data bits, stop bits ("2400,E,8,1").
QString PortSettingsString(const QString& baud, const QString& parityLetter,
                           const QString& dataBits, const QString& stopBits);

}  // namespace core
