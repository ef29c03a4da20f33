#include "HomeAssistantDiscovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace service {

namespace {

// A node or object id: letters, digits, '_' and '-' only.
QString IdText(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'_' && c != u'-') c = u'_';
    return out;
}

struct Sensor {
    const char* object;    // object id and the state's key
    const char* name;
    const char* deviceClass;
    const char* unit;
};

constexpr Sensor kSensors[] = {
    {"temperature", "Temperature", "temperature", "°C"},
    {"humidity", "Humidity", "humidity", "%"},
    {"battery", "Battery", "voltage", "V"},
};

}  // namespace

QByteArray DiscoveryStatusTopic(const QString& discoveryPrefix) { return (discoveryPrefix + QStringLiteral("/status")).toUtf8(); }

std::vector<DiscoveryMessage> DiscoveryConfigs(const QString& discoveryPrefix, const QString& prefix,
                                               const QString& barCode, const QString& firmware, int expireAfterS) {
    const QString nodeId = IdText(prefix + QLatin1Char('_') + barCode);
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{barCode});
    device.insert(QStringLiteral("name"), QStringLiteral("HT6630-QN ") + barCode);
    device.insert(QStringLiteral("model"), QStringLiteral("HT6630-QN"));
    if (!firmware.isEmpty()) device.insert(QStringLiteral("sw_version"), firmware);
    QJsonObject availability;
    availability.insert(QStringLiteral("topic"), prefix + QLatin1Char('/') + barCode + QStringLiteral("/status"));
    availability.insert(QStringLiteral("value_template"), QStringLiteral("{{ 'online' if value_json.online else 'offline' }}"));
    availability.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
    availability.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));

    std::vector<DiscoveryMessage> out;
    for (const Sensor& s : kSensors) {
        const QString object = QString::fromLatin1(s.object);
        QJsonObject o;
        o.insert(QStringLiteral("name"), QString::fromLatin1(s.name));
        o.insert(QStringLiteral("unique_id"), nodeId + QLatin1Char('_') + object);
        o.insert(QStringLiteral("device"), device);
        o.insert(QStringLiteral("device_class"), QString::fromLatin1(s.deviceClass));
        o.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        o.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(s.unit));
        o.insert(QStringLiteral("state_topic"), prefix + QLatin1Char('/') + barCode + QStringLiteral("/state"));
        // A reading without a known battery voltage leaves the key out: "None" is Home Assistant's unknown.
        o.insert(QStringLiteral("value_template"),
                 object == QLatin1String("battery")
                     ? QStringLiteral("{{ value_json.battery if value_json.battery is defined else None }}")
                     : QStringLiteral("{{ value_json.%1 }}").arg(object));
        o.insert(QStringLiteral("availability"), QJsonArray{availability});
        o.insert(QStringLiteral("expire_after"), expireAfterS);
        out.push_back({(discoveryPrefix + QStringLiteral("/sensor/") + nodeId + QLatin1Char('/') + object +
                        QStringLiteral("/config"))
                           .toUtf8(),
                       QJsonDocument(o).toJson(QJsonDocument::Compact)});
    }
    return out;
}

}  // namespace service
