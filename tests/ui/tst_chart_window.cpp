// The readings chart window on real SQLite files: it loads on its worker, draws at
// most two points per pixel column and keeps the extremes, follows the range
// choice, saves a PNG, tells an empty terminal and a missing file, follows the
// readings a store commits (or those it is given), and can be closed while it loads.
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include "core/ReadingsStore.h"
#include "ui/ChartWindow.h"
#include "ui/ReadingsChart.h"

namespace {

constexpr int kReadings = 20'000;   // one a minute from 2024-01-10 00:00
constexpr int kSpike = 12'345, kDip = 7'777, kWet = 15'000, kDry = 3'000;
const QDateTime kStart(QDate(2024, 1, 10), QTime(0, 0));

void WriteReadings(const QString& path) {
    core::ReadingsStore store(path);
    ht6630::RoomUpload u;
    u.barCode = "2012345678901";
    for (int i = 0; i < kReadings; ++i) {
        const QDateTime t = kStart.addSecs(60LL * i);
        int temperature = 200 + i % 100, humidity = 400 + i % 200;   // tenths
        if (i == kSpike) temperature = 850;
        if (i == kDip) temperature = -400;
        if (i == kWet) humidity = 999;
        if (i == kDry) humidity = 0;
        u.records.push_back({ht6630::CivilTime{t.date().year(), t.date().month(), t.date().day(), t.time().hour(),
                                               t.time().minute(), 0},
                             temperature, humidity});
        if (u.records.size() == 48 || i + 1 == kReadings) {
            store.addRoomUpload(u, core::Channel::Tcp, t);
            u.records.clear();
        }
    }
    QVERIFY(store.flush(30000));
}

bool HasPoint(const QLineSeries* s, qint64 ms, double value) {
    const QList<QPointF> points = s->points();
    return std::any_of(points.begin(), points.end(),
                       [&](const QPointF& p) { return qint64(p.x()) == ms && p.y() == value; });
}

QString Info(ChartWindow* w) { return w->findChild<QLabel*>("lblChartInfo")->text(); }

}  // namespace

class TstChartWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        path_ = dir_.filePath("readings.db");
        WriteReadings(path_);
    }

    void drawsThinnedCurvesWithTheirExtremesAndSavesAPng() {
        auto* w = new ChartWindow(path_, "2012345678901");
        QPointer<ChartWindow> guard(w);
        QCOMPARE(w->objectName(), QStringLiteral("frmChart"));
        QCOMPARE(w->windowTitle(), QStringLiteral("温湿度曲线 - 2012345678901"));
        w->resize(900, 560);
        w->show();
        QTRY_VERIFY_WITH_TIMEOUT(w->isLoaded(), 20000);
        ReadingsChart* chart = w->chart();
        // One bucket per pixel column of the laid-out plot.
        QTRY_COMPARE_WITH_TIMEOUT(chart->buckets(), int(chart->plotArea().width()), 5000);
        QVERIFY(chart->buckets() > 100);
        QCOMPARE(int(chart->readings().size()), kReadings);
        QCOMPARE(int(chart->readingsInRange()), kReadings);
        QLineSeries* t = chart->temperatureSeries();
        QLineSeries* h = chart->humiditySeries();
        QVERIFY(t->count() <= 2 * chart->buckets() && t->count() > chart->buckets() / 2);
        QVERIFY(h->count() <= 2 * chart->buckets());
        const auto at = [](int i) { return kStart.addSecs(60LL * i).toMSecsSinceEpoch(); };
        QVERIFY(HasPoint(t, at(kSpike), 85.0));
        QVERIFY(HasPoint(t, at(kDip), -40.0));
        QVERIFY(HasPoint(h, at(kWet), 99.9));
        QVERIFY(HasPoint(h, at(kDry), 0.0));
        QCOMPARE(Info(w), QStringLiteral("共 20000 条读数，本范围 20000 条，绘出 %1 点").arg(t->count() + h->count()));

        // The last 24 hours before the newest reading: 1,441 readings, both ends included.
        w->findChild<QRadioButton*>("optDay")->click();
        QCOMPARE(chart->range(), ChartRange::Day);
        QCOMPARE(int(chart->readingsInRange()), 24 * 60 + 1);
        const qint64 from = at(kReadings - 1 - 24 * 60);
        const QList<QPointF> day = t->points();
        QVERIFY(!day.isEmpty() && qint64(day.first().x()) == from && qint64(day.last().x()) == at(kReadings - 1));
        QVERIFY(!HasPoint(t, at(kSpike), 85.0));   // 11 days earlier
        w->findChild<QRadioButton*>("optWeek")->click();
        QCOMPARE(int(chart->readingsInRange()), 7 * 24 * 60 + 1);
        QVERIFY(HasPoint(t, at(kSpike), 85.0));

        // A wider window: thinned again for the new pixel count.
        const int narrow = chart->buckets();
        w->resize(1300, 560);
        QTRY_VERIFY_WITH_TIMEOUT(chart->buckets() > narrow + 300, 5000);
        QCOMPARE(chart->buckets(), int(chart->plotArea().width()));
        QVERIFY(t->count() <= 2 * chart->buckets() && t->count() > narrow * 2);

        const QString png = dir_.filePath("chart.png");
        QVERIFY(w->savePng(png));
        const QImage image(png);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), w->findChild<QWidget*>("chartView")->size());
        w->close();   // deletes the window
        QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 5000);
    }

    void anEmptyTerminalAndAMissingFileAreTold() {
        ChartWindow empty(path_, "2099999999999");
        QTRY_VERIFY_WITH_TIMEOUT(empty.isLoaded(), 20000);
        QCOMPARE(Info(&empty), QStringLiteral("读数库中没有终端 2099999999999 的读数"));
        QCOMPARE(empty.chart()->temperatureSeries()->count(), 0);
        empty.findChild<QRadioButton*>("optDay")->click();   // nothing to draw, no fault

        const QString missing = dir_.filePath("absent.db");
        ChartWindow absent(missing, "2012345678901");
        QTRY_VERIFY_WITH_TIMEOUT(absent.isLoaded(), 20000);
        QCOMPARE(Info(&absent), QStringLiteral("无法显示读数：读数库不存在：") + missing);
        QVERIFY(!QFile::exists(missing));
    }

    void aStoresChartFollowsTheReadingsItCommits() {
        QTemporaryDir dir;
        core::ReadingsStore store(dir.filePath("live.db"));
        ht6630::RoomUpload u;
        u.barCode = "2012345678901";
        u.records.push_back({ht6630::CivilTime{2024, 5, 17, 8, 0, 0}, 215, 456});
        store.addRoomUpload(u, core::Channel::Tcp, QDateTime::currentDateTime());
        QVERIFY(store.flush(10000));
        auto* w = new ChartWindow(store, "2012345678901");
        QPointer<ChartWindow> guard(w);
        QTRY_VERIFY_WITH_TIMEOUT(w->isLoaded(), 10000);
        QCOMPARE(w->chart()->readings().size(), std::size_t(1));
        // Two newer readings and one of another terminal: the chart takes its terminal's.
        u.records = {{ht6630::CivilTime{2024, 5, 17, 8, 15, 0}, 220, 450}, {ht6630::CivilTime{2024, 5, 17, 8, 30, 0}, 225, 440}};
        store.addRoomUpload(u, core::Channel::Tcp, QDateTime::currentDateTime());
        ht6630::RoomUpload other = u;
        other.barCode = "2012345678902";
        store.addRoomUpload(other, core::Channel::Tcp, QDateTime::currentDateTime());
        QTRY_COMPARE_WITH_TIMEOUT(w->chart()->readings().size(), std::size_t(3), 10000);
        QCOMPARE(w->chart()->readings().temperatureC.back(), 22.5);
        QTRY_VERIFY_WITH_TIMEOUT(Info(w).startsWith(QStringLiteral("共 3 条读数")), 5000);
        delete w;
    }

    void aChartWithoutAFileTakesTheReadingsItIsGivenInTimeOrder() {
        ChartWindow w(QStringLiteral("2012345678901"));
        QCOMPARE(Info(&w), QStringLiteral("等待终端 2012345678901 的读数…"));
        core::TerminalSeries later{{3000, 4000}, {21.0, 22.0}, {40.0, 41.0}};
        core::TerminalSeries earlier{{1000, 3000}, {19.0, 99.0}, {30.0, 99.0}};   // 3000 is there already
        w.addReadings(later);
        w.addReadings(earlier);
        QCOMPARE(w.chart()->readings().timesMs, (std::vector<std::int64_t>{1000, 3000, 4000}));
        QCOMPARE(w.chart()->readings().temperatureC, (std::vector<double>{19.0, 21.0, 22.0}));
        QTRY_VERIFY_WITH_TIMEOUT(Info(&w).startsWith(QStringLiteral("共 3 条读数")), 5000);
    }

    void closingWhileLoadingDeletesTheWindowSafely() {
        for (int k = 0; k < 5; ++k) {
            QPointer<ChartWindow> w = new ChartWindow(path_, "2012345678901");
            w->show();
            w->close();
            QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 5000);
        }
        QTest::qWait(50);   // a result posted late would arrive here
    }

private:
    QTemporaryDir dir_;
    QString path_;
};

QTEST_MAIN(TstChartWindow)
#include "tst_chart_window.moc"
