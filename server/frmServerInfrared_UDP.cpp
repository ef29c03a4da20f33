#include "server/frmServerInfrared_UDP.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

#include "shell/MsgBox.h"
#include "shell/ParameterPages.h"
#include "shell/TrafficLogPanel.h"
#include "ui_frmServerInfrared_UDP.h"

namespace server {

using ht6630::Op;

frmServerInfrared_UDP::frmServerInfrared_UDP(core::ConsoleSession& session, QWidget* parent)
    : DataCentreConsole(session, parent), ui_(std::make_unique<Ui::frmServerInfrared_UDP>()) {
    engine_ = new core::UdpDataCentre(session, this);
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

    connect(engine_, &core::UdpDataCentre::senderSeen, this, [this](const QString& address, quint16 port) {
        ui_->CboId->setText(address);
        ui_->Txtport->setText(QString::number(port));
    });

    // Load.
    fillLocalIp();
    resetState();
    c_.statusPanel->clear();
}

frmServerInfrared_UDP::~frmServerInfrared_UDP() = default;

void frmServerInfrared_UDP::CmdYes_Click() {
    if (!readLocalEndpoint()) return;
    M_QDFW_Click();
}

void frmServerInfrared_UDP::M_QDFW_Click() {
    if (engine_->serviceRunning()) {
        MsgBox(this, QStringLiteral("UDP服务已经启动!"), QStringLiteral("启动服务"), BoxIcon::Exclamation);
        return;
    }
    if (!engine_->start())
        MsgBox(this, QStringLiteral("IP地址不可用"), QStringLiteral("数据中心IP地址"), BoxIcon::Critical);
}

void frmServerInfrared_UDP::CmdNo_Click() { engine_->stop(); }

void frmServerInfrared_UDP::M_Exit_Click() { exitProgram(); }

bool frmServerInfrared_UDP::SetTerminalEndpoint() {
    return engine_->setTerminalEndpoint(ui_->CboId->text(), ui_->Txtport->text());
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
    session_.pending.expectLen = static_cast<qint16>(op == Op::ReadSpareIp ? 23 : ht6630::Entry(op).responseLength);
}

}  // namespace server
