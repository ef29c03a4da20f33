#pragma once
// The data-centre engine both channels share: the dialogue state, the execution
// of the dialogue's actions for each received block (each reply waits its own
// delay in the session's precise queue, nothing nests), and the dispatch of a
// configuration request (now, or at the terminal's next upload end). It owns no
// widget: windows and the headless service render what it emits.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <vector>

#include "core/ConsoleSession.h"
#include "core/RequestTexts.h"
#include "protocol/Catalogue.h"
#include "protocol/Dialogue.h"
#include "protocol/Readings.h"

namespace core {

class CommitGate;
class EpollConnection;

// Where a reply to the block being handled goes: captured before any wait.
struct Peer {
    QPointer<EpollConnection> socket;   // TCP: the connection that delivered the block
    int index = -1;                     // TCP: its connection index
    QHostAddress address;               // UDP: the sender of the datagram
    quint16 port = 0;
};

// A decoded heat-meter upload: the terminal and its records.
struct HeatMeterUpload {
    QString barCode;
    std::vector<ht6630::HeatMeterRecord> records;
};

class DataCentre : public QObject {
    Q_OBJECT
public:
    DataCentre(ConsoleSession& session, QObject* parent = nullptr);
    ~DataCentre() override;

    virtual ht6630::dialogue::Channel channel() const = 0;
    ConsoleSession& session() const { return session_; }

    // Dialogue state.
    bool handshaken() const { return handshaken_; }
    bool pendingSetting() const { return pendingSetting_; }
    bool configMode() const { return configMode_; }
    const QString& termAddr() const { return termAddr_; }
    const QByteArray& pendingFrame() const { return pendingFrame_; }
    bool serviceRunning() const { return serviceRunning_; }
    bool serviceStopped() const { return serviceStopped_; }

    // The terminal bar code the dialogue and the operator share (the registration
    // writes it; a response may show another), and the current terminal, the one
    // requests are addressed to and heart beats are answered for.
    const QString& terminalBarCode() const { return terminalBarCode_; }
    const QString& currentTerminal() const { return currentTerminal_; }
    void setTerminalBarCode(const QString& barCode) { terminalBarCode_ = barCode; }
    void setCurrentTerminal(const QString& barCode) { currentTerminal_ = barCode; }
    // Configuration mode (requests leave at once) or sleep mode (they wait for the upload end).
    void setConfigMode(bool configMode) { configMode_ = configMode; }
    // Load values: not handshaken, nothing pending, configuration mode.
    void resetDialogue();

    // Service mode (the headless data centre, which has no operator's current
    // terminal): each heart beat is answered with the address of the terminal that
    // sent it, and a UDP request goes to the endpoint its terminal last used. Off by
    // default: the consoles answer as they always have.
    void setServiceMode(bool on) { serviceMode_ = on; }
    bool serviceMode() const { return serviceMode_; }
    // Service mode: each upload's acknowledgement leaves once the gate's store has
    // committed the upload's records, and is withheld when they cannot be. Without a
    // gate (the consoles) uploads are acknowledged as they always were.
    void setCommitGate(CommitGate* gate);
    // The wait before each reply the dialogue times at its standard 1.0 s.
    void setReplyDelay(double seconds) { replyDelay_ = seconds; }
    double replyDelay() const { return replyDelay_; }

    // The operator's request: its operation becomes the pending one, its frame is
    // kept, and it leaves now, at the upload end, or after the handshake.
    void submitRequest(ht6630::Op op, const QString& termAddr, const QByteArray& frame);

    // Service mode: a request for one terminal, its values checked and its frame built
    // by the caller. At once: it leaves on the terminal's connection (UDP: to the
    // endpoint it used last); false when there is none. At the upload end: it is kept,
    // replacing the terminal's previous one, and leaves as the setting the terminal's
    // next upload-end answer announces (in configuration mode too: a kept request is
    // why the answer announces a setting). Its operation names the 0x7A response.
    bool submitTerminalRequest(const QString& barCode, ht6630::Op op, const QByteArray& frame, bool atUploadEnd);
    // Forgets the terminal's request: answered, given up, or the terminal left.
    void dropTerminalRequest(const QString& barCode);

    // Runs the dialogue for one received block and executes its actions in order.
    // Started once per block; it suspends at each reply's wait.
    QCoro::Task<> handleBlock(QByteArray block, Peer peer);

signals:
    void frameLogged(const QByteArray& bytes, bool sent);          // the traffic log
    void statusChanged(const QString& text);                       // the status line
    void serviceStatusChanged(const QString& text);                // the service state
    void parametersDecoded(const ht6630::FieldValues& values);     // a response's fields
    void terminalBarCodeShown(const QString& barCode);             // the dialogue changed it
    void currentTerminalShown(const QString& barCode);
    void uploadText(const QString& text);                          // decoded upload, as text
    void roomUploadDecoded(const ht6630::RoomUpload& upload);      // the same, as values
    void heatMeterDecoded(const core::HeatMeterUpload& upload);
    void terminalOnline(const QString& barCode, int connection, const QString& peerAddress);
    void terminalOffline(const QString& barCode, int connection, const QString& peerAddress);
    void netLog(const QString& message);                           // the network log
    // A terminal's registration, heart beat or upload end ("registration",
    // "heartbeat", "upload-end"), with the peer's address, as it arrives.
    void terminalEvent(const QString& barCode, const QString& kind, const QString& peerAddress);
    // Service mode: an upload was not acknowledged because its records are not stored
    // (the store is failing, or it did not commit in time); the terminal keeps them
    // and sends them again.
    void uploadNotAcknowledged(const QString& barCode, bool storeFailing);
    // Service mode: a terminal's kept request left at its upload end.
    void terminalRequestSent(const QString& barCode);
    // Service mode: a terminal's response frame (function code `code`): the status
    // text the dialogue shows for it and the values it decoded.
    void terminalResponded(const QString& barCode, int code, const QString& status, const ht6630::FieldValues& fields);

protected:
    // The channel's own actions (lists, network log, bar-code slots); default: none.
    virtual void applyChannelAction(const ht6630::dialogue::Action& action, const Peer& peer);
    // May a reply still go to this peer, and send it.
    virtual bool peerUsable(const Peer& peer) const = 0;
    virtual void sendToPeer(const Peer& peer, const QByteArray& frame) = 0;
    // Configuration mode after the handshake: send the pending frame now.
    virtual void sendRequestNow(const RequestTexts& texts) = 0;
    // Service mode: sends a request to the terminal now; false when it cannot be reached.
    virtual bool sendToTerminal(const QString& barCode, const QByteArray& frame) = 0;

    // The peer's address as the events name it; default: none.
    virtual QString peerText(const Peer&) const { return {}; }
    // The bar code a peer registered with, for frames that carry none; default: the current terminal.
    virtual QString peerBarCode(const Peer&) const { return currentTerminal_; }
    void setServiceState(bool running, const QString& text);
    void showStatus(const QString& text) { emit statusChanged(text); }

private:
    void applyAction(const ht6630::dialogue::Action& a, const Peer& peer);
    void reportEvent(const QByteArray& block, const Peer& peer);
    ht6630::dialogue::ConsoleState snapshot(const QByteArray& block, const Peer& peer) const;
    // Service mode: the terminal a block came from (its frame's address, else its peer's).
    QString blockTerminal(const QByteArray& block, const Peer& peer) const;
    void reportResponse(const QByteArray& block, const QString& terminal,
                        const std::vector<ht6630::dialogue::Action>& actions);

    ConsoleSession& session_;
    bool handshaken_ = false;
    bool pendingSetting_ = false;
    bool configMode_ = true;
    bool serviceRunning_ = false;
    bool serviceStopped_ = true;
    bool serviceMode_ = false;
    double replyDelay_ = ht6630::dialogue::kReplyDelay;
    QString termAddr_;
    QByteArray pendingFrame_;
    QString terminalBarCode_;
    QString currentTerminal_;
    // Service mode: each terminal's request, in place of the console's single one.
    struct TerminalRequest {
        QString operation;      // the operation name the 0x7A status text carries
        QByteArray frame;
        bool waiting = false;   // kept for the next upload end, not yet sent
    };
    QHash<QString, TerminalRequest> terminalRequests_;
    QPointer<CommitGate> commitGate_;
};

// The bar code a terminal-initiated frame (registration, heart beat, upload) carries
// in its address bytes; empty for any other block.
QString SenderBarCode(const QByteArray& block);

// The local date and time as the dialogue reads it.
ht6630::dialogue::LocalTime LocalNow();

}  // namespace core
