#include "core/TerminalRoster.h"

#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <memory>

#include "core/DataCentre.h"
#include "core/ReadingsQuery.h"

namespace core {

QDateTime StoredTime(const QString& text) {
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODate);
}

namespace {

// 0 when the terminal's clock gave no valid date.
qint64 CivilMs(const ht6630::CivilTime& t) {
    const QDateTime d(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
    return d.isValid() ? d.toMSecsSinceEpoch() : 0;
}

// Seconds of a civil time on a clock without zones: differences between records
// of one upload without a time-zone lookup each.
qint64 NaiveSeconds(const ht6630::CivilTime& t) {
    const int y = t.year - (t.month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 days = qint64(era) * 146097 + doe - 719468;
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

qint64 StoredMs(const QString& text) {
    const QDateTime t = StoredTime(text);
    return t.isValid() ? t.toMSecsSinceEpoch() : 0;
}

// A firmware response names no bar code: it belongs to the terminal the last
// request was addressed to (the address ends with its 13 digits).
QString BarCodeOfAddress(const QString& termAddr) {
    return termAddr.size() >= 13 ? termAddr.right(13) : QString();
}

constexpr int kOverdueSweepMs = 2000;

}  // namespace

qint64 OverdueAfterMs(const HeartbeatStats& beats, int reportedS) {
    if (reportedS > 0) return qint64(kOverdueBeats) * reportedS * 1000;
    if (const auto mean = beats.meanSeconds()) return qint64(std::ceil(kOverdueBeats * *mean * 1000.0));
    return qint64(kOverdueBeats) * kLongestHeartbeatS * 1000;
}

void HeartbeatStats::add(qint64 atMs) {
    if (lastMs > 0 && atMs > lastMs) {
        const double s = double(atMs - lastMs) / 1000.0;
        ++intervals;
        const double delta = s - meanS;
        meanS += delta / intervals;
        m2 += delta * (s - meanS);
    }
    lastMs = atMs;
}

std::optional<double> HeartbeatStats::meanSeconds() const {
    if (intervals < 1) return std::nullopt;
    return meanS;
}

std::optional<double> HeartbeatStats::spreadSeconds() const {
    if (intervals < 2) return std::nullopt;
    return std::sqrt(m2 / (intervals - 1));
}

TerminalRoster::TerminalRoster(QObject* parent) : QObject(parent) {
    // One sweep over all rows, not a timer per terminal.
    overdueSweep_ = new QTimer(this);
    overdueSweep_->setInterval(kOverdueSweepMs);
    connect(overdueSweep_, &QTimer::timeout, this, [this] { sweepOverdue(QDateTime::currentMSecsSinceEpoch()); });
    overdueSweep_->start();
}

TerminalRoster::~TerminalRoster() {
    if (seeding_) seeding_->wait();
}

void TerminalRoster::seedFrom(const QString& databasePath) {
    if (seeding_ || !QFileInfo(databasePath).isFile()) {
        if (!seeding_) emit seeded(0, QString());
        return;
    }
    // The query opens its own connection in the worker thread and is done with it there.
    auto result = std::make_shared<std::optional<std::vector<TerminalSummary>>>();
    auto error = std::make_shared<QString>();
    seeding_ = QThread::create([databasePath, result, error] {
        ReadingsQuery query(databasePath);
        *result = query.terminals();
        *error = query.error();
    });
    seeding_->setParent(this);
    connect(seeding_, &QThread::finished, this, [this, result, error] {
        seeding_->deleteLater();
        seeding_ = nullptr;
        if (*result) merge(**result);
        emit seeded(*result ? int((*result)->size()) : 0, *error);
    });
    seeding_->start(QThread::LowPriority);
}

void TerminalRoster::merge(const std::vector<TerminalSummary>& stored) {
    for (const TerminalSummary& s : stored) {
        const bool isNew = indexOf(s.barCode) < 0;
        const int i = rowFor(s.barCode);
        if (i < 0) continue;
        TerminalRow& r = rows_[std::size_t(i)];
        const qint64 first = StoredMs(s.firstSeen);
        if (first && (!r.firstSeenMs || first < r.firstSeenMs)) r.firstSeenMs = first;
        r.readings += s.readings;
        if (!isNew) {
            emit rowChanged(i);
            continue;   // live values are newer than the file's
        }
        r.lastSeenMs = StoredMs(s.lastSeen);
        r.channel = s.channel;
        r.peer = s.peer;
        r.temperature = s.lastTemperature;
        r.humidity = s.lastHumidity;
        r.batteryV = s.batteryV;
        r.lastRecordMs = StoredMs(s.lastRecordTime);
        const qint64 received = StoredMs(s.lastReceived);
        if (r.lastRecordMs && received) r.clockOffsetS = (r.lastRecordMs - received) / 1000;
        emit rowChanged(i);
    }
}

int TerminalRoster::rowFor(const QString& barCode) {
    if (barCode.isEmpty()) return -1;
    const auto it = index_.constFind(barCode);
    if (it != index_.constEnd()) return *it;
    const int i = int(rows_.size());
    TerminalRow r;
    r.barCode = barCode;
    rows_.push_back(std::move(r));
    index_.insert(barCode, i);
    emit rowAdded(i);
    return i;
}

void TerminalRoster::touch(int i, Channel channel, const QString& peer, const QDateTime& at) {
    TerminalRow& r = rows_[std::size_t(i)];
    const qint64 ms = at.toMSecsSinceEpoch();
    if (!r.firstSeenMs || ms < r.firstSeenMs) r.firstSeenMs = ms;
    if (ms > r.lastSeenMs) r.lastSeenMs = ms;
    r.channel = ChannelText(channel);
    if (!peer.isEmpty()) r.peer = peer;
}

void TerminalRoster::noteEvent(const QString& barCode, const QString& kind, Channel channel, const QString& peer,
                               const QDateTime& at) {
    const int i = rowFor(barCode);
    if (i < 0) return;
    touch(i, channel, peer, at);
    TerminalRow& r = rows_[std::size_t(i)];
    const bool wasOverdue = r.overdue;
    setOverdue(r, false);   // it reports again (or is gone)
    if (kind == QLatin1String("disconnect")) {
        r.online = false;
    } else {
        r.online = true;
        // The silence that made it overdue was no heart-beat interval.
        if (kind == QLatin1String("heartbeat")) {
            if (wasOverdue) r.heartbeat.resume(at.toMSecsSinceEpoch());
            else r.heartbeat.add(at.toMSecsSinceEpoch());
        }
    }
    emit rowChanged(i);
}

void TerminalRoster::noteOnline(const QString& barCode, bool online, Channel channel, const QString& peer,
                                const QDateTime& at) {
    noteEvent(barCode, online ? QStringLiteral("connect") : QStringLiteral("disconnect"), channel, peer, at);
}

void TerminalRoster::noteUpload(const ht6630::RoomUpload& upload, Channel channel, const QDateTime& receivedAt) {
    const int i = rowFor(QString::fromStdString(upload.barCode));
    if (i < 0) return;
    touch(i, channel, QString(), receivedAt);
    TerminalRow& r = rows_[std::size_t(i)];
    r.online = true;
    setOverdue(r, false);
    r.batteryV = upload.batteryCentivolts / 100.0;
    // Only records newer than the newest known count as new: a re-sent upload adds nothing.
    // One time-zone conversion per upload: the newest record's; the others by difference.
    const ht6630::RoomRecord* newest = nullptr;
    for (const ht6630::RoomRecord& rec : upload.records)
        if (rec.time && (!newest || NaiveSeconds(*rec.time) >= NaiveSeconds(*newest->time))) newest = &rec;
    const qint64 newestMs = newest ? CivilMs(*newest->time) : 0;
    if (newestMs) {
        const qint64 knownNewest = r.lastRecordMs;
        const qint64 newestNaive = NaiveSeconds(*newest->time);
        for (const ht6630::RoomRecord& rec : upload.records)
            if (rec.time && newestMs - (newestNaive - NaiveSeconds(*rec.time)) * 1000 > knownNewest) ++r.readings;
        if (newestMs >= r.lastRecordMs) {
            r.lastRecordMs = newestMs;
            r.temperature = newest->temperatureTenths / 10.0;
            r.humidity = newest->humidityTenths / 10.0;
        }
    }
    if (upload.uploadTime) {
        const qint64 t = newest && NaiveSeconds(*upload.uploadTime) == NaiveSeconds(*newest->time)
                             ? newestMs : CivilMs(*upload.uploadTime);
        if (t) r.clockOffsetS = (t - receivedAt.toMSecsSinceEpoch()) / 1000;
    }
    emit rowChanged(i);
}

void TerminalRoster::noteLiveReading(const QString& barCode, double temperature, double humidity,
                                     const QDateTime& at) {
    const int i = rowFor(barCode);
    if (i < 0) return;
    touch(i, Channel::Serial, QString(), at);
    TerminalRow& r = rows_[std::size_t(i)];
    r.temperature = temperature;
    r.humidity = humidity;
    r.lastRecordMs = at.toMSecsSinceEpoch();
    emit rowChanged(i);
}

void TerminalRoster::noteFirmware(const QString& barCode, const QString& firmware) {
    const int i = rowFor(barCode);
    if (i < 0) return;
    rows_[std::size_t(i)].firmware = firmware;
    emit rowChanged(i);
}

void TerminalRoster::noteHeartbeatSetting(const QString& barCode, int seconds) {
    const int i = rowFor(barCode);
    if (i < 0 || seconds <= 0) return;
    rows_[std::size_t(i)].reportedHeartbeatS = seconds;
    emit rowChanged(i);
}

void TerminalRoster::setOverdue(TerminalRow& r, bool overdue) {
    if (r.overdue == overdue) return;
    r.overdue = overdue;
    overdue_ += overdue ? 1 : -1;
}

void TerminalRoster::sweepOverdue(qint64 nowMs) {
    for (int i = 0; i < size(); ++i) {
        TerminalRow& r = rows_[std::size_t(i)];
        const bool overdue = r.online && r.lastSeenMs > 0 &&
                             nowMs - r.lastSeenMs > OverdueAfterMs(r.heartbeat, r.reportedHeartbeatS);
        if (overdue == r.overdue) continue;
        setOverdue(r, overdue);
        emit rowChanged(i);
    }
}

void TerminalRoster::watch(DataCentre& engine, Channel channel) {
    QPointer<DataCentre> e = &engine;
    connect(&engine, &DataCentre::terminalEvent, this,
            [this, channel](const QString& barCode, const QString& kind, const QString& peer) {
                noteEvent(barCode, kind, channel, peer, QDateTime::currentDateTime());
            });
    connect(&engine, &DataCentre::terminalOnline, this,
            [this, channel](const QString& barCode, int, const QString& peer) {
                noteOnline(barCode, true, channel, peer, QDateTime::currentDateTime());
            });
    connect(&engine, &DataCentre::terminalOffline, this,
            [this, channel](const QString& barCode, int, const QString& peer) {
                noteOnline(barCode, false, channel, peer, QDateTime::currentDateTime());
            });
    connect(&engine, &DataCentre::roomUploadDecoded, this, [this, channel](const ht6630::RoomUpload& u) {
        noteUpload(u, channel, QDateTime::currentDateTime());
    });
    connect(&engine, &DataCentre::parametersDecoded, this, [this, e](const ht6630::FieldValues& v) {
        if ((!v.firmware && !v.heartbeatSeconds) || !e) return;
        const QString barCode = v.barCode ? QString::fromStdString(*v.barCode) : BarCodeOfAddress(e->termAddr());
        if (v.firmware) noteFirmware(barCode, QString::fromStdString(*v.firmware));
        if (v.heartbeatSeconds) noteHeartbeatSetting(barCode, QString::fromStdString(*v.heartbeatSeconds).toInt());
    });
    // The engine's end is the end of its terminals' sessions.
    const QString channelText = ChannelText(channel);
    connect(&engine, &QObject::destroyed, this, [this, channelText] {
        for (int i = 0; i < size(); ++i) {
            TerminalRow& r = rows_[std::size_t(i)];
            if (r.online && r.channel == channelText) {
                r.online = false;
                setOverdue(r, false);
                emit rowChanged(i);
            }
        }
    });
}

}  // namespace core
