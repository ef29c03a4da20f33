#pragma once
// What the main window asks of the serial and data-centre windows.
#include "core/ConsoleSession.h"
#include "core/SerialLink.h"

class QWidget;

namespace serial {
// Modal settings dialog, created each time.
void ShowFrmSetPort(QWidget* mainWindow, core::ConsoleSession& session, core::SerialLink& link);
}  // namespace serial

namespace server {
void ShowFrmServerTcp(QWidget* mainWindow, core::ConsoleSession& session);   // modal TCP data-centre console
void ShowFrmServerUdp(QWidget* mainWindow, core::ConsoleSession& session);   // modal UDP data-centre console
}  // namespace server
