#pragma once
// What the TCP and UDP data-centre consoles share: the dialogue state, the
// execution of the dialogue's actions for each received block (each reply waits
// its own delay on a precise timer, nothing nests), the configuration buttons'
// common steps and DispatchRequest. Each console states only its differences.
#include <QByteArray>
#include <QDialog>
#include <QHostAddress>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include "protocol/catalogue.h"
#include "protocol/dialogue.h"
#include "server/RequestTexts.h"

class ParameterPages;
class TrafficLogPanel;
class LogTextBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;
class QMenuBar;
class QStatusBar;

namespace server {

class EpollConnection;

// Where a reply to the block being handled goes: captured before any wait.
struct Peer {
    QPointer<EpollConnection> socket;   // TCP: the connection that delivered the block
    int index = -1;                // TCP: its connection index
    QHostAddress address;          // UDP: the sender of the datagram
    quint16 port = 0;
};

// The controls both consoles have, found in their forms.
struct CommonControls {
    ParameterPages* pages = nullptr;
    TrafficLogPanel* traffic = nullptr;
    QLabel* LblInf = nullptr;
    QLabel* statusPanel = nullptr;    // first panel of StatusBar1
    QLineEdit* TxtDQID = nullptr;
    QRadioButton* opMode0 = nullptr;
    QRadioButton* opMode1 = nullptr;
    QLineEdit* TxtLocalIp1 = nullptr;
    QLineEdit* TxtLocalPort1 = nullptr;
};

class DataCentreConsole : public QDialog {
    Q_OBJECT
public:
    explicit DataCentreConsole(QWidget* parent = nullptr);
    ~DataCentreConsole() override;

    // Dialogue state.
    bool Handshaken = false;
    bool PendingSetting = false;
    QString TermAddr;
    QByteArray PendingFrame;
    bool ConfigMode = true;
    bool ServiceRunning = false;
    bool ServiceStopped = true;

    LogTextBox* DataReceive() const { return DataReceive_; }
    const CommonControls& controls() const { return c_; }

    // Runs the dialogue for one received block and executes its actions in order.
    // Started once per block; it suspends at each reply's wait.
    QCoro::Task<> HandleReceived(QByteArray block, Peer peer);
    // The common last step of every configuration button.
    void DispatchRequest(const RequestTexts& texts);

protected:
    // Called by the subclass after its form is set up.
    void initCommon(const CommonControls& c);
    // The same with the controls both forms name alike; adds StatusBar1's first panel.
    template <class Form>
    void initCommonFrom(Form& ui) {
        CommonControls c;
        c.pages = ui.pages;
        c.traffic = ui.trafficLog;
        c.LblInf = ui.LblInf;
        c.statusPanel = AddStatusPanel(ui.StatusBar1);
        c.TxtDQID = ui.TxtDQID;
        c.opMode0 = ui.opMode_0;
        c.opMode1 = ui.opMode_1;
        c.TxtLocalIp1 = ui.TxtLocalIp1;
        c.TxtLocalPort1 = ui.TxtLocalPort1;
        initCommon(c);
    }
    // A label as the status bar's first panel, where the service state is shown.
    static QLabel* AddStatusPanel(QStatusBar* bar);
    virtual ht6630::dialogue::Channel channel() const = 0;
    // The channel's own actions (lists, network log, bar-code slots); default: none.
    virtual void applyChannelAction(const ht6630::dialogue::Action& action, const Peer& peer);
    // May a reply still go to this peer, and send it.
    virtual bool peerUsable(const Peer& peer) const = 0;
    virtual void sendToPeer(const Peer& peer, const QByteArray& frame) = 0;
    // Configuration mode after the handshake: send PendingFrame now; S is the sending text.
    virtual void sendRequestNow(const RequestTexts& texts) = 0;
    // Checks before a request's common steps (the UDP endpoint); false ends the press.
    virtual bool beforeRequest(ht6630::Op) { return true; }
    virtual void afterOpName(ht6630::Op) {}

    // Start-button field checks shared by both consoles; sets LocalIp/LocalPort.
    // Returns false (after its message box) when the start must not go on.
    bool readLocalEndpoint();
    void requestClose();              // the close rules; both consoles refuse while running
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    void exitProgram();               // M_Exit
    void fillLocalIp();
    void resetState();

    CommonControls c_;

private:
    void onRequest(ht6630::Op op);
    void applyAction(const ht6630::dialogue::Action& a, const Peer& peer);
    ht6630::dialogue::ConsoleState snapshot() const;

    LogTextBox* DataReceive_ = nullptr;
    QPushButton* CmdQKJSQ1_ = nullptr;
};

}  // namespace server
