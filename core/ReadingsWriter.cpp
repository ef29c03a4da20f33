#include "core/ReadingsWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>

#include <cstdio>
#include <utility>

#include "core/ReadingsSchema.h"

namespace core {

namespace {

QString CivilText(const ht6630::CivilTime& t) {
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                                t.minute, t.second);
    return QString::fromLatin1(buf, n);
}

QString ErrorText(const QSqlError& e) {
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

}  // namespace

struct ReadingsWriter::Statements {
    explicit Statements(const QSqlDatabase& db) : room(db), heat(db), live(db), event(db), terminal(db) {}
    QSqlQuery room, heat, live, event, terminal;
};

ReadingsWriter::ReadingsWriter(const QString& path, const QString& connectionName)
    : path_(path), connectionName_(connectionName) {}

ReadingsWriter::~ReadingsWriter() {
    close();
    QSqlDatabase::removeDatabase(connectionName_);
}

void ReadingsWriter::close() {
    st_.reset();
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        db.close();
    }
    open_ = false;
}

bool ReadingsWriter::open(QString* error) {
    close();
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("无法创建文件夹 ") + QDir::toNativeSeparators(folder);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::contains(connectionName_)
                          ? QSqlDatabase::database(connectionName_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    db.setDatabaseName(path_);
    // A reader holding the file briefly (the export tool) is waited for, not reported.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    if (!db.open()) {
        *error = ErrorText(db.lastError());
        return false;
    }
    QSqlQuery q(db);
    const auto exec = [&](const QString& sql) {
        if (q.exec(sql)) return true;
        *error = ErrorText(q.lastError());
        return false;
    };
    // journal_mode answers with the mode it got: anything but "wal" means the
    // file could not be switched (read-only, locked).
    if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next()) {
        if (error->isEmpty()) *error = QStringLiteral("无法设置日志模式");
        db.close();
        return false;
    }
    if (q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        *error = QStringLiteral("无法切换到 WAL 日志模式");
        db.close();
        return false;
    }
    if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL")) || !MigrateReadingsDb(db, error)) {
        db.close();
        return false;
    }
    auto st = std::make_unique<Statements>(db);
    const bool prepared =
        st->room.prepare(QStringLiteral("INSERT OR IGNORE INTO readings(barcode, time, temperature_c, humidity_pct, "
                                        "battery_v, source, received) VALUES(?, ?, ?, ?, ?, ?, ?)")) &&
        st->heat.prepare(QStringLiteral("INSERT OR IGNORE INTO heat_readings(barcode, meter_address, meter_clock, "
                                        "last_heat, heat, power, flow, total_flow, supply_c, return_c, working_hours, "
                                        "flags, source, received) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) &&
        st->live.prepare(QStringLiteral("INSERT OR REPLACE INTO live_readings(barcode, time, temperature_c, "
                                        "humidity_pct) VALUES(?, ?, ?, ?)")) &&
        st->event.prepare(
            QStringLiteral("INSERT INTO events(barcode, kind, channel, peer, time) VALUES(?, ?, ?, ?, ?)")) &&
        st->terminal.prepare(QStringLiteral(
            "INSERT INTO terminals(barcode, first_seen, last_seen) VALUES(?, ?, ?) ON CONFLICT(barcode) DO UPDATE "
            "SET first_seen = min(first_seen, excluded.first_seen), last_seen = max(last_seen, excluded.last_seen)"));
    if (!prepared) {
        *error = QStringLiteral("无法准备语句");
        db.close();
        return false;
    }
    st_ = std::move(st);
    open_ = true;
    return true;
}

QString ReadingsWriter::localText(qint64 ms) {
    const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (second != cachedSecond_) {
        cachedSecond_ = second;
        cachedText_ = QDateTime::fromSecsSinceEpoch(second, Qt::LocalTime)
                          .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    }
    return cachedText_;
}

bool ReadingsWriter::write(const std::vector<StoreRow>& rows, QString* error) {
    if (!open_) {
        *error = QStringLiteral("数据库未打开");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!db.transaction()) {
        *error = ErrorText(db.lastError());
        return false;
    }
    // Each bar code's first and last time in this batch, for the terminal list.
    QHash<QString, std::pair<qint64, qint64>> seen;
    const auto fail = [&](const QSqlQuery& q) {
        *error = ErrorText(q.lastError());
        db.rollback();
        return false;
    };
    for (const StoreRow& row : rows) {
        auto it = seen.find(row.barCode);
        if (it == seen.end()) {
            seen.insert(row.barCode, {row.atMs, row.atMs});
        } else {
            it->first = std::min(it->first, row.atMs);
            it->second = std::max(it->second, row.atMs);
        }
        const QString at = localText(row.atMs);
        const QString channel = ChannelText(row.channel);
        if (const auto* r = std::get_if<RoomRow>(&row.data)) {
            QSqlQuery& q = st_->room;
            q.bindValue(0, row.barCode);
            q.bindValue(1, CivilText(r->time));
            q.bindValue(2, r->temperatureTenths / 10.0);
            q.bindValue(3, r->humidityTenths / 10.0);
            q.bindValue(4, r->batteryCentivolts >= 0 ? QVariant(r->batteryCentivolts / 100.0)
                                                     : QVariant(QMetaType(QMetaType::Double)));
            q.bindValue(5, channel);
            q.bindValue(6, at);
            if (!q.exec()) return fail(q);
        } else if (const auto* h = std::get_if<HeatRow>(&row.data)) {
            const ht6630::HeatMeterRecord& m = *h->record;
            QSqlQuery& q = st_->heat;
            q.bindValue(0, row.barCode);
            q.bindValue(1, QString::fromStdString(m.meterAddress));
            q.bindValue(2, QString::fromStdString(m.meterClock));
            q.bindValue(3, m.lastHeat);
            q.bindValue(4, m.heat);
            q.bindValue(5, m.power);
            q.bindValue(6, m.flow);
            q.bindValue(7, m.totalFlow);
            q.bindValue(8, double(m.supplyTemperature));
            q.bindValue(9, double(m.returnTemperature));
            q.bindValue(10, m.workingHours);
            q.bindValue(11, int(m.flags));
            q.bindValue(12, channel);
            q.bindValue(13, at);
            if (!q.exec()) return fail(q);
        } else if (const auto* l = std::get_if<LiveRow>(&row.data)) {
            QSqlQuery& q = st_->live;
            q.bindValue(0, row.barCode);
            q.bindValue(1, at);
            q.bindValue(2, l->temperature);
            q.bindValue(3, l->humidity);
            if (!q.exec()) return fail(q);
        } else if (const auto* e = std::get_if<EventRow>(&row.data)) {
            QSqlQuery& q = st_->event;
            q.bindValue(0, row.barCode);
            q.bindValue(1, e->kind);
            q.bindValue(2, channel);
            q.bindValue(3, e->peer);
            q.bindValue(4, at);
            if (!q.exec()) return fail(q);
        }
    }
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        QSqlQuery& q = st_->terminal;
        q.bindValue(0, it.key());
        q.bindValue(1, localText(it->first));
        q.bindValue(2, localText(it->second));
        if (!q.exec()) return fail(q);
    }
    if (!db.commit()) {
        *error = ErrorText(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

int ReadingsWriter::prune(int days, QString* error) {
    if (!open_ || days <= 0) return 0;
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    const QString cutoff = QDateTime::currentDateTime().addDays(-days).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    if (!db.transaction()) {
        *error = ErrorText(db.lastError());
        return -1;
    }
    QSqlQuery q(db);
    int deleted = 0;
    const char* const statements[] = {"DELETE FROM readings WHERE time < ?", "DELETE FROM heat_readings WHERE received < ?",
                                      "DELETE FROM live_readings WHERE time < ?", "DELETE FROM events WHERE time < ?"};
    for (const char* sql : statements) {
        q.prepare(QString::fromLatin1(sql));
        q.bindValue(0, cutoff);
        if (!q.exec()) {
            *error = ErrorText(q.lastError());
            db.rollback();
            return -1;
        }
        if (sql == statements[0]) deleted = q.numRowsAffected();
    }
    if (!db.commit()) {
        *error = ErrorText(db.lastError());
        db.rollback();
        return -1;
    }
    return deleted;
}

}  // namespace core
