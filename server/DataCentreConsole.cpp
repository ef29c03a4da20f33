#include "server/DataCentreConsole.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "protocol/frame.h"
#include "shell/Delay.h"
#include "shell/LayoutIsolation.h"
#include "shell/LogTextBox.h"
#include "shell/MsgBox.h"
#include "shell/ParameterPages.h"
#include "shell/TrafficLogPanel.h"
#include "shell/modDtu.h"

namespace server {

using ht6630::Op;
using ht6630::dialogue::Action;

namespace {

QByteArray ToQ(const ht6630::Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

ht6630::dialogue::LocalTime Now() {
    const QDateTime now = QDateTime::currentDateTime();
    ht6630::dialogue::LocalTime t;
    t.year = now.date().year();
    t.month = now.date().month();
    t.day = now.date().day();
    t.hour = now.time().hour();
    t.minute = now.time().minute();
    t.second = now.time().second();
    return t;
}

}  // namespace

DataCentreConsole::DataCentreConsole(QWidget* parent) : QDialog(parent) {}

DataCentreConsole::~DataCentreConsole() = default;

QLabel* DataCentreConsole::AddStatusPanel(QStatusBar* bar) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    bar->addWidget(panel, 1);
    bar->setSizeGripEnabled(false);
    return panel;
}

void DataCentreConsole::initCommon(const CommonControls& c) {
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
    CmdQKJSQ1_ = new QPushButton(QStringLiteral("清空接收区"), page);
    CmdQKJSQ1_->setObjectName(QStringLiteral("CmdQKJSQ1"));
    row->addWidget(CmdQKJSQ1_);
    lay->addLayout(row);
    c_.pages->placeBarCodeOnFirstPage();
    c_.pages->tabs()->setObjectName(QStringLiteral("SSTab1_1"));
    c_.pages->tabs()->addTab(page, QStringLiteral("主动上传数据"));
    c_.pages->tabs()->setCurrentIndex(0);

    connect(CmdQKJSQ1_, &QPushButton::clicked, this, [this] { DataReceive_->setText(QString()); });
    connect(c_.traffic->CmdClear(), &QPushButton::clicked, this,
            [this] { c_.traffic->txtBaoWen()->setText(QString()); });
    connect(c_.pages, &ParameterPages::requestClicked, this, [this](Op op) { onRequest(op); });
    auto modeChanged = [this] {
        ConfigMode = c_.opMode0->isChecked();
        c_.pages->setConfigMode(ConfigMode);
    };
    connect(c_.opMode0, &QRadioButton::toggled, this, modeChanged);
    connect(c_.opMode1, &QRadioButton::toggled, this, modeChanged);
}

void DataCentreConsole::fillLocalIp() {
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

void DataCentreConsole::resetState() {
    ServiceRunning = false;
    ServiceStopped = true;
    Handshaken = false;
    PendingSetting = false;
    TermAddr.clear();
    PendingFrame.clear();
    c_.opMode0->setChecked(true);
    ConfigMode = true;
    c_.pages->resetToLoadState();
    c_.pages->setConfigMode(true);
}

bool DataCentreConsole::readLocalEndpoint() {
    const QString ip = c_.TxtLocalIp1->text().trimmed();
    const QString port = c_.TxtLocalPort1->text().trimmed();
    if (ip.isEmpty() && port.isEmpty()) {
        MsgBox(this, QStringLiteral("Ip地址或端口号不能为空"), QStringLiteral("系统提示"), BoxIcon::None);
        return false;
    }
    const auto v = NumericValue(c_.TxtLocalPort1->text());
    if (!v) {
        MsgBox(this, QStringLiteral("端口号必须为数值"), QStringLiteral("系统提示"), BoxIcon::None);
        return false;
    }
    const auto n = RoundToInt32(*v);
    if (!n) {
        MsgBox(this, QStringLiteral("端口号必须在0到65535之间!"), QStringLiteral("启动服务"),
               BoxIcon::Critical);
        return false;
    }
    modDtu::LocalIp = ip;
    modDtu::LocalPort = *n;
    return true;
}

void DataCentreConsole::requestClose() { close(); }

void DataCentreConsole::closeEvent(QCloseEvent* e) {
    if (!ServiceStopped) {
        e->ignore();
        MsgBox(this, QStringLiteral("请先停止服务!"), QStringLiteral("退出"), BoxIcon::Exclamation);
        return;
    }
    QDialog::closeEvent(e);
}

void DataCentreConsole::reject() {
    if (!ServiceStopped) {
        MsgBox(this, QStringLiteral("请先停止服务!"), QStringLiteral("退出"), BoxIcon::Exclamation);
        return;
    }
    QDialog::reject();
}

void DataCentreConsole::exitProgram() {
    if (ServiceStopped) {
        QDialog::reject();
        QCoreApplication::exit(0);
    } else {
        MsgBox(this, QStringLiteral("请先停止服务!"), QStringLiteral("退出"), BoxIcon::Exclamation);
    }
}

ht6630::dialogue::ConsoleState DataCentreConsole::snapshot() const {
    ht6630::dialogue::ConsoleState s;
    s.Handshaken = Handshaken;
    s.PendingSetting = PendingSetting;
    s.ConfigMode = ConfigMode;
    s.TermAddr = TermAddr.toStdString();
    s.OpName = modDtu::OpName.toStdString();
    s.txtBarCode = c_.pages->lineEdit(QStringLiteral("txtBarCode"))->text().toStdString();
    s.TxtDQID = c_.TxtDQID->text().toStdString();
    return s;
}

QCoro::Task<> DataCentreConsole::HandleReceived(QByteArray block, Peer peer) {
    QPointer<DataCentreConsole> self(this);
    try {
        modDtu::RecvBuf = block;
        modDtu::RecvLen = static_cast<qint16>(std::min<qsizetype>(block.size(), 32767));
        const ht6630::ByteView view(reinterpret_cast<const std::uint8_t*>(block.constData()),
                                    static_cast<std::size_t>(block.size()));
        const std::vector<Action> actions =
            ht6630::dialogue::HandleBlock(channel(), view, snapshot(), Now());
        for (const Action& a : actions) {
            if (a.kind == Action::Kind::Reply || a.kind == Action::Kind::SendPendingFrame) {
                co_await modDtu::Delay(a.delaySeconds);
                if (!self) co_return;                 // the window is gone: touch nothing
                if (!peerUsable(peer)) co_return;     // connection closed / service stopped
                const QByteArray frame =
                    a.kind == Action::Kind::Reply ? ToQ(a.bytes) : PendingFrame;
                c_.traffic->append(frame, true);
                modDtu::RecvLen = 0;
                sendToPeer(peer, frame);
            } else {
                applyAction(a, peer);
            }
        }
    } catch (...) {
        // A handler that fails ends silently.
    }
}

void DataCentreConsole::applyAction(const Action& a, const Peer& peer) {
    using K = Action::Kind;
    const QString text = QString::fromStdString(a.text);
    switch (a.kind) {
    case K::LogReceived: {
        const QByteArray b = a.bytes.empty() ? modDtu::RecvBuf : ToQ(a.bytes);
        c_.traffic->append(b, false);
        break;
    }
    case K::SetStatus: c_.LblInf->setText(text); break;
    case K::ClearOpName: modDtu::OpName.clear(); break;
    case K::SetOpName: modDtu::OpName = text; break;
    case K::SetFields: c_.pages->apply(a.fields); break;
    case K::SetBarCodeText: c_.pages->lineEdit(QStringLiteral("txtBarCode"))->setText(text); break;
    case K::SetTxtDQID: c_.TxtDQID->setText(text); break;
    case K::SetTermAddr: TermAddr = text; break;
    case K::SetHandshaken: Handshaken = true; break;
    case K::AppendDataReceive: DataReceive_->appendText(text); break;
    case K::ClearPendingSetting: PendingSetting = false; break;
    case K::Reply:
    case K::SendPendingFrame: break;   // executed by HandleReceived
    default: applyChannelAction(a, peer); break;
    }
}

void DataCentreConsole::applyChannelAction(const Action&, const Peer&) {}

void DataCentreConsole::onRequest(Op op) {
    try {
        if (!beforeRequest(op)) return;
        c_.pages->clearBeforeRequest(op);
        const ht6630::PayloadResult r = ht6630::BuildPayload(op, c_.pages->inputs());
        if (r.failure) {
            ShowCheckFailure(this, *r.failure);
            return;
        }
        const ht6630::CatalogueEntry& e = ht6630::Entry(op);
        modDtu::OpName = QString::fromUtf8(e.name.data(), static_cast<qsizetype>(e.name.size()));
        afterOpName(op);
        if (op == Op::ReadBarCode || op == Op::SetBarCode) {
            TermAddr = QString::fromLatin1(ht6630::kBarCodeAddress.data(),
                                           static_cast<qsizetype>(ht6630::kBarCodeAddress.size()));
        } else {
            const QString id = c_.TxtDQID->text();
            if (id.isEmpty()) {
                MsgBox(this, QStringLiteral("请选择要通讯设备的条形码"), kAppTitle, BoxIcon::Critical);
                return;
            }
            if (id.trimmed().size() != 13) {
                MsgBox(this, QStringLiteral("条形码应该为13位"), kAppTitle, BoxIcon::Critical);
                return;
            }
            TermAddr = QStringLiteral("0") + id.trimmed();
        }
        const std::string addr = TermAddr.toStdString();
        PendingFrame = ToQ(ht6630::MakeFrame_Request(e.functionCode, addr,
                                                     static_cast<int>(r.payload.size()), r.payload));
        DispatchRequest(TextsFor(op, channel()));
    } catch (...) {
        // A request that cannot be built is not sent.
    }
}

void DataCentreConsole::DispatchRequest(const RequestTexts& texts) {
    if (!ConfigMode) {
        PendingSetting = true;
        c_.LblInf->setText(texts.queued);
        return;
    }
    if (Handshaken) {
        c_.traffic->append(PendingFrame, true);
        modDtu::RecvLen = 0;
        sendRequestNow(texts);
        return;
    }
    c_.LblInf->setText(kWaitHandshake);
}

}  // namespace server
