#pragma once
// The rows the readings store queues: what callers hand over, kept small and
// unformatted; the writer thread turns them into text and SQL values.
#include <QString>
#include <QtGlobal>

#include <memory>
#include <variant>

#include "protocol/Readings.h"

namespace core {

// The way a row reached the console.
enum class Channel { Tcp, Udp, Serial };

// "TCP", "UDP", "serial": the text stored in the source and channel columns.
QString ChannelText(Channel channel);

struct RoomRow {
    ht6630::CivilTime time;          // a valid date: rows without one are not queued
    int temperatureTenths = 0;
    int humidityTenths = 0;
    int batteryCentivolts = -1;      // negative: not known
};
struct HeatRow {
    std::shared_ptr<const ht6630::HeatMeterRecord> record;   // shared: heat records are large and rare
};
struct LiveRow {
    double temperature = 0, humidity = 0;
};
struct EventRow {
    QString kind, peer;
};

struct StoreRow {
    QString barCode;
    qint64 atMs = 0;                 // received (or event) time, ms since the epoch
    Channel channel = Channel::Tcp;
    std::variant<RoomRow, HeatRow, LiveRow, EventRow> data;
};

}  // namespace core
