#pragma once
// What the main window asks of the serial and data-centre subsystems.
class QWidget;

namespace serial {
void ShowFrmSetPort(QWidget* mainWindow);      // modal settings dialog, created each time
void ShowFrmInfrared(QWidget* mainWindow);     // modal serial console (single instance)
void AttachReceivePath();                      // hooks the receive path to modDtu::MSComm1()
}  // namespace serial

namespace server {
void ShowFrmServerTcp(QWidget* mainWindow);    // modal TCP data-centre console
void ShowFrmServerUdp(QWidget* mainWindow);    // modal UDP data-centre console
}  // namespace server

namespace serial {
void DealData_Infrared();                      // judges RecvBuf/RecvLen against the last request
}  // namespace serial
