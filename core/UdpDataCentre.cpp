#include "core/UdpDataCentre.h"

#include <QNetworkDatagram>
#include <QVariant>

#include "protocol/NumberEntry.h"

namespace core {

QString SenderText(const QHostAddress& a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : a.toString();
}

UdpDataCentre::UdpDataCentre(ConsoleSession& session, QObject* parent) : DataCentre(session, parent) {
    socket_ = new QUdpSocket(this);
    socket_->setObjectName(QStringLiteral("UdpServer"));
    connect(socket_, &QUdpSocket::readyRead, this, &UdpDataCentre::onReadyRead);
}

UdpDataCentre::~UdpDataCentre() = default;

quint16 UdpDataCentre::boundPort() const {
    return socket_->state() == QAbstractSocket::BoundState ? socket_->localPort() : 0;
}

bool UdpDataCentre::start() {
    socket_->close();
    QHostAddress address(QHostAddress::Any);
    const QString ip = session().localIp;
    const qint32 port = session().localPort;
    bool ok = port >= 0 && port <= 65535 && (ip.isEmpty() || address.setAddress(ip));
    if (ok) ok = socket_->bind(address, static_cast<quint16>(port));
    if (!ok) {
        socket_->close();
        return false;
    }
    // Thousands of terminals send while the event loop is busy elsewhere for a
    // moment (a large log growing, the system paging): a receive buffer of a few
    // megabytes keeps those datagrams instead of dropping them. The system caps it.
    socket_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(int(kReceiveBuffer)));
    setServiceState(true, QStringLiteral("UDP服务已启动！"));
    return true;
}

void UdpDataCentre::stop() {
    socket_->close();
    setServiceState(false, QStringLiteral("UDP服务已停止!"));
}

void UdpDataCentre::onReadyRead() {
    QPointer<UdpDataCentre> self(this);
    while (self && socket_->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket_->receiveDatagram();
        if (!d.isValid() && d.data().isEmpty()) continue;
        if (!receiving_) continue;
        emit senderSeen(SenderText(d.senderAddress()), static_cast<quint16>(d.senderPort()));
        destAddress_ = d.senderAddress();   // reading a datagram makes its sender the destination
        destPort_ = static_cast<quint16>(d.senderPort());
        Peer peer;
        peer.address = d.senderAddress();
        peer.port = static_cast<quint16>(d.senderPort());
        if (serviceMode()) {
            const QString barCode = SenderBarCode(d.data());
            if (!barCode.isEmpty()) {
                endpoints_.insert(barCode, Endpoint{peer.address, peer.port});
                terminalAt_.insert(peerText(peer), barCode);
            }
        }
        auto task = handleBlock(d.data(), peer);
        (void)task;
    }
}

void UdpDataCentre::applyChannelAction(const ht6630::dialogue::Action&, const Peer&) {}

QString UdpDataCentre::peerText(const Peer& peer) const {
    return SenderText(peer.address) + QLatin1Char(':') + QString::number(peer.port);
}

QString UdpDataCentre::peerBarCode(const Peer& peer) const {
    if (!serviceMode()) return DataCentre::peerBarCode(peer);
    return terminalAt_.value(peerText(peer));
}

QString UdpDataCentre::endpointOf(const QString& barCode) const {
    const auto it = endpoints_.constFind(barCode);
    if (it == endpoints_.constEnd()) return {};
    return SenderText(it->address) + QLatin1Char(':') + QString::number(it->port);
}

bool UdpDataCentre::peerUsable(const Peer& peer) const {
    return socket_->state() == QAbstractSocket::BoundState && !peer.address.isNull();
}

void UdpDataCentre::sendToPeer(const Peer& peer, const QByteArray& frame) {
    socket_->writeDatagram(frame, peer.address, peer.port);
}

bool UdpDataCentre::setTerminalEndpoint(const QString& host, const QString& portText) {
    const QByteArray p = portText.toUtf8();
    const double v = ht6630::ValueOf(std::string_view(p.constData(), static_cast<size_t>(p.size())));
    if (!(v >= 0) || host.isEmpty()) return false;
    // Setting the destination fails for a host that is no address and for a port the
    // socket does not take: the press ends there and nothing has changed.
    const double r = ht6630::RoundHalfEven(v);
    QHostAddress address;
    if (!(r <= 65535) || !address.setAddress(host.trimmed())) return false;
    destAddress_ = address;
    destPort_ = static_cast<quint16>(r);
    return true;
}

void UdpDataCentre::sendRequestNow(const RequestTexts& texts) {
    // A datagram that cannot leave (service stopped, no destination yet, a destination
    // the bound socket cannot reach) ends the press without the sending text.
    QHostAddress address = destAddress_;
    quint16 port = destPort_;
    if (serviceMode()) {
        // Not the last sender of any datagram: the endpoint the addressed terminal used last.
        const Endpoint e = endpoints_.value(currentTerminal());
        address = e.address;
        port = e.port;
    }
    if (socket_->state() != QAbstractSocket::BoundState || address.isNull()) return;
    if (socket_->writeDatagram(pendingFrame(), address, port) < 0) return;
    showStatus(texts.sending);
}

bool UdpDataCentre::sendToTerminal(const QString& barCode, const QByteArray& frame) {
    const auto it = endpoints_.constFind(barCode);
    if (it == endpoints_.constEnd() || socket_->state() != QAbstractSocket::BoundState) return false;
    return socket_->writeDatagram(frame, it->address, it->port) >= 0;
}

}  // namespace core
