#include "ui/UdpDataCentreWindow.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include "ui/MsgBox.h"
#include "ui/ParameterPages.h"
#include "ui/TrafficLogPanel.h"
#include "ui_UdpDataCentreWindow.h"


using ht6630::Op;

UdpDataCentreWindow::UdpDataCentreWindow(core::ConsoleSession& session, QWidget* parent)
    : DataCentreWindow(session, parent), ui_(std::make_unique<Ui::UdpDataCentreWindow>()) {
    engine_ = new core::UdpDataCentre(session, this);
    ui_->setupUi(this);
    setModal(true);

    initCommonFrom(*ui_);

    // The menus (from the form) above the window's content, as a dialog carries them.
    layout()->setMenuBar(ui_->menuBar);
    connect(ui_->M_Exit, &QAction::triggered, this, &UdpDataCentreWindow::M_Exit_Click);
    connect(ui_->M_QDFW, &QAction::triggered, this, &UdpDataCentreWindow::M_QDFW_Click);
    connect(ui_->M_DKFW, &QAction::triggered, this, &UdpDataCentreWindow::CmdNo_Click);
    connect(ui_->CmdYes, &QPushButton::clicked, this, &UdpDataCentreWindow::CmdYes_Click);
    connect(ui_->CmdNo, &QPushButton::clicked, this, &UdpDataCentreWindow::CmdNo_Click);

    connect(engine_, &core::UdpDataCentre::senderSeen, this, [this](const QString& address, quint16 port) {
        ui_->CboId->setText(address);
        ui_->Txtport->setText(QString::number(port));
    });

    // Load.
    fillLocalIp();
    resetState();
    c_.statusPanel->clear();
}

UdpDataCentreWindow::~UdpDataCentreWindow() = default;

void UdpDataCentreWindow::CmdYes_Click() {
    if (!readLocalEndpoint()) return;
    M_QDFW_Click();
}

void UdpDataCentreWindow::M_QDFW_Click() {
    if (engine_->serviceRunning()) {
        MsgBox(this, QStringLiteral("UDP服务已经启动!"), QStringLiteral("启动服务"), BoxIcon::Exclamation);
        return;
    }
    if (!engine_->start())
        MsgBox(this, QStringLiteral("IP地址不可用"), QStringLiteral("数据中心IP地址"), BoxIcon::Critical);
}

void UdpDataCentreWindow::CmdNo_Click() { engine_->stop(); }

void UdpDataCentreWindow::M_Exit_Click() { exitProgram(); }

bool UdpDataCentreWindow::SetTerminalEndpoint() {
    return engine_->setTerminalEndpoint(ui_->CboId->text(), ui_->Txtport->text());
}

bool UdpDataCentreWindow::beforeRequest(Op op) {
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

void UdpDataCentreWindow::afterOpName(Op op) {
    session_.pending.expectLen = static_cast<qint16>(op == Op::ReadSpareIp ? 23 : ht6630::Entry(op).responseLength);
}

