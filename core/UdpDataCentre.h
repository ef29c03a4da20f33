#pragma once
// The UDP data centre: one socket, every datagram one frame; replies go to the
// sender of the datagram being handled; requests go to the terminal endpoint
// (the sender of the last datagram, or the endpoint the operator typed).
#include <QHash>
#include <QHostAddress>
#include <QUdpSocket>

#include <optional>

#include "core/DataCentre.h"

namespace core {

class UdpDataCentre : public DataCentre {
    Q_OBJECT
public:
    explicit UdpDataCentre(ConsoleSession& session, QObject* parent = nullptr);
    ~UdpDataCentre() override;

    ht6630::dialogue::Channel channel() const override { return ht6630::dialogue::Channel::Udp; }
    static constexpr int kReceiveBuffer = 4 * 1024 * 1024;

    // Binds to the session's address and port; false when that fails.
    bool start();
    void stop();
    quint16 boundPort() const;
    QUdpSocket* socket() const { return socket_; }

    // Makes host:port (the operator's texts) the destination of requests; false when unusable.
    bool setTerminalEndpoint(const QString& host, const QString& portText);
    // Datagrams arriving from now on are read and dropped; the socket stays bound
    // so that replies still waiting can leave.
    void stopReceiving() { receiving_ = false; }
    // Service mode: the endpoint a terminal sent its last frame from ("address:port", or empty).
    QString endpointOf(const QString& barCode) const;

signals:
    // A datagram arrived from this sender (shown before it is handled).
    void senderSeen(const QString& address, quint16 port);

protected:
    void applyChannelAction(const ht6630::dialogue::Action& a, const Peer& peer) override;
    QString peerText(const Peer& peer) const override;
    QString peerBarCode(const Peer& peer) const override;
    bool peerUsable(const Peer& peer) const override;
    void sendToPeer(const Peer& peer, const QByteArray& frame) override;
    void sendRequestNow(const RequestTexts& texts) override;
    bool sendToTerminal(const QString& barCode, const QByteArray& frame) override;

private:
    void onReadyRead();

    QUdpSocket* socket_ = nullptr;
    QHostAddress destAddress_;   // the socket's current destination
    quint16 destPort_ = 0;
    bool receiving_ = true;
    // Service mode: each terminal's last endpoint, and the terminal behind an endpoint.
    struct Endpoint {
        QHostAddress address;
        quint16 port = 0;
    };
    QHash<QString, Endpoint> endpoints_;
    QHash<QString, QString> terminalAt_;
};

// The text of a sender's address (an IPv4 address mapped into IPv6 shows as IPv4).
QString SenderText(const QHostAddress& a);

}  // namespace core
