#include "server/NetLog.h"

#include "shell/frmInfo.h"
#include "shell/modDtu.h"

namespace server {

void WriteTcpNetLog(const QString& message) { modDtu::WriteNetLog(message, NetLogBox()); }

void ShowNetLog(QWidget* parent) { ShowFrmInfo(parent); }

}  // namespace server
