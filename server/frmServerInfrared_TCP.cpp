#include "server/frmServerInfrared_TCP.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "server/NetLog.h"
#include "shell/LogTextBox.h"
#include "shell/MsgBox.h"
#include "shell/ParameterPages.h"
#include "shell/TrafficLogPanel.h"
#include "shell/modDtu.h"
#include "ui_frmServerInfrared_TCP.h"

namespace server {

using ht6630::dialogue::Action;

void RaiseOpenFileLimit() {
    static bool done = false;
    if (done) return;
    done = true;
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

int OpenFileLimit() {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return 1024;
    if (rl.rlim_cur == RLIM_INFINITY || rl.rlim_cur > 1 << 30) return 1 << 30;
    return static_cast<int>(rl.rlim_cur);
}

namespace {
// Descriptors kept free for everything else the console opens.
constexpr int kFdReserve = 48;

int CountOpenFds() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}
}  // namespace

frmServerInfrared_TCP::frmServerInfrared_TCP(QWidget* parent)
    : DataCentreConsole(parent), ui_(std::make_unique<Ui::frmServerInfrared_TCP>()) {
    RaiseOpenFileLimit();
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

    wskServer0_ = new TcpListener(this);
    wskServer0_->setObjectName(QStringLiteral("wskServer_0"));
    wskServer0_->setListenBacklogSize(4096);
    wskServer0_->setMaxPendingConnections(1 << 20);
    connect(wskServer0_, &TcpListener::accepted, this, &frmServerInfrared_TCP::onAccepted);
    // An error on the listening socket is logged only.
    connect(wskServer0_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError e) {
        WriteTcpNetLog(QStringLiteral("错误代码:") + QString::number(static_cast<int>(e)) +
                       QStringLiteral(" 错误描述:") + wskServer0_->errorString());
    });

    EpollConnections::Handlers h;
    h.data = [this](EpollConnection* c, const QByteArray& data) { onReadyRead(c->tag, data); };
    h.closed = [this](EpollConnection* c) { onPeerClosed(c->tag); };
    h.error = [this](EpollConnection* c, int code, const QString& text) { onSocketError(c->tag, code, text); };
    epoll_.setHandlers(std::move(h));

    fdWatch_ = new QTimer(this);
    fdWatch_->setInterval(1000);
    connect(fdWatch_, &QTimer::timeout, this, &frmServerInfrared_TCP::checkDescriptors);

    // Form_Load.
    fillLocalIp();
    resetState();
    c_.statusPanel->clear();
}

frmServerInfrared_TCP::~frmServerInfrared_TCP() {
    for (TcpConnection* c : std::as_const(conns_)) {
        c->quiet->stop();
        c->socket->abort();
        delete c;
    }
    conns_.clear();
}

quint16 frmServerInfrared_TCP::listeningPort() const {
    return wskServer0_->isListening() ? wskServer0_->serverPort() : 0;
}

void frmServerInfrared_TCP::CmdYes_Click() {
    if (!readLocalEndpoint()) return;
    M_QDFW_Click();
    if (!ServiceRunning) return;   // the start failed: the service stays stopped and usable
    ui_->CmdNo->setEnabled(true);
    ui_->CmdYes->setEnabled(false);
}

void frmServerInfrared_TCP::M_QDFW_Click() {
    if (ServiceRunning) {
        MsgBox(this, QStringLiteral("TCP服务已经启动!"), QStringLiteral("启动服务"), BoxIcon::Exclamation);
        return;
    }
    if (modDtu::LocalPort < 0 || modDtu::LocalPort > 65535) {
        MsgBox(this, QStringLiteral("端口号必须在0到65535之间!"), QStringLiteral("启动服务"),
               BoxIcon::Critical);
        return;
    }
    QHostAddress address(QHostAddress::Any);
    const QString ip = modDtu::LocalIp.trimmed();
    if (!ip.isEmpty() && !address.setAddress(ip)) {
        MsgBox(this, QStringLiteral("TCP服务启动失败:IP地址不可用"), QStringLiteral("启动服务"),
               BoxIcon::Critical);
        return;
    }
    baselineFds_ = CountOpenFds();
    if (!wskServer0_->listen(address, static_cast<quint16>(modDtu::LocalPort))) {
        MsgBox(this, QStringLiteral("TCP服务启动失败:") + wskServer0_->errorString(),
               QStringLiteral("启动服务"), BoxIcon::Critical);
        return;
    }
    fdWatch_->start();
    ServiceStopped = false;
    c_.statusPanel->setText(QStringLiteral("TCP服务已启动!"));
    ServiceRunning = true;
}

void frmServerInfrared_TCP::CmdNo_Click() {
    M_DKFW_Click();
    modDtu::CurrentId.clear();
    table_.shrinkToFirst();
    ui_->CmdNo->setEnabled(false);
    ui_->CmdYes->setEnabled(true);
}

void frmServerInfrared_TCP::M_DKFW_Click() {
    for (int i : table_.stopAll()) {
        if (TcpConnection* c = conns_.take(i)) {
            c->quiet->stop();
            c->socket->abort();
            c->socket->deleteLater();
            delete c;
        }
    }
    wskServer0_->close();
    fdWatch_->stop();
    c_.statusPanel->setText(QStringLiteral("TCP服务已停止!"));
    ServiceStopped = true;
    ServiceRunning = false;
    listUpdating_ = true;
    List1_->clear();
    List2_->clear();
    listUpdating_ = false;
}

void frmServerInfrared_TCP::M_Exit_Click() { exitProgram(); }

void frmServerInfrared_TCP::WinsockInfo_Click() { ShowNetLog(this); }

void frmServerInfrared_TCP::List1_Click() {
    const QList<QListWidgetItem*> chosen = ui_->List1->selectedItems();
    if (chosen.isEmpty()) return;
    QListWidgetItem* item = chosen.first();
    modDtu::CurrentId = item->text().trimmed();
    ui_->TxtDQID->setText(modDtu::CurrentId);
}

void frmServerInfrared_TCP::Command1_Click() {
    MsgBox(this, QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmss")), kAppTitle,
           BoxIcon::None);
}

void frmServerInfrared_TCP::onAccepted(qintptr descriptor) {
    const int fd = static_cast<int>(descriptor);
    // Refuse cleanly when descriptors run short, before any could fail.
    if (baselineFds_ + table_.loadedCount() + kFdReserve >= OpenFileLimit()) {
        ::close(fd);
        return;
    }
    const auto index = table_.allocate();
    if (!index) {   // beyond the 16-bit index range
        ::close(fd);
        return;
    }
    const int i = *index;
    auto* c = new TcpConnection;
    c->index = i;
    c->socket = epoll_.adopt(fd, &socketOwner_);
    if (!c->socket) {
        ::close(fd);
        delete c;
        table_.releaseByPeer(i);
        return;
    }
    c->socket->tag = i;
    c->socket->setObjectName(QStringLiteral("wskServer_%1").arg(i));
    c->quiet = new QTimer(c->socket);
    c->quiet->setSingleShot(true);
    c->quiet->setInterval(kQuietFlushMs);
    c->cutter = std::make_unique<ht6630::StreamCutter>(kCutterLimit);
    conns_.insert(i, c);
    connect(c->quiet, &QTimer::timeout, this, [this, i] { onQuiet(i); });
}

void frmServerInfrared_TCP::onReadyRead(int index, const QByteArray& data) {
    TcpConnection* c = conns_.value(index);
    if (!c) return;
    if (data.isEmpty()) return;
    const ht6630::ByteView view(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                static_cast<std::size_t>(data.size()));
    const std::vector<ht6630::Bytes> blocks = c->cutter->feed(view);
    if (c->cutter->holding()) c->quiet->start();
    else c->quiet->stop();
    Peer peer;
    peer.socket = c->socket;
    peer.index = index;
    for (const ht6630::Bytes& b : blocks) {
        auto task = HandleReceived(QByteArray(reinterpret_cast<const char*>(b.data()),
                                              static_cast<qsizetype>(b.size())), peer);
        (void)task;
    }
}

void frmServerInfrared_TCP::onQuiet(int index) {
    TcpConnection* c = conns_.value(index);
    if (!c) return;
    const ht6630::Bytes b = c->cutter->flush();
    if (b.empty()) return;
    Peer peer;
    peer.socket = c->socket;
    peer.index = index;
    auto task = HandleReceived(QByteArray(reinterpret_cast<const char*>(b.data()),
                                          static_cast<qsizetype>(b.size())), peer);
    (void)task;
}

void frmServerInfrared_TCP::unload(int index) {
    TcpConnection* c = conns_.take(index);
    if (!c) return;
    c->quiet->stop();
    c->socket->abort();
    c->socket->deleteLater();
    delete c;
}

void frmServerInfrared_TCP::onPeerClosed(int index) {
    if (index < 1 || !conns_.contains(index)) return;
    // Bytes that arrived before the close were handed on already; a partial frame
    // still held is handed on as it came, on its own connection, before the close is
    // handled (any reply it calls for is dropped, the connection being gone by then).
    onQuiet(index);
    unload(index);
    const QString b = table_.releaseByPeer(index);
    WriteTcpNetLog(QStringLiteral("断开") + b);
    listUpdating_ = true;
    if (List1_->count() > 0 && List1_->contains(b)) {
        if (modDtu::CurrentId == b) modDtu::CurrentId.clear();
        List1_->removeFirst(b);
    }
    if (!List2_->contains(b)) List2_->append(b);
    listUpdating_ = false;
}

void frmServerInfrared_TCP::onSocketError(int index, int error, const QString& text) {
    // A peer's orderly close is its close event, not an error.
    if (error == static_cast<int>(QAbstractSocket::RemoteHostClosedError)) return;
    if (!conns_.contains(index)) return;
    WriteTcpNetLog(QStringLiteral("错误代码:") + QString::number(error) + QStringLiteral(" 错误描述:") + text);
    onPeerClosed(index);
}

void frmServerInfrared_TCP::checkDescriptors() {
    // Safety net: if descriptors are exhausted anyway, stop accepting for a while
    // instead of spinning on failing accepts.
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE) wskServer0_->pauseAccepting();
        return;
    }
    ::close(fd);
    if (wskServer0_->isListening()) wskServer0_->resumeAccepting();
}

bool frmServerInfrared_TCP::loadedSocketIs(int index, const EpollConnection* s) const {
    const TcpConnection* c = conns_.value(index);
    return c && c->socket == s;
}

bool frmServerInfrared_TCP::peerUsable(const Peer& peer) const {
    return peer.socket && loadedSocketIs(peer.index, peer.socket.data()) && peer.socket->isConnected();
}

void frmServerInfrared_TCP::sendToPeer(const Peer& peer, const QByteArray& frame) {
    if (peerUsable(peer)) peer.socket->write(frame);
}

void frmServerInfrared_TCP::applyChannelAction(const Action& a, const Peer& peer) {
    using K = Action::Kind;
    const QString text = QString::fromStdString(a.text);
    switch (a.kind) {
    case K::SetClientBarCode:
        if (peer.socket && loadedSocketIs(peer.index, peer.socket.data()))
            table_.setBarCode(peer.index, text);
        break;
    case K::MarkOnline:
        listUpdating_ = true;
        List1_->appendUnique(text);
        if (List2_->count() > 0) List2_->removeFirst(text);
        listUpdating_ = false;
        break;
    case K::NetLog: WriteTcpNetLog(text); break;
    case K::BarCodeUpdate: {
        listUpdating_ = true;
        const QString bar = c_.pages->lineEdit(QStringLiteral("txtBarCode"))->text();
        const int removed = List1_->removeAll(ui_->TxtDQID->text());
        for (int k = 0; k < removed; ++k) List1_->append(bar);
        ui_->TxtDQID->setText(bar);
        listUpdating_ = false;
        break;
    }
    default: break;
    }
}

void frmServerInfrared_TCP::sendRequestNow(const RequestTexts& texts) {
    const auto index = table_.firstLoadedWith(modDtu::CurrentId);
    TcpConnection* c = index ? conns_.value(*index) : nullptr;
    if (c && c->socket->isConnected()) {
        c->socket->write(PendingFrame);
        return;   // the status line stays as it was
    }
    c_.LblInf->setText(texts.sending);
}

}  // namespace server
