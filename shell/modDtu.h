#pragma once
// State shared by the windows and the frame handlers. Everything runs on the UI
// thread; these have no locks.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QSerialPort;
class QSqlDatabase;
class TrafficLogPanel;
class LogTextBox;

namespace modDtu {

extern QByteArray RecvBuf;      // bytes of the frame or response now being handled
extern qint16 RecvLen;          // number of valid bytes in RecvBuf
extern QString OpName;          // operation a console has just requested
extern qint16 ExpectLen;        // length of the response that operation expects
extern QString ChannelName;     // "Infrared" once the serial console has been opened
extern QString LocalIp;         // address a data-centre console serves on
extern qint32 LocalPort;        // port a data-centre console serves on
extern QString CurrentId;       // bar code chosen in the TCP console's online list
extern bool PortOpened;         // the operator's switch in the settings dialog

// The application database, opened at start-up (connection name "DbConn").
QSqlDatabase DbConn();

// The main window's one serial port (MSComm1's role).
QSerialPort* MSComm1();
void SetMSComm1(QSerialPort* port);

// Appends one traffic line for `bytes` to the panel, following its show/auto-clear
// boxes; `sent` selects "TX: " (and hides a wake-up preamble) or "RX: ".
void ShowBaoWen(const QByteArray& bytes, TrafficLogPanel* panel, bool sent);

// Appends "message     hh:mm:ss\r\n" to the network log window's text box.
void WriteNetLog(const QString& message, LogTextBox* box);

}  // namespace modDtu
