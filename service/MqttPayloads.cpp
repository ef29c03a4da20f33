#include "MqttPayloads.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace service {

namespace {
QString FromStd(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
// Water temperatures are decoded as floats with two decimals: 45.37f would print as 45.369998931884766.
double Hundredths(double v) { return std::round(v * 100.0) / 100.0; }
}  // namespace

QByteArray ReadingPayload(const core::PublishedReading& r, const QString& node) {
    QJsonObject o;
    o.insert(QStringLiteral("barcode"), r.barCode);
    o.insert(QStringLiteral("time"), r.time);
    o.insert(QStringLiteral("temperature"), r.temperature);
    o.insert(QStringLiteral("humidity"), r.humidity);
    if (r.battery) o.insert(QStringLiteral("battery"), *r.battery);
    o.insert(QStringLiteral("node"), node);
    o.insert(QStringLiteral("received"), r.received);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray HeatPayload(const QString& barCode, const ht6630::HeatMeterRecord& m, const QString& node,
                       const QDateTime& received) {
    QJsonObject o;
    o.insert(QStringLiteral("barcode"), barCode);
    o.insert(QStringLiteral("meter_address"), FromStd(m.meterAddress));   // digits with leading zeros: a text
    // The meter's own clock, "YYYY-MM-DD hh:mm:ss" as it reports it, in the ISO form of the other times.
    o.insert(QStringLiteral("meter_time"), FromStd(m.meterClock).replace(QLatin1Char(' '), QLatin1Char('T')));
    o.insert(QStringLiteral("last_heat"), m.lastHeat);
    o.insert(QStringLiteral("heat"), m.heat);
    o.insert(QStringLiteral("power"), m.power);
    o.insert(QStringLiteral("flow"), m.flow);
    o.insert(QStringLiteral("total_flow"), m.totalFlow);
    o.insert(QStringLiteral("supply_temperature"), Hundredths(m.supplyTemperature));
    o.insert(QStringLiteral("return_temperature"), Hundredths(m.returnTemperature));
    o.insert(QStringLiteral("temperature_difference"),
             Hundredths(double(m.supplyTemperature) - double(m.returnTemperature)));
    o.insert(QStringLiteral("working_hours"), m.workingHours);
    o.insert(QStringLiteral("flags"), int(m.flags));
    // The status byte, bit 7 first.
    static const char* const kBits[8] = {"supply_sensor_open",  "return_sensor_open", "supply_sensor_short",
                                         "return_sensor_short", "negative_difference", "low_voltage",
                                         "flow_error",          "pipes_reversed"};
    for (int bit = 0; bit < 8; ++bit)
        o.insert(QLatin1String(kBits[bit]), bool(m.flags & (0x80 >> bit)));
    o.insert(QStringLiteral("node"), node);
    o.insert(QStringLiteral("received"), received.toString(Qt::ISODate));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace service
