#pragma once
// The serial port settings dialog: the port probe, the line settings, the switch.
#include <QDialog>

#include "core/ConsoleSession.h"
#include "core/SerialLink.h"

namespace Ui { class SetPortDialog; }
class QSerialPort;


class SetPortDialog : public QDialog {
    Q_OBJECT
public:
    SetPortDialog(core::ConsoleSession& session, core::SerialLink& link, QWidget* parent = nullptr);
    ~SetPortDialog() override;

    // The load step: probes COM1..COM16, selects the first port found (which applies
    // the default settings), fills the data-bit and stop-bit lists, shows the switch.
    void load();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void comboChosen();            // a choice in any of the five combo boxes
    void cmdSwitchClicked();
    bool applyFromCombos();        // reads the combo boxes and runs the apply step
    void showOpenState();
    void showClosedState();
    void showSwitchState(bool opened);
    void updateDeviceTips();

    core::ConsoleSession& session_;
    core::SerialLink& link_;
    Ui::SetPortDialog* ui;
};

