#include "ui/LogLines.h"

#include <QTime>

#include "core/LogFiles.h"
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


void LogToFiles(LogTextBox* box, core::LogFiles& files, const QString& name) {
    if (!box) return;
    core::LogFiles* f = &files;
    box->setSink([f, name](std::string_view piece) {
        f->append(name, QByteArray(piece.data(), qsizetype(piece.size())));
    });
}
