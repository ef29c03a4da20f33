#pragma once
// The log routines every console window uses.
#include <QByteArray>
#include <QString>

class TrafficLogPanel;
class LogTextBox;
namespace core { class LogFiles; }


// Appends one traffic line for `bytes` to the panel, following its show/auto-clear
// boxes; `sent` selects "TX: " (and hides a wake-up preamble) or "RX: ".
void ShowBaoWen(const QByteArray& bytes, TrafficLogPanel* panel, bool sent);

// Appends "message     hh:mm:ss\r\n" to the network log window's text box.
void WriteNetLog(const QString& message, LogTextBox* box);


// Every line the box shows also goes to the log file `name` of the day. The
// files must outlive the box.
void LogToFiles(LogTextBox* box, core::LogFiles& files, const QString& name);
