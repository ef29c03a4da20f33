// The readings store on real SQLite files: a record uploaded twice is stored
// once with its exact values, batches reach the file without flush(), a file
// that cannot be opened or written (also a full disk) is reported and resumed
// without the caller waiting, an upload's rows count as committed only once they
// are in the file, and everything survives closing and reopening.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

#include <unistd.h>

#include "core/ReadingsQuery.h"
#include "core/ReadingsStore.h"
#include "core/ReadingsWriter.h"
#include "../support/TestUploads.h"

#include <future>

using core::Channel;
using core::ReadingsStore;

namespace {

ht6630::RoomUpload Upload(const std::string& barCode, int day, int firstHour, int records) {
    return testing_support::TestUpload(barCode, {2024, 5, day, firstHour, 30, 0}, records);
}

std::vector<core::StoredReading> Stored(const QString& path) {
    std::vector<core::StoredReading> out;
    core::ReadingsQuery q(path);
    if (!q.readings({}, {}, {}, [&](const core::StoredReading& r) {
            out.push_back(r);
            return true;
        }))
        return {};
    return out;
}

// Status texts, collected on the test thread.
struct StatusLog {
    explicit StatusLog(ReadingsStore& store) {
        QObject::connect(&store, &ReadingsStore::statusChanged, &context,
                         [this](const QString& text) { texts.append(text); });
    }
    QObject context;
    QStringList texts;
};

// The positions of one upload's rows.
struct Rows {
    std::uint64_t from = 0, to = 0;
};
Rows AddUpload(ReadingsStore& store, int day, int records = 24) {
    Rows r{store.enqueuedMark(), 0};
    store.addRoomUpload(Upload("2012345678901", day, 0, records), Channel::Tcp, QDateTime::currentDateTime());
    r.to = store.enqueuedMark();
    return r;
}

}  // namespace

class TestReadingsStore : public QObject {
    Q_OBJECT
private slots:
    void recordSentTwiceIsStoredOnceWithExactValues() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        const QDateTime received(QDate(2024, 5, 17), QTime(9, 0, 7));
        // The batches count what they stored: the records sent again are not new.
        std::atomic<int> stored{0};
        {
            ReadingsStore store(path);
            connect(&store, &ReadingsStore::batchCommitted, this, [&stored](int n) { stored += n; }, Qt::DirectConnection);
            auto upload = Upload("2012345678901", 17, 8, 2);
            upload.records.push_back({std::nullopt, 200, 500});   // no valid time: not stored
            store.addRoomUpload(upload, Channel::Udp, received);
            QVERIFY(store.flush(10000));
            store.addRoomUpload(upload, Channel::Tcp, received.addSecs(60));
            QVERIFY(store.flush(10000));
        }
        QCOMPARE(stored.load(), 2);   // the writer thread has ended: every batch is counted
        const auto rows = Stored(path);
        QCOMPARE(int(rows.size()), 2);
        QCOMPARE(rows[0].barCode, QStringLiteral("2012345678901"));
        QCOMPARE(rows[0].time, QStringLiteral("2024-05-17T08:30:00"));
        QCOMPARE(rows[0].temperatureC, -5.3);
        QCOMPARE(rows[0].humidityPct, 45.6);
        QVERIFY(rows[0].batteryV.has_value());
        QCOMPARE(*rows[0].batteryV, 3.61);
        QCOMPARE(rows[0].source, QStringLiteral("UDP"));   // the first arrival is kept
        QCOMPARE(rows[0].received, QStringLiteral("2024-05-17T09:00:07"));
        QCOMPARE(rows[1].time, QStringLiteral("2024-05-17T09:30:00"));
        QCOMPARE(rows[1].temperatureC, -5.2);
    }

    void connectionClosedBeforeRegisteringDoesNotHoldUpReadings() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        ReadingsStore store(path);
        StatusLog log(store);
        const QDateTime now = QDateTime::currentDateTime();
        store.addEvent(QString(), QStringLiteral("disconnect"), Channel::Tcp, QStringLiteral("127.0.0.1:5000"), now);
        store.addEvent(QStringLiteral("2012345678901"), QStringLiteral("registration"), Channel::Tcp,
                       QStringLiteral("127.0.0.1:5001"), now);
        store.addRoomUpload(Upload("2012345678901", 3, 0, 2), Channel::Tcp, now);
        QVERIFY(store.flush(10000));
        QCOMPARE(int(Stored(path).size()), 2);
        QVERIFY2(log.texts.isEmpty(), qPrintable(log.texts.join('|')));
    }

    void batchesReachTheFileWithoutFlush() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        ReadingsStore store(path);
        store.addRoomUpload(Upload("2012345678901", 1, 0, 5), Channel::Tcp, QDateTime::currentDateTime());
        QTRY_COMPARE_WITH_TIMEOUT(int(Stored(path).size()), 5, 2000);
    }

    void unopenableFileIsReportedAndResumed() {
        QTemporaryDir dir;
        // A file where the database's folder should be: neither folder nor file can be made.
        const QString blocker = dir.filePath("Data");
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString path = blocker + "/readings.db";
        ReadingsStore store(path);
        StatusLog log(store);
        store.addRoomUpload(Upload("2012345678901", 2, 0, 3), Channel::Tcp, QDateTime::currentDateTime());
        QTRY_VERIFY_WITH_TIMEOUT(!log.texts.isEmpty(), 5000);
        QVERIFY2(log.texts.last().startsWith(QStringLiteral("提示信息:读数库无法写入：")), qPrintable(log.texts.last()));
        QVERIFY(!store.flush(300));
        QVERIFY(QFile::remove(blocker));
        QTRY_VERIFY_WITH_TIMEOUT(log.texts.size() >= 2 && log.texts.last().isEmpty(), 5000);
        QVERIFY(store.flush(10000));
        QCOMPARE(int(Stored(path).size()), 3);
    }

    void oldestRowsAreDroppedBeyondTheBound() {
        QTemporaryDir dir;
        const QString blocker = dir.filePath("Data");
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString path = blocker + "/readings.db";
        ReadingsStore store(path);
        store.setMaxQueued(100);
        StatusLog log(store);
        for (int day = 1; day <= 6; ++day)   // 6 x 24 distinct readings, oldest first
            store.addRoomUpload(Upload("2012345678901", day, 0, 24), Channel::Tcp, QDateTime::currentDateTime());
        QTRY_VERIFY_WITH_TIMEOUT(!log.texts.isEmpty() && log.texts.last().contains(QStringLiteral("已丢弃")), 5000);
        QVERIFY(QFile::remove(blocker));
        QTRY_VERIFY_WITH_TIMEOUT(log.texts.last().isEmpty(), 5000);
        QVERIFY(store.flush(10000));
        const auto rows = Stored(path);
        QCOMPARE(int(rows.size()), 100);   // the newest: day 1 and day 2 up to 19:30 were dropped
        QCOMPARE(rows.front().time, QStringLiteral("2024-05-02T20:30:00"));
        QCOMPARE(rows.back().time, QStringLiteral("2024-05-06T23:30:00"));
    }

    // What an upload acknowledgement waits for, on a disk that fills: the store fails
    // (the console's status as before), the upload is not committed, and it is once
    // space is freed; an upload dropped from memory meanwhile never is.
    void fullDiskFailsUntilSpaceIsFreed() {
        if (::geteuid() != 0) QSKIP("mounting a tmpfs needs root");
        QTemporaryDir dir;
        QCOMPARE(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=384k", "tmpfs", dir.path()}), 0);
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {dir.path()}); });
        ReadingsStore store(dir.filePath("readings.db"));
        StatusLog status(store);
        QList<std::pair<bool, QString>> changes;
        QObject::connect(&store, &ReadingsStore::failingChanged, &status.context,
                         [&](bool failing, const QString& reason) { changes.append({failing, reason}); });
        const Rows first = AddUpload(store, 1);
        QTRY_VERIFY_WITH_TIMEOUT(store.committed(first.from, first.to), 5000);
        QFile filler(dir.filePath("filler"));   // every byte left
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (int i = 0; i < 100 && filler.write(QByteArray(65536, 'x')) > 0; ++i) {}
        const Rows last = AddUpload(store, 2);
        store.commitSoon();
        QTRY_VERIFY_WITH_TIMEOUT(changes.size() == 1 && !status.texts.isEmpty(), 5000);
        QVERIFY(store.failing());
        QVERIFY(!store.committed(last.from, last.to));
        QCOMPARE(changes[0], std::make_pair(true, QStringLiteral("database or disk is full")));
        QCOMPARE(status.texts[0], QStringLiteral("提示信息:读数库无法写入：database or disk is full"));
        store.setMaxQueued(24);
        const Rows next = AddUpload(store, 3);   // at the next retry `last` is dropped for it
        QTest::qWait(1500);
        QVERIFY(filler.remove());
        QTRY_VERIFY_WITH_TIMEOUT(store.committed(next.from, next.to) && changes.size() == 2, 5000);
        QCOMPARE(changes[1], std::make_pair(false, QString()));
        QCOMPARE(status.texts.last(), QString());
        QVERIFY(!store.committed(last.from, last.to));
        QCOMPARE(int(Stored(dir.filePath("readings.db")).size()), 48);   // in the file for another connection
    }

    void readOnlyFileIsReportedAndResumed() {
        QTemporaryDir dir;
        // File modes do not stop root: as root the case runs as nobody (the saved user id
        // brings root back at the end), in a folder nobody owns.
        struct AsNobody {
            bool active = ::geteuid() == 0;
            explicit AsNobody(const QString& folder) {
                if (active && (::chown(QFile::encodeName(folder).constData(), 65534, 65534) != 0 || ::setegid(65534) != 0 ||
                               ::seteuid(65534) != 0))
                    qFatal("cannot run as nobody");
            }
            ~AsNobody() {
                if (active && (::seteuid(0) != 0 || ::setegid(0) != 0)) qFatal("cannot become root again");
            }
        } asNobody(dir.path());
        const QString path = dir.filePath("readings.db");
        { ReadingsStore(path).flush(10000); }
        const auto writable = [&](bool on) {
            const auto mode = on ? QFile::ReadOwner | QFile::WriteOwner : QFile::ReadOwner;
            return QFile::setPermissions(path, mode) &&
                   QFile::setPermissions(dir.path(), mode | QFile::ExeOwner);
        };
        QVERIFY(writable(false));
        ReadingsStore store(path);
        StatusLog log(store);
        store.addRoomUpload(Upload("2012345678901", 4, 0, 3), Channel::Tcp, QDateTime::currentDateTime());
        QTRY_VERIFY_WITH_TIMEOUT(!log.texts.isEmpty(), 5000);
        QVERIFY(log.texts.last().startsWith(QStringLiteral("提示信息:读数库无法写入：")));
        QVERIFY(writable(true));
        QTRY_VERIFY_WITH_TIMEOUT(log.texts.size() >= 2 && log.texts.last().isEmpty(), 5000);
        QVERIFY(store.flush(10000));
        QCOMPARE(int(Stored(path).size()), 3);
    }

    void lockedFileNeverBlocksTheCaller() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        ReadingsStore store(path);
        StatusLog log(store);
        store.addEvent("2012345678901", "connect", Channel::Tcp, "127.0.0.1:5000", QDateTime::currentDateTime());
        QVERIFY(store.flush(10000));
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "locker");
            other.setDatabaseName(path);
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
            // The lock is held by this thread: a caller waiting for the disk would never return.
            for (int i = 0; i < 200; ++i)
                store.addRoomUpload(Upload(std::to_string(2012345678000LL + i), 3, 0, 10), Channel::Tcp,
                                    QDateTime::currentDateTime());
            QTRY_VERIFY_WITH_TIMEOUT(!log.texts.isEmpty(), 10000);
            QVERIFY(log.texts.last().startsWith(QStringLiteral("提示信息:读数库无法写入：")));
            QVERIFY(lock.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("locker");
        QTRY_VERIFY_WITH_TIMEOUT(log.texts.size() >= 2 && log.texts.last().isEmpty(), 10000);
        QVERIFY(store.flush(10000));
        QCOMPARE(int(Stored(path).size()), 2000);
    }

    void reopenKeepsEverything() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        const QDateTime t0(QDate(2024, 6, 1), QTime(12, 0, 0));
        {
            ReadingsStore store(path);
            store.addEvent("2012345678901", "registration", Channel::Tcp, "127.0.0.1:4000", t0);
            store.addRoomUpload(Upload("2012345678901", 1, 0, 4), Channel::Tcp, t0);
            ht6630::HeatMeterRecord heat;
            heat.meterAddress = "1234567890";
            heat.heat = 12.5;
            heat.meterClock = "2024-06-01 11:59:00";
            store.addHeatRecords("2012345678901", {heat, heat}, Channel::Tcp, t0);
            store.addLiveReading("2012345678901", 21.5, 40.0, t0);
        }
        {
            ReadingsStore store(path);
            store.addRoomUpload(Upload("2012345678901", 1, 10, 2), Channel::Udp, t0.addSecs(3600));
            store.addEvent("2012345678901", "heartbeat", Channel::Udp, "127.0.0.1:4001", t0.addSecs(3600));
        }
        core::ReadingsQuery q(path);
        QVERIFY2(q.isOpen(), qPrintable(q.error()));
        const auto terminals = q.terminals();
        QVERIFY(terminals.has_value());
        QCOMPARE(int(terminals->size()), 1);
        const core::TerminalSummary& t = terminals->front();
        QCOMPARE(t.readings, qint64(6));
        QCOMPARE(t.firstSeen, QStringLiteral("2024-06-01T12:00:00"));
        QCOMPARE(t.lastSeen, QStringLiteral("2024-06-01T13:00:00"));
        QCOMPARE(t.lastRecordTime, QStringLiteral("2024-05-01T11:30:00"));
        QCOMPARE(*t.lastTemperature, -5.2);
        QCOMPARE(t.channel, QStringLiteral("UDP"));
        QCOMPARE(t.peer, QStringLiteral("127.0.0.1:4001"));

        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery s(db);
        const auto one = [&](const char* sql) { return s.exec(sql) && s.next() ? s.value(0) : QVariant(); };
        QCOMPARE(one("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        QCOMPARE(one("PRAGMA user_version").toInt(), 1);
        QCOMPARE(one("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
        QCOMPARE(one("SELECT count(*) FROM heat_readings").toInt(), 1);
        QCOMPARE(one("SELECT count(*) FROM events").toInt(), 2);
        QCOMPARE(one("SELECT count(*) FROM live_readings").toInt(), 1);
        s = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("check");
    }

    void retentionDeletesOldReadings() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        ReadingsStore store(path);
        const QDate today = QDate::currentDate();
        auto recent = Upload("2012345678901", today.day(), 0, 1);
        recent.records[0].time = ht6630::CivilTime{today.year(), today.month(), today.day(), 0, 0, 0};
        store.addRoomUpload(Upload("2012345678901", 1, 0, 3), Channel::Tcp, QDateTime::currentDateTime());   // 2024
        store.addRoomUpload(recent, Channel::Tcp, QDateTime::currentDateTime());
        QVERIFY(store.flush(10000));
        QCOMPARE(int(Stored(path).size()), 4);
        store.setRetentionDays(30);
        QTRY_COMPARE_WITH_TIMEOUT(int(Stored(path).size()), 1, 3000);
    }

    // Under load the writer keeps its pages cached; once quiet it lets them go, so a
    // trickle of events over days does not fill the 32 MiB cache.
    void pageCacheFollowsTheLoad() {
        QTemporaryDir dir;
        ReadingsStore store(dir.filePath("readings.db"));
        QVERIFY(store.flush(10000));
        const auto cacheNow = [&] {
            auto bytes = std::make_shared<std::promise<qint64>>();
            auto got = bytes->get_future();
            store.post([bytes](core::ReadingsWriter& w) { bytes->set_value(w.cacheBytes()); },
                       ReadingsStore::When::BeforeRows);
            return got.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? got.get() : -1;
        };
        // Hold the writer while 6,000 readings queue up, so they are written as one batch.
        auto gate = std::make_shared<std::promise<void>>();
        std::shared_future<void> open = gate->get_future().share();
        store.post([open](core::ReadingsWriter&) { open.wait_for(std::chrono::seconds(10)); },
                   ReadingsStore::When::BeforeRows);
        for (int t = 0; t < 250; ++t)
            store.addRoomUpload(Upload("20123456" + std::to_string(10000 + t), 5, 0, 24), Channel::Tcp,
                                QDateTime::currentDateTime());
        gate->set_value();
        QVERIFY(store.flush(20000));
        const qint64 afterBacklog = cacheNow();
        QVERIFY2(afterBacklog > 400 * 1024, qPrintable(QString::number(afterBacklog)));
        QTRY_VERIFY_WITH_TIMEOUT(cacheNow() < afterBacklog / 4, 5000);   // a quiet second or two
    }

    void badFilesAreRefusedByTheQuery() {
        QTemporaryDir dir;
        QVERIFY(!core::ReadingsQuery(dir.filePath("missing.db")).isOpen());
        QFile junk(dir.filePath("junk.db"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(8192, 'x'));
        junk.close();
        core::ReadingsQuery q(junk.fileName());
        QVERIFY(!q.isOpen());
        QVERIFY(!q.error().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestReadingsStore)
#include "tst_readings_store.moc"
