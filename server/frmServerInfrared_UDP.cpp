#include "server/frmServerInfrared_UDP.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QStatusBar>

#include "server/RequestTexts.h"
#include "shell/MsgBox.h"
#include "shell/ParameterPages.h"
#include "shell/TrafficLogPanel.h"
#include "shell/modDtu.h"
#include "ui_frmServerInfrared_UDP.h"

namespace server {

using ht6630::Op;

namespace {
QString SenderText(const QHostAddress& a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : a.toString();
}
}  // namespace

frmServerInfrared_UDP::frmServerInfrared_UDP(QWidget* parent)
    : DataCentreConsole(parent), ui_(std::make_unique<Ui::frmServerInfrared_UDP>()) {
    ui_->setupUi(this);
    setModal(true);

    initCommonFrom(*ui_);

    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    auto* M_File = bar->addMenu(QStringLiteral("文件"));
    M_File->setObjectName(QStringLiteral("M_File"));
    QAction* M_Exit = M_File->addAction(QStringLiteral("退出"));
    M_Exit->setObjectName(QStringLiteral("M_Exit"));
    auto* M_Control = bar->addMenu(QStringLiteral("控制"));
    M_Control->setObjectName(QStringLiteral("M_Control"));
    QAction* M_QDFW = M_Control->addAction(QStringLiteral("启动服务"));
    M_QDFW->setObjectName(QStringLiteral("M_QDFW"));
    QAction* M_DKFW = M_Control->addAction(QStringLiteral("断开服务"));
    M_DKFW->setObjectName(QStringLiteral("M_DKFW"));
    layout()->setMenuBar(bar);
    connect(M_Exit, &QAction::triggered, this, &frmServerInfrared_UDP::M_Exit_Click);
    connect(M_QDFW, &QAction::triggered, this, &frmServerInfrared_UDP::M_QDFW_Click);
    connect(M_DKFW, &QAction::triggered, this, &frmServerInfrared_UDP::CmdNo_Click);
    connect(ui_->CmdYes, &QPushButton::clicked, this, &frmServerInfrared_UDP::CmdYes_Click);
    connect(ui_->CmdNo, &QPushButton::clicked, this, &frmServerInfrared_UDP::CmdNo_Click);

    UdpServer_ = new QUdpSocket(this);
    UdpServer_->setObjectName(QStringLiteral("UdpServer"));
    connect(UdpServer_, &QUdpSocket::readyRead, this, &frmServerInfrared_UDP::onReadyRead);

    // Load.
    fillLocalIp();
    resetState();
    c_.statusPanel->clear();
}

frmServerInfrared_UDP::~frmServerInfrared_UDP() = default;

quint16 frmServerInfrared_UDP::boundPort() const {
    return UdpServer_->state() == QAbstractSocket::BoundState ? UdpServer_->localPort() : 0;
}

void frmServerInfrared_UDP::CmdYes_Click() {
    if (!readLocalEndpoint()) return;
    M_QDFW_Click();
}

void frmServerInfrared_UDP::M_QDFW_Click() {
    if (ServiceRunning) {
        MsgBox(this, QStringLiteral("UDP服务已经启动!"), QStringLiteral("启动服务"), BoxIcon::Exclamation);
        return;
    }
    UdpServer_->close();
    QHostAddress address(QHostAddress::Any);
    const QString ip = modDtu::LocalIp;
    bool ok = modDtu::LocalPort >= 0 && modDtu::LocalPort <= 65535 &&
              (ip.isEmpty() || address.setAddress(ip));
    if (ok) ok = UdpServer_->bind(address, static_cast<quint16>(modDtu::LocalPort));
    if (!ok) {
        UdpServer_->close();
        MsgBox(this, QStringLiteral("IP地址不可用"), QStringLiteral("数据中心IP地址"), BoxIcon::Critical);
        return;
    }
    c_.statusPanel->setText(QStringLiteral("UDP服务已启动！"));
    ServiceRunning = true;
    ServiceStopped = false;
}

void frmServerInfrared_UDP::CmdNo_Click() {
    UdpServer_->close();
    c_.statusPanel->setText(QStringLiteral("UDP服务已停止!"));
    ServiceStopped = true;
    ServiceRunning = false;
}

void frmServerInfrared_UDP::M_Exit_Click() { exitProgram(); }

void frmServerInfrared_UDP::onReadyRead() {
    while (UdpServer_->hasPendingDatagrams()) {
        const QNetworkDatagram d = UdpServer_->receiveDatagram();
        if (!d.isValid() && d.data().isEmpty()) continue;
        ui_->CboId->setText(SenderText(d.senderAddress()));
        ui_->Txtport->setText(QString::number(d.senderPort()));
        destAddress_ = d.senderAddress();   // reading a datagram makes its sender the destination
        destPort_ = static_cast<quint16>(d.senderPort());
        Peer peer;
        peer.address = d.senderAddress();
        peer.port = static_cast<quint16>(d.senderPort());
        auto task = HandleReceived(d.data(), peer);
        (void)task;
    }
}

bool frmServerInfrared_UDP::peerUsable(const Peer& peer) const {
    return UdpServer_->state() == QAbstractSocket::BoundState && !peer.address.isNull();
}

void frmServerInfrared_UDP::sendToPeer(const Peer& peer, const QByteArray& frame) {
    UdpServer_->writeDatagram(frame, peer.address, peer.port);
}

bool frmServerInfrared_UDP::SetTerminalEndpoint() {
    const double v = LeadingValue(ui_->Txtport->text());
    const QString host = ui_->CboId->text();
    if (!(v >= 0) || host.isEmpty()) return false;
    // Setting the destination fails for a host that is no address and for a port the
    // socket does not take: the press ends there and nothing has changed.
    const auto port = RoundToInt32(v);
    QHostAddress address;
    if (!port || *port > 65535 || !address.setAddress(host.trimmed())) return false;
    destAddress_ = address;
    destPort_ = static_cast<quint16>(*port);
    return true;
}

bool frmServerInfrared_UDP::beforeRequest(Op op) {
    switch (op) {
    case Op::ReadBarCode: case Op::SetBarCode: case Op::ReadIp: case Op::SetIp:
    case Op::ReadSpareIp: case Op::SetSpareIp: case Op::SetUpload:
        if (!SetTerminalEndpoint()) {
            MsgBox(this, QStringLiteral("请输入需要配置模块的IP地址和端口号！"), QStringLiteral("系统提示:"),
                   BoxIcon::None);
            return false;
        }
        return true;
    default: return true;
    }
}

void frmServerInfrared_UDP::afterOpName(Op op) {
    modDtu::ExpectLen = static_cast<qint16>(op == Op::ReadSpareIp ? 23 : ht6630::Entry(op).responseLength);
}

void frmServerInfrared_UDP::sendRequestNow(const RequestTexts& texts) {
    // A datagram that cannot leave (service stopped, no destination yet, a destination
    // the bound socket cannot reach) ends the press without the sending text.
    if (UdpServer_->state() != QAbstractSocket::BoundState || destAddress_.isNull()) return;
    if (UdpServer_->writeDatagram(PendingFrame, destAddress_, destPort_) < 0) return;
    c_.LblInf->setText(texts.sending);
}

}  // namespace server
