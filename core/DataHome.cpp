#include "core/DataHome.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

namespace core {

QString DataHome(const QString& programFolder) {
    const QFileInfo data(QDir(programFolder).filePath(QStringLiteral("Data")));
    if (data.exists() ? data.isWritable() : QFileInfo(programFolder).isWritable()) return programFolder;
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(user.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : user)
        .filePath(QStringLiteral("ht6630-console"));
}

bool EnsureDataMdb(const QString& home, QString* error) {
    const QString path = QDir(home).filePath(QStringLiteral("Data/data.mdb"));
    if (QFileInfo::exists(path)) return true;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("无法建立文件夹 ") + QFileInfo(path).absolutePath();
        return false;
    }
    const QString name = QStringLiteral("data-mdb-create");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            *error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("create table if not exists TempData (ID integer primary key, BarCode text, "
                                       "Temperature real, Humidity real, RecordTime text)"));
            if (!ok) *error = q.lastError().text();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

}  // namespace core
