#include "core/ReadingsSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace core {

namespace {

bool Exec(QSqlQuery& q, const QString& sql, QString* error) {
    if (q.exec(sql)) return true;
    *error = q.lastError().text();
    return false;
}

// 0 -> 1: the tables. Readings and heat records are keyed by what identifies a
// measurement, so a record uploaded twice is stored once (INSERT OR IGNORE).
bool MigrateTo1(QSqlQuery& q, QString* error) {
    const QStringList statements = {
        QStringLiteral("CREATE TABLE readings("
                       "barcode TEXT NOT NULL, time TEXT NOT NULL, temperature_c REAL NOT NULL, "
                       "humidity_pct REAL NOT NULL, battery_v REAL, source TEXT NOT NULL, received TEXT NOT NULL, "
                       "PRIMARY KEY(barcode, time)) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE heat_readings("
                       "barcode TEXT NOT NULL, meter_address TEXT NOT NULL, meter_clock TEXT NOT NULL, "
                       "last_heat REAL, heat REAL, power REAL, flow REAL, total_flow REAL, "
                       "supply_c REAL, return_c REAL, working_hours REAL, flags INTEGER, "
                       "source TEXT NOT NULL, received TEXT NOT NULL, "
                       "PRIMARY KEY(barcode, meter_address, meter_clock)) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE live_readings("
                       "barcode TEXT NOT NULL, time TEXT NOT NULL, temperature_c REAL, humidity_pct REAL, "
                       "PRIMARY KEY(barcode, time)) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE events("
                       "id INTEGER PRIMARY KEY, barcode TEXT NOT NULL, kind TEXT NOT NULL, "
                       "channel TEXT NOT NULL, peer TEXT NOT NULL, time TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX events_by_barcode ON events(barcode, id)"),
        // One row per bar code ever seen, kept by the writer: the terminal list
        // needs no scan of the readings.
        QStringLiteral("CREATE TABLE terminals("
                       "barcode TEXT PRIMARY KEY, first_seen TEXT NOT NULL, last_seen TEXT NOT NULL) WITHOUT ROWID"),
    };
    for (const QString& s : statements)
        if (!Exec(q, s, error)) return false;
    return true;
}

using Step = bool (*)(QSqlQuery&, QString*);
constexpr Step kSteps[kReadingsSchemaVersion] = {MigrateTo1};

}  // namespace

int ReadingsDbVersion(QSqlDatabase& db, QString* error) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        *error = q.lastError().text();
        return -1;
    }
    return q.value(0).toInt();
}

bool MigrateReadingsDb(QSqlDatabase& db, QString* error) {
    int version = ReadingsDbVersion(db, error);
    if (version < 0) return false;
    if (version > kReadingsSchemaVersion) {
        *error = QStringLiteral("数据库版本 %1 高于本程序支持的版本 %2").arg(version).arg(kReadingsSchemaVersion);
        return false;
    }
    QSqlQuery q(db);
    for (; version < kReadingsSchemaVersion; ++version) {
        if (!db.transaction()) {
            *error = db.lastError().text();
            return false;
        }
        if (!kSteps[version](q, error) ||
            !Exec(q, QStringLiteral("PRAGMA user_version = %1").arg(version + 1), error)) {
            db.rollback();
            return false;
        }
        if (!db.commit()) {
            *error = db.lastError().text();
            db.rollback();
            return false;
        }
    }
    return true;
}

}  // namespace core
