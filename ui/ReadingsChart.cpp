#include "ui/ReadingsChart.h"

#include "ui/DisplayLanguage.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

#include "core/MinMaxDownsample.h"

namespace {

constexpr std::int64_t kDayMs = 24 * 3600 * 1000;
constexpr int kUnlaidBuckets = 800;   // before the first layout the plot area is empty

// The points kept of one quantity, and their lowest and highest value.
QList<QPointF> Thinned(const core::TerminalSeries& r, const std::vector<double>& values, std::int64_t from,
                       std::int64_t to, int buckets, double* lo, double* hi) {
    const std::vector<std::size_t> kept = core::MinMaxDownsample(r.timesMs, values, from, to, buckets);
    QList<QPointF> points;
    points.reserve(qsizetype(kept.size()));
    for (std::size_t i : kept) {
        points.append(QPointF(double(r.timesMs[i]), values[i]));
        *lo = std::min(*lo, values[i]);
        *hi = std::max(*hi, values[i]);
    }
    return points;
}

// A little room above and below the curve, so its extremes are not drawn on the frame.
void FitAxis(QValueAxis* axis, double lo, double hi) {
    if (lo > hi) return;   // nothing shown
    const double margin = std::max((hi - lo) * 0.05, 0.5);
    axis->setRange(lo - margin, hi + margin);
}

}  // namespace

ReadingsChart::ReadingsChart(QGraphicsItem* parent) : QChart(parent) {
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTickCount(7);
    temperatureAxis_ = new QValueAxis;
    temperatureAxis_->setTitleText(Shown(QStringLiteral("温度(℃)")));
    temperatureAxis_->setLabelFormat(QStringLiteral("%.1f"));
    humidityAxis_ = new QValueAxis;
    humidityAxis_->setTitleText(Shown(QStringLiteral("湿度(%RH)")));
    humidityAxis_->setLabelFormat(QStringLiteral("%.1f"));
    addAxis(timeAxis_, Qt::AlignBottom);
    addAxis(temperatureAxis_, Qt::AlignLeft);
    addAxis(humidityAxis_, Qt::AlignRight);

    temperature_ = new QLineSeries;
    temperature_->setName(Shown(QStringLiteral("温度(℃)")));
    humidity_ = new QLineSeries;
    humidity_->setName(Shown(QStringLiteral("湿度(%RH)")));
    for (auto [series, axis] : {std::pair{temperature_, temperatureAxis_}, std::pair{humidity_, humidityAxis_}}) {
        addSeries(series);
        series->attachAxis(timeAxis_);
        series->attachAxis(axis);
    }
    connect(this, &QChart::plotAreaChanged, this, &ReadingsChart::plotAreaMoved);
}

void ReadingsChart::setReadings(core::TerminalSeries readings) {
    readings_ = std::move(readings);
    redraw();
}

void ReadingsChart::addReadings(const core::TerminalSeries& more) {
    core::MergeReadings(readings_, more);
    redraw();
}

void ReadingsChart::setRange(ChartRange range) {
    range_ = range;
    redraw();
}

void ReadingsChart::redraw(int buckets) {
    buckets_ = buckets > 0 ? buckets : int(plotArea().width());
    if (buckets_ < 1) buckets_ = kUnlaidBuckets;
    const std::vector<std::int64_t>& times = readings_.timesMs;
    if (times.empty()) {
        inRange_ = 0;
        temperature_->clear();
        humidity_->clear();
        emit redrawn();
        return;
    }
    const std::int64_t to = times.back();
    const std::int64_t from = range_ == ChartRange::Day    ? to - kDayMs
                              : range_ == ChartRange::Week ? to - 7 * kDayMs
                                                           : times.front();
    inRange_ = std::size_t(std::upper_bound(times.begin(), times.end(), to) -
                           std::lower_bound(times.begin(), times.end(), from));

    double tLo = HUGE_VAL, tHi = -HUGE_VAL, hLo = HUGE_VAL, hHi = -HUGE_VAL;
    const QList<QPointF> t = Thinned(readings_, readings_.temperatureC, from, to, buckets_, &tLo, &tHi);
    const QList<QPointF> h = Thinned(readings_, readings_.humidityPct, from, to, buckets_, &hLo, &hHi);
    // A single reading still gets a time span to sit in.
    const std::int64_t pad = from == to ? 30 * 60 * 1000 : 0;
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from - pad), QDateTime::fromMSecsSinceEpoch(to + pad));
    timeAxis_->setFormat(to - from > 7 * kDayMs ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("MM-dd HH:mm"));
    FitAxis(temperatureAxis_, tLo, tHi);
    FitAxis(humidityAxis_, hLo, hHi);
    temperature_->replace(t);
    humidity_->replace(h);
    emit redrawn();
}

// A resize changes the plot's width: thin again for the new pixel count, after
// the layout that reported it has finished.
void ReadingsChart::plotAreaMoved(const QRectF& area) {
    if (readings_.timesMs.empty() || int(area.width()) == buckets_ || int(area.width()) < 1 || redrawQueued_) return;
    redrawQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            redrawQueued_ = false;
            if (int(plotArea().width()) != buckets_) redraw();
        },
        Qt::QueuedConnection);
}
