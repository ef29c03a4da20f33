#include "CommandLog.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace service {

namespace {
// Far past any request's expires_s: an id this old cannot come back from a kept copy.
constexpr qint64 kForgetAfterMs = qint64(400) * 24 * 3600 * 1000;
}  // namespace

CommandLog::CommandLog(const QString& path, ServiceLog& log) : log_(log) {
    const QString name = QStringLiteral("ht6630-command-log-%1").arg(quintptr(this), 0, 16);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        // The store's writer holds the file's write lock for a batch at a time.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        QSqlQuery q(db);
        const bool ok = db.open() &&
                        q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS command_done (terminal TEXT NOT NULL, id TEXT NOT NULL, "
                                              "state TEXT NOT NULL, at INTEGER NOT NULL, PRIMARY KEY (terminal, id))")) &&
                        q.exec(QStringLiteral("DELETE FROM command_done WHERE at < %1")
                                   .arg(QDateTime::currentMSecsSinceEpoch() - kForgetAfterMs)) &&
                        q.exec(QStringLiteral("SELECT terminal, id FROM command_done"));
        if (ok) {
            while (q.next()) done_.insert(key(q.value(0).toString(), q.value(1).toString()));
            connection_ = name;
        } else {
            log_.warning(QStringLiteral("cmd: requests sent are remembered in memory only (%1: %2)")
                             .arg(path, q.lastError().isValid() ? q.lastError().text() : db.lastError().text()));
        }
    }
    if (connection_.isEmpty()) QSqlDatabase::removeDatabase(name);
}

CommandLog::~CommandLog() {
    if (connection_.isEmpty()) return;
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

bool CommandLog::remember(const QString& barCode, const QString& id, const QString& state) {
    if (done_.contains(key(barCode, id))) return true;
    done_.insert(key(barCode, id));
    if (connection_.isEmpty()) return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO command_done (terminal, id, state, at) VALUES (?, ?, ?, ?)"));
    q.addBindValue(barCode);
    q.addBindValue(id);
    q.addBindValue(state);
    q.addBindValue(QDateTime::currentMSecsSinceEpoch());
    if (q.exec()) return true;
    log_.warning(QStringLiteral("cmd: %1 for %2 not written to the readings file: %3").arg(id, barCode, q.lastError().text()));
    return false;
}

}  // namespace service
