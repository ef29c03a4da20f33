#pragma once
// The serial configuration console: reads and writes one terminal's parameters
// over the serial port. Single instance; loaded on first use, unloaded on close.
#include <QDialog>
#include <QSqlQuery>

#include "protocol/catalogue.h"

namespace Ui { class FrmInfrared; }
class ParameterPages;
class TrafficLogPanel;
class QLabel;

namespace serial {

class FrmInfrared : public QDialog {
    Q_OBJECT
public:
    explicit FrmInfrared(QWidget* parent = nullptr);
    ~FrmInfrared() override;

    // The single instance, or nullptr when it is not loaded.
    static FrmInfrared* Instance();
    // The single instance, loaded (without being shown) when it is not.
    static FrmInfrared* LoadedInstance(QWidget* parent);

    ParameterPages* pages() const { return pages_; }
    TrafficLogPanel* panel() const { return panel_; }
    QLabel* LblInf() const;
    const QString& TermAddr() const { return termAddr_; }

    // The request flow of one of the fifteen buttons.
    void requestClicked(ht6630::Op op);

protected:
    // Escape does not close the console: only its close box does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void loadStep();
    bool barCodeCheck(const QString& emptyMessage);

    Ui::FrmInfrared* ui;
    ParameterPages* pages_ = nullptr;
    TrafficLogPanel* panel_ = nullptr;
    QString termAddr_;
    QSqlQuery tempData_;   // the TempData record set opened at load
};

// Tells the operator, in the console's status label, that the device has gone.
void NotifyPortLost();

}  // namespace serial
