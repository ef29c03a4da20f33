#include "MqttPayloads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>
#include <cstring>

namespace service {

namespace {
QString FromStd(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
// Water temperatures are decoded as floats with two decimals: 45.37f would print as 45.369998931884766.
double Hundredths(double v) { return std::round(v * 100.0) / 100.0; }

// `head` (the text up to the value: separator and key) and the value as a JSON string,
// when it needs no escaping: printable ASCII without quote or backslash, as bar codes,
// times and node names are. False otherwise.
// Written into the reserved room at the end (no append per character: an upload's
// payload is a few thousand characters).
bool AppendText(QByteArray& out, const char* head, const QString& value) {
    const qsizetype headSize = qsizetype(std::strlen(head));
    const qsizetype at = out.size();
    out.resize(at + headSize + value.size() + 2);
    char* d = out.data() + at;
    std::memcpy(d, head, std::size_t(headSize));
    d += headSize;
    *d++ = '"';
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7e || u == u'"' || u == u'\\') return false;
        *d++ = char(u);
    }
    *d = '"';
    return true;
}

// A value stored in hundredths (readings are tenths of a degree or a percent and
// hundredths of a volt): its shortest round-trip form is those digits, trailing zeros
// left out, which is what QJsonDocument writes. False for anything else.
bool AppendHundredths(QByteArray& out, double value) {
    if (!(std::fabs(value) < 1e9) || (value == 0 && std::signbit(value))) return false;
    const long long h = std::llround(value * 100.0);
    if (double(h) / 100.0 != value) return false;
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    unsigned long long a = static_cast<unsigned long long>(h < 0 ? -h : h);
    const int cents = int(a % 100);
    a /= 100;
    if (cents != 0) {
        if (cents % 10 != 0) *--p = char('0' + cents % 10);
        *--p = char('0' + cents / 10);
        *--p = '.';
    }
    do {
        *--p = char('0' + a % 10);
        a /= 10;
    } while (a != 0);
    if (h < 0) *--p = '-';
    out.append(p, end - p);
    return true;
}

// `head` and the number as QJsonDocument writes a double; false for infinities and NaN.
bool AppendNumber(QByteArray& out, const char* head, double value) {
    if (!std::isfinite(value)) return false;
    out += head;
    if (!AppendHundredths(out, value)) out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    return true;
}

QByteArray ReadingPayloadByJson(const core::PublishedReading& r, const QString& node) {
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

QJsonObject RecordObject(const core::PublishedReading& r) {
    QJsonObject o;
    o.insert(QStringLiteral("time"), r.time);
    o.insert(QStringLiteral("temperature"), r.temperature);
    o.insert(QStringLiteral("humidity"), r.humidity);
    if (r.battery) o.insert(QStringLiteral("battery"), *r.battery);
    return o;
}

QByteArray UploadPayloadByJson(ReadingIt first, ReadingIt last,
                               const QString& node) {
    QJsonArray records;
    for (ReadingIt r = first; r <= last; ++r) records.append(RecordObject(*r));
    QJsonObject o;
    o.insert(QStringLiteral("barcode"), first->barCode);
    o.insert(QStringLiteral("node"), node);
    o.insert(QStringLiteral("readings"), records);
    o.insert(QStringLiteral("received"), first->received);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
}  // namespace

// Written out directly, a reading at a time: the same bytes as QJsonDocument's compact
// form (keys in its sorted order), without building a QJsonObject for every reading.
QByteArray ReadingPayload(const core::PublishedReading& r, const QString& node) {
    QByteArray out;
    out.reserve(160 + r.barCode.size() + node.size());
    const bool plain = AppendText(out, "{\"barcode\":", r.barCode) &&
                       (!r.battery || AppendNumber(out, ",\"battery\":", *r.battery)) &&
                       AppendNumber(out, ",\"humidity\":", r.humidity) && AppendText(out, ",\"node\":", node) &&
                       AppendText(out, ",\"received\":", r.received) &&
                       AppendNumber(out, ",\"temperature\":", r.temperature) && AppendText(out, ",\"time\":", r.time);
    if (!plain) return ReadingPayloadByJson(r, node);
    out += '}';
    return out;
}

// Written out directly like a single reading, keys in QJsonDocument's order.
QByteArray UploadPayload(ReadingIt first, ReadingIt last, const QString& node) {
    QByteArray out;
    out.reserve(96 + first->barCode.size() + node.size() + 80 * (last - first + 1));
    bool plain = AppendText(out, "{\"barcode\":", first->barCode) && AppendText(out, ",\"node\":", node);
    out += ",\"readings\":[";
    for (ReadingIt r = first; plain && r <= last; ++r) {
        if (r != first) out += ',';
        out += '{';
        plain = (r->battery ? AppendNumber(out, "\"battery\":", *r->battery) && AppendNumber(out, ",\"humidity\":", r->humidity)
                            : AppendNumber(out, "\"humidity\":", r->humidity)) &&
                AppendNumber(out, ",\"temperature\":", r->temperature) && AppendText(out, ",\"time\":", r->time);
        out += '}';
    }
    plain = plain && AppendText(out, "],\"received\":", first->received);
    if (!plain) return UploadPayloadByJson(first, last, node);
    out += '}';
    return out;
}

int ReadingsOfOneUpload(ReadingIt first, ReadingIt end, int limit) {
    if (first == end || first->heat) return first == end ? 0 : 1;
    int n = 1;
    for (ReadingIt r = first + 1; r != end && n < limit; ++r, ++n)
        if (r->heat || r->barCode != first->barCode || r->received != first->received) break;
    return n;
}

QByteArray HeatPayload(const QString& barCode, const ht6630::HeatMeterRecord& m, const QString& node,
                       const QString& received) {
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
    o.insert(QStringLiteral("received"), received);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray StoreStatusPayload(bool failing, const QString& reason, const QString& node, const QString& since) {
    QJsonObject o;
    o.insert(QStringLiteral("store"), failing ? QStringLiteral("failing") : QStringLiteral("ok"));
    o.insert(QStringLiteral("node"), node);
    o.insert(QStringLiteral("since"), since);
    if (failing) o.insert(QStringLiteral("reason"), reason);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace service
