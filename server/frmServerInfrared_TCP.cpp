#include "server/frmServerInfrared_TCP.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>


#include "server/NetLog.h"
#include "shell/LogTextBox.h"
#include "shell/MsgBox.h"
#include "shell/ParameterPages.h"
#include "shell/TrafficLogPanel.h"
#include "ui_frmServerInfrared_TCP.h"

namespace server {

frmServerInfrared_TCP::frmServerInfrared_TCP(core::ConsoleSession& session, QWidget* parent)
    : DataCentreConsole(session, parent), ui_(std::make_unique<Ui::frmServerInfrared_TCP>()) {
    engine_ = new core::TcpDataCentre(session, this);
    ui_->setupUi(this);
    setModal(true);

    initCommonFrom(*ui_);

    // Command1 on the third page.
    auto* Command1 = new QPushButton(QStringLiteral("Command1"));
    Command1->setObjectName(QStringLiteral("Command1"));
    if (QWidget* live = ui_->pages->tabs()->widget(2)) {
        if (live->layout()) live->layout()->addWidget(Command1);
        else Command1->setParent(live);
    }
    connect(Command1, &QPushButton::clicked, this, &frmServerInfrared_TCP::Command1_Click);

    // Menus.
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    auto* M_WJ = bar->addMenu(QStringLiteral("文件"));
    M_WJ->setObjectName(QStringLiteral("M_WJ"));
    QAction* WinsockInfo = M_WJ->addAction(QStringLiteral("网络日志"));
    WinsockInfo->setObjectName(QStringLiteral("WinsockInfo"));
    QAction* M_Exit = M_WJ->addAction(QStringLiteral("程序退出"));
    M_Exit->setObjectName(QStringLiteral("M_Exit"));
    auto* M_KZ = bar->addMenu(QStringLiteral("控制"));
    M_KZ->setObjectName(QStringLiteral("M_KZ"));
    QAction* M_QDFW = M_KZ->addAction(QStringLiteral("启动服务"));
    M_QDFW->setObjectName(QStringLiteral("M_QDFW"));
    QAction* M_DKFW = M_KZ->addAction(QStringLiteral("断开服务"));
    M_DKFW->setObjectName(QStringLiteral("M_DKFW"));
    QAction* M_ZDLX = M_KZ->addAction(QStringLiteral("主动离线"));
    M_ZDLX->setObjectName(QStringLiteral("M_ZDLX"));   // no action
    layout()->setMenuBar(bar);
    connect(WinsockInfo, &QAction::triggered, this, &frmServerInfrared_TCP::WinsockInfo_Click);
    connect(M_Exit, &QAction::triggered, this, &frmServerInfrared_TCP::M_Exit_Click);
    connect(M_QDFW, &QAction::triggered, this, &frmServerInfrared_TCP::M_QDFW_Click);
    connect(M_DKFW, &QAction::triggered, this, &frmServerInfrared_TCP::M_DKFW_Click);

    connect(ui_->CmdYes, &QPushButton::clicked, this, &frmServerInfrared_TCP::CmdYes_Click);
    connect(ui_->CmdNo, &QPushButton::clicked, this, &frmServerInfrared_TCP::CmdNo_Click);

    List1_ = std::make_unique<IndexedList>(ui_->List1);
    List2_ = std::make_unique<IndexedList>(ui_->List2);
    // The list's click: a click on an entry, or the chosen entry changing (arrow keys).
    // Keyboard focus alone, which only marks a row current, chooses nothing.
    connect(ui_->List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    connect(ui_->List1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!listUpdating_) List1_Click();
    });

    connect(engine_, &core::TcpDataCentre::listChanged, this, &frmServerInfrared_TCP::showListChange);
    connect(engine_, &core::DataCentre::netLog, this, [](const QString& m) { WriteTcpNetLog(m); });

    // Form_Load.
    fillLocalIp();
    resetState();
    c_.statusPanel->clear();
}

frmServerInfrared_TCP::~frmServerInfrared_TCP() = default;

void frmServerInfrared_TCP::CmdYes_Click() {
    if (!readLocalEndpoint()) return;
    M_QDFW_Click();
    if (!engine_->serviceRunning()) return;   // the start failed: the service stays stopped and usable
    ui_->CmdNo->setEnabled(true);
    ui_->CmdYes->setEnabled(false);
}

void frmServerInfrared_TCP::M_QDFW_Click() {
    if (const auto failure = engine_->start())
        MsgBox(this, failure->text, failure->title, failure->critical ? BoxIcon::Critical : BoxIcon::Exclamation);
}

void frmServerInfrared_TCP::CmdNo_Click() {
    M_DKFW_Click();
    engine_->forgetConnections();
    ui_->CmdNo->setEnabled(false);
    ui_->CmdYes->setEnabled(true);
}

void frmServerInfrared_TCP::M_DKFW_Click() { engine_->stop(); }

void frmServerInfrared_TCP::M_Exit_Click() { exitProgram(); }

void frmServerInfrared_TCP::WinsockInfo_Click() { ShowNetLog(this); }

void frmServerInfrared_TCP::List1_Click() {
    const QList<QListWidgetItem*> chosen = ui_->List1->selectedItems();
    if (chosen.isEmpty()) return;
    QListWidgetItem* item = chosen.first();
    session_.currentId = item->text().trimmed();
    ui_->TxtDQID->setText(session_.currentId);
}

void frmServerInfrared_TCP::Command1_Click() {
    MsgBox(this, QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmss")), kAppTitle,
           BoxIcon::None);
}

void frmServerInfrared_TCP::showListChange(core::TerminalList list, core::ListOp op, const QString& text) {
    IndexedList& view = list == core::TerminalList::Online ? *List1_ : *List2_;
    listUpdating_ = true;
    switch (op) {
    case core::ListOp::Append: view.append(text); break;
    case core::ListOp::RemoveFirst: view.removeFirst(text); break;
    case core::ListOp::RemoveAll: view.removeAll(text); break;
    case core::ListOp::Clear: view.clear(); break;
    }
    listUpdating_ = false;
}

}  // namespace server
