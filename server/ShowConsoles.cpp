// The main window's menu items "TCP通讯" and "UDP通讯": each opens its console
// anew (load values), modally.
#include <QPointer>

#include "server/frmServerInfrared_TCP.h"
#include "server/frmServerInfrared_UDP.h"
#include "shell/app/WindowHooks.h"

namespace server {

template <typename Console>
static void ShowModal(QWidget* mainWindow, core::ConsoleSession& session) {
    QPointer<Console> w = new Console(session, mainWindow);
    w->exec();
    delete w.data();
}

void ShowFrmServerTcp(QWidget* mainWindow, core::ConsoleSession& session) {
    ShowModal<frmServerInfrared_TCP>(mainWindow, session);
}
void ShowFrmServerUdp(QWidget* mainWindow, core::ConsoleSession& session) {
    ShowModal<frmServerInfrared_UDP>(mainWindow, session);
}

}  // namespace server
