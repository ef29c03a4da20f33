#include "core/ReadingsRecording.h"

#include <QDateTime>
#include <QDir>

namespace core {

void RecordReadings(DataCentre& engine, ReadingsStore& store, Channel channel) {
    ReadingsStore* s = &store;
    QObject::connect(&engine, &DataCentre::roomUploadDecoded, s, [s, channel](const ht6630::RoomUpload& u) {
        s->addRoomUpload(u, channel, QDateTime::currentDateTime());
    });
    QObject::connect(&engine, &DataCentre::heatMeterDecoded, s, [s, channel](const HeatMeterUpload& u) {
        s->addHeatRecords(u.barCode, u.records, channel, QDateTime::currentDateTime());
    });
    QObject::connect(&engine, &DataCentre::terminalEvent, s,
                     [s, channel](const QString& barCode, const QString& kind, const QString& peer) {
                         s->addEvent(barCode, kind, channel, peer, QDateTime::currentDateTime());
                     });
    QObject::connect(&engine, &DataCentre::terminalOffline, s,
                     [s, channel](const QString& barCode, int, const QString& peer) {
                         s->addEvent(barCode, QStringLiteral("disconnect"), channel, peer, QDateTime::currentDateTime());
                     });
}

QString ReadingsDatabasePath(const QString& programFolder) {
    const QString override = qEnvironmentVariable("HT6630_READINGS_DB");
    if (!override.isEmpty()) return override;
    return QDir(programFolder).filePath(QStringLiteral("Data/readings.db"));
}

}  // namespace core
