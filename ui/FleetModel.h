#pragma once
// The fleet client's terminals as a table, one row per terminal in the order they
// were first heard of. Changes are gathered and shown at most four times a second:
// the retained status and state of 20,000 terminals arriving at a connection cost
// the view a few refreshes, not 40,000.
#include <QAbstractTableModel>
#include <QTimer>

namespace core { class FleetClient; }

class FleetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { BarCode, Node, Channel, Online, LastSeen, Temperature, Humidity, Battery, Overdue, ColumnCount };
    static constexpr int SortRole = Qt::UserRole;   // numbers as numbers, times as times

    explicit FleetModel(const core::FleetClient& client, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QString barCodeAt(int row) const;
    void refresh();   // shows what changed since the last refresh now

private:
    void markChanged(int row);

    const core::FleetClient& client_;
    int shown_ = 0;
    int dirtyFirst_ = -1, dirtyLast_ = -1;
    QTimer refresh_;
};
