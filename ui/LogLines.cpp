#include "ui/LogLines.h"

#include <QTime>

#include "ui/LogTextBox.h"
#include "ui/TrafficLogPanel.h"


void ShowBaoWen(const QByteArray& bytes, TrafficLogPanel* panel, bool sent) {
    if (panel) panel->append(bytes, sent);
}

void WriteNetLog(const QString& message, LogTextBox* box) {
    if (!box) return;
    box->appendText(message + QStringLiteral("     ") +
                    QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("\r\n"));
}

