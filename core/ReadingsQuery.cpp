#include "core/ReadingsQuery.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <algorithm>

#include "core/ReadingsSchema.h"

namespace core {

namespace {

QString ErrorText(const QSqlError& e) { return e.databaseText().isEmpty() ? e.text() : e.databaseText(); }

std::optional<double> OptionalDouble(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toDouble();
}

}  // namespace

ReadingsQuery::ReadingsQuery(const QString& path)
    : connectionName_(QStringLiteral("readings-query-%1").arg(quintptr(this), 0, 16)) {
    if (!QFileInfo(path).isFile()) {
        error_ = QStringLiteral("读数库不存在：") + path;
        return;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    // mode=ro: never create or change the file.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    const QByteArray encoded = QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/");
    db.setDatabaseName(QStringLiteral("file:") + QString::fromUtf8(encoded) + QStringLiteral("?mode=ro"));
    if (!db.open()) {
        fail(QStringLiteral("无法打开读数库 ") + path + QStringLiteral("：") + ErrorText(db.lastError()));
        return;
    }
    QString error;
    const int version = ReadingsDbVersion(db, &error);
    if (version < 0) {
        fail(QStringLiteral("无法读取读数库 ") + path + QStringLiteral("：") + error);
        return;
    }
    if (version != kReadingsSchemaVersion) {
        fail(QStringLiteral("%1 不是本程序的读数库（版本 %2，需要 %3）").arg(path).arg(version).arg(kReadingsSchemaVersion));
        return;
    }
    open_ = true;
}

ReadingsQuery::~ReadingsQuery() {
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase::database(connectionName_, false).close();
        QSqlDatabase::removeDatabase(connectionName_);
    }
}

bool ReadingsQuery::fail(const QString& text) {
    error_ = text;
    open_ = false;
    return false;
}

std::optional<std::vector<TerminalSummary>> ReadingsQuery::terminals() {
    if (!open_) return std::nullopt;
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    QSqlQuery list(db), count(db), newest(db), event(db);
    list.setForwardOnly(true);
    if (!list.exec(QStringLiteral("SELECT barcode, first_seen, last_seen FROM terminals ORDER BY barcode")) ||
        !count.prepare(QStringLiteral("SELECT count(*) FROM readings WHERE barcode = ?")) ||
        !newest.prepare(QStringLiteral("SELECT time, temperature_c, humidity_pct, battery_v, received, source FROM readings "
                                       "WHERE barcode = ? ORDER BY time DESC LIMIT 1")) ||
        !event.prepare(QStringLiteral("SELECT channel, peer FROM events WHERE barcode = ? ORDER BY id DESC LIMIT 1"))) {
        fail(QStringLiteral("无法读取终端列表：") + ErrorText(list.lastError()));
        return std::nullopt;
    }
    std::vector<TerminalSummary> out;
    while (list.next()) {
        TerminalSummary t;
        t.barCode = list.value(0).toString();
        t.firstSeen = list.value(1).toString();
        t.lastSeen = list.value(2).toString();
        for (QSqlQuery* q : {&count, &newest, &event}) {
            q->bindValue(0, t.barCode);
            if (!q->exec()) {
                fail(QStringLiteral("无法读取终端列表：") + ErrorText(q->lastError()));
                return std::nullopt;
            }
        }
        if (count.next()) t.readings = count.value(0).toLongLong();
        if (newest.next()) {
            t.lastRecordTime = newest.value(0).toString();
            t.lastTemperature = OptionalDouble(newest.value(1));
            t.lastHumidity = OptionalDouble(newest.value(2));
            t.batteryV = OptionalDouble(newest.value(3));
            t.lastReceived = newest.value(4).toString();
            t.channel = newest.value(5).toString();   // unless an event says more
        }
        if (event.next()) {
            t.channel = event.value(0).toString();
            t.peer = event.value(1).toString();
        }
        out.push_back(std::move(t));
    }
    if (list.lastError().isValid()) {
        fail(QStringLiteral("无法读取终端列表：") + ErrorText(list.lastError()));
        return std::nullopt;
    }
    return out;
}

bool ReadingsQuery::readings(const QStringList& barCodes, const QString& from, const QString& to,
                             const std::function<bool(const StoredReading&)>& row) {
    if (!open_) return false;
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    QString sql = QStringLiteral("SELECT barcode, time, temperature_c, humidity_pct, battery_v, source, received "
                                 "FROM readings WHERE time >= ? AND time <= ?");
    if (!barCodes.isEmpty()) sql += QStringLiteral(" AND barcode = ?");
    sql += QStringLiteral(" ORDER BY barcode, time");
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) return fail(QStringLiteral("无法读取读数：") + ErrorText(q.lastError()));
    // One pass per bar code, in order: each is a range of the primary key.
    QStringList codes = barCodes;
    codes.sort();
    codes.removeDuplicates();
    if (codes.isEmpty()) codes.append(QString());
    // "~" sorts after every digit and "T": an empty upper bound takes everything.
    // A null string would bind as NULL, which compares with nothing.
    const QString lower = from.isEmpty() ? QStringLiteral("") : from;
    const QString upper = to.isEmpty() ? QStringLiteral("~") : to;
    for (const QString& code : codes) {
        q.bindValue(0, lower);
        q.bindValue(1, upper);
        if (!barCodes.isEmpty()) q.bindValue(2, code);
        if (!q.exec()) return fail(QStringLiteral("无法读取读数：") + ErrorText(q.lastError()));
        StoredReading r;
        while (q.next()) {
            r.barCode = q.value(0).toString();
            r.time = q.value(1).toString();
            r.temperatureC = q.value(2).toDouble();
            r.humidityPct = q.value(3).toDouble();
            r.batteryV = OptionalDouble(q.value(4));
            r.source = q.value(5).toString();
            r.received = q.value(6).toString();
            if (!row(r)) return true;
        }
        if (q.lastError().isValid()) return fail(QStringLiteral("无法读取读数：") + ErrorText(q.lastError()));
    }
    return true;
}

}  // namespace core
