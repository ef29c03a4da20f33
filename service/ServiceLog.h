#pragma once
// One line per event on standard error, each starting with the syslog priority
// in angle brackets ("<6>" info, "<4>" warning, "<3>" error, "<7>" debug): journald
// files the line under that priority, and a terminal shows it readably.
#include <QString>

#include "ServiceConfig.h"

namespace service {

class ServiceLog {
public:
    void setLevel(LogLevel level) { level_ = level; }
    LogLevel level() const { return level_; }

    void debug(const QString& text) const { write(LogLevel::Debug, text); }
    void info(const QString& text) const { write(LogLevel::Info, text); }
    void warning(const QString& text) const { write(LogLevel::Warning, text); }
    void error(const QString& text) const { write(LogLevel::Error, text); }

    // "<N>text\n"; line breaks inside the text become spaces, so one event stays one line.
    static QByteArray Line(LogLevel level, const QString& text);

private:
    void write(LogLevel level, const QString& text) const;

    LogLevel level_ = LogLevel::Info;
};

}  // namespace service
