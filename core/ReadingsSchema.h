#pragma once
// The readings database's layout and its migrations. The version lives in
// PRAGMA user_version; each step brings the file one version further.
#include <QSqlDatabase>
#include <QString>

namespace core {

// Raised only for changes readers see: they refuse any other version. Tables
// only writers use (the publish log, ReadingsPublishLog.h) are made on demand and
// leave it alone, so older readers keep reading the file.
constexpr int kReadingsSchemaVersion = 1;

// Brings an open database to kReadingsSchemaVersion, each step in a transaction
// of its own. A file from a newer program is refused, not changed.
bool MigrateReadingsDb(QSqlDatabase& db, QString* error);

// The file's user_version; -1 when it cannot be read.
int ReadingsDbVersion(QSqlDatabase& db, QString* error);

}  // namespace core
