// The chart's data: min/max thinning on crafted series, and one terminal's
// readings read from real SQLite files written by the readings store.
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <ctime>

#include "core/MinMaxDownsample.h"
#include "core/ReadingsStore.h"
#include "core/TerminalSeriesLoader.h"

using Indices = std::vector<std::size_t>;
using Times = std::vector<std::int64_t>;

namespace {

Indices Thin(const Times& t, const std::vector<double>& v, std::int64_t from, std::int64_t to, int buckets) {
    return core::MinMaxDownsample(t, v, from, to, buckets);
}

qint64 LocalMs(int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi)).toMSecsSinceEpoch(); }

}  // namespace

class TestChartSeries : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // A zone with daylight saving time (no tz database needed): a day with a change is parsed too.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }

    void eachBucketKeepsItsMinimumAndMaximumInTimeOrder() {
        Times t(100);
        std::vector<double> v(100, 0.0);
        for (int i = 0; i < 100; ++i) t[std::size_t(i)] = i;
        v[12] = -50;   // bucket 0 (times 0-24): the dip; the maximum is the first of the ties
        v[37] = 100;   // bucket 1 (25-49): the spike
        QCOMPARE(Thin(t, v, 0, 99, 4), (Indices{0, 12, 25, 37, 50, 75}));
        // Edges: floor(t * 3 / 8) puts times 0-2, 3-5 and 6-7 together.
        const Times e{0, 1, 2, 3, 4, 5, 6, 7};
        QCOMPARE(Thin(e, {7, 6, 5, 4, 3, 2, 1, 0}, 0, 7, 3), (Indices{0, 2, 3, 5, 6, 7}));
    }

    void emptyBucketsAreSkippedAndTheRangeBoundsHold() {
        const Times t{100, 105, 300, 301, 1000};
        const std::vector<double> v{1, 2, 3, 4, 5};
        QCOMPARE(Thin(t, v, 100, 301, 4), (Indices{0, 1, 2, 3}));   // buckets 1 and 2 empty, 1000 outside
        QCOMPARE(Thin(t, v, 101, 300, 4), (Indices{1, 2}));         // both ends inclusive
        QCOMPARE(Thin(t, v, 400, 900, 10), Indices{});
        QCOMPARE(Thin(t, v, 301, 300, 10), Indices{});
        // 2e15 ms times 10,000 buckets passes 2^63; the widest range splits at zero.
        QCOMPARE(Thin({0, 1'000'000'000'000'000, 2'000'000'000'000'000}, v, 0, 2'000'000'000'000'000, 10'000),
                 (Indices{0, 1, 2}));
        QCOMPARE(Thin({-5, 5}, {1, 2}, INT64_MIN, INT64_MAX, 2), (Indices{0, 1}));
    }

    void localTimeTextIsParsedLikeQDateTime() {
        std::int64_t ms = 0;
        const auto parse = [&](const char* text) { return core::ParseLocalIsoTime(text, std::strlen(text), &ms); };
        QVERIFY(parse("2024-07-15T08:30:00"));   // summer time
        QCOMPARE(ms, QDateTime(QDate(2024, 7, 15), QTime(6, 30), Qt::UTC).toMSecsSinceEpoch());
        // The day the clocks go forward (02:00 -> 03:00): before and after the change.
        QVERIFY(parse("2024-03-31T01:30:00"));
        QCOMPARE(ms, LocalMs(2024, 3, 31, 1, 30));
        QVERIFY(parse("2024-03-31T04:00:00"));
        QCOMPARE(ms, QDateTime(QDate(2024, 3, 31), QTime(2, 0), Qt::UTC).toMSecsSinceEpoch());
        QVERIFY(!parse("2024-02-30T08:30:00"));
        QVERIFY(!parse("2024-05-17 08:30:00"));
        QVERIFY(!parse("2024-05-17T08:30"));
    }

    void loadsOneTerminalsReadingsWithExactValues() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        {
            core::ReadingsStore store(path);
            ht6630::RoomUpload a;
            a.barCode = "2012345678901";
            a.records = {{ht6630::CivilTime{2024, 5, 17, 10, 30, 0}, -51, 458},
                         {ht6630::CivilTime{2024, 5, 17, 8, 30, 0}, -53, 456},
                         {ht6630::CivilTime{2024, 5, 17, 9, 30, 0}, 2, 1000}};
            ht6630::RoomUpload b = a;
            b.barCode = "2012345678902";
            const QDateTime received(QDate(2024, 5, 17), QTime(11, 0));
            store.addRoomUpload(a, core::Channel::Tcp, received);
            store.addRoomUpload(b, core::Channel::Udp, received);
            QVERIFY(store.flush(10000));
        }
        const core::TerminalSeriesLoad load = core::LoadTerminalSeries(path, "2012345678901");
        QCOMPARE(load.error, QString());
        QCOMPARE(load.series.timesMs,
                 (Times{LocalMs(2024, 5, 17, 8, 30), LocalMs(2024, 5, 17, 9, 30), LocalMs(2024, 5, 17, 10, 30)}));
        QCOMPARE(load.series.temperatureC, (std::vector<double>{-5.3, 0.2, -5.1}));
        QCOMPARE(load.series.humidityPct, (std::vector<double>{45.6, 100.0, 45.8}));

        const core::TerminalSeriesLoad none = core::LoadTerminalSeries(path, "2099999999999");
        QCOMPARE(none.error, QString());
        QCOMPARE(int(none.series.size()), 0);
    }

    void aMissingFileIsReportedAndNotCreated() {
        QTemporaryDir dir;
        const QString path = dir.filePath("absent.db");
        QCOMPARE(core::LoadTerminalSeries(path, "2012345678901").error, QStringLiteral("读数库不存在：") + path);
        QVERIFY(!QFile::exists(path));
    }

    void aFileThatIsNotADatabaseIsReportedAndLeftAlone() {
        QTemporaryDir dir;
        const QString path = dir.filePath("readings.db");
        const QByteArray junk = QByteArray("not a database, only text\n").repeated(200);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(junk) == junk.size());
        f.close();
        const core::TerminalSeriesLoad load = core::LoadTerminalSeries(path, "2012345678901");
        QVERIFY2(load.error.startsWith(QStringLiteral("无法读取读数库 ") + path), qPrintable(load.error));
        QCOMPARE(int(load.series.size()), 0);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), junk);
    }
};

QTEST_GUILESS_MAIN(TestChartSeries)
#include "tst_chart_series.moc"
