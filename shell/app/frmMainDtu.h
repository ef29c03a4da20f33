#pragma once
// The main window: caption, background picture, the menus that open the settings
// dialog and the three consoles; it owns the session the windows share and the
// serial link (MSComm1's role).
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include "core/ConsoleSession.h"
#include "core/SerialLink.h"

class QSerialPort;
namespace Ui { class frmMainDtu; }
namespace serial { class FrmInfrared; }

class frmMainDtu : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMainDtu(QWidget* parent = nullptr);
    ~frmMainDtu() override;
    QSerialPort* MSComm1() const { return link_->port(); }
    core::ConsoleSession& session() { return session_; }
    core::SerialLink& link() { return *link_; }

    // The 711 x 487 picture the client area shows.
    static QPixmap BackgroundPicture();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void M_InfraredX_Click();
    void ClosePortIfOpen();
    // The serial console's single instance, loaded (without being shown) when it is not.
    serial::FrmInfrared* serialConsole();

    core::ConsoleSession session_;
    Ui::frmMainDtu* ui_;
    core::SerialLink* link_;
    QPointer<serial::FrmInfrared> serialConsole_;
};
