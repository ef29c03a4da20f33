#pragma once
// What the TCP and UDP data-centre windows share: they render what their engine
// emits (traffic, status, decoded fields and uploads) and turn the operator's
// buttons into requests checked and addressed by the protocol library's rules.
// Each window states only its differences.
#include <QDialog>
#include <QString>

#include "core/ConsoleSession.h"
#include "core/DataCentre.h"
#include "protocol/Catalogue.h"

class ParameterPages;
class TrafficLogPanel;
class LogTextBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;
class QStatusBar;


// The controls both consoles have, found in their forms.
struct CommonControls {
    ParameterPages* pages = nullptr;
    TrafficLogPanel* traffic = nullptr;
    QLabel* LblInf = nullptr;
    QLabel* statusPanel = nullptr;    // first panel of StatusBar1
    QLabel* storePanel = nullptr;     // second panel: the readings store
    QLineEdit* TxtDQID = nullptr;
    QRadioButton* opMode0 = nullptr;
    QRadioButton* opMode1 = nullptr;
    QLineEdit* TxtLocalIp1 = nullptr;
    QLineEdit* TxtLocalPort1 = nullptr;
};

class DataCentreWindow : public QDialog {
    Q_OBJECT
public:
    DataCentreWindow(core::ConsoleSession& session, QWidget* parent = nullptr);
    ~DataCentreWindow() override;

    LogTextBox* DataReceive() const { return DataReceive_; }
    const CommonControls& controls() const { return c_; }
    virtual core::DataCentre& engine() const = 0;
    // The readings store's state in the status bar's second panel (empty: all well).
    void showStoreStatus(const QString& text);

protected:
    // Called by the subclass after its form is set up and its engine made.
    void initCommon(const CommonControls& c);
    // The same with the controls both forms name alike; adds StatusBar1's first panel.
    template <class Form>
    void initCommonFrom(Form& ui) {
        CommonControls c;
        c.pages = ui.pages;
        c.traffic = ui.trafficLog;
        c.LblInf = ui.LblInf;
        c.statusPanel = AddStatusPanel(ui.StatusBar1);
        c.storePanel = AddStorePanel(ui.StatusBar1);
        c.TxtDQID = ui.TxtDQID;
        c.opMode0 = ui.opMode_0;
        c.opMode1 = ui.opMode_1;
        c.TxtLocalIp1 = ui.TxtLocalIp1;
        c.TxtLocalPort1 = ui.TxtLocalPort1;
        initCommon(c);
    }
    // A label as the status bar's first panel, where the service state is shown.
    static QLabel* AddStatusPanel(QStatusBar* bar);
    static QLabel* AddStorePanel(QStatusBar* bar);
    // Checks before a request's common steps (the UDP endpoint); false ends the press.
    virtual bool beforeRequest(ht6630::Op) { return true; }
    virtual void afterOpName(ht6630::Op) {}

    // Start-button field checks shared by both consoles; sets the session's endpoint.
    // Returns false (after its message box) when the start must not go on.
    bool readLocalEndpoint();
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    void exitProgram();               // M_Exit
    void fillLocalIp();
    void resetState();

    core::ConsoleSession& session_;
    CommonControls c_;

private:
    void onRequest(ht6630::Op op);

    LogTextBox* DataReceive_ = nullptr;
    QPushButton* CmdQKJSQ1_ = nullptr;
};

