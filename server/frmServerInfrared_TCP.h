#pragma once
// The TCP data centre: terminals connect as clients; every block cut from a
// connection's byte stream runs the dialogue; the operator configures a chosen
// terminal at once or at its next upload end.
#include <QHash>
#include <QTcpServer>

#include <memory>

#include "protocol/stream_cutter.h"
#include "server/ConnectionTable.h"
#include "server/DataCentreConsole.h"
#include "server/EpollConnections.h"
#include "server/IndexedList.h"

class QTimer;
class QListWidget;
class QAction;
namespace Ui { class frmServerInfrared_TCP; }

namespace server {

// wskServer(0): hands each accepted descriptor to the console, which may refuse it.
class TcpListener : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;
signals:
    void accepted(qintptr descriptor);
protected:
    void incomingConnection(qintptr descriptor) override { emit accepted(descriptor); }
};

// One loaded element wskServer(i): its connection, its stream cutter and its quiet timer.
struct TcpConnection {
    int index = 0;
    EpollConnection* socket = nullptr;
    QTimer* quiet = nullptr;
    std::unique_ptr<ht6630::StreamCutter> cutter;
};

class frmServerInfrared_TCP : public DataCentreConsole {
    Q_OBJECT
public:
    explicit frmServerInfrared_TCP(QWidget* parent = nullptr);
    ~frmServerInfrared_TCP() override;

    static constexpr int kQuietFlushMs = 3000;
    static constexpr std::size_t kCutterLimit = 64 * 1024;

    const ConnectionTable& table() const { return table_; }
    quint16 listeningPort() const;

    // Handlers, by their control names.
    void CmdYes_Click();
    void CmdNo_Click();
    void M_QDFW_Click();
    void M_DKFW_Click();
    void M_Exit_Click();
    void WinsockInfo_Click();
    void List1_Click();
    void Command1_Click();

protected:
    ht6630::dialogue::Channel channel() const override { return ht6630::dialogue::Channel::Tcp; }
    void applyChannelAction(const ht6630::dialogue::Action& a, const Peer& peer) override;
    bool peerUsable(const Peer& peer) const override;
    void sendToPeer(const Peer& peer, const QByteArray& frame) override;
    void sendRequestNow(const RequestTexts& texts) override;

private:
    void onAccepted(qintptr descriptor);
    void onReadyRead(int index, const QByteArray& data);
    void onQuiet(int index);
    void onPeerClosed(int index);                       // wskServer_Close
    void onSocketError(int index, int error, const QString& text);   // wskServer_Error
    void unload(int index);
    void checkDescriptors();
    bool loadedSocketIs(int index, const EpollConnection* s) const;

    std::unique_ptr<Ui::frmServerInfrared_TCP> ui_;
    TcpListener* wskServer0_ = nullptr;
    ConnectionTable table_;
    // Watches every accepted connection through one epoll descriptor; outlives them.
    EpollConnections epoll_;
    // Parent of the accepted sockets: a plain object, not the window, so that the
    // window's repaints and events never walk thousands of socket children.
    QObject socketOwner_;
    QHash<int, TcpConnection*> conns_;
    std::unique_ptr<IndexedList> List1_;
    std::unique_ptr<IndexedList> List2_;
    QTimer* fdWatch_ = nullptr;
    bool listUpdating_ = false;
    int baselineFds_ = 0;
};

// Raises the soft open-file limit to the hard limit (once per process).
void RaiseOpenFileLimit();
// The soft open-file limit now in force.
int OpenFileLimit();

}  // namespace server
