#include "core/Database.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace core {

QString ConnectionString(const QString& programFolder) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=") +
           QDir::toNativeSeparators(programFolder) + QStringLiteral("\\Data\\data.mdb");
}

QString DatabaseFile(const QString& programFolder) {
    // "<folder>\Data\data.mdb" of the connection string, with this system's separators.
    QString source = ConnectionString(programFolder);
    source = source.mid(source.indexOf(QStringLiteral("Data Source=")) + 12);
    return QDir::cleanPath(QDir::fromNativeSeparators(source.replace(QLatin1Char('\\'), QLatin1Char('/'))));
}

DbOpenResult OpenDbConn(const QString& programFolder) {
    DbOpenResult r;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("DbConn"));
    // mode=rw: a missing file is an error, not a new empty database.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    const QByteArray encoded = QUrl::toPercentEncoding(DatabaseFile(programFolder), "/");
    db.setDatabaseName(QStringLiteral("file:") + QString::fromUtf8(encoded) + QStringLiteral("?mode=rw"));
    if (!db.open()) {
        r.number = db.lastError().nativeErrorCode();
        r.description = db.lastError().databaseText();
        return r;
    }
    // SQLite reads the file only when first asked: ask now, so that a file that
    // is not a database fails here rather than later in a console.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
        r.number = probe.lastError().nativeErrorCode();
        r.description = probe.lastError().databaseText();
        db.close();
        return r;
    }
    r.ok = true;
    return r;
}

QSqlDatabase DbConn() { return QSqlDatabase::database(QStringLiteral("DbConn"), false); }

}  // namespace core
