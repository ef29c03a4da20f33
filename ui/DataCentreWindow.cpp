#include "ui/DataCentreWindow.h"

#include "ui/DisplayLanguage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/RequestTexts.h"
#include "protocol/Frame.h"
#include "ui/LayoutIsolation.h"
#include "ui/LogTextBox.h"
#include "ui/MsgBox.h"
#include "ui/ParameterPages.h"
#include "ui/TrafficLogPanel.h"


using ht6630::Op;

namespace {
QByteArray ToQ(const ht6630::Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}
std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }
}  // namespace

DataCentreWindow::DataCentreWindow(core::ConsoleSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {}

DataCentreWindow::~DataCentreWindow() = default;

QLabel* DataCentreWindow::AddStatusPanel(QStatusBar* bar) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    bar->addWidget(panel, 1);
    bar->setSizeGripEnabled(false);
    return panel;
}

QLabel* DataCentreWindow::AddStorePanel(QStatusBar* bar) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QStringLiteral("lblStore"));
    panel->hide();   // shown only while the store has something to say
    bar->addPermanentWidget(panel);
    return panel;
}

void DataCentreWindow::showStoreStatus(const QString& text) {
    c_.storePanel->setText(Shown(text));
    c_.storePanel->setVisible(!text.isEmpty());
}

void DataCentreWindow::initCommon(const CommonControls& c) {
    c_ = c;
    // The status line changes with nearly every frame: its changes stay out of the layout.
    IsolateFromLayout(c_.LblInf);
    // The fourth page: decoded uploads.
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("pageUpload"));
    auto* lay = new QVBoxLayout(page);
    DataReceive_ = new LogTextBox(page);
    DataReceive_->setObjectName(QStringLiteral("DataReceive"));
    DataReceive_->setReadOnly(true);
    lay->addWidget(DataReceive_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    CmdQKJSQ1_ = new QPushButton(Shown(QStringLiteral("清空接收区")), page);
    CmdQKJSQ1_->setObjectName(QStringLiteral("CmdQKJSQ1"));
    row->addWidget(CmdQKJSQ1_);
    lay->addLayout(row);
    c_.pages->placeBarCodeOnFirstPage();
    c_.pages->tabs()->setObjectName(QStringLiteral("SSTab1_1"));
    c_.pages->tabs()->addTab(page, Shown(QStringLiteral("主动上传数据")));
    c_.pages->tabs()->setCurrentIndex(0);

    connect(CmdQKJSQ1_, &QPushButton::clicked, this, [this] { DataReceive_->setText(QString()); });
    connect(c_.traffic->CmdClear(), &QPushButton::clicked, this,
            [this] { c_.traffic->txtBaoWen()->setText(QString()); });
    connect(c_.pages, &ParameterPages::requestClicked, this, [this](Op op) { onRequest(op); });
    core::DataCentre* e = &engine();
    auto modeChanged = [this, e] {
        e->setConfigMode(c_.opMode0->isChecked());
        c_.pages->setConfigMode(e->configMode());
    };
    connect(c_.opMode0, &QRadioButton::toggled, this, modeChanged);
    connect(c_.opMode1, &QRadioButton::toggled, this, modeChanged);

    // The engine's state shown, and the operator's edits handed back to it.
    QLineEdit* barCode = c_.pages->lineEdit(QStringLiteral("txtBarCode"));
    connect(barCode, &QLineEdit::textChanged, e, &core::DataCentre::setTerminalBarCode);
    connect(c_.TxtDQID, &QLineEdit::textChanged, e, &core::DataCentre::setCurrentTerminal);
    connect(e, &core::DataCentre::terminalBarCodeShown, barCode, &QLineEdit::setText);
    connect(e, &core::DataCentre::currentTerminalShown, c_.TxtDQID, &QLineEdit::setText);
    connect(e, &core::DataCentre::frameLogged, c_.traffic,
            [t = c_.traffic](const QByteArray& bytes, bool sent) { t->append(bytes, sent); });
    connect(e, &core::DataCentre::statusChanged, c_.LblInf, [l = c_.LblInf](const QString& t) { l->setText(Shown(t)); });
    connect(e, &core::DataCentre::serviceStatusChanged, c_.statusPanel,
            [l = c_.statusPanel](const QString& t) { l->setText(Shown(t)); });
    connect(e, &core::DataCentre::parametersDecoded, c_.pages, &ParameterPages::apply);
    connect(e, &core::DataCentre::uploadText, DataReceive_, &LogTextBox::appendText);
}

void DataCentreWindow::fillLocalIp() {
    // For display only: the first non-loopback IPv4 address of this computer.
    QString ip = QStringLiteral("127.0.0.1");
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) {
            ip = a.toString();
            break;
        }
    }
    c_.TxtLocalIp1->setText(ip);
}

void DataCentreWindow::resetState() {
    engine().resetDialogue();
    c_.opMode0->setChecked(true);
    engine().setConfigMode(true);
    c_.pages->resetToLoadState();
    c_.pages->setConfigMode(true);
}

bool DataCentreWindow::readLocalEndpoint() {
    const QString ip = c_.TxtLocalIp1->text().trimmed();
    const QString port = c_.TxtLocalPort1->text().trimmed();
    if (ip.isEmpty() && port.isEmpty()) {
        MsgBox(this, QStringLiteral("Ip地址或端口号不能为空"), QStringLiteral("系统提示"), BoxIcon::None);
        return false;
    }
    const auto v = core::NumericValue(c_.TxtLocalPort1->text());
    if (!v) {
        MsgBox(this, QStringLiteral("端口号必须为数值"), QStringLiteral("系统提示"), BoxIcon::None);
        return false;
    }
    const auto n = core::RoundToInt32(*v);
    if (!n) {
        MsgBox(this, QStringLiteral("端口号必须在0到65535之间!"), QStringLiteral("启动服务"), BoxIcon::Critical);
        return false;
    }
    session_.localIp = ip;
    session_.localPort = *n;
    return true;
}

void DataCentreWindow::closeEvent(QCloseEvent* e) {
    if (!engine().serviceStopped()) {
        e->ignore();
        MsgBox(this, QStringLiteral("请先停止服务!"), QStringLiteral("退出"), BoxIcon::Exclamation);
        return;
    }
    QDialog::closeEvent(e);
}

void DataCentreWindow::reject() {
    if (!engine().serviceStopped()) {
        MsgBox(this, QStringLiteral("请先停止服务!"), QStringLiteral("退出"), BoxIcon::Exclamation);
        return;
    }
    QDialog::reject();
}

void DataCentreWindow::exitProgram() {
    if (engine().serviceStopped()) {
        QDialog::reject();
        QCoreApplication::exit(0);
    } else {
        MsgBox(this, QStringLiteral("请先停止服务!"), QStringLiteral("退出"), BoxIcon::Exclamation);
    }
}

void DataCentreWindow::onRequest(Op op) {
    try {
        if (!beforeRequest(op)) return;
        c_.pages->clearBeforeRequest(op);
        const ht6630::PayloadResult r = ht6630::BuildPayload(op, c_.pages->inputs());
        if (r.failure) {
            ShowCheckFailure(this, *r.failure);
            return;
        }
        const ht6630::CatalogueEntry& e = ht6630::Entry(op);
        session_.pending.name = QString::fromUtf8(e.name.data(), static_cast<qsizetype>(e.name.size()));
        afterOpName(op);
        const std::string target = Utf8(c_.TxtDQID->text());
        if (!ht6630::UsesBarCodeAddress(op)) {
            if (auto failure = ht6630::CheckTargetBarCode(target, "请选择要通讯设备的条形码")) {
                ShowCheckFailure(this, *failure);
                return;
            }
        }
        const std::string addr = ht6630::RequestAddress(op, target);
        const QByteArray frame =
            ToQ(ht6630::MakeFrame_Request(e.functionCode, addr, static_cast<int>(r.payload.size()), r.payload));
        engine().submitRequest(op, QString::fromStdString(addr), frame);
    } catch (...) {
        // A request that cannot be built is not sent.
    }
}

