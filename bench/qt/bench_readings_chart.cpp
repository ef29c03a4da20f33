// The readings chart with 1,000,000 readings of one terminal (one a minute, about
// 694 days) in a real readings file: the load, and the draw (min/max thinning to
// one bucket per pixel column, series replace, render to an image), against the
// same chart drawn with every reading in the same run.
// Usage: bench_readings_chart [FOLDER] [NAIVE_READINGS]  (default: all of them)
#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/ReadingsStore.h"
#include "core/TerminalSeriesLoader.h"
#include "ui/ReadingsChart.h"

namespace {

constexpr int kReadings = 1'000'000;
const char* const kBarCode = "2012345678901";

void WriteReadings(const QString& path) {
    core::ReadingsStore store(path);
    ht6630::RoomUpload u;
    u.barCode = kBarCode;
    u.batteryCentivolts = 360;
    const QDateTime start(QDate(2023, 1, 1), QTime(0, 0));
    QDate date = start.date();
    for (int i = 0; i < kReadings; ++i) {
        const int minuteOfDay = i % 1440;
        if (i > 0 && minuteOfDay == 0) date = date.addDays(1);
        // A daily swing with a slow drift, and a spike now and then.
        const int temperature = 200 + (minuteOfDay < 720 ? minuteOfDay : 1440 - minuteOfDay) / 12 + (i / 50000) % 30 +
                                (i % 99991 == 0 ? 300 : 0);
        const int humidity = 450 + (i / 7) % 200;
        u.records.push_back({ht6630::CivilTime{date.year(), date.month(), date.day(), minuteOfDay / 60,
                                               minuteOfDay % 60, 0},
                             temperature, humidity});
        if (u.records.size() == 48 || i + 1 == kReadings) {
            store.addRoomUpload(u, core::Channel::Tcp, start);
            u.records.clear();
        }
    }
    store.flush();
}

double Ms(const QElapsedTimer& clock) { return double(clock.nsecsElapsed()) / 1e6; }

// The calling thread's CPU time: steadier than wall time on a shared machine.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Lets deferred layout run, then paints the view into an image: what a screen refresh costs.
void Render(QChartView& view, QImage& image) {
    QCoreApplication::processEvents();
    image.fill(Qt::white);
    QPainter painter(&image);
    view.render(&painter);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp(argc > 1 && *argv[1] ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench-XXXXXX") : QString());
    const QString path = temp.filePath(QStringLiteral("readings.db"));
    const int naiveReadings = argc > 2 ? std::atoi(argv[2]) : kReadings;

    QElapsedTimer clock;
    clock.start();
    WriteReadings(path);
    std::printf("wrote %d readings of one terminal in %.2f s\n", kReadings, Ms(clock) / 1000);

    auto* chart = new ReadingsChart;
    QChartView view(chart);
    view.resize(1700, 900);
    view.show();
    QCoreApplication::processEvents();
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);

    for (int run = 1; run <= 3; ++run) {
        clock.restart();
        const double cpuBefore = ThreadCpuMs();
        core::TerminalSeriesLoad load = core::LoadTerminalSeries(path, kBarCode);
        const double loadMs = Ms(clock), loadCpuMs = ThreadCpuMs() - cpuBefore;
        if (!load.error.isEmpty() || int(load.series.size()) != kReadings) {
            std::fprintf(stderr, "load failed: %s (%zu readings)\n", qPrintable(load.error), load.series.size());
            return 1;
        }
        clock.restart();
        chart->setReadings(std::move(load.series));   // thins and replaces both series
        const double thinMs = Ms(clock);
        Render(view, image);
        const double drawMs = Ms(clock);
        std::printf("run %d: load %.0f ms (CPU %.0f ms), draw %.1f ms (thin+replace %.1f ms; %d buckets, %lld points), "
                    "load+draw %.0f ms\n",
                    run, loadMs, loadCpuMs, drawMs, thinMs, chart->buckets(),
                    qlonglong(chart->temperatureSeries()->count() + chart->humiditySeries()->count()),
                    loadMs + drawMs);
    }

    // The reference: the same chart and axes with every reading as a point.
    const core::TerminalSeries& r = chart->readings();
    clock.restart();
    QList<QPointF> t, h;
    t.reserve(naiveReadings);
    h.reserve(naiveReadings);
    for (int i = 0; i < naiveReadings; ++i) {
        t.append(QPointF(double(r.timesMs[std::size_t(i)]), r.temperatureC[std::size_t(i)]));
        h.append(QPointF(double(r.timesMs[std::size_t(i)]), r.humidityPct[std::size_t(i)]));
    }
    chart->temperatureSeries()->replace(t);
    chart->humiditySeries()->replace(h);
    Render(view, image);
    std::printf("unthinned reference: draw %.0f ms (%d readings, %lld points)\n", Ms(clock), naiveReadings,
                qlonglong(t.size() + h.size()));
    return 0;
}
