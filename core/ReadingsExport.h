#pragma once
// Writes stored readings to a CSV file, whole or not at all (the file appears
// only once every line is written). Blocking: call it off the UI thread.
#include <QString>
#include <QStringList>

namespace core {

struct ExportResult {
    bool ok = false;
    qint64 readings = 0;
    QString error;     // why it failed, when !ok
};

// Bar codes empty: every terminal; from/to: ISO 8601 local times, empty = unbounded.
// excel: a UTF-8 byte-order mark first, so spreadsheet programs read the file as UTF-8.
ExportResult ExportCsvFile(const QString& databasePath, const QStringList& barCodes, const QString& from,
                           const QString& to, const QString& filePath, bool excel);

}  // namespace core
