#pragma once
// The command line of ht6630-readings.
#include <QString>
#include <QStringList>

namespace readings {

struct Arguments {
    enum class Command { None, Help, Version, Terminals, Export };
    Command command = Command::None;
    QString db;                 // empty: Data/readings.db beside the program
    bool json = false;
    bool excel = false;         // CSV with a byte-order mark, for Excel
    QStringList barCodes;
    QString from, to;           // "yyyy-MM-ddTHH:mm:ss", inclusive; empty: open
};

// Fills `out`; on a bad command line returns false with the reason in `error`.
bool ParseArguments(const QStringList& args, Arguments& out, QString& error);

// A time as the user typed it ("2024-05-17", "2024-05-17 08:30", "2024-05-17T08:30:00")
// as stored text; a bare date starts the day (or ends it, for an upper bound).
// Empty when it is no valid time.
QString NormalizeTime(const QString& text, bool upperBound);

extern const char kUsage[];

}  // namespace readings
