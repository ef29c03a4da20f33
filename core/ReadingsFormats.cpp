#include "core/ReadingsFormats.h"

#include <QLocale>

namespace core {

namespace {

QByteArray CsvField(const QString& text) {
    QByteArray f = text.toUtf8();
    if (f.contains(',') || f.contains('"') || f.contains('\r') || f.contains('\n')) {
        f.replace("\"", "\"\"");
        return '"' + f + '"';
    }
    return f;
}

QByteArray JsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                    out += "\\u00" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
                else
                    out += c;
        }
    }
    return out + '"';
}

QByteArray OptionalNumber(const std::optional<double>& v, const char* none) {
    return v ? NumberText(*v) : QByteArray(none);
}

QByteArray JsonOptionalString(const QString& s) { return s.isEmpty() ? QByteArray("null") : JsonString(s); }

}  // namespace

QByteArray NumberText(double value) {
    // QByteArray::number never uses the locale; "f" keeps exponents out of temperatures.
    QByteArray t = QByteArray::number(value, 'f', QLocale::FloatingPointShortest);
    if (t == "-0") t = "0";
    return t;
}

const char kCsvHeader[] = "barcode,time,temperature_c,humidity_pct,battery_v,source\r\n";

QByteArray CsvLine(const StoredReading& r) {
    return CsvField(r.barCode) + ',' + CsvField(r.time) + ',' + NumberText(r.temperatureC) + ',' +
           NumberText(r.humidityPct) + ',' + OptionalNumber(r.batteryV, "") + ',' + CsvField(r.source) + "\r\n";
}

QByteArray JsonReading(const StoredReading& r) {
    return "{\"barcode\":" + JsonString(r.barCode) + ",\"time\":" + JsonString(r.time) +
           ",\"temperature_c\":" + NumberText(r.temperatureC) + ",\"humidity_pct\":" + NumberText(r.humidityPct) +
           ",\"battery_v\":" + OptionalNumber(r.batteryV, "null") + ",\"source\":" + JsonString(r.source) + '}';
}

QByteArray TerminalsJson(const std::vector<TerminalSummary>& terminals) {
    QByteArray out = "[";
    bool first = true;
    for (const TerminalSummary& t : terminals) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "{\"barcode\":" + JsonString(t.barCode) + ",\"online\":" + (t.online ? "true" : "false") +
               ",\"first_seen\":" + JsonOptionalString(t.firstSeen) + ",\"last_seen\":" + JsonOptionalString(t.lastSeen) +
               ",\"readings\":" + QByteArray::number(t.readings) +
               ",\"last_record_time\":" + JsonOptionalString(t.lastRecordTime) +
               ",\"last_temperature_c\":" + OptionalNumber(t.lastTemperature, "null") +
               ",\"last_humidity_pct\":" + OptionalNumber(t.lastHumidity, "null") +
               ",\"battery_v\":" + OptionalNumber(t.batteryV, "null") + ",\"channel\":" + JsonOptionalString(t.channel) +
               ",\"peer\":" + JsonOptionalString(t.peer) + '}';
    }
    return out + "\n]\n";
}

QByteArray TerminalsTable(const std::vector<TerminalSummary>& terminals) {
    const auto cell = [](const QByteArray& s, int width) { return s.leftJustified(width, ' ') + ' '; };
    QByteArray out = cell("barcode", 13) + cell("last_seen", 19) + cell("readings", 8) + cell("last_record", 19) +
                     cell("temp_c", 6) + cell("hum_pct", 7) + cell("battery", 7) + cell("channel", 7) + "peer\n";
    for (const TerminalSummary& t : terminals) {
        out += cell(t.barCode.toUtf8(), 13) + cell(t.lastSeen.toUtf8(), 19) + cell(QByteArray::number(t.readings), 8) +
               cell(t.lastRecordTime.isEmpty() ? "-" : t.lastRecordTime.toUtf8(), 19) +
               cell(OptionalNumber(t.lastTemperature, "-"), 6) + cell(OptionalNumber(t.lastHumidity, "-"), 7) +
               cell(OptionalNumber(t.batteryV, "-"), 7) + cell(t.channel.isEmpty() ? "-" : t.channel.toUtf8(), 7) +
               (t.peer.isEmpty() ? QByteArray("-") : t.peer.toUtf8()) + '\n';
    }
    return out;
}

}  // namespace core
