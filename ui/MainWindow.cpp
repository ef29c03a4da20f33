#include "ui/MainWindow.h"

#include "ui/DisplayLanguage.h"

#include <QActionGroup>
#include <QApplication>
#include <QDateTime>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QSettings>
#include <QUrl>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QSerialPort>

#include "core/ReadingsRecording.h"
#include "core/TerminalRoster.h"
#include "ui/DataCentreWindow.h"
#include "ui/FleetWindow.h"
#include "ui/LogLines.h"
#include "ui/LogTextBox.h"
#include "ui/TrafficLogPanel.h"
#include "ui/MsgBox.h"
#include "ui/NetLogWindow.h"
#include "ui/SerialConsoleWindow.h"
#include "ui/SetPortDialog.h"
#include "ui/TcpDataCentreWindow.h"
#include "ui/TerminalsWindow.h"
#include "ui/UdpDataCentreWindow.h"
#include "ui_MainWindow.h"

namespace {
const QString kRetentionKey = QStringLiteral("readings/retention_days");

// The data-centre consoles open anew each time (load values), modally.
template <typename Console, typename Prepare, typename... Args>
void ShowModal(QWidget* mainWindow, Prepare prepare, Args&&... args) {
    QPointer<Console> w = new Console(std::forward<Args>(args)..., mainWindow);
    prepare(*w);
    w->exec();
    delete w.data();
}

// The client area: the background picture at the top left, fixed size.
class Background : public QWidget {
public:
    explicit Background(QWidget* parent) : QWidget(parent), picture_(MainWindow::BackgroundPicture()) {
        setObjectName(QStringLiteral("Picture"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0x80, 0x80, 0x80));
        p.drawPixmap(0, 0, picture_);
    }

private:
    QPixmap picture_;
};
}  // namespace

QPixmap MainWindow::BackgroundPicture() {
    QImage img(711, 487, QImage::Format_RGB888);   // 24 bits per pixel
    QPainter p(&img);
    QLinearGradient sky(0, 0, 0, 487);
    sky.setColorAt(0.0, QColor(0x1f, 0x4e, 0x8c));
    sky.setColorAt(1.0, QColor(0xd8, 0xe8, 0xf5));
    p.fillRect(img.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    // A stylised terminal: a rounded box with a display and an antenna.
    p.setPen(QPen(QColor(0x20, 0x30, 0x40), 3));
    p.setBrush(QColor(0xf4, 0xf4, 0xf0));
    p.drawRoundedRect(QRectF(470, 170, 170, 230), 18, 18);
    p.setBrush(QColor(0x30, 0x60, 0x40));
    p.drawRect(QRectF(495, 200, 120, 60));
    p.drawLine(QPointF(615, 170), QPointF(635, 110));
    p.setPen(QColor(0xb0, 0xff, 0xb0));
    QFont f = p.font();
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(495, 200, 120, 60), Qt::AlignCenter, QStringLiteral("21.5℃"));
    // Radio waves.
    p.setPen(QPen(QColor(0xff, 0xff, 0xff, 170), 3));
    p.setBrush(Qt::NoBrush);
    for (int r = 20; r <= 60; r += 20) p.drawArc(QRectF(635 - r, 110 - r, 2 * r, 2 * r), 30 * 16, 60 * 16);
    p.setPen(Qt::white);
    f.setPixelSize(34);
    p.setFont(f);
    p.drawText(QRectF(40, 60, 420, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("HT6630-QN"));
    f.setPixelSize(22);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRectF(40, 120, 420, 40), Qt::AlignLeft | Qt::AlignVCenter, Shown(QStringLiteral("无线室温采集终端")));
    p.end();
    return QPixmap::fromImage(img);
}

MainWindow::MainWindow(const QString& dataHome, QWidget* parent)
    : QMainWindow(parent), ui_(new Ui::MainWindow),
      logFiles_(std::make_unique<core::LogFiles>(core::LogFolderPath(dataHome))),
      netLog_(std::make_unique<NetLogWindow>()) {
    ui_->setupUi(this);
    setCentralWidget(new Background(this));
    LogToFiles(netLog_->box(), *logFiles_, QStringLiteral("network"));
    connect(logFiles_.get(), &core::LogFiles::statusChanged, this, [this](const QString& t) {
        logStatus_ = t;
        emit diskStatusChanged(diskStatus());
    });

    store_ = std::make_unique<core::ReadingsStore>(core::ReadingsDatabasePath(dataHome));
    connect(store_.get(), &core::ReadingsStore::statusChanged, this, [this](const QString& t) {
        storeStatus_ = t;
        emit diskStatusChanged(diskStatus());
    });
    roster_ = std::make_unique<core::TerminalRoster>();
    roster_->seedFrom(store_->path());
    // The operator's retention (days; 0 keeps everything) lives with the data it governs.
    settingsPath_ = QDir(dataHome).filePath(QStringLiteral("Data/console.ini"));
    store_->setRetentionDays(QSettings(settingsPath_, QSettings::IniFormat).value(kRetentionKey, 0).toInt());
    link_ = new core::SerialLink(session_, this);
    // A judged response is shown by the serial console, loaded for it if need be.
    connect(link_, &core::SerialLink::blockJudged, this,
            [this](const QByteArray& block, const ht6630::SerialJudgement& j) {
                SerialConsoleWindow* console = serialConsole();
                if (!console) return;
                console->showJudgement(block, j);
                // A live reading read over the serial link is kept with the others.
                if (j.fields.temperature && j.fields.humidity && console->TermAddr().size() > 1) {
                    const QDateTime now = QDateTime::currentDateTime();
                    const double t = std::stod(*j.fields.temperature), h = std::stod(*j.fields.humidity);
                    store_->addLiveReading(console->TermAddr().mid(1), t, h, now);
                    roster_->noteLiveReading(console->TermAddr().mid(1), t, h, now);
                }
            });
    connect(link_, &core::SerialLink::portLost, this, [this] {
        if (serialConsole_) serialConsole_->LblInf()->setText(Shown(core::SerialLink::portLostText()));
    });

    connect(ui_->M_Exit, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    connect(ui_->M_Terminals, &QAction::triggered, this, [this] { showTerminals(this); });
    connect(ui_->M_Fleet, &QAction::triggered, this, [this] { showFleet(); });
    connect(ui_->M_Retention, &QAction::triggered, this, [this] { askRetention(); });
    auto* languages = new QActionGroup(this);
    languages->addAction(ui_->M_LangZh);
    languages->addAction(ui_->M_LangEn);
    (CurrentDisplayLanguage() == DisplayLanguage::English ? ui_->M_LangEn : ui_->M_LangZh)->setChecked(true);
    connect(ui_->M_LangZh, &QAction::triggered, this, [this] { chooseLanguage(DisplayLanguage::Chinese); });
    connect(ui_->M_LangEn, &QAction::triggered, this, [this] { chooseLanguage(DisplayLanguage::English); });
    connect(ui_->M_LogFolder, &QAction::triggered, this, [this] {
        const QString folder = logFiles_->todaysFolder();
        QDir().mkpath(folder);
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
    connect(ui_->M_SetPort, &QAction::triggered, this, [this] { M_SetPort_Click(); });
    connect(ui_->M_InfraredX, &QAction::triggered, this, [this] { M_InfraredX_Click(); });
    connect(ui_->M_Infrared_TCP, &QAction::triggered, this, [this] {
        ClosePortIfOpen();
        ShowModal<TcpDataCentreWindow>(this, [this](auto& w) { keepReadings(w, core::Channel::Tcp); }, session_,
                                       netLog_.get());
    });
    connect(ui_->M_Infrared_UDP, &QAction::triggered, this, [this] {
        ClosePortIfOpen();
        ShowModal<UdpDataCentreWindow>(this, [this](auto& w) { keepReadings(w, core::Channel::Udp); }, session_);
    });

    // Load: the window's size and the operator's port switch off.
    resize(707, 530);
    session_.portOpened = false;
}

MainWindow::~MainWindow() {
    delete serialConsole_.data();
    // The terminals views use the store and the roster: they go first.
    qDeleteAll(findChildren<TerminalsWindow*>(Qt::FindDirectChildrenOnly));
    delete fleetWindow_.data();   // before the client it observes
    delete ui_;
}

void MainWindow::ClosePortIfOpen() { link_->close(); }

void MainWindow::keepReadings(DataCentreWindow& window, core::Channel channel) {
    core::RecordReadings(window.engine(), *store_, channel);
    roster_->watch(window.engine(), channel);
    // The data-centre windows are modal: a terminals view of their own stays usable.
    if (auto* item = window.findChild<QAction*>(QStringLiteral("M_Terminals")))
        connect(item, &QAction::triggered, &window, [this, w = &window] { showTerminals(w); });
    window.showStoreStatus(diskStatus());
    connect(this, &MainWindow::diskStatusChanged, &window, &DataCentreWindow::showStoreStatus);
    const QString prefix = channel == core::Channel::Tcp ? QStringLiteral("tcp") : QStringLiteral("udp");
    LogToFiles(window.controls().traffic->txtBaoWen(), *logFiles_, prefix + QStringLiteral("-traffic"));
    LogToFiles(window.DataReceive(), *logFiles_, prefix + QStringLiteral("-uploads"));
}

void MainWindow::askRetention() {
    // Non-blocking: the data centres go on while the operator decides.
    auto* dialog = new QInputDialog(this);
    dialog->setObjectName(QStringLiteral("frmRetention"));
    dialog->setWindowTitle(Shown(QStringLiteral("读数保留期限")));
    dialog->setLabelText(Shown(QStringLiteral("保留最近多少天的读数（0 = 全部保留）：")));
    dialog->setInputMode(QInputDialog::IntInput);
    dialog->setIntRange(0, 36500);
    dialog->setIntValue(QSettings(settingsPath_, QSettings::IniFormat).value(kRetentionKey, 0).toInt());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QInputDialog::intValueSelected, this, [this](int days) {
        QSettings(settingsPath_, QSettings::IniFormat).setValue(kRetentionKey, days);
        store_->setRetentionDays(days);
    });
    dialog->open();
    // Names for the automation interface: the days and the dialog's own OK and Cancel (made when shown).
    if (auto* days = dialog->findChild<QSpinBox*>()) days->setObjectName(QStringLiteral("txtRetentionDays"));
    if (auto* buttons = dialog->findChild<QDialogButtonBox*>()) {
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) ok->setObjectName(QStringLiteral("cmdOK"));
        if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel)) cancel->setObjectName(QStringLiteral("cmdCancel"));
    }
}

void MainWindow::chooseLanguage(DisplayLanguage language) {
    RememberDisplayLanguage(settingsPath_, language);
    if (language == CurrentDisplayLanguage()) return;
    // The windows keep the language they were made in until the next start.
    MsgBox(this, QStringLiteral("界面语言将在下次启动时生效。"), QStringLiteral("语言"), BoxIcon::Information);
}

void MainWindow::showTerminals(QWidget* owner) {
    auto* view = owner->findChild<TerminalsWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!view) view = new TerminalsWindow(*roster_, *store_, owner);
    view->show();
    view->raise();
    view->activateWindow();
}

void MainWindow::showFleet() {
    if (!fleet_) fleet_ = std::make_unique<core::FleetClient>();
    if (!fleetWindow_) fleetWindow_ = new FleetWindow(*fleet_, settingsPath_, this);
    fleetWindow_->show();
    fleetWindow_->raise();
    fleetWindow_->activateWindow();
}

void MainWindow::M_SetPort_Click() {
    // Created anew each time: its load step probes the ports.
    QPointer<SetPortDialog> dialog = new SetPortDialog(session_, *link_, this);
    dialog->load();
    if (!dialog) return;
    dialog->exec();
    if (dialog) delete dialog.data();
}

QString MainWindow::diskStatus() const {
    if (storeStatus_.isEmpty() || logStatus_.isEmpty()) return storeStatus_ + logStatus_;
    return storeStatus_ + QStringLiteral("  ") + logStatus_;
}

SerialConsoleWindow* MainWindow::serialConsole() {
    if (!serialConsole_) {
        serialConsole_ = new SerialConsoleWindow(session_, *link_, this);
        LogToFiles(serialConsole_->panel()->txtBaoWen(), *logFiles_, QStringLiteral("serial-traffic"));
    }
    return serialConsole_.data();
}

void MainWindow::M_InfraredX_Click() {
    if (link_->isOpen()) {
        session_.channelName = QStringLiteral("Infrared");
        QPointer<SerialConsoleWindow> console = serialConsole();
        if (!console) return;
        console->exec();
        // Closing unloads the console; the next opening loads it again.
        if (console) delete console.data();
    } else {
        MsgBox(this, QStringLiteral("请先设置串口！"), QStringLiteral("系统提示"), BoxIcon::Critical);
    }
}

void MainWindow::closeEvent(QCloseEvent* e) {
    ClosePortIfOpen();
    e->accept();
    QCoreApplication::exit(0);
}
