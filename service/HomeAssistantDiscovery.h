#pragma once
// Home Assistant MQTT discovery ([mqtt] discovery = homeassistant): each terminal is
// a device with three sensors, temperature, humidity and battery voltage, read from
// the retained <prefix>/<barcode>/state and available while <prefix>/<barcode>/status
// says online. The configurations are published retained under
//   <discovery_prefix>/sensor/<prefix>_<barcode>/<temperature|humidity|battery>/config
// named after the terminal, not the node: whichever node holds it publishes the same
// topics, and a terminal that moves to another node keeps one configuration per sensor.
#include <QByteArray>
#include <QString>

#include <vector>

namespace service {

struct DiscoveryMessage {
    QByteArray topic, payload;
};

// The three configurations of one terminal. `firmware` (empty when not known) is the
// device's sw_version; `expireAfterS` how long a state stays valid without a newer one.
std::vector<DiscoveryMessage> DiscoveryConfigs(const QString& discoveryPrefix, const QString& prefix,
                                               const QString& barCode, const QString& firmware, int expireAfterS);

// Where Home Assistant announces "online" when it (re)starts: <discovery_prefix>/status.
QByteArray DiscoveryStatusTopic(const QString& discoveryPrefix);

}  // namespace service
