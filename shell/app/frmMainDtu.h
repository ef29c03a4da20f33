#pragma once
// The main window: caption, background picture, the menus that open the settings
// dialog and the three consoles, and the one serial port (MSComm1's role).
#include <QMainWindow>
#include <QPixmap>

class QSerialPort;
namespace Ui { class frmMainDtu; }

class frmMainDtu : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMainDtu(QWidget* parent = nullptr);
    ~frmMainDtu() override;
    QSerialPort* MSComm1() const { return port_; }

    // The 711 x 487 picture the client area shows.
    static QPixmap BackgroundPicture();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void M_InfraredX_Click();
    void ClosePortIfOpen();
    Ui::frmMainDtu* ui_;
    QSerialPort* port_;
};
