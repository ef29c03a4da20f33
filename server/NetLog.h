#pragma once
// The TCP console's connection events go to the network log window.
#include <QString>

class QWidget;

namespace server {
void WriteTcpNetLog(const QString& message);   // one line into frmInfo's txtBaoWen
void ShowNetLog(QWidget* parent);              // frmInfo, modally
}  // namespace server
