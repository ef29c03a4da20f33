#pragma once
// The TCP data centre: terminals connect as clients; every block cut from a
// connection's byte stream runs the dialogue; the operator configures a chosen
// terminal at once or at its next upload end. It keeps the connection table
// (indices up to 32,767, freed ones reused lowest first) and the online and
// offline lists in their order, and watches every accepted connection through
// one epoll descriptor.
#include <QHash>
#include <QTcpServer>

#include <memory>

#include "core/BarCodeList.h"
#include "core/ConnectionTable.h"
#include "core/DataCentre.h"
#include "core/EpollConnections.h"
#include "protocol/StreamCutter.h"

class QTimer;

namespace core {

// The listening socket: hands each accepted descriptor to the data centre, which may refuse it.
class TcpListener : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;
signals:
    void accepted(qintptr descriptor);
protected:
    void incomingConnection(qintptr descriptor) override { emit accepted(descriptor); }
};

// Which list a change is made to, and the change (the same steps the lists' views replay).
enum class TerminalList { Online, Offline };
enum class ListOp { Append, RemoveFirst, RemoveAll, Clear };

// Why a start failed: the message box the operator sees.
struct StartFailure {
    QString text;
    QString title;
    bool critical = true;   // else exclamation
};

class TcpDataCentre : public DataCentre {
    Q_OBJECT
public:
    explicit TcpDataCentre(ConsoleSession& session, QObject* parent = nullptr);
    ~TcpDataCentre() override;

    static constexpr int kQuietFlushMs = 3000;
    static constexpr std::size_t kCutterLimit = 64 * 1024;

    ht6630::dialogue::Channel channel() const override { return ht6630::dialogue::Channel::Tcp; }

    // Starts listening on the session's address and port; the failure, if any.
    std::optional<StartFailure> start();
    // Stops: every connection is unloaded, the listener closed, both lists emptied.
    void stop();
    // The stop button's further steps: the chosen terminal forgotten, the table shrunk.
    void forgetConnections();
    // Closes the listener only: open connections stay, so replies still waiting can leave.
    void stopListening();
    // Connections held at most at once; one more is closed as it is accepted.
    void setMaxConnections(int n) { maxConnections_ = n; }

    const ConnectionTable& table() const { return table_; }
    const BarCodeList& onlineList() const { return online_; }
    const BarCodeList& offlineList() const { return offline_; }
    quint16 listeningPort() const;
    QTcpServer* listener() const { return listener_; }

signals:
    void listChanged(core::TerminalList list, core::ListOp op, const QString& text);

protected:
    void applyChannelAction(const ht6630::dialogue::Action& a, const Peer& peer) override;
    QString peerText(const Peer& peer) const override;
    QString peerBarCode(const Peer& peer) const override;
    bool peerUsable(const Peer& peer) const override;
    void sendToPeer(const Peer& peer, const QByteArray& frame) override;
    void sendRequestNow(const RequestTexts& texts) override;
    bool sendToTerminal(const QString& barCode, const QByteArray& frame) override;

private:
    struct Connection {
        int index = 0;
        EpollConnection* socket = nullptr;
        QTimer* quiet = nullptr;
        std::unique_ptr<ht6630::StreamCutter> cutter;
        QString peerAddress;
    };

    void onAccepted(qintptr descriptor);
    void onData(int index, const QByteArray& data);
    void onQuiet(int index);
    void onPeerClosed(int index);
    void onSocketError(int index, int error, const QString& text);
    void handOn(Connection* c, const ht6630::Bytes& block);
    void unload(int index);
    void checkDescriptors();
    bool loadedSocketIs(int index, const EpollConnection* s) const;
    void change(TerminalList list, ListOp op, const QString& text = QString());

    TcpListener* listener_ = nullptr;
    ConnectionTable table_;
    // Watches every accepted connection through one epoll descriptor; outlives them.
    EpollConnections epoll_;
    // Parent of the accepted sockets: a plain object, so that nothing walks thousands
    // of socket children.
    QObject socketOwner_;
    QHash<int, Connection*> conns_;
    BarCodeList online_;
    BarCodeList offline_;
    QTimer* fdWatch_ = nullptr;
    int baselineFds_ = 0;
    int maxConnections_ = ConnectionTable::kMaxIndex;
};

// Raises the soft open-file limit to the hard limit.
void RaiseOpenFileLimit();
// The soft open-file limit now in force.
int OpenFileLimit();

}  // namespace core
