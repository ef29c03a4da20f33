#pragma once
// The chart of one terminal's readings: time at the bottom, temperature on the
// left axis, humidity on the right. It keeps the whole series but draws only what
// the plot can show: each redraw thins the visible range to the lowest and the
// highest reading of every pixel column, so a million readings cost a few
// thousand points and no spike is lost.
#include <QChart>

#include <cstdint>

#include "core/TerminalSeriesLoader.h"

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

enum class ChartRange { Day, Week, All };   // the last 24 h / 7 days before the newest reading, or all

class ReadingsChart : public QChart {
    Q_OBJECT
public:
    explicit ReadingsChart(QGraphicsItem* parent = nullptr);

    void setReadings(core::TerminalSeries readings);   // and redraws
    void addReadings(const core::TerminalSeries& more);   // merged in time order, and redraws
    void setRange(ChartRange range);                   // and redraws
    // Thins and redraws with one bucket per pixel column of the plot area;
    // `buckets` > 0 sets the count instead (a chart not laid out yet).
    void redraw(int buckets = 0);

    const core::TerminalSeries& readings() const { return readings_; }
    ChartRange range() const { return range_; }
    std::size_t readingsInRange() const { return inRange_; }
    int buckets() const { return buckets_; }
    QLineSeries* temperatureSeries() const { return temperature_; }
    QLineSeries* humiditySeries() const { return humidity_; }

signals:
    void redrawn();

private:
    void plotAreaMoved(const QRectF& area);

    core::TerminalSeries readings_;
    ChartRange range_ = ChartRange::All;
    std::size_t inRange_ = 0;
    int buckets_ = 0;
    bool redrawQueued_ = false;
    QDateTimeAxis* timeAxis_;
    QValueAxis* temperatureAxis_;
    QValueAxis* humidityAxis_;
    QLineSeries* temperature_;
    QLineSeries* humidity_;
};
