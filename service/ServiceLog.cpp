#include "ServiceLog.h"

#include <unistd.h>

namespace service {

QByteArray ServiceLog::Line(LogLevel level, const QString& text) {
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return '<' + QByteArray::number(static_cast<int>(level)) + '>' + flat.toUtf8() + '\n';
}

void ServiceLog::write(LogLevel level, const QString& text) const {
    if (static_cast<int>(level) > static_cast<int>(level_)) return;
    // One write per line: lines of concurrent writers never interleave.
    const QByteArray line = Line(level, text);
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + done, static_cast<size_t>(line.size() - done));
        if (n <= 0) return;
        done += n;
    }
}

}  // namespace service
