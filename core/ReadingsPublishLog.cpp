#include "core/ReadingsPublishLog.h"

#include <QMetaObject>
#include <QtDebug>

#include <sqlite3.h>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "core/ReadingsStore.h"
#include "core/ReadingsWriter.h"

namespace core {

namespace {

// One statement, finalized however the function leaves.
struct Statement {
    sqlite3_stmt* st = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
    ~Statement() { sqlite3_finalize(st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

QString Error(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

QString Text(sqlite3_stmt* st, int column) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(st, column)) : QString();
}

// A column's text as a string shared with the row before when it is the same: the
// records of one upload share bar code and receipt, so a batch holds one copy of each.
struct SharedText {
    QByteArray bytes;
    QString text;
    const QString& at(sqlite3_stmt* st, int column) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
        const QByteArrayView now(p, p ? sqlite3_column_bytes(st, column) : 0);
        if (!p || now != QByteArrayView(bytes) || text.isNull()) {
            bytes = now.toByteArray();
            text = p ? QString::fromUtf8(now) : QString();
        }
        return text;
    }
};

void BindText(sqlite3_stmt* st, int at, const QByteArray& text) {
    sqlite3_bind_text(st, at, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

// Runs `sql` (several statements) in one transaction.
bool Transaction(sqlite3* db, const std::vector<std::pair<const char*, QByteArray>>& statements, QString* error) {
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = Error(db);
        return false;
    }
    for (const auto& [sql, consumer] : statements) {
        Statement s(db, sql);
        if (s.st && !consumer.isNull()) BindText(s.st, 1, consumer);
        if (!s.st || sqlite3_step(s.st) != SQLITE_DONE) {
            *error = Error(db);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = Error(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

// True when publish_log has a `meter` column; logs made before heat-meter records
// were logged lack it.
bool HasMeterColumn(sqlite3* db, bool* has, QString* error) {
    Statement s(db, "SELECT 1 FROM pragma_table_info('publish_log') WHERE name = 'meter'");
    if (!s.st) {
        *error = Error(db);
        return false;
    }
    *has = sqlite3_step(s.st) == SQLITE_ROW;
    return true;
}

bool Register(sqlite3* db, const QByteArray& consumer, QString* error) {
    // AUTOINCREMENT: ids never come back once the log has been emptied, so a mark stays valid.
    if (!Transaction(db,
                     {{"CREATE TABLE IF NOT EXISTS publish_log(id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "barcode TEXT NOT NULL, time TEXT NOT NULL, meter TEXT)", {}},
                      {"CREATE TABLE IF NOT EXISTS publish_marks(consumer TEXT PRIMARY KEY, last_id INTEGER NOT NULL) "
                       "WITHOUT ROWID", {}}},
                     error))
        return false;
    bool hasMeter = false;
    if (!HasMeterColumn(db, &hasMeter, error)) return false;
    std::vector<std::pair<const char*, QByteArray>> statements;
    if (!hasMeter) statements.push_back({"ALTER TABLE publish_log ADD COLUMN meter TEXT", {}});
    // In the file, not in the program: whichever program stores a record logs it.
    statements.push_back({"CREATE TRIGGER IF NOT EXISTS readings_publish_log AFTER INSERT ON readings BEGIN "
                          "INSERT INTO publish_log(barcode, time) VALUES(new.barcode, new.time); END", {}});
    statements.push_back({"CREATE TRIGGER IF NOT EXISTS heat_readings_publish_log AFTER INSERT ON heat_readings BEGIN "
                          "INSERT INTO publish_log(barcode, time, meter) "
                          "VALUES(new.barcode, new.meter_clock, new.meter_address); END", {}});
    // A new consumer starts with what is stored from now on, not with the whole history.
    statements.push_back({"INSERT OR IGNORE INTO publish_marks(consumer, last_id) VALUES(?1, "
                          "coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'publish_log'), 0))", consumer});
    return Transaction(db, statements, error);
}

bool Unregister(sqlite3* db, const QByteArray& consumer, QString* error) {
    {
        Statement s(db, "SELECT 1 FROM sqlite_master WHERE name = 'publish_marks'");
        if (!s.st) {
            *error = Error(db);
            return false;
        }
        if (sqlite3_step(s.st) != SQLITE_ROW) return true;   // never registered
    }
    if (!Transaction(db, {{"DELETE FROM publish_marks WHERE consumer = ?1", consumer}}, error)) return false;
    {
        // Finalized before the DROP: a statement still running would lock the table.
        Statement left(db, "SELECT count(*) FROM publish_marks");
        if (!left.st || sqlite3_step(left.st) != SQLITE_ROW) {
            *error = Error(db);
            return false;
        }
        if (sqlite3_column_int64(left.st, 0) > 0) return true;
    }
    return Transaction(db,
                       {{"DROP TRIGGER IF EXISTS readings_publish_log", {}},
                        {"DROP TRIGGER IF EXISTS heat_readings_publish_log", {}},
                        {"DROP TABLE IF EXISTS publish_log", {}},
                        {"DROP TABLE IF EXISTS publish_marks", {}}},
                       error);
}

bool SaveMark(sqlite3* db, const QByteArray& consumer, qint64 id, QString* error) {
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = Error(db);
        return false;
    }
    Statement update(db, "UPDATE publish_marks SET last_id = max(last_id, ?2) WHERE consumer = ?1");
    Statement prune(db, "DELETE FROM publish_log WHERE id <= (SELECT min(last_id) FROM publish_marks)");
    bool ok = update.st && prune.st;
    if (ok) {
        BindText(update.st, 1, consumer);
        sqlite3_bind_int64(update.st, 2, id);
        ok = sqlite3_step(update.st) == SQLITE_DONE && sqlite3_step(prune.st) == SQLITE_DONE &&
             sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    if (!ok) {
        *error = Error(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return ok;
}

// The consumer's saved mark.
bool Mark(sqlite3* db, const QByteArray& consumer, qint64* mark, QString* error) {
    Statement s(db, "SELECT last_id FROM publish_marks WHERE consumer = ?1");
    if (!s.st) {
        *error = Error(db);
        return false;
    }
    BindText(s.st, 1, consumer);
    if (sqlite3_step(s.st) != SQLITE_ROW) {
        *error = QStringLiteral("no publish mark for %1").arg(QString::fromUtf8(consumer));
        return false;
    }
    *mark = sqlite3_column_int64(s.st, 0);
    return true;
}

// The highest id the log has given (AUTOINCREMENT keeps it in sqlite_sequence): one row's lookup.
bool Newest(sqlite3* db, qint64* newest, QString* error) {
    Statement s(db, "SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'publish_log'), 0)");
    if (!s.st || sqlite3_step(s.st) != SQLITE_ROW) {
        *error = Error(db);
        return false;
    }
    *newest = sqlite3_column_int64(s.st, 0);
    return true;
}

bool Read(sqlite3* db, const QByteArray& consumer, qint64 afterId, int limit, PublishBatch* out, QString* error) {
    if (!Mark(db, consumer, &out->mark, error) || !Newest(db, &out->newest, error)) return false;
    const qint64 after = afterId < 0 ? out->mark : afterId;
    out->lastId = after;
    // A record deleted since (retention) has no row to join: its log id is skipped.
    Statement s(db,
                "SELECT l.id, l.barcode, l.time, r.temperature_c, r.humidity_pct, r.battery_v, r.received, "
                "r.barcode IS NOT NULL, l.meter, h.last_heat, h.heat, h.power, h.flow, h.total_flow, h.supply_c, "
                "h.return_c, h.working_hours, h.flags, h.received, h.barcode IS NOT NULL FROM publish_log l "
                "LEFT JOIN readings r ON l.meter IS NULL AND r.barcode = l.barcode AND r.time = l.time "
                "LEFT JOIN heat_readings h ON l.meter IS NOT NULL AND h.barcode = l.barcode AND "
                "h.meter_address = l.meter AND h.meter_clock = l.time WHERE l.id > ?1 ORDER BY l.id LIMIT ?2");
    if (!s.st) {
        *error = Error(db);
        return false;
    }
    sqlite3_bind_int64(s.st, 1, after);
    sqlite3_bind_int(s.st, 2, limit);
    int rc;
    SharedText barCode, received;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        ++out->scanned;
        out->lastId = sqlite3_column_int64(s.st, 0);
        PublishedReading r;
        r.id = out->lastId;
        if (sqlite3_column_int(s.st, 7)) {
            r.temperature = sqlite3_column_double(s.st, 3);
            r.humidity = sqlite3_column_double(s.st, 4);
            if (sqlite3_column_type(s.st, 5) != SQLITE_NULL) r.battery = sqlite3_column_double(s.st, 5);
            r.received = received.at(s.st, 6);
        } else if (sqlite3_column_int(s.st, 19)) {
            auto heat = std::make_shared<ht6630::HeatMeterRecord>();
            const QByteArray meter = Text(s.st, 8).toUtf8(), clock = Text(s.st, 2).toUtf8();
            heat->meterAddress.assign(meter.constData(), std::size_t(meter.size()));
            heat->meterClock.assign(clock.constData(), std::size_t(clock.size()));
            heat->lastHeat = sqlite3_column_double(s.st, 9);
            heat->heat = sqlite3_column_double(s.st, 10);
            heat->power = sqlite3_column_double(s.st, 11);
            heat->flow = sqlite3_column_double(s.st, 12);
            heat->totalFlow = sqlite3_column_double(s.st, 13);
            // Stored from floats: the doubles convert back exactly.
            heat->supplyTemperature = float(sqlite3_column_double(s.st, 14));
            heat->returnTemperature = float(sqlite3_column_double(s.st, 15));
            heat->workingHours = sqlite3_column_double(s.st, 16);
            heat->flags = std::uint8_t(sqlite3_column_int(s.st, 17));
            r.received = Text(s.st, 18);
            r.heat = std::move(heat);
        } else {
            continue;
        }
        r.barCode = barCode.at(s.st, 1);
        r.time = Text(s.st, 2);
        out->readings.push_back(std::move(r));
    }
    if (rc != SQLITE_DONE) {
        *error = Error(db);
        return false;
    }
    return true;
}

}  // namespace

// What the writer thread's tasks share with the object: the receiver is cleared
// when the object goes, so a late result is not delivered to a deleted object.
struct ReadingsPublishLog::Shared {
    std::mutex mutex;
    ReadingsPublishLog* receiver = nullptr;
    QByteArray consumer;
    qint64 mark = -1;
    bool markPosted = false;

    template <typename F>
    void deliver(F f) {
        std::lock_guard lock(mutex);
        if (!receiver) return;
        ReadingsPublishLog* r = receiver;
        QMetaObject::invokeMethod(r, [r, f = std::move(f)] { f(r); }, Qt::QueuedConnection);
    }
};

ReadingsPublishLog::ReadingsPublishLog(ReadingsStore& store, const QString& consumer, QObject* parent)
    : QObject(parent), store_(store), consumer_(consumer), shared_(std::make_shared<Shared>()) {
    shared_->receiver = this;
    shared_->consumer = consumer.toUtf8();
}

ReadingsPublishLog::~ReadingsPublishLog() {
    std::lock_guard lock(shared_->mutex);
    shared_->receiver = nullptr;
}

void ReadingsPublishLog::start() {
    store_.post(
        [s = shared_](ReadingsWriter& w) {
            QString error;
            if (!Register(w.handle(), s->consumer, &error))
                s->deliver([error](ReadingsPublishLog* r) { emit r->failed(error); });
        },
        ReadingsStore::When::BeforeRows);
}

void ReadingsPublishLog::fetch(qint64 afterId, int limit) {
    store_.post(
        [s = shared_, afterId, limit](ReadingsWriter& w) {
            auto batch = std::make_shared<PublishBatch>();
            QString error;
            if (Read(w.handle(), s->consumer, afterId, std::max(1, limit), batch.get(), &error))
                s->deliver([batch](ReadingsPublishLog* r) { emit r->fetched(*batch); });
            else
                s->deliver([error](ReadingsPublishLog* r) { emit r->fetchFailed(error); });
        },
        ReadingsStore::When::AfterRows);
}

void ReadingsPublishLog::peek() {
    store_.post(
        [s = shared_](ReadingsWriter& w) {
            qint64 mark = 0, newest = 0;
            QString error;
            if (Mark(w.handle(), s->consumer, &mark, &error) && Newest(w.handle(), &newest, &error))
                s->deliver([mark, newest](ReadingsPublishLog* r) { emit r->peeked(mark, newest); });
            else
                s->deliver([error](ReadingsPublishLog* r) { emit r->fetchFailed(error); });
        },
        ReadingsStore::When::AfterRows);
}

void ReadingsPublishLog::setMark(qint64 id) {
    {
        std::lock_guard lock(shared_->mutex);
        if (id <= shared_->mark) return;
        shared_->mark = id;
        // One save per batch however many acknowledgements came in between.
        if (shared_->markPosted) return;
        shared_->markPosted = true;
    }
    store_.post(
        [s = shared_](ReadingsWriter& w) {
            qint64 id;
            {
                std::lock_guard lock(s->mutex);
                id = s->mark;
                s->markPosted = false;
            }
            QString error;
            if (!SaveMark(w.handle(), s->consumer, id, &error))
                s->deliver([error](ReadingsPublishLog* r) { emit r->failed(error); });
        },
        ReadingsStore::When::NextBatch);
}

void ReadingsPublishLog::Forget(ReadingsStore& store, const QString& consumer) {
    store.post(
        [c = consumer.toUtf8()](ReadingsWriter& w) {
            QString error;
            if (!Unregister(w.handle(), c, &error))
                qWarning("readings store: publish log of %s not removed: %s", c.constData(), qPrintable(error));
        },
        ReadingsStore::When::BeforeRows);
}

}  // namespace core
