#include "ui/TerminalsModel.h"

#include <QBrush>
#include <QColor>

#include "ui/DisplayLanguage.h"

#include "core/TerminalRoster.h"

namespace {

constexpr int kRefreshMs = 250;
// The background of an overdue terminal's row: a pale amber, readable with the default text colour.
const QColor kOverdueBackground(255, 224, 178);

QString TimeText(qint64 ms) {
    return ms ? QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QString NumberText(const std::optional<double>& v, int decimals) {
    return v ? QString::number(*v, 'f', decimals) : QString();
}

QVariant SortValue(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); }
QVariant SortValue(qint64 ms) { return ms ? QVariant(ms) : QVariant(); }

}  // namespace

TerminalsModel::TerminalsModel(const core::TerminalRoster& roster, QObject* parent)
    : QAbstractTableModel(parent), roster_(roster), shown_(roster.size()) {
    refresh_.setSingleShot(true);
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &TerminalsModel::refresh);
    connect(&roster, &core::TerminalRoster::rowAdded, this, [this] {
        if (!refresh_.isActive()) refresh_.start();
    });
    connect(&roster, &core::TerminalRoster::rowChanged, this, &TerminalsModel::markChanged);
}

void TerminalsModel::markChanged(int row) {
    if (row >= shown_) return;   // shown with the next insertion
    dirtyFirst_ = dirtyFirst_ < 0 ? row : std::min(dirtyFirst_, row);
    dirtyLast_ = std::max(dirtyLast_, row);
    if (!refresh_.isActive()) refresh_.start();
}

void TerminalsModel::refresh() {
    refresh_.stop();
    if (roster_.size() > shown_) {
        beginInsertRows({}, shown_, roster_.size() - 1);
        shown_ = roster_.size();
        endInsertRows();
    }
    if (dirtyFirst_ >= 0) {
        emit dataChanged(index(dirtyFirst_, 0), index(dirtyLast_, ColumnCount - 1));
        dirtyFirst_ = dirtyLast_ = -1;
    }
}

int TerminalsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }
int TerminalsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString TerminalsModel::barCodeAt(int row) const {
    return row >= 0 && row < shown_ ? roster_.row(row).barCode : QString();
}

QVariant TerminalsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_) return {};
    const core::TerminalRow& r = roster_.row(index.row());
    if (role == Qt::BackgroundRole) return r.overdue ? QVariant(QBrush(kOverdueBackground)) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return index.column() >= Temperature && index.column() != RecordTime
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole && role != SortRole) return {};
    const bool sort = role == SortRole;
    switch (Column(index.column())) {
    case BarCode: return r.barCode;
    case Online: return r.online ? Shown(QStringLiteral("在线")) : Shown(QStringLiteral("离线"));
    case Overdue:
        if (sort) return int(r.overdue);
        return r.overdue ? Shown(QStringLiteral("逾期")) : QString();
    case Channel: return r.channel;
    case Peer: return r.peer;
    case FirstSeen: return sort ? SortValue(r.firstSeenMs) : TimeText(r.firstSeenMs);
    case LastSeen: return sort ? SortValue(r.lastSeenMs) : TimeText(r.lastSeenMs);
    case Firmware: return r.firmware;
    case Temperature: return sort ? SortValue(r.temperature) : NumberText(r.temperature, 1);
    case Humidity: return sort ? SortValue(r.humidity) : NumberText(r.humidity, 1);
    case RecordTime: return sort ? SortValue(r.lastRecordMs) : TimeText(r.lastRecordMs);
    case Battery: return sort ? SortValue(r.batteryV) : NumberText(r.batteryV, 2);
    case Readings: return sort ? QVariant(r.readings) : QVariant(QString::number(r.readings));
    case HeartbeatInterval: {
        const auto v = r.heartbeat.meanSeconds();
        return sort ? SortValue(v) : NumberText(v, 1);
    }
    case HeartbeatSpread: {
        const auto v = r.heartbeat.spreadSeconds();
        return sort ? SortValue(v) : NumberText(v, 1);
    }
    case ClockOffset:
        if (!r.clockOffsetS) return {};
        return sort ? QVariant(*r.clockOffsetS) : QVariant(QString::number(*r.clockOffsetS));
    case ColumnCount: break;
    }
    return {};
}

QVariant TerminalsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {
        "条形码", "在线", "逾期", "通道", "对端地址", "首次出现", "最后出现", "程序版本", "温度(℃)",
        "湿度(%RH)", "记录时间", "电池(V)", "读数", "心跳间隔(s)", "心跳抖动(s)", "时钟偏差(s)"};
    return section >= 0 && section < ColumnCount ? Shown(QString::fromUtf8(kHeaders[section])) : QVariant();
}
