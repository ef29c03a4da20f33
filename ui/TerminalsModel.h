#pragma once
// The terminal roster as a table: one row per terminal, one column per fact.
// Changes are gathered and shown at most four times a second, so thousands of
// terminals reporting at once cost the view a few refreshes, not thousands. An
// overdue terminal (silent past three heart beats) is marked in its column and by
// its row's background.
#include <QAbstractTableModel>
#include <QTimer>

namespace core { class TerminalRoster; }

class TerminalsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        BarCode, Online, Overdue, Channel, Peer, FirstSeen, LastSeen, Firmware, Temperature, Humidity, RecordTime,
        Battery, Readings, HeartbeatInterval, HeartbeatSpread, ClockOffset, ColumnCount
    };
    // The value a column sorts by (numbers as numbers, times as times).
    static constexpr int SortRole = Qt::UserRole;

    explicit TerminalsModel(const core::TerminalRoster& roster, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QString barCodeAt(int row) const;
    // Shows what changed since the last refresh now (tests, and before a read).
    void refresh();

private:
    void markChanged(int row);

    const core::TerminalRoster& roster_;
    int shown_ = 0;                    // roster rows the view knows of
    int dirtyFirst_ = -1, dirtyLast_ = -1;
    QTimer refresh_;
};
