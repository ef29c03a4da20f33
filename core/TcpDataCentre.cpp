#include "core/TcpDataCentre.h"

#include <QDir>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace core {

using ht6630::dialogue::Action;

void RaiseOpenFileLimit() {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

int OpenFileLimit() {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return 1024;
    if (rl.rlim_cur == RLIM_INFINITY || rl.rlim_cur > 1 << 30) return 1 << 30;
    return static_cast<int>(rl.rlim_cur);
}

namespace {
// Descriptors kept free for everything else the program opens.
constexpr int kFdReserve = 48;

int CountOpenFds() {
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

// "address:port" of a connected descriptor's peer.
QString PeerAddressOf(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (ss.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&ss);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        return QString::fromLatin1(text) + QLatin1Char(':') + QString::number(ntohs(a->sin_port));
    }
    if (ss.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&ss);
        inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        return QLatin1Char('[') + QString::fromLatin1(text) + QStringLiteral("]:") + QString::number(ntohs(a->sin6_port));
    }
    return {};
}
}  // namespace

TcpDataCentre::TcpDataCentre(ConsoleSession& session, QObject* parent) : DataCentre(session, parent) {
    RaiseOpenFileLimit();
    listener_ = new TcpListener(this);
    listener_->setObjectName(QStringLiteral("wskServer_0"));
    listener_->setListenBacklogSize(4096);
    listener_->setMaxPendingConnections(1 << 20);
    connect(listener_, &TcpListener::accepted, this, &TcpDataCentre::onAccepted);
    // An error on the listening socket is logged only.
    connect(listener_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError e) {
        emit netLog(QStringLiteral("错误代码:") + QString::number(static_cast<int>(e)) + QStringLiteral(" 错误描述:") +
                    listener_->errorString());
    });

    EpollConnections::Handlers h;
    h.data = [this](EpollConnection* c, const QByteArray& data) { onData(c->tag, data); };
    h.closed = [this](EpollConnection* c) { onPeerClosed(c->tag); };
    h.error = [this](EpollConnection* c, int code, const QString& text) { onSocketError(c->tag, code, text); };
    epoll_.setHandlers(std::move(h));

    fdWatch_ = new QTimer(this);
    fdWatch_->setInterval(1000);
    connect(fdWatch_, &QTimer::timeout, this, &TcpDataCentre::checkDescriptors);
}

TcpDataCentre::~TcpDataCentre() {
    for (Connection* c : std::as_const(conns_)) {
        c->quiet->stop();
        c->socket->abort();
        delete c;
    }
    conns_.clear();
}

quint16 TcpDataCentre::listeningPort() const { return listener_->isListening() ? listener_->serverPort() : 0; }

std::optional<StartFailure> TcpDataCentre::start() {
    const QString title = QStringLiteral("启动服务");
    if (serviceRunning()) return StartFailure{QStringLiteral("TCP服务已经启动!"), title, false};
    const qint32 port = session().localPort;
    if (port < 0 || port > 65535) return StartFailure{QStringLiteral("端口号必须在0到65535之间!"), title, true};
    QHostAddress address(QHostAddress::Any);
    const QString ip = session().localIp.trimmed();
    if (!ip.isEmpty() && !address.setAddress(ip))
        return StartFailure{QStringLiteral("TCP服务启动失败:IP地址不可用"), title, true};
    baselineFds_ = CountOpenFds();
    if (!listener_->listen(address, static_cast<quint16>(port)))
        return StartFailure{QStringLiteral("TCP服务启动失败:") + listener_->errorString(), title, true};
    fdWatch_->start();
    setServiceState(true, QStringLiteral("TCP服务已启动!"));
    return std::nullopt;
}

void TcpDataCentre::stop() {
    for (int i : table_.stopAll()) {
        if (Connection* c = conns_.take(i)) {
            c->quiet->stop();
            c->socket->abort();
            c->socket->deleteLater();
            delete c;
        }
    }
    listener_->close();
    fdWatch_->stop();
    setServiceState(false, QStringLiteral("TCP服务已停止!"));
    online_.clear();
    offline_.clear();
    change(TerminalList::Online, ListOp::Clear);
    change(TerminalList::Offline, ListOp::Clear);
}

void TcpDataCentre::forgetConnections() {
    session().currentId.clear();
    table_.shrinkToFirst();
}

void TcpDataCentre::stopListening() {
    listener_->close();
    fdWatch_->stop();
}

void TcpDataCentre::change(TerminalList list, ListOp op, const QString& text) { emit listChanged(list, op, text); }

void TcpDataCentre::onAccepted(qintptr descriptor) {
    const int fd = static_cast<int>(descriptor);
    // Refuse cleanly when descriptors run short, before any could fail.
    if (baselineFds_ + table_.loadedCount() + kFdReserve >= OpenFileLimit()) {
        ::close(fd);
        return;
    }
    if (table_.loadedCount() >= maxConnections_) {
        ::close(fd);
        return;
    }
    const auto index = table_.allocate();
    if (!index) {   // beyond the 16-bit index range
        ::close(fd);
        return;
    }
    const int i = *index;
    auto* c = new Connection;
    c->index = i;
    c->peerAddress = PeerAddressOf(fd);
    c->socket = epoll_.adopt(fd, &socketOwner_);
    if (!c->socket) {
        ::close(fd);
        delete c;
        table_.releaseByPeer(i);
        return;
    }
    c->socket->tag = i;
    c->socket->setObjectName(QStringLiteral("wskServer_%1").arg(i));
    c->quiet = new QTimer(c->socket);
    c->quiet->setSingleShot(true);
    c->quiet->setInterval(kQuietFlushMs);
    c->cutter = std::make_unique<ht6630::StreamCutter>(kCutterLimit);
    conns_.insert(i, c);
    connect(c->quiet, &QTimer::timeout, this, [this, i] { onQuiet(i); });
}

void TcpDataCentre::handOn(Connection* c, const ht6630::Bytes& b) {
    Peer peer;
    peer.socket = c->socket;
    peer.index = c->index;
    auto task = handleBlock(QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())), peer);
    (void)task;
}

void TcpDataCentre::onData(int index, const QByteArray& data) {
    Connection* c = conns_.value(index);
    if (!c || data.isEmpty()) return;
    const ht6630::ByteView view(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                static_cast<std::size_t>(data.size()));
    const std::vector<ht6630::Bytes> blocks = c->cutter->feed(view);
    if (c->cutter->holding()) c->quiet->start();
    else c->quiet->stop();
    for (const ht6630::Bytes& b : blocks) {
        if (!conns_.contains(index)) return;   // a handler unloaded it
        handOn(c, b);
    }
}

void TcpDataCentre::onQuiet(int index) {
    Connection* c = conns_.value(index);
    if (!c) return;
    const ht6630::Bytes b = c->cutter->flush();
    if (!b.empty()) handOn(c, b);
}

void TcpDataCentre::unload(int index) {
    Connection* c = conns_.take(index);
    if (!c) return;
    c->quiet->stop();
    c->socket->abort();
    c->socket->deleteLater();
    delete c;
}

void TcpDataCentre::onPeerClosed(int index) {
    if (index < 1 || !conns_.contains(index)) return;
    // Bytes that arrived before the close were handed on already; a partial frame
    // still held is handed on as it came, on its own connection, before the close is
    // handled (any reply it calls for is dropped, the connection being gone by then).
    onQuiet(index);
    const QString peerAddress = conns_.contains(index) ? conns_.value(index)->peerAddress : QString();
    unload(index);
    const QString b = table_.releaseByPeer(index);
    emit netLog(QStringLiteral("断开") + b);
    if (online_.count() > 0 && online_.contains(b)) {
        if (session().currentId == b) session().currentId.clear();
        online_.removeFirst(b);
        change(TerminalList::Online, ListOp::RemoveFirst, b);
    }
    if (!offline_.contains(b)) {
        offline_.append(b);
        change(TerminalList::Offline, ListOp::Append, b);
    }
    emit terminalOffline(b, index, peerAddress);
}

void TcpDataCentre::onSocketError(int index, int error, const QString& text) {
    // A peer's orderly close is its close event, not an error.
    if (error == static_cast<int>(QAbstractSocket::RemoteHostClosedError)) return;
    if (!conns_.contains(index)) return;
    emit netLog(QStringLiteral("错误代码:") + QString::number(error) + QStringLiteral(" 错误描述:") + text);
    onPeerClosed(index);
}

void TcpDataCentre::checkDescriptors() {
    // Safety net: if descriptors are exhausted anyway, stop accepting for a while
    // instead of spinning on failing accepts.
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE) listener_->pauseAccepting();
        return;
    }
    ::close(fd);
    if (listener_->isListening()) listener_->resumeAccepting();
}

bool TcpDataCentre::loadedSocketIs(int index, const EpollConnection* s) const {
    const Connection* c = conns_.value(index);
    return c && c->socket == s;
}

QString TcpDataCentre::peerText(const Peer& peer) const {
    const Connection* c = conns_.value(peer.index);
    return c ? c->peerAddress : QString();
}

QString TcpDataCentre::peerBarCode(const Peer& peer) const {
    const auto& codes = table_.clientBarCode();
    return peer.index >= 0 && peer.index < static_cast<int>(codes.size()) ? codes[std::size_t(peer.index)] : QString();
}

bool TcpDataCentre::peerUsable(const Peer& peer) const {
    return peer.socket && loadedSocketIs(peer.index, peer.socket.data()) && peer.socket->isConnected();
}

void TcpDataCentre::sendToPeer(const Peer& peer, const QByteArray& frame) {
    if (peerUsable(peer)) peer.socket->write(frame);
}

void TcpDataCentre::applyChannelAction(const Action& a, const Peer& peer) {
    using K = Action::Kind;
    const QString text = QString::fromUtf8(a.text.data(), static_cast<qsizetype>(a.text.size()));
    switch (a.kind) {
    case K::SetConnectionBarCode:
        if (peer.socket && loadedSocketIs(peer.index, peer.socket.data())) {
            table_.setBarCode(peer.index, text);
            emit terminalOnline(text, peer.index, conns_.value(peer.index)->peerAddress);
        }
        break;
    case K::MarkOnline:
        if (!online_.contains(text)) {
            online_.append(text);
            change(TerminalList::Online, ListOp::Append, text);
        }
        if (offline_.count() > 0 && offline_.removeFirst(text)) change(TerminalList::Offline, ListOp::RemoveFirst, text);
        break;
    case K::NetLog: emit netLog(text); break;
    case K::RenameCurrentTerminal: {
        const QString bar = terminalBarCode();
        const int removed = online_.removeAll(currentTerminal());
        if (removed > 0) change(TerminalList::Online, ListOp::RemoveAll, currentTerminal());
        for (int k = 0; k < removed; ++k) {
            online_.append(bar);
            change(TerminalList::Online, ListOp::Append, bar);
        }
        setCurrentTerminal(bar);
        emit currentTerminalShown(bar);
        break;
    }
    default: break;
    }
}

void TcpDataCentre::sendRequestNow(const RequestTexts& texts) {
    const auto index = table_.firstLoadedWith(session().currentId);
    Connection* c = index ? conns_.value(*index) : nullptr;
    if (c && c->socket->isConnected()) {
        c->socket->write(pendingFrame());
        return;   // the status line stays as it was
    }
    showStatus(texts.sending);
}

bool TcpDataCentre::sendToTerminal(const QString& barCode, const QByteArray& frame) {
    const auto index = table_.firstLoadedWith(barCode);
    Connection* c = index ? conns_.value(*index) : nullptr;
    if (!c || !c->socket->isConnected()) return false;
    c->socket->write(frame);
    return true;
}

}  // namespace core
