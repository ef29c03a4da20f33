#include "core/ReadingsWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

#include <cstdio>
#include <utility>

#include "core/ReadingsSchema.h"

namespace core {

namespace {

// "2024-05-17T08:30:00" into buf[19]; the fields of a decoded time are in range.
void CivilText(const ht6630::CivilTime& t, char* buf) {
    const auto two = [](char* at, int v) {
        at[0] = char('0' + v / 10 % 10);
        at[1] = char('0' + v % 10);
    };
    two(buf, t.year / 100);
    two(buf + 2, t.year);
    buf[4] = '-';
    two(buf + 5, t.month);
    buf[7] = '-';
    two(buf + 8, t.day);
    buf[10] = 'T';
    two(buf + 11, t.hour);
    buf[13] = ':';
    two(buf + 14, t.minute);
    buf[16] = ':';
    two(buf + 17, t.second);
}

QString ErrorText(const QSqlError& e) {
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

}  // namespace

struct ReadingsWriter::Statements {
    explicit Statements(const QSqlDatabase& db) : heat(db), live(db) {}
    ~Statements() {
        for (sqlite3_stmt* st : {room, event, terminal}) sqlite3_finalize(st);
    }
    // Readings, events and terminals are nearly all the rows: their inserts go straight
    // to SQLite on the connection's own handle, without a QVariant per value.
    sqlite3* handle = nullptr;
    sqlite3_stmt* room = nullptr;
    sqlite3_stmt* event = nullptr;
    sqlite3_stmt* terminal = nullptr;
    QSqlQuery heat, live;
};

ReadingsWriter::ReadingsWriter(const QString& path, const QString& connectionName)
    : path_(path), connectionName_(connectionName) {}

ReadingsWriter::~ReadingsWriter() {
    close();
    QSqlDatabase::removeDatabase(connectionName_);
}

sqlite3* ReadingsWriter::handle() const { return open_ ? st_->handle : nullptr; }

void ReadingsWriter::releaseCache() {
    if (sqlite3* db = handle()) sqlite3_db_release_memory(db);
}

qint64 ReadingsWriter::cacheBytes() const {
    int used = 0, highwater = 0;
    if (sqlite3* db = handle()) sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_USED, &used, &highwater, 0);
    return used;
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
    // Uploads from many terminals land all over the readings' key order: a larger
    // page cache (32 MiB) keeps the touched pages in memory across a batch.
    if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL")) || !exec(QStringLiteral("PRAGMA cache_size=-32768")) ||
        !MigrateReadingsDb(db, error)) {
        db.close();
        return false;
    }
    auto st = std::make_unique<Statements>(db);
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        st->handle = *static_cast<sqlite3* const*>(handle.constData());
    const bool prepared =
        st->handle &&
        sqlite3_prepare_v2(st->handle,
                           "INSERT OR IGNORE INTO readings(barcode, time, temperature_c, humidity_pct, battery_v, "
                           "source, received) VALUES(?, ?, ?, ?, ?, ?, ?)",
                           -1, &st->room, nullptr) == SQLITE_OK &&
        st->heat.prepare(QStringLiteral("INSERT OR IGNORE INTO heat_readings(barcode, meter_address, meter_clock, "
                                        "last_heat, heat, power, flow, total_flow, supply_c, return_c, working_hours, "
                                        "flags, source, received) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) &&
        st->live.prepare(QStringLiteral("INSERT OR REPLACE INTO live_readings(barcode, time, temperature_c, "
                                        "humidity_pct) VALUES(?, ?, ?, ?)")) &&
        sqlite3_prepare_v2(st->handle, "INSERT INTO events(barcode, kind, channel, peer, time) VALUES(?, ?, ?, ?, ?)", -1,
                           &st->event, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(st->handle,
                           "INSERT INTO terminals(barcode, first_seen, last_seen) VALUES(?, ?, ?) ON CONFLICT(barcode) "
                           "DO UPDATE SET first_seen = min(first_seen, excluded.first_seen), "
                           "last_seen = max(last_seen, excluded.last_seen)",
                           -1, &st->terminal, nullptr) == SQLITE_OK;
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

// Binds the texts in order (a null text as NULL, as QSqlQuery did), runs the statement
// once and resets it.
bool ReadingsWriter::stepWith(sqlite3_stmt* q, std::initializer_list<QString> texts, QString* error) {
    int at = 1;
    for (const QString& t : texts) {
        if (t.isNull()) {
            sqlite3_bind_null(q, at++);
        } else {
            const QByteArray utf8 = t.toUtf8();
            sqlite3_bind_text(q, at++, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
    }
    const int rc = sqlite3_step(q);
    sqlite3_reset(q);
    sqlite3_clear_bindings(q);
    if (rc == SQLITE_DONE) return true;
    *error = QString::fromUtf8(sqlite3_errmsg(st_->handle));
    return false;
}

bool ReadingsWriter::write(const std::deque<StoreRow>& rows, QString* error, int* stored) {
    int inserted = 0;
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
    // Rows of one upload share their bar code and received time: convert them once.
    QString barCode;
    QByteArray barCodeUtf8, receivedUtf8, source;
    qint64 receivedMs = -1;
    Channel sourceChannel = Channel::Tcp;
    char time[19];
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
            if (row.barCode != barCode) {
                barCode = row.barCode;
                barCodeUtf8 = barCode.toUtf8();
            }
            if (row.atMs != receivedMs) {
                receivedMs = row.atMs;
                receivedUtf8 = at.toUtf8();
            }
            if (row.channel != sourceChannel || source.isEmpty()) {
                sourceChannel = row.channel;
                source = channel.toUtf8();
            }
            CivilText(r->time, time);
            sqlite3_stmt* q = st_->room;
            sqlite3_bind_text(q, 1, barCodeUtf8.constData(), int(barCodeUtf8.size()), SQLITE_STATIC);
            sqlite3_bind_text(q, 2, time, int(sizeof time), SQLITE_STATIC);
            sqlite3_bind_double(q, 3, r->temperatureTenths / 10.0);
            sqlite3_bind_double(q, 4, r->humidityTenths / 10.0);
            if (r->batteryCentivolts >= 0)
                sqlite3_bind_double(q, 5, r->batteryCentivolts / 100.0);
            else
                sqlite3_bind_null(q, 5);
            sqlite3_bind_text(q, 6, source.constData(), int(source.size()), SQLITE_STATIC);
            sqlite3_bind_text(q, 7, receivedUtf8.constData(), int(receivedUtf8.size()), SQLITE_STATIC);
            const int rc = sqlite3_step(q);
            sqlite3_reset(q);
            inserted += rc == SQLITE_DONE ? sqlite3_changes(st_->handle) : 0;   // 0 for a record ignored
            if (rc != SQLITE_DONE) {
                *error = QString::fromUtf8(sqlite3_errmsg(st_->handle));
                db.rollback();
                return false;
            }
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
            inserted += q.numRowsAffected() > 0 ? 1 : 0;
        } else if (const auto* l = std::get_if<LiveRow>(&row.data)) {
            QSqlQuery& q = st_->live;
            q.bindValue(0, row.barCode);
            q.bindValue(1, at);
            q.bindValue(2, l->temperature);
            q.bindValue(3, l->humidity);
            if (!q.exec()) return fail(q);
        } else if (const auto* e = std::get_if<EventRow>(&row.data)) {
            if (!stepWith(st_->event, {row.barCode, e->kind, channel, e->peer, at}, error)) {
                db.rollback();
                return false;
            }
        }
    }
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        if (!stepWith(st_->terminal, {it.key(), localText(it->first), localText(it->second)}, error)) {
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        *error = ErrorText(db.lastError());
        db.rollback();
        return false;
    }
    if (stored) *stored = inserted;
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
