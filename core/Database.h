#pragma once
// The application database DbConn: Data/data.mdb beside the program.
#include <QSqlDatabase>
#include <QString>

namespace core {

// The connection string the program is built around. The file it names is
// opened with SQLite through QtSql; the provider part has no engine behind it.
QString ConnectionString(const QString& programFolder);
// The database file named by the connection string.
QString DatabaseFile(const QString& programFolder);

struct DbOpenResult {
    bool ok = false;
    QString number;        // the error's number (the engine's native code)
    QString description;   // the error's description
};

// Opens DbConn on an existing, readable database file; never creates the file.
DbOpenResult OpenDbConn(const QString& programFolder);

// The application database opened at start-up (connection name "DbConn").
QSqlDatabase DbConn();

}  // namespace core
