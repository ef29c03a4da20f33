#include "Arguments.h"

#include <QDate>
#include <QDateTime>

namespace readings {

const char kUsage[] =
    "Usage: ht6630-readings [--db PATH] terminals [--json]\n"
    "       ht6630-readings [--db PATH] export [--barcode CODE]... [--from TIME] [--to TIME]\n"
    "                                          [--csv|--json] [--excel]\n"
    "\n"
    "Reads the readings database the console writes (read-only).\n"
    "\n"
    "  --db PATH        the database (default: Data/readings.db beside this program)\n"
    "  terminals        one line per terminal ever seen; --json: one JSON array\n"
    "  export           the stored readings in (barcode, time) order, CSV by default\n"
    "  --barcode CODE   only this terminal (repeat for more)\n"
    "  --from TIME      from this time on (2024-05-17, 2024-05-17T08:30, 2024-05-17 08:30:00)\n"
    "  --to TIME        up to this time, inclusive (a bare date: to its end)\n"
    "  --csv | --json   output format (CSV per RFC 4180, UTF-8)\n"
    "  --excel          CSV with a UTF-8 byte-order mark, as Excel wants it\n"
    "  --help, --version\n"
    "\n"
    "Exit codes: 0 done, 2 bad arguments or a database that cannot be read.\n";

QString NormalizeTime(const QString& text, bool upperBound) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(' '), QLatin1Char('T'));
    if (t.size() == 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (!d.isValid()) return {};
        return d.toString(Qt::ISODate) + (upperBound ? QStringLiteral("T23:59:59") : QStringLiteral("T00:00:00"));
    }
    for (const char* format : {"yyyy-MM-dd'T'HH:mm:ss", "yyyy-MM-dd'T'HH:mm"}) {
        const QDateTime dt = QDateTime::fromString(t, QString::fromLatin1(format));
        if (dt.isValid()) {
            const bool minutes = t.size() == 16;
            return dt.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm")) +
                   (minutes ? (upperBound ? QStringLiteral(":59") : QStringLiteral(":00"))
                            : dt.toString(QStringLiteral(":ss")));
        }
    }
    return {};
}

bool ParseArguments(const QStringList& args, Arguments& out, QString& error) {
    bool csv = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString inlineValue;
        bool hasInline = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            inlineValue = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
            hasInline = true;
        }
        const auto value = [&](QString& into) {
            if (hasInline) {
                into = inlineValue;
            } else if (i + 1 < args.size()) {
                into = args[++i];
            } else {
                error = arg + QStringLiteral(" needs a value");
                return false;
            }
            if (into.isEmpty()) {
                error = arg + QStringLiteral(" needs a value");
                return false;
            }
            return true;
        };
        const auto command = [&](Arguments::Command c) {
            if (out.command != Arguments::Command::None && out.command != Arguments::Command::Help &&
                out.command != Arguments::Command::Version) {
                error = QStringLiteral("more than one command: ") + arg;
                return false;
            }
            if (out.command == Arguments::Command::None) out.command = c;
            return true;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out.command = Arguments::Command::Help;
            return true;
        } else if (arg == QLatin1String("--version")) {
            out.command = Arguments::Command::Version;
            return true;
        } else if (arg == QLatin1String("--db")) {
            if (!value(out.db)) return false;
        } else if (arg == QLatin1String("terminals")) {
            if (!command(Arguments::Command::Terminals)) return false;
        } else if (arg == QLatin1String("export")) {
            if (!command(Arguments::Command::Export)) return false;
        } else if (arg == QLatin1String("--json")) {
            out.json = true;
        } else if (arg == QLatin1String("--csv")) {
            csv = true;
        } else if (arg == QLatin1String("--excel")) {
            out.excel = true;
        } else if (arg == QLatin1String("--barcode")) {
            QString code;
            if (!value(code)) return false;
            out.barCodes.append(code);
        } else if (arg == QLatin1String("--from") || arg == QLatin1String("--to")) {
            QString text;
            if (!value(text)) return false;
            const bool upper = arg == QLatin1String("--to");
            const QString t = NormalizeTime(text, upper);
            if (t.isEmpty()) {
                error = QStringLiteral("not a time: ") + text + QStringLiteral(" (e.g. 2024-05-17T08:30:00)");
                return false;
            }
            (upper ? out.to : out.from) = t;
        } else {
            error = QStringLiteral("unknown argument: ") + args[i];
            return false;
        }
    }
    if (out.command == Arguments::Command::None) {
        error = QStringLiteral("no command (terminals or export)");
        return false;
    }
    if (csv && out.json) {
        error = QStringLiteral("--csv and --json exclude each other");
        return false;
    }
    if (out.excel && out.json) {
        error = QStringLiteral("--excel applies to CSV only");
        return false;
    }
    if (out.command == Arguments::Command::Terminals &&
        (csv || out.excel || !out.barCodes.isEmpty() || !out.from.isEmpty() || !out.to.isEmpty())) {
        error = QStringLiteral("terminals takes only --json");
        return false;
    }
    if (!out.from.isEmpty() && !out.to.isEmpty() && out.from > out.to) {
        error = QStringLiteral("--from is after --to");
        return false;
    }
    return true;
}

}  // namespace readings
