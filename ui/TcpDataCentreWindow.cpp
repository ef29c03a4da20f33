#include "ui/TcpDataCentreWindow.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "ui/NetLogWindow.h"
#include "ui/LogTextBox.h"
#include "ui/MsgBox.h"
#include "ui/ParameterPages.h"
#include "ui/TrafficLogPanel.h"
#include "ui_TcpDataCentreWindow.h"

TcpDataCentreWindow::TcpDataCentreWindow(core::ConsoleSession& session, NetLogWindow* netLog, QWidget* parent)
    : DataCentreWindow(session, parent), netLog_(netLog), ui_(std::make_unique<Ui::TcpDataCentreWindow>()) {
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
    connect(Command1, &QPushButton::clicked, this, &TcpDataCentreWindow::Command1_Click);

    // The menus (from the form) above the window's content, as a dialog carries them.
    layout()->setMenuBar(ui_->menuBar);
    connect(ui_->WinsockInfo, &QAction::triggered, this, &TcpDataCentreWindow::WinsockInfo_Click);
    connect(ui_->M_Exit, &QAction::triggered, this, &TcpDataCentreWindow::M_Exit_Click);
    connect(ui_->M_QDFW, &QAction::triggered, this, &TcpDataCentreWindow::M_QDFW_Click);
    connect(ui_->M_DKFW, &QAction::triggered, this, &TcpDataCentreWindow::M_DKFW_Click);

    connect(ui_->CmdYes, &QPushButton::clicked, this, &TcpDataCentreWindow::CmdYes_Click);
    connect(ui_->CmdNo, &QPushButton::clicked, this, &TcpDataCentreWindow::CmdNo_Click);

    List1_ = std::make_unique<IndexedList>(ui_->List1);
    List2_ = std::make_unique<IndexedList>(ui_->List2);
    // The list's click: a click on an entry, or the chosen entry changing (arrow keys).
    // Keyboard focus alone, which only marks a row current, chooses nothing.
    connect(ui_->List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    connect(ui_->List1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!listUpdating_) List1_Click();
    });

    connect(engine_, &core::TcpDataCentre::listChanged, this, &TcpDataCentreWindow::showListChange);
    connect(engine_, &core::DataCentre::netLog, this, [this](const QString& m) {
        if (netLog_) netLog_->write(m);
    });

    // Form_Load.
    fillLocalIp();
    resetState();
    c_.statusPanel->clear();
}

TcpDataCentreWindow::~TcpDataCentreWindow() = default;

void TcpDataCentreWindow::CmdYes_Click() {
    if (!readLocalEndpoint()) return;
    M_QDFW_Click();
    if (!engine_->serviceRunning()) return;   // the start failed: the service stays stopped and usable
    ui_->CmdNo->setEnabled(true);
    ui_->CmdYes->setEnabled(false);
}

void TcpDataCentreWindow::M_QDFW_Click() {
    if (const auto failure = engine_->start())
        MsgBox(this, failure->text, failure->title, failure->critical ? BoxIcon::Critical : BoxIcon::Exclamation);
}

void TcpDataCentreWindow::CmdNo_Click() {
    M_DKFW_Click();
    engine_->forgetConnections();
    ui_->CmdNo->setEnabled(false);
    ui_->CmdYes->setEnabled(true);
}

void TcpDataCentreWindow::M_DKFW_Click() { engine_->stop(); }

void TcpDataCentreWindow::M_Exit_Click() { exitProgram(); }

void TcpDataCentreWindow::WinsockInfo_Click() {
    if (netLog_) netLog_->showModal();
}

void TcpDataCentreWindow::List1_Click() {
    const QList<QListWidgetItem*> chosen = ui_->List1->selectedItems();
    if (chosen.isEmpty()) return;
    QListWidgetItem* item = chosen.first();
    session_.currentId = item->text().trimmed();
    ui_->TxtDQID->setText(session_.currentId);
}

void TcpDataCentreWindow::Command1_Click() {
    MsgBox(this, QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmss")), kAppTitle,
           BoxIcon::None);
}

void TcpDataCentreWindow::showListChange(core::TerminalList list, core::ListOp op, const QString& text) {
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

