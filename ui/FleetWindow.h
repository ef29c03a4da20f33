#pragma once
// frmFleet: the service fleet through its broker. A view of core::FleetClient: the
// connection (remembered, but for the password, in the console's settings file), the
// terminals every node reports (List1 online, List2 offline, tblFleet), the parameter
// pages of the data-centre windows whose buttons send cmd requests to the chosen
// terminal, the requests still waiting, and live charts fed by the readings published.
#include <QString>
#include <QWidget>

#include <memory>

#include "protocol/Catalogue.h"

namespace core { class FleetClient; struct FleetRequest; struct FleetResult; }
namespace Ui { class FleetWindowForm; }
class FleetModel;
class IndexedList;
class QLabel;
class QSortFilterProxyModel;

class FleetWindow : public QWidget {
    Q_OBJECT
public:
    // `client` and the settings file (Data/console.ini) outlive the window.
    FleetWindow(core::FleetClient& client, const QString& settingsPath, QWidget* parent = nullptr);
    ~FleetWindow() override;

    FleetModel* model() const { return model_; }
    void openChart(const QString& barCode);

    // Handlers, by their control names.
    void cmdConnect_Click();
    void cmdDisconnect_Click();
    void cmdCancel_Click();

private:
    void onRequest(ht6630::Op op);
    void showState();
    void showOnline(const QString& barCode, bool online);
    void showRequests();
    void showEnded(const core::FleetResult& result);
    void chooseTerminal(const QString& barCode);
    void updateCount();

    std::unique_ptr<Ui::FleetWindowForm> ui_;
    core::FleetClient& client_;
    const QString settingsPath_;
    FleetModel* model_;
    QSortFilterProxyModel* proxy_;
    QLabel* statusPanel_;
    std::unique_ptr<IndexedList> List1_, List2_;
};
