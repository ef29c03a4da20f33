// The publish log on real SQLite files: readings come back in the order they
// were stored, once, with exact values; the mark survives a restart and empties
// the log below it; pruned readings are passed over; readers still take the file.
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

#include <tuple>

#include "core/ReadingsPublishLog.h"
#include "core/ReadingsQuery.h"
#include "core/ReadingsSchema.h"
#include "core/ReadingsStore.h"
#include "../support/TestUploads.h"

using core::PublishBatch;
using core::ReadingsPublishLog;
using core::ReadingsStore;

Q_DECLARE_METATYPE(core::PublishBatch)

namespace {

ht6630::RoomUpload Upload(const std::string& barCode, int hour, int records) {
    return testing_support::TestUpload(barCode, {2024, 5, 17, hour, 0, 0}, records, 10);
}

ht6630::HeatMeterRecord Meter(const char* address, float supply, std::uint8_t flags) {
    ht6630::HeatMeterRecord m;
    m.meterAddress = address;
    m.meterClock = "2024-05-17 08:30:00";
    m.lastHeat = 1234.5;
    m.heat = 1300;
    m.totalFlow = 9900;
    m.supplyTemperature = supply;
    m.returnTemperature = 40.12f;
    m.flags = flags;
    return m;
}

// Runs statements on the file through a connection of the test's own.
void Exec(const QString& path, const QStringList& statements) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("exec"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const QString& sql : statements) QVERIFY2(q.exec(sql), qPrintable(sql));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("exec"));
}

// The next batch the log delivers (at most 5 s). A fetch that fails or never answers
// fails the case (QtTest reports the exception) rather than passing on an empty batch.
PublishBatch Fetch(ReadingsPublishLog& log, qint64 afterId, int limit) {
    QSignalSpy spy(&log, &ReadingsPublishLog::fetched);
    QSignalSpy failed(&log, &ReadingsPublishLog::fetchFailed);
    log.fetch(afterId, limit);
    (void)QTest::qWaitFor([&] { return !spy.isEmpty() || !failed.isEmpty(); }, 5000);
    if (!failed.isEmpty()) throw std::runtime_error("fetch failed: " + failed.at(0).at(0).toString().toStdString());
    if (spy.isEmpty()) throw std::runtime_error("no batch within 5 s");
    return spy.at(0).at(0).value<PublishBatch>();
}

// One number from the file, through a connection of the test's own.
qint64 Count(const QString& path, const QString& sql) {
    qint64 n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next()) n = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    return n;
}

}  // namespace

class TestReadingsPublishLog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<core::PublishBatch>(); }

    void readingsComeBackInStoredOrderOnceWithExactValues() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        ReadingsStore store(path);
        ReadingsPublishLog log(store, QStringLiteral("mqtt"));
        log.start();
        const QDateTime at(QDate(2024, 5, 17), QTime(9, 0, 5));
        store.addRoomUpload(Upload("2012345678902", 8, 2), core::Channel::Udp, at);
        store.addRoomUpload(Upload("2012345678901", 7, 2), core::Channel::Tcp, at);
        store.addRoomUpload(Upload("2012345678902", 8, 2), core::Channel::Udp, at);   // again: stored once
        ht6630::RoomUpload noBattery = Upload("2012345678901", 9, 1);
        noBattery.batteryCentivolts = -1;
        store.addRoomUpload(noBattery, core::Channel::Tcp, at);

        const PublishBatch all = Fetch(log, -1, 100);
        QCOMPARE((std::tuple{all.mark, all.scanned, int(all.readings.size())}), (std::tuple{qint64(0), 5, 5}));
        QStringList order;
        for (const auto& r : all.readings) order << QStringLiteral("%1 %2 %3").arg(r.id).arg(r.barCode.right(1), r.time);
        QCOMPARE(order, QStringList({"1 2 2024-05-17T08:00:00", "2 2 2024-05-17T08:10:00", "3 1 2024-05-17T07:00:00",
                                     "4 1 2024-05-17T07:10:00", "5 1 2024-05-17T09:00:00"}));
        const core::PublishedReading& first = all.readings[0];
        QCOMPARE(first.temperature, -5.3);
        QCOMPARE(first.humidity, 45.6);
        QCOMPARE(first.battery.value_or(0), 3.61);
        QCOMPARE(first.received, QStringLiteral("2024-05-17T09:00:05"));
        QVERIFY(!all.readings[4].battery);

        // A limit ends the batch; the next one starts after it.
        const PublishBatch two = Fetch(log, 1, 2);
        QCOMPARE((std::pair{two.scanned, two.lastId}), (std::pair{2, qint64(3)}));
        QCOMPARE(two.readings.back().id, 3);
    }

    void markSurvivesRestartPrunedReadingsArePassedOverForgetDropsTheLog() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        {
            ReadingsStore store(path);
            ReadingsPublishLog log(store, QStringLiteral("mqtt"));
            log.start();
            store.addRoomUpload(Upload("2012345678901", 7, 4), core::Channel::Tcp, QDateTime::currentDateTime());
            QCOMPARE(int(Fetch(log, -1, 100).readings.size()), 4);
            log.setMark(2);
            log.setMark(3);   // saved together with the next batch
            log.setMark(1);   // never backwards
        }   // the store's destructor writes what is pending
        QCOMPARE(Count(path, "SELECT last_id FROM publish_marks WHERE consumer = 'mqtt'"), 3);
        QCOMPARE(Count(path, "SELECT count(*) FROM publish_log"), 1);
        {
            ReadingsStore store(path);
            ReadingsPublishLog log(store, QStringLiteral("mqtt"));
            log.start();   // registered before: keeps its mark
            store.addRoomUpload(Upload("2012345678901", 8, 1), core::Channel::Tcp, QDateTime::currentDateTime());
            const PublishBatch rest = Fetch(log, -1, 100);
            QCOMPARE((std::tuple{rest.mark, rest.readings.front().id, rest.readings.back().id}),
                     (std::tuple{qint64(3), qint64(4), qint64(5)}));
            store.setRetentionDays(1);   // 2024: older than a day
            QTRY_COMPARE_WITH_TIMEOUT(Count(path, "SELECT count(*) FROM readings"), 0, 5000);
            const PublishBatch pruned = Fetch(log, -1, 100);
            QCOMPARE((std::tuple{pruned.scanned, pruned.lastId, pruned.readings.size()}), (std::tuple{2, qint64(5), 0ul}));
        }
        // Readers still take the file with the log in it: the version is unchanged.
        core::ReadingsQuery query(path);
        QVERIFY2(query.isOpen(), qPrintable(query.error()));
        QCOMPARE(Count(path, "PRAGMA user_version"), core::kReadingsSchemaVersion);
        {
            ReadingsStore store(path);
            ReadingsPublishLog::Forget(store, QStringLiteral("mqtt"));
        }
        QCOMPARE(Count(path, "SELECT count(*) FROM sqlite_master WHERE name LIKE '%publish%'"), 0);
    }

    // Heat-meter records share the log (and its order) with readings; a log made
    // before they were logged gets its `meter` column and keeps its rows and mark.
    void heatRecordsShareTheLogAndAnOlderLogIsWidened() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        { ReadingsStore store(path); }   // the schema
        Exec(path, {"CREATE TABLE publish_log(id INTEGER PRIMARY KEY AUTOINCREMENT, barcode TEXT NOT NULL, time TEXT NOT NULL)",
                    "CREATE TABLE publish_marks(consumer TEXT PRIMARY KEY, last_id INTEGER NOT NULL) WITHOUT ROWID",
                    "INSERT INTO publish_log(barcode, time) VALUES('old', 'x'), ('old', 'y')",
                    "INSERT INTO publish_marks VALUES('mqtt', 1)"});
        ReadingsStore store(path);
        ReadingsPublishLog log(store, QStringLiteral("mqtt"));
        log.start();
        const QDateTime at(QDate(2024, 5, 17), QTime(9, 0, 5));
        store.addRoomUpload(Upload("2012345678901", 7, 1), core::Channel::Tcp, at);
        store.addHeatRecords(QStringLiteral("2012345678902"), {Meter("0012345678", 45.37f, 0x85), Meter("1111111111", 45.5f, 0)},
                             core::Channel::Udp, at);
        store.addHeatRecords(QStringLiteral("2012345678902"), {Meter("0012345678", 45.37f, 0x85)}, core::Channel::Udp, at);
        store.addRoomUpload(Upload("2012345678901", 8, 1), core::Channel::Tcp, at);

        const PublishBatch all = Fetch(log, -1, 100);
        QCOMPARE((std::tuple{all.mark, all.scanned, int(all.readings.size())}), (std::tuple{qint64(1), 5, 4}));
        QStringList order;
        for (const auto& r : all.readings)
            order << QStringLiteral("%1 %2 %3").arg(r.id).arg(r.heat ? QString::fromStdString(r.heat->meterAddress) : r.time, r.received);
        QCOMPARE(order, QStringList({"3 2024-05-17T07:00:00 2024-05-17T09:00:05", "4 0012345678 2024-05-17T09:00:05",
                                     "5 1111111111 2024-05-17T09:00:05", "6 2024-05-17T08:00:00 2024-05-17T09:00:05"}));
        const ht6630::HeatMeterRecord& m = *all.readings[1].heat;
        QCOMPARE(all.readings[1].time, QStringLiteral("2024-05-17 08:30:00"));
        QCOMPARE((std::tuple{m.meterClock, m.lastHeat, m.heat, m.totalFlow, m.supplyTemperature, m.returnTemperature, int(m.flags)}),
                 (std::tuple{std::string("2024-05-17 08:30:00"), 1234.5, 1300.0, 9900.0, 45.37f, 40.12f, 0x85}));
        QVERIFY(!all.readings[0].heat);
    }
};

QTEST_GUILESS_MAIN(TestReadingsPublishLog)
#include "tst_readings_publish_log.moc"
