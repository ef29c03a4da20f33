#pragma once
// The main window: caption, background picture, the menus that open the settings
// dialog and the three consoles; it owns the session the windows share and the
// serial link (MSComm1's role).
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <memory>

#include "core/ConsoleSession.h"
#include "core/FleetClient.h"
#include "core/LogFiles.h"
#include "core/ReadingsStore.h"
#include "core/SerialLink.h"
#include "core/TerminalRoster.h"
#include "ui/DisplayLanguage.h"

class QSerialPort;
namespace Ui { class MainWindow; }
class SerialConsoleWindow;
class NetLogWindow;

class MainWindow : public QMainWindow {
    Q_OBJECT
signals:
    void diskStatusChanged(const QString& text);

public:
    // `dataHome` holds Data/: the readings file and the log files go there.
    explicit MainWindow(const QString& dataHome, QWidget* parent = nullptr);
    ~MainWindow() override;
    QSerialPort* MSComm1() const { return link_->port(); }
    core::ConsoleSession& session() { return session_; }
    core::SerialLink& link() { return *link_; }
    // The network log: one window for the whole run, hidden until asked for.
    NetLogWindow* netLog() const { return netLog_.get(); }

    // The 711 x 487 picture the client area shows.
    static QPixmap BackgroundPicture();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void M_InfraredX_Click();
    void M_SetPort_Click();
    // The data centres' readings go to the store; their windows show its state.
    void keepReadings(class DataCentreWindow& window, core::Channel channel);
    void ClosePortIfOpen();
    // The terminals view of a window (the main window or a data centre), made once and shown.
    void showTerminals(QWidget* owner);
    // "远程终端": the fleet window, made once, over the fleet client the main window owns.
    void showFleet();
    // "读数保留期限…": how many days of readings the store keeps, remembered in Data/console.ini.
    void askRetention();
    // "语言": the choice is remembered and takes effect at the next start.
    void chooseLanguage(DisplayLanguage language);
    // The serial console's single instance, loaded (without being shown) when it is not.
    SerialConsoleWindow* serialConsole();

    // The store's or the log files' trouble, for the data-centre windows' second panel.
    QString diskStatus() const;

    core::ConsoleSession session_;
    Ui::MainWindow* ui_;
    std::unique_ptr<core::LogFiles> logFiles_;   // before the windows whose lines it writes
    QString logStatus_;
    std::unique_ptr<NetLogWindow> netLog_;
    std::unique_ptr<core::ReadingsStore> store_;
    std::unique_ptr<core::TerminalRoster> roster_;
    QString storeStatus_;
    QString settingsPath_;
    core::SerialLink* link_;
    QPointer<SerialConsoleWindow> serialConsole_;
    std::unique_ptr<core::FleetClient> fleet_;
    QPointer<class FleetWindow> fleetWindow_;
};
