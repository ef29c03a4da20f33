#pragma once
// The UDP data centre: one socket, every datagram one frame; replies go to the
// sender of the datagram being handled; requests go to the terminal endpoint.
#include <QHostAddress>
#include <QUdpSocket>

#include <memory>

#include "server/DataCentreConsole.h"

namespace Ui { class frmServerInfrared_UDP; }

namespace server {

class frmServerInfrared_UDP : public DataCentreConsole {
    Q_OBJECT
public:
    explicit frmServerInfrared_UDP(QWidget* parent = nullptr);
    ~frmServerInfrared_UDP() override;

    quint16 boundPort() const;

    void CmdYes_Click();
    void M_QDFW_Click();
    void CmdNo_Click();       // also M_DKFW
    void M_Exit_Click();
    // Makes CboId/Txtport the destination of requests; false when unusable.
    bool SetTerminalEndpoint();

protected:
    ht6630::dialogue::Channel channel() const override { return ht6630::dialogue::Channel::Udp; }
    bool peerUsable(const Peer& peer) const override;
    void sendToPeer(const Peer& peer, const QByteArray& frame) override;
    void sendRequestNow(const RequestTexts& texts) override;
    bool beforeRequest(ht6630::Op op) override;
    void afterOpName(ht6630::Op op) override;

private:
    void onReadyRead();

    std::unique_ptr<Ui::frmServerInfrared_UDP> ui_;
    QUdpSocket* UdpServer_ = nullptr;
    QHostAddress destAddress_;   // the socket's current destination
    quint16 destPort_ = 0;
};

}  // namespace server
