// The terminal roster and the CSV export on real SQLite files: heart-beat
// statistics, a re-sent upload counted once, the clock offset, overdue terminals,
// seeding merged with what arrived live, terminals going offline with their
// engine, and an export file that is whole or absent.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/ConsoleSession.h"
#include "core/ReadingsExport.h"
#include "core/ReadingsStore.h"
#include "core/TcpDataCentre.h"
#include "core/TerminalRoster.h"
#include "../support/TestUploads.h"

using core::Channel;
using core::TerminalRoster;

namespace {

ht6630::RoomUpload Upload(const std::string& barCode, int firstHour, int records) {
    ht6630::RoomUpload u = testing_support::TestUpload(barCode, {2024, 5, 17, firstHour, 30, 0}, records);
    u.uploadTime = ht6630::CivilTime{2024, 5, 17, firstHour + records - 1, 30, 0};
    return u;
}

QDateTime At(const char* iso) { return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate); }
qint64 Ms(const char* iso) { return At(iso).toMSecsSinceEpoch(); }

}  // namespace

class TestTerminalRoster : public QObject {
    Q_OBJECT
private slots:
    void heartbeatsUploadsAndClockOffset() {
        TerminalRoster roster;
        const QString bar = QStringLiteral("2012345678901");
        for (const char* t : {"2024-05-17T08:00:00", "2024-05-17T08:01:00", "2024-05-17T08:02:00",
                              "2024-05-17T08:03:01"})
            roster.noteEvent(bar, QStringLiteral("heartbeat"), Channel::Tcp, QStringLiteral("127.0.0.1:5000"), At(t));
        const core::TerminalRow& r = roster.row(roster.indexOf(bar));
        QCOMPARE(r.heartbeat.intervals, 3);
        QCOMPARE(*r.heartbeat.meanSeconds(), 181.0 / 3);
        QVERIFY(qAbs(*r.heartbeat.spreadSeconds() - 0.57735) < 1e-4);
        QCOMPARE(r.firstSeenMs, Ms("2024-05-17T08:00:00"));
        QCOMPARE(r.lastSeenMs, Ms("2024-05-17T08:03:01"));

        // Three records, the newest at 10:30; received 10:31:15: the terminal's clock is 75 s behind.
        roster.noteUpload(Upload("2012345678901", 8, 3), Channel::Tcp, At("2024-05-17T10:31:15"));
        roster.noteUpload(Upload("2012345678901", 8, 3), Channel::Tcp, At("2024-05-17T10:32:00"));   // re-sent
        QCOMPARE(r.readings, qint64(3));
        QCOMPARE(*r.clockOffsetS, qint64(-120));   // the re-sent one arrived later still
        QCOMPARE(*r.temperature, -5.1);
        QCOMPARE(*r.humidity, 45.8);
        QCOMPARE(r.lastRecordMs, Ms("2024-05-17T10:30:00"));
        QCOMPARE(*r.batteryV, 3.61);
        QVERIFY(r.online);
    }

    // Silent past three heart-beat intervals (observed, or the longest settable when
    // none is known): overdue until it reports again.
    void overdueTerminals() {
        TerminalRoster roster;
        const QString bar = QStringLiteral("2012345678901"), quiet = QStringLiteral("2012345678902");
        for (const char* t : {"2024-05-17T08:00:00", "2024-05-17T08:01:00", "2024-05-17T08:02:00"})
            roster.noteEvent(bar, QStringLiteral("heartbeat"), Channel::Tcp, {}, At(t));
        roster.noteEvent(quiet, QStringLiteral("registration"), Channel::Udp, {}, At("2024-05-17T08:02:00"));
        const core::TerminalRow& r = roster.row(roster.indexOf(bar));
        const core::TerminalRow& q = roster.row(roster.indexOf(quiet));
        roster.sweepOverdue(Ms("2024-05-17T08:05:00"));   // three intervals of 60 s exactly
        QVERIFY(!r.overdue);
        roster.sweepOverdue(Ms("2024-05-17T08:05:01"));
        QVERIFY(r.overdue);
        QVERIFY(!q.overdue);   // no interval known: 3 x 240 s
        QCOMPARE(roster.overdueCount(), 1);
        roster.sweepOverdue(Ms("2024-05-17T08:14:01"));
        QVERIFY(q.overdue);
        QCOMPARE(roster.overdueCount(), 2);

        // Back: no longer overdue, and the silence was no heart-beat interval.
        roster.noteEvent(bar, QStringLiteral("heartbeat"), Channel::Tcp, {}, At("2024-05-17T08:20:00"));
        QVERIFY(!r.overdue);
        QCOMPARE(r.heartbeat.intervals, 2);
        QCOMPARE(*r.heartbeat.meanSeconds(), 60.0);
        // Offline is not overdue.
        roster.noteOnline(quiet, false, Channel::Udp, {}, At("2024-05-17T08:20:00"));
        QVERIFY(!q.overdue);
        QCOMPARE(roster.overdueCount(), 0);
        roster.sweepOverdue(Ms("2024-05-18T00:00:00"));
        QVERIFY(!q.overdue);
        QVERIFY(r.overdue);
    }

    void seedingMergesWithLiveRows() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        {
            core::ReadingsStore store(path);
            store.addRoomUpload(Upload("2012345678901", 8, 4), Channel::Tcp, At("2024-05-17T11:30:05"));
            store.addRoomUpload(Upload("2012345678902", 1, 2), Channel::Udp, At("2024-05-17T02:30:00"));
            store.addEvent(QStringLiteral("2012345678902"), QStringLiteral("heartbeat"), Channel::Udp,
                           QStringLiteral("127.0.0.2:2020"), At("2024-05-17T02:31:00"));
        }
        TerminalRoster roster;
        roster.noteEvent(QStringLiteral("2012345678902"), QStringLiteral("registration"), Channel::Tcp,
                         QStringLiteral("127.0.0.9:7000"), At("2024-05-18T00:00:00"));
        QSignalSpy seeded(&roster, &TerminalRoster::seeded);
        roster.seedFrom(path);
        QVERIFY(seeded.wait(10000));
        QCOMPARE(seeded.at(0).at(0).toInt(), 2);
        QCOMPARE(roster.size(), 2);
        const core::TerminalRow& stored = roster.row(roster.indexOf(QStringLiteral("2012345678901")));
        QCOMPARE(stored.readings, qint64(4));
        QCOMPARE(stored.lastRecordMs, Ms("2024-05-17T11:30:00"));
        QCOMPARE(*stored.clockOffsetS, qint64(-5));
        QCOMPARE(stored.channel, QStringLiteral("TCP"));
        QVERIFY(!stored.online);
        const core::TerminalRow& live = roster.row(roster.indexOf(QStringLiteral("2012345678902")));
        QCOMPARE(live.readings, qint64(2));
        QCOMPARE(live.peer, QStringLiteral("127.0.0.9:7000"));   // the live event is newer than the file
        QCOMPARE(live.firstSeenMs, Ms("2024-05-17T02:30:00"));     // the file knew it earlier
    }

    void terminalsGoOfflineWithTheirEngine() {
        core::ConsoleSession session;
        TerminalRoster roster;
        auto* engine = new core::TcpDataCentre(session);
        roster.watch(*engine, Channel::Tcp);
        emit engine->terminalOnline(QStringLiteral("2012345678901"), 3, QStringLiteral("127.0.0.1:4000"));
        roster.noteEvent(QStringLiteral("2012345678902"), QStringLiteral("heartbeat"), Channel::Udp, {},
                         QDateTime::currentDateTime());
        QVERIFY(roster.row(0).online);
        delete engine;
        QVERIFY(!roster.row(0).online);
        QVERIFY(roster.row(1).online);   // another channel's terminal is not this engine's
    }

    void exportIsWholeOrAbsent() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        {
            core::ReadingsStore store(path);
            store.addRoomUpload(Upload("2012345678901", 8, 3), Channel::Tcp, At("2024-05-17T10:31:00"));
            store.addRoomUpload(Upload("2012345678902", 8, 1), Channel::Udp, At("2024-05-17T08:31:00"));
        }
        const QString csv = dir.filePath("out.csv");
        const core::ExportResult r = core::ExportCsvFile(path, {QStringLiteral("2012345678901")},
                                                         QStringLiteral("2024-05-17T09:00:00"), {}, csv, true);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.readings, qint64(2));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\xEF\xBB\xBF"
                                         "barcode,time,temperature_c,humidity_pct,battery_v,source\r\n"
                                         "2012345678901,2024-05-17T09:30:00,-5.2,45.7,3.61,TCP\r\n"
                                         "2012345678901,2024-05-17T10:30:00,-5.1,45.8,3.61,TCP\r\n"));

        const QString blocked = dir.filePath("no-such-folder/out.csv");
        const core::ExportResult bad = core::ExportCsvFile(path, {}, {}, {}, blocked, false);
        QVERIFY(!bad.ok);
        QVERIFY(bad.error.startsWith(QStringLiteral("无法写入 ")));
        QVERIFY(!QFile::exists(blocked));
        const core::ExportResult missing =
            core::ExportCsvFile(dir.filePath("absent.db"), {}, {}, {}, dir.filePath("x.csv"), false);
        QVERIFY(!missing.ok);
        QVERIFY(!QFile::exists(dir.filePath("x.csv")));
    }
};

QTEST_GUILESS_MAIN(TestTerminalRoster)
#include "tst_terminal_roster.moc"
