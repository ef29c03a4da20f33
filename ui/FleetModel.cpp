#include "ui/FleetModel.h"

#include <QBrush>
#include <QColor>

#include "core/FleetClient.h"
#include "ui/DisplayLanguage.h"

namespace {
constexpr int kRefreshMs = 250;
const QColor kOverdueBackground(255, 224, 178);   // as in the terminals view

QString NumberText(const std::optional<double>& v, int decimals) { return v ? QString::number(*v, 'f', decimals) : QString(); }
QVariant SortValue(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); }
}  // namespace

FleetModel::FleetModel(const core::FleetClient& client, QObject* parent)
    : QAbstractTableModel(parent), client_(client), shown_(client.terminalCount()) {
    refresh_.setSingleShot(true);
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &FleetModel::refresh);
    connect(&client, &core::FleetClient::terminalAdded, this, [this] {
        if (!refresh_.isActive()) refresh_.start();
    });
    connect(&client, &core::FleetClient::terminalChanged, this, &FleetModel::markChanged);
}

void FleetModel::markChanged(int row) {
    if (row >= shown_) return;   // shown with the next insertion
    dirtyFirst_ = dirtyFirst_ < 0 ? row : std::min(dirtyFirst_, row);
    dirtyLast_ = std::max(dirtyLast_, row);
    if (!refresh_.isActive()) refresh_.start();
}

void FleetModel::refresh() {
    refresh_.stop();
    if (client_.terminalCount() > shown_) {
        beginInsertRows({}, shown_, client_.terminalCount() - 1);
        shown_ = client_.terminalCount();
        endInsertRows();
    }
    if (dirtyFirst_ >= 0) {
        emit dataChanged(index(dirtyFirst_, 0), index(dirtyLast_, ColumnCount - 1));
        dirtyFirst_ = dirtyLast_ = -1;
    }
}

int FleetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }
int FleetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString FleetModel::barCodeAt(int row) const { return row >= 0 && row < shown_ ? client_.terminal(row).barCode : QString(); }

QVariant FleetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_) return {};
    const core::FleetTerminal& t = client_.terminal(index.row());
    if (role == Qt::BackgroundRole) return t.overdue ? QVariant(QBrush(kOverdueBackground)) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return index.column() >= Temperature && index.column() <= Battery ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole && role != SortRole) return {};
    const bool sort = role == SortRole;
    switch (Column(index.column())) {
    case BarCode: return t.barCode;
    case Node: return t.node;
    case Channel: return t.channel;
    case Online: return t.online ? Shown(QStringLiteral("在线")) : Shown(QStringLiteral("离线"));
    case LastSeen:
        if (sort) return t.lastSeen.isValid() ? QVariant(t.lastSeen.toMSecsSinceEpoch()) : QVariant();
        return t.lastSeen.isValid() ? t.lastSeen.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
    case Temperature: return sort ? SortValue(t.temperature) : NumberText(t.temperature, 1);
    case Humidity: return sort ? SortValue(t.humidity) : NumberText(t.humidity, 1);
    case Battery: return sort ? SortValue(t.battery) : NumberText(t.battery, 2);
    case Overdue:
        if (sort) return int(t.overdue);
        return t.overdue ? Shown(QStringLiteral("逾期")) : QString();
    case ColumnCount: break;
    }
    return {};
}

QVariant FleetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {"条形码", "节点", "通道", "在线", "最后出现",
                                                      "温度(℃)", "湿度(%RH)", "电池(V)", "逾期"};
    return section >= 0 && section < ColumnCount ? Shown(QString::fromUtf8(kHeaders[section])) : QVariant();
}
