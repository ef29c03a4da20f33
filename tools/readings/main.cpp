// ht6630-readings: lists the terminals and exports the readings the console has
// stored, without changing the database. See --help.
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

#include "Arguments.h"
#include "core/ReadingsFormats.h"
#include "core/ReadingsQuery.h"

namespace {

constexpr int kBadInput = 2;

int Fail(const QString& message) {
    std::fprintf(stderr, "ht6630-readings: %s\n", message.toLocal8Bit().constData());
    return kBadInput;
}

// Standard output in large blocks: an export may have millions of lines.
class Out {
public:
    ~Out() { flush(); }
    void write(const QByteArray& bytes) {
        buffer_ += bytes;
        if (buffer_.size() >= 1 << 16) flush();
    }
    void flush() {
        if (!buffer_.isEmpty()) std::fwrite(buffer_.constData(), 1, std::size_t(buffer_.size()), stdout);
        buffer_.clear();
        std::fflush(stdout);
    }

private:
    QByteArray buffer_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ht6630-readings"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HT6630_VERSION));

    readings::Arguments a;
    QString error;
    if (!readings::ParseArguments(app.arguments().mid(1), a, error)) {
        Fail(error);
        std::fputs("Try 'ht6630-readings --help'.\n", stderr);
        return kBadInput;
    }
    if (a.command == readings::Arguments::Command::Help) {
        std::fputs(readings::kUsage, stdout);
        return 0;
    }
    if (a.command == readings::Arguments::Command::Version) {
        std::printf("ht6630-readings %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    const QString db =
        a.db.isEmpty() ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Data/readings.db")) : a.db;
    core::ReadingsQuery query(db);
    if (!query.isOpen()) return Fail(query.error());

    Out out;
    if (a.command == readings::Arguments::Command::Terminals) {
        const auto terminals = query.terminals();
        if (!terminals) return Fail(query.error());
        out.write(a.json ? core::TerminalsJson(*terminals) : core::TerminalsTable(*terminals));
        return 0;
    }

    if (a.json) {
        bool first = true;
        out.write("[");
        const bool ok = query.readings(a.barCodes, a.from, a.to, [&](const core::StoredReading& r) {
            out.write((first ? "\n" : ",\n") + core::JsonReading(r));
            first = false;
            return true;
        });
        if (!ok) return Fail(query.error());
        out.write("\n]\n");
        return 0;
    }
    if (a.excel) out.write("\xEF\xBB\xBF");
    out.write(core::kCsvHeader);
    if (!query.readings(a.barCodes, a.from, a.to, [&](const core::StoredReading& r) {
            out.write(core::CsvLine(r));
            return true;
        }))
        return Fail(query.error());
    return 0;
}
