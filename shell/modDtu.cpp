#include "shell/modDtu.h"

#include <QPointer>
#include <QSerialPort>
#include <QSqlDatabase>
#include <QTime>

#include "shell/LogTextBox.h"
#include "shell/TrafficLogPanel.h"

namespace modDtu {

QByteArray RecvBuf;
qint16 RecvLen = 0;
QString OpName;
qint16 ExpectLen = 0;
QString ChannelName;
QString LocalIp;
qint32 LocalPort = 0;
QString CurrentId;
bool PortOpened = false;

namespace {
QPointer<QSerialPort> gMSComm1;
}

QSqlDatabase DbConn() { return QSqlDatabase::database(QStringLiteral("DbConn"), false); }

QSerialPort* MSComm1() { return gMSComm1.data(); }
void SetMSComm1(QSerialPort* port) { gMSComm1 = port; }

void ShowBaoWen(const QByteArray& bytes, TrafficLogPanel* panel, bool sent) {
    if (panel) panel->append(bytes, sent);
}

void WriteNetLog(const QString& message, LogTextBox* box) {
    if (!box) return;
    box->appendText(message + QStringLiteral("     ") +
                    QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("\r\n"));
}

}  // namespace modDtu
